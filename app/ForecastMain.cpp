#include "session/HeadlessPipeline.h"
#include "session/Session.h"
#include "session/Translations.h"
#include "store/TextFile.h"
#include "store/TorvaneError.h"

#include <QCoreApplication>

#include <cstdio>
#include <new>

#include <malloc.h>

namespace {

// Exit statuses: a run that failed, and arguments the command cannot read.
constexpr int failedRun = 1;
constexpr int usageError = 2;

// The whole text, whatever it holds: a NUL would end it for fputs.
void printOut(const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout);
}

// One line of the output, passed on at once: a script sees a file's summary even when a later
// file stops the run.
void printLine(const QString& line) {
    printOut(line + u'\n');
    std::fflush(stdout);
}

} // namespace

// torvane-forecast: the window's pipeline without the window, messages on standard error and
// every dialog answered OK.
int main(int argc, char* argv[]) {
    // Blocks from 128 KiB on are mapped on their own and given back when freed. Left to itself
    // the allocator raises that bound to the largest block freed so far, and the price table's
    // columns, read again after every step, then leave holes that keep the heap at its highest.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    TextFile::failWritesPastTheSizeLimit();
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
        HeadlessPipeline(session, options).run(printLine);
    } catch (const UsageError& e) {
        dialogs.error(QStringLiteral("torvane-forecast: ") + e.text());
        return usageError;
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
