// The operations behind Read, Write, Calculate Checksum, Load and Save, run on the window.
#include "EdidSamples.h"
#include "EdidSources.h"
#include "WindowFixture.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

// The address of each source, in the selector's order.
const QList<int> kAddresses{0xB0, 0xA0, 0xB2, 0xB4, 0xB6};

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

} // namespace

class WindowCommandsTest : public QObject, WindowFixture {
    Q_OBJECT

private slots:
    void init()
    {
        openWindow();
        record();
        QVERIFY(directory.emplace().isValid());
    }
    void cleanup() { closeWindow(); }

    void readAndWrite_data()
    {
        QTest::addColumn<int>("address");
        QTest::addColumn<QString>("text");  // the pane's text for a write; null: a read
        QTest::addColumn<QString>("fault"); // the tool's fault, or the operator's answer
        QTest::addColumn<int>("sent");      // commands the tool received
        QTest::addColumn<QStringList>("expected");
        const QString readFailed = warning("The EDID could not be read.");
        const QString writeFailed = warning("The EDID could not be written completely. The custom "
                                            "EDID may now be incomplete.");
        const QString question =
            "|The EDID Checksum is not correct.|Write anyway?|no-icon Yes/No no-parent";
        for (int i = 0; i < 5; ++i)
            QTest::addRow("read %s", kEdidSources[i].name)
                << kAddresses[i] << QString() << "" << 17 << QStringList{"EDID values read."};
        QTest::newRow("read, query 16 fails")
            << 0xA0 << QString() << "query fails at 16" << 16
            << QStringList{"device: Error Checking Queue (bar 240/255)", readFailed};
        QTest::newRow("read, silent from command 6")
            << 0xB4 << QString() << "silent from 6" << 6 << QStringList{readFailed};
        const QString valid = sampleText();
        QTest::newRow("wrong checksum, Yes: written unchanged")
            << 0xB6 << sampleText(255) << "" << 32
            << QStringList{"EDID values written...", question};
        QTest::newRow("wrong checksum, No")
            << 0xB2 << sampleText(255) << "answer No" << 0 << QStringList{question};
        QTest::newRow("empty pane") << 0xB2 << ""
                                    << "" << 0 << QStringList{warning("Hex Format Error")};
        QTest::newRow("write, query 5 fails")
            << 0xB4 << valid << "query fails at 5" << 5
            << QStringList{"device: Error Checking Queue (bar 4/32)", writeFailed};
        QTest::newRow("write, silent from row 10")
            << 0xB4 << valid << "silent from 10" << 10 << QStringList{writeFailed};
    }
    void readAndWrite()
    {
        QFETCH(int, address);
        QFETCH(QString, text);
        QFETCH(QString, fault);
        QFETCH(int, sent);
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
        QCOMPARE(int(virtualTool().receivedCommands().size()), sent);
        QCOMPARE(virtualTool().openHandleCount(), 0);
        QVERIFY(!window->statusBar()->findChild<QProgressBar *>()->isVisibleTo(window.get()));
        if (write && done)
            QCOMPARE(hexText(virtualTool().image(address)), text);
        else if (!write || sent == 0)
            QVERIFY(virtualTool().image(address) == before);
        QCOMPARE(pane->toPlainText(),
                 write || !done ? paneBefore : hexText(virtualTool().image(address)));
        for (int position = 0; done && !write && position < 768; position += 383) {
            const QTextCharFormat f = formatOfCharacter(pane->document(), position);
            QCOMPARE(QString::asprintf("%g %d %s %d", f.fontPointSize(), f.fontWeight(),
                                       qPrintable(f.foreground().color().name()), f.fontItalic()),
                     "8 700 #000000 0"); // the first, a middle and the last character
            QVERIFY(!f.hasProperty(QTextFormat::FontFamilies));
        }
    }

