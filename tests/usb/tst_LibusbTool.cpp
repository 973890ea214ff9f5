#include "FakeUsbTransport.h"
#include "LibusbTool.h"
#include "TestRegistry.h"

#include <QElapsedTimer>
#include <QTest>

#include <cstring>

using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes sequence(std::size_t count, std::uint8_t first = 0)
{
    Bytes bytes(count);
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<std::uint8_t>(first + i);
    return bytes;
}

// A library over a fake bus; the bus is declared first so that it outlives the library.
struct Rig {
    FakeUsbBus bus;
    LibusbTool usb{std::make_unique<FakeUsbTransport>(bus)};
    UsbHandle handle = kNoUsbHandle;

    FakeUsbDevice &attach(FakeUsbDevice device)
    {
        bus.devices.push_back(std::move(device));
        return bus.devices.back();
    }
    std::uint32_t count()
    {
        std::uint32_t count = 0;
        return usb.UsbDeviceCount(&count) == kUsbSuccess ? count : 0xFFFFFFFF;
    }
    // Attaches one tool and opens it into handle.
    FakeUsbDevice &openTool(std::uint16_t packetSize = 64)
    {
        FakeUsbDevice &device = attach(FakeUsbDevice::tool("2011", "HDMI", packetSize));
        count();
        usb.UsbOpenByIndex(0, &handle);
        return device;
    }
    std::uint32_t waiting()
    {
        std::uint32_t waiting = 0, status = 0;
        return usb.UsbQueueStatus(handle, &waiting, &status) == kUsbSuccess ? waiting : 0xFFFFFFFF;
    }
    UsbStatus read(Bytes &bytes, std::uint32_t length)
    {
        bytes.assign(length, 0xEE);
        std::uint32_t got = 0;
        const UsbStatus status = usb.UsbReadBlock(handle, bytes.data(), length, &got, 0);
        bytes.resize(got);
        return status;
    }
};

QStringList callsOf(const FakeUsbDevice &device)
{
    QStringList calls;
    for (const std::string &call : device.calls)
        calls << QString::fromStdString(call);
    return calls;
}

// One call of the named operation on the handle (or on device 0), with harmless arguments.
UsbStatus callOperation(LibusbTool &usb, const QString &operation, UsbHandle handle)
{
    Bytes bytes(16);
    std::uint32_t n = 0, status = 0;
    UsbStringBuffer text{};
    UsbHandle opened = kNoUsbHandle;
    if (operation == "close")
        return usb.UsbCloseHandle(handle);
    if (operation == "read")
        return usb.UsbReadBlock(handle, bytes.data(), 16, &n, 0);
    if (operation == "write")
        return usb.UsbWriteBlock(handle, bytes.data(), 4, &n, 0);
    if (operation == "purge")
        return usb.UsbPurge(handle, 1, 1);
    if (operation == "queue")
        return usb.UsbQueueStatus(handle, &n, &status);
    if (operation == "string")
        return usb.UsbDeviceString(0, text, kUsbSerialString);
    return usb.UsbOpenByIndex(0, &opened);
}

using Interfaces = std::vector<UsbInterfaceDescription>;
constexpr std::uint8_t kBulk = LIBUSB_TRANSFER_TYPE_BULK;
constexpr std::uint8_t kInterrupt = LIBUSB_TRANSFER_TYPE_INTERRUPT;
constexpr std::uint8_t kVendor = LIBUSB_CLASS_VENDOR_SPEC;

} // namespace

Q_DECLARE_METATYPE(Interfaces)

