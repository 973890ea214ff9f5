// What the utility expects of any USB library it is linked with, checked on each one: the virtual
// tool, and the libusb library over a fake bus whose device runs the virtual tool as firmware.
#include "FakeUsbTransport.h"
#include "TestDeviceClock.h"
#include "TestRegistry.h"

#include <QProcess>
#include <QTest>

using LibraryMaker = std::function<std::shared_ptr<UsbLibrary>()>;
Q_DECLARE_METATYPE(LibraryMaker)

namespace {

// Sends a packet and, once the library reports reply bytes queued, reads the reply's length.
Bytes exchange(UsbLibrary &usb, UsbHandle handle, const Bytes &packet, std::uint32_t length = 16)
{
    std::uint32_t n = 0, status = 0;
    if (usb.UsbWriteBlock(handle, packet.data(), std::uint32_t(packet.size()), &n, 0) != 0)
        return {0xEE}; // never a reply
    n = 0;
    for (int poll = 0; poll < 20 && n == 0; ++poll)
        usb.UsbQueueStatus(handle, &n, &status);
    Bytes reply(n == 0 ? 0 : length);
    if (n != 0 && usb.UsbReadBlock(handle, reply.data(), length, &n, 0) != kUsbSuccess)
        return {0xEE};
    reply.resize(n);
    return reply;
}

} // namespace

class UsbLibraryContractTest : public QObject {
    Q_OBJECT

private slots:
    void eightOperations_data()
    {
        QTest::addColumn<LibraryMaker>("make");
        QTest::newRow("virtual tool")
            << LibraryMaker([] { return std::make_shared<VirtualTool>(); });
        QTest::newRow("libusb over the fake bus") << LibraryMaker([] {
            auto tool = std::make_shared<ToolOnFakeBus>();
            return std::shared_ptr<UsbLibrary>(tool, &tool->usb);
        });
    }
    // One tool with serial "2011": each source read whole, commands it does not take left
    // unanswered, writes stored in the custom images only, the counters, purge and close.
    void eightOperations()
    {
        QFETCH(LibraryMaker, make);
        TestDeviceClock clock;
        const std::shared_ptr<UsbLibrary> usb = make();
        const VirtualTool reference;
        const auto stored = [&reference](std::uint8_t address, int from, int to) {
            const VirtualTool::Image image = reference.image(address);
            return Bytes(image.begin() + from, image.begin() + to);
        };
        std::uint32_t count = 0;
        UsbStringBuffer serial{};
        UsbHandle handle = kNoUsbHandle;
        QCOMPARE(usb->UsbDeviceCount(&count), kUsbSuccess);
        QCOMPARE(count, 1u);
        QCOMPARE(usb->UsbDeviceString(0, serial, kUsbSerialString), kUsbSuccess);
        QCOMPARE(QByteArray(serial), QByteArray("2011"));
        QCOMPARE(usb->UsbOpenByIndex(0, &handle), kUsbSuccess);
        QVERIFY(handle != kNoUsbHandle);
        QCOMPARE(usb->UsbPurge(handle, 1, 1), kUsbSuccess);
        for (std::uint8_t a : {0xB0, 0xA0, 0xB2, 0xB4, 0xB6}) {
            Bytes image;
            for (int offset = 0; offset < 256; offset += 16) {
                const Bytes reply = exchange(*usb, handle, {0x11, 0x10, a, std::uint8_t(offset)});
                image.insert(image.end(), reply.begin(), reply.end());
            }
            QCOMPARE(image, stored(a, 0, 256));
        }
        QCOMPARE(exchange(*usb, handle, {0x11, 0x03, 0xB0, 0x7E}, 3), stored(0xB0, 0x7E, 0x81));
        // A read of 0 or 17 bytes counts as a read error; other packets are not the tool's.
        for (const Bytes &refused : std::vector<Bytes>{{0x11, 0x00, 0xB0, 0},
                                                       {0x11, 0x11, 0xB0, 0},
                                                       {0x11, 0x10, 0xB0, 0, 0},
                                                       {0x10, 0x0C, 0xB2, 0, 1, 2, 3},
                                                       {0x02, 0x10, 0xB0},
                                                       {0x55, 0x10, 0xB0, 0}})
            QCOMPARE(exchange(*usb, handle, refused), Bytes());
        for (std::uint8_t a : {0xB0, 0xB2})
            QCOMPARE(exchange(*usb, handle, {0x10, 0x0C, a, 0xF8, 1, 2, 3, 4, 5, 6, 7, 8}, 1),
                     Bytes{std::uint8_t(a == 0xB0)}); // 1: not the tool's to write
        QCOMPARE(exchange(*usb, handle, {0x11, 0x10, 0xB0, 0xF0}), stored(0xB0, 0xF0, 0x100));
        const Bytes custom = exchange(*usb, handle, {0x11, 0x08, 0xB2, 0xF8}, 8);
        QCOMPARE(custom, Bytes({1, 2, 3, 4, 5, 6, 7, 8}));
        const Bytes counters = exchange(*usb, handle, {0x02, 0x10, 0xB2, 0xF8, 0, 0, 0, 0}, 10);
        QCOMPARE(counters, Bytes({2, 83, 0, 0, 0, 0, 0, 0, 0, 0})); // read errors, readings
        // A reply that is queued, then dropped by a purge.
        std::uint32_t n = 0, status = 0;
        usb->UsbWriteBlock(handle, Bytes{0x11, 0x10, 0xB0, 0}.data(), 4, &n, 0);
        QCOMPARE(usb->UsbPurge(handle, 1, 1), kUsbSuccess);
        QCOMPARE(usb->UsbQueueStatus(handle, &n, &status), kUsbSuccess);
        QCOMPARE(n, 0u);
        QCOMPARE(usb->UsbCloseHandle(handle), kUsbSuccess);
        std::uint8_t buffer[16] = {};
        QVERIFY(usb->UsbReadBlock(handle, buffer, 16, &n, 0) != kUsbSuccess);
        QVERIFY(usb->UsbWriteBlock(handle, buffer, 4, &n, 0) != kUsbSuccess);
        QVERIFY(usb->UsbPurge(handle, 1, 1) != kUsbSuccess);
        QVERIFY(usb->UsbQueueStatus(handle, &n, &status) != kUsbSuccess);
        QVERIFY(usb->UsbCloseHandle(handle) != kUsbSuccess);
    }

    // The virtual tool's own images are conformant EDID 1.4 with a CTA-861 extension.
    void sampleImagesPassEdidDecode()
    {
        for (std::uint8_t a : {0xB0, 0xA0, 0xB2, 0xB4, 0xB6}) {
            QProcess decoder;
            decoder.start(QStringLiteral("edid-decode"), {QStringLiteral("--check")});
            decoder.write(reinterpret_cast<const char *>(VirtualTool().image(a).data()), 256);
            decoder.closeWriteChannel();
            QVERIFY2(decoder.waitForFinished(10000), "edid-decode is missing or hangs");
            const QByteArray report = decoder.readAllStandardOutput();
            QVERIFY2(report.contains("Block 1, CTA-861 Extension Block:") &&
                         report.contains("EDID conformity: PASS"),
                     report.constData());
        }
    }
};

VARNEX_REGISTER_TEST(UsbLibraryContractTest);
#include "tst_UsbLibraryContract.moc"
