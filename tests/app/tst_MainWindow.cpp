// The window as the operator meets it: each command's boxes and status messages, and what the
// pane, the tool and the file hold after it; and every fault of the tool during a read or a write.
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

using Op = VirtualTool::Operation;

namespace {

QString warning(const QString &text)
{
    return QStringLiteral("VARNEX|%1||warning OK parent").arg(text);
}

QString cannotRead(const char *reason)
{
    return warning(QString("Cannot read file %1:\n") + reason + '.');
}

// The commands the tool received: how many, to which device, the first and the last, as hex.
QString commandsSummary(const VirtualTool &tool)
{
    QStringList hex;
    for (const VirtualTool::Command &command : tool.receivedCommands())
        hex << QByteArray::fromRawData(reinterpret_cast<const char *>(command.bytes.data()),
                                       int(command.bytes.size()))
                   .toHex(' ')
                   .toUpper();
    const std::size_t device = hex.isEmpty() ? 0 : tool.receivedCommands().back().device;
    return hex.isEmpty() ? "nothing sent"
                         : QString("%1%2: %3 .. %4")
                               .arg(hex.size())
                               .arg(device ? QString(" to device %1").arg(device) : "", hex.first(),
                                    hex.last());
}

// Source index and name of each run: the sink is read, a custom image written.
const std::pair<int, const char *> kScenarios[] = {{1, "read sink"}, {3, "write custom 7"}};

// The operations in their order, as rows name them.
const QStringList kOperations{"count", "string", "open",  "close",
                              "read",  "write",  "purge", "queue"};

// An image the custom sources do not hold yet, with correct checksums.
EdidImage newImage(const VirtualTool &tool)
{
    EdidImage image{tool.image(0xA0)};
    image.bytes[10] ^= 0x5A;
    recalculateChecksums(image);
    return image;
}

// The exchange (1-based) that the nth call of an operation belongs to, with a tool that answers
// at once: each exchange sends once, queries twice (the wait, then the check for surplus bytes)
// and reads once. 0 for operations outside the exchanges.
int exchangeOf(int op, int nth)
{
    const bool once = op < 0 || op == int(Op::WriteBlock) || op == int(Op::ReadBlock);
    return once ? nth : op == int(Op::QueueStatus) ? (nth + 1) / 2 : 0;
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
        const auto text = [](std::uint8_t address, int wrongByte = -1) {
            EdidImage image = VirtualTool().image(address);
            image.bytes[std::max(wrongByte, 0)] += wrongByte >= 0;
            return hexText(image.bytes);
        };
        const QString current = text(0xB0);
        // clang-format off
        texts = {{"current", current}, {"sink", text(0xA0)}, {"custom 6", text(0xB2)},
                 {"current, byte 127 wrong", text(0xB0, 127)}, {"current, byte 255 wrong", text(0xB0, 255)},
                 {"current, byte 3 wrong, lower case", text(0xB0, 3).toLower() + "\n"},
                 {"current, lower case, newlines", current.toLower() + "\n\n"},
                 {"current, ZZ", QString(current).replace(30, 2, "ZZ")},
                 // Were only the low byte of a character taken, this would read as the digit 'A'.
                 {"current, Ł first", QString(current).replace(0, 1, QChar(0x0141))},
                 {"ascending", hexText(bytesOf(ascendingEdid()))},
                 {"markup", "<b>x</b> <img src=\"edid.png\">&amp;\nnext"}, {"empty", ""}};
        files = {{"ascending", bytesOf(ascendingEdid())}, // its first byte is 0x00
                 {"48-column text", texts["ascending"].toLatin1().replace('\n', " \r\n")},
                 {"markup", "<b>x</b> <img src=\"edid.png\">&amp;\r\nnext"}, {"empty", ""}, {"old", QByteArray(300, 'Z')}};
        // clang-format on
    }
    void init()
    {
        openWindow();
        QVERIFY(QDir(folder.path()).removeRecursively() && QDir().mkpath(folder.path()));
    }
    void cleanup() { closeWindow(); }

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
                 QStringList{" |Unable to open handle to device!||warning OK no-parent"});
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

    // Each text of the form fits its widget at the form's fixed geometry, in the widget's font.
    void textsFit_data()
    {
        QTest::addColumn<QString>("widget");
        QTest::addColumn<QString>("text");
        MainWindow form;
        for (const QPushButton *button : form.findChildren<QPushButton *>())
            QTest::newRow(qPrintable(button->text())) << button->objectName() << button->text();
        for (const EdidSource &source : kEdidSources)
            QTest::newRow(source.name) << "EdidAddress" << source.name;
    }
    void textsFit()
    {
        QFETCH(QString, widget);
        QFETCH(QString, text);
        QWidget *shown = window->findChild<QWidget *>(widget);
        const QFontMetrics metrics = shown->fontMetrics();
        QStyleOptionComboBox option;
        option.initFrom(selector);
        // The text's advance and what the style adds around it (frame, margins, the arrow).
        // clang-format off
        const int needed = qobject_cast<QPushButton *>(shown) ? shown->sizeHint().width()
            : shown->style()->sizeFromContents(QStyle::CT_ComboBox, &option, {metrics.horizontalAdvance(text), metrics.height()}, shown).width();
        QVERIFY2(needed <= shown->width(), qPrintable(QString("needs %1 pixels in %2").arg(needed).arg(shown->font().toString())));
        // clang-format on
    }

    // A read is sixteen 16-byte reads and the counters command repeating the last read's header;
    // a write is thirty-two 8-byte rows, 50 ms apart; a failure stops either. The pane's look is
    // "size weight colour italic" of its first character and of the first checksum digit.
    void commands_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("source");   // in the selector
        QTest::addColumn<QString>("pane"); // its text before, by name; "old text" comes selected
        // Clauses joined by "; ": "devices SERIAL,...", "fail OPERATION N" (its nth call),
        // "silent from N" (no replies from command N on), "short N" (reply N a byte short),
        // "answer No", "size limit N" (bytes).
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("file"); // the dialog's answer, "=" the file's content by name
        QTest::addColumn<QStringList>("expected"); // what the operator is shown
        QTest::addColumn<QString>("after");        // pane and look | commands | tool or file
        // clang-format off
        const QString notFound = warning("Hardware not found");
        const QString formatError = warning("Hex Format Error");
        const QString writeAnyway = "|The EDID Checksum is not correct.|Write anyway?|no-icon Yes/No no-parent";
        const QString newChecksum = "|The EDID Checksum is not correct.|Do you want to calculate a new checksum?|no-icon Yes/No no-parent";
        const QString read = "8 700 #000000 0, 8 700 #000000 0", old = "old text 0 700 #ff0000 1 | nothing sent";
        const QString rendered = "0 400 #000000 0, 0 700 #ff0000 0", none = " | nothing sent";
        const QString sink = "sink " + read + " | 17: 11 10 A0 00 .. 02 10 A0 F0 00 00 00 00";
        const QString sinkFrom1 = "sink " + read + " | 17 to device 1: 11 10 A0 00 .. 02 10 A0 F0 00 00 00 00";
        QTest::newRow("Read: the sink over earlier text") << "Read" << 1 << "old text" << "" << "" << QStringList{"EDID values read."} << sink;
        QTest::newRow("Read: a reply a byte short") << "Read" << 1 << "old text" << "short 3" << "" << QStringList{"device: Error Reading Data (bar 32/255)", warning("The EDID could not be read.")} << "old text 0 700 #ff0000 1 | 3: 11 10 A0 00 .. 11 10 A0 20";
        QTest::newRow("Read: no tool") << "Read" << 0 << "old text" << "devices" << "" << QStringList{notFound} << old;
        QTest::newRow("Read: the tool after a device with another serial") << "Read" << 1 << "old text" << "devices 1234,2011" << "" << QStringList{"EDID values read."} << sinkFrom1;
        QTest::newRow("Read: an empty serial, then the tool") << "Read" << 1 << "old text" << "devices ,2011" << "" << QStringList{"EDID values read."} << sinkFrom1;
        QTest::newRow("Read: serials that only look like the tool's") << "Read" << 1 << "old text" << "devices 02011,2011 ,2012" << "" << QStringList{notFound} << old;
        QTest::newRow("Read: counting fails") << "Read" << 1 << "old text" << "fail count 1" << "" << QStringList{notFound} << old;
        QTest::newRow("Read: the serial of the first of two tools unreadable") << "Read" << 1 << "old text" << "devices 2011,2011; fail string 1" << "" << QStringList{"device: Error retrieving serial string! (bar -1/100)", "EDID values read."} << sinkFrom1;
        QTest::newRow("Read: the product string unreadable") << "Read" << 1 << "old text" << "fail string 2" << "" << QStringList{"device: Unable to retrive product string! (bar -1/100)", notFound} << old;
        QTest::newRow("Read: the open refused") << "Read" << 1 << "old text" << "fail open 1" << "" << QStringList{"device: Unable to open handle to device! (bar -1/100)", notFound} << old;
        QTest::newRow("Read: flush fails, then the close") << "Read" << 1 << "old text" << "fail purge 1; fail close 1" << "" << QStringList{"device: Unable to flush device bufers! (bar -1/100)", "device: Unable to close device handle! (bar -1/100)", notFound} << old;
        QTest::newRow("Write: wrong checksum, Yes: written as it is") << "Write" << 4 << "current, byte 255 wrong" << "" << "" << QStringList{"EDID values written...", writeAnyway} << "current, byte 255 wrong | 32: 10 0C B6 00 00 FF FF FF FF FF FF 00 .. 10 0C B6 F8 00 00 00 00 00 00 00 D2 | tool: current, byte 255 wrong";
        QTest::newRow("Write: wrong checksum, No") << "Write" << 2 << "current, byte 255 wrong" << "answer No" << "" << QStringList{writeAnyway} << "current, byte 255 wrong" + none + " | tool: custom 6";
        QTest::newRow("Write: empty pane") << "Write" << 2 << "empty" << "" << "" << QStringList{formatError} << "empty" + none + " | tool: custom 6";
        QTest::newRow("Write: no tool") << "Write" << 2 << "current" << "devices" << "" << QStringList{"Varnex HDMI|Varnex HDMI hardware not found||warning OK parent"} << "current" + none;
        QTest::newRow("Checksum: correct, lower case") << "Checksum" << 0 << "current, lower case, newlines" << "" << "" << QStringList{} << "current " + rendered + none;
        QTest::newRow("Checksum: block 0 wrong, Yes") << "Checksum" << 0 << "current, byte 127 wrong" << "" << "" << QStringList{newChecksum} << "current " + rendered + none;
        QTest::newRow("Checksum: block 1 wrong, Yes") << "Checksum" << 0 << "current, byte 255 wrong" << "" << "" << QStringList{newChecksum} << "current " + rendered + none;
        QTest::newRow("Checksum: wrong, No: kept to the character") << "Checksum" << 0 << "current, byte 3 wrong, lower case" << "answer No" << "" << QStringList{newChecksum} << "current, byte 3 wrong, lower case" + none;
        QTest::newRow("Checksum: ZZ, no question") << "Checksum" << 0 << "current, ZZ" << "" << "" << QStringList{formatError} << "current, ZZ" + none;
        QTest::newRow("Checksum: a letter beyond Latin-1") << "Checksum" << 0 << "current, Ł first" << "" << "" << QStringList{formatError} << "current, Ł first" + none;
        QTest::newRow("Load: a binary EDID") << "Load" << 0 << "old text" << "" << "edid.bin=ascending" << QStringList{"open", "File loaded"} << "ascending " + rendered + none + " | file: ascending";
        QTest::newRow("Load: text with markup") << "Load" << 0 << "old text" << "" << "markup.txt=markup" << QStringList{"open", "File loaded"} << "markup 8 700 #0000ff 0" + none + " | file: markup";
        QTest::newRow("Load: 48-column text") << "Load" << 0 << "old text" << "" << "edid.txt=48-column text" << QStringList{"open", "File loaded"} << "ascending 8 700 #0000ff 0, 8 700 #0000ff 0" + none + " | file: 48-column text";
        QTest::newRow("Load: cancelled") << "Load" << 0 << "old text" << "" << "" << QStringList{"open"} << old;
        QTest::newRow("Load: a missing file") << "Load" << 0 << "old text" << "" << "missing.bin" << QStringList{"open", cannotRead("No such file or directory")} << old + " | file: none";
        QTest::newRow("Load: a FIFO without writer") << "Load" << 0 << "old text" << "" << "fifo" << QStringList{"open", cannotRead("Not a regular file")} << old + " | file: not a regular file";
        QTest::newRow("Load: /dev/zero") << "Load" << 0 << "old text" << "" << "/dev/zero" << QStringList{"open", cannotRead("Not a regular file")} << old + " | file: not a regular file";
        QTest::newRow("Load: an empty file") << "Load" << 0 << "old text" << "" << "empty.bin=empty" << QStringList{"open", cannotRead("The file is empty")} << old + " | file: empty";
        QTest::newRow("Load: unreadable content") << "Load" << 0 << "old text" << "" << "/proc/self/mem" << QStringList{"open", cannotRead("Input/output error")} << old + " | file: empty";
        QTest::newRow("Save: over a larger file") << "Save" << 0 << "ascending" << "" << "edid.bin=old" << QStringList{"save", "Saving file...", "File saved"} << "ascending" + none + " | file: ascending";
        QTest::newRow("Save: into no such folder") << "Save" << 0 << "ascending" << "" << "missing/edid.bin" << QStringList{"save", warning("Cannot write file %1:\nNo such file or directory.")} << "ascending" + none + " | file: none";
        QTest::newRow("Save: onto a FIFO") << "Save" << 0 << "ascending" << "" << "fifo" << QStringList{"save", warning("Cannot write file %1:\nNot a regular file.")} << "ascending" + none + " | file: not a regular file";
        QTest::newRow("Save: beyond the file-size limit") << "Save" << 0 << "ascending" << "size limit 100" << "edid.bin=old" << QStringList{"save", "Saving file...", "", warning("Cannot write file %1:\nFile too large.")} << "ascending" + none + " | file: old";
        QTest::newRow("Save: an empty pane") << "Save" << 0 << "empty" << "" << "edid.bin=old" << QStringList{formatError} << "empty" + none + " | file: old";
        // clang-format on
    }
    void commands()
    {
        QFETCH(QString, command);
        QFETCH(int, source);
        QFETCH(QString, pane);
        QFETCH(QString, setup);
        QFETCH(QString, file);
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
        const QString name = file.section('=', 0, 0), content = file.section('=', 1);
        fileName =
            name.isEmpty() || name.startsWith('/') ? name : QDir(folder.path()).filePath(name);
        QFile before(fileName);
        QVERIFY(content.isEmpty() ||
                (before.open(QIODevice::WriteOnly) && before.write(files[content]) >= 0));
        before.close();
        QVERIFY(name != "fifo" || mkfifo(qPrintable(fileName), 0600) == 0);
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
                tool.attachDevices(devices);
            } else if (words[0] == "fail") {
                tool.failOnCall(Op(kOperations.indexOf(words[1])), n);
            } else if (words[0] == "short") {
                tool.shortenReply(n);
            } else if (words[0] == "silent") {
                tool.withholdRepliesFrom(n);
            } else if (words[0] == "size") {
                limited.rlim_cur = rlim_t(n);
            }
        }
        setrlimit(RLIMIT_FSIZE, &limited);
        // clang-format off
        const QMap<QString, bool (MainWindow::*)()> operations{{"Read", &MainWindow::DoReadEDID}, {"Write", &MainWindow::DoWriteEDID},
            {"Checksum", &MainWindow::DoCalculateChkSum}, {"Load", &MainWindow::DoLoadEDIDfromFile}, {"Save", &MainWindow::DoSaveEDIDtoFile}};
        // clang-format on
        const bool done = (window.get()->*operations[command])();
        setrlimit(RLIMIT_FSIZE, &unlimited);

        QCOMPARE(shown(), expected.replaceInStrings("%1", fileName));
        QStringList state{describePane(), commandsSummary(tool)};
        if (command == "Write" && tool.deviceCount() > 0)
            state << "tool: " + texts.key(hexText(tool.image(SelectedEdidAddress).bytes), "?");
        if (!name.isEmpty())
            state << "file: " + describeFile();
        QCOMPARE(state.join(" | "), after);
        // An operation succeeds when it confirms, and the checksum command when it renders.
        QCOMPARE(
            done,
            !expected.filter(QRegularExpression("^(EDID values|File (loaded|saved))")).isEmpty() ||
                (command == "Checksum" && after.contains("#ff0000")));
        // A handle the library refused to close is the only one the tool may still hold.
        QCOMPARE(tool.openHandleCount(), int(setup.contains("fail close")));
        if (auto *bar = window->statusBar()->findChild<QProgressBar *>())
            QVERIFY(!bar->isVisibleTo(window.get()) && !bar->isTextVisible());
        if (expected.contains("EDID values written..."))
            QCOMPARE(clock.pauses,
                     std::vector<std::chrono::milliseconds>(32, std::chrono::milliseconds(50)));
    }

    // Every library operation failing at every call a read or a write reaches, and every reply
    // withheld in turn: each case must end with the tool closed, the lock free, the operator told,
    // and the pane and the tool in a state the operator can trust.
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
                for (int nth = 1; nth <= tool.callCount(Op(op)); ++nth)
                    QTest::addRow("%s, %s call %d fails", kScenarios[s].second,
                                  qPrintable(kOperations[op]), nth)
                        << s << op << nth;
            for (int nth = 1; nth <= int(tool.receivedCommands().size()); ++nth)
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
        op >= 0 ? tool.failOnCall(Op(op), nth) : tool.withholdReply(nth);
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
        QCOMPARE(tool.openHandleCount(), refusedClose ? 1 : 0);
        if (!(countersOnly && op < 0)) // a silent counters reply goes unnoticed
            QVERIFY2(!watcher->boxes.isEmpty() || !seen.filter("device: ").isEmpty(),
                     "the operator was told nothing");
        QCOMPARE(status(), succeeds ? success : QString());
        QCOMPARE(pane->toPlainText(),
                 write || !succeeds ? paneBefore : hexText(tool.image(0xA0).bytes));
        if (write) {
            // A correct write after the failed one leaves exactly the new image in the tool.
            tool.clearFaults();
            run(scenario);
            QCOMPARE(status(), success);
            QCOMPARE(bytesOf(EdidImage{tool.image(SelectedEdidAddress)}),
                     bytesOf(newImage(tool)));
        }
    }