class LibusbToolTest : public QObject {
    Q_OBJECT

private slots:
    void countsOnlyToolLikeDevices_data()
    {
        QTest::addColumn<Interfaces>("interfaces");
        QTest::addColumn<bool>("counted");
        // clang-format off
        QTest::newRow("vendor, bulk in and out") << Interfaces{{0, kVendor, {{0x81, kBulk, 64}, {0x01, kBulk, 64}}}} << true;
        QTest::newRow("behind a HID interface") << Interfaces{{0, LIBUSB_CLASS_HID, {{0x83, kInterrupt, 8}}}, {1, kVendor, {{0x02, kBulk, 512}, {0x82, kBulk, 512}}}} << true;
        QTest::newRow("mass storage") << Interfaces{{0, LIBUSB_CLASS_MASS_STORAGE, {{0x81, kBulk, 64}, {0x01, kBulk, 64}}}} << false;
        QTest::newRow("interrupt in") << Interfaces{{0, kVendor, {{0x81, kInterrupt, 64}, {0x01, kBulk, 64}}}} << false;
        QTest::newRow("two bulk in") << Interfaces{{0, kVendor, {{0x81, kBulk, 64}, {0x82, kBulk, 64}}}} << false;
        QTest::newRow("third endpoint") << Interfaces{{0, kVendor, {{0x81, kBulk, 64}, {0x01, kBulk, 64}, {0x83, kInterrupt, 8}}}} << false;
        QTest::newRow("bulk out only") << Interfaces{{0, kVendor, {{0x01, kBulk, 64}}}} << false;
        QTest::newRow("zero packet size") << Interfaces{{0, kVendor, {{0x81, kBulk, 0}, {0x01, kBulk, 64}}}} << false;
        QTest::newRow("no interfaces") << Interfaces{} << false;
        // clang-format on
    }
    void countsOnlyToolLikeDevices()
    {
        QFETCH(Interfaces, interfaces);
        QFETCH(bool, counted);
        Rig rig;
        FakeUsbDevice candidate = FakeUsbDevice::tool("other");
        candidate.description.interfaces = interfaces;
        FakeUsbDevice &other = rig.attach(candidate);
        FakeUsbDevice unreadable = FakeUsbDevice::tool("unreadable");
        unreadable.describeError = LIBUSB_ERROR_IO;
        FakeUsbDevice &skipped = rig.attach(unreadable);
        rig.attach(FakeUsbDevice::tool("2011"));

        const std::uint32_t count = rig.count();
        QCOMPARE(count, counted ? 2u : 1u);
        QStringList serials;
        for (std::uint32_t i = 0; i < count; ++i) {
            UsbStringBuffer text{};
            QCOMPARE(rig.usb.UsbDeviceString(i, text, kUsbSerialString), kUsbSuccess);
            serials << QString::fromLatin1(text);
        }
        const QStringList expected = counted ? QStringList{"other", "2011"} : QStringList{"2011"};
        QCOMPARE(serials, expected);
        // Devices that are not tools are never opened.
        QCOMPARE(other.calls.empty(), !counted);
        QVERIFY(skipped.calls.empty());
    }

