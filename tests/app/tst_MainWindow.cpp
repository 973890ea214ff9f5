// The window as the operator meets it: its commands, their boxes, status messages and pane, and
// the command bytes that reached the tool.
#include "DeviceWarningBox.h"
#include "EdidTextBuffer.h"
#include "WindowFixture.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QStyleOptionComboBox>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <sys/stat.h>

namespace {

const QList<int> kAddresses{0xB0, 0xA0, 0xB2, 0xB4, 0xB6}; // in the selector's order

bool edidTextBufferIs(char value)
{
    return std::count(EdidTextBuffer.begin(), EdidTextBuffer.end(), value) == 1000;
}

// The text of the sample current EDID, whose checksums are correct; with one byte increased.
QString sampleText(int wrongByte = -1)
{
    VirtualTool::Image image = VirtualTool().image(0xB0);
    if (wrongByte >= 0)
        ++image[wrongByte];
    return hexText(image);
}

QString warning(const QString &text)
{
    return QStringLiteral("VARNEX|%1||warning OK parent").arg(text);
}

// The commands the tool received: how many, the first and the last, as hex.
QString commandsSummary()
{
    const auto &received = virtualTool().receivedCommands();
    QStringList hex;
    for (const auto &command : {received.front(), received.back()})
        hex << QByteArray(reinterpret_cast<const char *>(command.bytes.data()),
                          int(command.bytes.size()))
                   .toHex(' ')
                   .toUpper();
    return QStringLiteral("%1: %2").arg(received.size()).arg(hex.join(" .. "));
}

const QString kChecksumQuestion = QStringLiteral(
    "|The EDID Checksum is not correct.|Do you want to calculate a new checksum?|no-icon Yes/No "
    "no-parent");

} // namespace

