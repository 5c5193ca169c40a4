#include "records/Steppers.h"

#include "store/Clock.h"
#include "store/Dialogs.h"
#include "store/TorvaneError.h"

#include <QDate>
#include <QRegularExpression>
#include <QTime>

namespace Steppers {

void ucDt(QString& sdt, int key, Qt::KeyboardModifiers shift, Dialogs& dialogs) {
    if (key != keyUp && key != keyDown)
        return;
    QString text = sdt;
    if (text.isEmpty())
        text = Clock::today().toString(QStringLiteral("yyyy/MM/dd"));
    static const QRegularExpression layout(
        QStringLiteral(R"(^\s*(\d{1,4})/(\d{1,2})/(\d{1,2})\s*$)"));
    const QRegularExpressionMatch m = layout.match(text);
    const QDate date =
        m.hasMatch() ? QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt())
                     : QDate();
    if (!date.isValid()) {
        dialogs.message(QStringLiteral("日付を確認してください"));
        return;
    }
    const int step = key == keyUp ? -1 : 1;
    const QDate moved = shift == Qt::ShiftModifier ? date.addMonths(step) : date.addDays(step);
    // Date text has four-digit years: a step out of years 1 to 9999 is refused like bad text.
    if (moved.year() < 1 || moved.year() > 9999) {
        dialogs.message(QStringLiteral("日付を確認してください"));
        return;
    }
    sdt = moved.toString(QStringLiteral("yyyy/MM/dd"));
}

void ucTm(QString& stm, int key) {
    if (key != keyUp && key != keyDown)
        return;
    const QString text = stm.isEmpty() ? QStringLiteral("00:00") : stm;
    static const QRegularExpression layout(
        QStringLiteral(R"(^\s*(\d{1,2}):(\d{1,2})(?::(\d{1,2}))?\s*$)"));
    const QRegularExpressionMatch m = layout.match(text);
    const QTime time = m.hasMatch() ? QTime(m.captured(1).toInt(), m.captured(2).toInt(),
                                            m.capturedLength(3) ? m.captured(3).toInt() : 0)
                                    : QTime();
    if (!time.isValid())
        throw TorvaneError(QStringLiteral("'%1' は正しい時刻ではありません").arg(text));
    // addSecs wraps within the day: 23:55 up gives 00:00, 00:00 down gives 23:55.
    stm = time.addSecs(key == keyUp ? 300 : -300).toString(QStringLiteral("HH:mm"));
}

void ucNm(QString& sn, int key) {
    if (key != keyUp && key != keyDown)
        return;
    // Wide enough that a step from the largest or smallest int cannot overflow.
    qint64 i = 1;
    if (!sn.isEmpty()) {
        bool ok = false;
        i = sn.trimmed().toInt(&ok);
        if (!ok)
            throw TorvaneError(QStringLiteral("'%1' は正しい整数ではありません").arg(sn));
    }
    i += key == keyUp ? 1 : -1;
    if (i < 1)
        i = 20;
    if (i > 20)
        i = 1;
    sn = QStringLiteral("%1").arg(i, 2, 10, QLatin1Char('0'));
}

} // namespace Steppers
