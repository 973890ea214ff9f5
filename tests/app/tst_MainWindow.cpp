// The window as the operator meets it: each command's boxes and status messages, and what the
// pane, the tool and the file hold after it; and every fault of the tool during a read or a write.
#include "DeviceState.h"
#include "DeviceWarning.h"
#include "DeviceWarningBox.h"
#include "EdidSamples.h"
#include "EdidSources.h"
#include "EdidTextBuffer.h"
#include "FileIo.h"
#include "FileNameDialogs.h"
#include "MainWindow.h"
#include "MessageBoxWatcher.h"
#include "SampleEdids.h"
#include "TestDeviceClock.h"
#include "ToolFaults.h"
#include "UsbAccess.h"

#include "EdidEdit.h"
#include "EdidMerge.h"
#include "EdidPresets.h"

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTreeWidget>

#include <memory>
#include <optional>

#include <sys/resource.h>
#include <sys/stat.h>

using Op = VirtualTool::Operation;

namespace {

enum Command { Read, Write, Checksum, Load, Save };

const char *const kOperations[] = {"count", "string", "open",  "close",
                                   "read",  "write",  "purge", "queue"};

// How a character of the pane looks.
struct Look {
    double points; // 0: the pane's own size
    int weight;
    QColor colour;
    bool italic;
    bool operator==(const Look &o) const
    {
        return points == o.points && weight == o.weight && colour == o.colour && italic == o.italic;
    }
};

// The pane's text and the look of its first character and of its first checksum digit, where the
// text reaches it; a text put in plainly has no look.
struct Pane {
    QString text;
    QList<Look> looks;
};

// The command packets the tool received: how many, to which device, the first and the last.
struct Sent {
    int count = 0;
    std::size_t device = 0;
    QByteArray first, last; // as hex
};

// Characters of the pane's text typed over, from byte n's first digit on.
struct Typed {
    int byte;
    QString text;
};

// A step in the details' Edit menu: an entry with the text typed into its dialog (or Ctrl+Z in
// the find box, after text typed there and cleared), after a row selected by its label, or text
// typed into the pane.
struct EditStep {
    QString action; // empty: no entry
    QString answer = {};
    QString select = {};
    std::optional<Typed> typed = {};
    QString find = {};
};

using Span = QPair<int, int>; // the first and the last character of a stretch of text

// The hex text of a sample image, one byte of it made wrong.
QString sampleText(std::uint8_t address, int wrongByte = -1)
{
    EdidImage image = sampleEdid(address);
    image.bytes[std::max(wrongByte, 0)] += wrongByte >= 0;
    return hexText(image.bytes);
}

QString cannotRead(const QString &file, const char *reason)
{
    return messageBox(QString("Cannot read file %1:\n%2.").arg(file, reason));
}

// An image the custom sources do not hold yet, with correct checksums.
EdidImage newImage(const VirtualTool &tool)
{
    EdidImage image{tool.image(0xA0)};
    image.bytes[10] ^= 0x5A;
    recalculateChecksums(image);
    return image;
}

} // namespace

Q_DECLARE_METATYPE(Command)
Q_DECLARE_METATYPE(Pane)
Q_DECLARE_METATYPE(Sent)
Q_DECLARE_METATYPE(Typed)
Q_DECLARE_METATYPE(EditStep)
Q_DECLARE_METATYPE(std::optional<QString>)
Q_DECLARE_METATYPE(std::optional<Pane>)
Q_DECLARE_METATYPE(std::optional<QByteArray>)

// A main window on a fresh virtual tool for each test function, in device time that passes only
// when read. What the operator is shown is collected in order: the file dialogs (answered with
// fileName), the status messages and the device link's warnings with the progress bar as it
// stands; the watcher holds the boxes answered.
class MainWindowTest : public QObject {
    Q_OBJECT

    TestDeviceClock clock;
    VirtualTool tool;
    std::unique_ptr<MainWindow> window;
    QTextEdit *pane = nullptr;
    QComboBox *selector = nullptr;
    std::optional<MessageBoxWatcher> watcher;
    QStringList seen;
    QString fileName;
    QTemporaryDir folder;
    const QString current = sampleText(0xB0), sink = sampleText(0xA0);
    const QByteArray ascending = bytesOf(ascendingEdid()); // its first byte is 0x00
    const QString markup = "<b>x</b> <img src=\"edid.png\">&amp;\nnext";

    QString in(const QString &name) const { return QDir(folder.path()).filePath(name); }

private slots:
    void init()
    {
        // The process-wide state the window sets, spoiled first so that tests see it set.
        SelectedEdidAddress = 0x00;
        ExpectedSerial = 0;
        DeviceHandle = 77;
        tool.reset();
        useUsbLibrary(&tool);
        window = std::make_unique<MainWindow>();
        pane = window->findChild<QTextEdit *>("EDIDtext");
        selector = window->findChild<QComboBox *>("EdidAddress");
        watcher.emplace();
        setFileNameAnswer([this](FileNameDialog dialog, QWidget *parent) {
            seen << QString(dialog == FileNameDialog::Open ? "open" : "save") +
                        (parent == window.get() ? "" : " without parent");
            return fileName;
        });
        QObject::connect(window->statusBar(), &QStatusBar::messageChanged,
                         [this](const QString &message) { seen << message; });
        setDeviceWarningHandler([this](const char *text) {
            const auto *bar = window->statusBar()->findChild<QProgressBar *>();
            const bool shows = bar && bar->isVisibleTo(window.get());
            seen << QString::asprintf("device: %s (bar %d/%d)", text, shows ? bar->value() : -1,
                                      bar ? bar->maximum() : -1);
        });
        QVERIFY(QDir(folder.path()).removeRecursively() && QDir().mkpath(folder.path()));
        const QByteArray text48 = hexText(ascending).toLatin1().replace('\n', " \r\n");
        const QByteArray markupFile = markup.toLatin1().replace("\n", "\r\n");
        const std::pair<const char *, QByteArray> files[]{{"edid.bin", ascending},
                                                          {"48.txt", text48},
                                                          {"markup.txt", markupFile},
                                                          {"old.bin", QByteArray(300, 'Z')}};
        for (const auto &[name, content] : files)
            QVERIFY(saveFileAtomically(in(name), content).isNull());
        QVERIFY(QFile(in("empty.bin")).open(QIODevice::WriteOnly));
        QVERIFY(mkfifo(qPrintable(in("fifo")), 0600) == 0);
    }
    void cleanup()
    {
        setFileNameAnswer(nullptr);
        setDeviceWarningHandler(nullptr);
        watcher.reset();
        seen.clear();
        window.reset();
        DeviceHandle = kNoUsbHandle;
        useUsbLibrary(nullptr);
    }

