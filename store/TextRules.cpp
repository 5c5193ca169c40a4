#include "store/TextRules.h"

#include "store/TextFile.h"
#include "store/TorvaneError.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace TextRules {

QDate readDate(const QString& text) {
    static const QRegularExpression layout(
        QStringLiteral(R"(^\s*(\d{1,4})/(\d{1,2})/(\d{1,2})\s*$)"));
    const QRegularExpressionMatch m = layout.match(text);
    return m.hasMatch() ? QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt())
                        : QDate();
}

QTime readTime(const QString& text) {
    static const QRegularExpression layout(
        QStringLiteral(R"(^\s*(\d{1,2}):(\d{1,2})(?::(\d{1,2}))?\s*$)"));
    const QRegularExpressionMatch m = layout.match(text);
    return m.hasMatch() ? QTime(m.captured(1).toInt(), m.captured(2).toInt(),
                                m.capturedLength(3) ? m.captured(3).toInt() : 0)
                        : QTime();
}

QDateTime readDateTime(const QString& text) {
    const QString t = text.trimmed();
    const qsizetype blank = t.indexOf(QRegularExpression(QStringLiteral(R"(\s)")));
    if (blank < 0) {
        if (const QDate date = readDate(t); date.isValid())
            return QDateTime(date, QTime(0, 0));
        if (const QTime time = readTime(t); time.isValid())
            return QDateTime(QDate(1899, 12, 30), time);
        return {};
    }
    const QDate date = readDate(t.left(blank));
    const QTime time = readTime(t.mid(blank));
    return date.isValid() && time.isValid() ? QDateTime(date, time) : QDateTime();
}

namespace {

// The digits of text from `from` up to `to` (exclusive), blanks around allowed; -1 when there
// are none or anything else is there.
int numberIn(QStringView text, qsizetype from, qsizetype to) {
    while (from < to && text[from].isSpace())
        ++from;
    while (to > from && text[to - 1].isSpace())
        --to;
    if (from == to || to - from > 9)
        return -1;
    int v = 0;
    for (qsizetype i = from; i < to; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return -1;
        v = v * 10 + (c - u'0');
    }
    return v;
}

// Splits text at the separator into exactly `count` numbers; false when it does not.
bool numbersOf(QStringView text, QChar separator, int count, int* out) {
    qsizetype from = 0;
    for (int k = 0; k < count; ++k) {
        const qsizetype at = k + 1 < count ? text.indexOf(separator, from) : text.size();
        if (at < 0)
            return false;
        out[k] = numberIn(text, from, at);
        if (out[k] < 0)
            return false;
        from = at + 1;
    }
    return true;
}

} // namespace

std::optional<qint64> momentOf(const QString& date, const QString& time) {
    // Read by hand: the track record reads tens of thousands of these per refresh.
    int d[3];
    int t[3] = {0, 0, 0};
    if (!numbersOf(date, u'/', 3, d))
        return std::nullopt;
    const int parts = time.count(u':') + 1;
    if ((parts != 2 && parts != 3) || !numbersOf(time, u':', parts, t))
        return std::nullopt;
    const int hour = t[0], minute = t[1], second = t[2];
    if (!QDate::isValid(d[0], d[1], d[2]) || minute > 59 || second > 59 ||
        (hour > 23 && (hour != 24 || minute != 0 || second != 0)))
        return std::nullopt;
    // 24:00 is the end of a day's last bar in some exports: the next day's midnight.
    constexpr qint64 secondsPerDay = 24 * 60 * 60;
    return QDate(d[0], d[1], d[2]).toJulianDay() * secondsPerDay + hour * 3600 + minute * 60 +
           second;
}

QString dateText(const QDate& date) {
    return date.toString(QStringLiteral("yyyy/MM/dd"));
}

namespace {

[[noreturn]] void notAnInteger(const QString& text) {
    throw TorvaneError(QStringLiteral("'%1' は正しい整数ではありません").arg(text));
}

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\f';
}
bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

} // namespace

int intOf(const QString& text) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok)
        notAnInteger(text);
    return value;
}

qint64 integerOf(const QString& text) {
    bool ok = false;
    const qint64 value = text.trimmed().toLongLong(&ok);
    if (!ok)
        notAnInteger(text);
    return value;
}

std::optional<qint64> storedInteger(const QVariant& value) {
    if (value.isNull())
        return std::nullopt;
    bool ok = false;
    const qint64 i = value.toLongLong(&ok);
    if (ok)
        return i;
    const double d = value.toDouble(&ok);
    if (ok && std::abs(d) < 9.2e18 && d == double(qint64(d)))
        return qint64(d);
    return std::nullopt;
}

bool isNumericLiteral(QStringView text) {
    qsizetype i = 0, n = text.size();
    while (i < n && isBlank(text[i]))
        ++i;
    while (n > i && isBlank(text[n - 1]))
        --n;
    if (i < n && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    qsizetype digits = 0;
    while (i < n && isDigit(text[i]))
        ++i, ++digits;
    if (i < n && text[i] == u'.') {
        ++i;
        while (i < n && isDigit(text[i]))
            ++i, ++digits;
    }
    if (digits == 0)
        return false;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        if (i < n && (text[i] == u'+' || text[i] == u'-'))
            ++i;
        qsizetype exponent = 0;
        while (i < n && isDigit(text[i]))
            ++i, ++exponent;
        if (exponent == 0)
            return false;
    }
    return i == n;
}

bool boundValue(const QString& raw, bool textColumn, int length, QVariant& out) {
    if (raw.isEmpty()) {
        out = QVariant();
        return true;
    }
    if (textColumn) {
        QString text = TextFile::cutToLength(raw, length);
        if (text.isNull())
            text = QString(QLatin1String("")); // an empty text, which must not bind as NULL
        out = text;
        return true;
    }
    if (!isNumericLiteral(raw))
        return false;
    const QString number = raw.trimmed();
    bool ok = false;
    const qlonglong integer = number.toLongLong(&ok);
    if (ok) {
        out = integer;
        return true;
    }
    // A literal beyond the range of a double reads as infinity or zero in SQL; Qt gives the same
    // value and only reports the overflow.
    out = number.toDouble();
    return true;
}

QString ErPeriod(QString& st) {
    const qsizetype p = st.indexOf(u'.');
    if (p >= 0)
        st.remove(p, 1);
    return st;
}

} // namespace TextRules
