// The window as the operator meets it: each command given by its button, the boxes and status
// messages it shows, and what the pane, the tool and the file hold after it.
#include "DeviceWarningBox.h"
#include "EdidTextBuffer.h"
#include "WindowFixture.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyleOptionComboBox>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <sys/stat.h>

namespace {

QString warning(const QString &text)
{
    return QStringLiteral("VARNEX|%1||warning OK parent").arg(text);
}

const QString kReadFailed = warning("The EDID could not be read.");
const QString kWriteFailed =
    warning("The EDID could not be written completely. The custom EDID may now be incomplete.");
const QString kFormatError = warning("Hex Format Error");
const QString kWriteAnyway =
    "|The EDID Checksum is not correct.|Write anyway?|no-icon Yes/No no-parent";
const QString kNewChecksum = "|The EDID Checksum is not correct.|Do you want to calculate a new "
                             "checksum?|no-icon Yes/No no-parent";

QString cannotRead(const char *reason)
{
    return warning(QString("Cannot read file %1:\n") + reason + '.');
}

// The commands the tool received: how many, the first and the last, as hex.
QString commandsSummary()
{
    const auto &received = virtualTool().receivedCommands();
    if (received.empty())
        return QStringLiteral("nothing sent");
    QStringList hex;
    for (const auto &command : {received.front(), received.back()})
        hex << QByteArray(reinterpret_cast<const char *>(command.bytes.data()),
                          int(command.bytes.size()))
                   .toHex(' ')
                   .toUpper();
    const std::size_t device = received.back().device;
    return QStringLiteral("%1%2: %3")
        .arg(received.size())
        .arg(device ? QString(" to device %1").arg(device) : QString(), hex.join(" .. "));
}

} // namespace

class MainWindowTest : public QObject, WindowFixture {
    Q_OBJECT

    QTemporaryDir folder;
    QMap<QString, QString> texts; // what the pane may hold, by name
    QMap<QString, QByteArray> files;

private slots:
    void initTestCase()
    {
        const std::pair<const char *, std::uint8_t> images[] = {
            {"current", 0xB0}, {"sink", 0xA0}, {"custom 6", 0xB2}, {"custom 7", 0xB4}};
        for (const auto &[name, address] : images)
            texts[name] = hexText(VirtualTool().image(address));
        const auto changed = [](VirtualTool::Image image, int byte) {
            ++image[byte];
            return hexText(image);
        };
        const QString current = texts["current"];
        texts["current, byte 127 wrong"] = changed(VirtualTool().image(0xB0), 127);
        texts["current, byte 255 wrong"] = changed(VirtualTool().image(0xB0), 255);
        texts["current, byte 3 wrong, lower case"] =
            changed(VirtualTool().image(0xB0), 3).toLower() + "\n";
        texts["current, lower case, newlines"] = current.toLower() + "\n\n";
        texts["current, ZZ"] = QString(current).replace(30, 2, "ZZ");
        // Were only the low byte of a character taken, this would read as the digit 'A'.
        texts["current, Ł first"] = QString(current).replace(0, 1, QChar(0x0141));
        texts["ascending"] = hexText(bytesOf(ascendingEdid()));
        texts["markup"] = "<b>x</b> <img src=\"edid.png\">&amp;\nnext";
        texts["empty"] = "";
        files["ascending"] = bytesOf(ascendingEdid()); // its first byte is 0x00
        files["48-column text"] = texts["ascending"].toLatin1().replace('\n', " \r\n");
        files["markup"] = "<b>x</b> <img src=\"edid.png\">&amp;\r\nnext";
        files["empty"] = "";
        files["old"] = QByteArray(300, 'Z');
    }
    void init()
    {
        openWindow();
        QVERIFY(QDir(folder.path()).removeRecursively() && QDir().mkpath(folder.path()));
    }
    void cleanup() { closeWindow(); }