    // The About box and the device link's box, as the window shows them; the current EDID chosen
    // at start; and the sink refused for a write, nothing sent.
    void shell()
    {
        installDeviceWarningBox();
        window->findChild<QAction *>("actionAbout")->trigger();
        ShowDeviceWarning("Unable to open handle to device!");
        QVERIFY(watcher->boxes.value(0).startsWith(
            "About Varnex HDMI|<h2>Varnex HDMI EDID Utility Version 1.00</h2><p>"));
        QCOMPARE(watcher->boxes.mid(1),
                 QStringList{messageBox("Unable to open handle to device!", " ", false)});
        QCOMPARE(QString::asprintf("%X %d %d %s %d", SelectedEdidAddress, ExpectedSerial,
                                   DeviceHandle, qPrintable(pane->font().family()),
                                   pane->font().styleHint()),
                 QString("B0 2011 -1 Courier New %1").arg(QFont::TypeWriter));
        selector->setCurrentIndex(1);
        for (int outside : {-1, 5}) // no source: the address stays
            QMetaObject::invokeMethod(window.get(), "SelectEdid", Q_ARG(int, outside));
        EdidTextBuffer.fill('x'); // the slot clears it before it refuses
        QVERIFY(QMetaObject::invokeMethod(window.get(), "WriteEDID") &&
                EdidTextBuffer[999] == '\0');
        QVERIFY(SelectedEdidAddress == 0xA0 && tool.receivedCommands().empty());
    }

