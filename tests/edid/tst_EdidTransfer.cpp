#include "DeviceState.h"
#include "EdidSources.h"
#include "EdidTextBuffer.h"
#include "EdidTransfer.h"
#include "TestRegistry.h"
#include "VirtualTool.h"
#include "WarningRecorder.h"

#include <QElapsedTimer>
#include <QTest>

#include <vector>

using Op = VirtualTool::Operation;
using Bytes = std::vector<std::uint8_t>;
using Progress = QList<QPair<int, int>>;
Q_DECLARE_METATYPE(VirtualTool::Operation)
Q_DECLARE_METATYPE(TransferResult)

namespace {

QString hexText(const VirtualTool::Image &image, int lines)
{
    QString text;
    for (int i = 0; i < lines * 16; ++i)
        text += QStringLiteral("%1").arg(image[i], 2, 16, QLatin1Char('0')).toUpper() +
                QLatin1Char(i % 16 == 15 ? '\n' : ' ');
    return text;
}

std::vector<Bytes> sentCommands()
{
    std::vector<Bytes> commands;
    for (const VirtualTool::Command &command : virtualTool().receivedCommands())
        commands.push_back(command.bytes);
    return commands;
}

std::vector<Bytes> readCommands(std::uint8_t address, int count)
{
    std::vector<Bytes> commands;
    for (int i = 0; i < count; ++i)
        commands.push_back({0x11, 0x10, address, static_cast<std::uint8_t>(16 * i)});
    return commands;
}

std::vector<Bytes> writeCommands(std::uint8_t address, const VirtualTool::Image &image, int rows)
{
    std::vector<Bytes> commands;
    for (int row = 0; row < rows; ++row) {
        Bytes command{0x10, 0x0C, address, static_cast<std::uint8_t>(8 * row)};
        command.insert(command.end(), image.begin() + 8 * row, image.begin() + 8 * row + 8);
        commands.push_back(command);
    }
    return commands;
}

// An image unlike any the virtual tool holds.
EdidImage patternImage()
{
    EdidImage image;
    for (std::size_t i = 0; i < image.bytes.size(); ++i)
        image.bytes[i] = static_cast<std::uint8_t>(255 - i * 7);
    return image;
}

void addFailureColumns()
{
    QTest::addColumn<Op>("failingOp");
    QTest::addColumn<int>("nthCall");
    QTest::addColumn<TransferResult>("result");
    QTest::addColumn<int>("received");
    QTest::addColumn<int>("warnings");
}

} // namespace

class EdidTransferTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        virtualTool().reset();
        DeviceHandle = kNoUsbHandle;
        SelectedEdidAddress = 0xB0;
        EdidTextBuffer.fill('\0');
    }

    void fullReadOfEachSource_data()
    {
        QTest::addColumn<int>("address");
        for (const EdidSource &source : kEdidSources)
            QTest::newRow(source.name) << int(source.address);
    }
    void fullReadOfEachSource()
    {
        QFETCH(int, address);
        const auto aa = static_cast<std::uint8_t>(address);
        SelectedEdidAddress = aa;
        Progress progress;
        WarningRecorder recorder;

        QCOMPARE(readEdidFromTool([&](int a, int b) {
                     progress.append({a, b});
                 }),
                 TransferResult::Completed);
        std::vector<Bytes> expected = readCommands(aa, 16);
        expected.push_back({0x02, 0x10, aa, 0xF0, 0, 0, 0, 0});
        QCOMPARE(sentCommands(), expected);
        QCOMPARE(QString::fromLatin1(EdidTextBuffer.data()), hexText(virtualTool().image(aa), 16));
        Progress steps;
        for (int done = 0; done < 256; done += 16)
            steps.append({done, 255});
        QCOMPARE(progress, steps);
        QVERIFY(recorder.warnings.empty());
        QCOMPARE(DeviceHandle, kNoUsbHandle);
        QCOMPARE(virtualTool().openHandleCount(), 0);
    }

    void readStopsAtTheFirstFailedExchange_data()
    {
        addFailureColumns();
        QTest::newRow("send of command 5 fails")
            << Op::WriteBlock << 5 << TransferResult::Interrupted << 4 << 1;
        QTest::newRow("queue query of command 1 fails")
            << Op::QueueStatus << 1 << TransferResult::Interrupted << 1 << 1;
        QTest::newRow("reading reply 16 fails")
            << Op::ReadBlock << 16 << TransferResult::Interrupted << 16 << 1;
        QTest::newRow("counters not sent: the read stands")
            << Op::WriteBlock << 17 << TransferResult::Completed << 16 << 1;
        QTest::newRow("counters not read: the read stands")
            << Op::ReadBlock << 17 << TransferResult::Completed << 17 << 1;
        QTest::newRow("no tool") << Op::DeviceCount << 1 << TransferResult::ToolNotFound << 0 << 0;
    }
    void readStopsAtTheFirstFailedExchange()
    {
        QFETCH(Op, failingOp);
        QFETCH(int, nthCall);
        QFETCH(TransferResult, result);
        QFETCH(int, received);
        QFETCH(int, warnings);
        virtualTool().failOnCall(failingOp, nthCall);
        WarningRecorder recorder;
        int progressCalls = 0;

        QCOMPARE(readEdidFromTool([&](int, int) { ++progressCalls; }), result);
        const std::vector<Bytes> sent = sentCommands();
        QCOMPARE(int(sent.size()), received);
        const int reads = std::min(received, 16);
        QCOMPARE(std::vector<Bytes>(sent.begin(), sent.begin() + reads), readCommands(0xB0, reads));
        QCOMPARE(int(recorder.warnings.size()), warnings);
        if (result == TransferResult::Completed)
            QCOMPARE(QString::fromLatin1(EdidTextBuffer.data()),
                     hexText(virtualTool().image(0xB0), 16));
        QCOMPARE(progressCalls, result == TransferResult::ToolNotFound ? 0 : std::min(nthCall, 16));
        QCOMPARE(DeviceHandle, kNoUsbHandle);
        QCOMPARE(virtualTool().openHandleCount(), 0);
    }

    void fullWriteOfEachCustomImage_data()
    {
        QTest::addColumn<int>("address");
        QTest::newRow("Custom EDID 6") << 0xB2;
        QTest::newRow("Custom EDID 7") << 0xB4;
        QTest::newRow("Custom/Sink EDID 8") << 0xB6;
    }
    void fullWriteOfEachCustomImage()
    {
        QFETCH(int, address);
        const auto aa = static_cast<std::uint8_t>(address);
        SelectedEdidAddress = aa;
        const EdidImage image = patternImage();
        Progress progress;
        WarningRecorder recorder;
        QElapsedTimer clock;
        clock.start();

        QCOMPARE(writeEdidToTool(image,
                                 [&](int a, int b) {
                                     progress.append({a, b});
                                 }),
                 TransferResult::Completed);
        // Every row, the last one included, is followed by its pause.
        QVERIFY(clock.elapsed() >= 32 * kWriteRowPause.count());
        QCOMPARE(sentCommands(), writeCommands(aa, image.bytes, 32));
        QVERIFY(virtualTool().image(aa) == image.bytes);
        Progress steps;
        for (int row = 0; row < 32; ++row)
            steps.append({row, 32});
        QCOMPARE(progress, steps);
        QVERIFY(recorder.warnings.empty());
        QCOMPARE(virtualTool().openHandleCount(), 0);
    }

    void writeStopsAtTheFirstFailedExchange_data()
    {
        addFailureColumns();
        QTest::newRow("send of row 3 fails")
            << Op::WriteBlock << 3 << TransferResult::Interrupted << 2 << 1;
        QTest::newRow("queue query of row 1 fails")
            << Op::QueueStatus << 1 << TransferResult::Interrupted << 1 << 1;
        QTest::newRow("reading answer 2 fails")
            << Op::ReadBlock << 2 << TransferResult::Interrupted << 2 << 1;
        QTest::newRow("open fails")
            << Op::OpenByIndex << 1 << TransferResult::ToolNotFound << 0 << 1;
    }
    void writeStopsAtTheFirstFailedExchange()
    {
        QFETCH(Op, failingOp);
        QFETCH(int, nthCall);
        QFETCH(TransferResult, result);
        QFETCH(int, received);
        QFETCH(int, warnings);
        virtualTool().failOnCall(failingOp, nthCall);
        SelectedEdidAddress = 0xB4;
        const VirtualTool::Image before = virtualTool().image(0xB4);
        const EdidImage image = patternImage();
        WarningRecorder recorder;

        QCOMPARE(writeEdidToTool(image, [](int, int) {}), result);
        QCOMPARE(sentCommands(), writeCommands(0xB4, image.bytes, received));
        QCOMPARE(int(recorder.warnings.size()), warnings);
        // Rows the tool received are stored; the rest of its image is as it was.
        VirtualTool::Image expected = before;
        std::copy(image.bytes.begin(), image.bytes.begin() + 8 * received, expected.begin());
        QVERIFY(virtualTool().image(0xB4) == expected);
        QCOMPARE(DeviceHandle, kNoUsbHandle);
        QCOMPARE(virtualTool().openHandleCount(), 0);
    }
};

VARNEX_REGISTER_TEST(EdidTransferTest);
#include "tst_EdidTransfer.moc"
