// Times the start of the window to the moment it is idle, offscreen: the application object,
// the window with its eight pages, the first activation (SQDB.DB opened or created, the
// catalogue loaded on a first run, every table ensured, every page initialised) and the events
// that follow until the event loop has nothing left to do. Reports the peak memory.
//   bench_startup [first|again]   first: an empty folder (default), again: SQDB.DB already there
#include "BenchSupport.h"
#include "ui/Look.h"
#include "app/MainWindow.h"
#include "app/TorvaneApplication.h"
#include "browser/WebEngineWebView.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>

using bench::cpuMs;
using bench::peakKilobytes;
using bench::SilentDialogs;

namespace {} // namespace

int main(int argc, char* argv[]) {
    QElapsedTimer clock;
    clock.start();
    const bool again = argc > 1 && QByteArray(argv[1]) == "again";
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    WebEngineWebView::prepareEnvironment();
    TorvaneApplication app(argc, argv);
    applyDarkLook(app);
    qint64 application = clock.elapsed();
    if (again) {
        // A database from an earlier run, made by a start-up of its own and not timed.
        SilentDialogs quiet;
        Session(quiet).openDatabases();
        clock.restart();
    }

    SilentDialogs dialogs;
    TKestoF window(dialogs, defaultCatalogueDir());
    qint64 created = clock.elapsed();
    window.show();
    window.activateWindow();
    window.FormActivate(); // the activation event would run it; called here so it is timed alone
    qint64 activated = clock.elapsed();
    qint64 idle = 0;
    QTimer::singleShot(0, &app, [&] {
        idle = clock.elapsed();
        app.quit();
    });
    app.exec();

    if (again) {
        created += application;
        activated += application;
        idle += application;
    }
    std::printf("%s start: application %lld ms, window %lld ms, first activation %lld ms, idle "
                "after %lld ms in all; peak memory %ld kB\n",
                again ? "later (SQDB.DB there)" : "first (empty folder)", application,
                created - application, activated - created, idle, peakKilobytes());
    return window.startupRan() ? 0 : 1;
}
