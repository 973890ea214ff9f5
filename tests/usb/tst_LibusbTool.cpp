// The libusb library over a scripted bus: which devices it takes for tools, their strings, what it
// does to a tool when opening and closing it, and the window's read and write through it, which
// must give the operator what the virtual tool gives.
#include "DeviceState.h"
#include "FakeUsbTransport.h"
#include "MainWindow.h"
#include "MessageBoxWatcher.h"
#include "TestDeviceClock.h"
#include "TestRegistry.h"

#include <QComboBox>
#include <QTest>

#include <cstdlib>
#include <cstring>

namespace {

using Interfaces = std::vector<UsbInterfaceDescription>;
using Setup = std::function<void(FakeUsbDevice &)>;
constexpr std::uint8_t kBulk = LIBUSB_TRANSFER_TYPE_BULK;
constexpr std::uint8_t kInterrupt = LIBUSB_TRANSFER_TYPE_INTERRUPT;
constexpr std::uint8_t kVendor = LIBUSB_CLASS_VENDOR_SPEC;

UsbLibrary *chosenLibrary = nullptr;

// Reads the sink into the pane and, if that worked, writes the pane into "Custom/Sink EDID 8":
// what the two operations gave and the boxes the operator saw, in order.
QStringList readThenWrite(UsbLibrary &library)
{
    chosenLibrary = &library;
    MainWindow window;
    auto *selector = window.findChild<QComboBox *>(QStringLiteral("EdidAddress"));
    MessageBoxWatcher watcher;
    selector->setCurrentIndex(1);
    QStringList seen{window.DoReadEDID() ? "read" : "read failed"};
    selector->setCurrentIndex(4);
    if (seen[0] == "read")
        seen << (window.DoWriteEDID() ? "written" : "write failed");
    return seen + watcher.boxes;
}

// A row's setup: on the nth OUT block the reply loses its last piece, or gains a byte.
Setup replyChanged(int nth, bool shorter)
{
    return [nth, shorter](FakeUsbDevice &d) {
        d.onOut = [next = d.onOut, nth, shorter, &d](const Bytes &block) {
            next(block);
            if (d.outCalls == nth)
                shorter ? d.inScript.pop_back() : d.inScript.push_back({{0x99}});
        };
    };
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
    void cleanup()
    {
        DeviceHandle = kNoUsbHandle;
        unsetenv("VARNEX_USB_IDS");
    }

    // Beside the tool (10C4:EA61) and a device whose descriptors cannot be read, one more device,
    // which the kernel knows as "kernel". The listing shows tools by serial and the others by ID.
    void countsOnlyTools_data()
    {
        QTest::addColumn<QString>("ids");         // the other device's, as vvvv:pppp
        QTest::addColumn<QByteArray>("addedIds"); // VARNEX_USB_IDS
        QTest::addColumn<Interfaces>("interfaces");
        QTest::addColumn<int>("openError");
        QTest::addColumn<QString>("listing");
        const Interfaces tool{{0, kVendor, {{0x81, kBulk, 64}, {0x01, kBulk, 64}}}};
        const QByteArray none;
        // clang-format off
        QTest::newRow("another tool") << "10c4:ea61" << none << tool << 0 << "other HDMI, 2011 HDMI";
        QTest::newRow("another tool, no access") << "10c4:ea61" << none << tool << int(LIBUSB_ERROR_ACCESS) << "kernel K (no access), 2011 HDMI";
        QTest::newRow("tool interface behind a HID one") << "10c4:ea61" << none << Interfaces{{0, LIBUSB_CLASS_HID, {{0x83, kInterrupt, 8}}}, {1, kVendor, {{0x02, kBulk, 512}, {0x82, kBulk, 512}}}} << 0 << "other HDMI, 2011 HDMI";
        QTest::newRow("ID not in the list") << "10c4:8149" << none << tool << 0 << "2011 HDMI, 10c4:8149 kernel";
        QTest::newRow("ID added by the environment") << "10c4:8149" << QByteArray("1234:5678, 10C4:8149") << tool << 0 << "other HDMI, 2011 HDMI";
        QTest::newRow("malformed entries skipped one by one") << "10c4:8149" << QByteArray("10c4,:8149,10c4:81490,x0c4:8149;10c4:8149") << tool << 0 << "other HDMI, 2011 HDMI";
        QTest::newRow("only malformed entries") << "10c4:8149" << QByteArray("10c4-8149,10c4:,:") << tool << 0 << "2011 HDMI, 10c4:8149 kernel";
        QTest::newRow("mass storage") << "10c4:ea61" << none << Interfaces{{0, LIBUSB_CLASS_MASS_STORAGE, {{0x81, kBulk, 64}, {0x01, kBulk, 64}}}} << 0 << "2011 HDMI";
        QTest::newRow("interrupt in") << "10c4:ea61" << none << Interfaces{{0, kVendor, {{0x81, kInterrupt, 64}, {0x01, kBulk, 64}}}} << 0 << "2011 HDMI";
        QTest::newRow("two bulk in") << "10c4:ea61" << none << Interfaces{{0, kVendor, {{0x81, kBulk, 64}, {0x82, kBulk, 64}}}} << 0 << "2011 HDMI";
        QTest::newRow("third endpoint") << "10c4:ea61" << none << Interfaces{{0, kVendor, {{0x81, kBulk, 64}, {0x01, kBulk, 64}, {0x83, kInterrupt, 8}}}} << 0 << "2011 HDMI";
        QTest::newRow("zero packet size") << "10c4:ea61" << none << Interfaces{{0, kVendor, {{0x81, kBulk, 0}, {0x01, kBulk, 64}}}} << 0 << "2011 HDMI";
        // clang-format on
    }
    void countsOnlyTools()
    {
        QFETCH(QString, ids);
        QFETCH(QByteArray, addedIds);
        QFETCH(Interfaces, interfaces);
        QFETCH(int, openError);
        QFETCH(QString, listing);
        if (!addedIds.isNull())
            setenv("VARNEX_USB_IDS", addedIds.constData(), 1);
        Rig rig;
        FakeUsbDevice &other = rig.bus.devices.emplace_back();
        other.description.vendorId = ids.section(':', 0, 0).toUShort(nullptr, 16);
        other.description.productId = ids.section(':', 1).toUShort(nullptr, 16);
        other.description.interfaces = interfaces;
        other.strings[3] = "other";
        other.kernelStrings = {{"serial", "kernel"}, {"product", "K"}};
        other.errors["open"] = openError;
        rig.bus.devices.emplace_back().errors["describe"] = LIBUSB_ERROR_IO;
        rig.bus.devices.emplace_back();

        std::vector<LibusbTool::Listing> listed;
        QCOMPARE(rig.usb.listDevices(true, listed), kUsbSuccess);
        QStringList shown; // indices run over the tools alone
        for (const LibusbTool::Listing &device : listed) {
            QCOMPARE(device.location, std::string("1-2"));
            QCOMPARE(device.index, device.tool ? std::uint32_t(shown.size()) : 0u);
            shown << (device.tool
                          ? QString()
                          : QString::asprintf("%04x:%04x ", device.id.vendor, device.id.product)) +
                         device.serial.c_str() +
                         (device.tool ? ' ' + QString(device.product.c_str()) : QString()) +
                         (device.accessible || !device.tool ? "" : " (no access)");
        }
        QCOMPARE(shown.join(", "), listing);
        // Devices that are not tools are never opened, not even for a string.
        QCOMPARE(other.calls.isEmpty(), !listing.startsWith("other") && openError == 0);
        QVERIFY(rig.bus.devices[1].calls.isEmpty());
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
        QTest::newRow("string request fails") << Setup([](FakeUsbDevice &d) { d.errors["string"] = LIBUSB_ERROR_PIPE; }) << 0u << QByteArray();
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

    // What the library does to the tool from open to close, and whether the open succeeds.
    void openAndClose_data()
    {
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<QStringList>("calls"); // "...": the steps of a plain open and close
        QTest::addColumn<bool>("closed");       // the close reports success
        const QStringList start{"request 00 FFFF", "clear-halt 81", "clear-halt 02",
                                "request 02 0002"};
        const QStringList opened = QStringList{"open", "claim 0"} + start;
        const QStringList closed{"request 02 0004", "release 0", "close"};
        const auto failed = [](const QStringList &calls) {
            return calls + QStringList{"release 0", "close"};
        };
        const auto stall = [](const char *call) {
            return Setup([call](FakeUsbDevice &d) { d.errors[call] = LIBUSB_ERROR_PIPE; });
        };
        const auto fail = [](const char *call, int error) {
            return Setup([call, error](FakeUsbDevice &d) { d.errors[call] = error; });
        };
        // clang-format off
        QTest::newRow("plain") << Setup([](FakeUsbDevice &) {}) << opened + closed << true;
        QTest::newRow("kernel driver bound") << Setup([](FakeUsbDevice &d) { d.driverBound = true; }) << QStringList{"open", "detach 0", "claim 0"} + start + QStringList{"request 02 0004", "release 0", "attach 0", "close"} << true;
        QTest::newRow("enable stalls") << stall("request 00 FFFF") << opened + closed << true;
        QTest::newRow("clear halt stalls") << stall("clear-halt 81") << opened + closed << true;
        QTest::newRow("start stalls") << stall("request 02 0002") << opened + closed << true;
        QTest::newRow("stop stalls") << stall("request 02 0004") << opened + closed << true;
        QTest::newRow("enable finds no device") << fail("request 00 FFFF", LIBUSB_ERROR_NO_DEVICE) << failed({"open", "claim 0", "request 00 FFFF"}) << false;
        QTest::newRow("clear halt I/O error") << fail("clear-halt 02", LIBUSB_ERROR_IO) << failed({"open", "claim 0", "request 00 FFFF", "clear-halt 81", "clear-halt 02"}) << false;
        QTest::newRow("start I/O error, driver given back") << Setup([](FakeUsbDevice &d) { d.driverBound = true; d.errors["request 02 0002"] = LIBUSB_ERROR_IO; }) << QStringList{"open", "detach 0", "claim 0"} + start + QStringList{"release 0", "attach 0", "close"} << false;
        QTest::newRow("open refused") << fail("open", LIBUSB_ERROR_ACCESS) << QStringList{"open"} << false;
        QTest::newRow("detach refused") << Setup([](FakeUsbDevice &d) { d.driverBound = true; d.errors["detach"] = LIBUSB_ERROR_ACCESS; }) << QStringList{"open", "detach 0", "close"} << false;
        QTest::newRow("release fails") << fail("release", LIBUSB_ERROR_IO) << opened + closed << false;
        // clang-format on
    }
    void openAndClose()
    {
        QFETCH(Setup, setup);
        QFETCH(QStringList, calls);
        QFETCH(bool, closed);
        Rig rig;
        FakeUsbDevice &device = rig.bus.devices.emplace_back();
        setup(device);
        const bool driverBound = device.driverBound;
        UsbHandle handle = kNoUsbHandle;
        QCOMPARE(rig.count(), 1u);
        UsbHandle beyond = kNoUsbHandle; // indices run up to the count, not including it
        QVERIFY(rig.usb.UsbOpenByIndex(1, &beyond) != kUsbSuccess && beyond == kNoUsbHandle);
        const bool opened = rig.usb.UsbOpenByIndex(0, &handle) == kUsbSuccess;
        QCOMPARE(handle != kNoUsbHandle, opened);
        QCOMPARE(rig.usb.UsbCloseHandle(handle) == kUsbSuccess, closed);
        QCOMPARE(device.calls, calls);
        std::uint32_t n = 0; // a closed handle serves nothing
        std::uint8_t bytes[16] = {};
        QVERIFY(rig.usb.UsbReadBlock(handle, bytes, 16, &n, 0) &&
                rig.usb.UsbWriteBlock(handle, bytes, 4, &n, 0) && rig.usb.UsbPurge(handle, 1, 1) &&
                rig.usb.UsbQueueStatus(handle, &n, &n) && rig.usb.UsbCloseHandle(handle));
        QCOMPARE(device.openConnections, 0);
        QCOMPARE(device.driverBound, driverBound); // a detached kernel driver is given back
    }

    // Each path above maps the error it met; here every error there is, down to "other".
    void everyLibusbErrorIsAFailure()
    {
        for (int error = LIBUSB_ERROR_IO; error >= LIBUSB_ERROR_OTHER; --error)
            QVERIFY2(LibusbTool::statusOf(error) != kUsbSuccess, libusb_error_name(error));
    }

    // A read and a write through the library over the fake bus: whole, or with the tool's replies
    // or the tool itself failing (OUT blocks counted from the read's first).
    void readThenWriteThroughTheWindow_data()
    {
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<QStringList>("seen"); // empty: as on the virtual tool
        const auto device = [](const char *text) {
            return QString(" |%1||warning OK no-parent").arg(text);
        };
        const QString notFound = "VARNEX|Hardware not found||warning OK parent";
        const QString readFailed = "VARNEX|The EDID could not be read.||warning OK parent";
        const QString writeFailed = "VARNEX|The EDID could not be written completely. The custom "
                                    "EDID may now be incomplete.||warning OK parent";
        // clang-format off
        QTest::newRow("sink into custom/sink 8") << Setup([](FakeUsbDevice &) {}) << QStringList();
        QTest::newRow("stale bytes before the open are purged") << Setup([](FakeUsbDevice &d) { d.inScript = {{Bytes(64)}, {Bytes(64)}, {Bytes(10), LIBUSB_ERROR_TIMEOUT}}; }) << QStringList();
        QTest::newRow("endless stream: purge gives up") << Setup([](FakeUsbDevice &d) { d.inSource = [](int) { deviceClock().sleepFor(std::chrono::milliseconds(1)); return FakeInTransfer{Bytes(8)}; }; }) << QStringList{"read failed", device("Unable to flush device bufers!"), notFound};
        QTest::newRow("first reply one byte long") << replyChanged(1, false) << QStringList{"read failed", device("Error Reading Data"), readFailed};
        QTest::newRow("third reply one byte short") << replyChanged(3, true) << QStringList{"read failed", device("Error Reading Data"), readFailed};
        QTest::newRow("write short without error") << Setup([](FakeUsbDevice &d) { d.outAccepted = 3; }) << QStringList{"read failed", device("Error Sending Code"), readFailed};
        QTest::newRow("read, gone before command 6") << Setup([](FakeUsbDevice &d) { d.goneAtOut = 6; }) << QStringList{"read failed", device("Error Sending Code"), readFailed};
        QTest::newRow("read, gone while command 9 is answered") << Setup([](FakeUsbDevice &d) { d.goneAfterOut = 9; }) << QStringList{"read failed", device("Error Checking Queue"), readFailed};
        QTest::newRow("write, gone before row 10") << Setup([](FakeUsbDevice &d) { d.goneAtOut = 17 + 10; }) << QStringList{"read", "write failed", device("Error Sending Code"), writeFailed};
        QTest::newRow("write, gone while row 3 is answered") << Setup([](FakeUsbDevice &d) { d.goneAfterOut = 17 + 3; }) << QStringList{"read", "write failed", device("Error Checking Queue"), writeFailed};
        // clang-format on
    }
    void readThenWriteThroughTheWindow()
    {
        QFETCH(Setup, setup);
        QFETCH(QStringList, seen);
        TestDeviceClock clock;
        VirtualTool reference;
        if (seen.isEmpty())
            seen = readThenWrite(reference);
        ToolOnFakeBus tool;
        setup(tool.device);
        const auto start = clock.elapsed();
        QCOMPARE(readThenWrite(tool.usb), seen);
        QCOMPARE(tool.device.openConnections, 0);
        if (!seen.contains("write failed"))
            QVERIFY(tool.firmware.image(0xB6) == reference.image(0xB6));
        // Writes have a bounded time-out (libusb reads 0 as "wait for ever"); IN transfers ask
        // for whole packets, so that a device never sends more than was asked for.
        for (unsigned timeout : tool.device.outTimeouts)
            QVERIFY(timeout > 0 && timeout <= 5000);
        for (int length : tool.device.inLengths)
            QCOMPARE(length % 64, 0);
        // The write's pacing, but no reply waited out.
        QVERIFY(clock.elapsed() - start < std::chrono::milliseconds(3000));
    }
};

VARNEX_REGISTER_TEST(LibusbToolTest);

#include "tst_LibusbTool.moc"
