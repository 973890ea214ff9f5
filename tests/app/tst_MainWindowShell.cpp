#include "DeviceState.h"
#include "DeviceWarning.h"
#include "EdidSources.h"
#include "EdidTextBuffer.h"
#include "MainWindow.h"
#include "MessageBoxWatcher.h"
#include "TestRegistry.h"
#include "VirtualTool.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QMetaMethod>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTextEdit>
#include <QTranslator>

#include <algorithm>
#include <memory>

namespace {

bool edidTextBufferIs(char value)
{
    return std::all_of(EdidTextBuffer.begin(), EdidTextBuffer.end(),
                       [value](char c) { return c == value; });
}

// The connections from one object to the window, as dumpObjectInfo() prints them.
QStringList outgoingConnections(QObject *object)
{
    static QStringList *lines = nullptr;
    QStringList collected;
    lines = &collected;
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext &, const QString &message) { *lines << message; });
    object->dumpObjectInfo();
    qInstallMessageHandler(previous);
    lines = nullptr;

    QStringList connections;
    QString signal;
    for (QString line : collected.join(QLatin1Char('\n')).split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (line.startsWith(QLatin1String("signal: ")))
            signal = line.mid(8);
        else if (line.startsWith(QLatin1String("--> MainWindow::MainWindow ")) && !signal.isEmpty())
            connections << signal + QLatin1String(" -> ") + line.section(QLatin1Char(' '), -1);
        else if (line.startsWith(QLatin1String("SIGNALS IN")))
            break;
    }
    return connections;
}

// Translates every text of the context "MainWindow" into "T:" + text.
class MarkingTranslator : public QTranslator {
public:
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *sourceText, const char *,
                      int) const override
    {
        if (qstrcmp(context, "MainWindow") != 0)
            return QString();
        return QLatin1String("T:") + QString::fromUtf8(sourceText);
    }
};

} // namespace

class MainWindowShellTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        virtualTool().reset();
        SelectedEdidAddress = 0x00;
        ExpectedSerial = 0;
        DeviceHandle = 77;
        window = std::make_unique<MainWindow>();
    }
    void cleanup()
    {
        window.reset();
        DeviceHandle = kNoUsbHandle;
    }

    void widgetsOfTheForm_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("className");
        QTest::addColumn<QString>("parentName");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("text");
        QTest::newRow("read") << "ButReadEDID" << "QPushButton" << "centralwidget"
                              << QRect(20, 370, 101, 23) << "Read EDID";
        QTest::newRow("write") << "ButWriteEDID" << "QPushButton" << "centralwidget"
                               << QRect(290, 370, 101, 23) << "Write EDID";
        QTest::newRow("selector") << "EdidAddress" << "QComboBox" << "centralwidget"
                                  << QRect(20, 20, 151, 22) << "Current EDID";
        QTest::newRow("pane") << "EDIDtext" << "QTextEdit" << "centralwidget"
                              << QRect(20, 60, 371, 271) << "";
        QTest::newRow("load") << "ButLoadEDID" << "QPushButton" << "centralwidget"
                              << QRect(20, 420, 101, 23) << "Load from File";
        QTest::newRow("save") << "ButSaveEDID" << "QPushButton" << "centralwidget"
                              << QRect(150, 420, 111, 23) << "Save to File";
        QTest::newRow("close") << "ButClose" << "QPushButton" << "centralwidget"
                               << QRect(290, 420, 101, 23) << "Close";
        QTest::newRow("checksum") << "ButCalculateCheckSum" << "QPushButton" << "centralwidget"
                                  << QRect(150, 370, 111, 23) << "Calculate Checksum";
        QTest::newRow("menu bar") << "menubar" << "QMenuBar" << "MainWindow"
                                  << QRect(0, 0, 400, 21) << "";
        QTest::newRow("file menu") << "menuFile" << "QMenu" << "menubar" << QRect() << "File";
        QTest::newRow("help menu") << "menuHelp" << "QMenu" << "menubar" << QRect() << "Help";
        QTest::newRow("status bar") << "statusbar" << "QStatusBar" << "MainWindow" << QRect()
                                    << "";
        QTest::newRow("central") << "centralwidget" << "QWidget" << "MainWindow" << QRect() << "";
    }
    void widgetsOfTheForm()
    {
        QFETCH(QString, name);
        QFETCH(QString, className);
        QFETCH(QString, parentName);
        QFETCH(QRect, geometry);
        QFETCH(QString, text);
        auto *widget = window->findChild<QWidget *>(name);
        QVERIFY(widget);
        QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), className);
        QCOMPARE(widget->parent()->objectName(), parentName);
        if (!geometry.isNull())
            QCOMPARE(widget->geometry(), geometry);
        if (auto *button = qobject_cast<QPushButton *>(widget))
            QCOMPARE(button->text(), text);
        else if (auto *menu = qobject_cast<QMenu *>(widget))
            QCOMPARE(menu->title(), text);
        else if (auto *combo = qobject_cast<QComboBox *>(widget))
            QCOMPARE(combo->currentText(), text);
        else if (auto *pane = qobject_cast<QTextEdit *>(widget))
            QCOMPARE(pane->toPlainText(), text);
    }

    void windowFrameMenusAndPaneFont()
    {
        QCOMPARE(window->objectName(), QStringLiteral("MainWindow"));
        QCOMPARE(window->windowTitle(), QStringLiteral("Varnex HDMI EDID Utility"));
        QCOMPARE(window->size(), QSize(400, 500));
        QCOMPARE(window->maximumSize(), QSize(400, 500));
        QCOMPARE(window->minimumSize(), QSize(0, 0));
        QCOMPARE(window->centralWidget()->objectName(), QStringLiteral("centralwidget"));
        QCOMPARE(window->menuBar()->objectName(), QStringLiteral("menubar"));
        QCOMPARE(window->statusBar()->objectName(), QStringLiteral("statusbar"));

        QStringList menus;
        for (QAction *action : window->menuBar()->actions())
            menus << action->text();
        QCOMPARE(menus, (QStringList{"File", "Help"}));
        const auto *fileMenu = window->findChild<QMenu *>(QStringLiteral("menuFile"));
        const auto *helpMenu = window->findChild<QMenu *>(QStringLiteral("menuHelp"));
        QCOMPARE(fileMenu->actions().size(), 1);
        QCOMPARE(fileMenu->actions().first()->objectName(), QStringLiteral("actionExit"));
        QCOMPARE(fileMenu->actions().first()->text(), QStringLiteral("Exit"));
        QCOMPARE(helpMenu->actions().size(), 1);
        QCOMPARE(helpMenu->actions().first()->objectName(), QStringLiteral("actionAbout"));
        QCOMPARE(helpMenu->actions().first()->text(), QStringLiteral("About"));
        QCOMPARE(fileMenu->actions().first()->parent(), window.get());

        const auto *pane = window->findChild<QTextEdit *>(QStringLiteral("EDIDtext"));
        QCOMPARE(pane->font().family(), QStringLiteral("Courier New"));
        QCOMPARE(pane->font().weight(), QFont().weight());
        QCOMPARE(pane->font().pointSizeF(), QFont().pointSizeF());
    }

    void textsGoThroughTheWindowContext()
    {
        MarkingTranslator translator;
        QCoreApplication::installTranslator(&translator);
        MainWindow translated;
        QCoreApplication::removeTranslator(&translator);
        QCOMPARE(translated.windowTitle(), QStringLiteral("T:Varnex HDMI EDID Utility"));
        QCOMPARE(translated.findChild<QPushButton *>(QStringLiteral("ButReadEDID"))->text(),
                 QStringLiteral("T:Read EDID"));
        // The source names are not translated.
        QCOMPARE(translated.findChild<QComboBox *>(QStringLiteral("EdidAddress"))->itemText(1),
                 QStringLiteral("Sink EDID"));
    }

    void slotTableInItsOrder()
    {
        const QMetaObject *meta = window->metaObject();
        QCOMPARE(QString::fromLatin1(meta->className()), QStringLiteral("MainWindow"));
        QCOMPARE(meta->superClass(), &QMainWindow::staticMetaObject);
        QCOMPARE(meta->methodCount() - meta->methodOffset(), 9);
        QCOMPARE(meta->propertyCount(), meta->propertyOffset());
        QCOMPARE(meta->enumeratorCount(), meta->enumeratorOffset());
        const struct {
            const char *signature;
            QList<QByteArray> parameterNames;
            QMetaMethod::Access access;
        } expected[] = {
            {"on_ProgressChange(int,int)", {"a", "b"}, QMetaMethod::Public},
            {"SaveEDIDtoFile()", {}, QMetaMethod::Private},
            {"LoadEDIDfromFile()", {}, QMetaMethod::Private},
            {"FileExit()", {}, QMetaMethod::Private},
            {"FileAbout()", {}, QMetaMethod::Private},
            {"ReadEDID()", {}, QMetaMethod::Private},
            {"WriteEDID()", {}, QMetaMethod::Private},
            {"SelectEdid(int)", {""}, QMetaMethod::Private},
            {"CalculateChkSum()", {}, QMetaMethod::Private},
        };
        for (int i = 0; i < 9; ++i) {
            const QMetaMethod method = meta->method(meta->methodOffset() + i);
            QCOMPARE(method.methodSignature(), QByteArray(expected[i].signature));
            QCOMPARE(method.methodType(), QMetaMethod::Slot);
            QCOMPARE(method.access(), expected[i].access);
            QCOMPARE(method.returnType(), int(QMetaType::Void));
            QCOMPARE(method.parameterNames(), expected[i].parameterNames);
        }
    }

    void connectionsRouteCommandsToSlots_data()
    {
        QTest::addColumn<QString>("sender");
        QTest::addColumn<QStringList>("connections");
        QTest::newRow("selector") << "EdidAddress"
                                  << QStringList{"currentIndexChanged(int) -> SelectEdid(int)"};
        QTest::newRow("read") << "ButReadEDID" << QStringList{"pressed() -> ReadEDID()"};
        QTest::newRow("write") << "ButWriteEDID" << QStringList{"pressed() -> WriteEDID()"};
        QTest::newRow("load") << "ButLoadEDID"
                              << QStringList{"pressed() -> LoadEDIDfromFile()"};
        QTest::newRow("save") << "ButSaveEDID" << QStringList{"pressed() -> SaveEDIDtoFile()"};
        QTest::newRow("close") << "ButClose" << QStringList{"pressed() -> FileExit()"};
        QTest::newRow("exit") << "actionExit" << QStringList{"triggered(bool) -> FileExit()"};
        QTest::newRow("about") << "actionAbout" << QStringList{"triggered(bool) -> FileAbout()"};
        QTest::newRow("checksum") << "ButCalculateCheckSum"
                                  << QStringList{"pressed() -> CalculateChkSum()"};
    }
    void connectionsRouteCommandsToSlots()
    {
        QFETCH(QString, sender);
        QFETCH(QStringList, connections);
        QObject *object = window->findChild<QObject *>(sender);
        QVERIFY(object);
        QCOMPARE(outgoingConnections(object), connections);
    }

    void startsOnTheCurrentEdid()
    {
        const auto *selector = window->findChild<QComboBox *>(QStringLiteral("EdidAddress"));
        QStringList items;
        for (int i = 0; i < selector->count(); ++i) {
            items << selector->itemText(i);
            QVERIFY(!selector->itemData(i).isValid());
        }
        QCOMPARE(items, (QStringList{"Current EDID", "Sink EDID", "Custom EDID 6",
                                     "Custom EDID 7", "Custom/Sink EDID 8"}));
        QCOMPARE(selector->currentIndex(), 0);
        QCOMPARE(SelectedEdidAddress, std::uint8_t(0xB0));
        QCOMPARE(ExpectedSerial, std::uint16_t(2011));
        QCOMPARE(DeviceHandle, kNoUsbHandle);
        QVERIFY(window->statusBar()->currentMessage().isEmpty());
    }

    void selectorSetsTheAddress_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("address");
        QTest::newRow("sink") << 1 << 0xA0;
        QTest::newRow("custom 6") << 2 << 0xB2;
        QTest::newRow("custom 7") << 3 << 0xB4;
        QTest::newRow("custom/sink 8") << 4 << 0xB6;
        QTest::newRow("back to current") << 0 << 0xB0;
    }
    void selectorSetsTheAddress()
    {
        QFETCH(int, index);
        QFETCH(int, address);
        auto *selector = window->findChild<QComboBox *>(QStringLiteral("EdidAddress"));
        selector->setCurrentIndex(4);
        selector->setCurrentIndex(index);
        QCOMPARE(int(SelectedEdidAddress), address);
        EdidTextBuffer.fill('x');
        QMetaObject::invokeMethod(window.get(), "SelectEdid", Q_ARG(int, -1));
        QMetaObject::invokeMethod(window.get(), "SelectEdid", Q_ARG(int, 5));
        QCOMPARE(int(SelectedEdidAddress), address);
        QVERIFY(edidTextBufferIs('x'));
    }

    void progressDisplayWithoutABarDoesNothing()
    {
        window->on_ProgressChange(5, 10);
        QVERIFY(window->statusBar()->findChildren<QProgressBar *>().isEmpty());
    }

    void wrapperSlotsClearTheTextBuffer_data()
    {
        QTest::addColumn<QByteArray>("slot");
        QTest::addColumn<int>("source");
        QTest::newRow("save") << QByteArray("SaveEDIDtoFile") << 0;
        QTest::newRow("load") << QByteArray("LoadEDIDfromFile") << 0;
        QTest::newRow("read") << QByteArray("ReadEDID") << 0;
        QTest::newRow("write refused by the guard") << QByteArray("WriteEDID") << 0;
        QTest::newRow("write to a custom image") << QByteArray("WriteEDID") << 2;
        QTest::newRow("checksum") << QByteArray("CalculateChkSum") << 0;
    }
    void wrapperSlotsClearTheTextBuffer()
    {
        QFETCH(QByteArray, slot);
        QFETCH(int, source);
        window->findChild<QComboBox *>(QStringLiteral("EdidAddress"))->setCurrentIndex(source);
        virtualTool().attachDevices({}); // every operation fails at once
        MessageBoxWatcher watcher;
        EdidTextBuffer.fill('x');
        QVERIFY(QMetaObject::invokeMethod(window.get(), slot.constData()));
        QVERIFY(edidTextBufferIs('\0'));
    }

    void aboutBox()
    {
        MessageBoxWatcher watcher;
        EdidTextBuffer.fill('x');
        QVERIFY(QMetaObject::invokeMethod(window.get(), "FileAbout"));
        QCOMPARE(watcher.boxes().size(), 1);
        const ShownBox &box = watcher.boxes().first();
        QCOMPARE(box.title, QStringLiteral("About Varnex HDMI"));
        QVERIFY(box.text.startsWith(QLatin1String("<h2>Varnex HDMI EDID Utility Version 1.00</h2>")));
        QVERIFY(box.text.contains(QLatin1String("<p>")));
        QVERIFY(box.hasParent);
        QVERIFY(edidTextBufferIs('x'));
    }

    void deviceWarningsShowAParentlessModalBox()
    {
        MessageBoxWatcher watcher;
        ShowDeviceWarning("Unable to open handle to device!");
        QCOMPARE(watcher.boxes().size(), 1);
        const ShownBox &box = watcher.boxes().first();
        QCOMPARE(box.title, QStringLiteral(" "));
        QCOMPARE(box.text, QStringLiteral("Unable to open handle to device!"));
        QCOMPARE(box.icon, QMessageBox::Warning);
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QVERIFY(!box.hasParent);
        QCOMPARE(box.modality, Qt::ApplicationModal);
    }

    void formIsCarriedAsAResource()
    {
        QFile form(QStringLiteral(":/QT/forms/VarnexForm.ui"));
        QVERIFY(form.open(QIODevice::ReadOnly));
        QVERIFY(form.readAll().contains("<class>MainWindow</class>"));
    }

    void programEndings_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("report");
        QTest::newRow("close button") << QStringList{"close-button"}
                                      << "close-calls=0 open-handles=0 buffer-kept=1";
        QTest::newRow("file exit") << QStringList{"exit-action"}
                                   << "close-calls=0 open-handles=0 buffer-kept=1";
        QTest::newRow("close button, tool open") << QStringList{"close-button", "open"}
                                                 << "close-calls=1 open-handles=0 buffer-kept=1";
        QTest::newRow("file exit, tool open") << QStringList{"exit-action", "open"}
                                              << "close-calls=1 open-handles=0 buffer-kept=1";
        QTest::newRow("frame, tool open") << QStringList{"frame", "open"}
                                          << "close-calls=0 open-handles=1 buffer-kept=1";
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

private:
    std::unique_ptr<MainWindow> window;
};

VARNEX_REGISTER_TEST(MainWindowShellTest);
#include "tst_MainWindowShell.moc"
