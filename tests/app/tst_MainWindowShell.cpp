#include "EdidSources.h"
#include "EdidTextBuffer.h"
#include "WindowFixture.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QMetaMethod>
#include <QProcess>
#include <QTranslator>

#include <algorithm>

namespace {

bool edidTextBufferIs(char value)
{
    return std::count(EdidTextBuffer.begin(), EdidTextBuffer.end(), value) == 1000;
}

// Marks every text of the context "MainWindow", to show which texts go through it.
class MarkingTranslator : public QTranslator {
public:
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *text, const char *, int) const override
    {
        return qstrcmp(context, "MainWindow") ? QString() : "T:" + QString::fromUtf8(text);
    }
};

} // namespace

class MainWindowShellTest : public QObject, WindowFixture {
    Q_OBJECT

private slots:
    void init() { openWindow(); }
    void cleanup() { closeWindow(); }

    void formObjects()
    {
        MarkingTranslator translator;
        QCoreApplication::installTranslator(&translator);
        MainWindow marked;
        QCoreApplication::removeTranslator(&translator);
        // Name, class, parent, geometry ("-": not fixed by the form), text and menu entries.
        const QStringList expected{
            "MainWindow MainWindow - - T:Varnex HDMI EDID Utility",
            "actionExit QAction MainWindow - T:Exit",
            "actionAbout QAction MainWindow - T:About",
            "centralwidget QWidget MainWindow -",
            "ButReadEDID QPushButton centralwidget 20,370,101,23 T:Read EDID",
            "ButWriteEDID QPushButton centralwidget 290,370,101,23 T:Write EDID",
            "EdidAddress QComboBox centralwidget 20,20,151,22 Current EDID",
            "EDIDtext QTextEdit centralwidget 20,60,371,271",
            "ButLoadEDID QPushButton centralwidget 20,420,101,23 T:Load from File",
            "ButSaveEDID QPushButton centralwidget 150,420,111,23 T:Save to File",
            "ButClose QPushButton centralwidget 290,420,101,23 T:Close",
            "ButCalculateCheckSum QPushButton centralwidget 150,370,111,23 T:Calculate Checksum",
            "menubar QMenuBar MainWindow 0,0,400,21 > menuFile > menuHelp",
            "menuFile QMenu menubar - T:File > actionExit",
            "menuHelp QMenu menubar - T:Help > actionAbout",
            "statusbar QStatusBar MainWindow -"};
        QStringList objects;
        for (const QString &line : expected) {
            const QString name = line.section(' ', 0, 0);
            QObject *object = name == "MainWindow" ? &marked : marked.findChild<QObject *>(name);
            QVERIFY2(object, qPrintable(name));
            QString text; // the first text property of the class
            for (const char *property :
                 {"text", "title", "currentText", "plainText", "windowTitle"})
                if (text.isNull() && object->property(property).isValid())
                    text = object->property(property).toString();
            if (auto *widget = qobject_cast<QWidget *>(object))
                for (QAction *action : widget->actions())
                    text += " > " +
                            (action->menu() ? action->menu()->objectName() : action->objectName());
            const QRect r = object->property("geometry").toRect();
            const QString geometry =
                QString::asprintf("%d,%d,%d,%d", r.x(), r.y(), r.width(), r.height());
            objects << QStringList{name, object->metaObject()->className(),
                                   object->parent() ? object->parent()->objectName() : "-",
                                   line.section(' ', 3, 3) == "-" ? "-" : geometry, text}
                           .join(' ')
                           .simplified();
        }
        QCOMPARE(objects, expected);
    }

