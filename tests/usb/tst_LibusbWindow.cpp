#include "DeviceState.h"
#include "FakeUsbTransport.h"
#include "LibusbTool.h"
#include "MainWindow.h"
#include "MessageBoxWatcher.h"
#include "TestRegistry.h"
#include "TestUsbLibrary.h"
#include "VirtualTool.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QStatusBar>
#include <QTest>
#include <QTextEdit>

#include <memory>

namespace {

using Commands = std::vector<std::vector<std::uint8_t>>;

// A tool on the fake bus whose firmware is a virtual tool: command blocks go to it and its
// replies come back in pieces of a few bytes, as they may over USB.
struct ToolOnFakeBus {
    static constexpr int kPieceSize = 5;

    VirtualTool firmware;
    UsbHandle firmwareHandle = kNoUsbHandle;
    FakeUsbBus bus;
    LibusbTool usb{std::make_unique<FakeUsbTransport>(bus)};
    FakeUsbDevice *device = nullptr;

    ToolOnFakeBus()
    {
        firmware.UsbOpenByIndex(0, &firmwareHandle);
        bus.devices.push_back(FakeUsbDevice::tool("2011"));
        device = &bus.devices.back();
        device->onOut = [this](const std::vector<std::uint8_t> &block) {
            std::uint32_t written = 0;
            firmware.UsbWriteBlock(firmwareHandle, block.data(), std::uint32_t(block.size()),
                                   &written, 0);
        };
        device->inSource = [this](int length) {
            std::uint32_t waiting = 0, status = 0;
            firmware.UsbQueueStatus(firmwareHandle, &waiting, &status);
            FakeInTransfer piece;
            piece.bytes.resize(std::min<std::size_t>({waiting, std::size_t(length), kPieceSize}));
            std::uint32_t read = 0;
            if (!piece.bytes.empty())
                firmware.UsbReadBlock(firmwareHandle, piece.bytes.data(),
                                      std::uint32_t(piece.bytes.size()), &read, 0);
            if (piece.bytes.empty()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                piece.error = LIBUSB_ERROR_TIMEOUT;
            }
            return piece;
        };
    }
};

Commands commandsOf(const VirtualTool &tool)
{
    Commands commands;
    for (const VirtualTool::Command &command : tool.receivedCommands())
        commands.push_back(command.bytes);
    return commands;
}

QStringList shown(const MessageBoxWatcher &watcher)
{
    QStringList boxes;
    for (const ShownBox &box : watcher.boxes())
        boxes << box.title + QLatin1Char('|') + box.text;
    return boxes;
}

// Reads the chosen source, then writes the pane back into a custom image.
QString readThenWrite(int readIndex, int writeIndex, QStringList *boxes)
{
    MainWindow window;
    auto *selector = window.findChild<QComboBox *>(QStringLiteral("EdidAddress"));
    MessageBoxWatcher watcher;
    selector->setCurrentIndex(readIndex);
    const bool read = window.DoReadEDID();
    selector->setCurrentIndex(writeIndex);
    const bool written = window.DoWriteEDID();
    *boxes = shown(watcher);
    if (!read || !written)
        return QString();
    return window.findChild<QTextEdit *>(QStringLiteral("EDIDtext"))->toPlainText();
}

} // namespace

class LibusbWindowTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { DeviceHandle = kNoUsbHandle; }

    void sameCommandsAsOnTheVirtualTool_data()
    {
        QTest::addColumn<int>("readIndex");
        QTest::addColumn<int>("writeIndex");
        QTest::newRow("current into custom 6") << 0 << 2;
        QTest::newRow("sink into custom/sink 8") << 1 << 4;
    }
    void sameCommandsAsOnTheVirtualTool()
    {
        QFETCH(int, readIndex);
        QFETCH(int, writeIndex);
        VirtualTool reference;
        useUsbLibrary(reference);
        QStringList referenceBoxes;
        const QString referenceText = readThenWrite(readIndex, writeIndex, &referenceBoxes);

        ToolOnFakeBus tool;
        useUsbLibrary(tool.usb);
        QStringList boxes;
        const QString text = readThenWrite(readIndex, writeIndex, &boxes);

        QVERIFY(!referenceText.isEmpty());
        QCOMPARE(text, referenceText);
        QCOMPARE(boxes, referenceBoxes);
        QCOMPARE(commandsOf(tool.firmware).size(), std::size_t(16 + 1 + 32));
        QVERIFY(commandsOf(tool.firmware) == commandsOf(reference));
        QCOMPARE(tool.device->openConnections, 0);
        // Replies came in pieces, and every piece was asked for in whole packets.
        QVERIFY(tool.device->inLengths.size() > std::size_t(16 * 4));
        for (int length : tool.device->inLengths)
            QCOMPARE(length % 64, 0);
    }

    void unpluggedMidExchange_data()
    {
        QTest::addColumn<bool>("write");
        QTest::addColumn<int>("unplugAtOut");
        QTest::addColumn<bool>("duringReply"); // gone right after the block went out
        QTest::addColumn<QStringList>("boxes");
        const QString readFailed = QStringLiteral("VARNEX|The EDID could not be read.");
        const QString writeFailed = QStringLiteral(
            "VARNEX|The EDID could not be written completely. The custom EDID may now be "
            "incomplete.");
        QTest::newRow("read, gone before command 6")
            << false << 6 << false << QStringList{" |Error Sending Code", readFailed};
        QTest::newRow("read, gone while command 9 is answered")
            << false << 9 << true << QStringList{" |Error Checking Queue", readFailed};
        QTest::newRow("write, gone before row 10")
            << true << 10 << false << QStringList{" |Error Sending Code", writeFailed};
        QTest::newRow("write, gone while row 3 is answered")
            << true << 3 << true << QStringList{" |Error Checking Queue", writeFailed};
    }
    void unpluggedMidExchange()
    {
        QFETCH(bool, write);
        QFETCH(int, unplugAtOut);
        QFETCH(bool, duringReply);
        QFETCH(QStringList, boxes);
        ToolOnFakeBus tool;
        useUsbLibrary(tool.usb);
        if (duringReply) {
            tool.device->onOut = [&tool, unplugAtOut, deliver = tool.device->onOut](
                                     const std::vector<std::uint8_t> &block) {
                deliver(block);
                tool.device->unplugged = tool.device->outCalls == unplugAtOut;
            };
        } else {
            tool.device->unplugAtOut = unplugAtOut;
        }
        MainWindow window;
        window.findChild<QComboBox *>(QStringLiteral("EdidAddress"))->setCurrentIndex(2);
        auto *pane = window.findChild<QTextEdit *>(QStringLiteral("EDIDtext"));
        QString text;
        const VirtualTool::Image image = tool.firmware.image(0xB0);
        for (int i = 0; i < 256; ++i)
            text += QStringLiteral("%1").arg(image[i], 2, 16, QLatin1Char('0')).toUpper() +
                    QLatin1Char(i % 16 == 15 ? '\n' : ' ');
        pane->setPlainText(write ? text : QStringLiteral("kept"));
        MessageBoxWatcher watcher;
        QElapsedTimer clock;
        clock.start();

        QVERIFY(!(write ? window.DoWriteEDID() : window.DoReadEDID()));
        QVERIFY2(clock.elapsed() < 3000 + 50 * 32, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(shown(watcher), boxes);
        QCOMPARE(pane->toPlainText(), write ? text : QStringLiteral("kept"));
        QVERIFY(window.statusBar()->currentMessage().isEmpty());
        QCOMPARE(DeviceHandle, kNoUsbHandle);
        QCOMPARE(tool.device->openConnections, 0);
        QCOMPARE(tool.device->outCalls, unplugAtOut);
    }
};

VARNEX_REGISTER_TEST(LibusbWindowTest);

#include "tst_LibusbWindow.moc"
