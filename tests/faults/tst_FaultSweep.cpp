// Every library operation failing at every call a read or a write reaches, and every reply
// withheld in turn: the window must end each case with the tool closed, the lock free, the
// operator told, and the pane and the tool in a state the operator can trust.
#include "UsbAccess.h"
#include "WindowFixture.h"

using Op = VirtualTool::Operation;

namespace {

// Source index and name of each run: the sink is read, a custom image written.
const std::pair<int, const char *> kScenarios[] = {{1, "read sink"}, {3, "write custom 7"}};

const char *const kOperationNames[] = {"count", "string", "open",  "close",
                                       "read",  "write",  "purge", "queue"};

// An image the custom sources do not hold yet, with correct checksums.
EdidImage newImage()
{
    EdidImage image{virtualTool().image(0xA0)};
    image.bytes[10] ^= 0x5A;
    recalculateChecksums(image);
    return image;
}

// The exchange (1-based) that the nth call of an operation belongs to, with a tool that answers
// at once: each exchange sends once, queries twice (the wait, then the check for surplus bytes)
// and reads once. 0 for operations outside the exchanges.
int exchangeOf(int op, int nth)
{
    if (op < 0 || op == int(Op::WriteBlock) || op == int(Op::ReadBlock))
        return nth;
    return op == int(Op::QueueStatus) ? (nth + 1) / 2 : 0;
}

} // namespace

class FaultSweepTest : public QObject, WindowFixture {
    Q_OBJECT

private slots:
    void init() { openWindow(); }
    void cleanup() { closeWindow(); }

    void sweep_data()
    {
        QTest::addColumn<int>("scenario");
        QTest::addColumn<int>("op"); // -1: the reply is withheld instead
        QTest::addColumn<int>("nth");
        for (int s = 0; s < int(std::size(kScenarios)); ++s) {
            // The calls and commands a clean run makes are the positions a fault can take.
            init();
            prepare(s);
            run(s);
            for (int op = 0; op < VirtualTool::kOperationCount; ++op)
                for (int nth = 1; nth <= virtualTool().callCount(Op(op)); ++nth)
                    QTest::addRow("%s, %s call %d fails", kScenarios[s].second, kOperationNames[op],
                                  nth)
                        << s << op << nth;
            for (int nth = 1; nth <= int(virtualTool().receivedCommands().size()); ++nth)
                QTest::addRow("%s, reply %d withheld", kScenarios[s].second, nth) << s << -1 << nth;
            cleanup();
        }
    }

    void sweep()
    {
        QFETCH(int, scenario);
        QFETCH(int, op);
        QFETCH(int, nth);
        const bool write = scenario > 0;
        const QString paneBefore = prepare(scenario);
        op >= 0 ? virtualTool().failOnCall(Op(op), nth) : virtualTool().withholdReply(nth);
        run(scenario);

        // Faults the operation outlives: a refused close after the last command (a clean run
        // closes once), and the counters exchange that follows a complete read.
        const bool refusedClose = op == int(Op::CloseHandle);
        const bool countersOnly = !write && exchangeOf(op, nth) == 17;
        const bool succeeds = refusedClose || countersOnly;
        const QString success =
            write ? QStringLiteral("EDID values written...") : QStringLiteral("EDID values read.");

        QCOMPARE(DeviceHandle, kNoUsbHandle);
        QVERIFY(UsbLock.try_lock());
        UsbLock.unlock();
        // A handle the library refused to close is the only one the tool may still hold.
        QCOMPARE(virtualTool().openHandleCount(), refusedClose ? 1 : 0);
        if (!(countersOnly && op < 0)) // a silent counters reply goes unnoticed
            QVERIFY2(!watcher->boxes.isEmpty() || !seen.filter("device: ").isEmpty(),
                     "the operator was told nothing");
        QCOMPARE(status(), succeeds ? success : QString());
        QCOMPARE(pane->toPlainText(),
                 write || !succeeds ? paneBefore : hexText(virtualTool().image(0xA0)));
        if (write) {
            // A correct write after the failed one leaves exactly the new image in the tool.
            virtualTool().clearFaults();
            run(scenario);
            QCOMPARE(status(), success);
            QCOMPARE(bytesOf(EdidImage{virtualTool().image(SelectedEdidAddress)}),
                     bytesOf(newImage()));
        }
    }

private:
    // Puts the run's starting text in the pane and chooses its source; returns the text.
    QString prepare(int scenario)
    {
        const EdidImage image = newImage();
        if (scenario > 0)
            window->ShowEDIDtext(&image);
        else
            pane->setPlainText(QStringLiteral("operator's notes"));
        selector->setCurrentIndex(kScenarios[scenario].first);
        return pane->toPlainText();
    }

    void run(int scenario)
    {
        window->statusBar()->clearMessage();
        QVERIFY(QMetaObject::invokeMethod(window.get(), scenario > 0 ? "WriteEDID" : "ReadEDID"));
    }
};

QTEST_MAIN(FaultSweepTest)
#include "tst_FaultSweep.moc"
