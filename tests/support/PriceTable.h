#pragma once

#include "session/Session.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

// Fills F01YSK the way an import with its averages leaves it: `count` real bars of `step`
// minutes, the first ending at firstEnd, then ten forecast slots with empty prices. Bars from
// the averagesFrom-th on carry all four averages. Sets shm, slm and imcn.
inline void fillPriceTable(Session& session, const QDateTime& firstEnd, int count, int step = 5,
                           int averagesFrom = 1) {
    QSqlDatabase db = session.dm.database(session.dm.csm());
    QSqlQuery clear(db);
    clear.exec(QStringLiteral("delete from F01YSK"));
    db.transaction();
    QSqlQuery q(db);
    q.prepare(QStringLiteral("insert into F01YSK (CNT, SYMD, SHM, HV, LV, CV, M75, M1H, M4H, M1D, "
                             "LYMD, LHM) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    const auto row = [&](int cnt, const QDateTime& end, QVariant hv, QVariant lv, QVariant cv,
                         QVariant average) {
        const QDateTime start = end.addSecs(-60 * step);
        const QVariantList values{cnt,
                                  start.toString(QStringLiteral("yyyy/MM/dd")),
                                  start.toString(QStringLiteral("HH:mm")),
                                  hv,
                                  lv,
                                  cv,
                                  average,
                                  average,
                                  average,
                                  average,
                                  end.toString(QStringLiteral("yyyy/MM/dd")),
                                  end.toString(QStringLiteral("HH:mm"))};
        for (int i = 0; i < values.size(); ++i)
            q.bindValue(i, values[i]);
        if (!q.exec())
            qFatal("F01YSK: %s", qPrintable(q.lastError().text()));
    };
    int high = 0, low = 999999;
    for (int k = 0; k < count; ++k) {
        // A slow wave with some ripple, kept to six digits so text order is numeric order.
        const int cv = 150000 + (k * 37) % 1500 - 750 + (k / 12 % 2 ? 400 : -400);
        high = std::max(high, cv + 60);
        low = std::min(low, cv - 60);
        row(k + 1, firstEnd.addSecs(60 * step * k), cv + 60, cv - 60, cv,
            k + 1 >= averagesFrom ? QVariant(cv + 5) : QVariant());
    }
    const QDateTime lastEnd = firstEnd.addSecs(60 * step * (count - 1));
    for (int k = 1; k <= 10; ++k)
        row(count + k, lastEnd.addSecs(60 * step * k), {}, {}, {}, {});
    db.commit();
    session.reg.imcn = count;
    session.reg.shm = count > 0 ? QString::number(high) : QString();
    session.reg.slm = count > 0 ? QString::number(low) : QStringLiteral("999999");
}
