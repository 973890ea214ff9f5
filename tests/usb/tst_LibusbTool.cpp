// The libusb library over a scripted bus: which devices it takes for tools, their strings, what it
// does to a device call by call, and a read and a write of the window through it.
#include "DeviceState.h"
#include "FakeUsbTransport.h"
#include "MainWindow.h"
#include "MessageBoxWatcher.h"
#include "TestDeviceClock.h"
#include "TestRegistry.h"

#include <QComboBox>
#include <QTest>

#include <cstring>

namespace {

using Interfaces = std::vector<UsbInterfaceDescription>;
using Setup = std::function<void(FakeUsbDevice &)>;
constexpr std::uint8_t kBulk = LIBUSB_TRANSFER_TYPE_BULK;
constexpr std::uint8_t kInterrupt = LIBUSB_TRANSFER_TYPE_INTERRUPT;
constexpr std::uint8_t kVendor = LIBUSB_CLASS_VENDOR_SPEC;

UsbLibrary *chosenLibrary = nullptr;

// Reads a source into the pane and, if that worked, writes the pane into a custom source: what
// the two operations gave and the boxes the operator saw, in order.
QStringList readThenWrite(UsbLibrary &library, int readIndex, int writeIndex)
{
    chosenLibrary = &library;
    MainWindow window;
    auto *selector = window.findChild<QComboBox *>(QStringLiteral("EdidAddress"));
    MessageBoxWatcher watcher;
    selector->setCurrentIndex(readIndex);
    QStringList seen{window.DoReadEDID() ? "read" : "read failed"};
    selector->setCurrentIndex(writeIndex);
    if (seen[0] == "read")
        seen << (window.DoWriteEDID() ? "written" : "write failed");
    return seen + watcher.boxes;
}

} // namespace

// The library this test program is linked with is whichever the running test chose.
UsbLibrary &linkedUsbLibrary()
{
    return *chosenLibrary;
}

Q_DECLARE_METATYPE(Interfaces)
Q_DECLARE_METATYPE(Setup)

class LibusbToolTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { DeviceHandle = kNoUsbHandle; }

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
        QTest::newRow("zero packet size") << Interfaces{{0, kVendor, {{0x81, kBulk, 0}, {0x01, kBulk, 64}}}} << false;
        // clang-format on
    }
    void countsOnlyToolLikeDevices()
    {
        QFETCH(Interfaces, interfaces);
        QFETCH(bool, counted);
        Rig rig;
        FakeUsbDevice &other = rig.bus.devices.emplace_back();
        other.description.interfaces = interfaces;
        other.strings[3] = "other";
        FakeUsbDevice &unreadable = rig.bus.devices.emplace_back();
        unreadable.errors["describe"] = LIBUSB_ERROR_IO;
        rig.bus.devices.emplace_back();

        const std::uint32_t count = rig.count();
        QCOMPARE(count, counted ? 2u : 1u);
        QStringList serials; // indices run over the tools alone
        for (std::uint32_t i = 0; i < count; ++i) {
            UsbStringBuffer text{};
            rig.usb.UsbDeviceString(i, text, kUsbSerialString);
            serials << text;
        }
        QCOMPARE(serials.join(' '), counted ? "other 2011" : "2011");
        // Devices that are not tools are never opened.
        QCOMPARE(other.calls.isEmpty(), !counted);
        QVERIFY(unreadable.calls.isEmpty());
        rig.bus.listError = LIBUSB_ERROR_IO;
        QCOMPARE(rig.count(), 0xFFFFFFFFu);
    }

    void deviceStrings_data()
    {
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<uint>("selector");
        QTest::addColumn<QByteArray>("expected"); // null: the call fails
        const QByteArray cut(255, 'A');
        // clang-format off
        QTest::newRow("product") << Setup([](FakeUsbDevice &) {}) << 2u << QByteArray("HDMI");
        QTest::newRow("long string cut") << Setup([](FakeUsbDevice &d) { d.strings[2] = std::string(300, 'A'); }) << 2u << cut;
        QTest::newRow("no serial string") << Setup([](FakeUsbDevice &d) { d.description.serialStringIndex = 0; }) << 0u << QByteArray("");
        QTest::newRow("no access, kernel string cut") << Setup([](FakeUsbDevice &d) { d.errors["open"] = LIBUSB_ERROR_ACCESS; d.kernelStrings["serial"] = std::string(300, 'A'); }) << 0u << cut;
        QTest::newRow("no access, no kernel string") << Setup([](FakeUsbDevice &d) { d.errors["open"] = LIBUSB_ERROR_ACCESS; }) << 0u << QByteArray();
        QTest::newRow("gone, kernel string") << Setup([](FakeUsbDevice &d) { d.errors["open"] = LIBUSB_ERROR_NO_DEVICE; d.kernelStrings["serial"] = "2011"; }) << 0u << QByteArray();
        QTest::newRow("string request fails") << Setup([](FakeUsbDevice &d) { d.errors["string"] = LIBUSB_ERROR_PIPE; }) << 0u << QByteArray();
        QTest::newRow("other selector") << Setup([](FakeUsbDevice &) {}) << 1u << QByteArray();
        // clang-format on
    }
    void deviceStrings()
    {
        QFETCH(Setup, setup);
        QFETCH(uint, selector);
        QFETCH(QByteArray, expected);
        Rig rig;
        FakeUsbDevice &device = rig.bus.devices.emplace_back();
        setup(device);
        UsbStringBuffer text;
        std::memset(text, 'x', sizeof text);
        QVERIFY(rig.usb.UsbDeviceString(0, text, selector) != kUsbSuccess); // not counted yet
        QCOMPARE(rig.count(), 1u);
        QCOMPARE(rig.usb.UsbDeviceString(0, text, selector) == kUsbSuccess, !expected.isNull());
        if (!expected.isNull()) // the text and its terminating NUL
            QCOMPARE(QByteArray(text, expected.size() + 1), expected + '\0');
        QCOMPARE(device.openConnections, 0);
    }

    // One tool through open, write, two queries, a read of three bytes, a query, purge, a query and
    // close. A failing call fails at once; only a reply cut short or an endpoint that never runs
    // dry waits out the library's time-out.
    void exchangeThroughTheTool_data()
    {
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<QString>("trace");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<bool>("waits");
        const QString fine = "open ok, write 12 ok, queue 3 ok, queue 3 ok, read 3 ok, queue 0 ok, "
                             "purge ok, queue 0 ok, close ok";
        const QString notOpen = "open fail, write 0 fail, queue 0 fail, queue 0 fail, read 0 fail, "
                                "queue 0 fail, purge fail, queue 0 fail, close fail";
        const QString gone = "queue 0 fail, queue 0 fail, read 0 fail, queue 0 fail, purge fail, "
                             "queue 0 fail, close ok";
        const QStringList plain{"open", "claim 0", "release 0", "close"};
        // clang-format off
        QTest::newRow("plain") << Setup([](FakeUsbDevice &) {}) << fine << plain << false;
        QTest::newRow("kernel driver bound") << Setup([](FakeUsbDevice &d) { d.driverBound = true; }) << fine << QStringList{"open", "detach 0", "claim 0", "release 0", "attach 0", "close"} << false;
        QTest::newRow("open refused") << Setup([](FakeUsbDevice &d) { d.errors["open"] = LIBUSB_ERROR_ACCESS; }) << notOpen << QStringList{"open"} << false;
        QTest::newRow("detach refused") << Setup([](FakeUsbDevice &d) { d.driverBound = true; d.errors["detach"] = LIBUSB_ERROR_ACCESS; }) << notOpen << QStringList{"open", "detach 0", "close"} << false;
        QTest::newRow("claim refused after detach") << Setup([](FakeUsbDevice &d) { d.driverBound = true; d.errors["claim"] = LIBUSB_ERROR_BUSY; }) << notOpen << QStringList{"open", "detach 0", "claim 0", "attach 0", "close"} << false;
        QTest::newRow("release fails") << Setup([](FakeUsbDevice &d) { d.errors["release"] = LIBUSB_ERROR_IO; }) << QString(fine).replace("close ok", "close fail") << plain << false;
        QTest::newRow("write times out part-way") << Setup([](FakeUsbDevice &d) { d.errors["out"] = LIBUSB_ERROR_TIMEOUT; d.outAccepted = 4; }) << QString(fine).replace("write 12 ok", "write 4 fail") << plain << false;
        QTest::newRow("write short without error") << Setup([](FakeUsbDevice &d) { d.outAccepted = 11; }) << QString(fine).replace("write 12 ok", "write 11 fail") << plain << false;
        QTest::newRow("gone after the write") << Setup([](FakeUsbDevice &d) { d.goneAfterOut = 1; }) << "open ok, write 12 ok, " + gone << plain << false;
        QTest::newRow("reply in pieces, 8-byte packets") << Setup([](FakeUsbDevice &d) { d.description.interfaces[0].endpoints[0].maxPacketSize = 8; d.inScript = {{{7}}, {{}, LIBUSB_ERROR_TIMEOUT}, {{8}, LIBUSB_ERROR_TIMEOUT}, {{9, 10}}}; }) << "open ok, write 12 ok, queue 1 ok, queue 1 ok, read 3 ok, queue 1 ok, purge ok, queue 0 ok, close ok" << plain << false;
        QTest::newRow("reply cut short") << Setup([](FakeUsbDevice &d) { d.inScript = {{{7}}}; }) << "open ok, write 12 ok, queue 1 ok, queue 1 ok, read 1 fail, queue 0 ok, purge ok, queue 0 ok, close ok" << plain << true;
        QTest::newRow("purge empties buffer and endpoint") << Setup([](FakeUsbDevice &d) { d.inScript = {{{7, 8, 9, 10, 11}}, {Bytes(64)}, {Bytes(64)}, {Bytes(64)}, {Bytes(64)}, {Bytes(10), LIBUSB_ERROR_TIMEOUT}}; }) << "open ok, write 12 ok, queue 5 ok, queue 69 ok, read 3 ok, queue 130 ok, purge ok, queue 0 ok, close ok" << plain << false;
        QTest::newRow("purge gives up on an endless stream") << Setup([](FakeUsbDevice &d) { d.inSource = [](int) { deviceClock().sleepFor(std::chrono::milliseconds(1)); return FakeInTransfer{Bytes(8)}; }; }) << "open ok, write 12 ok, queue 3 ok, queue 11 ok, read 3 ok, queue 16 ok, purge fail, queue 8 ok, close ok" << plain << true;
        // clang-format on
    }
    void exchangeThroughTheTool()
    {
        QFETCH(Setup, setup);
        QFETCH(QString, trace);
        QFETCH(QStringList, calls);
        QFETCH(bool, waits);
        TestDeviceClock clock;
        Rig rig;
        FakeUsbDevice &device = rig.bus.devices.emplace_back();
        device.inScript = {{{7, 8, 9}}};
        setup(device);
        const bool driverBound = device.driverBound;
        const Bytes block{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
        Bytes read(3);
        UsbHandle handle = kNoUsbHandle;
        std::uint32_t written = 0, waiting = 0, got = 0, unused = 0;
        QStringList done;
        // Notes a call's result after it returned, with the count it gave if any.
        const auto note = [&done](const char *call, UsbStatus status, const std::uint32_t *n) {
            done << QString(call) + (n ? QString(" %1").arg(*n) : QString()) +
                        (status == kUsbSuccess ? " ok" : " fail");
        };
        const auto query = [&] {
            waiting = 0;
            note("queue", rig.usb.UsbQueueStatus(handle, &waiting, &unused), &waiting);
        };
        QCOMPARE(rig.count(), 1u);
        note("open", rig.usb.UsbOpenByIndex(0, &handle), nullptr);
        note("write", rig.usb.UsbWriteBlock(handle, block.data(), 12, &written, 0), &written);
        query();
        query();
        note("read", rig.usb.UsbReadBlock(handle, read.data(), 3, &got, 0), &got);
        query();
        note("purge", rig.usb.UsbPurge(handle, 1, 1), nullptr);
        query();
        note("close", rig.usb.UsbCloseHandle(handle), nullptr);
        const auto limit = LibusbTool::kTransferTimeout;
        QVERIFY2(waits ? clock.elapsed() >= limit && clock.elapsed() < limit * 2
                       : clock.elapsed() < std::chrono::milliseconds(100),
                 qPrintable(QString::number(clock.elapsed().count())));

        QCOMPARE(done.join(", "), trace);
        QCOMPARE(device.calls, calls);
        QCOMPARE(handle == kNoUsbHandle, trace.startsWith("open fail"));
        QCOMPARE(device.openConnections, 0);
        QCOMPARE(device.driverBound, driverBound); // a detached kernel driver is given back
        QVERIFY(std::equal(read.begin(), read.begin() + got, Bytes{7, 8, 9}.begin()));
        if (written != 0)
            QCOMPARE(device.outBlocks.at(0), Bytes(block.begin(), block.begin() + written));
        // Writes have a bounded time-out (libusb reads 0 as "wait for ever"); polls a short one.
        for (unsigned timeout : device.outTimeouts)
            QVERIFY(timeout > 0 && timeout <= 5000);
        QVERIFY(device.inTimeouts.empty() || device.inTimeouts[0] <= 10);
        for (int length : device.inLengths)
            QCOMPARE(length % device.description.interfaces[0].endpoints[0].maxPacketSize, 0);
    }

    // Each path above maps the error it met; here every error there is, down to "other".
    void everyLibusbErrorIsAFailure()
    {
        for (int error = LIBUSB_ERROR_IO; error >= LIBUSB_ERROR_OTHER; --error)
            QVERIFY2(LibusbTool::statusOf(error) != kUsbSuccess, libusb_error_name(error));
    }

    // A read and a write through the library over the fake bus, whole or with the tool unplugged
    // before an OUT block or while its reply is due (OUT blocks counted from the read's first).
    void readThenWriteThroughTheWindow_data()
    {
        QTest::addColumn<Setup>("unplug");
        QTest::addColumn<QStringList>("seen"); // empty: as on the virtual tool
        const auto device = [](const char *text) {
            return QString(" |%1||warning OK no-parent").arg(text);
        };
        const QString readFailed = "VARNEX|The EDID could not be read.||warning OK parent";
        const QString writeFailed = "VARNEX|The EDID could not be written completely. The custom "
                                    "EDID may now be incomplete.||warning OK parent";
        // clang-format off
        QTest::newRow("sink into custom/sink 8") << Setup([](FakeUsbDevice &) {}) << QStringList();
        QTest::newRow("read, gone before command 6") << Setup([](FakeUsbDevice &d) { d.goneAtOut = 6; }) << QStringList{"read failed", device("Error Sending Code"), readFailed};
        QTest::newRow("read, gone while command 9 is answered") << Setup([](FakeUsbDevice &d) { d.goneAfterOut = 9; }) << QStringList{"read failed", device("Error Checking Queue"), readFailed};
        QTest::newRow("write, gone before row 10") << Setup([](FakeUsbDevice &d) { d.goneAtOut = 17 + 10; }) << QStringList{"read", "write failed", device("Error Sending Code"), writeFailed};
        QTest::newRow("write, gone while row 3 is answered") << Setup([](FakeUsbDevice &d) { d.goneAfterOut = 17 + 3; }) << QStringList{"read", "write failed", device("Error Checking Queue"), writeFailed};
        // clang-format on
    }
    void readThenWriteThroughTheWindow()
    {
        QFETCH(Setup, unplug);
        QFETCH(QStringList, seen);
        TestDeviceClock clock;
        VirtualTool reference;
        if (seen.isEmpty())
            seen = readThenWrite(reference, 1, 4);
        ToolOnFakeBus tool;
        unplug(tool.device);
        QCOMPARE(readThenWrite(tool.usb, 1, 4), seen);
        QCOMPARE(tool.device.openConnections, 0);
        QCOMPARE(tool.device.outCalls, tool.device.unplugged
                                           ? tool.device.goneAtOut + tool.device.goneAfterOut
                                           : 16 + 1 + 32);
        if (!tool.device.unplugged) {
            QCOMPARE(seen.mid(0, 2), QStringList({"read", "written"}));
            QVERIFY(tool.firmware.image(0xB6) == reference.image(0xB6));
            QVERIFY(tool.device.inLengths.size() > std::size_t(16 * 4)); // replies came in pieces
        }
    }
};

VARNEX_REGISTER_TEST(LibusbToolTest);

#include "tst_LibusbTool.moc"