    // The Close button closes the open tool and ends the process with status 0: in a child.
    void closeEndsTheProgram()
    {
        if (qEnvironmentVariableIsSet("VARNEX_EXIT_CHILD")) {
            UsbOpenByIndex(0, &DeviceHandle);
            static const VirtualTool *exiting = &tool; // alive: exit() does not unwind main
            std::atexit([] { std::printf("\nopen handles %d\n", exiting->openHandleCount()); });
            QTest::mousePress(window->findChild<QWidget *>("ButClose"), Qt::LeftButton);
        }
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("VARNEX_EXIT_CHILD", "1");
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), {"closeEndsTheProgram"});
        QVERIFY(child.waitForFinished(20000) && child.exitStatus() == QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        QVERIFY(child.readAllStandardOutput().endsWith("\nopen handles 0\n"));
    }

    // Each text of the form fits its widget at the form's fixed geometry, in the widget's font:
    // the buttons' labels and all of the selector's sources.
    void textsFit()
    {
        QCoreApplication::processEvents(); // the window's font reaches its widgets in events
        for (QWidget *shown : window->findChildren<QWidget *>())
            if (qobject_cast<QPushButton *>(shown) || qobject_cast<QComboBox *>(shown))
                QVERIFY2(shown->sizeHint().width() <= shown->width(),
                         qPrintable(shown->objectName() + " in " + shown->font().toString()));
    }

    // View > EDID Details... (Ctrl+D) on the sink's text: the row the operator selects or finds
    // (typed into the find box, then Enter), then what is typed into the pane; the row selected
    // after, the pane's characters marked, the problem shown instead of rows.
    void details_data()
    {
        QTest::addColumn<QString>("select"); // a row by its label
        QTest::addColumn<QString>("find");
        QTest::addColumn<int>("enters");
        QTest::addColumn<QList<Typed>>("typed");
        // The row selected after: its labels from the top, its value and bytes; empty: none.
        QTest::addColumn<QStringList>("current");
        QTest::addColumn<Span>("marked"); // (0, 0): none
        QTest::addColumn<QString>("problem");
        const auto row = [](const char *name, const QString &select, const QString &find,
                            int enters, const QList<Typed> &typed, const QStringList &current,
                            Span marked, const QString &problem = {}) {
            QTest::newRow(name) << select << find << enters << typed << current << marked
                                << problem;
        };
        const QStringList name{"Block 0: base EDID", "Product name", "'VNX Sink'", "0x5A-0x6B"};
        const QStringList address{"Block 1: CTA-861 extension", "HDMI vendor-specific data block",
                                  "Physical address"};
        const QStringList moved = address + QStringList{"2.0.0.0", "0xA5-0xA6"};
        row("a row selected marks its bytes", "Product name", "", 0, {}, name, {270, 322});
        row("the pane's edit followed", "Physical address", "", 0, {{165, "20 00"}}, moved,
            {495, 499});
        row("unreadable text: the problem, no rows", "Product name", "", 0, {{5, "ZZ"}}, {}, {0, 0},
            "The pane holds no whole EDID: byte 5 (line 1, column 16): 'ZZ' is not two hex "
            "digits.");
        row("a block gone for a moment: its row selected again", "Physical address", "", 0,
            {{161, "00"}, {161, "68"}}, address + QStringList{"1.0.0.0", "0xA5-0xA6"}, {495, 499});
        row("find: the first row whose label holds the text", "", "product", 0, {},
            {"Block 0: base EDID", "Product code", "8352", "0x0A-0x0B"}, {30, 34});
        row("find: a value in another case, Enter the next", "", "vnx", 1, {}, name, {270, 322});
        row("find: from the top, not from the row selected", "VIC 93", "3840x2160", 0, {},
            {"Block 1: CTA-861 extension", "Video data block", "VIC 95", "3840x2160p30 16:9",
             "0x93"},
            {441, 442});
        row("find: Enter the next after the row found", "VIC 4", "1920x1080", 1, {},
            {"Block 0: base EDID", "DTD 1",
             "1920x1080p, 60.000 Hz, 67.500 kHz, 148.500 MHz (preferred)", "0x36-0x47"},
            {162, 214});
    }
    void details()
    {
        QFETCH(QString, select);
        QFETCH(QString, find);
        QFETCH(int, enters);
        QFETCH(QList<Typed>, typed);
        QFETCH(QStringList, current);
        QFETCH(Span, marked);
        QFETCH(QString, problem);
        pane->setPlainText(sink);
        window->show();
        QApplication::setActiveWindow(window.get());
        QTest::keyClick(window.get(), Qt::Key_D, Qt::ControlModifier);
        auto *details = window->findChild<QWidget *>("EdidDetails");
        QVERIFY(details && details->isVisible());
        // On the screen whole, the Bytes column in view (the offscreen screen is 800 wide).
        QVERIFY(window->screen()->availableGeometry().contains(details->frameGeometry()));
        auto *tree = details->findChild<QTreeWidget *>("EdidDetailsTree");
        if (!select.isEmpty())
            tree->setCurrentItem(
                tree->findItems(select, Qt::MatchExactly | Qt::MatchRecursive).value(0));
        auto *findBox = details->findChild<QLineEdit *>("EdidDetailsFind");
        QTest::keyClicks(findBox, find);
        for (int n = 0; n < enters; ++n)
            QTest::keyClick(findBox, Qt::Key_Return);
        for (const Typed &edit : typed) {
            QTextCursor cursor(pane->document());
            cursor.setPosition(3 * edit.byte);
            cursor.setPosition(3 * edit.byte + int(edit.text.size()), QTextCursor::KeepAnchor);
            cursor.insertText(edit.text);
            QCoreApplication::processEvents(); // the details follow once the keystrokes are in
        }
        QStringList labels;
        for (QTreeWidgetItem *item = tree->currentItem(); item; item = item->parent())
            labels.prepend(item->text(0));
        if (const QTreeWidgetItem *row = tree->currentItem())
            labels << row->text(1) << row->text(2);
        QCOMPARE(labels, current);
        const QList<QTextEdit::ExtraSelection> marks = pane->extraSelections();
        QCOMPARE(marks.isEmpty() ? qMakePair(0, 0)
                                 : qMakePair(marks[0].cursor.selectionStart(),
                                             marks[0].cursor.selectionEnd() - 1),
                 marked);
        const auto *above = details->findChild<QLabel *>("EdidDetailsProblem");
        QCOMPARE(above->isVisible() ? above->text() : QString(), problem);
        QCOMPARE(tree->topLevelItemCount() == 0, !problem.isEmpty());
    }

    // The details' Edit menu on the sink's text: each step an entry of the menu with the text
    // typed into its dialog (none: what the dialog offers), a row selected first, or text typed
    // into the pane; then the pane's bytes, the boxes and dialogs shown, what the details say
    // changed, and whether Ctrl+Z has an edit to step back.
    void detailsEdits_data()
    {
        QTest::addColumn<QList<EditStep>>("steps");
        QTest::addColumn<QList<Typed>>("bytes"); // where the pane's text differs from the sink's
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QString>("changes"); // empty: none shown
        QTest::addColumn<bool>("undoable");
        QTest::addColumn<int>("size"); // the sink's bytes in the pane: 256, or its base block alone
        const auto row = [](const char *name, const QList<EditStep> &steps,
                            const QList<Typed> &bytes, const QStringList &boxes,
                            const QString &changes, bool undoable, int size = 256) {
            QTest::newRow(name) << steps << bytes << boxes << changes << undoable << size;
        };
        const Typed name{95, "53 74 75 64 69 6F 20 33 0A 20 20 20 20"};
        const QString nameDialog = "Set Name|Product name (up to 13 characters):|VNX Sink";
        const QString addressDialog =
            "Set Physical Address|CEC physical address (A.B.C.D):|1.0.0.0";
        row("the address offered, a new one set", {{"actionSetPhysicalAddress", "2.0.0.0"}},
            {{165, "20"}, {255, "C1"}}, {addressDialog},
            "Changed:\n  Physical address: 1.0.0.0 -> 2.0.0.0\n"
            "  Block 1 / Checksum: 0xD1 (correct) -> 0xC1 (correct)",
            true);
        row("an edit of the table without a dialog of its own", {{"action-set-vendor", "ABC"}},
            {{8, "04 43"}, {127, "28"}}, {"Set Vendor|The manufacturer ID: three letters A-Z.|"},
            "Changed:\n  Manufacturer: VNX -> ABC\n"
            "  Block 0 / Checksum: 0x3E (correct) -> 0x28 (correct)",
            true);
        row("an edit of the table without an argument", {{"action-remove-deep-colour"}},
            {{167, "80"}, {255, "09"}}, {},
            "Changed:\n  Deep colour: 30, 36 bits, also YCbCr 4:4:4 -> none\n"
            "  Block 1 / Checksum: 0xD1 (correct) -> 0x09 (correct)",
            true);
        row("the VIC selected in the tree offered and removed",
            {{"", "", "VIC 95"}, {"actionRemoveVic"}},
            {{130, "2C"},
             {132, "50"},
             {147, "5E 5D 26 09 07 07 15 07 50 83 07 00 00 68 03 0C 00 10 00 B8 3C 00 E2 00 CF"},
             {172, "01 1D 00 72 51 D0 1E 20 6E 28 55 00 13 2B 21 00 00 1E 00 00"},
             {255, "32"}},
            {"Remove VIC|VIC:|VIC 95: 3840x2160p30 16:9"},
            "Changed:\n  DTD offset: 45 -> 44\n  VIC 95 removed: 3840x2160p30 16:9\n"
            "  Padding: 64 bytes, all zero -> 65 bytes, all zero\n"
            "  Block 1 / Checksum: 0xD1 (correct) -> 0x32 (correct)",
            true);
        row("a name too long refused, nothing changed", {{"actionSetName", "Studio 3 North Wing"}},
            {},
            {nameDialog, messageBox("The EDID was not changed: a product name has 1-13 "
                                    "characters; 'Studio 3 North Wing' has 19.",
                                    "EDID Details")},
            "", false);
        // One step back to the name alone; the bytes typed then end the steps before them.
        row("two edits, one step back; typing ends the steps",
            {{"actionSetName", "Studio 3"},
             {"actionSetPhysicalAddress", "2.0.0.0"},
             {"actionUndoEdit"},
             {"", "", "", {{10, "5A"}}},
             {"actionSetPhysicalAddress", "2.0.0.0"},
             {"actionUndoEdit"},
             {"actionUndoEdit"}},
            {{10, "5A"}, name, {127, "24"}}, {nameDialog, addressDialog, addressDialog},
            "Undone:\n  Block 0 / Checksum: 0x6A (correct) -> 0x24 (should be 0x6A)\n"
            "  Physical address: 2.0.0.0 -> 1.0.0.0\n"
            "  Block 1 / Checksum: 0xC1 (correct) -> 0xD1 (correct)\n"
            "  Error added: block 0 checksum is 0x24, should be 0x6A",
            false);
        row("Ctrl+Z in a find box emptied again steps back",
            {{"actionSetName", "Studio 3"}, {"Ctrl+Z", {}, {}, {}, "vnx"}}, {}, {nameDialog},
            "Undone:\n  Product name: 'Studio 3' -> 'VNX Sink'\n"
            "  Block 0 / Checksum: 0x24 (correct) -> 0x3E (correct)",
            false);
        row("preferred timing: 'DTD offset' not offered, so typed it is no mode",
            {{"actionSetPreferred", "DTD offset: 45"}}, {},
            {"Set Preferred Timing|The mode DTD 1 takes (or type WIDTHxHEIGHT@HZ or a modeline):|"
             "DTD 1: 1920x1080p, 60.000 Hz, 67.500 kHz, 148.500 MHz (preferred)",
             messageBox("The EDID was not changed: a mode is vic:N, dtd:N, WIDTHxHEIGHT@HZ or an X "
                        "modeline (CLOCK HDISP HSYNCSTART HSYNCEND HTOTAL VDISP VSYNCSTART "
                        "VSYNCEND VTOTAL +hsync|-hsync +vsync|-vsync [interlace]), not 'DTD "
                        "offset: 45'.",
                        "EDID Details")},
            "", false);
        // The physical address needs the extension: its entry is off, and the name is set.
        row("a base block alone: the edits that need no extension",
            {{"actionSetPhysicalAddress"}, {"actionSetName", "Studio 3"}}, {name, {127, "24"}},
            {nameDialog},
            "Changed:\n  Product name: 'VNX Sink' -> 'Studio 3'\n"
            "  Checksum: 0x3E (correct) -> 0x24 (correct)",
            true, 128);
        row("no whole EDID in the pane: no edits",
            {{"", "", "", {{5, "ZZ"}}}, {"actionSetName", "Studio 3"}}, {{5, "ZZ"}}, {}, "", false);
    }
    void detailsEdits()
    {
        QFETCH(QList<EditStep>, steps);
        QFETCH(QList<Typed>, bytes);
        QFETCH(QStringList, boxes);
        QFETCH(QString, changes);
        QFETCH(bool, undoable);
        QFETCH(int, size);
        const QString start = sink.left(3 * size);
        pane->setPlainText(start);
        window->findChild<QAction *>("actionEdidDetails")->trigger();
        auto *details = window->findChild<QWidget *>("EdidDetails");
        auto *tree = details->findChild<QTreeWidget *>("EdidDetailsTree");
        const QList<QAction *> actions = details->findChildren<QAction *>();
        for (const EdidEditInfo &info : edidEditKinds()) // each edit has its entry
            QVERIFY2(std::any_of(actions.begin(), actions.end(),
                                 [&](const QAction *a) { return a->data() == int(info.kind); }),
                     info.name);
        for (const EditStep &step : steps) {
            if (!step.select.isEmpty())
                tree->setCurrentItem(
                    tree->findItems(step.select, Qt::MatchExactly | Qt::MatchRecursive).value(0));
            if (step.typed) {
                QTextCursor cursor(pane->document());
                cursor.setPosition(3 * step.typed->byte);
                cursor.setPosition(3 * step.typed->byte + 2, QTextCursor::KeepAnchor);
                cursor.insertText(step.typed->text);
            }
            QCoreApplication::processEvents(); // the details follow the pane
            if (step.action == "Ctrl+Z") {
                auto *findBox = details->findChild<QLineEdit *>("EdidDetailsFind");
                QApplication::setActiveWindow(details);
                findBox->setFocus();
                QTest::keyClicks(findBox, step.find);
                findBox->clear(); // as its clear button does
                QTest::keyClick(findBox, Qt::Key_Z, Qt::ControlModifier);
                continue;
            }
            if (step.action.isEmpty())
                continue;
            if (!step.answer.isEmpty())
                watcher->typeNext(step.answer);
            details->findChild<QAction *>(step.action)->trigger();
        }
        QString expected = start;
        for (const Typed &at : bytes) { // byte by byte, the line ends kept
            const QStringList digits = at.text.split(' ');
            for (int n = 0; n < digits.size(); ++n)
                expected.replace(3 * (at.byte + n), 2, digits[n]);
        }
        QCOMPARE(pane->toPlainText().trimmed(), expected.trimmed());
        QCOMPARE(watcher->boxes, boxes);
        const auto *said = details->findChild<QLabel *>("EdidDetailsChanges");
        QCOMPARE(said->isVisible() ? said->text() : QString(), changes);
        QCOMPARE(details->findChild<QAction *>("actionUndoEdit")->isEnabled(), undoable);
    }

    // File > New from Preset...: a list of the presets with their lines; the one chosen comes
    // into the pane as the same bytes loaded from a binary file, and the details follow.
    void newFromPreset()
    {
        window->findChild<QAction *>("actionEdidDetails")->trigger();
        const auto *tree = window->findChild<QTreeWidget *>("EdidDetailsTree");
        QStringList lines;
        for (const EdidPreset &preset : edidPresets()) {
            lines << QString("%1 - %2").arg(preset.name, preset.description);
            watcher->typeNext(lines.back());
            window->findChild<QAction *>("actionNewFromPreset")->trigger();
            const Pane made = shownPane();
            QVERIFY(
                saveFileAtomically(in("p.bin"), bytesOf(*presetEdid(preset.name).image)).isNull());
            fileName = in("p.bin");
            QVERIFY(window->DoLoadEDIDfromFile());
            QCOMPARE(made.text, shownPane().text);
            QCOMPARE(made.looks, shownPane().looks);
            QCoreApplication::processEvents(); // the details follow the pane
            const auto found =
                tree->findItems("Product code", Qt::MatchExactly | Qt::MatchRecursive);
            QCOMPARE(found.value(0)->text(1), QString::number(preset.productCode));
        }
        QCOMPARE(watcher->boxes.size(), lines.size());
        QCOMPARE(watcher->boxes.first(), "New from Preset|Preset:|" + lines.first());
        QCOMPARE(seen.count("Preset loaded"), lines.size());
    }

    // A read is sixteen 16-byte reads and the counters command repeating the last read's header;
    // a write is thirty-two 8-byte rows, 50 ms apart; a failure stops either.
    void commands_data()
    {
        QTest::addColumn<Command>("command");
        // The pane's text; unset: an earlier text in other formats, selected from its end.
        QTest::addColumn<std::optional<QString>>("before");
        QTest::addColumn<ToolFaults>("faults");
        QTest::addColumn<QString>("file");              // the dialog's answer
        QTest::addColumn<QStringList>("expected");      // what the operator is shown
        QTest::addColumn<std::optional<Pane>>("after"); // unset: as before
        QTest::addColumn<Sent>("sent");
        // What the tool's chosen image (for a write) or the file holds after; unset: as before.
        QTest::addColumn<std::optional<QByteArray>>("stored");
        QTest::addColumn<QMessageBox::StandardButton>("answer"); // to the question asked
        QTest::addColumn<int>("sizeLimit");                      // of a file, in bytes; 0: none
        const auto row = [](const char *name, Command command, const std::optional<QString> &before,
                            const ToolFaults &faults, const QString &file,
                            const QStringList &expected, const std::optional<Pane> &after = {},
                            const Sent &sent = {}, const std::optional<QByteArray> &stored = {},
                            QMessageBox::StandardButton answer = QMessageBox::Yes,
                            int sizeLimit = 0) {
            QTest::newRow(name) << command << before << faults << file << expected << after << sent
                                << stored << answer << sizeLimit;
        };
        const QString notFound = messageBox("Hardware not found");
        const QString formatError = messageBox("Hex Format Error");
        const auto question = [](const char *informative) {
            return messageBox("The EDID Checksum is not correct.", "", false, informative,
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::NoIcon);
        };
        const QString writeAnyway = question("Write anyway?");
        const QString newChecksum = question("Do you want to calculate a new checksum?");
        const Look read{8, QFont::Bold, Qt::black, false}, loaded{8, QFont::Bold, Qt::blue, false};
        const QList<Look> rendered{{0, QFont::Normal, Qt::black, false},
                                   {0, QFont::Bold, Qt::red, false}};
        const Pane sinkRead{sink, {read, read}}, currentRendered{current, rendered};
        const QByteArray readSink = "11 10 A0 00", counters = "02 10 A0 F0 00 00 00 00";
        const QString wrong255 = sampleText(0xB0, 255), ascendingText = hexText(ascending);
        const QString missing = in("missing.bin"), noFolder = in("missing/edid.bin");
        const QString fifo = in("fifo"), old = in("old.bin");
        const auto cannotWrite = [](const QString &file, const char *reason) {
            return messageBox(QString("Cannot write file %1:\n%2.").arg(file, reason));
        };
        using F = ToolFaults;
        row("Read: the sink over earlier text", Read, {}, {}, "", {"EDID values read."}, sinkRead,
            {17, 0, readSink, counters});
        row("Read: a reply a byte short", Read, {}, F().shortReply(3), "",
            {"device: Error Reading Data (bar 32/255)", messageBox("The EDID could not be read.")},
            {}, {3, 0, readSink, "11 10 A0 20"});
        row("Read: no tool", Read, {}, F().devices({}), "", {notFound});
        row("Read: the tool after devices with another serial and none", Read, {},
            F().devices({"", "1234", "2011"}), "", {"EDID values read."}, sinkRead,
            {17, 2, readSink, counters});
        row("Read: serials that only look like the tool's", Read, {},
            F().devices({"02011", "2011 ", "2012"}), "", {notFound});
        row("Read: counting fails", Read, {}, F().fail(Op::DeviceCount, 1), "", {notFound});
        row("Read: the serial of the first of two tools unreadable", Read, {},
            F().devices({"2011", "2011"}).fail(Op::DeviceString, 1), "",
            {"device: Error retrieving serial string! (bar -1/100)", "EDID values read."}, sinkRead,
            {17, 1, readSink, counters});
        row("Read: the product string unreadable", Read, {}, F().fail(Op::DeviceString, 2), "",
            {"device: Unable to retrive product string! (bar -1/100)", notFound});
        row("Read: the open refused", Read, {}, F().fail(Op::OpenByIndex, 1), "",
            {"device: Unable to open handle to device! (bar -1/100)", notFound});
        row("Read: flush fails, then the close", Read, {},
            F().fail(Op::Purge, 1).fail(Op::CloseHandle, 1), "",
            {"device: Unable to flush device bufers! (bar -1/100)",
             "device: Unable to close device handle! (bar -1/100)", notFound});
        row("Write: wrong checksum, Yes: written as it is", Write, wrong255, {}, "",
            {"EDID values written...", writeAnyway}, {},
            {32, 0, "10 0C B2 00 00 FF FF FF FF FF FF 00", "10 0C B2 F8 00 00 00 00 00 00 00 D2"},
            QByteArray::fromHex(wrong255.toLatin1()));
        row("Write: wrong checksum, No", Write, wrong255, {}, "", {writeAnyway}, {}, {}, {},
            QMessageBox::No);
        row("Write: empty pane", Write, "", {}, "", {formatError});
        row("Write: no tool", Write, current, F().devices({}), "",
            {messageBox("Varnex HDMI hardware not found", "Varnex HDMI")});
        row("Checksum: correct, lower case", Checksum, current.toLower() + "\n\n", {}, "", {},
            currentRendered);
        row("Checksum: block 0 wrong, Yes", Checksum, sampleText(0xB0, 127), {}, "", {newChecksum},
            currentRendered);
        row("Checksum: block 1 wrong, Yes", Checksum, wrong255, {}, "", {newChecksum},
            currentRendered);
        row("Checksum: wrong, No: kept to the character", Checksum,
            sampleText(0xB0, 3).toLower() + "\n", {}, "", {newChecksum}, {}, {}, {},
            QMessageBox::No);
        row("Checksum: ZZ, no question", Checksum, QString(current).replace(30, 2, "ZZ"), {}, "",
            {formatError});
        // Were only the low byte of a character taken, this would read as the digit 'A'.
        row("Checksum: a letter beyond Latin-1", Checksum,
            QString(current).replace(0, 1, QChar(0x0141)), {}, "", {formatError});
        row("Load: a binary EDID", Load, {}, {}, in("edid.bin"), {"open", "File loaded"},
            Pane{ascendingText, rendered});
        row("Load: text with markup", Load, {}, {}, in("markup.txt"), {"open", "File loaded"},
            Pane{markup, {loaded}});
        row("Load: 48-column text", Load, {}, {}, in("48.txt"), {"open", "File loaded"},
            Pane{ascendingText, {loaded, loaded}});
        row("Load: cancelled", Load, {}, {}, "", {"open"});
        row("Load: a missing file", Load, {}, {}, missing,
            {"open", cannotRead(missing, "No such file or directory")});
        row("Load: a FIFO without writer", Load, {}, {}, fifo,
            {"open", cannotRead(fifo, "Not a regular file")});
        row("Load: /dev/zero", Load, {}, {}, "/dev/zero",
            {"open", cannotRead("/dev/zero", "Not a regular file")});
        row("Load: an empty file", Load, {}, {}, in("empty.bin"),
            {"open", cannotRead(in("empty.bin"), "The file is empty")});
        row("Load: unreadable content", Load, {}, {}, "/proc/self/mem",
            {"open", cannotRead("/proc/self/mem", "Input/output error")});
        row("Save: over a larger file", Save, ascendingText, {}, old,
            {"save", "Saving file...", "File saved"}, {}, {}, ascending);
        row("Save: into no such folder", Save, ascendingText, {}, noFolder,
            {"save", cannotWrite(noFolder, "No such file or directory")});
        row("Save: onto a FIFO", Save, ascendingText, {}, fifo,
            {"save", cannotWrite(fifo, "Not a regular file")});
        row("Save: beyond the file-size limit", Save, ascendingText, {}, old,
            {"save", "Saving file...", "", cannotWrite(old, "File too large")}, {}, {}, {},
            QMessageBox::Yes, 100);
        row("Save: an empty pane", Save, "", {}, old, {formatError});
    }
    void commands()
    {
        QFETCH(Command, command);
        QFETCH(std::optional<QString>, before);
        QFETCH(ToolFaults, faults);
        QFETCH(QString, file);
        QFETCH(QStringList, expected);
        QFETCH(std::optional<Pane>, after);
        QFETCH(Sent, sent);
        QFETCH(std::optional<QByteArray>, stored);
        QFETCH(QMessageBox::StandardButton, answer);
        QFETCH(int, sizeLimit);
        selector->setCurrentIndex(command == Read ? 1 : command == Write ? 2 : 0);
        if (before) {
            pane->setPlainText(*before);
        } else {
            pane->setHtml("<p style='font-family:serif;color:red'><i><b>old text</b></i></p>");
            QTextCursor cursor(pane->document());
            cursor.movePosition(QTextCursor::End);
            cursor.setPosition(2, QTextCursor::KeepAnchor);
            pane->setTextCursor(cursor);
        }
        fileName = file;
        faults.applyTo(tool);
        watcher->answerNext(answer);
        const Pane paneBefore = shownPane();
        const std::optional<QByteArray> storedBefore = storedBy(command);
        const QStringList filesBefore = QDir(folder.path()).entryList(QDir::Files);
        rlimit unlimited{};
        getrlimit(RLIMIT_FSIZE, &unlimited);
        rlimit limited = unlimited;
        limited.rlim_cur = sizeLimit > 0 ? rlim_t(sizeLimit) : unlimited.rlim_cur;
        setrlimit(RLIMIT_FSIZE, &limited);
        const std::array<bool (MainWindow::*)(), 5> operations{
            &MainWindow::DoReadEDID, &MainWindow::DoWriteEDID, &MainWindow::DoCalculateChkSum,
            &MainWindow::DoLoadEDIDfromFile, &MainWindow::DoSaveEDIDtoFile};
        const bool done = (window.get()->*operations[command])();
        setrlimit(RLIMIT_FSIZE, &unlimited);

        QCOMPARE(seen + watcher->boxes, expected);
        const Pane paneAfter = shownPane();
        QCOMPARE(paneAfter.text, after.value_or(paneBefore).text);
        QCOMPARE(paneAfter.looks, after.value_or(paneBefore).looks);
        const std::vector<VirtualTool::Command> &received = tool.receivedCommands();
        const auto hex = [](const VirtualTool::Command &c) {
            return QByteArray(reinterpret_cast<const char *>(c.bytes.data()), int(c.bytes.size()))
                .toHex(' ')
                .toUpper();
        };
        QCOMPARE(int(received.size()), sent.count);
        if (!received.empty()) {
            QCOMPARE(received.back().device, sent.device);
            QCOMPARE(hex(received.front()), sent.first);
            QCOMPARE(hex(received.back()), sent.last);
        }
        QCOMPARE(storedBy(command), stored ? stored : storedBefore);
        // A file is replaced whole: no temporary file may be left beside it.
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files), filesBefore);
        // An operation succeeds when it confirms, and the checksum command when it renders.
        QCOMPARE(
            done,
            !expected.filter(QRegularExpression("^(EDID values|File (loaded|saved))")).isEmpty() ||
                (command == Checksum && after));
        // A handle the library refused to close is the only one the tool may still hold.
        QCOMPARE(tool.openHandleCount(), int(faults.fails(Op::CloseHandle)));
        if (auto *bar = window->statusBar()->findChild<QProgressBar *>())
            QVERIFY(!bar->isVisibleTo(window.get()) && !bar->isTextVisible());
        if (expected.contains("EDID values written..."))
            QCOMPARE(clock.pauses,
                     std::vector<std::chrono::milliseconds>(32, std::chrono::milliseconds(50)));
    }

    // File > Merge...: the dialog filled as the operator fills it, then OK where it is offered.
    void merge_data()
    {
        // "file:NAME" (chosen in the file dialog), "source:N" (of the selector), "remove:ROW".
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<ToolFaults>("faults");
        QTest::addColumn<QStringList>("expected"); // what the operator is shown
        QTest::addColumn<QByteArray>("merged");    // the pane's EDID after; empty: as before
        QTest::addColumn<QByteArray>("read");      // the sources read from the tool
        QTest::addColumn<QString>("detail");       // a line of the box's details
        const auto row = [](const char *name, const QStringList &steps, const QStringList &expected,
                            const QByteArray &merged = {}, const QByteArray &read = {},
                            const QString &detail = {}, const ToolFaults &faults = {}) {
            QTest::newRow(name) << steps << faults << expected << merged << read << detail;
        };
        const auto mergedOf = [](const EdidImage &a, const EdidImage &b) {
            return bytesOf(mergeEdids({decodeEdid(a), decodeEdid(b)}, {}).merged->image);
        };
        const EdidImage sinkImage = sampleEdid(0xA0);
        const QString done =
            messageBox("2 EDIDs merged into one that all of them accept.", "VARNEX", true, {},
                       QMessageBox::Ok, QMessageBox::Information);
        const QString open = "open without parent"; // the dialog's own
        row("a file and a source", {"file:sink.bin", "source:2"}, {open, "EDIDs merged", done},
            mergedOf(sinkImage, sampleEdid(0xB2)), "B2", "Identity VNX 8352 'VNX Sink': input 1's");
        row("one input: no OK", {"file:sink.bin"}, {open});
        row("a row removed", {"file:sink.bin", "file:edid.bin", "remove:1", "source:1"},
            {open, open, "EDIDs merged", done}, mergedOf(sinkImage, sinkImage), "A0",
            "Timing 1280x720p60: all inputs have it");
        row("a wrong checksum", {"file:wrong.bin", "source:1"},
            {open, "EDIDs merged",
             messageBox("Input 1 has a wrong checksum; it was read as it is.\n2 EDIDs merged into "
                        "one that all of them accept.",
                        "VARNEX", true, {}, QMessageBox::Ok, QMessageBox::Information)},
            mergedOf(sinkImage, sinkImage), "A0");
        row("no EDID", {"file:sink.bin", "file:edid.bin"},
            {open, open,
             messageBox("The EDIDs cannot be merged: input 2 holds no EDID: its header is not 00 "
                        "FF FF FF FF FF FF 00.")});
        row("an unreadable file", {"source:1", "file:old.bin"},
            {open, cannotRead(in("old.bin"), "1:1: 'Z' is not a hex digit")}, {}, "A0");
        row("no tool", {"file:sink.bin", "source:2"}, {open, messageBox("Hardware not found")}, {},
            {}, {}, ToolFaults().devices({}));
    }
    void merge()
    {
        QFETCH(QStringList, steps);
        QFETCH(ToolFaults, faults);
        QFETCH(QStringList, expected);
        QFETCH(QByteArray, merged);
        QFETCH(QByteArray, read);
        QFETCH(QString, detail);
        EdidImage wrong = sampleEdid(0xA0);
        wrong.bytes[255] ^= 1;
        QVERIFY(saveFileAtomically(in("sink.bin"), bytesOf(sampleEdid(0xA0))).isNull());
        QVERIFY(saveFileAtomically(in("wrong.bin"), bytesOf(wrong)).isNull());
        faults.applyTo(tool);
        pane->setPlainText(current);
        QTimer::singleShot(0, [&] {
            QWidget *dialog = QApplication::activeModalWidget();
            QVERIFY(dialog && dialog->windowTitle() == "Merge EDIDs");
            for (const QString &step : steps) {
                const QString what = step.section(':', 1);
                if (step.startsWith("file:"))
                    fileName = in(what);
                else if (step.startsWith("source:"))
                    dialog->findChild<QComboBox *>("mergeSource")->setCurrentIndex(what.toInt());
                else
                    dialog->findChild<QListWidget *>()->setCurrentRow(what.toInt());
                const char *button = step.startsWith("file:")     ? "mergeAddFile"
                                     : step.startsWith("source:") ? "mergeAddSource"
                                                                  : "mergeRemove";
                QTest::mouseClick(dialog->findChild<QPushButton *>(button), Qt::LeftButton);
            }
            auto *buttons = dialog->findChild<QDialogButtonBox *>();
            QAbstractButton *ok = buttons->button(QDialogButtonBox::Ok);
            QTest::mouseClick(ok->isEnabled() ? ok : buttons->button(QDialogButtonBox::Cancel),
                              Qt::LeftButton);
        });
        window->findChild<QAction *>("actionMerge")->trigger();
        QCOMPARE(seen + watcher->boxes, expected);
        QCOMPARE(pane->toPlainText(), merged.isEmpty() ? current : hexText(merged));
        QByteArray sources;
        for (const VirtualTool::Command &command : tool.receivedCommands())
            if (command.bytes[0] == 0x11 && command.bytes[3] == 0) // a read's first command
                sources += QByteArray::number(command.bytes[2], 16).toUpper();
        QCOMPARE(sources, read);
        QCOMPARE(SelectedEdidAddress, std::uint8_t(0xB0)); // the selector's choice stays
        QCOMPARE(watcher->details.join('\n').contains(detail), true);
    }

    // Every library operation failing at every call a read or a write reaches, and every reply
    // withheld in turn: each case must end with the tool closed, the lock free, the operator told,
    // and the pane and the tool in a state the operator can trust.
    void sweep_data()
    {
        QTest::addColumn<bool>("write"); // the sink read, or a new image written into custom 7
        QTest::addColumn<ToolFaults>("faults");
        // The operation outlives a refused close after its last command (a clean run closes
        // once), and a read any fault of the counters exchange that follows a complete read.
        QTest::addColumn<bool>("succeeds");
        QTest::addColumn<bool>("told"); // a silent counters reply goes unnoticed
        for (bool write : {false, true}) {
            // The calls and commands a clean run makes are the positions a fault can take. An
            // exchange sends once, queries twice (the wait, then for surplus bytes), reads once.
            const char *name = write ? "write custom 7" : "read sink";
            init();
            prepare(write);
            run(write);
            for (int op = 0; op < VirtualTool::kOperationCount; ++op) {
                for (int nth = 1; nth <= tool.callCount(Op(op)); ++nth) {
                    const bool once = Op(op) == Op::WriteBlock || Op(op) == Op::ReadBlock;
                    const int exchange = once ? nth : Op(op) == Op::QueueStatus ? (nth + 1) / 2 : 0;
                    QTest::addRow("%s, %s call %d fails", name, kOperations[op], nth)
                        << write << ToolFaults().fail(Op(op), nth)
                        << (Op(op) == Op::CloseHandle || (!write && exchange == 17)) << true;
                }
            }
            for (int nth = 1; nth <= int(tool.receivedCommands().size()); ++nth)
                QTest::addRow("%s, reply %d withheld", name, nth)
                    << write << ToolFaults().noReply(nth) << (!write && nth == 17)
                    << (write || nth != 17);
            cleanup();
        }
    }
    void sweep()
    {
        QFETCH(bool, write);
        QFETCH(ToolFaults, faults);
        QFETCH(bool, succeeds);
        QFETCH(bool, told);
        const QString paneBefore = prepare(write);
        faults.applyTo(tool);
        run(write);
        const QString success =
            write ? QStringLiteral("EDID values written...") : QStringLiteral("EDID values read.");
        QCOMPARE(DeviceHandle, kNoUsbHandle);
        QVERIFY(UsbLock.try_lock());
        UsbLock.unlock();
        // A handle the library refused to close is the only one the tool may still hold.
        QCOMPARE(tool.openHandleCount(), int(faults.fails(Op::CloseHandle)));
        QCOMPARE(!watcher->boxes.isEmpty() || !seen.filter("device: ").isEmpty(), told);
        QCOMPARE(status(), succeeds ? success : QString());
        QCOMPARE(pane->toPlainText(),
                 write || !succeeds ? paneBefore : hexText(tool.image(0xA0).bytes));
        if (write) {
            // A correct write after the failed one leaves exactly the new image in the tool.
            tool.clearFaults();
            run(write);
            QCOMPARE(status(), success);
            QCOMPARE(bytesOf(EdidImage{tool.image(SelectedEdidAddress)}), bytesOf(newImage(tool)));
        }
    }

