#include "session/HeadlessPipeline.h"
#include "session/Session.h"
#include "store/TorvaneError.h"

#include <QCoreApplication>

#include <cstdio>
#include <new>

// torvane-forecast: the window's pipeline without the window, messages on standard error and
// every dialog answered OK.
int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    ConsoleDialogs dialogs;
    try {
        const HeadlessOptions options = HeadlessOptions::parse(app.arguments().mid(1));
        Session session(dialogs);
        for (const QString& line : HeadlessPipeline(session, options).run())
            std::printf("%s\n", line.toLocal8Bit().constData());
    } catch (const TorvaneError& e) {
        dialogs.error(e.text());
        return 1;
    } catch (const std::bad_alloc&) {
        dialogs.error(QStringLiteral("メモリが足りません。中止しました。"
                                     "データベースに保存されたものはそのままです。"));
        return 1;
    }
    return 0;
}
