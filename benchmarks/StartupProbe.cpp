// Start-up probe for the benchmark: starts like the utility (or, built without
// VARNEX_PROBE_UTILITY, as a bare Qt main window), prints "shown" once the window's first frame
// is on screen and quits.
#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWindow>

#include <cstdio>

#ifdef VARNEX_PROBE_UTILITY
#include "MainWindow.h"

#include <QLoggingCategory>
using ProbedWindow = MainWindow;
#else
#include <QMainWindow>
using ProbedWindow = QMainWindow;
#endif

namespace {

// Reports the first expose; the frame has been painted when the queued report runs.
class ExposeWatcher : public QObject {
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *window = qobject_cast<QWindow *>(watched);
        if (event->type() == QEvent::Expose && window && window->isExposed() && !reported_) {
            reported_ = true;
            QTimer::singleShot(0, qApp, [] {
                std::printf("shown\n");
                std::fflush(stdout);
                QCoreApplication::quit();
            });
        }
        return false;
    }

private:
    bool reported_ = false;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
#ifdef VARNEX_PROBE_UTILITY
    QLoggingCategory::setFilterRules(
        QStringLiteral("qt.core.qmetaobject.connectslotsbyname=false"));
#endif
    ExposeWatcher watcher;
    application.installEventFilter(&watcher);
    auto *window = new ProbedWindow;
    window->show();
    const int status = application.exec();
    delete window;
    return status;
}