    void readThenWriteRoundTrip()
    {
        QVERIFY(virtualTool().image(0xB0) != virtualTool().image(0xB2));
        for (int source : {0, 2}) { // read "Current EDID", write it into "Custom EDID 6"
            selector->setCurrentIndex(source);
            QVERIFY(QMetaObject::invokeMethod(window.get(), source ? "WriteEDID" : "ReadEDID"));
            QTest::qWait(1500); // the success message stays two seconds
            QVERIFY(!status().isEmpty());
            QTRY_VERIFY_WITH_TIMEOUT(status().isEmpty(), 1000);
        }
        QVERIFY(virtualTool().image(0xB2) == virtualTool().image(0xB0));
        QCOMPARE(shown(), (QStringList{"EDID values read.", "", "EDID values written...", ""}));
    }

    // The checksum command succeeds exactly when it renders the image anew.
    void calculateChecksum_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected"); // answered Yes if the pane changes, else No
        QTest::addColumn<QString>("paneAfter");
        const QString valid = sampleText();
        const QStringList question{"|The EDID Checksum is not correct.|Do you want to calculate a "
                                   "new checksum?|no-icon Yes/No no-parent"};
        const QStringList formatError{warning("Hex Format Error")};
        QTest::newRow("correct, lower case, trailing newlines") << valid.toLower() + "\n\n"
                                                                << QStringList() << valid;
        QTest::newRow("block 0 wrong, Yes") << sampleText(127) << question << valid;
        QTest::newRow("block 1 wrong, Yes") << sampleText(255) << question << valid;
        const QString handEdited = sampleText(3).toLower() + "\n";
        QTest::newRow("wrong, No: kept to the character") << handEdited << question << handEdited;
        const QString faulty = QString(valid).replace(30, 2, "ZZ");
        QTest::newRow("ZZ: no question") << faulty << formatError << faulty;
        QTest::newRow("empty pane") << "" << formatError << "";
        // Were only the low byte of a character taken, this would read as the digit 'A'.
        const QString beyondLatin1 = QString(valid).replace(0, 1, QChar(0x0141));
        QTest::newRow("a letter beyond Latin-1") << beyondLatin1 << formatError << beyondLatin1;
    }
    void calculateChecksum()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        QFETCH(QString, paneAfter);
        const bool rendered = paneAfter != text;
        // The pane as a loaded text file leaves it: blue, bold, 8-point.
        pane->setTextColor(Qt::blue);
        pane->setFontWeight(QFont::Bold);
        pane->setFontPointSize(8);
        pane->setPlainText(text);
        watcher->answerNext(rendered ? QMessageBox::Yes : QMessageBox::No);

        QCOMPARE(window->DoCalculateChkSum(), rendered);
        QCOMPARE(shown(), expected);
        QCOMPARE(pane->toPlainText(), paneAfter);
        for (int digit = 0; rendered && digit < 512; ++digit) {
            const bool checksum = digit / 2 == 127 || digit / 2 == 255;
            const QTextCharFormat format =
                formatOfCharacter(pane->document(), 3 * (digit / 2) + digit % 2);
            QCOMPARE(format.foreground().color(), checksum ? QColor(Qt::red) : QColor(Qt::black));
            QCOMPARE(format.foreground().style(), Qt::SolidPattern);
            QCOMPARE(format.fontWeight(), checksum ? QFont::Bold : QFont::Normal);
            QVERIFY(!format.hasProperty(QTextFormat::FontPointSize));
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
        QTest::addColumn<QByteArray>("fileAfter");        // null: unchanged
        const QByteArray edid = bytesOf(ascendingEdid()); // its first byte is 0x00
        const QString text = hexText(edid);
        const QStringList loaded{"open", "File loaded"};
        const QByteArray old(300, 'Z');
        QTest::newRow("load binary EDID")
            << false << "edid.bin" << edid << "earlier" << 0 << loaded << text << QByteArray();
        QTest::newRow("load text with markup")
            << false << "markup.txt" << QByteArray("<b>x</b> <img src=\"edid.png\">&amp;\r\nnext")
            << "earlier" << 0 << loaded << "<b>x</b> <img src=\"edid.png\">&amp;\nnext"
            << QByteArray();
        QTest::newRow("load 48-column text, 816 bytes")
            << false << "edid.txt" << text.toLatin1().replace('\n', " \r\n") << "earlier" << 0
            << loaded << text << QByteArray();
        QTest::newRow("load a missing file")
            << false << "missing.bin" << QByteArray() << "earlier" << 0
            << QStringList{"open", warning("Cannot read file %1:\nNo such file or directory.")}
            << QString() << QByteArray();
        const QStringList notRegular{"open", warning("Cannot read file %1:\nNot a regular file.")};
        QTest::newRow("load a FIFO without writer") << false << "fifo" << QByteArray() << "earlier"
                                                    << 0 << notRegular << QString() << QByteArray();
        QTest::newRow("load /dev/zero") << false << "/dev/zero" << QByteArray() << "earlier" << 0
                                        << notRegular << QString() << QByteArray();
        QTest::newRow("load an empty file")
            << false << "empty.bin" << QByteArray("") << "earlier" << 0
            << QStringList{"open", warning("Cannot read file %1:\nThe file is empty.")} << QString()
            << QByteArray();
        QTest::newRow("load unreadable content")
            << false << "/proc/self/mem" << QByteArray() << "earlier" << 0
            << QStringList{"open", warning("Cannot read file %1:\nInput/output error.")}
            << QString() << QByteArray();
        QTest::newRow("save over a larger file")
            << true << "edid.bin" << QByteArray(1000, 'Z') << text << 0
            << QStringList{"save", "Saving file...", "File saved"} << QString() << edid;
        QTest::newRow("save into no such directory")
            << true << "missing/edid.bin" << QByteArray() << text << 0
            << QStringList{"save", warning("Cannot write file %1:\nNo such file or directory.")}
            << QString() << QByteArray();
        QTest::newRow("save, the write cannot complete")
            << true << "edid.bin" << old << text << 100
            << QStringList{"save", "Saving file...", "",
                           warning("Cannot write file %1:\nFile too large.")}
            << QString() << QByteArray();
        QTest::newRow("save an empty pane")
            << true << "edid.bin" << old << "" << 0 << QStringList{warning("Hex Format Error")}
            << QString() << QByteArray();
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
        QFETCH(QByteArray, fileAfter);
        fileName = QDir(directory->path()).filePath(name);
        QFile before(fileName);
        QVERIFY(content.isNull() || (before.open(QIODevice::WriteOnly) &&
                                     before.write(content) == content.size() && before.flush()));
        QVERIFY(name != "fifo" || mkfifo(qPrintable(fileName), 0600) == 0);
        pane->setPlainText(paneText);
        selectBackwards();
        // A limit on the file size makes a write fail part way ("File too large").
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
        QFile file(fileName);
        QCOMPARE(QFileInfo(file).isFile() && file.open(QIODevice::ReadOnly) ? file.readAll()
                                                                            : QByteArray(),
                 fileAfter.isNull() ? content : fileAfter);
        if (save) // nothing else is left in the directory: no temporary file
            QCOMPARE(QDir(directory->path()).entryList(QDir::Files).size(), file.exists() ? 1 : 0);
        if (save && done) { // and the file loads back
            pane->clear();
            QVERIFY(window->DoLoadEDIDfromFile());
            QCOMPARE(pane->toPlainText(), paneText);
        } else if (done) { // a binary EDID is rendered; a text file shows as it stands
            const bool binary = content.at(0) == '\0';
            const QTextCharFormat format =
                formatOfCharacter(pane->document(), binary ? 3 * 127 : 0);
            QCOMPARE(format.foreground().color(), QColor(binary ? Qt::red : Qt::blue));
            QCOMPARE(format.fontWeight(), QFont::Bold);
            QCOMPARE(format.fontPointSize(), binary ? 0.0 : 8.0);
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

    std::optional<QTemporaryDir> directory;
};

VARNEX_REGISTER_TEST(WindowCommandsTest);
#include "tst_WindowCommands.moc"