    void startsWithTheCurrentEdidChosen()
    {
        QStringList sources;
        for (int i = 0; i < selector->count(); ++i)
            sources << selector->itemText(i) + (selector->itemData(i).isValid() ? " + data" : "");
        QCOMPARE(sources, (QStringList{"Current EDID", "Sink EDID", "Custom EDID 6",
                                       "Custom EDID 7", "Custom/Sink EDID 8"}));
        QCOMPARE(SelectedEdidAddress, std::uint8_t(0xB0));
        QCOMPARE(ExpectedSerial, std::uint16_t(2011));
        QCOMPARE(DeviceHandle, kNoUsbHandle);
        QCOMPARE(pane->font().family() + ' ' + QString::number(pane->font().styleHint()),
                 QString("Courier New %1").arg(QFont::TypeWriter));
        EdidTextBuffer.fill('x'); // choosing a source leaves it alone
        selector->setCurrentIndex(4);
        for (int outside : {-1, 5}) // no source: the address stays
            QMetaObject::invokeMethod(window.get(), "SelectEdid", Q_ARG(int, outside));
        QCOMPARE(SelectedEdidAddress, std::uint8_t(0xB6));
        QVERIFY(EdidTextBuffer[999] == 'x');
        window->on_ProgressChange(5, 10); // no bar yet: nothing happens
        QVERIFY(!window->statusBar()->findChild<QProgressBar *>());
    }

    // Each text of the form fits its widget at the form's fixed geometry, in the widget's font.
    void textsFit_data()
    {
        QTest::addColumn<QString>("widget");
        QTest::addColumn<QString>("text");
        for (const auto &[name, text] : {std::pair{"ButReadEDID", "Read EDID"},
                                         {"ButCalculateCheckSum", "Calculate Checksum"},
                                         {"ButWriteEDID", "Write EDID"},
                                         {"ButLoadEDID", "Load from File"},
                                         {"ButSaveEDID", "Save to File"},
                                         {"ButClose", "Close"}})
            QTest::addRow("%s", text) << name << text;
        for (const EdidSource &source : kEdidSources)
            QTest::addRow("%s", source.name) << "EdidAddress" << source.name;
    }
    void textsFit()
    {
        QFETCH(QString, widget);
        QFETCH(QString, text);
        QWidget *shown = window->findChild<QWidget *>(widget);
        // The text's advance and what the style adds around it (frame, margins, the arrow).
        int needed = 0;
        if (auto *button = qobject_cast<QPushButton *>(shown)) {
            QCOMPARE(button->text(), text);
            needed = button->sizeHint().width();
        } else {
            QVERIFY(selector->findText(text) >= 0);
            QStyleOptionComboBox option;
            option.initFrom(selector);
            const QSize content(shown->fontMetrics().horizontalAdvance(text),
                                shown->fontMetrics().height());
            needed = shown->style()
                         ->sizeFromContents(QStyle::CT_ComboBox, &option, content, shown)
                         .width();
        }
        QVERIFY2(
            needed <= shown->width(),
            qPrintable(QString("needs %1 pixels in %2").arg(needed).arg(shown->font().toString())));
    }