    void deviceStrings_data()
    {
        QTest::addColumn<QByteArray>("stored"); // null: the device has no such string
        QTest::addColumn<uint>("selector");
        QTest::addColumn<uint>("index");
        QTest::addColumn<int>("openError");
        QTest::addColumn<int>("stringError");
        QTest::addColumn<QByteArray>("kernel"); // null: sysfs has no such attribute
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray none;
        const QByteArray long300(300, 'A');
        const QByteArray tool("2011");
        const int access = LIBUSB_ERROR_ACCESS;
        // clang-format off
        QTest::newRow("serial") << tool << 0u << 0u << 0 << 0 << none << true << tool;
        QTest::newRow("product") << QByteArray("Varnex HDMI") << 2u << 0u << 0 << 0 << none << true << QByteArray("Varnex HDMI");
        QTest::newRow("long string cut") << long300 << 2u << 0u << 0 << 0 << none << true << long300.left(255);
        QTest::newRow("fills the buffer") << long300.left(255) << 0u << 0u << 0 << 0 << none << true << long300.left(255);
        QTest::newRow("no serial string") << none << 0u << 0u << 0 << 0 << none << true << QByteArray("");
        QTest::newRow("no access, kernel string") << tool << 0u << 0u << access << 0 << tool << true << tool;
        QTest::newRow("no access, no kernel string") << tool << 0u << 0u << access << 0 << none << false << none;
        QTest::newRow("gone, kernel string") << tool << 0u << 0u << int(LIBUSB_ERROR_NO_DEVICE) << 0 << tool << false << none;
        QTest::newRow("string request fails") << tool << 0u << 0u << 0 << int(LIBUSB_ERROR_PIPE) << none << false << none;
        QTest::newRow("other selector") << tool << 1u << 0u << 0 << 0 << none << false << none;
        QTest::newRow("index past the count") << tool << 0u << 1u << 0 << 0 << none << false << none;
        // clang-format on
    }
    void deviceStrings()
    {
        QFETCH(QByteArray, stored);
        QFETCH(uint, selector);
        QFETCH(uint, index);
        QFETCH(int, openError);
        QFETCH(int, stringError);
        QFETCH(QByteArray, kernel);
        QFETCH(bool, ok);
        QFETCH(QByteArray, expected);
        Rig rig;
        FakeUsbDevice &device = rig.attach(FakeUsbDevice::tool("", ""));
        const std::uint8_t descriptor = selector == kUsbSerialString ? 3 : 2;
        device.strings[descriptor] = stored.toStdString();
        if (stored.isNull())
            (selector == kUsbSerialString ? device.description.serialStringIndex
                                          : device.description.productStringIndex) = 0;
        if (!kernel.isNull())
            device.kernelStrings[selector == kUsbSerialString ? "serial" : "product"] =
                kernel.toStdString();
        device.openError = openError;
        device.stringError = stringError;
        QCOMPARE(rig.count(), 1u);

        UsbStringBuffer text;
        std::memset(text, 'x', sizeof text);
        const UsbStatus status = rig.usb.UsbDeviceString(index, text, selector);
        QCOMPARE(status == kUsbSuccess, ok);
        if (ok) {
            QCOMPARE(text[expected.size()], '\0');
            QCOMPARE(QByteArray(text), expected);
        }
        QCOMPARE(device.openConnections, 0);
    }

    void openClaimsAndCloseGivesBack_data()
    {
        QTest::addColumn<bool>("driverBound");
        QTest::addColumn<int>("openError");
        QTest::addColumn<int>("detachError");
        QTest::addColumn<int>("claimError");
        QTest::addColumn<QStringList>("calls"); // through open and close
        const int refused = LIBUSB_ERROR_ACCESS, busy = LIBUSB_ERROR_BUSY;
        // clang-format off
        QTest::newRow("plain") << false << 0 << 0 << 0 << QStringList{"open", "claim 0", "release 0", "close"};
        QTest::newRow("kernel driver bound") << true << 0 << 0 << 0 << QStringList{"open", "detach 0", "claim 0", "release 0", "attach 0", "close"};
        QTest::newRow("open refused") << false << refused << 0 << 0 << QStringList{"open"};
        QTest::newRow("detach refused") << true << 0 << refused << 0 << QStringList{"open", "detach 0", "close"};
        QTest::newRow("claim refused") << false << 0 << 0 << busy << QStringList{"open", "claim 0", "close"};
        QTest::newRow("claim refused after detach") << true << 0 << 0 << busy << QStringList{"open", "detach 0", "claim 0", "attach 0", "close"};
        // clang-format on
    }
    void openClaimsAndCloseGivesBack()
    {
        QFETCH(bool, driverBound);
        QFETCH(int, openError);
        QFETCH(int, detachError);
        QFETCH(int, claimError);
        QFETCH(QStringList, calls);
        Rig rig;
        FakeUsbDevice &device = rig.attach(FakeUsbDevice::tool("2011"));
        device.driverBound = driverBound;
        device.openError = openError;
        device.detachError = detachError;
        device.claimError = claimError;
        rig.count();
        const bool opens = openError == 0 && detachError == 0 && claimError == 0;

        QCOMPARE(rig.usb.UsbOpenByIndex(0, &rig.handle) == kUsbSuccess, opens);
        QCOMPARE(device.openConnections, opens ? 1 : 0);
        QCOMPARE(rig.handle == kNoUsbHandle, !opens);
        if (opens)
            QCOMPARE(rig.usb.UsbCloseHandle(rig.handle), kUsbSuccess);
        QCOMPARE(callsOf(device), calls);
        QCOMPARE(device.openConnections, 0);
        QCOMPARE(device.driverBound, driverBound); // a detached kernel driver is given back
    }

