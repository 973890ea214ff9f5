#include "CommandExchange.h"
#include "DeviceConnection.h"
#include "DeviceState.h"
#include "TestRegistry.h"
#include "UsbAccess.h"
#include "VirtualTool.h"
#include "WarningRecorder.h"

#include <QElapsedTimer>
#include <QTest>

#include <functional>

using Op = VirtualTool::Operation;
using Texts = std::vector<std::string>;
using Failures = QList<QPair<Op, int>>; // operation, nth call
using Fn = std::function<UsbStatus()>;  // one access-layer call

namespace {

// Where calls put the outputs that nobody reads.
std::uint32_t n;
UsbHandle h;
UsbStringBuffer s;
std::uint8_t b[16];

struct Opening {
    Texts serials; // of the attached devices, in index order
    Failures failures;
    Texts warnings;
    int opened; // index of the device left open, -1 for none
    int expectedSerial = 2011;
};

// Each exchange asks for 16 bytes at offset 0x20 of the current EDID.
struct Exchange {
    Failures failures;
    int replyDelayMs; // -1: the reply never comes
    ExchangeResult result;
    const char *warning;
    int calls; // library calls made; -1: polls until the reply comes
    int waitMs;
};

int libraryCalls()
{
    int calls = 0;
    for (int op = 0; op < VirtualTool::kOperationCount; ++op)
        calls += virtualTool().callCount(Op(op));
    return calls;
}

void attachSerials(const Texts &serials)
{
    std::vector<VirtualTool::Device> devices;
    for (const std::string &serial : serials)
        devices.push_back({serial, "Varnex HDMI"});
    virtualTool().attachDevices(devices);
}

} // namespace

Q_DECLARE_METATYPE(VirtualTool::Operation)
Q_DECLARE_METATYPE(Fn)
Q_DECLARE_METATYPE(Opening)
Q_DECLARE_METATYPE(Exchange)

class DeviceLinkTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        virtualTool().reset();
        DeviceHandle = kNoUsbHandle;
    }
    void cleanup() { CloseDevice(); }

    void failingCallPassesStatusAndFreesLock_data()
    {
        QTest::addColumn<Op>("op");
        QTest::addColumn<Fn>("call");
        QTest::newRow("count") << Op::DeviceCount << Fn([] { return UsbDeviceCount(&n); });
        QTest::newRow("string") << Op::DeviceString << Fn([] { return UsbDeviceString(0, s, 0); });
        QTest::newRow("open") << Op::OpenByIndex << Fn([] { return UsbOpenByIndex(0, &h); });
        QTest::newRow("close") << Op::CloseHandle << Fn([] { return UsbCloseHandle(1); });
        QTest::newRow("read") << Op::ReadBlock << Fn([] { return UsbReadBlock(1, b, 16, &n, 0); });
        QTest::newRow("write") << Op::WriteBlock
                               << Fn([] { return UsbWriteBlock(1, b, 4, &n, 0); });
        QTest::newRow("purge") << Op::Purge << Fn([] { return UsbPurge(1, 1, 1); });
        QTest::newRow("queue") << Op::QueueStatus << Fn([] { return UsbQueueStatus(1, &n, &n); });
    }
    void failingCallPassesStatusAndFreesLock()
    {
        QFETCH(Op, op);
        QFETCH(Fn, call);
        int nth = 0;
        for (UsbStatus status : {1, -7, 0x7fffffff}) {
            virtualTool().failOnCall(op, ++nth, status);
            QCOMPARE(call(), status);
            QVERIFY(std::unique_lock<std::mutex>(UsbLock, std::try_to_lock).owns_lock());
        }
        QCOMPARE(virtualTool().callCount(op), nth);
    }

    void openDevice_data()
    {
        QTest::addColumn<Opening>("o");
        const auto row = [](const char *name, const Opening &o) { QTest::newRow(name) << o; };
        const Texts tool{"2011"};
        row("no device", {{}, {}, {}, -1});
        row("the tool alone", {tool, {}, {}, 0});
        row("other serial, then the tool", {{"1234", "2011"}, {}, {}, 1});
        row("two tools: lower index wins", {{"2011", "2011"}, {}, {}, 0});
        row("leading zero", {{"02011"}, {}, {}, -1});
        row("next number", {{"2012"}, {}, {}, -1});
        row("trailing space", {{"2011 "}, {}, {}, -1});
        row("empty serial", {{""}, {}, {}, -1});
        row("empty serial, then the tool", {{"", "2011"}, {}, {}, 1});
        row("expected serial in decimal", {{"1234", "4660"}, {}, {}, 1, 0x1234});
        row("count fails", {tool, {{Op::DeviceCount, 1}}, {}, -1});
        row("serial fails",
            {tool, {{Op::DeviceString, 1}}, {"Error retrieving serial string!"}, -1});
        row("serial of device 0 fails, device 1 is the tool",
            {{"2011", "2011"}, {{Op::DeviceString, 1}}, {"Error retrieving serial string!"}, 1});
        row("product string fails",
            {tool, {{Op::DeviceString, 2}}, {"Unable to retrive product string!"}, -1});
        row("open fails", {tool, {{Op::OpenByIndex, 1}}, {"Unable to open handle to device!"}, -1});
        row("flush fails", {tool, {{Op::Purge, 1}}, {"Unable to flush device bufers!"}, -1});
        row("flush fails, close refused",
            {tool,
             {{Op::Purge, 1}, {Op::CloseHandle, 1}},
             {"Unable to flush device bufers!", "Unable to close device handle!"},
             -1});
    }
    void openDevice()
    {
        QFETCH(Opening, o);
        ExpectedSerial = static_cast<std::uint16_t>(o.expectedSerial);
        attachSerials(o.serials);
        for (const auto &[op, nth] : o.failures)
            virtualTool().failOnCall(op, nth);
        // A stale handle is dropped, never closed: closing it would show a box.
        DeviceHandle = 77;
        WarningRecorder recorder;

        QCOMPARE(OpenDevice(), o.opened >= 0);
        QCOMPARE(recorder.warnings, o.warnings);
        QCOMPARE(DeviceHandle != kNoUsbHandle, o.opened >= 0);
        // A handle whose close was refused is forgotten here and still open in the tool.
        const bool refused = o.failures.contains({Op::CloseHandle, 1});
        QCOMPARE(virtualTool().openHandleCount(), int(o.opened >= 0) + int(refused));
        if (o.opened >= 0)
            QCOMPARE(virtualTool().openedDevices(), std::vector<std::size_t>(1, o.opened));
        // Closing makes one call for an open tool; with nothing open, no call and no box.
        const int closes = virtualTool().callCount(Op::CloseHandle);
        CloseDevice();
        CloseDevice();
        QCOMPARE(virtualTool().callCount(Op::CloseHandle), closes + int(o.opened >= 0));
        QCOMPARE(recorder.warnings, o.warnings);
    }

    void exchange_data()
    {
        QTest::addColumn<Exchange>("x");
        const auto row = [](const char *name, const Exchange &x) { QTest::newRow(name) << x; };
        using R = ExchangeResult;
        row("no handle: open refused",
            {{{Op::OpenByIndex, 1}}, 0, R::Failed, "Invalid Device Handle", 0, 0});
        row("answered: send, query, read", {{}, 0, R::Success, "", 3, 0});
        row("send fails", {{{Op::WriteBlock, 1}}, 0, R::Failed, "Error Sending Code", 1, 0});
        row("first query fails",
            {{{Op::QueueStatus, 1}}, 0, R::Failed, "Error Checking Queue", 2, 0});
        row("read fails", {{{Op::ReadBlock, 1}}, 0, R::Failed, "Error Reading Data", 3, 0});
        row("reply after two seconds: read at once", {{}, 2000, R::Success, "", -1, 2000});
        row("no reply: time-out, no box", {{}, -1, R::TimedOut, "", -1, 3000});
    }
    void exchange()
    {
        QFETCH(Exchange, x);
        for (const auto &[op, nth] : x.failures)
            virtualTool().failOnCall(op, nth);
        x.replyDelayMs < 0 ? virtualTool().withholdReply(1)
                           : virtualTool().delayReply(1, std::chrono::milliseconds(x.replyDelayMs));
        UsbOpenByIndex(0, &DeviceHandle); // a refused open leaves the handle at -1
        const int callsBefore = libraryCalls();
        WarningRecorder recorder;
        std::vector<std::uint8_t> reply(20, 0xEE);
        std::vector<std::uint8_t> expected = reply;
        const std::uint8_t command[] = {0x11, 0x10, 0xB0, 0x20};
        QElapsedTimer clock;
        clock.start();

        QCOMPARE(ExchangeCommand(&DeviceHandle, reply.data(), command, 16, 4), x.result);
        const qint64 elapsed = clock.elapsed();
        // The slack only absorbs a loaded machine; a reply missed by the poll costs a full second.
        QVERIFY2(elapsed >= x.waitMs && elapsed < x.waitMs + 500,
                 qPrintable(QString::number(elapsed)));
        QCOMPARE(recorder.warnings, *x.warning ? Texts{x.warning} : Texts{});
        if (x.calls >= 0)
            QCOMPARE(libraryCalls() - callsBefore, x.calls);
        // Only a reply that was read fills the buffer, with the 16 bytes asked for.
        const auto image = virtualTool().image(0xB0);
        if (x.result == ExchangeResult::Success)
            std::copy(image.begin() + 0x20, image.begin() + 0x30, expected.begin());
        QCOMPARE(reply, expected);
    }
};

VARNEX_REGISTER_TEST(DeviceLinkTest);
#include "tst_DeviceLink.moc"
