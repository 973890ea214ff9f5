#include "CommandExchange.h"
#include "DeviceState.h"
#include "TestRegistry.h"
#include "UsbAccess.h"
#include "VirtualTool.h"
#include "WarningRecorder.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QTest>

#include <array>

using Op = VirtualTool::Operation;
Q_DECLARE_METATYPE(VirtualTool::Operation)
Q_DECLARE_METATYPE(ExchangeResult)

namespace {

using Reply = std::array<std::uint8_t, 20>;

// Reads 16 bytes at offset 0x20 of the current EDID.
constexpr std::array<std::uint8_t, 4> kReadCommand{0x11, 0x10, 0xB0, 0x20};

Reply untouchedReply()
{
    Reply reply;
    reply.fill(0xEE);
    return reply;
}

Reply expectedReply()
{
    Reply reply = untouchedReply();
    const auto image = virtualTool().image(0xB0);
    std::copy(image.begin() + 0x20, image.begin() + 0x30, reply.begin());
    return reply;
}

ExchangeResult exchange(Reply &reply)
{
    return ExchangeCommand(&DeviceHandle, reply.data(), kReadCommand.data(), 16, 4);
}

QStringList recorded(const WarningRecorder &recorder)
{
    QStringList texts;
    for (const std::string &warning : recorder.warnings)
        texts << QString::fromStdString(warning);
    return texts;
}

} // namespace

class CommandExchangeTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        virtualTool().reset();
        DeviceHandle = kNoUsbHandle;
        QCOMPARE(UsbOpenByIndex(0, &DeviceHandle), kUsbSuccess);
    }
    void cleanup() { CloseDevice(); }

    void invalidHandleMakesNoLibraryCall()
    {
        CloseDevice();
        const int closes = virtualTool().callCount(Op::CloseHandle);
        WarningRecorder recorder;
        Reply reply = untouchedReply();
        QCOMPARE(exchange(reply), ExchangeResult::Failed);
        QCOMPARE(recorded(recorder), QStringList{"Invalid Device Handle"});
        for (int op = 0; op < VirtualTool::kOperationCount; ++op)
            if (Op(op) != Op::OpenByIndex && Op(op) != Op::CloseHandle)
                QCOMPARE(virtualTool().callCount(Op(op)), 0);
        QCOMPARE(virtualTool().callCount(Op::CloseHandle), closes);
        QCOMPARE(reply, untouchedReply());
    }

    void exchangeOutcomes_data()
    {
        QTest::addColumn<Op>("failingOp");
        QTest::addColumn<int>("nthCall"); // 0: nothing fails
        QTest::addColumn<int>("replyDelayMs");
        QTest::addColumn<ExchangeResult>("result");
        QTest::addColumn<QStringList>("warnings");
        QTest::addColumn<int>("queueQueries"); // -1: more than one
        QTest::addColumn<int>("reads");
        QTest::newRow("answered") << Op::ReadBlock << 0 << 0 << ExchangeResult::Success
                                  << QStringList{} << 1 << 1;
        QTest::newRow("send fails") << Op::WriteBlock << 1 << 0 << ExchangeResult::Failed
                                    << QStringList{"Error Sending Code"} << 0 << 0;
        QTest::newRow("first queue query fails")
            << Op::QueueStatus << 1 << 0 << ExchangeResult::Failed
            << QStringList{"Error Checking Queue"} << 1 << 0;
        // The data is due by the next query, but the failed one has already ended the wait.
        QTest::newRow("later queue query fails")
            << Op::QueueStatus << 3 << 30 << ExchangeResult::Failed
            << QStringList{"Error Checking Queue"} << 3 << 0;
        QTest::newRow("read fails") << Op::ReadBlock << 1 << 0 << ExchangeResult::Failed
                                    << QStringList{"Error Reading Data"} << 1 << 1;
        QTest::newRow("late reply is polled for")
            << Op::ReadBlock << 0 << 30 << ExchangeResult::Success << QStringList{} << -1 << 1;
    }
    void exchangeOutcomes()
    {
        QFETCH(Op, failingOp);
        QFETCH(int, nthCall);
        QFETCH(int, replyDelayMs);
        QFETCH(ExchangeResult, result);
        QFETCH(QStringList, warnings);
        QFETCH(int, queueQueries);
        QFETCH(int, reads);
        if (nthCall > 0)
            virtualTool().failOnCall(failingOp, nthCall);
        virtualTool().delayReply(1, std::chrono::milliseconds(replyDelayMs));
        WarningRecorder recorder;
        Reply reply = untouchedReply();

        QCOMPARE(exchange(reply), result);
        QCOMPARE(recorded(recorder), warnings);
        if (queueQueries >= 0)
            QCOMPARE(virtualTool().callCount(Op::QueueStatus), queueQueries);
        else
            QVERIFY(virtualTool().callCount(Op::QueueStatus) > 1);
        QCOMPARE(virtualTool().callCount(Op::ReadBlock), reads);
        QCOMPARE(reply, result == ExchangeResult::Success ? expectedReply() : untouchedReply());
        QCOMPARE(DeviceHandle != kNoUsbHandle, true);
        QCOMPARE(virtualTool().openHandleCount(), 1);
    }

    void replyAfterTwoSecondsIsReadAtOnce()
    {
        virtualTool().delayReply(1, std::chrono::milliseconds(2000));
        WarningRecorder recorder;
        Reply reply = untouchedReply();
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(exchange(reply), ExchangeResult::Success);
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(elapsed >= 2000 && elapsed < 2100, qPrintable(QString::number(elapsed)));
        QCOMPARE(reply, expectedReply());
        QVERIFY(recorder.warnings.empty());
    }

    void missingReplyTimesOutSilently()
    {
        virtualTool().withholdReply(1);
        WarningRecorder recorder;
        Reply reply = untouchedReply();
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(exchange(reply), ExchangeResult::TimedOut);
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(elapsed >= 3000 && elapsed < 3100, qPrintable(QString::number(elapsed)));
        QVERIFY(recorder.warnings.empty());
        QCOMPARE(reply, untouchedReply());
        QCOMPARE(virtualTool().callCount(Op::ReadBlock), 0);
        QCOMPARE(virtualTool().receivedCommands().size(), std::size_t(1));
    }
};

VARNEX_REGISTER_TEST(CommandExchangeTest);
#include "tst_CommandExchange.moc"
