#include "DeviceClock.h"
#include "DeviceState.h"
#include "EdidFile.h"
#include "EdidSamples.h"
#include "EdidSources.h"
#include "EdidTextBuffer.h"
#include "EdidTransfer.h"
#include "TestRegistry.h"
#include "VirtualTool.h"
#include "WarningRecorder.h"

#include <QTest>

#include <algorithm>
#include <numeric>
#include <random>

using Op = VirtualTool::Operation;
using Steps = QList<QPair<int, int>>;
using T = TransferResult;

namespace {

// One read or write of the EDID at address, with the nth call of failingOp failing (0: none).
struct Transfer {
    bool write;
    int address;
    Op failingOp;
    int nthCall;
    TransferResult result;
    int received; // commands the tool received
    int warnings; // boxes the device link showed
};

// Notes each pause between written rows with the number of rows sent before it; never waits.
struct PauseRecorder final : DeviceClock {
    TimePoint now() override { return std::chrono::steady_clock::now(); }
    void sleepFor(std::chrono::milliseconds pause) override
    {
        pauses.append({int(virtualTool().receivedCommands().size()), int(pause.count())});
    }
    Steps pauses;
};

QByteArray joined(const QByteArrayList &lines, const QByteArray &ending)
{
    return lines.join(ending) + ending;
}

} // namespace

Q_DECLARE_METATYPE(Transfer)

class EdidTest : public QObject {
    Q_OBJECT

    PauseRecorder clock;
    const QByteArray ascending = bytesOf(ascendingEdid());
    const QByteArray canonical = hexTextOf(ascendingEdid()).toLatin1();

private slots:
    void init()
    {
        virtualTool().reset();
        clock.pauses.clear();
        setDeviceClock(&clock);
    }
    void cleanup() { setDeviceClock(nullptr); }

    void checksumRule_data()
    {
        QTest::addColumn<QByteArray>("contents"); // a block's first bytes; the rest are zero
        QTest::addColumn<int>("checksum");
        QTest::newRow("all zero") << QByteArray() << 0x00;
        QTest::newRow("sum 01") << QByteArray("\x01") << 0xFF;
        QTest::newRow("sum 80") << QByteArray("\x40\x40") << 0x80;
        QTest::newRow("EDID header") << QByteArray::fromHex("00FFFFFFFFFFFF00") << 0x06;
        QTest::newRow("sum wraps") << QByteArray(127, '\xFF') << 0x7F;
        QTest::newRow("last covered byte") << QByteArray(126, '\0') + '\x10' << 0xF0;
    }
    // Both blocks hold the contents; one checksum byte at a time holds some value.
    void checksumRule()
    {
        QFETCH(QByteArray, contents);
        QFETCH(int, checksum);
        EdidImage correct;
        for (std::size_t block : {0, 128}) {
            std::copy(contents.begin(), contents.end(), &correct.bytes[block]);
            correct.bytes[block + 127] = static_cast<std::uint8_t>(checksum);
        }
        for (std::size_t checksumByte : {127, 255}) {
            for (int stored : {0x00, 0x5A, 0xFF}) {
                EdidImage image = correct;
                image.bytes[checksumByte] = static_cast<std::uint8_t>(stored);
                // The checksum byte never enters its own block's sum.
                QCOMPARE(int(BlockChkSum(&image.bytes[checksumByte - 127])), checksum);
                QCOMPARE(hasCorrectChecksums(image), stored == checksum);
                // Both checksum bytes are rewritten, nothing else changes.
                recalculateChecksums(image);
                QVERIFY(image.bytes == correct.bytes);
            }
        }
    }