    void windowAsBuilt()
    {
        QCOMPARE(window->size(), QSize(400, 500));
        QCOMPARE(window->maximumSize(), QSize(400, 500));
        QCOMPARE(window->minimumSize(), QSize(0, 0));
        QCOMPARE((QStringList{window->centralWidget()->objectName(),
                              window->menuBar()->objectName(), window->statusBar()->objectName()}),
                 (QStringList{"centralwidget", "menubar", "statusbar"}));
        QCOMPARE(pane->font().family(), QStringLiteral("Courier New"));
        QCOMPARE(pane->font().styleHint(), QFont::TypeWriter);
        QCOMPARE(pane->font().weight(), QFont().weight());
        QCOMPARE(pane->font().pointSizeF(), QFont().pointSizeF());
        QStringList sources;
        for (int i = 0; i < selector->count(); ++i)
            sources << selector->itemText(i) + (selector->itemData(i).isValid() ? " + data" : "");
        QCOMPARE(sources, (QStringList{"Current EDID", "Sink EDID", "Custom EDID 6",
                                       "Custom EDID 7", "Custom/Sink EDID 8"}));
        QCOMPARE(SelectedEdidAddress, std::uint8_t(0xB0));
        QCOMPARE(ExpectedSerial, std::uint16_t(2011));
        QCOMPARE(DeviceHandle, kNoUsbHandle);
        QVERIFY(status().isEmpty());
        EdidTextBuffer.fill('x'); // choosing a source leaves it alone
        selector->setCurrentIndex(4);
        for (int outside : {-1, 5}) // no source: the address stays
            QMetaObject::invokeMethod(window.get(), "SelectEdid", Q_ARG(int, outside));
        QCOMPARE(SelectedEdidAddress, std::uint8_t(0xB6));
        QVERIFY(edidTextBufferIs('x'));
        window->on_ProgressChange(5, 10); // no bar yet: nothing happens
        QVERIFY(!window->statusBar()->findChild<QProgressBar *>());
        QFile form(QStringLiteral(":/QT/forms/VarnexForm.ui"));
        QVERIFY(form.open(QIODevice::ReadOnly));
        QVERIFY(form.readAll().contains("<class>MainWindow</class>"));
        // The slot table, in its order.
        const QMetaObject *meta = window->metaObject();
        QCOMPARE(meta->superClass(), &QMainWindow::staticMetaObject);
        const char *access[] = {"private", "protected", "public"};
        QStringList methods;
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
            const QMetaMethod method = meta->method(i);
            QVERIFY(method.methodType() == QMetaMethod::Slot &&
                    method.returnType() == QMetaType::Void);
            methods << access[method.access()] + (' ' + method.methodSignature() + ' ' +
                                                  method.parameterNames().join(','));
        }
        QCOMPARE(methods,
                 (QStringList{"public on_ProgressChange(int,int) a,b", "private SaveEDIDtoFile() ",
                              "private LoadEDIDfromFile() ", "private FileExit() ",
                              "private FileAbout() ", "private ReadEDID() ", "private WriteEDID() ",
                              "private SelectEdid(int) ", "private CalculateChkSum() "}));
    }

    // A press on each button runs its command, which starts from a zero-filled text buffer.
    void buttonsRunTheirCommands_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("source");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected");
        const QString valid = hexText(VirtualTool().image(0xB0));
        QTest::newRow("Read EDID") << "ButReadEDID" << 0 << valid
                                   << QStringList{"VARNEX|Hardware not found||warning OK parent"};
        QTest::newRow("Write EDID")
            << "ButWriteEDID" << 2 << valid
            << QStringList{"Varnex HDMI|Varnex HDMI hardware not found||warning OK parent"};
        QTest::newRow("Write EDID, Current: refused")
            << "ButWriteEDID" << 0 << valid << QStringList();
        QTest::newRow("Write EDID, Sink: refused") << "ButWriteEDID" << 1 << valid << QStringList();
        QTest::newRow("Load from File") << "ButLoadEDID" << 0 << valid << QStringList{"open"};
        QTest::newRow("Save to File") << "ButSaveEDID" << 0 << valid << QStringList{"save"};
        QTest::newRow("Calculate Checksum")
            << "ButCalculateCheckSum" << 0 << QString(valid).replace(0, 2, "FF")
            << QStringList{"|The EDID Checksum is not correct.|Do you want to calculate a new "
                           "checksum?|no-icon Yes/No no-parent"};
    }
    void buttonsRunTheirCommands()
    {
        QFETCH(QString, button);
        QFETCH(int, source);
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        selector->setCurrentIndex(source);
        pane->setPlainText(text);
        virtualTool().attachDevices({});
        record(); // a file dialog is answered as cancelled
        watcher->answerNext(QMessageBox::No);
        EdidTextBuffer.fill('x');
        QTest::mousePress(window->findChild<QWidget *>(button), Qt::LeftButton);
        QCOMPARE(shown(), expected);
        QCOMPARE(pane->toPlainText(), text);
        QVERIFY(edidTextBufferIs('\0'));
    }

    // The About box, and the warning box the device link shows.
    void boxesOfTheShell()
    {
        MessageBoxWatcher watcher;
        EdidTextBuffer.fill('x');
        window->findChild<QAction *>("actionAbout")->trigger();
        ShowDeviceWarning("Unable to open handle to device!");
        const QStringList boxes = describe(watcher);
        QCOMPARE(boxes.size(), 2);
        QVERIFY(boxes[0].startsWith(
            "About Varnex HDMI|<h2>Varnex HDMI EDID Utility Version 1.00</h2><p>"));
        QVERIFY(boxes[0].endsWith(" OK parent"));
        QCOMPARE(boxes[1], " |Unable to open handle to device!||warning OK no-parent");
        QCOMPARE(watcher.boxes()[1].modality, Qt::ApplicationModal);
        QVERIFY(edidTextBufferIs('x'));
    }

    void progressDisplay_data()
    {
        QTest::addColumn<int>("a");
        QTest::addColumn<int>("b");
        QTest::addColumn<QString>("state"); // "minimum-maximum at value", or "hidden"
        QTest::newRow("value 0 hides") << 0 << 255 << "hidden";
        QTest::newRow("maximum 0 hides") << 5 << 0 << "hidden";
        QTest::newRow("negative value hides") << -1 << 10 << "hidden";
        QTest::newRow("full bar") << 1 << 1 << "0-1 at 1";
        QTest::newRow("part way") << 16 << 255 << "0-255 at 16";
    }
    void progressDisplay()
    {
        QFETCH(int, a);
        QFETCH(int, b);
        QFETCH(QString, state);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        virtualTool().attachDevices({});
        MessageBoxWatcher watcher;
        for (int run = 0; run < 2; ++run) // each operation prepares the bar anew
            QVERIFY(!window->DoReadEDID());
        QCOMPARE(window->statusBar()->findChildren<QProgressBar *>().size(), 1);
        QProgressBar *bar = window->statusBar()->findChild<QProgressBar *>();
        QVERIFY(!bar->isVisible() && !bar->isTextVisible());
        window->on_ProgressChange(2, 3);
        QTRY_VERIFY(bar->isVisible() && bar->width() > 0);
        // At the right end: only the size grip may follow it.
        QVERIFY(bar->geometry().right() > window->statusBar()->width() - 30);
        window->on_ProgressChange(a, b);
        QCOMPARE(bar->isVisible() ? QString::asprintf("%d-%d at %d", bar->minimum(), bar->maximum(),
                                                      bar->value())
                                  : "hidden",
                 state);
    }

    void programEndings_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("report");
        QTest::newRow("Close button, tool open")
            << QStringList{"close-button", "open"} << "close-calls=1 open-handles=0 buffer-kept=1";
        QTest::newRow("File > Exit")
            << QStringList{"exit-action"} << "close-calls=0 open-handles=0 buffer-kept=1";
        QTest::newRow("frame, tool open")
            << QStringList{"frame", "open"} << "close-calls=0 open-handles=1 buffer-kept=1";
    }
    void programEndings()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, report);
        QProcess probe;
        probe.start(QStringLiteral(VARNEX_EXIT_PROBE), arguments);
        QVERIFY(probe.waitForFinished(20000));
        QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
        QCOMPARE(probe.exitCode(), 0);
        QCOMPARE(QString::fromLatin1(probe.readAllStandardOutput()).trimmed(), report);
    }
};

VARNEX_REGISTER_TEST(MainWindowShellTest);
#include "tst_MainWindowShell.moc"
