// The utility's start-up with a scripted ending, so that tests can watch the process end:
//   close-button | exit-action   run Exit from the Close button or File > Exit
//   frame                        close the window through its frame
// A second argument "open" opens the tool before the ending. At process exit the probe prints
// what the tool saw: "close-calls=N open-handles=N buffer-kept=0|1".
#include "DeviceState.h"
#include "EdidTextBuffer.h"
#include "MainWindow.h"
#include "UsbAccess.h"
#include "VirtualTool.h"

#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
void report()
{
    const bool kept = std::all_of(EdidTextBuffer.begin(), EdidTextBuffer.end(),
                                  [](char c) { return c == 'x'; });
    std::printf("close-calls=%d open-handles=%d buffer-kept=%d\n",
                virtualTool().callCount(VirtualTool::Operation::CloseHandle),
                virtualTool().openHandleCount(), kept ? 1 : 0);
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    const QString ending = argc > 1 ? QString::fromLatin1(argv[1]) : QString();
    const bool openTool = argc > 2 && std::strcmp(argv[2], "open") == 0;
    // Built before the report is registered, so that it is destroyed after the report ran.
    virtualTool();
    std::atexit(report);

    auto *window = new MainWindow;
    window->show();
    QTimer::singleShot(0, window, [window, ending, openTool] {
        EdidTextBuffer.fill('x');
        if (openTool)
            UsbOpenByIndex(0, &DeviceHandle);
        if (ending == QLatin1String("close-button"))
            QTest::mousePress(window->findChild<QPushButton *>(QStringLiteral("ButClose")),
                              Qt::LeftButton);
        else if (ending == QLatin1String("exit-action"))
            window->findChild<QAction *>(QStringLiteral("actionExit"))->trigger();
        else
            window->close();
    });
    const int status = application.exec();
    delete window;
    return status;
}
