#include "app/Session.h"
#include "store/TorvaneError.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

// torvane-forecast: the window's pipeline without the window, messages on standard error.
int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    ConsoleDialogs dialogs;
    try {
        Session session(dialogs);
        session.openDatabases();
    } catch (const TorvaneError& e) {
        dialogs.error(e.text());
        return 1;
    }
    return 0;
}