    // A press on each button runs its command, which starts from a zero-filled text buffer.
    void buttonsRunTheirCommands_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("source");
        QTest::addColumn<QStringList>("expected");
        // clang-format off
        QTest::newRow("Read EDID") << "ButReadEDID" << 0 << QStringList{warning("Hardware not found")};
        QTest::newRow("Write EDID") << "ButWriteEDID" << 2 << QStringList{"Varnex HDMI|Varnex HDMI hardware not found||warning OK parent"};
        QTest::newRow("Write EDID, Sink: refused") << "ButWriteEDID" << 1 << QStringList();
        QTest::newRow("Write EDID, Current: refused") << "ButWriteEDID" << 0 << QStringList();
        QTest::newRow("Load from File") << "ButLoadEDID" << 0 << QStringList{"open"};
        QTest::newRow("Save to File") << "ButSaveEDID" << 0 << QStringList{"save"};
        QTest::newRow("Calculate Checksum") << "ButCalculateCheckSum" << 0 << QStringList();
        // clang-format on
    }
    void buttonsRunTheirCommands()
    {
        QFETCH(QString, button);
        QFETCH(int, source);
        QFETCH(QStringList, expected);
        selector->setCurrentIndex(source);
        pane->setPlainText(texts["current"]);
        virtualTool().attachDevices({});
        EdidTextBuffer.fill('x');
        QTest::mousePress(window->findChild<QWidget *>(button), Qt::LeftButton);
        QCOMPARE(shown(), expected);
        QCOMPARE(EdidTextBuffer[999], '\0');
    }

    // The About box, and the warning box the device link shows.
    void boxesOfTheShell()
    {
        installDeviceWarningBox(); // as the window has it, not recorded
        window->findChild<QAction *>("actionAbout")->trigger();
        ShowDeviceWarning("Unable to open handle to device!");
        QCOMPARE(watcher->boxes.size(), 2);
        QVERIFY(watcher->boxes[0].startsWith(
            "About Varnex HDMI|<h2>Varnex HDMI EDID Utility Version 1.00</h2><p>"));
        QCOMPARE(watcher->boxes[1], " |Unable to open handle to device!||warning OK no-parent");
    }

    void programEndings_data()
    {
        QTest::addColumn<QString>("ending");
        QTest::addColumn<QString>("report");
        QTest::newRow("Close button") << "close-button"
                                      << "close-calls=1 open-handles=0";
        QTest::newRow("File > Exit") << "exit-action"
                                     << "close-calls=1 open-handles=0";
        QTest::newRow("frame: no close") << "frame"
                                         << "close-calls=0 open-handles=1";
    }
    // The tool is open when the program ends; the text buffer is left as it was.
    void programEndings()
    {
        QFETCH(QString, ending);
        QFETCH(QString, report);
        QProcess probe;
        probe.start(QStringLiteral(VARNEX_EXIT_PROBE), {ending});
        QVERIFY(probe.waitForFinished(20000));
        QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
        QCOMPARE(probe.exitCode(), 0);
        QCOMPARE(probe.readAllStandardOutput().trimmed(), report + " buffer-kept=1");
    }

    // A read is sixteen 16-byte reads and the counters command repeating the last read's header;
    // a write is thirty-two 8-byte rows, 50 ms apart; a failure stops either. The pane's look is
    // "size weight colour italic" of its first character and of the first checksum digit.
    void commands_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("source");   // in the selector
        QTest::addColumn<QString>("pane"); // its text before, by name; "old text" comes selected
        // Clauses joined by "; ": "devices SERIAL,...", "fail OPERATION N" (its nth call),
        // "silent from N" (no replies from command N on), "answer No", "size limit N" (bytes).
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("file"); // the dialog's answer, in a fresh folder unless absolute
        QTest::addColumn<QString>("content");      // the file before, by name; empty: no such file
        QTest::addColumn<QStringList>("expected"); // what the operator is shown
        QTest::addColumn<QString>("after");        // pane and look | commands | tool or file
        const QString read = "8 700 #000000 0, 8 700 #000000 0", old = "old text 0 700 #ff0000 1";
        const QString rendered = "0 400 #000000 0, 0 700 #ff0000 0";
        const QString written =
            "32: 10 0C B6 00 00 FF FF FF FF FF FF 00 .. 10 0C B6 F8 00 00 00 00 00 00 00 14";
        const QString none = "nothing sent";
        // clang-format off
        QTest::newRow("Read: the sink over earlier text") << "ButReadEDID" << 1 << "old text" << "" << "" << "" << QStringList{"EDID values read."} << "sink " + read + " | 17: 11 10 A0 00 .. 02 10 A0 F0 00 00 00 00 | counters 0/16";
        QTest::newRow("Read: counters unanswered") << "ButReadEDID" << 0 << "old text" << "silent from 17" << "" << "" << QStringList{"EDID values read."} << "current " + read + " | 17: 11 10 B0 00 .. 02 10 B0 F0 00 00 00 00 | counters 0/16";
        QTest::newRow("Read: query 31 fails") << "ButReadEDID" << 1 << "old text" << "fail queue 31" << "" << "" << QStringList{"device: Error Checking Queue (bar 240/255)", kReadFailed} << old + " | 16: 11 10 A0 00 .. 11 10 A0 F0 | counters 0/16";
        QTest::newRow("Read: silent from command 6") << "ButReadEDID" << 3 << "old text" << "silent from 6" << "" << "" << QStringList{kReadFailed} << old + " | 6: 11 10 B4 00 .. 11 10 B4 50 | counters 0/6";
        QTest::newRow("Read: no tool") << "ButReadEDID" << 0 << "old text" << "devices" << "" << "" << QStringList{warning("Hardware not found")} << old + " | " + none;
        QTest::newRow("Read: the tool after a device with another serial") << "ButReadEDID" << 1 << "old text" << "devices 1234,2011" << "" << "" << QStringList{"EDID values read."} << "sink " + read + " | 17 to device 1: 11 10 A0 00 .. 02 10 A0 F0 00 00 00 00 | counters 0/16";
        QTest::newRow("Read: of two tools the first") << "ButReadEDID" << 1 << "old text" << "devices 2011,2011" << "" << "" << QStringList{"EDID values read."} << "sink " + read + " | 17: 11 10 A0 00 .. 02 10 A0 F0 00 00 00 00 | counters 0/16";
        QTest::newRow("Read: an empty serial, then the tool") << "ButReadEDID" << 1 << "old text" << "devices ,2011" << "" << "" << QStringList{"EDID values read."} << "sink " + read + " | 17 to device 1: 11 10 A0 00 .. 02 10 A0 F0 00 00 00 00 | counters 0/16";
        QTest::newRow("Read: serials that only look like the tool's") << "ButReadEDID" << 1 << "old text" << "devices 02011,2011 ,2012" << "" << "" << QStringList{warning("Hardware not found")} << old + " | " + none;
        QTest::newRow("Read: counting fails") << "ButReadEDID" << 1 << "old text" << "fail count 1" << "" << "" << QStringList{warning("Hardware not found")} << old + " | " + none;
        QTest::newRow("Read: the serial of the first of two tools unreadable") << "ButReadEDID" << 1 << "old text" << "devices 2011,2011; fail string 1" << "" << "" << QStringList{"device: Error retrieving serial string! (bar -1/100)", "EDID values read."} << "sink " + read + " | 17 to device 1: 11 10 A0 00 .. 02 10 A0 F0 00 00 00 00 | counters 0/16";
        QTest::newRow("Read: the product string unreadable") << "ButReadEDID" << 1 << "old text" << "fail string 2" << "" << "" << QStringList{"device: Unable to retrive product string! (bar -1/100)", warning("Hardware not found")} << old + " | " + none;
        QTest::newRow("Read: the open refused") << "ButReadEDID" << 1 << "old text" << "fail open 1" << "" << "" << QStringList{"device: Unable to open handle to device! (bar -1/100)", warning("Hardware not found")} << old + " | " + none;
        QTest::newRow("Read: flush fails, then the close") << "ButReadEDID" << 1 << "old text" << "fail purge 1; fail close 1" << "" << "" << QStringList{"device: Unable to flush device bufers! (bar -1/100)", "device: Unable to close device handle! (bar -1/100)", warning("Hardware not found")} << old + " | " + none;
        QTest::newRow("Write: wrong checksum, Yes: written as it is") << "ButWriteEDID" << 4 << "current, byte 255 wrong" << "" << "" << "" << QStringList{"EDID values written...", kWriteAnyway} << "current, byte 255 wrong | " + written + " | tool: current, byte 255 wrong";
        QTest::newRow("Write: wrong checksum, No") << "ButWriteEDID" << 2 << "current, byte 255 wrong" << "answer No" << "" << "" << QStringList{kWriteAnyway} << "current, byte 255 wrong | " + none + " | tool: custom 6";
        QTest::newRow("Write: empty pane") << "ButWriteEDID" << 2 << "empty" << "" << "" << "" << QStringList{kFormatError} << "empty | " + none + " | tool: custom 6";
        QTest::newRow("Write: query 9 fails") << "ButWriteEDID" << 3 << "current" << "fail queue 9" << "" << "" << QStringList{"device: Error Checking Queue (bar 4/32)", kWriteFailed} << "current | 5: 10 0C B4 00 00 FF FF FF FF FF FF 00 .. 10 0C B4 20 0F 50 54 21 08 00 81 C0 | tool: ?";
        QTest::newRow("Write: no tool") << "ButWriteEDID" << 2 << "current" << "devices" << "" << "" << QStringList{"Varnex HDMI|Varnex HDMI hardware not found||warning OK parent"} << "current | " + none;
        QTest::newRow("Checksum: correct, lower case") << "ButCalculateCheckSum" << 0 << "current, lower case, newlines" << "" << "" << "" << QStringList{} << "current " + rendered + " | " + none;
        QTest::newRow("Checksum: block 0 wrong, Yes") << "ButCalculateCheckSum" << 0 << "current, byte 127 wrong" << "" << "" << "" << QStringList{kNewChecksum} << "current " + rendered + " | " + none;
        QTest::newRow("Checksum: block 1 wrong, Yes") << "ButCalculateCheckSum" << 0 << "current, byte 255 wrong" << "" << "" << "" << QStringList{kNewChecksum} << "current " + rendered + " | " + none;
        QTest::newRow("Checksum: wrong, No: kept to the character") << "ButCalculateCheckSum" << 0 << "current, byte 3 wrong, lower case" << "answer No" << "" << "" << QStringList{kNewChecksum} << "current, byte 3 wrong, lower case | " + none;
        QTest::newRow("Checksum: ZZ, no question") << "ButCalculateCheckSum" << 0 << "current, ZZ" << "" << "" << "" << QStringList{kFormatError} << "current, ZZ | " + none;
        QTest::newRow("Checksum: a letter beyond Latin-1") << "ButCalculateCheckSum" << 0 << "current, Ł first" << "" << "" << "" << QStringList{kFormatError} << "current, Ł first | " + none;
        QTest::newRow("Load: a binary EDID") << "ButLoadEDID" << 0 << "old text" << "" << "edid.bin" << "ascending" << QStringList{"open", "File loaded"} << "ascending " + rendered + " | " + none + " | file: ascending";
        QTest::newRow("Load: text with markup") << "ButLoadEDID" << 0 << "old text" << "" << "markup.txt" << "markup" << QStringList{"open", "File loaded"} << "markup 8 700 #0000ff 0 | " + none + " | file: markup";
        QTest::newRow("Load: 48-column text") << "ButLoadEDID" << 0 << "old text" << "" << "edid.txt" << "48-column text" << QStringList{"open", "File loaded"} << "ascending 8 700 #0000ff 0, 8 700 #0000ff 0 | " + none + " | file: 48-column text";
        QTest::newRow("Load: cancelled") << "ButLoadEDID" << 0 << "old text" << "" << "" << "" << QStringList{"open"} << old + " | " + none;
        QTest::newRow("Load: a missing file") << "ButLoadEDID" << 0 << "old text" << "" << "missing.bin" << "" << QStringList{"open", cannotRead("No such file or directory")} << old + " | " + none + " | file: none";
        QTest::newRow("Load: a FIFO without writer") << "ButLoadEDID" << 0 << "old text" << "" << "fifo" << "" << QStringList{"open", cannotRead("Not a regular file")} << old + " | " + none + " | file: not a regular file";
        QTest::newRow("Load: /dev/zero") << "ButLoadEDID" << 0 << "old text" << "" << "/dev/zero" << "" << QStringList{"open", cannotRead("Not a regular file")} << old + " | " + none + " | file: not a regular file";
        QTest::newRow("Load: an empty file") << "ButLoadEDID" << 0 << "old text" << "" << "empty.bin" << "empty" << QStringList{"open", cannotRead("The file is empty")} << old + " | " + none + " | file: empty";
        QTest::newRow("Load: unreadable content") << "ButLoadEDID" << 0 << "old text" << "" << "/proc/self/mem" << "" << QStringList{"open", cannotRead("Input/output error")} << old + " | " + none + " | file: empty";
        QTest::newRow("Save: over a larger file") << "ButSaveEDID" << 0 << "ascending" << "" << "edid.bin" << "old" << QStringList{"save", "Saving file...", "File saved"} << "ascending | " + none + " | file: ascending";
        QTest::newRow("Save: into no such folder") << "ButSaveEDID" << 0 << "ascending" << "" << "missing/edid.bin" << "" << QStringList{"save", warning("Cannot write file %1:\nNo such file or directory.")} << "ascending | " + none + " | file: none";
        QTest::newRow("Save: beyond the file-size limit") << "ButSaveEDID" << 0 << "ascending" << "size limit 100" << "edid.bin" << "old" << QStringList{"save", "Saving file...", "", warning("Cannot write file %1:\nFile too large.")} << "ascending | " + none + " | file: old";
        QTest::newRow("Save: an empty pane") << "ButSaveEDID" << 0 << "empty" << "" << "edid.bin" << "old" << QStringList{kFormatError} << "empty | " + none + " | file: old";
        // clang-format on
    }
    void commands()
    {
        QFETCH(QString, button);
        QFETCH(int, source);
        QFETCH(QString, pane);
        QFETCH(QString, setup);
        QFETCH(QString, file);
        QFETCH(QString, content);
        QFETCH(QStringList, expected);
        QFETCH(QString, after);
        selector->setCurrentIndex(source);
        if (pane == "old text") { // in other formats, selected from its end backwards
            this->pane->setHtml(
                "<p style='font-family:serif;color:red'><i><b>old text</b></i></p>");
            QTextCursor cursor(this->pane->document());
            cursor.movePosition(QTextCursor::End);
            cursor.setPosition(2, QTextCursor::KeepAnchor);
            this->pane->setTextCursor(cursor);
        } else {
            this->pane->setPlainText(texts[pane]);
        }
        fileName =
            file.isEmpty() || file.startsWith('/') ? file : QDir(folder.path()).filePath(file);
        QFile before(fileName);
        QVERIFY(content.isEmpty() ||
                (before.open(QIODevice::WriteOnly) && before.write(files[content]) >= 0));
        before.close();
        QVERIFY(file != "fifo" || mkfifo(qPrintable(fileName), 0600) == 0);
        rlimit unlimited{}, limited{};
        getrlimit(RLIMIT_FSIZE, &unlimited);
        limited = unlimited;
        watcher->answerNext(setup.contains("answer No") ? QMessageBox::No : QMessageBox::Yes);
        for (const QString &clause : setup.split("; ")) {
            const QStringList words = clause.split(' ');
            const int n = words.last().toInt();
            if (words[0] == "devices") {
                std::vector<VirtualTool::Device> devices;
                for (const QString &serial :
                     clause.size() > 8 ? clause.mid(8).split(',') : QStringList())
                    devices.push_back({serial.toStdString(), "Varnex HDMI"});
                virtualTool().attachDevices(devices);
            } else if (words[0] == "fail") {
                const QStringList operations{"count", "string", "open",  "close",
                                             "read",  "write",  "purge", "queue"};
                virtualTool().failOnCall(VirtualTool::Operation(operations.indexOf(words[1])), n);
            } else if (words[0] == "silent") {
                virtualTool().withholdRepliesFrom(n);
            } else if (words[0] == "size") {
                limited.rlim_cur = rlim_t(n);
            }
        }
        setrlimit(RLIMIT_FSIZE, &limited);
        const QMap<QString, bool (MainWindow::*)()> operations{
            {"ButReadEDID", &MainWindow::DoReadEDID},
            {"ButWriteEDID", &MainWindow::DoWriteEDID},
            {"ButCalculateCheckSum", &MainWindow::DoCalculateChkSum},
            {"ButLoadEDID", &MainWindow::DoLoadEDIDfromFile},
            {"ButSaveEDID", &MainWindow::DoSaveEDIDtoFile}};
        const bool done = (window.get()->*operations[button])();
        setrlimit(RLIMIT_FSIZE, &unlimited);

        QCOMPARE(shown(), expected.replaceInStrings("%1", fileName));
        QStringList state{describePane(), commandsSummary()};
        if (button == "ButWriteEDID" && virtualTool().deviceCount() > 0)
            state << "tool: " + texts.key(hexText(virtualTool().image(SelectedEdidAddress)), "?");
        if (button == "ButReadEDID" && !virtualTool().receivedCommands().empty())
            state << QString::asprintf(
                "counters %d/%d", // read errors, readings
                virtualTool().readErrorCount(virtualTool().receivedCommands().back().device),
                virtualTool().readingCount(virtualTool().receivedCommands().back().device));
        if (!file.isEmpty())
            state << "file: " + describeFile();
        QCOMPARE(state.join(" | "), after);
        // An operation succeeds when it confirms, and the checksum command when it renders.
        QCOMPARE(
            done,
            !expected.filter(QRegularExpression("^(EDID values|File (loaded|saved))")).isEmpty() ||
                (button == "ButCalculateCheckSum" && after.contains("#ff0000")));
        // A handle the library refused to close is forgotten, and only then left open.
        QCOMPARE(DeviceHandle, kNoUsbHandle);
        QCOMPARE(virtualTool().openHandleCount(), int(setup.contains("fail close")));
        if (auto *bar = window->statusBar()->findChild<QProgressBar *>())
            QVERIFY(!bar->isVisibleTo(window.get()) && !bar->isTextVisible());
        if (expected.contains("EDID values written..."))
            QCOMPARE(clock.pauses,
                     std::vector<std::chrono::milliseconds>(32, std::chrono::milliseconds(50)));
    }

