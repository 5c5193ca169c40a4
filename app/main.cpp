#include "ui/Look.h"
#include "app/MainWindow.h"
#include "app/TorvaneApplication.h"
#include "browser/WebEngineWebView.h"

#include <cstdio>

// torvane: the window. No command-line arguments are read.
int main(int argc, char* argv[]) {
    if (const QString why = TorvaneApplication::missingDisplay(); !why.isEmpty()) {
        std::fprintf(stderr, "torvane: %s\n", qPrintable(why));
        return 1;
    }
    // Chromium's sandbox is switched off only when running as root, where it cannot start.
    WebEngineWebView::prepareEnvironment();
    TorvaneApplication app(argc, argv);
    // A top-level window owns its taskbar button by itself.
    applyDarkLook(app);
    TKestoF kestoF; // creates the data module with its in-memory connection
    kestoF.show();
    // Without a window manager (a virtual screen) nothing else would activate it.
    kestoF.activateWindow();
    return app.exec();
}
