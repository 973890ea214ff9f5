// The libusb library over a scripted bus: which devices it takes for tools, and the window's read
// and write through it, which must give the operator what the virtual tool gives, with the
// library's requests to the tool in their order.
#include "DeviceState.h"
#include "FakeUsbTransport.h"
#include "MainWindow.h"
#include "MessageBoxWatcher.h"
#include "TestDeviceClock.h"

#include <QComboBox>
#include <QTest>

#include <cstdlib>

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

Setup set(const char *call, int error)
{
    return [call, error](FakeUsbDevice &d) { d.errors[call] = error; };
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
    // with serial "other" or, to the kernel, "kernel". The listing shows tools by serial and
    // product, the others by ID.
    void countsOnlyTools_data()
    {
        QTest::addColumn<QString>("ids");         // the other device's, as vvvv:pppp
        QTest::addColumn<QByteArray>("addedIds"); // VARNEX_USB_IDS
        QTest::addColumn<Interfaces>("interfaces");
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<QString>("listing");
        const Interfaces tool{{0, kVendor, {{0x81, kBulk, 64}, {0x01, kBulk, 64}}}};
        const QByteArray none;
        const Setup plain = [](FakeUsbDevice &) {};
        // clang-format off
        QTest::newRow("another tool") << "10c4:ea61" << none << tool << plain << "other HDMI, 2011 HDMI";
        QTest::newRow("another tool, no access") << "10c4:ea61" << none << tool << set("open", LIBUSB_ERROR_ACCESS) << "kernel K (no access), 2011 HDMI";
        QTest::newRow("no serial string") << "10c4:ea61" << none << tool << Setup([](FakeUsbDevice &d) { d.description.serialStringIndex = 0; }) << " HDMI, 2011 HDMI";
        QTest::newRow("a long serial, cut") << "10c4:ea61" << none << tool << Setup([](FakeUsbDevice &d) { d.strings[3] = std::string(300, 'A'); }) << QString(255, 'A') + " HDMI, 2011 HDMI";
        QTest::newRow("string requests fail") << "10c4:ea61" << none << tool << set("string", LIBUSB_ERROR_PIPE) << " , 2011 HDMI";
        QTest::newRow("tool interface behind a HID one") << "10c4:ea61" << none << Interfaces{{0, LIBUSB_CLASS_HID, {{0x83, kInterrupt, 8}}}, {1, kVendor, {{0x02, kBulk, 512}, {0x82, kBulk, 512}}}} << plain << "other HDMI, 2011 HDMI";
        QTest::newRow("ID not in the list") << "10c4:8149" << none << tool << plain << "2011 HDMI, 10c4:8149 kernel";
        QTest::newRow("ID added by the environment") << "10c4:8149" << QByteArray("1234:5678, 10C4:8149") << tool << plain << "other HDMI, 2011 HDMI";
        QTest::newRow("malformed entries skipped one by one") << "10c4:8149" << QByteArray("10c4,:8149,10c4:81490,x0c4:8149;10c4:8149") << tool << plain << "other HDMI, 2011 HDMI";
        QTest::newRow("only malformed entries") << "10c4:8149" << QByteArray("10c4-8149,10c4:,:") << tool << plain << "2011 HDMI, 10c4:8149 kernel";
        QTest::newRow("mass storage") << "10c4:ea61" << none << Interfaces{{0, LIBUSB_CLASS_MASS_STORAGE, {{0x81, kBulk, 64}, {0x01, kBulk, 64}}}} << plain << "2011 HDMI";
        QTest::newRow("interrupt in") << "10c4:ea61" << none << Interfaces{{0, kVendor, {{0x81, kInterrupt, 64}, {0x01, kBulk, 64}}}} << plain << "2011 HDMI";
        QTest::newRow("two bulk in") << "10c4:ea61" << none << Interfaces{{0, kVendor, {{0x81, kBulk, 64}, {0x82, kBulk, 64}}}} << plain << "2011 HDMI";
        QTest::newRow("third endpoint") << "10c4:ea61" << none << Interfaces{{0, kVendor, {{0x81, kBulk, 64}, {0x01, kBulk, 64}, {0x83, kInterrupt, 8}}}} << plain << "2011 HDMI";
        QTest::newRow("zero packet size") << "10c4:ea61" << none << Interfaces{{0, kVendor, {{0x81, kBulk, 0}, {0x01, kBulk, 64}}}} << plain << "2011 HDMI";
        // clang-format on
    }
    void countsOnlyTools()
    {
        QFETCH(QString, ids);
        QFETCH(QByteArray, addedIds);
        QFETCH(Interfaces, interfaces);
        QFETCH(Setup, setup);
        QFETCH(QString, listing);
        if (!addedIds.isNull())
            setenv("VARNEX_USB_IDS", addedIds.constData(), 1);
        Rig rig;
        FakeUsbDevice &other = rig.bus.devices.emplace_back();
        other.description = {ids.section(':', 0, 0).toUShort(nullptr, 16),
                             ids.section(':', 1).toUShort(nullptr, 16), 3, 2, interfaces};
        other.strings[3] = "other";
        other.kernelStrings = {{"serial", "kernel"}, {"product", "K"}};
        setup(other);
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
                         QString::fromStdString(device.serial +
                                                (device.tool ? ' ' + device.product : "")) +
                         (device.accessible || !device.tool ? "" : " (no access)");
        }
        QCOMPARE(shown.join(", "), listing);
        // Devices that are not tools are never opened, not even for a string.
        QCOMPARE(other.calls.isEmpty(), shown[0] == "2011 HDMI");
        QVERIFY(rig.bus.devices[1].calls.isEmpty());
        UsbHandle beyond = kNoUsbHandle; // indices run up to the count, not including it
        QVERIFY(rig.usb.UsbOpenByIndex(std::uint32_t(shown.size()), &beyond) != kUsbSuccess);
        rig.bus.listError = LIBUSB_ERROR_IO;
        QVERIFY(rig.usb.listDevices(false, listed) != kUsbSuccess);
    }

    // Each path below maps the error it met; here every error there is, down to "other".
    void everyLibusbErrorIsAFailure()
    {
        for (int error = LIBUSB_ERROR_IO; error >= LIBUSB_ERROR_OTHER; --error)
            QVERIFY2(LibusbTool::statusOf(error) != kUsbSuccess, libusb_error_name(error));
    }

    // What the operator sees of a read and a write, and what the library did to the tool up to
    // its first close: opening it ends in enabling it, clearing halts and starting it; closing it
    // begins with stopping it. OUT blocks are counted from the read's first.
    void throughTheWindow_data()
    {
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<QStringList>("seen"); // empty: as on the virtual tool
        QTest::addColumn<QString>("calls");    // "plain": the steps of a plain open and close
        const auto device = [](const char *text) {
            return QString(" |%1||warning OK no-parent").arg(text);
        };
        const QString notFound = "VARNEX|Hardware not found||warning OK parent";
        const QString readFailed = "VARNEX|The EDID could not be read.||warning OK parent";
        const QString writeFailed = "VARNEX|The EDID could not be written completely. The custom "
                                    "EDID may now be incomplete.||warning OK parent";
        const QStringList notOpened{"read failed", device("Unable to open handle to device!"),
                                    notFound};
        const QString start =
            "open, claim 0, request 00 FFFF, clear-halt 81, clear-halt 02, request 02 0002";
        const QString plain = "plain", none = "";
        const Setup stall = set("request 00 FFFF", LIBUSB_ERROR_PIPE);
        // clang-format off
        QTest::newRow("sink into custom/sink 8") << Setup([](FakeUsbDevice &) {}) << QStringList() << plain;
        QTest::newRow("kernel driver bound: detached, given back") << Setup([](FakeUsbDevice &d) { d.driverBound = true; }) << QStringList() << "open, detach 0, claim 0, request 00 FFFF, clear-halt 81, clear-halt 02, request 02 0002, request 02 0004, release 0, attach 0, close";
        QTest::newRow("enable stalls") << stall << QStringList() << plain;
        QTest::newRow("clear halt stalls") << set("clear-halt 81", LIBUSB_ERROR_PIPE) << QStringList() << plain;
        QTest::newRow("start stalls") << set("request 02 0002", LIBUSB_ERROR_PIPE) << QStringList() << plain;
        QTest::newRow("stop stalls") << set("request 02 0004", LIBUSB_ERROR_PIPE) << QStringList() << plain;
        QTest::newRow("enable finds no device") << set("request 00 FFFF", LIBUSB_ERROR_NO_DEVICE) << notOpened << "open, claim 0, request 00 FFFF, release 0, close";
        QTest::newRow("clear halt I/O error") << set("clear-halt 02", LIBUSB_ERROR_IO) << notOpened << "open, claim 0, request 00 FFFF, clear-halt 81, clear-halt 02, release 0, close";
        QTest::newRow("start I/O error, driver given back") << Setup([](FakeUsbDevice &d) { d.driverBound = true; d.errors["request 02 0002"] = LIBUSB_ERROR_IO; }) << notOpened << "open, detach 0, claim 0, request 00 FFFF, clear-halt 81, clear-halt 02, request 02 0002, release 0, attach 0, close";
        QTest::newRow("no access: the kernel's strings, then no open") << Setup([](FakeUsbDevice &d) { d.errors["open"] = LIBUSB_ERROR_ACCESS; d.kernelStrings = {{"serial", "2011"}, {"product", "HDMI"}}; }) << notOpened << "open, open, open";
        QTest::newRow("detach refused") << Setup([](FakeUsbDevice &d) { d.driverBound = true; d.errors["detach"] = LIBUSB_ERROR_ACCESS; }) << notOpened << "open, detach 0, close";
        QTest::newRow("release fails") << set("release", LIBUSB_ERROR_IO) << QStringList{"read", "written", device("Unable to close device handle!"), device("Unable to close device handle!")} << plain;
        QTest::newRow("serial request fails") << set("string", LIBUSB_ERROR_PIPE) << QStringList{"read failed", device("Error retrieving serial string!"), notFound} << none;
        QTest::newRow("no serial string") << Setup([](FakeUsbDevice &d) { d.description.serialStringIndex = 0; }) << QStringList{"read failed", notFound} << none;
        QTest::newRow("stale bytes before the open are purged") << Setup([](FakeUsbDevice &d) { d.inScript = {{Bytes(64)}, {Bytes(64)}, {Bytes(10), LIBUSB_ERROR_TIMEOUT}}; }) << QStringList() << plain;
        QTest::newRow("endless stream: purge gives up") << Setup([](FakeUsbDevice &d) { d.inScript.assign(2000, {Bytes(8)}); }) << QStringList{"read failed", device("Unable to flush device bufers!"), notFound} << start + ", request 02 0004, release 0, close";
        QTest::newRow("first reply one byte long") << Setup([](FakeUsbDevice &d) { d.changeReply = [](int nth, Bytes &r) { if (nth == 1) r.push_back(0x99); }; }) << QStringList{"read failed", device("Error Reading Data"), readFailed} << plain;
        QTest::newRow("third reply one byte short") << Setup([](FakeUsbDevice &d) { d.changeReply = [](int nth, Bytes &r) { if (nth == 3) r.pop_back(); }; }) << QStringList{"read failed", device("Error Reading Data"), readFailed} << plain;
        QTest::newRow("read, gone while command 9 is answered") << Setup([](FakeUsbDevice &d) { d.goneAfterOut = 9; }) << QStringList{"read failed", device("Error Checking Queue"), readFailed} << start + ", request 02 0004, release 0, close";
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
        Rig rig;
        FakeUsbDevice &tool = rig.bus.devices.emplace_back();
        setup(tool);
        const bool driverBound = tool.driverBound;
        const auto start = clock.elapsed();
        QCOMPARE(readThenWrite(rig.usb), seen);
        const QString plain = "open, claim 0, request 00 FFFF, clear-halt 81, clear-halt 02, "
                              "request 02 0002, request 02 0004, release 0, close";
        // The string lookups open and close the tool on their own; the trace starts after them.
        QStringList trace = tool.calls;
        while (trace.mid(0, 2) == QStringList{"open", "close"})
            trace.remove(0, 2);
        trace = trace.mid(0, trace.contains("close") ? trace.indexOf("close") + 1 : trace.size());
        QCOMPARE(trace.join(", "), calls == "plain" ? plain : calls);
        QCOMPARE(tool.openConnections, 0);
        QCOMPARE(tool.driverBound, driverBound); // a detached kernel driver is given back
        if (asVirtual)
            QVERIFY(tool.firmware.image(0xB6) == reference.image(0xB6));
        // IN transfers ask for whole packets, so that a device never sends more than was asked.
        for (int length : tool.inLengths)
            QCOMPARE(length % 64, 0);
        // The write's pacing, but no reply waited out.
        QVERIFY(clock.elapsed() - start < std::chrono::milliseconds(3000));
    }
};

QTEST_MAIN(LibusbToolTest)
#include "tst_LibusbTool.moc"
