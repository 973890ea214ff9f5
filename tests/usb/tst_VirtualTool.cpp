#include "TestRegistry.h"
#include "TestUsbLibrary.h"
#include "VirtualTool.h"

#include <QProcess>
#include <QTest>

#include <cstring>

using Bytes = std::vector<std::uint8_t>;
Q_DECLARE_METATYPE(VirtualTool::Operation)

namespace {

// An open handle on a tool: sends a packet (if any), keeps it, and collects the reply bytes that
// are due.
struct Session {
    VirtualTool &tool;
    UsbHandle handle = kNoUsbHandle;
    std::vector<Bytes> sent;

    explicit Session(VirtualTool &t) : tool(t) { tool.UsbOpenByIndex(0, &handle); }
    Bytes exchange(const Bytes &packet)
    {
        std::uint32_t n = 0, status = 0;
        if (!packet.empty()) {
            sent.push_back(packet);
            tool.UsbWriteBlock(handle, packet.data(), std::uint32_t(packet.size()), &n, 0);
        }
        tool.UsbQueueStatus(handle, &n, &status);
        Bytes reply(n);
        tool.UsbReadBlock(handle, reply.data(), n, &n, 0);
        reply.resize(n);
        return reply;
    }
};

} // namespace

class VirtualToolTest : public QObject {
    Q_OBJECT

private slots:
    // At each address: the three commands answered byte for byte, packets it does not take left
    // unanswered, every packet recorded, and an image that edid-decode (which checks the header
    // and both checksums) finds a conformant EDID 1.4 with a CTA-861 extension. The tool is
    // attached with a serial longer than the string buffer, which comes back cut.
    void commandsAtEveryAddress_data()
    {
        QTest::addColumn<int>("address");
        QTest::addColumn<bool>("writable");
        QTest::newRow("current B0") << 0xB0 << false;
        QTest::newRow("sink A0") << 0xA0 << false;
        QTest::newRow("custom B2") << 0xB2 << true;
        QTest::newRow("custom B4") << 0xB4 << true;
        QTest::newRow("custom B6") << 0xB6 << true;
    }
    void commandsAtEveryAddress()
    {
        QFETCH(int, address);
        QFETCH(bool, writable);
        const auto a = std::uint8_t(address);
        VirtualTool tool;
        tool.attachDevices({{std::string(400, '7'), "Varnex"}}); // a serial too long for the buffer
        UsbStringBuffer text;
        std::memset(text, 'x', sizeof text);
        QCOMPARE(tool.UsbDeviceString(0, text, kUsbSerialString), kUsbSuccess);
        QCOMPARE(QByteArray(text), QByteArray(kUsbStringCapacity - 1, '7')); // cut, terminated
        Session session(tool);
        VirtualTool::Image image = tool.image(a);
        Bytes read;
        for (int offset = 0; offset < 256; offset += 16) {
            const Bytes reply = session.exchange({0x11, 0x10, a, std::uint8_t(offset)});
            read.insert(read.end(), reply.begin(), reply.end());
        }
        QCOMPARE(read, Bytes(image.begin(), image.end()));
        QProcess decoder;
        decoder.start(QStringLiteral("edid-decode"), {QStringLiteral("--check")});
        decoder.write(reinterpret_cast<const char *>(read.data()), 256);
        decoder.closeWriteChannel();
        QVERIFY2(decoder.waitForFinished(10000), "edid-decode is missing or hangs");
        const QByteArray report = decoder.readAllStandardOutput();
        QVERIFY2(report.contains("EDID Structure Version & Revision: 1.4") &&
                     report.contains("Block 1, CTA-861 Extension Block:") &&
                     report.contains("EDID conformity: PASS"),
                 report.constData());

        QCOMPARE(session.exchange({0x11, 0x03, a, 0x7E}), Bytes(&image[0x7E], &image[0x81]));
        // Packets it does not take get no reply; a read of 0 or 17 bytes counts as a read error.
        // clang-format off
        const std::vector<Bytes> refused{{0x11, 0x00, a, 0}, {0x11, 0x11, a, 0}, {0x11, 0x10, a, 0, 0}, {0x10, 0x0C, a, 0, 1, 2, 3}, {0x02, 0x10, a}, {0x55, 0x10, a, 0}};
        // clang-format on
        for (const Bytes &packet : refused)
            QVERIFY(session.exchange(packet).empty());
        const Bytes write{0x10, 0x0C, a, 0xF8, 1, 2, 3, 4, 5, 6, 7, 8};
        QCOMPARE(session.exchange(write).size(), std::size_t(1));
        if (writable)
            std::copy(write.begin() + 4, write.end(), image.begin() + 0xF8);
        QCOMPARE(tool.image(a), image);
        const Bytes counters = session.exchange({0x02, 0x10, a, 0xF0, 0, 0, 0, 0});
        QCOMPARE(counters.size(), std::size_t(10));
        QCOMPARE(Bytes(counters.begin(), counters.begin() + 2), Bytes({2, 17})); // errors, readings
        QCOMPARE(commandsOf(tool), session.sent);
        std::uint32_t written = 0; // a reply that is due, then dropped by a purge
        tool.UsbWriteBlock(session.handle, session.sent[0].data(), 4, &written, 0);
        QCOMPARE(tool.UsbPurge(session.handle, 1, 1), kUsbSuccess);
        QVERIFY(session.exchange({}).empty());
    }

    void operationFailsOnItsNthCall_data()
    {
        QTest::addColumn<VirtualTool::Operation>("operation");
        const QStringList names =
            QStringLiteral("count string open close read write purge queue").split(' ');
        for (int op = 0; op < VirtualTool::kOperationCount; ++op)
            QTest::newRow(qPrintable(names[op])) << VirtualTool::Operation(op);
    }
    void operationFailsOnItsNthCall()
    {
        QFETCH(VirtualTool::Operation, operation);
        VirtualTool tool;
        UsbHandle handle = kNoUsbHandle;
        QCOMPARE(tool.UsbOpenByIndex(0, &handle), kUsbSuccess);
        tool.failOnCall(operation, tool.callCount(operation) + 2, 0x55);
        for (UsbStatus expected : {kUsbSuccess, UsbStatus(0x55), kUsbSuccess}) {
            if (operation == VirtualTool::Operation::CloseHandle)
                tool.UsbOpenByIndex(0, &handle);
            QCOMPARE(callOperation(tool, QTest::currentDataTag(), handle), expected);
        }
    }
};

VARNEX_REGISTER_TEST(VirtualToolTest);
#include "tst_VirtualTool.moc"
