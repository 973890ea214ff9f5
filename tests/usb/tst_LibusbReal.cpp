#include "EdidSamples.h"
#include "MainWindow.h"
#include "MessageBoxWatcher.h"
#include "TestRegistry.h"
#include "UsbAccess.h"

#include <QComboBox>
#include <QDir>
#include <QTemporaryFile>
#include <QTest>
#include <QTextEdit>

#include <unistd.h>

// The program's own library over the machine's libusb, as far as a machine without the tool
// can show it.
class LibusbRealTest : public QObject {
    Q_OBJECT

private slots:
    void initialisesQuietlyAndFindsNoTool()
    {
        QTemporaryFile terminal; // takes what the calls print to the terminal
        QVERIFY(terminal.open());
        std::fflush(nullptr);
        const int saved[] = {dup(1), dup(2)};
        dup2(terminal.handle(), 1);
        dup2(terminal.handle(), 2);
        std::uint32_t count = 99;
        const UsbStatus counted = UsbDeviceCount(&count);
        std::fflush(nullptr);
        for (int fd : {1, 2}) {
            dup2(saved[fd - 1], fd);
            close(saved[fd - 1]);
        }
        QCOMPARE(terminal.size(), qint64(0)); // nothing was printed
        QCOMPARE(counted, kUsbSuccess);

        if (QDir(QStringLiteral("/dev/bus/usb")).exists())
            QSKIP("this machine has a USB bus; a tool may be attached");
        QCOMPARE(count, 0u);
        MainWindow window;
        window.findChild<QComboBox *>(QStringLiteral("EdidAddress"))->setCurrentIndex(2);
        // 256 zero bytes: both checksums are right, so a write goes as far as looking for the tool.
        window.findChild<QTextEdit *>(QStringLiteral("EDIDtext"))
            ->setPlainText(hexText(EdidImage().bytes));
        MessageBoxWatcher watcher;
        QVERIFY(!window.DoReadEDID() && !window.DoWriteEDID());
        QCOMPARE(watcher.boxes,
                 QStringList({"VARNEX|Hardware not found||warning OK parent",
                              "Varnex HDMI|Varnex HDMI hardware not found||warning OK parent"}));
    }
};

VARNEX_REGISTER_TEST(LibusbRealTest);

#include "tst_LibusbReal.moc"
