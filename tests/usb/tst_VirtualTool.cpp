#include "SampleEdids.h"
#include "TestRegistry.h"
#include "VirtualTool.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QTest>

#include <chrono>
#include <thread>
#include <vector>

using Bytes = std::vector<std::uint8_t>;
using Op = VirtualTool::Operation;
Q_DECLARE_METATYPE(VirtualTool::Operation)

namespace {

class ToolSession {
public:
    explicit ToolSession(VirtualTool &tool, std::uint32_t index = 0) : tool_(tool)
    {
        ok = tool_.UsbOpenByIndex(index, &handle) == kUsbSuccess;
    }
    ~ToolSession()
    {
        if (ok)
            tool_.UsbCloseHandle(handle);
    }

    // Sends a packet and collects whatever reply is due now.
    Bytes exchange(const Bytes &packet)
    {
        std::uint32_t written = 0;
        if (tool_.UsbWriteBlock(handle, packet.data(), static_cast<std::uint32_t>(packet.size()),
                                &written, 0) != kUsbSuccess)
            return {};
        return collect();
    }

    Bytes collect()
    {
        std::uint32_t waiting = 0;
        std::uint32_t status = 0;
        tool_.UsbQueueStatus(handle, &waiting, &status);
        Bytes reply(waiting);
        std::uint32_t read = 0;
        if (waiting != 0)
            tool_.UsbReadBlock(handle, reply.data(), waiting, &read, 0);
        reply.resize(read);
        return reply;
    }

    bool ok = false;
    UsbHandle handle = kNoUsbHandle;

private:
    VirtualTool &tool_;
};

Bytes slice(const VirtualTool::Image &image, std::size_t from, std::size_t count)
{
    return Bytes(image.begin() + static_cast<long>(from),
                 image.begin() + static_cast<long>(from + count));
}

std::uint8_t blockSum(const VirtualTool::Image &image, std::size_t start)
{
    unsigned sum = 0;
    for (std::size_t i = start; i < start + 128; ++i)
        sum += image[i];
    return static_cast<std::uint8_t>(sum);
}

void addAddressRows()
{
    QTest::addColumn<int>("address");
    QTest::newRow("current B0") << 0xB0;
    QTest::newRow("sink A0") << 0xA0;
    QTest::newRow("custom B2") << 0xB2;
    QTest::newRow("custom B4") << 0xB4;
    QTest::newRow("custom B6") << 0xB6;
}

} // namespace

class VirtualToolTest : public QObject {
    Q_OBJECT

private slots:
    void readCommandReturnsExactlyTheImageBytes_data() { addAddressRows(); }
    void readCommandReturnsExactlyTheImageBytes()
    {
        QFETCH(int, address);
        VirtualTool tool;
        ToolSession session(tool);
        QVERIFY(session.ok);
        const auto image = tool.image(static_cast<std::uint8_t>(address));
        for (std::uint8_t offset : {0x00, 0x10, 0x70, 0xF0}) {
            const Bytes packet{0x11, 0x10, static_cast<std::uint8_t>(address), offset};
            QCOMPARE(session.exchange(packet), slice(image, offset, 16));
        }
        QCOMPARE(session.exchange({0x11, 0x03, static_cast<std::uint8_t>(address), 0x7E}),
                 slice(image, 0x7E, 3));
        QCOMPARE(tool.receivedCommands().size(), std::size_t(5));
        QCOMPARE(tool.receivedCommands().back().bytes,
                 (Bytes{0x11, 0x03, static_cast<std::uint8_t>(address), 0x7E}));
    }

    void writeCommandStoresCustomRowsOnly_data()
    {
        QTest::addColumn<int>("address");
        QTest::addColumn<bool>("stored");
        QTest::newRow("current B0 refused") << 0xB0 << false;
        QTest::newRow("sink A0 refused") << 0xA0 << false;
        QTest::newRow("custom B2") << 0xB2 << true;
        QTest::newRow("custom B4") << 0xB4 << true;
        QTest::newRow("custom B6") << 0xB6 << true;
    }
    void writeCommandStoresCustomRowsOnly()
    {
        QFETCH(int, address);
        QFETCH(bool, stored);
        VirtualTool tool;
        ToolSession session(tool);
        const auto addr = static_cast<std::uint8_t>(address);
        const auto before = tool.image(addr);
        const Bytes row{1, 2, 3, 4, 5, 6, 7, 8};
        Bytes packet{0x10, 0x0C, addr, 0xF8};
        packet.insert(packet.end(), row.begin(), row.end());
        QCOMPARE(session.exchange(packet).size(), std::size_t(1));
        const auto after = tool.image(addr);
        QCOMPARE(slice(after, 0xF8, 8), stored ? row : slice(before, 0xF8, 8));
        QCOMPARE(slice(after, 0, 0xF8), slice(before, 0, 0xF8));
        QCOMPARE(tool.receivedCommands().front().bytes, packet);
    }

