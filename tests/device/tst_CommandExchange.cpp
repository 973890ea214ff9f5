// One command exchange with the virtual tool: a read of `asked` bytes at offset 0x20 of the
// current EDID, expecting a reply of `expected` bytes.
#include "CommandExchange.h"
#include "DeviceState.h"
#include "DeviceWarning.h"
#include "TestDeviceClock.h"
#include "UsbAccess.h"
#include "VirtualTool.h"

#include <QTest>

using Op = VirtualTool::Operation;
Q_DECLARE_METATYPE(ExchangeResult)

class CommandExchangeTest : public QObject {
    Q_OBJECT

private slots:
    void exchange_data()
    {
        QTest::addColumn<int>("failingOp"); // its first call fails; -1: none
        QTest::addColumn<int>("asked");
        QTest::addColumn<int>("expected");
        QTest::addColumn<int>("replyDelayMs"); // -1: the reply never comes
        QTest::addColumn<ExchangeResult>("result");
        QTest::addColumn<QString>("warning");
        QTest::addColumn<QString>("calls"); // the library calls made, by operation
        QTest::addColumn<int>("waitMs");    // device time spent
        using R = ExchangeResult;
        // clang-format off
        QTest::newRow("answered after two seconds: read at once") << -1 << 16 << 16 << 2000 << R::Success << "" << "write 1, queue many, read 1" << 2000;
        QTest::newRow("answered: send, poll, read, poll") << -1 << 16 << 16 << 0 << R::Success << "" << "write 1, queue 2, read 1" << 0;
        QTest::newRow("no handle: nothing sent") << int(Op::OpenByIndex) << 16 << 16 << 0 << R::Failed << "Invalid Device Handle" << "" << 0;
        QTest::newRow("send fails") << int(Op::WriteBlock) << 16 << 16 << 0 << R::Failed << "Error Sending Code" << "write 1" << 0;
        QTest::newRow("poll fails") << int(Op::QueueStatus) << 16 << 16 << 0 << R::Failed << "Error Checking Queue" << "write 1, queue 1" << 0;
        QTest::newRow("read fails") << int(Op::ReadBlock) << 16 << 16 << 0 << R::Failed << "Error Reading Data" << "write 1, queue 1, read 1" << 0;
        QTest::newRow("reply short of its length") << -1 << 3 << 16 << 0 << R::Failed << "Error Reading Data" << "write 1, queue 1, read 1" << 0;
        QTest::newRow("surplus bytes after the reply") << -1 << 16 << 8 << 0 << R::Failed << "Error Reading Data" << "write 1, queue 2, read 1" << 0;
        QTest::newRow("no reply: time-out, no box") << -1 << 16 << 16 << -1 << R::TimedOut << "" << "write 1, queue many" << 3000;
        // clang-format on
    }
    void exchange()
    {
        QFETCH(int, failingOp);
        QFETCH(int, asked);
        QFETCH(int, expected);
        QFETCH(int, replyDelayMs);
        QFETCH(ExchangeResult, result);
        QFETCH(QString, warning);
        QFETCH(QString, calls);
        QFETCH(int, waitMs);
        TestDeviceClock clock;
        virtualTool().reset();
        virtualTool().failOnCall(Op(failingOp), 1);
        replyDelayMs < 0 ? virtualTool().withholdReply(1)
                         : virtualTool().delayReply(1, std::chrono::milliseconds(replyDelayMs));
        DeviceHandle = kNoUsbHandle;
        UsbOpenByIndex(0, &DeviceHandle); // a refused open leaves the handle at -1
        QStringList warnings;
        setDeviceWarningHandler([&warnings](const char *text) { warnings << text; });
        std::vector<std::uint8_t> reply(20, 0xEE);
        const std::uint8_t command[] = {0x11, std::uint8_t(asked), 0xB0, 0x20};

        QCOMPARE(ExchangeCommand(&DeviceHandle, reply.data(), command, expected, 4), result);
        setDeviceWarningHandler(nullptr);
        QCOMPARE(warnings.join(' '), warning);
        // Polls are busy: each takes the millisecond of device time that reading the clock does.
        QVERIFY2(clock.elapsed().count() >= waitMs && clock.elapsed().count() < waitMs + 10,
                 qPrintable(QString::number(clock.elapsed().count())));
        QStringList made; // calls per operation, in the order of an exchange
        for (const auto &[op, name] : {std::pair{Op::WriteBlock, "write"},
                                       {Op::QueueStatus, "queue"},
                                       {Op::ReadBlock, "read"}})
            if (const int n = virtualTool().callCount(op))
                made << QString("%1 %2").arg(name, n > 9 ? QString("many") : QString::number(n));
        QCOMPARE(made.join(", "), calls);
        // A whole reply fills the buffer with the bytes asked for; without one it is untouched.
        std::vector<std::uint8_t> filled(20, 0xEE);
        const auto image = virtualTool().image(0xB0);
        if (result == ExchangeResult::Success)
            std::copy(image.begin() + 0x20, image.begin() + 0x30, filled.begin());
        if (result != ExchangeResult::Failed)
            QCOMPARE(reply, filled);
        CloseDevice();
    }
};

QTEST_MAIN(CommandExchangeTest)
#include "tst_CommandExchange.moc"
