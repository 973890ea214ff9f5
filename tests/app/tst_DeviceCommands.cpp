#include "DeviceState.h"
#include "DeviceWarning.h"
#include "EdidSources.h"
#include "EdidTextBuffer.h"
#include "MainWindow.h"
#include "MessageBoxWatcher.h"
#include "TestRegistry.h"
#include "VirtualTool.h"

#include <QComboBox>
#include <QProgressBar>
#include <QStatusBar>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>

#include <memory>

using Op = VirtualTool::Operation;
Q_DECLARE_METATYPE(VirtualTool::Operation)

namespace {

// The EDID hex text of an image, built here independently of the program.
QString hexText(const VirtualTool::Image &image)
{
    QString text;
    for (int i = 0; i < 256; ++i)
        text += QStringLiteral("%1").arg(image[i], 2, 16, QLatin1Char('0')).toUpper() +
                QLatin1Char(i % 16 == 15 ? '\n' : ' ');
    return text;
}

// Each box as "title|text".
QStringList shown(const MessageBoxWatcher &watcher)
{
    QStringList boxes;
    for (const ShownBox &box : watcher.boxes())
        boxes << box.title + QLatin1Char('|') + box.text;
    return boxes;
}

int sentCount()
{
    return static_cast<int>(virtualTool().receivedCommands().size());
}

// What the progress bar showed at the moment of each device-link warning.
struct BarSnapshot {
    bool visible;
    int value;
    int maximum;
};

} // namespace

class DeviceCommandsTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        virtualTool().reset();
        window = std::make_unique<MainWindow>();
        pane = window->findChild<QTextEdit *>(QStringLiteral("EDIDtext"));
        selector = window->findChild<QComboBox *>(QStringLiteral("EdidAddress"));
        EdidTextBuffer.fill('\0');
    }
    void cleanup()
    {
        window.reset();
        DeviceHandle = kNoUsbHandle;
    }

    void readEachSourceIntoThePane_data()
    {
        QTest::addColumn<int>("index");
        for (int i = 0; i < int(kEdidSources.size()); ++i)
            QTest::newRow(kEdidSources[std::size_t(i)].name) << i;
    }
    void readEachSourceIntoThePane()
    {
        QFETCH(int, index);
        selector->setCurrentIndex(index);
        // Earlier text in other formats, selected from its end backwards.
        pane->setHtml(QStringLiteral("<p style='font-family:serif'><i><span style='color:red'>"
                                     "old</span> <b>text</b></i></p>"));
        QTextCursor cursor(pane->document());
        cursor.movePosition(QTextCursor::End);
        cursor.setPosition(2, QTextCursor::KeepAnchor);
        pane->setTextCursor(cursor);
        MessageBoxWatcher watcher;

        QVERIFY(window->DoReadEDID());
        const std::uint8_t address = kEdidSources[std::size_t(index)].address;
        QCOMPARE(pane->toPlainText(), hexText(virtualTool().image(address)));
        QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("EDID values read."));
        QVERIFY(watcher.boxes().isEmpty());
        int fragments = 0;
        for (QTextBlock block = pane->document()->begin(); block.isValid(); block = block.next())
            for (auto it = block.begin(); !it.atEnd(); ++it, ++fragments) {
                const QTextCharFormat format = it.fragment().charFormat();
                QCOMPARE(format.fontPointSize(), 8.0);
                QCOMPARE(format.fontWeight(), int(QFont::Bold));
                QCOMPARE(format.foreground().color(), QColor(Qt::black));
                QVERIFY(!format.fontItalic());
                QVERIFY(!format.hasProperty(QTextFormat::FontFamilies));
            }
        QVERIFY(fragments >= 16);
    }

    void readWithoutTheTool_data()
    {
        QTest::addColumn<int>("failingOpenStep"); // -1: no device attached
        QTest::addColumn<QStringList>("boxes");
        QTest::newRow("no device") << -1 << QStringList{"VARNEX|Hardware not found"};
        QTest::newRow("product string refused")
            << int(Op::DeviceString)
            << QStringList{" |Unable to retrive product string!", "VARNEX|Hardware not found"};
        QTest::newRow("flush refused")
            << int(Op::Purge)
            << QStringList{" |Unable to flush device bufers!", "VARNEX|Hardware not found"};
    }
    void readWithoutTheTool()
    {
        QFETCH(int, failingOpenStep);
        QFETCH(QStringList, boxes);
        if (failingOpenStep < 0)
            virtualTool().attachDevices({});
        else // the serial string is the first string asked for
            virtualTool().failOnCall(Op(failingOpenStep),
                                     failingOpenStep == int(Op::DeviceString) ? 2 : 1);
        pane->setPlainText(QStringLiteral("kept as it is"));
        MessageBoxWatcher watcher;

        QVERIFY(!window->DoReadEDID());
        QCOMPARE(shown(watcher), boxes);
        const ShownBox &box = watcher.boxes().last();
        QCOMPARE(box.icon, QMessageBox::Warning);
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QVERIFY(box.hasParent);
        QCOMPARE(pane->toPlainText(), QStringLiteral("kept as it is"));
        QVERIFY(window->statusBar()->currentMessage().isEmpty());
        QCOMPARE(sentCount(), 0);
        QCOMPARE(virtualTool().openHandleCount(), 0);
    }

    void writeGuardSendsNothing_data()
    {
        QTest::addColumn<int>("index");
        QTest::newRow("Current EDID") << 0;
        QTest::newRow("Sink EDID") << 1;
    }
    void writeGuardSendsNothing()
    {
        QFETCH(int, index);
        selector->setCurrentIndex(index);
        const QString text = hexText(virtualTool().image(0xB2));
        pane->setPlainText(text);
        MessageBoxWatcher watcher;
        QVERIFY(QMetaObject::invokeMethod(window.get(), "WriteEDID"));
        QCOMPARE(virtualTool().callCount(Op::DeviceCount), 0);
        QCOMPARE(sentCount(), 0);
        QVERIFY(watcher.boxes().isEmpty());
        QCOMPARE(pane->toPlainText(), text);
        QVERIFY(window->statusBar()->currentMessage().isEmpty());
    }

    void readThenWriteRoundTrip_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<bool>("wrongChecksum");
        QTest::newRow("current into custom 6") << 0 << 2 << false;
        QTest::newRow("sink into custom 7") << 1 << 3 << false;
        QTest::newRow("wrong checksum, Yes: into custom/sink 8") << 0 << 4 << true;
    }
    void readThenWriteRoundTrip()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(bool, wrongChecksum);
        const std::uint8_t target = kEdidSources[std::size_t(to)].address;
        VirtualTool::Image image = virtualTool().image(kEdidSources[std::size_t(from)].address);
        QVERIFY(image != virtualTool().image(target));
        MessageBoxWatcher watcher;
        watcher.answerNext(QMessageBox::Yes);

        selector->setCurrentIndex(from);
        QVERIFY(QMetaObject::invokeMethod(window.get(), "ReadEDID"));
        if (wrongChecksum) {
            ++image[255];
            pane->setPlainText(hexText(image));
        }
        const QString text = pane->toPlainText();
        selector->setCurrentIndex(to);
        const int sentBefore = sentCount();
        QVERIFY(window->DoWriteEDID());

        QVERIFY(virtualTool().image(target) == image);
        QCOMPARE(sentCount() - sentBefore, 32);
        QCOMPARE(virtualTool().receivedCommands().back().bytes,
                 (std::vector<std::uint8_t>{0x10, 0x0C, target, 0xF8, image[248], image[249],
                                            image[250], image[251], image[252], image[253],
                                            image[254], image[255]}));
        QCOMPARE(shown(watcher),
                 wrongChecksum ? QStringList{"|The EDID Checksum is not correct."} : QStringList{});
        QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("EDID values written..."));
        QCOMPARE(pane->toPlainText(), text);
        QCOMPARE(virtualTool().openHandleCount(), 0);
    }

    void writeRefusedBeforeSending_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("toolAttached");
        QTest::addColumn<QStringList>("boxes");
        VirtualTool::Image image = virtualTool().image(0xB2);
        const QString valid = hexText(image);
        ++image[127];
        QTest::newRow("two spaces between bytes") << QString(valid).insert(2, QLatin1Char(' '))
                                                  << true << QStringList{"VARNEX|Hex Format Error"};
        QTest::newRow("wrong checksum, No")
            << hexText(image) << true << QStringList{"|The EDID Checksum is not correct."};
        QTest::newRow("no tool") << valid << false
                                 << QStringList{"Varnex HDMI|Varnex HDMI hardware not found"};
    }
    void writeRefusedBeforeSending()
    {
        QFETCH(QString, text);
        QFETCH(bool, toolAttached);
        QFETCH(QStringList, boxes);
        if (!toolAttached)
            virtualTool().attachDevices({});
        selector->setCurrentIndex(2);
        pane->setPlainText(text);
        MessageBoxWatcher watcher;
        watcher.answerNext(QMessageBox::No);

        QVERIFY(!window->DoWriteEDID());
        QCOMPARE(shown(watcher), boxes);
        const ShownBox &box = watcher.boxes().first();
        if (box.title.isEmpty()) { // the checksum question
            QCOMPARE(box.informativeText, QStringLiteral("Write anyway?"));
            QCOMPARE(box.icon, QMessageBox::NoIcon);
            QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::No);
            QVERIFY(!box.hasParent);
        } else {
            QCOMPARE(box.icon, QMessageBox::Warning);
            QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
            QVERIFY(box.hasParent);
        }
        QCOMPARE(sentCount(), 0);
        QCOMPARE(pane->toPlainText(), text);
        QVERIFY(window->statusBar()->currentMessage().isEmpty());
    }

    void toolStopsAnsweringMidway_data()
    {
        QTest::addColumn<bool>("write");
        QTest::addColumn<int>("failingQuery"); // 0: replies are withheld instead
        QTest::addColumn<int>("lastCommand");
        QTest::addColumn<QStringList>("boxes");
        const QString readFailed = QStringLiteral("VARNEX|The EDID could not be read.");
        const QString writeFailed = QStringLiteral(
            "VARNEX|The EDID could not be written completely. The custom EDID may now be "
            "incomplete.");
        QTest::newRow("read, silent from command 6") << false << 0 << 6 << QStringList{readFailed};
        QTest::newRow("read, queue query 9 fails")
            << false << 9 << 9 << QStringList{" |Error Checking Queue", readFailed};
        QTest::newRow("write, silent from row 10") << true << 0 << 10 << QStringList{writeFailed};
        QTest::newRow("write, queue query 3 fails")
            << true << 3 << 3 << QStringList{" |Error Checking Queue", writeFailed};
    }
    void toolStopsAnsweringMidway()
    {
        QFETCH(bool, write);
        QFETCH(int, failingQuery);
        QFETCH(int, lastCommand);
        QFETCH(QStringList, boxes);
        if (failingQuery > 0)
            virtualTool().failOnCall(Op::QueueStatus, failingQuery);
        else
            virtualTool().withholdRepliesFrom(lastCommand);
        selector->setCurrentIndex(3);
        const VirtualTool::Image before = virtualTool().image(0xB4);
        const QString text = write ? hexText(virtualTool().image(0xB0)) : QStringLiteral("kept");
        pane->setPlainText(text);
        MessageBoxWatcher watcher;

        QVERIFY(!(write ? window->DoWriteEDID() : window->DoReadEDID()));
        QCOMPARE(shown(watcher), boxes);
        QVERIFY(watcher.boxes().last().hasParent);
        QCOMPARE(sentCount(), lastCommand);
        QCOMPARE(pane->toPlainText(), text);
        QVERIFY(window->statusBar()->currentMessage().isEmpty());
        QVERIFY(!window->statusBar()->findChild<QProgressBar *>()->isVisible());
        QCOMPARE(virtualTool().openHandleCount(), 0);
        if (!write)
            QVERIFY(virtualTool().image(0xB4) == before);
    }

    void successMessagesLastTwoSeconds_data()
    {
        QTest::addColumn<bool>("write");
        QTest::addColumn<QString>("message");
        QTest::newRow("read") << false << "EDID values read.";
        QTest::newRow("write") << true << "EDID values written...";
    }
    void successMessagesLastTwoSeconds()
    {
        QFETCH(bool, write);
        QFETCH(QString, message);
        selector->setCurrentIndex(2);
        pane->setPlainText(hexText(virtualTool().image(0xB6)));
        QVERIFY(write ? window->DoWriteEDID() : window->DoReadEDID());
        QCOMPARE(window->statusBar()->currentMessage(), message);
        QTest::qWait(1500);
        QCOMPARE(window->statusBar()->currentMessage(), message);
        QTRY_VERIFY_WITH_TIMEOUT(window->statusBar()->currentMessage().isEmpty(), 1000);
    }

    void progressDisplay_data()
    {
        QTest::addColumn<int>("a");
        QTest::addColumn<int>("b");
        QTest::addColumn<bool>("visible");
        QTest::newRow("value 0 hides") << 0 << 255 << false;
        QTest::newRow("maximum 0 hides") << 5 << 0 << false;
        QTest::newRow("negative value hides") << -1 << 10 << false;
        QTest::newRow("negative maximum hides") << 3 << -4 << false;
        QTest::newRow("full bar") << 1 << 1 << true;
        QTest::newRow("part way") << 16 << 255 << true;
    }
    void progressDisplay()
    {
        QFETCH(int, a);
        QFETCH(int, b);
        QFETCH(bool, visible);
        virtualTool().attachDevices({});
        MessageBoxWatcher watcher;
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->DoReadEDID(); // leaves a hidden bar behind
        auto *bar = window->statusBar()->findChild<QProgressBar *>();
        QVERIFY(bar && !bar->isVisible());
        window->on_ProgressChange(2, 3);
        QVERIFY(bar->isVisible());

        window->on_ProgressChange(a, b);
        QCOMPARE(bar->isVisible(), visible);
        if (visible) {
            QCOMPARE(bar->minimum(), 0);
            QCOMPARE(bar->maximum(), b);
            QCOMPARE(bar->value(), a);
        }
    }

    void oneBarAtTheRightEnd()
    {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        MessageBoxWatcher watcher;
        selector->setCurrentIndex(2);
        QVERIFY(window->DoReadEDID());
        pane->setPlainText(QStringLiteral("0"));
        QVERIFY(!window->DoWriteEDID()); // refused by the parser, after the bar is prepared
        virtualTool().attachDevices({});
        QVERIFY(!window->DoReadEDID());

        const auto bars = window->statusBar()->findChildren<QProgressBar *>();
        QCOMPARE(bars.size(), 1);
        QVERIFY(!bars.first()->isVisible());
        window->on_ProgressChange(1, 2);
        QTRY_VERIFY(bars.first()->isVisible() && bars.first()->width() > 0);
        // Only the size grip may follow it.
        const int right = bars.first()->geometry().right();
        QVERIFY2(right > window->statusBar()->width() - 30, qPrintable(QString::number(right)));
        QVERIFY(!bars.first()->isTextVisible());
    }

    void barShowsOnlyWhileRunning_data()
    {
        QTest::addColumn<bool>("write");
        QTest::addColumn<int>("failingCommand");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("maximum");
        QTest::newRow("read, first command") << false << 1 << false << 0 << 0;
        QTest::newRow("read, fifth command") << false << 5 << true << 64 << 255;
        QTest::newRow("read, last command") << false << 16 << true << 240 << 255;
        QTest::newRow("write, first row") << true << 1 << false << 0 << 0;
        QTest::newRow("write, fifth row") << true << 5 << true << 4 << 32;
        QTest::newRow("write, last row") << true << 32 << true << 31 << 32;
    }
    void barShowsOnlyWhileRunning()
    {
        QFETCH(bool, write);
        QFETCH(int, failingCommand);
        QFETCH(bool, visible);
        QFETCH(int, value);
        QFETCH(int, maximum);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        selector->setCurrentIndex(4);
        pane->setPlainText(hexText(virtualTool().image(0xA0)));
        // Every reply is due at once, so command n makes query n.
        virtualTool().failOnCall(Op::QueueStatus, failingCommand);
        std::vector<BarSnapshot> snapshots;
        setDeviceWarningHandler([&](const char *) {
            const auto *bar = window->statusBar()->findChild<QProgressBar *>();
            snapshots.push_back({bar->isVisible(), bar->value(), bar->maximum()});
        });
        MessageBoxWatcher watcher;
        QVERIFY(!(write ? window->DoWriteEDID() : window->DoReadEDID()));
        setDeviceWarningHandler(nullptr);

        QCOMPARE(snapshots.size(), std::size_t(1));
        QCOMPARE(snapshots[0].visible, visible);
        if (visible) {
            QCOMPARE(snapshots[0].value, value);
            QCOMPARE(snapshots[0].maximum, maximum);
        }
        QVERIFY(!window->statusBar()->findChild<QProgressBar *>()->isVisible());
    }

private:
    std::unique_ptr<MainWindow> window;
    QTextEdit *pane = nullptr;
    QComboBox *selector = nullptr;
};

VARNEX_REGISTER_TEST(DeviceCommandsTest);
#include "tst_DeviceCommands.moc"