    void countersCommandReportsErrorsAndReadings()
    {
        VirtualTool tool;
        ToolSession session(tool);
        session.exchange({0x11, 0x10, 0xA0, 0x00});
        session.exchange({0x11, 0x10, 0xA0, 0x10});
        session.exchange({0x11, 0x10, 0x42, 0x00}); // no image at 0x42: a read error, no reply
        const Bytes counters = session.exchange({0x02, 0x10, 0xA0, 0xF0, 0, 0, 0, 0});
        QCOMPARE(counters.size(), std::size_t(10));
        QCOMPARE(counters[0], std::uint8_t(1));
        QCOMPARE(counters[1], std::uint8_t(2));
    }

    void malformedPacketsGetNoReply_data()
    {
        QTest::addColumn<Bytes>("packet");
        QTest::newRow("read of 0 bytes") << Bytes{0x11, 0x00, 0xB0, 0x00};
        QTest::newRow("read of 17 bytes") << Bytes{0x11, 0x11, 0xB0, 0x00};
        QTest::newRow("read packet too long") << Bytes{0x11, 0x10, 0xB0, 0x00, 0x00};
        QTest::newRow("write packet short") << Bytes{0x10, 0x0C, 0xB2, 0x00, 1, 2, 3};
        QTest::newRow("counters packet short") << Bytes{0x02, 0x10, 0xB0};
        QTest::newRow("unknown opcode") << Bytes{0x55, 0x10, 0xB0, 0x00};
    }
    void malformedPacketsGetNoReply()
    {
        QFETCH(Bytes, packet);
        VirtualTool tool;
        ToolSession session(tool);
        QVERIFY(session.exchange(packet).empty());
        QCOMPARE(tool.receivedCommands().size(), std::size_t(1));
    }

    void operationFailsOnItsNthCall_data()
    {
        QTest::addColumn<Op>("op");
        QTest::newRow("count") << Op::DeviceCount;
        QTest::newRow("string") << Op::DeviceString;
        QTest::newRow("open") << Op::OpenByIndex;
        QTest::newRow("close") << Op::CloseHandle;
        QTest::newRow("read") << Op::ReadBlock;
        QTest::newRow("write") << Op::WriteBlock;
        QTest::newRow("purge") << Op::Purge;
        QTest::newRow("queue") << Op::QueueStatus;
    }
    void operationFailsOnItsNthCall()
    {
        QFETCH(Op, op);
        VirtualTool tool;
        UsbHandle handle = kNoUsbHandle;
        QCOMPARE(tool.UsbOpenByIndex(0, &handle), kUsbSuccess);
        tool.failOnCall(op, tool.callCount(op) + 2, 0x55);
        auto call = [&]() -> UsbStatus {
            std::uint32_t n = 0, s = 0;
            UsbHandle h = kNoUsbHandle;
            UsbStringBuffer text{};
            std::uint8_t bytes[4] = {0x55, 0, 0, 0};
            switch (op) {
            case Op::DeviceCount: return tool.UsbDeviceCount(&n);
            case Op::DeviceString: return tool.UsbDeviceString(0, text, kUsbSerialString);
            case Op::OpenByIndex: {
                const UsbStatus status = tool.UsbOpenByIndex(0, &h);
                if (status == kUsbSuccess)
                    tool.UsbCloseHandle(h);
                return status;
            }
            case Op::CloseHandle: {
                tool.UsbOpenByIndex(0, &h);
                return tool.UsbCloseHandle(h);
            }
            case Op::ReadBlock: return tool.UsbReadBlock(handle, bytes, 0, &n, 0);
            case Op::WriteBlock: return tool.UsbWriteBlock(handle, bytes, 4, &n, 0);
            case Op::Purge: return tool.UsbPurge(handle, 1, 1);
            case Op::QueueStatus: return tool.UsbQueueStatus(handle, &n, &s);
            }
            return kUsbSuccess;
        };
        QCOMPARE(call(), kUsbSuccess);
        QCOMPARE(call(), 0x55);
        QCOMPARE(call(), kUsbSuccess);
    }

    void repliesCanComeLateOrNever()
    {
        using namespace std::chrono_literals;
        VirtualTool tool;
        tool.delayReply(1, 60ms);
        tool.withholdReply(2);
        ToolSession session(tool);
        QVERIFY(session.exchange({0x11, 0x10, 0xB0, 0x00}).empty());
        std::this_thread::sleep_for(80ms);
        QCOMPARE(session.collect().size(), std::size_t(16));
        QVERIFY(session.exchange({0x11, 0x10, 0xB0, 0x10}).empty());
        QCOMPARE(session.exchange({0x11, 0x10, 0xB0, 0x20}).size(), std::size_t(16));
        tool.withholdRepliesFrom(4);
        QVERIFY(session.exchange({0x11, 0x10, 0xB0, 0x30}).empty());
        QVERIFY(session.exchange({0x11, 0x10, 0xB0, 0x40}).empty());
    }

