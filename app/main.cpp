#include "app/MainWindow.h"
#include "app/TorvaneApplication.h"
#include "browser/WebEngineWebView.h"
#include "ui/Look.h"

#include <QCommandLineParser>
#include <QStringList>

#include <cstdio>

namespace {

const char helpText[] =
    "使い方: torvane [Qt のオプション]\n"
    "        torvane --help | --version\n"
    "\n"
    "USD/JPY の価格ファイルを読み込み、移動平均とニューラルネットワークで次の10本を予測して\n"
    "グラフに描き、プロの相場観と経済指標の記録をつけるウィンドウを開きます。\n"
    "データベース SQDB.DB は起動したフォルダに置きます。F1 で利用の手引きを開きます。\n"
    "\n"
    "オプション:\n"
    "  -h, --help     この説明を表示して終わります。\n"
    "  --version      バージョンを表示して終わります。\n"
    "  Qt のオプション (-platform など) はそのまま Qt に渡します。\n";

} // namespace

// torvane: the window. Besides Qt's own options only --help and --version are read.
int main(int argc, char* argv[]) {
    {
        QStringList arguments;
        for (int i = 0; i < argc; ++i)
            arguments << QString::fromLocal8Bit(argv[i]);
        QCommandLineParser parser;
        // Qt's own options (-platform, -reverse, ...) pass untouched to the application.
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        const QCommandLineOption version(QStringLiteral("version"));
        const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
        parser.addOption(version);
        parser.addOption(help);
        parser.parse(arguments);
        if (parser.isSet(help)) {
            std::fputs(helpText, stdout);
            return 0;
        }
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
