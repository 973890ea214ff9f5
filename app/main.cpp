#include "MainWindow.h"

#include <QApplication>
#include <QLoggingCategory>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    // The progress slot's name starts with "on_" like an auto-connected one; it is wired by hand.
    QLoggingCategory::setFilterRules(
        QStringLiteral("qt.core.qmetaobject.connectslotsbyname=false"));
    auto *window = new MainWindow;
    window->show();
    const int status = application.exec();
    // Closed through its frame: the window is still alive here; release it with the application.
    delete window;
    return status;
}
