#include "app/Session.h"
#include "prices/HeadlessPipeline.h"
#include "store/TorvaneError.h"

#include <QCoreApplication>

// torvane-forecast: the window's pipeline without the window, messages on standard error and
// every dialog answered OK.
int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    ConsoleDialogs dialogs;
    try {
        const HeadlessOptions options = HeadlessOptions::parse(app.arguments().mid(1));
        Session session(dialogs);
        HeadlessPipeline(session, options).run();
    } catch (const TorvaneError& e) {
        dialogs.error(e.text());
        return 1;
    }
    return 0;
}
