#include "records/RegisterTable.h"

#include "records/Steppers.h"
#include "store/Store.h"
#include "store/TorvaneError.h"

#include <limits>

const RegisterTable RegisterTable::proForecast{QStringLiteral("F05PMF"), &Tdm::qb, true, true};
const RegisterTable RegisterTable::eventRecords{QStringLiteral("F06EVR"), &Tdm::qe, false, true};
const RegisterTable RegisterTable::eventList{QStringLiteral("F07EVL"), &Tdm::qf1, false, false};
const RegisterTable RegisterTable::categories{QStringLiteral("F08EVK"), &Tdm::qf2, false, false};

namespace RegisterTables {

void openGrid(Store& store, const RegisterTable& table) {
    Registers& r = store.reg();
    r.stdb = QStringLiteral("csq");
    r.stnm = table.table;
    if (table.ordersItself)
        r.swh = QStringLiteral(" order by CNT ");
    store.ucSql(Store::sqlSelect);
    Query& query = table.queryOf(store.dm());
    query.setConnection(store.dm().csq());
    query.setSql(r.sqw);
    query.open();
    if (table.lastRowCurrent)
        query.last();
    else
        query.first();
    Query& qst = store.dm().qst;
    int i = 0;
    for (qst.first(); !qst.eof(); qst.next(), ++i)
        query.setDisplayWidth(i, qst.field(QStringLiteral("DPW")).asInteger());
    qst.close();
}

QString nextCount(Store& store, const RegisterTable& table) {
    Query& qq = store.dm().qq;
    qq.setConnection(store.dm().csq());
    qq.setSql(QStringLiteral(" select Max(CNT) as CNT from ") + table.table + u' ');
    qq.open();
    const Field cnt = qq.field(QStringLiteral("CNT"));
    QString count;
    if (cnt.asString().isEmpty()) {
        count = QStringLiteral("1");
    } else {
        const int largest = cnt.asInteger();
        if (largest == std::numeric_limits<int>::max()) {
            qq.close();
            throw TorvaneError(
                QStringLiteral("%1 の行番号がこれ以上増やせません").arg(table.table));
        }
        count = QString::number(largest + 1);
    }
    qq.close();
    return count;
}

QString stepRow(Query& query, int key, const QString& column) {
    const int rows = query.recordCount();
    if (rows == 0)
        return {};
    if (key == Vk::Up) {
        if (query.currentRow() <= 0)
            query.last();
        else
            query.prior();
    } else if (key == Vk::Down) {
        if (query.currentRow() >= rows - 1)
            query.first();
        else
            query.next();
    }
    return query.field(column).asString();
}

QString categoryFilter(const QString& category) {
    return QStringLiteral(" where EKB = ") + Store::sqlText(category) +
           QStringLiteral(" order by cnt ");
}

QString eventNameFilter(const QString& name) {
    return QStringLiteral(" where  ENW =  ") + Store::sqlText(name) +
           QStringLiteral(" order by cnt ");
}

} // namespace RegisterTables
