#include "EdidSamples.h"
#include "FileNameDialogs.h"
#include "MainWindow.h"
#include "MessageBoxWatcher.h"
#include "TestRegistry.h"

#include <QFile>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

#include <csignal>
#include <memory>
#include <sys/resource.h>

namespace {

// The one warning box of a failed command, or none when `text` is empty.
void verifyWarning(const MessageBoxWatcher &watcher, const QString &text)
{
    QCOMPARE(watcher.boxes().size(), text.isEmpty() ? 0 : 1);
    if (text.isEmpty())
        return;
    const ShownBox &shown = watcher.boxes().first();
    QCOMPARE(shown.title, QStringLiteral("VARNEX"));
    QCOMPARE(shown.text, text);
    QCOMPARE(shown.icon, QMessageBox::Warning);
    QCOMPARE(shown.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(shown.hasParent);
}

// The warning text for a file that failed with `error`: %1 the path, %2 the system's reason.
QString fileWarning(const QString &text, const QString &path, int error)
{
    return error ? text.arg(path, qt_error_string(error)) : text;
}

// Writes beyond `limit` bytes fail with "File too large" for as long as it lives.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t limit)
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit reduced = saved_;
        reduced.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &reduced);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit saved_{};
    void (*previousHandler_)(int) = nullptr;
};

} // namespace

class EdidFileCommandsTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        window = std::make_unique<MainWindow>();
        pane = window->findChild<QTextEdit *>(QStringLiteral("EDIDtext"));
        directory = std::make_unique<QTemporaryDir>();
        QVERIFY(directory->isValid());
        askedDialogs.clear();
        answeredName.clear();
        setFileNameAnswer([this](FileNameDialog dialog, QWidget *parent) {
            askedDialogs << (dialog == FileNameDialog::Open ? "open" : "save");
            parentIsWindow = parent == window.get();
            return answeredName;
        });
        statuses.clear();
        connect(window->statusBar(), &QStatusBar::messageChanged, this,
                [this](const QString &message) { statuses << message; });
    }
    void cleanup()
    {
        setFileNameAnswer(nullptr);
        window.reset();
        directory.reset();
    }

    void loading_data()
    {
        QTest::addColumn<QString>("fileName");   // inside a fresh directory; empty: cancelled
        QTest::addColumn<QByteArray>("content"); // null: no such file
        QTest::addColumn<bool>("result");
        QTest::addColumn<QString>("paneAfter");
        QTest::addColumn<QString>("box"); // the warning's text
        QTest::addColumn<int>("error");   // the failing call's errno, for the warning's text
        const QString earlier = QStringLiteral("earlier text");
        const EdidImage image = ascendingEdid();
        QTest::newRow("cancelled") << "" << QByteArray() << false << earlier << "" << 0;
        QTest::newRow("binary EDID")
            << "edid.bin" << bytesOf(image) << true << hexTextOf(image) << "" << 0;
        QTest::newRow("text with markup")
            << "markup.txt" << QByteArray("<b>x</b> <img src=\"edid.png\">&amp;\r\nnext") << true
            << "<b>x</b> <img src=\"edid.png\">&amp;\nnext"
            << "" << 0;
        QByteArray columns = hexTextOf(image).toLatin1().replace('\n', " \r\n");
        QTest::newRow("48-column text")
            << "edid.txt" << columns << true << hexTextOf(image) << "" << 0;
        QTest::newRow("missing file") << "missing.bin" << QByteArray() << false << earlier
                                      << "Cannot read file %1:\n%2." << ENOENT;
        QTest::newRow("unreadable content") << "/proc/self/mem" << QByteArray() << false << earlier
                                            << "Cannot read file %1:\n%2." << EIO;
    }
    void loading()
    {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, content);
        QFETCH(bool, result);
        QFETCH(QString, paneAfter);
        QFETCH(QString, box);
        QFETCH(int, error);
        const QString path = fileName.isEmpty() || QDir::isAbsolutePath(fileName)
                                 ? fileName
                                 : directory->filePath(fileName);
        if (!content.isNull()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        pane->setPlainText(QStringLiteral("earlier text"));
        answeredName = path;
        MessageBoxWatcher watcher;

        QCOMPARE(window->DoLoadEDIDfromFile(), result);
        QCOMPARE(askedDialogs, QStringList{"open"});
        QVERIFY(parentIsWindow);
        QCOMPARE(pane->toPlainText(), paneAfter);
        QCOMPARE(statuses, result ? QStringList{"File loaded"} : QStringList());
        verifyWarning(watcher, fileWarning(box, path, error));
        if (QTest::currentTestFailed())
            return;
        if (result) {
            // A binary EDID is rendered; a text file shows as it stands, blue bold 8-point.
            const bool text = content.at(0) != '\0';
            const QTextCharFormat format = formatOfCharacter(pane->document(), 0);
            QCOMPARE(format.foreground().color(), text ? QColor(0, 0, 255) : QColor(Qt::black));
            QCOMPARE(format.fontWeight(), text ? QFont::Bold : QFont::Normal);
            if (text)
                QCOMPARE(format.fontPointSize(), 8.0);
        }
    }

    void saving_data()
    {
        QTest::addColumn<QString>("paneText");
        QTest::addColumn<QString>("fileName");    // inside a fresh directory; empty: cancelled
        QTest::addColumn<QByteArray>("existing"); // null: no such file before
        QTest::addColumn<int>("sizeLimit");       // 0: none
        QTest::addColumn<bool>("result");
        QTest::addColumn<QStringList>("statusesShown");
        QTest::addColumn<QString>("box"); // the warning's text
        QTest::addColumn<int>("error");   // the failing call's errno, for the warning's text
        QTest::addColumn<QByteArray>("fileAfter"); // null: no such file after
        const QString text = hexTextOf(ascendingEdid());
        const QByteArray bytes = bytesOf(ascendingEdid());
        const QStringList saved{"Saving file...", "File saved"};
        const QByteArray old(300, 'Z');
        const QString cannotWrite = QStringLiteral("Cannot write file %1:\n%2.");
        QTest::newRow("new file") << text << "edid.bin" << QByteArray() << 0 << true << saved << ""
                                  << 0 << bytes;
        QTest::newRow("over a larger file") << text << "edid.bin" << QByteArray(1000, 'Z') << 0
                                            << true << saved << "" << 0 << bytes;
        QTest::newRow("cancelled")
            << text << "" << QByteArray() << 0 << false << QStringList() << "" << 0 << QByteArray();
        QTest::newRow("no such directory")
            << text << "missing/edid.bin" << QByteArray() << 0 << false << QStringList()
            << cannotWrite << ENOENT << QByteArray();
        QTest::newRow("write cannot complete")
            << text << "edid.bin" << old << 100 << false << QStringList{"Saving file...", ""}
            << cannotWrite << EFBIG << old;
        QTest::newRow("half an EDID") << text.left(384) << "edid.bin" << old << 0 << false
                                      << QStringList() << "Hex Format Error" << 0 << old;
        QTest::newRow("empty pane") << ""
                                    << "edid.bin" << QByteArray() << 0 << false << QStringList()
                                    << "Hex Format Error" << 0 << QByteArray();
    }
    void saving()
    {
        QFETCH(QString, paneText);
        QFETCH(QString, fileName);
        QFETCH(QByteArray, existing);
        QFETCH(int, sizeLimit);
        QFETCH(bool, result);
        QFETCH(QStringList, statusesShown);
        QFETCH(QString, box);
        QFETCH(int, error);
        QFETCH(QByteArray, fileAfter);
        const QString path = fileName.isEmpty() ? QString() : directory->filePath(fileName);
        if (!existing.isNull()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(existing);
        }
        pane->setPlainText(paneText);
        answeredName = path;
        MessageBoxWatcher watcher;

        bool saved = false;
        if (sizeLimit > 0) {
            const FileSizeLimit limit(static_cast<rlim_t>(sizeLimit));
            saved = window->DoSaveEDIDtoFile();
        } else {
            saved = window->DoSaveEDIDtoFile();
        }
        QCOMPARE(saved, result);
        const bool formatError = box == QLatin1String("Hex Format Error");
        QCOMPARE(askedDialogs, formatError ? QStringList() : QStringList{"save"});
        QCOMPARE(statuses, statusesShown);
        QCOMPARE(pane->toPlainText(), paneText);
        verifyWarning(watcher, fileWarning(box, path, error));
        if (!path.isEmpty()) {
            QFile file(path);
            QCOMPARE(file.exists(), !fileAfter.isNull());
            if (file.open(QIODevice::ReadOnly))
                QCOMPARE(file.readAll(), fileAfter);
            // No temporary file is left behind.
            QCOMPARE(QDir(QFileInfo(path).path()).entryList(QDir::Files).size(),
                     fileAfter.isNull() ? 0 : 1);
        }
    }

    void binaryAfterTextTakesThePaneFont()
    {
        const QString path = directory->filePath(QStringLiteral("edid"));
        answeredName = path;
        for (const QByteArray &content : {QByteArray("text"), bytesOf(ascendingEdid())}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
            file.close();
            QVERIFY(window->DoLoadEDIDfromFile());
        }
        for (int position : {0, 3 * 127}) {
            const QTextCharFormat format = formatOfCharacter(pane->document(), position);
            QCOMPARE(format.foreground().color(), QColor(position ? Qt::red : Qt::black));
            QCOMPARE(format.fontWeight(), position ? QFont::Bold : QFont::Normal);
            QVERIFY(!format.hasProperty(QTextFormat::FontPointSize));
        }
    }

    void savedFileLoadsBack_data()
    {
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<QString>("paneAfter");
        const EdidImage edid = ascendingEdid();
        QTest::newRow("first byte 0x00") << bytesOf(edid) << hexTextOf(edid);
        QByteArray text(256, '\0');
        text.replace(0, 4, "AB<i");
        QTest::newRow("first byte not 0x00: loads as text") << text << "AB<i";
    }
    void savedFileLoadsBack()
    {
        QFETCH(QByteArray, image);
        QFETCH(QString, paneAfter);
        EdidImage edid;
        std::copy(image.begin(), image.end(), edid.bytes.begin());
        window->ShowEDIDtext(&edid);
        answeredName = directory->filePath(QStringLiteral("round-trip"));
        QVERIFY(window->DoSaveEDIDtoFile());
        pane->clear();
        QVERIFY(window->DoLoadEDIDfromFile());
        QCOMPARE(pane->toPlainText(), paneAfter);
    }

private:
    std::unique_ptr<MainWindow> window;
    QTextEdit *pane = nullptr;
    std::unique_ptr<QTemporaryDir> directory;
    QString answeredName;
    QStringList askedDialogs;
    bool parentIsWindow = false;
    QStringList statuses;
};

VARNEX_REGISTER_TEST(EdidFileCommandsTest);
#include "tst_EdidFileCommands.moc"