class MainWindowTest : public QObject, WindowFixture {
    Q_OBJECT

private slots:
    void init()
    {
        openWindow();
        QVERIFY(directory.emplace().isValid());
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
        QVERIFY(edidTextBufferIs('x'));
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
        // What the style adds around the text (frame, margins, the selector's arrow).
        const int advance = shown->fontMetrics().horizontalAdvance(text);
        int needed = 0;
        if (auto *button = qobject_cast<QPushButton *>(shown)) {
            QCOMPARE(button->text(), text);
            needed = button->sizeHint().width();
        } else {
            QStyleOptionComboBox option;
            option.initFrom(selector);
            QVERIFY(selector->findText(text) >= 0);
            needed = shown->style()
                         ->sizeFromContents(QStyle::CT_ComboBox, &option,
                                            QSize(advance, shown->fontMetrics().height()), shown)
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
        QTest::newRow("Read EDID")
            << "ButReadEDID" << 0 << QStringList{warning("Hardware not found")};
        QTest::newRow("Write EDID")
            << "ButWriteEDID" << 2
            << QStringList{"Varnex HDMI|Varnex HDMI hardware not found||warning OK parent"};
        QTest::newRow("Write EDID, Sink: refused") << "ButWriteEDID" << 1 << QStringList();
        QTest::newRow("Load from File") << "ButLoadEDID" << 0 << QStringList{"open"};
        QTest::newRow("Save to File") << "ButSaveEDID" << 0 << QStringList{"save"};
        QTest::newRow("Calculate Checksum") << "ButCalculateCheckSum" << 0 << QStringList();
    }
    void buttonsRunTheirCommands()
    {
        QFETCH(QString, button);
        QFETCH(int, source);
        QFETCH(QStringList, expected);
        selector->setCurrentIndex(source);
        pane->setPlainText(sampleText());
        virtualTool().attachDevices({});
        EdidTextBuffer.fill('x');
        QTest::mousePress(window->findChild<QWidget *>(button), Qt::LeftButton);
        QCOMPARE(shown(), expected);
        QVERIFY(edidTextBufferIs('\0'));
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

    void progressDisplay_data()
    {
        QTest::addColumn<int>("a");
        QTest::addColumn<int>("b");
        QTest::addColumn<QString>("state"); // "minimum-maximum at value", or "hidden"
        QTest::newRow("value 0 hides") << 0 << 255 << "hidden";
        QTest::newRow("maximum 0 hides") << 5 << 0 << "hidden";
        QTest::newRow("full bar") << 1 << 1 << "0-1 at 1";
    }
    void progressDisplay()
    {
        QFETCH(int, a);
        QFETCH(int, b);
        QFETCH(QString, state);
        window->on_ProgressChange(5, 10); // no bar yet: nothing happens
        virtualTool().attachDevices({});
        for (int run = 0; run < 2; ++run) // each operation prepares the one bar anew
            QVERIFY(!window->DoReadEDID());
        QCOMPARE(window->statusBar()->findChildren<QProgressBar *>().size(), 1);
        QProgressBar *bar = window->statusBar()->findChild<QProgressBar *>();
        QVERIFY(!bar->isVisibleTo(window.get()) && !bar->isTextVisible());
        window->on_ProgressChange(2, 3);
        window->on_ProgressChange(a, b);
        QCOMPARE(bar->isVisibleTo(window.get()) ? QString::asprintf("%d-%d at %d", bar->minimum(),
                                                                    bar->maximum(), bar->value())
                                                : "hidden",
                 state);
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
    // a write is thirty-two 8-byte rows, 50 ms apart. A failure stops either.
    void readAndWrite_data()
    {
        QTest::addColumn<int>("address");
        QTest::addColumn<QString>("text");  // the pane's text for a write; null: a read
        QTest::addColumn<QString>("fault"); // the tool's fault, or the operator's answer
        QTest::addColumn<QString>("commands");
        QTest::addColumn<QStringList>("expected");
        const QString readFailed = warning("The EDID could not be read.");
        const QString writeFailed = warning("The EDID could not be written completely. The custom "
                                            "EDID may now be incomplete.");
        const QString question =
            "|The EDID Checksum is not correct.|Write anyway?|no-icon Yes/No no-parent";
        const QString wrong = sampleText(255);
        QTest::newRow("read Sink EDID")
            << 0xA0 << QString() << ""
            << "17: 11 10 A0 00 .. 02 10 A0 F0 00 00 00 00" << QStringList{"EDID values read."};
        QTest::newRow("read, counters unanswered")
            << 0xB0 << QString() << "silent from 17"
            << "17: 11 10 B0 00 .. 02 10 B0 F0 00 00 00 00" << QStringList{"EDID values read."};
        QTest::newRow("read, query 31 fails")
            << 0xA0 << QString() << "query fails at 31"
            << "16: 11 10 A0 00 .. 11 10 A0 F0"
            << QStringList{"device: Error Checking Queue (bar 240/255)", readFailed};
        QTest::newRow("read, silent from command 6")
            << 0xB4 << QString() << "silent from 6"
            << "6: 11 10 B4 00 .. 11 10 B4 50" << QStringList{readFailed};
        QTest::newRow("wrong checksum, Yes: written unchanged")
            << 0xB6 << wrong << ""
            << "32: 10 0C B6 00 00 FF FF FF FF FF FF 00 .. 10 0C B6 F8 00 00 00 00 00 00 00 14"
            << QStringList{"EDID values written...", question};
        QTest::newRow("wrong checksum, No") << 0xB2 << wrong << "answer No"
                                            << "" << QStringList{question};
        QTest::newRow("empty pane") << 0xB2 << ""
                                    << ""
                                    << "" << QStringList{warning("Hex Format Error")};
        QTest::newRow("write, query 9 fails")
            << 0xB4 << sampleText() << "query fails at 9"
            << "5: 10 0C B4 00 00 FF FF FF FF FF FF 00 .. 10 0C B4 20 0F 50 54 21 08 00 81 C0"
            << QStringList{"device: Error Checking Queue (bar 4/32)", writeFailed};
    }
    void readAndWrite()
    {
        QFETCH(int, address);
        QFETCH(QString, text);
        QFETCH(QString, fault);
        QFETCH(QString, commands);
        QFETCH(QStringList, expected);
        const bool write = !text.isNull();
        const bool done = expected.contains(write ? "EDID values written..." : "EDID values read.");
        selector->setCurrentIndex(kAddresses.indexOf(address));
        const VirtualTool::Image before = virtualTool().image(address);
        if (write) {
            pane->setPlainText(text);
        } else {
            pane->setHtml("<p style='font-family:serif;color:red'><i><b>old text</b></i></p>");
            selectBackwards();
        }
        const QString paneBefore = pane->toPlainText();
        const int n = fault.section(' ', -1).toInt();
        if (fault.startsWith("query"))
            virtualTool().failOnCall(VirtualTool::Operation::QueueStatus, n);
        else if (fault.startsWith("silent"))
            virtualTool().withholdRepliesFrom(n);
        watcher->answerNext(fault == "answer No" ? QMessageBox::No : QMessageBox::Yes);

        QCOMPARE(write ? window->DoWriteEDID() : window->DoReadEDID(), done);
        QCOMPARE(shown(), expected);
        QCOMPARE(virtualTool().receivedCommands().empty() ? QString() : commandsSummary(),
                 commands);
        QCOMPARE(virtualTool().openHandleCount(), 0);
        QVERIFY(!window->statusBar()->findChild<QProgressBar *>()->isVisibleTo(window.get()));
        if (write && done) {
            QCOMPARE(hexText(virtualTool().image(address)), text);
            QCOMPARE(clock.pauses,
                     std::vector<std::chrono::milliseconds>(32, std::chrono::milliseconds(50)));
        } else if (!write || commands.isEmpty()) {
            QVERIFY(virtualTool().image(address) == before);
        }
        QCOMPARE(pane->toPlainText(),
                 write || !done ? paneBefore : hexText(virtualTool().image(address)));
        for (int position = 0; done && !write && position < 768; position += 767)
            QCOMPARE(paneLook(position), "8 700 #000000 0");
    }

    // The checksum command succeeds exactly when it renders the image anew.
    void calculateChecksum_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected"); // answered Yes if the pane changes, else No
        QTest::addColumn<QString>("paneAfter");
        const QString valid = sampleText();
        const QStringList formatError{warning("Hex Format Error")};
        const QString handEdited = sampleText(3).toLower() + "\n";
        const QString faulty = QString(valid).replace(30, 2, "ZZ");
        // Were only the low byte of a character taken, this would read as the digit 'A'.
        const QString beyondLatin1 = QString(valid).replace(0, 1, QChar(0x0141));
        QTest::newRow("correct, lower case, trailing newlines") << valid.toLower() + "\n\n"
                                                                << QStringList() << valid;
        QTest::newRow("block 0 wrong, Yes")
            << sampleText(127) << QStringList{kChecksumQuestion} << valid;
        QTest::newRow("block 1 wrong, Yes")
            << sampleText(255) << QStringList{kChecksumQuestion} << valid;
        QTest::newRow("wrong, No: kept to the character")
            << handEdited << QStringList{kChecksumQuestion} << handEdited;
        QTest::newRow("ZZ: no question") << faulty << formatError << faulty;
        QTest::newRow("a letter beyond Latin-1") << beyondLatin1 << formatError << beyondLatin1;
    }
    void calculateChecksum()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        QFETCH(QString, paneAfter);
        const bool rendered = paneAfter != text;
        pane->setPlainText(text);
        watcher->answerNext(rendered ? QMessageBox::Yes : QMessageBox::No);

        QCOMPARE(window->DoCalculateChkSum(), rendered);
        QCOMPARE(shown(), expected);
        QCOMPARE(pane->toPlainText(), paneAfter);
        for (int digit = 0; rendered && digit < 512; ++digit) {
            const bool checksum = digit / 2 == 127 || digit / 2 == 255;
            QCOMPARE(paneLook(3 * (digit / 2) + digit % 2),
                     checksum ? "0 700 #ff0000 0" : "0 400 #000000 0");
        }
    }

    void fileCommands_data()
    {
        QTest::addColumn<bool>("save");
        QTest::addColumn<QString>("name");                // in a fresh directory, unless absolute
        QTest::addColumn<QByteArray>("content");          // the file before; null: no such file
        QTest::addColumn<QString>("paneText");            // the pane before
        QTest::addColumn<int>("sizeLimit");               // for the files written; 0: none
        QTest::addColumn<QStringList>("expected");        // %1: the file's path
        QTest::addColumn<QString>("paneAfter");           // null: unchanged
        const QByteArray edid = bytesOf(ascendingEdid()); // its first byte is 0x00
        const QString text = hexText(edid);
        const QStringList loaded{"open", "File loaded"};
        const auto load = [](const char *row, const char *name, const QByteArray &content,
                             const QStringList &expected, const QString &paneAfter = QString()) {
            QTest::newRow(row) << false << name << content << "earlier" << 0 << expected
                               << paneAfter;
        };
        const auto cannotRead = [](const char *reason) {
            return QStringList{"open", warning(QString("Cannot read file %1:\n") + reason + '.')};
        };
        const auto save = [](const char *row, const char *name, const QString &paneText,
                             int sizeLimit, const QStringList &expected) {
            const QByteArray old =
                QString(name).contains('/') ? QByteArray() : QByteArray(300, 'Z');
            QTest::newRow(row) << true << name << old << paneText << sizeLimit << expected
                               << QString();
        };
        load("load binary EDID", "edid.bin", edid, loaded, text);
        load("load text with markup", "markup.txt", "<b>x</b> <img src=\"edid.png\">&amp;\r\nnext",
             loaded, "<b>x</b> <img src=\"edid.png\">&amp;\nnext");
        load("load 48-column text", "edid.txt", text.toLatin1().replace('\n', " \r\n"), loaded,
             text);
        load("load a missing file", "missing.bin", {}, cannotRead("No such file or directory"));
        load("load a FIFO without writer", "fifo", {}, cannotRead("Not a regular file"));
        load("load /dev/zero", "/dev/zero", {}, cannotRead("Not a regular file"));
        load("load an empty file", "empty.bin", "", cannotRead("The file is empty"));
        load("load unreadable content", "/proc/self/mem", {}, cannotRead("Input/output error"));
        save("save over a larger file", "edid.bin", text, 0,
             {"save", "Saving file...", "File saved"});
        save("save into no such directory", "missing/edid.bin", text, 0,
             {"save", warning("Cannot write file %1:\nNo such file or directory.")});
        save("save beyond the file-size limit", "edid.bin", text, 100,
             {"save", "Saving file...", "", warning("Cannot write file %1:\nFile too large.")});
        save("save an empty pane", "edid.bin", "", 0, {warning("Hex Format Error")});
    }
    void fileCommands()
    {
        QFETCH(bool, save);
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, paneText);
        QFETCH(int, sizeLimit);
        QFETCH(QStringList, expected);
        QFETCH(QString, paneAfter);
        fileName = QDir(directory->path()).filePath(name);
        QFile file(fileName);
        QVERIFY(name.startsWith('/') || content.isNull() ||
                (file.open(QIODevice::WriteOnly) && file.write(content) == content.size()));
        file.close();
        QVERIFY(name != "fifo" || mkfifo(qPrintable(fileName), 0600) == 0);
        pane->setPlainText(paneText);
        selectBackwards();
        rlimit unlimited{};
        getrlimit(RLIMIT_FSIZE, &unlimited);
        const rlimit limited{sizeLimit ? rlim_t(sizeLimit) : unlimited.rlim_cur,
                             unlimited.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limited);
        const bool done = save ? window->DoSaveEDIDtoFile() : window->DoLoadEDIDfromFile();
        setrlimit(RLIMIT_FSIZE, &unlimited);

        QCOMPARE(done, expected.contains(save ? "File saved" : "File loaded"));
        QCOMPARE(shown(), expected.replaceInStrings("%1", fileName));
        QCOMPARE(pane->toPlainText(), paneAfter.isNull() ? paneText : paneAfter);
        if (save) { // exactly the 256 bytes, or the old file; no temporary file is left
            QCOMPARE(QFileInfo::exists(fileName) && file.open(QIODevice::ReadOnly) ? file.readAll()
                                                                                   : QByteArray(),
                     done ? bytesOf(ascendingEdid()) : content);
            QCOMPARE(QDir(directory->path()).entryList(QDir::Files).size(), file.exists() ? 1 : 0);
        } else if (done) { // a binary EDID is rendered; a text file shows as it stands
            const bool binary = content.at(0) == '\0';
            QCOMPARE(paneLook(binary ? 3 * 127 : 0),
                     binary ? "0 700 #ff0000 0" : "8 700 #0000ff 0");
        }
    }

private:
    // Earlier text in other formats, selected from its end backwards.
    void selectBackwards()
    {
        QTextCursor cursor(pane->document());
        cursor.movePosition(QTextCursor::End);
        cursor.setPosition(qMin(2, cursor.position()), QTextCursor::KeepAnchor);
        pane->setTextCursor(cursor);
    }
    // "size weight colour italic" of the pane's character at position.
    QString paneLook(int position) const
    {
        const QTextCharFormat f = formatOfCharacter(pane->document(), position);
        return QString::asprintf("%g %d %s %d", f.fontPointSize(), f.fontWeight(),
                                 qPrintable(f.foreground().color().name()), f.fontItalic());
    }

    std::optional<QTemporaryDir> directory;
};

VARNEX_REGISTER_TEST(MainWindowTest);
#include "tst_MainWindow.moc"
