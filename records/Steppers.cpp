#include "records/Steppers.h"

#include "store/Clock.h"
#include "store/Dialogs.h"
#include "store/TextRules.h"
#include "store/TorvaneError.h"

#include <QDate>
#include <QTime>

namespace Steppers {

void ucDt(QString& sdt, int key, Qt::KeyboardModifiers shift, Dialogs& dialogs) {
    if (key != Vk::Up && key != Vk::Down)
        return;
    QString text = sdt;
    if (text.isEmpty())
        text = TextRules::dateText(Clock::today());
    const QDate date = TextRules::readDate(text);
    if (!date.isValid()) {
        dialogs.message(QStringLiteral("日付を確認してください"));
        return;
    }
    const int step = key == Vk::Up ? -1 : 1;
    const QDate moved = shift == Qt::ShiftModifier ? date.addMonths(step) : date.addDays(step);
    // Date text has four-digit years: a step out of years 1 to 9999 is refused like bad text.
    if (moved.year() < 1 || moved.year() > 9999) {
        dialogs.message(QStringLiteral("日付を確認してください"));
        return;
    }
    sdt = TextRules::dateText(moved);
}

void ucTm(QString& stm, int key) {
    if (key != Vk::Up && key != Vk::Down)
        return;
    const QString text = stm.isEmpty() ? QStringLiteral("00:00") : stm;
    const QTime time = TextRules::readTime(text);
    if (!time.isValid())
        throw TorvaneError(QStringLiteral("'%1' は正しい時刻ではありません").arg(text));
    // addSecs wraps within the day: 23:55 up gives 00:00, 00:00 down gives 23:55.
    stm = time.addSecs(key == Vk::Up ? 300 : -300).toString(QStringLiteral("HH:mm"));
}

void ucNm(QString& sn, int key) {
    if (key != Vk::Up && key != Vk::Down)
        return;
    // Wide enough that a step from the largest or smallest int cannot overflow.
    qint64 i = 1;
    if (!sn.isEmpty())
        i = TextRules::intOf(sn);
    i += key == Vk::Up ? 1 : -1;
    if (i < 1)
        i = 20;
    if (i > 20)
        i = 1;
    sn = QStringLiteral("%1").arg(i, 2, 10, QLatin1Char('0'));
}

} // namespace Steppers