    void hexText_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("bytes"); // what the text parses to; empty: a format error
        QTest::addColumn<bool>("rendered");    // the text is what rendering these bytes gives
        // Two upper-case digits per byte, a space after each, a newline after every 16th.
        const auto rendered = [](const QString &name, const QByteArray &bytes) {
            QByteArray text;
            for (int i = 0; i < 256; ++i)
                text += bytes.mid(i, 1).toHex().toUpper() + (i % 16 == 15 ? '\n' : ' ');
            QTest::newRow(qPrintable(name)) << text << bytes << true;
        };
        rendered("every value ascending", ascending);
        std::mt19937 generator(1);
        for (int n = 1; n <= 8; ++n) {
            QByteArray bytes(256, '\0');
            std::generate(bytes.begin(), bytes.end(), generator);
            rendered(QString("random %1").arg(n), bytes);
        }
        const auto row = [](const char *name, const QByteArray &text, const QByteArray &bytes) {
            QTest::newRow(name) << text << bytes << false;
        };
        const QByteArray text = canonical;
        row("lower-case digits", text.toLower(), ascending);
        row("no final newline", text.chopped(1), ascending);
        row("trailing white space", text + " \n\t\r\n  ", ascending);
        row("one line", QByteArray(text).replace('\n', ' ').trimmed(), ascending);
        row("one group a line", QByteArray(text).replace(' ', '\n'), ascending);
        for (const char *group : {"ZZ", "G0", "0G", "-1", "\xE9\x30", "005"})
            row(("group " + QByteArray(group).toPercentEncoding()).constData(),
                QByteArray(text).replace(15, 2, group), {});
        row("two spaces", QByteArray(text).replace(2, 1, "  "), {});
        row("tab", QByteArray(text).replace(2, 1, "\t"), {});
        row("comma", QByteArray(text).replace(2, 1, ","), {});
        row("NUL", QByteArray(text).replace(2, 1, QByteArray(1, '\0')), {});
        row("CR LF line ends", QByteArray(text).replace("\n", "\r\n"), {});
        row("space before a newline", QByteArray(text).replace(47, 1, " \n"), {});
        row("leading space", " " + text, {});
        row("255 groups", text.left(3 * 255), {});
        row("257 groups", text + "00", {});
        row("last group of one character", text.left(3 * 255) + "F", {});
        row("empty", {}, {});
        row("white space only", "\n \n", {});
        row("341 groups", (text + text).left(1023), {});
        row("100000 characters", QByteArray(100000, '0'), {});
    }
    void hexText()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, rendered);
        EdidImage image;
        image.bytes.fill(0xEE);
        QCOMPARE(parseEdidHexText(text.toStdString(), image), bytes.isEmpty() ? -1 : 256);
        // A refused text leaves the image exactly as it was.
        QCOMPARE(bytesOf(image), bytes.isEmpty() ? QByteArray(256, '\xEE') : bytes);
        if (rendered)
            QCOMPARE(hexTextOf(image).toLatin1(), text);
    }

    void hexGroup_data()
    {
        QTest::addColumn<QByteArray>("group");
        QTest::addColumn<int>("byte"); // -1: a format error, nothing written
        QTest::newRow("lower case, newline") << QByteArray("4a\n") << 0x4A;
        QTest::newRow("end of text") << QByteArray("fF", 3) << 0xFF;
        QTest::newRow("G0") << QByteArray("G0 ") << -1;
    }
    void hexGroup()
    {
        QFETCH(QByteArray, group);
        QFETCH(int, byte);
        std::uint8_t value = 0xEE;
        QCOMPARE(HexPairToByte(group.constData(), &value), byte < 0 ? 1 : 0);
        QCOMPARE(int(value), byte < 0 ? 0xEE : byte);
    }

    void edidFile_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("binary");
        QTest::addColumn<QByteArray>("expected"); // the image, or the text for the pane
        const QByteArrayList lines = canonical.chopped(1).split('\n');
        QTest::newRow("binary") << ascending << true << ascending;
        QTest::newRow("short binary")
            << ascending.left(128) << true << ascending.left(128) + QByteArray(128, 0);
        QTest::newRow("empty file") << QByteArray() << true << QByteArray(256, 0);
        QTest::newRow("48 columns, CR LF") << joined(lines, " \r\n") << false << canonical;
        QTest::newRow("48 columns, LF") << joined(lines, " \n") << false << canonical;
        QTest::newRow("hex layout, LF") << canonical << false << canonical;
        const QByteArray broken = lines[0] + "\r\n" + joined(lines, " \r\n");
        QTest::newRow("a short first line stops the conversion") << broken << false << broken;
        QTest::newRow("text ends at a zero byte")
            << QByteArray("<b>A0</b>\0 11", 13) << false << QByteArray("<b>A0</b>");
        const QByteArrayList longer = lines + lines.mid(0, 8); // 1200 bytes
        QTest::newRow("48-column lines beyond 1024 bytes")
            << joined(longer, " \r\n") << false
            << joined(longer.mid(0, 20), "\n") + longer[20].left(24);
        QTest::newRow("1024 bytes without a zero")
            << QByteArray(3000, 'A') << false << QByteArray(1024, 'A');
    }
    void edidFile()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, binary);
        QFETCH(QByteArray, expected);
        const EdidFileContent content = interpretEdidFile(file.toStdString());
        QCOMPARE(content.isBinary, binary);
        QCOMPARE(binary ? bytesOf(content.image) : QByteArray::fromStdString(content.text),
                 expected);
    }

    void transfer_data()
    {
        QTest::addColumn<Transfer>("t");
        const auto row = [](const char *name, const Transfer &t) { QTest::newRow(name) << t; };
        for (const EdidSource &source : kEdidSources)
            row(qPrintable(QString("read ") + source.name),
                {false, source.address, Op::ReadBlock, 0, T::Completed, 17, 0});
        row("read: send 5 fails", {false, 0xB0, Op::WriteBlock, 5, T::Interrupted, 4, 1});
        row("read: reply 16 fails", {false, 0xB0, Op::ReadBlock, 16, T::Interrupted, 16, 1});
        row("read: counters not read", {false, 0xB0, Op::ReadBlock, 17, T::Completed, 17, 1});
        row("read: no tool", {false, 0xB0, Op::DeviceCount, 1, T::ToolNotFound, 0, 0});
        row("write Custom EDID 6", {true, 0xB2, Op::ReadBlock, 0, T::Completed, 32, 0});
        row("write Custom EDID 7", {true, 0xB4, Op::ReadBlock, 0, T::Completed, 32, 0});
        row("write Custom/Sink EDID 8", {true, 0xB6, Op::ReadBlock, 0, T::Completed, 32, 0});
        row("write: send of row 3 fails", {true, 0xB4, Op::WriteBlock, 3, T::Interrupted, 2, 1});
        row("write: answer 2 fails", {true, 0xB4, Op::ReadBlock, 2, T::Interrupted, 2, 1});
        row("write: open fails", {true, 0xB4, Op::OpenByIndex, 1, T::ToolNotFound, 0, 1});
    }
    void transfer()
    {
        QFETCH(Transfer, t);
        const auto aa = static_cast<std::uint8_t>(t.address);
        SelectedEdidAddress = aa;
        if (t.nthCall > 0)
            virtualTool().failOnCall(t.failingOp, t.nthCall);
        WarningRecorder recorder;
        Steps progress;
        const auto report = [&](int value, int maximum) { progress.append({value, maximum}); };
        EdidImage image; // 255 down to 0: unlike any image the tool holds, or any offset
        std::iota(image.bytes.rbegin(), image.bytes.rend(), std::uint8_t(0));
        VirtualTool::Image stored = virtualTool().image(aa);

        QCOMPARE(t.write ? writeEdidToTool(image, report) : readEdidFromTool(report), t.result);
        // A read is sixteen 16-byte reads, then the counters command repeating the last read's
        // header; a write is thirty-two 8-byte rows, each followed by a 50 ms pause.
        std::vector<std::vector<std::uint8_t>> commands;
        std::vector<std::vector<std::uint8_t>> sent;
        Steps steps;
        Steps pauses;
        for (int row = 0; t.write && row < 32; ++row) {
            commands.push_back({0x10, 0x0C, aa, static_cast<std::uint8_t>(8 * row)});
            commands.back().insert(commands.back().end(), &image.bytes[8 * row],
                                   &image.bytes[8 * row + 8]);
            steps.append({row, 32});
            pauses.append({row + 1, 50});
        }
        for (int offset = 0; !t.write && offset < 256; offset += 16) {
            commands.push_back({0x11, 0x10, aa, static_cast<std::uint8_t>(offset)});
            steps.append({offset, 255});
        }
        if (!t.write)
            commands.push_back({0x02, 0x10, aa, 0xF0, 0, 0, 0, 0});
        commands.resize(t.received);
        for (const VirtualTool::Command &command : virtualTool().receivedCommands())
            sent.push_back(command.bytes);
        QCOMPARE(sent, commands);
        QCOMPARE(int(recorder.warnings.size()), t.warnings);
        if (t.result == T::Completed) {
            QCOMPARE(progress, steps);
            QCOMPARE(clock.pauses, pauses);
            if (!t.write)
                QCOMPARE(std::string(EdidTextBuffer.data()), edidHexText(EdidImage{stored}));
        }
        // The rows the tool received are stored; the rest of its image is as it was.
        if (t.write)
            std::copy(image.bytes.begin(), image.bytes.begin() + 8 * t.received, stored.begin());
        QVERIFY(virtualTool().image(aa) == stored);
        QCOMPARE(DeviceHandle, kNoUsbHandle);
        QCOMPARE(virtualTool().openHandleCount(), 0);
    }
};

VARNEX_REGISTER_TEST(EdidTest);
#include "tst_Edid.moc"
