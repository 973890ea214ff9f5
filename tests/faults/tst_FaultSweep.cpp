// Every library operation failing at every call a read or a write reaches, and every reply
// withheld in turn: the window must end each case with the tool closed, the lock free, the
// operator told, and the pane and the tool in a state the operator can trust.
#include "DeviceClock.h"
#include "DeviceState.h"
#include "EdidSamples.h"
#include "EdidSources.h"
#include "MainWindow.h"
#include "MessageBoxWatcher.h"
#include "TestRegistry.h"
#include "UsbAccess.h"
#include "VirtualTool.h"

#include <QComboBox>
#include <QStatusBar>
#include <QTest>
#include <QTextEdit>

#include <cstdio>
#include <memory>

using Op = VirtualTool::Operation;

namespace {

// Time that passes only when asked: each reading moves on by a millisecond, a pause at once.
class FastClock final : public DeviceClock {
public:
    TimePoint now() override { return current += std::chrono::milliseconds(1); }
    void sleepFor(std::chrono::milliseconds duration) override { current += duration; }

private:
    TimePoint current{};
};

enum class Fault { OperationFails, ReplyWithheld };

struct Scenario {
    const char *name;
    int sourceIndex;
    bool write;
};

const Scenario kScenarios[] = {
    {"read sink", 1, false},
    {"write custom 6", 2, true},
    {"write custom 7", 3, true},
    {"write custom/sink 8", 4, true},
};

const std::pair<Op, const char *> kOperations[] = {
    {Op::DeviceCount, "count"}, {Op::DeviceString, "string"}, {Op::OpenByIndex, "open"},
    {Op::CloseHandle, "close"}, {Op::ReadBlock, "read"},      {Op::WriteBlock, "write"},
    {Op::Purge, "purge"},       {Op::QueueStatus, "queue"},
};

// An image the custom sources do not hold yet, with correct checksums.
EdidImage newImage()
{
    EdidImage image;
    image.bytes = virtualTool().image(0xA0);
    image.bytes[10] ^= 0x5A;
    recalculateChecksums(image);
    return image;
}

bool usbLockIsFree()
{
    if (!UsbLock.try_lock())
        return false;
    UsbLock.unlock();
    return true;
}

// How many calls of each operation, and how many commands, a clean run of the scenario makes.
struct Reach {
    int calls[VirtualTool::kOperationCount] = {};
    int commands = 0;
};

} // namespace

Q_DECLARE_METATYPE(Fault)
Q_DECLARE_METATYPE(VirtualTool::Operation)

class FaultSweepTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { setDeviceClock(&clock); }
    void cleanupTestCase()
    {
        setDeviceClock(nullptr);
        std::printf("%d fault cases\n", casesRun);
        std::fflush(stdout);
    }

    void init()
    {
        virtualTool().reset();
        window = std::make_unique<MainWindow>();
        pane = window->findChild<QTextEdit *>(QStringLiteral("EDIDtext"));
    }
    void cleanup() { window.reset(); }

    void sweep_data()
    {
        QTest::addColumn<int>("scenario");
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<Op>("op");
        QTest::addColumn<int>("nth");
        for (int s = 0; s < int(std::size(kScenarios)); ++s) {
            const Reach reach = measureReach(kScenarios[s]);
            for (const auto &[op, opName] : kOperations)
                for (int nth = 1; nth <= reach.calls[static_cast<int>(op)]; ++nth)
                    QTest::addRow("%s, %s call %d fails", kScenarios[s].name, opName, nth)
                        << s << Fault::OperationFails << op << nth;
            for (int nth = 1; nth <= reach.commands; ++nth)
                QTest::addRow("%s, reply %d withheld", kScenarios[s].name, nth)
                    << s << Fault::ReplyWithheld << Op::WriteBlock << nth;
        }
    }

    void sweep()
    {
        QFETCH(int, scenario);
        QFETCH(Fault, fault);
        QFETCH(Op, op);
        QFETCH(int, nth);
        const Scenario &run = kScenarios[scenario];
        ++casesRun;

        const QString paneBefore = prepare(run);
        if (fault == Fault::OperationFails)
            virtualTool().failOnCall(op, nth);
        else
            virtualTool().withholdReply(nth);

        MessageBoxWatcher watcher;
        runOperation(run);

        // Faults the operation outlives: a refused close after the last command (a clean run
        // closes once), and the counters exchange that follows a complete read.
        const int commandsOfRun = run.write ? 32 : 17;
        const bool lastClose = fault == Fault::OperationFails && op == Op::CloseHandle;
        const bool countersOnly = !run.write && faultHitsCommand(fault, op, nth) == commandsOfRun;
        const bool succeeds = lastClose || countersOnly;
        const QString success =
            run.write ? QStringLiteral("EDID values written...") : QStringLiteral("EDID values read.");

        QCOMPARE(DeviceHandle, kNoUsbHandle);
        QVERIFY(usbLockIsFree());
        // A handle the library refused to close is the only one the tool may still hold.
        QCOMPARE(virtualTool().openHandleCount(),
                 fault == Fault::OperationFails && op == Op::CloseHandle ? 1 : 0);
        const bool silentCounters = countersOnly && fault == Fault::ReplyWithheld;
        if (!silentCounters)
            QVERIFY2(!watcher.boxes().isEmpty(), "the operator was told nothing");
        QCOMPARE(window->statusBar()->currentMessage(), succeeds ? success : QString());
        if (run.write || !succeeds)
            QCOMPARE(pane->toPlainText(), paneBefore);
        else
            QCOMPARE(pane->toPlainText(), hexTextOf(EdidImage{virtualTool().image(0xA0)}));

        if (run.write) {
            // A correct write after the failed one leaves exactly the new image in the tool.
            virtualTool().clearFaults();
            MessageBoxWatcher again;
            runOperation(run);
            QCOMPARE(window->statusBar()->currentMessage(), success);
            const std::uint8_t address = kEdidSources[std::size_t(run.sourceIndex)].address;
            QCOMPARE(bytesOf(EdidImage{virtualTool().image(address)}), bytesOf(newImage()));
        }
    }

private:
    // Puts the scenario's starting text in the pane and chooses its source; returns the text.
    QString prepare(const Scenario &run)
    {
        const EdidImage image = newImage();
        if (run.write)
            window->ShowEDIDtext(&image);
        else
            pane->setPlainText(QStringLiteral("operator's notes"));
        window->findChild<QComboBox *>(QStringLiteral("EdidAddress"))
            ->setCurrentIndex(run.sourceIndex);
        window->statusBar()->clearMessage();
        return pane->toPlainText();
    }

    void runOperation(const Scenario &run)
    {
        window->statusBar()->clearMessage();
        QVERIFY(QMetaObject::invokeMethod(window.get(), run.write ? "WriteEDID" : "ReadEDID"));
    }

    Reach measureReach(const Scenario &run)
    {
        init();
        prepare(run);
        virtualTool().reset();
        MessageBoxWatcher watcher;
        runOperation(run);
        Reach reach;
        for (const auto &entry : kOperations)
            reach.calls[static_cast<int>(entry.first)] = virtualTool().callCount(entry.first);
        reach.commands = static_cast<int>(virtualTool().receivedCommands().size());
        cleanup();
        return reach;
    }

    // The command (1-based) a fault falls on, or 0 when it falls outside the exchanges.
    static int faultHitsCommand(Fault fault, Op op, int nth)
    {
        if (fault == Fault::ReplyWithheld)
            return nth;
        // With a tool that answers at once every exchange sends once, polls once, reads once.
        if (op == Op::WriteBlock || op == Op::QueueStatus || op == Op::ReadBlock)
            return nth;
        return 0;
    }

    FastClock clock;
    std::unique_ptr<MainWindow> window;
    QTextEdit *pane = nullptr;
    int casesRun = 0;
};

VARNEX_REGISTER_TEST(FaultSweepTest);
#include "tst_FaultSweep.moc"
