#include "prices/PriceFile.h"

#include <QRegularExpression>

namespace PriceFile {

namespace {
constexpr qint64 msecsPerDay = 86400000;
} // namespace

QStringList splitFields(const QString& line) {
    QStringList fields;
    const qsizetype n = line.size();
    if (n == 0)
        return fields;
    if (!line.contains(u'"'))
        return line.split(u',');
    qsizetype i = 0;
    while (true) {
        QString field;
        if (i < n && line.at(i) == u'"') {
            ++i;
            while (i < n) {
                if (line.at(i) == u'"') {
                    if (i + 1 < n && line.at(i + 1) == u'"') {
                        field += u'"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += line.at(i++);
            }
        }
        const qsizetype comma = line.indexOf(u',', i);
        const qsizetype end = comma < 0 ? n : comma;
        field += QStringView(line).mid(i, end - i);
        fields << field;
        if (comma < 0)
            break;
        i = comma + 1;
    }
    return fields;
}

QString cutoffDate(const QDate& today) {
    return today.addMonths(-2).toString(QStringLiteral("yyyy/MM/dd"));
}

bool readMoment(const QString& text, qint64* msecs) {
    static const QRegularExpression layout(QStringLiteral(
        R"(^\s*(\d{1,4})/(\d{1,2})/(\d{1,2})(?:\s+(\d{1,2}):(\d{1,2})(?::(\d{1,2})(?:\.(\d{1,3}))?)?)?\s*$)"));
    const QRegularExpressionMatch m = layout.match(text);
    if (!m.hasMatch())
        return false;
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    if (!date.isValid())
        return false;
    int ms = 0;
    if (m.hasCaptured(4)) {
        const QString fraction = m.captured(7).leftJustified(3, u'0');
        const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt(),
                         fraction.toInt());
        if (!time.isValid())
            return false;
        ms = time.msecsSinceStartOfDay();
    }
    *msecs = date.toJulianDay() * msecsPerDay + ms;
    return true;
}

QString dateText(qint64 msecs) {
    const qint64 day =
        msecs >= 0 ? msecs / msecsPerDay : -((-msecs + msecsPerDay - 1) / msecsPerDay);
    return QDate::fromJulianDay(day).toString(QStringLiteral("yyyy/MM/dd"));
}

QString timeText(qint64 msecs) {
    qint64 ms = msecs % msecsPerDay;
    if (ms < 0)
        ms += msecsPerDay;
    return QTime::fromMSecsSinceStartOfDay(int(ms)).toString(QStringLiteral("HH:mm"));
}

} // namespace PriceFile