private:
    // The pane's text by name, and for a rendered or loaded text its look.
    QString describePane() const
    {
        // The old text's own look; a text put in plainly has none; the others by their first
        // character and the first digit of block 0's checksum.
        const QString text = pane->toPlainText();
        QStringList looks;
        for (int position : {0, 381}) {
            const QTextCharFormat f =
                formatOfCharacter(pane->document(), qMin(position, int(text.size()) - 1));
            if (position < text.size() && f.hasProperty(QTextFormat::ForegroundBrush))
                looks << QString::asprintf("%g %d %s %d", f.fontPointSize(), f.fontWeight(),
                                           qPrintable(f.foreground().color().name()),
                                           f.fontItalic());
        }
        return QStringList{text == "old text" ? text : texts.key(text, "? " + text.left(20)),
                           looks.join(", ")}
            .join(' ')
            .trimmed();
    }

    // The file by the name of its content; no temporary file may be left beside it.
    QString describeFile() const
    {
        if (!QFileInfo(fileName).isFile())
            return QFileInfo::exists(fileName) ? "not a regular file" : "none";
        QFile file(fileName);
        if (!file.open(QIODevice::ReadOnly))
            return "unreadable";
        const QByteArray content = file.readAll();
        const int others = QDir(folder.path()).entryList(QDir::Files).size() -
                           (fileName.startsWith(folder.path()) ? 1 : 0);
        return files.key(content, "?") + (others > 0 ? " and a temporary file" : "");
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_MainWindow.moc"
