// The utility's start-up with a scripted ending, so that tests can watch the process end with the
// tool open: "close-button" or "exit-action" runs Exit from the Close button or File > Exit,
// "frame" closes the window through its frame. At process exit the probe prints what the tool
// saw: "close-calls=N open-handles=N buffer-kept=0|1".
#include "DeviceState.h"
#include "EdidTextBuffer.h"
#include "MainWindow.h"
#include "UsbAccess.h"
#include "VirtualTool.h"

#include <QApplication>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    const QString ending = application.arguments().value(1);
    virtualTool(); // constructed before the handler is registered, so it outlives the report
    std::atexit([] {
        std::printf("close-calls=%d open-handles=%d buffer-kept=%d\n",
                    virtualTool().callCount(VirtualTool::Operation::CloseHandle),
                    virtualTool().openHandleCount(),
                    int(std::count(EdidTextBuffer.begin(), EdidTextBuffer.end(), 'x') == 1000));
    });
    auto *window = new MainWindow;
    window->show();
    QTimer::singleShot(0, window, [window, ending] {
        EdidTextBuffer.fill('x');
        UsbOpenByIndex(0, &DeviceHandle);
        if (ending == "close-button")
            QTest::mousePress(window->findChild<QWidget *>("ButClose"), Qt::LeftButton);
        else if (ending == "exit-action")
            QMetaObject::invokeMethod(window->findChild<QObject *>("actionExit"), "trigger");
        else
            window->close();
    });
    const int status = application.exec();
    delete window;
    return status;
}
