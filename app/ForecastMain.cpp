#include "session/HeadlessPipeline.h"
#include "session/Session.h"
#include "session/Translations.h"
#include "store/TorvaneError.h"

#include <QCoreApplication>

#include <cstdio>
#include <new>

namespace {

// Exit statuses: a run that failed, and arguments the command cannot read.
constexpr int failedRun = 1;
constexpr int usageError = 2;

void printOut(const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stdout);
}

} // namespace

// torvane-forecast: the window's pipeline without the window, messages on standard error and
// every dialog answered OK.
int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(TORVANE_VERSION));
    installQtTranslations(app);
    ConsoleDialogs dialogs;
    HeadlessOptions options;
    try {
        options = HeadlessOptions::parse(app.arguments().mid(1));
    } catch (const UsageError& e) {
        dialogs.error(QStringLiteral("torvane-forecast: ") + e.text());
        return usageError;
    }
    if (options.help) {
        printOut(options.helpText);
        return 0;
    }
    if (options.version) {
        printOut(QStringLiteral("torvane-forecast " TORVANE_VERSION "\n"));
        return 0;
    }
    try {
        Session session(dialogs);
        for (const QString& line : HeadlessPipeline(session, options).run())
            std::printf("%s\n", line.toLocal8Bit().constData());
    } catch (const TorvaneError& e) {
        dialogs.error(e.text());
        return failedRun;
    } catch (const std::bad_alloc&) {
        dialogs.error(QStringLiteral("メモリが足りません。中止しました。"
                                     "データベースに保存されたものはそのままです。"));
        return failedRun;
    }
    return 0;
}
