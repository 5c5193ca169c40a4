#include "ui/Look.h"
#include "app/MainWindow.h"
#include "app/TorvaneApplication.h"
#include "browser/WebEngineWebView.h"

#include <QCommandLineParser>
#include <QStringList>

#include <cstdio>

// torvane: the window. Besides Qt's own options only --version is read.
int main(int argc, char* argv[]) {
    {
        QStringList arguments;
        for (int i = 0; i < argc; ++i)
            arguments << QString::fromLocal8Bit(argv[i]);
        QCommandLineParser parser;
        // Qt's own options (-platform, -reverse, ...) pass untouched to the application.
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        const QCommandLineOption version(QStringLiteral("version"));
        parser.addOption(version);
        parser.parse(arguments);
        if (parser.isSet(version)) {
            std::fputs("torvane " TORVANE_VERSION "\n", stdout);
            return 0;
        }
    }
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
