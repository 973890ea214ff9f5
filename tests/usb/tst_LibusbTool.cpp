// The libusb library over a scripted bus, through the window: a read and a write must give the
// operator what the virtual tool gives, with the library's requests to the device in their order.
#include "DeviceState.h"
#include "FakeUsbTransport.h"
#include "MainWindow.h"
#include "MessageBoxWatcher.h"
#include "TestDeviceClock.h"
#include "ToolCommands.h"
#include "ToolFaults.h"
#include "UsbAccess.h"

#include <QComboBox>
#include <QTest>

#include <cstdlib>

namespace {

using Setup = std::function<void(FakeUsbDevice &)>;

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
Q_DECLARE_METATYPE(std::optional<QStringList>)

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
        QTest::addColumn<std::optional<QStringList>>("seen"); // unset: as on the virtual tool
        QTest::addColumn<QString>("calls");                   // the read's, in their order
        const auto row = [](const char *name, const std::optional<QStringList> &seen,
                            const QString &calls,
                            const Setup &setup) { QTest::newRow(name) << setup << seen << calls; };
        const auto device = [](const char *text) { return messageBox(text, " ", false); };
        const auto failed = [device](const char *step, const char *warning, const char *text) {
            return QStringList{step, device(warning), messageBox(text)};
        };
        const char *unread = "The EDID could not be read.", *notFound = "Hardware not found";
        const char *unwritten =
            "The EDID could not be written completely. The custom EDID may now be incomplete.";
        const QStringList notOpened =
            failed("read failed", "Unable to open handle to device!", notFound);
        const QStringList notTool{"read failed", messageBox(notFound)};
        const QString lookups = "open, close, open, close, open, ";
        const QString enabled = "claim 0, request 00 FFFF, ";
        const QString started =
            "clear-halt 81, clear-halt 02, request 02 0002, request 02 0004, release 0, ";
        const QString plain = lookups + enabled + started + "close";
        const std::optional<QStringList> asVirtual;
        row("sink into custom/sink 8", asVirtual, plain, [](FakeUsbDevice &) {});
        row("kernel driver bound: detached, given back", asVirtual,
            lookups + "detach 0, " + enabled + started + "attach 0, close",
            [](FakeUsbDevice &d) { d.driverBound = true; });
        row("every control request stalls: harmless", asVirtual, plain,
            set("request", LIBUSB_ERROR_PIPE));
        row("enable finds no device", notOpened, lookups + enabled + "release 0, close",
            set("request 00 FFFF", LIBUSB_ERROR_NO_DEVICE));
        row("clear halt I/O error", notOpened,
            lookups + enabled + "clear-halt 81, clear-halt 02, release 0, close",
            set("clear-halt 02", LIBUSB_ERROR_IO));
        row("no access: the kernel's strings, then no open", notOpened, "open, open, open",
            [](FakeUsbDevice &d) {
                d.errors["open"] = LIBUSB_ERROR_ACCESS;
                d.kernelStrings = {{"serial", "2011"}, {"product", "K"}};
            });
        row("detach refused", notOpened, lookups + "detach 0, close", [](FakeUsbDevice &d) {
            d.driverBound = true;
            d.errors["detach"] = LIBUSB_ERROR_ACCESS;
        });
        row("release fails",
            QStringList{"read", "written", device("Unable to close device handle!"),
                        device("Unable to close device handle!")},
            plain, set("release", LIBUSB_ERROR_IO));
        row("string requests fail",
            failed("read failed", "Error retrieving serial string!", notFound), "open, close",
            set("string", LIBUSB_ERROR_PIPE));
        row("no serial string", notTool, "",
            [](FakeUsbDevice &d) { d.description.serialStringIndex = 0; });
        row("ID not in the list: never opened", notTool, "",
            [](FakeUsbDevice &d) { d.description.productId = 0x8149; });
        row("IDs added by the environment, malformed entries skipped one by one", asVirtual, plain,
            [](FakeUsbDevice &d) {
                d.description.productId = 0x8149;
                setenv("VARNEX_USB_IDS", "10c4,:8149,10c4:81490,x0c4:8149;1234:5678, 10C4:8149", 1);
            });
        row("tool interface behind a HID one", asVirtual,
            lookups + "claim 1, request 00 FFFF, clear-halt 82, clear-halt 02, request 02 0002, "
                      "request 02 0004, release 1, close",
            interfaces({{0, LIBUSB_CLASS_HID, {{0x83, kInterrupt, 8}}},
                        {1, kVendor, {{0x02, kBulk, 512}, {0x82, kBulk, 512}}}}));
        row("mass storage, two IN endpoints, a third endpoint: no tool's interface", notTool, "",
            interfaces(
                {{0, LIBUSB_CLASS_MASS_STORAGE, {{0x81, kBulk, 64}, {0x01, kBulk, 64}}},
                 {1, kVendor, {{0x81, kBulk, 64}, {0x82, kBulk, 64}}},
                 {2, kVendor, {{0x81, kBulk, 64}, {0x01, kBulk, 64}, {0x83, kInterrupt, 8}}}}));
        row("stale bytes before the open are purged", asVirtual, plain, [](FakeUsbDevice &d) {
            d.inScript = {{Bytes(64)}, {Bytes(64)}, {Bytes(10), LIBUSB_ERROR_TIMEOUT}};
        });
        row("endless stream: purge gives up",
            failed("read failed", "Unable to flush device bufers!", notFound), plain,
            [](FakeUsbDevice &d) { d.inScript.assign(2000, {Bytes(8)}); });
        row("first reply one byte long", failed("read failed", "Error Reading Data", unread), plain,
            [](FakeUsbDevice &d) { d.longReply = 1; });
        row("third reply one byte short", failed("read failed", "Error Reading Data", unread),
            plain, [](FakeUsbDevice &d) { ToolFaults().shortReply(3).applyTo(d.firmware); });
        row("read, gone while command 9 is answered",
            failed("read failed", "Error Checking Queue", unread), plain,
            [](FakeUsbDevice &d) { d.goneAfterOut = 9; });
        row("write, gone before row 10",
            QStringList("read") + failed("write failed", "Error Sending Code", unwritten), plain,
            [](FakeUsbDevice &d) { d.goneAtOut = 17 + 10; });
        row("write, gone while row 3 is answered",
            QStringList("read") + failed("write failed", "Error Checking Queue", unwritten), plain,
            [](FakeUsbDevice &d) { d.goneAfterOut = 17 + 3; });
    }
    void throughTheWindow()
    {
        QFETCH(Setup, setup);
        QFETCH(std::optional<QStringList>, seen);
        QFETCH(QString, calls);
        TestDeviceClock clock;
        VirtualTool reference;
        const bool asVirtual = !seen;
        if (asVirtual)
            seen = readThenWrite(reference);
        auto *bus = new FakeUsbBus;
        FakeUsbDevice &device = bus->device;
        setup(device);
        // The tool ID list as the setup left the environment.
        LibusbUsbLibrary library{std::unique_ptr<UsbTransport>(bus)};
        const auto start = clock.elapsed();
        QCOMPARE(readThenWrite(library), *seen);
        // The read's part: up to the third close (the two string lookups open and close it first).
        QStringList trace;
        for (const QString &call : device.calls)
            if (trace.count("close") < 3)
                trace << call;
        QCOMPARE(trace.join(", "), calls);
        QCOMPARE(device.openConnections, 0);
        if (asVirtual)
            QVERIFY(device.firmware.image(0xB6).bytes == reference.image(0xB6).bytes);
        // The write's pacing, but no reply waited out.
        QVERIFY(clock.elapsed() - start < std::chrono::milliseconds(3000));
        UsbHandle beyond = kNoUsbHandle; // indices run up to the count, not including it
        QVERIFY(library.UsbOpenByIndex(1, &beyond) != kUsbSuccess);
        // A tool still there that was read is listed.
        std::vector<LibusbUsbLibrary::Listing> listing;
        QCOMPARE(library.listDevices(true, listing), kUsbSuccess);
        QVERIFY(!seen->contains("read") || device.unplugged ||
                (listing.size() == 1 && listing[0].inIdList && listing[0].serial == "2011"));
    }

    // Calls no program makes right are refused, not followed: no count to fill, a handle that
    // was never opened.
    void misuse()
    {
        LibusbUsbLibrary library{std::unique_ptr<UsbTransport>(new FakeUsbBus)};
        VirtualTool tool;
        const std::uint8_t byte = 0;
        std::uint32_t written = 0;
        QCOMPARE(library.UsbDeviceCount(nullptr), LibusbUsbLibrary::kInvalidParameter);
        QCOMPARE(library.UsbWriteBlock(4711, &byte, 1, &written, 0),
                 LibusbUsbLibrary::kInvalidHandle);
        QCOMPARE(tool.UsbWriteBlock(4711, &byte, 1, &written, 0), VirtualTool::kInvalidHandle);
    }

    // The counters the virtual tool keeps, as the tool's protocol answers for them: two reads of
    // the sink's image, no error.
    void counters()
    {
        TestDeviceClock clock;
        VirtualTool tool;
        UsbHandle handle = kNoUsbHandle;
        QCOMPARE(tool.UsbOpenByIndex(0, &handle), kUsbSuccess);
        std::uint32_t done = 0;
        std::array<std::uint8_t, 16> bytes{};
        const ReadCommand read = CmdReadEdid(kEdidSources[1].address, 0, 16);
        for (int n = 0; n < 2; ++n) {
            QCOMPARE(tool.UsbWriteBlock(handle, read.data(), read.size(), &done, 0), kUsbSuccess);
            QCOMPARE(tool.UsbReadBlock(handle, bytes.data(), bytes.size(), &done, 0), kUsbSuccess);
        }
        const CountersCommand ask = CmdGetCounters(read);
        QCOMPARE(tool.UsbWriteBlock(handle, ask.data(), ask.size(), &done, 0), kUsbSuccess);
        CountersReply reply{};
        QCOMPARE(tool.UsbReadBlock(handle, reply.data(), reply.size(), &done, 0), kUsbSuccess);
        QCOMPARE(done, std::uint32_t(reply.size()));
        QCOMPARE(reply[kReadingsAt], 2);
    }
};

QTEST_MAIN(LibusbToolTest)
#include "tst_LibusbTool.moc"
