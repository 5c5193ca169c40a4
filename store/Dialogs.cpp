#include "store/Dialogs.h"

#include <cstdio>

namespace {
void printLine(const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stderr);
    std::fputc('\n', stderr);
}
} // namespace

void ConsoleDialogs::message(const QString& text) {
    printLine(text);
}

bool ConsoleDialogs::confirm(const QString& text) {
    printLine(text + QStringLiteral(" [はい]"));
    return true;
}

void ConsoleDialogs::error(const QString& text) {
    printLine(text);
}

std::optional<QString> ConsoleDialogs::askText(const QString& text, const QString& initial) {
    printLine(text + QStringLiteral(" [%1]").arg(initial));
    return initial;
}
