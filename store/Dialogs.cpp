#include "store/Dialogs.h"

#include <cstdio>

namespace {
void printLine(const QString& text) {
    std::fputs(Dialogs::shownText(text).toLocal8Bit().constData(), stderr);
    std::fputc('\n', stderr);
}
} // namespace

QString Dialogs::shownText(const QString& text) {
    if (text.size() <= maxShown)
        return text;
    // Never half a surrogate pair.
    const qsizetype cut = text.at(maxShown - 1).isHighSurrogate() ? maxShown - 1 : maxShown;
    return text.left(cut) +
           QStringLiteral("…\n(以下 %1 文字を省略しました)").arg(text.size() - cut);
}

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
