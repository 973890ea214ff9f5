#include "CommandExchange.h"
#include "DeviceConnection.h"
#include "DeviceState.h"
#include "TestDeviceClock.h"
#include "TestRegistry.h"
#include "UsbAccess.h"
#include "VirtualTool.h"
#include "WarningRecorder.h"

#include <QTest>

using Op = VirtualTool::Operation;
using Texts = std::vector<std::string>;
using Failures = QList<QPair<Op, int>>; // operation, nth call

Q_DECLARE_METATYPE(Texts)
Q_DECLARE_METATYPE(Failures)
Q_DECLARE_METATYPE(ExchangeResult)

namespace {

int libraryCalls()
{
    int calls = 0;
    for (int op = 0; op < VirtualTool::kOperationCount; ++op)
        calls += virtualTool().callCount(Op(op));
    return calls;
}

} // namespace

class DeviceLinkTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        virtualTool().reset();
        DeviceHandle = kNoUsbHandle;
    }
    void cleanup() { CloseDevice(); }

    void openDevice_data()
    {
        QTest::addColumn<Texts>("serials"); // of the attached devices, in index order
        QTest::addColumn<int>("expectedSerial");
        QTest::addColumn<Failures>("failures");
        QTest::addColumn<Texts>("warnings");
        QTest::addColumn<int>("opened"); // index of the device left open, -1 for none
        const Texts tool{"2011"};
        // clang-format off
        QTest::newRow("no device") << Texts{} << 2011 << Failures{} << Texts{} << -1;
        QTest::newRow("other serial, then the tool") << Texts{"1234", "2011"} << 2011 << Failures{} << Texts{} << 1;
        QTest::newRow("two tools: lower index wins") << Texts{"2011", "2011"} << 2011 << Failures{} << Texts{} << 0;
        QTest::newRow("leading zero, trailing space") << Texts{"02011", "2011 "} << 2011 << Failures{} << Texts{} << -1;
        QTest::newRow("empty serial, then the tool") << Texts{"", "2011"} << 2011 << Failures{} << Texts{} << 1;
        QTest::newRow("expected serial in decimal") << Texts{"1234", "4660"} << 0x1234 << Failures{} << Texts{} << 1;
        QTest::newRow("count fails") << tool << 2011 << Failures{{Op::DeviceCount, 1}} << Texts{} << -1;
        QTest::newRow("serial of device 0 fails") << Texts{"2011", "2011"} << 2011 << Failures{{Op::DeviceString, 1}} << Texts{"Error retrieving serial string!"} << 1;
        QTest::newRow("product string fails") << tool << 2011 << Failures{{Op::DeviceString, 2}} << Texts{"Unable to retrive product string!"} << -1;
        QTest::newRow("open fails") << tool << 2011 << Failures{{Op::OpenByIndex, 1}} << Texts{"Unable to open handle to device!"} << -1;
        QTest::newRow("flush fails, close refused") << tool << 2011 << Failures{{Op::Purge, 1}, {Op::CloseHandle, 1}} << Texts{"Unable to flush device bufers!", "Unable to close device handle!"} << -1;
        // clang-format on
    }
    void openDevice()
    {
        QFETCH(Texts, serials);
        QFETCH(int, expectedSerial);
        QFETCH(Failures, failures);
        QFETCH(Texts, warnings);
        QFETCH(int, opened);
        ExpectedSerial = static_cast<std::uint16_t>(expectedSerial);
        std::vector<VirtualTool::Device> devices;
        for (const std::string &serial : serials)
            devices.push_back({serial, "Varnex HDMI"});
        virtualTool().attachDevices(devices);
        for (const auto &[op, nth] : failures)
            virtualTool().failOnCall(op, nth);
        // A stale handle is dropped, never closed: closing it would show a box.
        DeviceHandle = 77;
        WarningRecorder recorder;

        QCOMPARE(OpenDevice(), opened >= 0);
        QCOMPARE(recorder.warnings, warnings);
        QCOMPARE(DeviceHandle != kNoUsbHandle, opened >= 0);
        // A handle whose close was refused is forgotten here and still open in the tool.
        const bool refused = failures.contains({Op::CloseHandle, 1});
        QCOMPARE(virtualTool().openHandleCount(), int(opened >= 0) + int(refused));
        if (opened >= 0)
            QCOMPARE(virtualTool().openedDevices(), std::vector<std::size_t>(1, opened));
        // Closing makes one call for an open tool; with nothing open, no call and no box.
        const int closes = virtualTool().callCount(Op::CloseHandle);
        const UsbHandle handle = DeviceHandle;
        CloseDevice();
        CloseDevice();
        std::uint32_t n = 0; // the tool serves a closed handle nothing
        QVERIFY(handle == kNoUsbHandle ||
                virtualTool().UsbQueueStatus(handle, &n, &n) != kUsbSuccess);
        QCOMPARE(virtualTool().callCount(Op::CloseHandle), closes + int(opened >= 0));
        QCOMPARE(recorder.warnings, warnings);
        ExpectedSerial = 2011;
    }

    // Each exchange sends a read of `asked` bytes at offset 0x20 of the current EDID and expects
    // a reply of `expected` bytes.
    void exchange_data()
    {
        QTest::addColumn<Failures>("failures");
        QTest::addColumn<int>("asked");
        QTest::addColumn<int>("expected");
        QTest::addColumn<int>("replyDelayMs"); // -1: the reply never comes
        QTest::addColumn<ExchangeResult>("result");
        QTest::addColumn<QString>("warning");
        QTest::addColumn<int>("calls");  // library calls made; -1: polls until the reply comes
        QTest::addColumn<int>("waitMs"); // device time spent
        using R = ExchangeResult;
        // clang-format off
        QTest::newRow("no handle: open refused") << Failures{{Op::OpenByIndex, 1}} << 16 << 16 << 0 << R::Failed << "Invalid Device Handle" << 0 << 0;
        QTest::newRow("reply after two seconds: read at once") << Failures{} << 16 << 16 << 2000 << R::Success << "" << -1 << 2000;
        QTest::newRow("answered: send, query, read, query") << Failures{} << 16 << 16 << 0 << R::Success << "" << 4 << 0;
        QTest::newRow("send fails") << Failures{{Op::WriteBlock, 1}} << 16 << 16 << 0 << R::Failed << "Error Sending Code" << 1 << 0;
        QTest::newRow("first query fails") << Failures{{Op::QueueStatus, 1}} << 16 << 16 << 0 << R::Failed << "Error Checking Queue" << 2 << 0;
        QTest::newRow("read fails") << Failures{{Op::ReadBlock, 1}} << 16 << 16 << 0 << R::Failed << "Error Reading Data" << 3 << 0;
        QTest::newRow("query after the read fails") << Failures{{Op::QueueStatus, 2}} << 16 << 16 << 0 << R::Failed << "Error Checking Queue" << 4 << 0;
        QTest::newRow("reply short of its length") << Failures{} << 3 << 16 << 0 << R::Failed << "Error Reading Data" << 3 << 0;
        QTest::newRow("surplus bytes after the reply") << Failures{} << 16 << 8 << 0 << R::Failed << "Error Reading Data" << 4 << 0;
        QTest::newRow("no reply: time-out, no box") << Failures{} << 16 << 16 << -1 << R::TimedOut << "" << -1 << 3000;
        // clang-format on
    }
    void exchange()
    {
        QFETCH(Failures, failures);
        QFETCH(int, asked);
        QFETCH(int, expected);
        QFETCH(int, replyDelayMs);
        QFETCH(ExchangeResult, result);
        QFETCH(QString, warning);
        QFETCH(int, calls);
        QFETCH(int, waitMs);
        TestDeviceClock clock;
        for (const auto &[op, nth] : failures)
            virtualTool().failOnCall(op, nth);
        replyDelayMs < 0 ? virtualTool().withholdReply(1)
                         : virtualTool().delayReply(1, std::chrono::milliseconds(replyDelayMs));
        UsbOpenByIndex(0, &DeviceHandle); // a refused open leaves the handle at -1
        const int callsBefore = libraryCalls();
        WarningRecorder recorder;
        std::vector<std::uint8_t> reply(20, 0xEE);
        const std::uint8_t command[] = {0x11, std::uint8_t(asked), 0xB0, 0x20};

        QCOMPARE(ExchangeCommand(&DeviceHandle, reply.data(), command, expected, 4), result);
        // The poll takes a millisecond of device time; a missed reply costs a whole second.
        QVERIFY2(clock.elapsed().count() >= waitMs && clock.elapsed().count() < waitMs + 10,
                 qPrintable(QString::number(clock.elapsed().count())));
        QCOMPARE(recorder.warnings, warning.isEmpty() ? Texts{} : Texts{warning.toStdString()});
        if (calls >= 0)
            QCOMPARE(libraryCalls() - callsBefore, calls);
        // A whole reply fills the buffer with the bytes asked for; without a reply it is untouched.
        std::vector<std::uint8_t> filled(20, 0xEE);
        const auto image = virtualTool().image(0xB0);
        if (result == ExchangeResult::Success)
            std::copy(image.begin() + 0x20, image.begin() + 0x30, filled.begin());
        if (result != ExchangeResult::Failed)
            QCOMPARE(reply, filled);
    }
};

VARNEX_REGISTER_TEST(DeviceLinkTest);
#include "tst_DeviceLink.moc"