private:
    // Puts the run's starting text in the pane and chooses its source; returns the text.
    QString prepare(int scenario)
    {
        const EdidImage image = newImage(tool);
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
    // The pane's text by name, with the look of a text the window rendered or loaded; a text put
    // in plainly has none.
    QString describePane() const
    {
        const QString text = pane->toPlainText();
        const QString name = text == "old text" ? text : texts.key(text, "? " + text.left(20));
        QStringList looks;
        for (int position : {0, 381}) {
            QTextCursor cursor(pane->document()); // the format of the character after it
            cursor.setPosition(qMin(position + 1, int(text.size())));
            const QTextCharFormat f = cursor.charFormat();
            if (position < text.size() && f.hasProperty(QTextFormat::ForegroundBrush))
                looks << QString::asprintf("%g %d %s %d", f.fontPointSize(), f.fontWeight(),
                                           qPrintable(f.foreground().color().name()),
                                           f.fontItalic());
        }
        return looks.isEmpty() ? name : name + ' ' + looks.join(", ");
    }
    // The file by the name of its content; no temporary file may be left beside it.
    QString describeFile() const
    {
        QFile file(fileName);
        if (!QFileInfo(fileName).isFile() || !file.open(QIODevice::ReadOnly))
            return QFileInfo::exists(fileName) ? "not a regular file" : "none";
        const int others = QDir(folder.path()).entryList(QDir::Files).size() -
                           (fileName.startsWith(folder.path()) ? 1 : 0);
        return files.key(file.readAll(), "?") + (others > 0 ? " and a temporary file" : "");
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_MainWindow.moc"
