#include "DeviceState.h"
#include "MainWindow.h"
#include "MessageBoxWatcher.h"
#include "TestRegistry.h"
#include "UsbAccess.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QTemporaryFile>
#include <QTest>
#include <QTextEdit>

#include <unistd.h>

namespace {

// Sends what this process writes to its terminal into a file for as long as it lives.
class TerminalCapture {
public:
    TerminalCapture()
    {
        file_.open();
        std::fflush(nullptr);
        for (int fd : {1, 2}) {
            saved_[fd - 1] = dup(fd);
            dup2(file_.handle(), fd);
        }
    }
    ~TerminalCapture() { restore(); }
    QByteArray restore()
    {
        if (saved_[0] >= 0) {
            std::fflush(nullptr);
            for (int fd : {1, 2}) {
                dup2(saved_[fd - 1], fd);
                close(saved_[fd - 1]);
                saved_[fd - 1] = -1;
            }
        }
        QFile written(file_.fileName());
        written.open(QIODevice::ReadOnly);
        return written.readAll();
    }

private:
    QTemporaryFile file_;
    int saved_[2] = {-1, -1};
};

} // namespace

// The program's own library over the machine's libusb, as far as a machine without the tool
// can show it.
class LibusbRealTest : public QObject {
    Q_OBJECT

private slots:
    void initialisesAndFindsNoTool()
    {
        TerminalCapture terminal;
        std::uint32_t count = 99;
        const UsbStatus counted = UsbDeviceCount(&count);
        UsbStringBuffer text{};
        const UsbStatus string = UsbDeviceString(0, text, kUsbSerialString);
        UsbHandle handle = kNoUsbHandle;
        const UsbStatus opened = UsbOpenByIndex(0, &handle);
        const UsbStatus closed = UsbCloseHandle(1);
        const QByteArray printed = terminal.restore();

        QCOMPARE(counted, kUsbSuccess);
        QVERIFY(string != kUsbSuccess);
        QVERIFY(opened != kUsbSuccess);
        QCOMPARE(handle, kNoUsbHandle);
        QVERIFY(closed != kUsbSuccess);
        QCOMPARE(printed, QByteArray());
        if (QDir(QStringLiteral("/dev/bus/usb")).exists())
            QSKIP("this machine has a USB bus; which devices look like the tool is its own affair");
        QCOMPARE(count, 0u);
    }

    void windowFindsNoHardware_data()
    {
        QTest::addColumn<bool>("write");
        QTest::addColumn<QString>("box");
        QTest::newRow("read") << false << QStringLiteral("VARNEX|Hardware not found");
        QTest::newRow("write") << true
                               << QStringLiteral("Varnex HDMI|Varnex HDMI hardware not found");
    }
    void windowFindsNoHardware()
    {
        QFETCH(bool, write);
        QFETCH(QString, box);
        if (QDir(QStringLiteral("/dev/bus/usb")).exists())
            QSKIP("this machine has a USB bus; a tool may be attached");
        MainWindow window;
        window.findChild<QComboBox *>(QStringLiteral("EdidAddress"))->setCurrentIndex(2);
        // 256 zero bytes: both checksums are right, so a write goes as far as looking for the tool.
        QString zeros;
        for (int line = 0; line < 16; ++line)
            zeros += QStringLiteral("00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\n");
        auto *pane = window.findChild<QTextEdit *>(QStringLiteral("EDIDtext"));
        pane->setPlainText(zeros);
        MessageBoxWatcher watcher;

        QVERIFY(!(write ? window.DoWriteEDID() : window.DoReadEDID()));
        QCOMPARE(watcher.boxes().size(), 1);
        QCOMPARE(watcher.boxes()[0].title + QLatin1Char('|') + watcher.boxes()[0].text, box);
        QCOMPARE(pane->toPlainText(), zeros);
        QCOMPARE(DeviceHandle, kNoUsbHandle);
    }
};

VARNEX_REGISTER_TEST(LibusbRealTest);

#include "tst_LibusbReal.moc"