private:
    // Puts the run's starting text in the pane and chooses its source; returns the text.
    QString prepare(bool write)
    {
        const EdidImage image = newImage(tool);
        if (write)
            window->ShowEDIDtext(&image);
        else
            pane->setPlainText(QStringLiteral("operator's notes"));
        selector->setCurrentIndex(write ? 3 : 1);
        return pane->toPlainText();
    }
    QString status() const { return window->statusBar()->currentMessage(); }
    void run(bool write)
    {
        window->statusBar()->clearMessage();
        QVERIFY(QMetaObject::invokeMethod(window.get(), write ? "WriteEDID" : "ReadEDID"));
    }

    Pane shownPane() const
    {
        Pane shown{pane->toPlainText(), {}};
        for (int position : {0, 381}) {
            QTextCursor cursor(pane->document()); // the format of the character after it
            cursor.setPosition(qMin(position + 1, int(shown.text.size())));
            const QTextCharFormat f = cursor.charFormat();
            if (position < shown.text.size() && f.hasProperty(QTextFormat::ForegroundBrush))
                shown.looks.push_back(
                    {f.fontPointSize(), f.fontWeight(), f.foreground().color(), f.fontItalic()});
        }
        return shown;
    }
    // What a command may change besides the pane: the chosen image of the tool (a write), or the
    // file (unset when it is no regular file).
    std::optional<QByteArray> storedBy(Command command) const
    {
        QFile file(fileName);
        if (command == Write && tool.deviceCount() > 0)
            return bytesOf(tool.image(SelectedEdidAddress));
        if (command == Write || !QFileInfo(fileName).isFile() || !file.open(QIODevice::ReadOnly))
            return std::nullopt;
        return file.readAll();
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_MainWindow.moc"
