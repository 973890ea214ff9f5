// The libusb library over a scripted bus, through the window: a read and a write must give the
// operator what the virtual tool gives, with the library's requests to the device in their order.
#include "DeviceState.h"
#include "FakeUsbTransport.h"
#include "MainWindow.h"
#include "MessageBoxWatcher.h"
#include "TestDeviceClock.h"
#include "UsbAccess.h"

#include <QComboBox>
#include <QTest>

#include <cstdlib>

namespace {

using Setup = std::function<void(FakeUsbDevice &)>;
constexpr std::uint8_t kBulk = LIBUSB_TRANSFER_TYPE_BULK;
constexpr std::uint8_t kInterrupt = LIBUSB_TRANSFER_TYPE_INTERRUPT;
constexpr std::uint8_t kVendor = LIBUSB_CLASS_VENDOR_SPEC;

// Reads the sink into the pane and, if that worked, writes the pane into "Custom/Sink EDID 8":
// what the two operations gave and the boxes the operator saw, in order.
QStringList readThenWrite(UsbLibrary &library)
{
    useUsbLibrary(&library);
    MainWindow window;
    auto *selector = window.findChild<QComboBox *>(QStringLiteral("EdidAddress"));
    MessageBoxWatcher watcher;
    selector->setCurrentIndex(1);
    QStringList seen{window.DoReadEDID() ? "read" : "read failed"};
    selector->setCurrentIndex(4);
    if (seen[0] == "read")
        seen << (window.DoWriteEDID() ? "written" : "write failed");
    useUsbLibrary(nullptr);
    return seen + watcher.boxes;
}

Setup set(const char *call, int error)
{
    return [call, error](FakeUsbDevice &d) { d.errors[call] = error; };
}

Setup interfaces(const std::vector<UsbInterfaceDescription> &interfaces)
{
    return [interfaces](FakeUsbDevice &d) { d.description.interfaces = interfaces; };
}

} // namespace

Q_DECLARE_METATYPE(Setup)

class LibusbToolTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup()
    {
        DeviceHandle = kNoUsbHandle;
        unsetenv("VARNEX_USB_IDS");
    }

    // What the operator sees of a read and a write, and what the library did to the device for
    // the read: opening it ends in enabling it, clearing halts and starting it, closing it begins
    // with stopping it. OUT blocks are counted from the read's first.
    void throughTheWindow_data()
    {
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<QStringList>("seen"); // empty: as on the virtual tool
        QTest::addColumn<QString>("calls");    // "plain": the steps of a plain read
        // clang-format off
        const auto device = [](const char *text) { return QString(" |%1||warning OK no-parent").arg(text); };
        const QString notFound = "VARNEX|Hardware not found||warning OK parent", readFailed = "VARNEX|The EDID could not be read.||warning OK parent";
        const QString writeFailed = "VARNEX|The EDID could not be written completely. The custom EDID may now be incomplete.||warning OK parent";
        const QStringList notOpened{"read failed", device("Unable to open handle to device!"), notFound}, notTool{"read failed", notFound};
        const QString lookups = "open, close, open, close, open, ", plain = "plain", none = "";
        const std::vector<UsbInterfaceDescription> hid{{0, LIBUSB_CLASS_HID, {{0x83, kInterrupt, 8}}}, {1, kVendor, {{0x02, kBulk, 512}, {0x82, kBulk, 512}}}};
        QTest::newRow("sink into custom/sink 8") << Setup([](FakeUsbDevice &) {}) << QStringList() << plain;
        QTest::newRow("kernel driver bound: detached, given back") << Setup([](FakeUsbDevice &d) { d.driverBound = true; }) << QStringList() << lookups + "detach 0, claim 0, request 00 FFFF, clear-halt 81, clear-halt 02, request 02 0002, request 02 0004, release 0, attach 0, close";
        QTest::newRow("enable stalls") << set("request 00 FFFF", LIBUSB_ERROR_PIPE) << QStringList() << plain;
        QTest::newRow("start stalls") << set("request 02 0002", LIBUSB_ERROR_PIPE) << QStringList() << plain;
        QTest::newRow("stop stalls") << set("request 02 0004", LIBUSB_ERROR_PIPE) << QStringList() << plain;
        QTest::newRow("enable finds no device") << set("request 00 FFFF", LIBUSB_ERROR_NO_DEVICE) << notOpened << lookups + "claim 0, request 00 FFFF, release 0, close";
        QTest::newRow("clear halt I/O error") << set("clear-halt 02", LIBUSB_ERROR_IO) << notOpened << lookups + "claim 0, request 00 FFFF, clear-halt 81, clear-halt 02, release 0, close";
        QTest::newRow("no access: the kernel's strings, then no open") << Setup([](FakeUsbDevice &d) { d.errors["open"] = LIBUSB_ERROR_ACCESS; d.kernelStrings = {{"serial", "2011"}, {"product", "K"}}; }) << notOpened << "open, open, open";
        QTest::newRow("detach refused") << Setup([](FakeUsbDevice &d) { d.driverBound = true; d.errors["detach"] = LIBUSB_ERROR_ACCESS; }) << notOpened << lookups + "detach 0, close";
        QTest::newRow("release fails") << set("release", LIBUSB_ERROR_IO) << QStringList{"read", "written", device("Unable to close device handle!"), device("Unable to close device handle!")} << plain;
        QTest::newRow("string requests fail") << set("string", LIBUSB_ERROR_PIPE) << QStringList{"read failed", device("Error retrieving serial string!"), notFound} << "open, close";
        QTest::newRow("no serial string") << Setup([](FakeUsbDevice &d) { d.description.serialStringIndex = 0; }) << notTool << none;
        QTest::newRow("ID not in the list: never opened") << Setup([](FakeUsbDevice &d) { d.description.productId = 0x8149; }) << notTool << none;
        QTest::newRow("ID added by the environment") << Setup([](FakeUsbDevice &d) { d.description.productId = 0x8149; setenv("VARNEX_USB_IDS", "1234:5678, 10C4:8149", 1); }) << QStringList() << plain;
        QTest::newRow("malformed entries skipped one by one") << Setup([](FakeUsbDevice &d) { d.description.productId = 0x8149; setenv("VARNEX_USB_IDS", "10c4,:8149,10c4:81490,x0c4:8149;10c4:8149", 1); }) << QStringList() << plain;
        QTest::newRow("tool interface behind a HID one") << interfaces(hid) << QStringList() << lookups + "claim 1, request 00 FFFF, clear-halt 82, clear-halt 02, request 02 0002, request 02 0004, release 1, close";
        QTest::newRow("mass storage: never opened") << interfaces({{0, LIBUSB_CLASS_MASS_STORAGE, {{0x81, kBulk, 64}, {0x01, kBulk, 64}}}}) << notTool << none;
        QTest::newRow("two IN endpoints, no OUT") << interfaces({{0, kVendor, {{0x81, kBulk, 64}, {0x82, kBulk, 64}}}}) << notTool << none;
        QTest::newRow("third endpoint") << interfaces({{0, kVendor, {{0x81, kBulk, 64}, {0x01, kBulk, 64}, {0x83, kInterrupt, 8}}}}) << notTool << none;
        QTest::newRow("stale bytes before the open are purged") << Setup([](FakeUsbDevice &d) { d.inScript = {{Bytes(64)}, {Bytes(64)}, {Bytes(10), LIBUSB_ERROR_TIMEOUT}}; }) << QStringList() << plain;
        QTest::newRow("endless stream: purge gives up") << Setup([](FakeUsbDevice &d) { d.inScript.assign(2000, {Bytes(8)}); }) << QStringList{"read failed", device("Unable to flush device bufers!"), notFound} << plain;
        QTest::newRow("first reply one byte long") << Setup([](FakeUsbDevice &d) { d.changeReply = [](int nth, Bytes &r) { if (nth == 1) r.push_back(0x99); }; }) << QStringList{"read failed", device("Error Reading Data"), readFailed} << plain;
        QTest::newRow("third reply one byte short") << Setup([](FakeUsbDevice &d) { d.changeReply = [](int nth, Bytes &r) { if (nth == 3) r.pop_back(); }; }) << QStringList{"read failed", device("Error Reading Data"), readFailed} << plain;
        QTest::newRow("read, gone while command 9 is answered") << Setup([](FakeUsbDevice &d) { d.goneAfterOut = 9; }) << QStringList{"read failed", device("Error Checking Queue"), readFailed} << plain;
        QTest::newRow("write, gone before row 10") << Setup([](FakeUsbDevice &d) { d.goneAtOut = 17 + 10; }) << QStringList{"read", "write failed", device("Error Sending Code"), writeFailed} << plain;
        QTest::newRow("write, gone while row 3 is answered") << Setup([](FakeUsbDevice &d) { d.goneAfterOut = 17 + 3; }) << QStringList{"read", "write failed", device("Error Checking Queue"), writeFailed} << plain;
        // clang-format on
    }
    void throughTheWindow()
    {
        QFETCH(Setup, setup);
        QFETCH(QStringList, seen);
        QFETCH(QString, calls);
        TestDeviceClock clock;
        VirtualTool reference;
        const bool asVirtual = seen.isEmpty();
        if (asVirtual)
            seen = readThenWrite(reference);
        auto *bus = new FakeUsbBus;
        FakeUsbDevice &device = bus->device;
        setup(device);
        LibusbUsbLibrary library{std::unique_ptr<UsbTransport>(bus)}; // the IDs as the setup left them
        const auto start = clock.elapsed();
        QCOMPARE(readThenWrite(library), seen);
        // The read's part: up to the third close (the two string lookups open and close it first).
        QStringList trace;
        for (const QString &call : device.calls)
            if (trace.count("close") < 3)
                trace << call;
        // clang-format off
        const QString plain = "open, close, open, close, open, claim 0, request 00 FFFF, clear-halt 81, clear-halt 02, request 02 0002, request 02 0004, release 0, close";
        // clang-format on
        QCOMPARE(trace.join(", "), calls == "plain" ? plain : calls);
        QCOMPARE(device.openConnections, 0);
        if (asVirtual)
            QVERIFY(device.firmware.image(0xB6).bytes == reference.image(0xB6).bytes);
        // The write's pacing, but no reply waited out.
        QVERIFY(clock.elapsed() - start < std::chrono::milliseconds(3000));
        UsbHandle beyond = kNoUsbHandle; // indices run up to the count, not including it
        QVERIFY(library.UsbOpenByIndex(1, &beyond) != kUsbSuccess);
        std::vector<LibusbUsbLibrary::Listing> listing; // a tool still there that was read is listed
        QCOMPARE(library.listDevices(true, listing), kUsbSuccess);
        QVERIFY(!seen.contains("read") || device.unplugged ||
                (listing.size() == 1 && listing[0].inIdList && listing[0].serial == "2011"));
    }
};

QTEST_MAIN(LibusbToolTest)
#include "tst_LibusbTool.moc"