    void refusesHandlesItDidNotGiveOrClosed_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("which");
        for (const char *operation : {"close", "read", "write", "purge", "queue"}) {
            for (const char *which : {"-1", "closed", "never given"})
                QTest::addRow("%s %s", operation, which) << QString(operation) << QString(which);
        }
    }
    void refusesHandlesItDidNotGiveOrClosed()
    {
        QFETCH(QString, operation);
        QFETCH(QString, which);
        Rig rig;
        rig.attach(FakeUsbDevice::tool("2011"));
        rig.attach(FakeUsbDevice::tool("2012"));
        QCOMPARE(rig.count(), 2u);
        UsbHandle first = kNoUsbHandle, second = kNoUsbHandle;
        QCOMPARE(rig.usb.UsbOpenByIndex(0, &first), kUsbSuccess);
        QCOMPARE(rig.usb.UsbOpenByIndex(1, &second), kUsbSuccess);
        QVERIFY(first != second && first != kNoUsbHandle && second != kNoUsbHandle);
        QCOMPARE(rig.usb.UsbCloseHandle(first), kUsbSuccess);

        const UsbHandle handle = which == "-1"       ? kNoUsbHandle
                                 : which == "closed" ? first
                                                     : second + 1000;
        const UsbStatus result = callOperation(rig.usb, operation, handle);
        QCOMPARE(result, LibusbTool::kInvalidHandle);
        // The other tool is untouched and still open.
        QCOMPARE(rig.bus.devices[1].openConnections, 1);
        QVERIFY(rig.bus.devices[1].outBlocks.empty());
    }

    void closeFreesTheHandleWhateverTheRelease_data()
    {
        QTest::addColumn<bool>("unplugged");
        QTest::addColumn<int>("releaseError");
        QTest::addColumn<bool>("ok");
        QTest::newRow("released") << false << 0 << true;
        QTest::newRow("tool gone") << true << 0 << true;
        QTest::newRow("release fails") << false << int(LIBUSB_ERROR_IO) << false;
    }
    void closeFreesTheHandleWhateverTheRelease()
    {
        QFETCH(bool, unplugged);
        QFETCH(int, releaseError);
        QFETCH(bool, ok);
        Rig rig;
        FakeUsbDevice &device = rig.openTool();
        device.unplugged = unplugged;
        device.releaseError = releaseError;
        QCOMPARE(rig.usb.UsbCloseHandle(rig.handle) == kUsbSuccess, ok);
        QCOMPARE(device.openConnections, 0);
        QCOMPARE(rig.usb.UsbCloseHandle(rig.handle), LibusbTool::kInvalidHandle);
    }

    void writeSendsTheBlockOnBulkOut_data()
    {
        QTest::addColumn<int>("outError");
        QTest::addColumn<int>("accepted");
        QTest::addColumn<bool>("unplugged");
        QTest::newRow("sent") << 0 << -1 << false;
        QTest::newRow("times out") << int(LIBUSB_ERROR_TIMEOUT) << 0 << false;
        QTest::newRow("times out part-way") << int(LIBUSB_ERROR_TIMEOUT) << 4 << false;
        QTest::newRow("short without error") << 0 << 11 << false;
        QTest::newRow("stalls") << int(LIBUSB_ERROR_PIPE) << 0 << false;
        QTest::newRow("tool gone") << 0 << -1 << true;
    }
    void writeSendsTheBlockOnBulkOut()
    {
        QFETCH(int, outError);
        QFETCH(int, accepted);
        QFETCH(bool, unplugged);
        Rig rig;
        FakeUsbDevice &device = rig.openTool();
        device.outError = outError;
        device.outAccepted = accepted;
        device.unplugged = unplugged;
        const Bytes block{0x10, 0x0C, 0xB2, 0x08, 1, 2, 3, 4, 5, 6, 7, 8};
        std::uint32_t written = 99;
        const UsbStatus status = rig.usb.UsbWriteBlock(rig.handle, block.data(), 12, &written, 0);
        const bool sent = outError == 0 && accepted < 0 && !unplugged;
        QCOMPARE(status == kUsbSuccess, sent);
        const std::uint32_t through = unplugged ? 0 : accepted < 0 ? 12 : accepted;
        QCOMPARE(written, through);
        if (through > 0)
            QCOMPARE(device.outBlocks.at(0), Bytes(block.begin(), block.begin() + through));
        if (!unplugged)
            QCOMPARE(device.outTimeouts,
                     std::vector<unsigned>{unsigned(LibusbTool::kTransferTimeout.count())});
    }

    void replyInPiecesIsCountedAndReadWhole_data()
    {
        QTest::addColumn<int>("packetSize");
        QTest::newRow("8-byte packets") << 8;
        QTest::newRow("full speed") << 64;
        QTest::newRow("high speed") << 512;
    }
    void replyInPiecesIsCountedAndReadWhole()
    {
        QFETCH(int, packetSize);
        Rig rig;
        FakeUsbDevice &device = rig.openTool(static_cast<std::uint16_t>(packetSize));
        const Bytes reply = sequence(16, 0x40);
        device.inScript = {{Bytes(reply.begin(), reply.begin() + 5), LIBUSB_SUCCESS},
                           {{}, LIBUSB_ERROR_TIMEOUT},
                           {Bytes(reply.begin() + 5, reply.begin() + 11), LIBUSB_ERROR_TIMEOUT},
                           {Bytes(reply.begin() + 11, reply.end()), LIBUSB_SUCCESS}};
        QCOMPARE(rig.waiting(), 5u);
        QCOMPARE(rig.waiting(), 5u);
        QCOMPARE(rig.waiting(), 11u); // bytes that came with a time-out are kept
        QCOMPARE(rig.waiting(), 16u);
        Bytes read;
        QCOMPARE(rig.read(read, 16), kUsbSuccess);
        QCOMPARE(read, reply);
        QCOMPARE(rig.waiting(), 0u);
        for (int length : device.inLengths)
            QCOMPARE(length % packetSize, 0);
        for (unsigned timeout : device.inTimeouts)
            QCOMPARE(timeout, unsigned(LibusbTool::kPollTimeout.count()));
    }

    void readWaitsForTheRestAndKeepsWhatFollows()
    {
        Rig rig;
        FakeUsbDevice &device = rig.openTool();
        const Bytes stream = sequence(20, 0x80);
        device.inScript = {{Bytes(stream.begin(), stream.begin() + 1)},
                           {{}, LIBUSB_ERROR_TIMEOUT},
                           {Bytes(stream.begin() + 1, stream.begin() + 9)},
                           {Bytes(stream.begin() + 9, stream.end())}};
        QCOMPARE(rig.waiting(), 1u);
        Bytes read;
        QCOMPARE(rig.read(read, 16), kUsbSuccess);
        QCOMPARE(read, Bytes(stream.begin(), stream.begin() + 16));
        QCOMPARE(rig.read(read, 4), kUsbSuccess); // bytes past the first reply stay for the next
        QCOMPARE(read, Bytes(stream.begin() + 16, stream.end()));
    }

    void shortReplyEndsInTimeOut()
    {
        Rig rig;
        FakeUsbDevice &device = rig.openTool();
        device.inScript = {{{1, 2, 3}}};
        QElapsedTimer clock;
        clock.start();
        Bytes read;
        QVERIFY(rig.read(read, 16) != kUsbSuccess);
        const qint64 elapsed = clock.elapsed();
        QCOMPARE(read, (Bytes{1, 2, 3}));
        QVERIFY2(elapsed >= LibusbTool::kTransferTimeout.count() - 5 &&
                     elapsed < LibusbTool::kTransferTimeout.count() + 500,
                 qPrintable(QString::number(elapsed)));
    }

    void purgeEmptiesBufferAndEndpoint()
    {
        Rig rig;
        FakeUsbDevice &device = rig.openTool();
        device.inScript = {{sequence(5)}};
        QCOMPARE(rig.waiting(), 5u);
        device.inScript = {{sequence(64)}, {sequence(64)}, {sequence(10), LIBUSB_ERROR_TIMEOUT}};
        QCOMPARE(rig.usb.UsbPurge(rig.handle, 1, 1), kUsbSuccess);
        QVERIFY(device.inScript.empty());
        QCOMPARE(rig.waiting(), 0u);
    }

    void purgeGivesUpOnEndlessStream()
    {
        Rig rig;
        FakeUsbDevice &device = rig.openTool();
        device.inSource = [](int) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return FakeInTransfer{sequence(8)};
        };
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(rig.usb.UsbPurge(rig.handle, 1, 1), LibusbTool::kStillReceiving);
        QVERIFY(clock.elapsed() < LibusbTool::kTransferTimeout.count() + 500);
    }

    void unpluggedToolFailsAtOnce_data()
    {
        QTest::addColumn<QString>("operation");
        for (const char *operation : {"write", "queue", "read", "purge", "string", "open"})
            QTest::newRow(operation) << QString(operation);
    }
    void unpluggedToolFailsAtOnce()
    {
        QFETCH(QString, operation);
        Rig rig;
        FakeUsbDevice &device = rig.openTool();
        device.inScript = {{sequence(3)}};
        QCOMPARE(rig.waiting(), 3u);
        device.unplugged = true;
        QElapsedTimer clock;
        clock.start();
        const UsbStatus status = callOperation(rig.usb, operation, rig.handle);
        QVERIFY(status != kUsbSuccess);
        QVERIFY(clock.elapsed() < 100);
        QCOMPARE(rig.usb.UsbCloseHandle(rig.handle), kUsbSuccess);
        QCOMPARE(device.openConnections, 0);
        QCOMPARE(rig.count(), 0u);
    }

    void everyLibusbErrorIsAFailure_data()
    {
        QTest::addColumn<int>("error");
        for (int error : {LIBUSB_ERROR_IO, LIBUSB_ERROR_INVALID_PARAM, LIBUSB_ERROR_ACCESS,
                          LIBUSB_ERROR_NO_DEVICE, LIBUSB_ERROR_NOT_FOUND, LIBUSB_ERROR_BUSY,
                          LIBUSB_ERROR_TIMEOUT, LIBUSB_ERROR_OVERFLOW, LIBUSB_ERROR_PIPE,
                          LIBUSB_ERROR_INTERRUPTED, LIBUSB_ERROR_NO_MEM, LIBUSB_ERROR_NOT_SUPPORTED,
                          LIBUSB_ERROR_OTHER})
            QTest::newRow(libusb_error_name(error)) << error;
    }
    void everyLibusbErrorIsAFailure()
    {
        QFETCH(int, error);
        Rig rig;
        FakeUsbDevice &device = rig.openTool();
        device.outError = error;
        device.inScript = {{{}, error}};
        Bytes bytes(16);
        std::uint32_t n = 0;
        QVERIFY(rig.usb.UsbWriteBlock(rig.handle, bytes.data(), 4, &n, 0) != kUsbSuccess);
        if (error != LIBUSB_ERROR_TIMEOUT)
            QVERIFY(rig.usb.UsbQueueStatus(rig.handle, &n, &n) != kUsbSuccess);
        rig.bus.listError = error;
        std::uint32_t count = 7;
        QVERIFY(rig.usb.UsbDeviceCount(&count) != kUsbSuccess);
        QCOMPARE(count, 7u);
        device.openError = error;
        rig.bus.listError = 0;
        QCOMPARE(rig.count(), 1u);
        UsbHandle handle = kNoUsbHandle;
        QVERIFY(rig.usb.UsbOpenByIndex(0, &handle) != kUsbSuccess);
        QCOMPARE(handle, kNoUsbHandle);
    }
};

VARNEX_REGISTER_TEST(LibusbToolTest);

#include "tst_LibusbTool.moc"
