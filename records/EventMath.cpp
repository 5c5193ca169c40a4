#include "records/EventMath.h"

#include "store/Store.h"
#include "store/TextRules.h"
#include "store/TorvaneError.h"

#include <QDate>

#include <limits>

namespace {

int checked(qint64 value, const QString& what) {
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        throw TorvaneError(QStringLiteral("%1が大きすぎて計算できません").arg(what));
    return int(value);
}

// The announcement date of the event page, named in the error the user reads.
QDate readDate(const QString& text) {
    const QDate date = TextRules::readDate(text);
    if (!date.isValid())
        throw TorvaneError(
            QStringLiteral("発表日 '%1' を日付として読めません。yyyy/mm/dd の形で入力してください")
                .arg(text));
    return date;
}

// Runs one SELECT of CV on qm over the in-memory database and returns the CV of the first or
// the last row, empty when there is none.
QString closeOf(Store& store, const QString& sql, bool last) {
    Query& qm = store.dm().qm;
    qm.setConnection(store.dm().csm());
    qm.setSql(sql);
    qm.open();
    QString cv;
    if (qm.recordCount() > 0) {
        if (last)
            qm.last();
        else
            qm.first();
        cv = qm.field(QStringLiteral("CV")).asString();
    }
    qm.close();
    return cv;
}

} // namespace

namespace EventMath {

Difference difference(const QString& base, const QString& result, const QString& resultName) {
    const qint64 b = TextRules::intOf(base);
    const qint64 r = TextRules::intOf(result);
    const int value = checked(r - b, QStringLiteral("差"));
    if (r == 0)
        throw TorvaneError(QStringLiteral("%1が0のため、差の割合を計算できません").arg(resultName));
    const qint64 product = checked(qint64(value) * 100, QStringLiteral("差"));
    // C++ division truncates toward zero, as the percentage needs.
    const int percent = checked(product / r, QStringLiteral("差の割合"));
    return {value, percent};
}

bool pricesLoaded(Store& store) {
    return store.dm().qd.isOpen();
}

Bound beforeBound(const QString& date, const QString& time) {
    // Every bar of the day before lies before 24:00, so an announcement at midnight takes
    // the last bar of the previous day.
    if (time == QLatin1String("00:00"))
        return {TextRules::dateText(readDate(date).addDays(-1)), QStringLiteral("24:00")};
    return {date, time};
}

Bound afterBound(const QString& date, const QString& time) {
    bool ok = false;
    int hour = time.left(2).trimmed().toInt(&ok);
    if (!ok || hour < 0 || hour == std::numeric_limits<int>::max())
        throw TorvaneError(
            QStringLiteral("時間 '%1' を時刻として読めません。hh:nn の形で入力してください")
                .arg(time));
    ++hour;
    QString day = date;
    if (hour > 23) {
        hour = 0;
        day = TextRules::dateText(readDate(date).addDays(1));
    }
    return {day, QStringLiteral("%1:00").arg(hour, 2, 10, QLatin1Char('0'))};
}

QString priceBefore(Store& store, const QString& date, const QString& time) {
    const Bound b = beforeBound(date, time);
    return closeOf(store,
                   QStringLiteral(" select CV from F01YSK where LYMD <= ") +
                       Store::sqlText(b.date) + QStringLiteral(" and ") +
                       QStringLiteral(" LHM < ") + Store::sqlText(b.time) +
                       QStringLiteral(" order by CNT "),
                   true);
}

QString priceAfter(Store& store, const QString& date, const QString& time) {
    const Bound b = afterBound(date, time);
    return closeOf(store,
                   QStringLiteral(" select CV from F01YSK where LYMD >= ") +
                       Store::sqlText(b.date) + QStringLiteral(" and ") +
                       QStringLiteral(" LHM > ") + Store::sqlText(b.time) +
                       QStringLiteral(" order by CNT "),
                   false);
}

} // namespace EventMath