    void purgeDropsPendingReplies()
    {
        VirtualTool tool;
        ToolSession session(tool);
        std::uint32_t written = 0, waiting = 0, status = 0;
        const std::uint8_t packet[4] = {0x11, 0x10, 0xB0, 0x00};
        tool.UsbWriteBlock(session.handle, packet, 4, &written, 0);
        QCOMPARE(tool.UsbPurge(session.handle, 1, 1), kUsbSuccess);
        tool.UsbQueueStatus(session.handle, &waiting, &status);
        QCOMPARE(waiting, 0U);
    }

    void attachedDevicesAndTheirStrings()
    {
        VirtualTool tool;
        const std::string longSerial(400, '7');
        tool.attachDevices({{"1999", "Other"}, {longSerial, "Varnex"}, {"", ""}});
        std::uint32_t count = 0;
        QCOMPARE(tool.UsbDeviceCount(&count), kUsbSuccess);
        QCOMPARE(count, 3U);

        UsbStringBuffer text;
        std::memset(text, 'x', sizeof text);
        QCOMPARE(tool.UsbDeviceString(1, text, kUsbSerialString), kUsbSuccess);
        QCOMPARE(std::string(text), std::string(kUsbStringCapacity - 1, '7'));
        QCOMPARE(tool.UsbDeviceString(0, text, kUsbProductString), kUsbSuccess);
        QCOMPARE(std::string(text), std::string("Other"));
        QCOMPARE(tool.UsbDeviceString(2, text, kUsbSerialString), kUsbSuccess);
        QCOMPARE(std::string(text), std::string());
        QVERIFY(tool.UsbDeviceString(3, text, kUsbSerialString) != kUsbSuccess);

        UsbHandle handle = kNoUsbHandle;
        QVERIFY(tool.UsbOpenByIndex(3, &handle) != kUsbSuccess);
        QCOMPARE(tool.UsbOpenByIndex(1, &handle), kUsbSuccess);
        QVERIFY(handle != kNoUsbHandle);
        QCOMPARE(tool.openedDevices(), std::vector<std::size_t>{1});
        QCOMPARE(tool.UsbCloseHandle(handle), kUsbSuccess);
        QVERIFY(tool.UsbCloseHandle(handle) != kUsbSuccess);
        QCOMPARE(tool.openHandleCount(), 0);
    }

    void defaultToolIsTheOneWithSerial2011()
    {
        VirtualTool tool;
        std::uint32_t count = 0;
        tool.UsbDeviceCount(&count);
        QCOMPARE(count, 1U);
        UsbStringBuffer text{};
        tool.UsbDeviceString(0, text, kUsbSerialString);
        QCOMPARE(std::string(text), std::string("2011"));
        tool.UsbDeviceString(0, text, kUsbProductString);
        QVERIFY(std::string(text).size() > 0);
    }

    void sampleImagesAreValidEdids_data() { addAddressRows(); }
    void sampleImagesAreValidEdids()
    {
        QFETCH(int, address);
        const auto image = sampleEdid(static_cast<std::uint8_t>(address));
        const Bytes header{0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
        QCOMPARE(slice(image, 0, 8), header);
        QCOMPARE(image[18], std::uint8_t(1)); // version 1.4
        QCOMPARE(image[19], std::uint8_t(4));
        QCOMPARE(image[126], std::uint8_t(1));
        QCOMPARE(image[128], std::uint8_t(0x02)); // CTA-861 extension tag
        QCOMPARE(blockSum(image, 0), std::uint8_t(0));
        QCOMPARE(blockSum(image, 128), std::uint8_t(0));

        const QString decoder = QStandardPaths::findExecutable(QStringLiteral("edid-decode"));
        if (decoder.isEmpty())
            QFAIL("edid-decode is not installed");
        QTemporaryFile file;
        QVERIFY(file.open());
        file.write(reinterpret_cast<const char *>(image.data()), 256);
        file.close();
        QProcess process;
        process.start(decoder, {QStringLiteral("--check"), file.fileName()});
        QVERIFY(process.waitForFinished(10000));
        const QByteArray report = process.readAllStandardOutput();
        QVERIFY2(process.exitCode() == 0, report.constData());
        QVERIFY2(report.contains("EDID conformity: PASS"), report.constData());
    }
};

VARNEX_REGISTER_TEST(VirtualToolTest);
#include "tst_VirtualTool.moc"
