#include "store/Store.h"

#include "store/TextFile.h"
#include "store/TextRules.h"
#include "store/TorvaneError.h"
#include "store/Transaction.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>

namespace {

// A quoted catalogue value back to its text: 'F10YSR' gives F10YSR.
QString unquoted(const QString& value) {
    if (value.size() < 2 || !value.startsWith(u'\'') || !value.endsWith(u'\''))
        return value;
    return value.mid(1, value.size() - 2).replace(QStringLiteral("''"), QStringLiteral("'"));
}

// The tables of the first SQDB.DB. Their catalogue rows are written by the catalogue loader
// alone: start-up adds to an existing catalogue only the tables that came after them, so a row
// the user removed from AAATBN never comes back under a new id.
const QStringList firstTables{"F01YSK", "F02W1H", "F03W4H", "F04WD1", "F05PMF",
                              "F06EVR", "F07EVL", "F08EVK", "F09CSV"};

// What a column added to one of the program's own tables says of the rows already there.
struct ColumnFill {
    const char* table;
    const char* column;
    const char* fill;
};
constexpr ColumnFill columnFills[] = {
    // Forecasts scored before closes were compared in units: an actual close outside half to
    // twice the last close came from a file of other units. The row goes back to unscored,
    // marked as such, and is tried again at later imports.
    {"F10YSR", "NSR",
     "update F10YSR set NSR = 2, ACV = NULL where ACV is not null and "
     "(ACV * 2 < LCV or ACV > LCV * 2)"},
};

qint64 largest(const QSqlDatabase& db, const QString& sql) {
    QSqlQuery q(db);
    if (!q.exec(sql))
        throw TorvaneError(Store::databaseReason(q.lastError()));
    return q.next() ? q.value(0).toLongLong() : 0;
}

QSet<qint64> integers(const QSqlDatabase& db, const QString& sql) {
    QSet<qint64> out;
    QSqlQuery q(db);
    if (!q.exec(sql))
        throw TorvaneError(Store::databaseReason(q.lastError()));
    while (q.next())
        out.insert(q.value(0).toLongLong());
    return out;
}

} // namespace

void Store::addMissingCatalogueTables() {
    const QDir dir(m_catalogueDir);
    const QString tbl = dir.absoluteFilePath(QStringLiteral("tbl.csv"));
    const QString tblstrc = dir.absoluteFilePath(QStringLiteral("tblstrc.csv"));
    if (!QFileInfo::exists(tbl) || !QFileInfo::exists(tblstrc))
        return;
    QSqlDatabase db = m_dm.database(m_dm.csq());
    if (!db.isOpen())
        return;

    QStringList added;
    QStringList addedColumns;
    try {
        // Looked at without a lock first: nearly every start finds nothing to add.
        if (missingLaterTables(tbl, tblstrc).isEmpty() &&
            missingLaterColumns(tbl, tblstrc).isEmpty())
            return;
        // Then again under the file's write lock, so that two programs starting at once do not
        // both add the same table or column.
        Transaction transaction(db, Transaction::Kind::Immediate);
        added = addLaterTables(missingLaterTables(tbl, tblstrc));
        addedColumns = addLaterColumns(missingLaterColumns(tbl, tblstrc));
        transaction.commit();
    } catch (const TorvaneError& error) {
        m_dialogs.error(QStringLiteral("ﾃﾞｰﾀﾍﾞｰｽ %1 に新しいﾃｰﾌﾞﾙを追加できません: %2\n"
                                       "ほかのﾃｰﾌﾞﾙはそのままです。追加するﾃｰﾌﾞﾙなしで続けます。")
                            .arg(m_dm.filePath(), error.text()));
        return;
    }
    if (!added.isEmpty())
        m_dialogs.message(QStringLiteral("ﾃﾞｰﾀﾍﾞｰｽ %1 にﾃｰﾌﾞﾙ %2 をｶﾀﾛｸﾞとともに追加しました。"
                                         "ほかのﾃｰﾌﾞﾙはそのままです。")
                              .arg(m_dm.filePath(), added.join(QStringLiteral("、"))));
    if (!addedColumns.isEmpty())
        m_dialogs.message(QStringLiteral("ﾃﾞｰﾀﾍﾞｰｽ %1 に列 %2 をｶﾀﾛｸﾞとともに追加しました。"
                                         "ほかの列と行はそのままです。")
                              .arg(m_dm.filePath(), addedColumns.join(QStringLiteral("、"))));
}

QList<Store::LaterColumn> Store::missingLaterColumns(const QString& tbl, const QString& tblstrc) {
    QSqlDatabase db = m_dm.database(m_dm.csq());
    // The program's own tables as the database's catalogue has them, by their file id.
    QHash<QString, qint64> tbidOf;
    {
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("select TNAM, TBID from AAATBN")))
            throw TorvaneError(databaseReason(q.lastError()));
        while (q.next())
            tbidOf.insert(q.value(0).toString().trimmed(), q.value(1).toLongLong());
    }
    QHash<QString, QString> fileTables; // file id -> name
    const auto tblField = [](int i) { return i > 3; };
    for (const QString& line :
         TextFile::readLines(tbl, TextFile::Encoding::Cp932, TextFile::maxCatalogueBytes)) {
        const QStringList values = catalogueValues(line, 6, tblField);
        const QString name = unquoted(values[4]).trimmed();
        if (!firstTables.contains(name) && tbidOf.contains(name) &&
            tableExists(QStringLiteral("csq"), name))
            fileTables.insert(values[2].trimmed(), name);
    }
    QList<LaterColumn> missing;
    if (fileTables.isEmpty())
        return missing;
    // A column is added only where neither the catalogue nor the table has it: a catalogue row
    // missing beside a column the table has is a broken catalogue, which the table's owner says.
    QHash<QString, QSet<QString>> catalogued; // table -> column names in AAATST and the table
    const auto columnField = [](int i) { return i == 5 || i == 6; };
    for (const QString& line :
         TextFile::readLines(tblstrc, TextFile::Encoding::Cp932, TextFile::maxCatalogueBytes)) {
        const QStringList row = catalogueValues(line, 9, columnField);
        const QString table = fileTables.value(row[2].trimmed());
        if (table.isEmpty())
            continue;
        if (!catalogued.contains(table)) {
            QSqlQuery q(db);
            q.prepare(QStringLiteral("select CNAM from AAATST where TBID = ?"));
            q.addBindValue(tbidOf.value(table));
            if (!q.exec())
                throw TorvaneError(databaseReason(q.lastError()));
            QSet<QString>& names = catalogued[table];
            while (q.next())
                names.insert(q.value(0).toString().trimmed().toUpper());
            QSqlQuery info(db);
            if (!info.exec(QStringLiteral("pragma table_info(") + sqlText(table) + u')'))
                throw TorvaneError(databaseReason(info.lastError()));
            while (info.next())
                names.insert(info.value(1).toString().trimmed().toUpper());
        }
        if (!catalogued.value(table).contains(unquoted(row[4]).trimmed().toUpper()))
            missing.push_back({row, table, tbidOf.value(table)});
    }
    return missing;
}

QStringList Store::addLaterColumns(const QList<LaterColumn>& missing) {
    QSqlDatabase db = m_dm.database(m_dm.csq());
    QStringList added;
    for (const LaterColumn& c : missing) {
        QStringList row = c.values;
        const QString column = unquoted(row[4]).trimmed();
        const auto exec = [&db](const QString& sql) {
            QSqlQuery q(db);
            if (!q.exec(sql))
                throw TorvaneError(databaseReason(q.lastError()));
        };
        const QString type = unquoted(row[5]).trimmed();
        const QString length =
            row[6].trimmed() == QLatin1String("NULL") ? QString() : unquoted(row[6]).trimmed();
        exec(QStringLiteral("alter table ") + c.table + QStringLiteral(" add column ") + column +
             u' ' + (isTextType(type) ? QStringLiteral("nchar") : type) +
             (length.isEmpty() ? QString() : u'(' + length + u')'));
        for (const ColumnFill& fill : columnFills)
            if (c.table == QLatin1String(fill.table) && column == QLatin1String(fill.column))
                exec(QLatin1String(fill.fill));
        row[0] = QString::number(largest(db, QStringLiteral("select max(CNT) from AAATST")) + 1);
        row[2] = QString::number(c.tbid);
        row[3] = QString::number(
            largest(db, QStringLiteral("select max(CID) from AAATST where TBID = ") +
                            QString::number(c.tbid)) +
            1);
        m_reg.sqw = QStringLiteral(" Insert into AAATST (CNT, BID, TBID, CID, CNAM, KT, LN, "
                                   "DPW, TYO)  Values  (") +
                    row.join(u',') + u')';
        uexSql(execFile);
        if (!m_lastStatementOk)
            throw TorvaneError(m_lastStatementError);
        added << c.table + u'.' + column;
    }
    return added;
}

QList<Store::LaterTable> Store::missingLaterTables(const QString& tbl, const QString& tblstrc) {
    QSqlDatabase db = m_dm.database(m_dm.csq());
    QSet<QString> known;
    {
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("select TNAM from AAATBN")))
            throw TorvaneError(databaseReason(q.lastError()));
        while (q.next())
            known.insert(q.value(0).toString().trimmed());
    }
    QList<LaterTable> missing;
    const auto tblField = [](int i) { return i > 3; };
    for (const QString& line :
         TextFile::readLines(tbl, TextFile::Encoding::Cp932, TextFile::maxCatalogueBytes)) {
        const QStringList values = catalogueValues(line, 6, tblField);
        const QString name = unquoted(values[4]).trimmed();
        if (name.isEmpty() || values[4] == QLatin1String("NULL") || known.contains(name) ||
            firstTables.contains(name) || !TextRules::isNumericLiteral(values[2]))
            continue;
        known.insert(name);
        missing.push_back({values, values[2].trimmed(), {}});
    }
    if (missing.isEmpty())
        return missing;

    const auto columnField = [](int i) { return i == 5 || i == 6; };
    QList<QStringList> columnRows;
    for (const QString& line :
         TextFile::readLines(tblstrc, TextFile::Encoding::Cp932, TextFile::maxCatalogueBytes))
        columnRows.push_back(catalogueValues(line, 9, columnField));
    for (LaterTable& t : missing)
        for (const QStringList& row : columnRows)
            if (row[2].trimmed() == t.tbid)
                t.columns.push_back(row);

    // A table of that name that the user already has, without the columns the program gives
    // it, is not the program's: it gets no catalogue rows, and its owner in the program says so.
    QList<LaterTable> ours;
    for (const LaterTable& t : std::as_const(missing)) {
        const QString name = unquoted(t.values[4]).trimmed();
        if (tableExists(QStringLiteral("csq"), name)) {
            QSet<QString> present;
            QSqlQuery info(db);
            if (!info.exec(QStringLiteral("pragma table_info(") + sqlText(name) + u')'))
                throw TorvaneError(databaseReason(info.lastError()));
            while (info.next())
                present.insert(info.value(1).toString().toUpper());
            if (std::any_of(t.columns.begin(), t.columns.end(), [&](const QStringList& row) {
                    return !present.contains(unquoted(row[4]).trimmed().toUpper());
                }))
                continue;
        }
        ours.push_back(t);
    }
    return ours;
}

QStringList Store::addLaterTables(QList<LaterTable> missing) {
    QSqlDatabase db = m_dm.database(m_dm.csq());
    // The file's ids and row numbers are kept where the database leaves them free; a table id
    // the user has given to a table of their own moves the new table to the next free one.
    QSet<qint64> tbids = integers(db, QStringLiteral("select TBID from AAATBN union "
                                                     "select TBID from AAATST"));
    QSet<qint64> tableCnts = integers(db, QStringLiteral("select CNT from AAATBN"));
    QSet<qint64> columnCnts = integers(db, QStringLiteral("select CNT from AAATST"));
    qint64 nextTableCnt = largest(db, QStringLiteral("select max(CNT) from AAATBN")) + 1;
    qint64 nextColumnCnt = largest(db, QStringLiteral("select max(CNT) from AAATST")) + 1;
    qint64 nextTbid = std::max(largest(db, QStringLiteral("select max(TBID) from AAATBN")),
                               largest(db, QStringLiteral("select max(TBID) from AAATST"))) +
                      1;
    // Every row must land: a full disk, a lock or a read-only file ends the addition whole.
    const auto run = [this] {
        uexSql(execFile);
        if (!m_lastStatementOk)
            throw TorvaneError(m_lastStatementError);
    };

    QStringList added;
    for (LaterTable& t : missing) {
        qint64 tbid = t.tbid.toLongLong();
        if (tbids.contains(tbid))
            tbid = nextTbid;
        tbids.insert(tbid);
        nextTbid = std::max(nextTbid, tbid + 1);
        QStringList& values = t.values;
        values[2] = QString::number(tbid);
        if (!TextRules::isNumericLiteral(values[0]) || tableCnts.contains(values[0].toLongLong()))
            values[0] = QString::number(nextTableCnt++);
        tableCnts.insert(values[0].toLongLong());
        nextTableCnt = std::max(nextTableCnt, values[0].toLongLong() + 1);
        for (int k = 0; k < 6; ++k)
            m_reg.sa[11 + k] = values[k];
        m_reg.sqw =
            QStringLiteral(" Insert into AAATBN (CNT, BID, TBID, SKB, TNAM, TYO) Values  (") +
            values.join(u',') + u')';
        run();

        QList<QStringList>& columns = t.columns;
        // The columns keep their order: they move as a block when their numbers are taken.
        const bool clash = std::any_of(columns.begin(), columns.end(), [&](const QStringList& r) {
            return !TextRules::isNumericLiteral(r[0]) || columnCnts.contains(r[0].toLongLong());
        });
        std::stable_sort(columns.begin(), columns.end(),
                         [](const QStringList& a, const QStringList& b) {
                             return a[0].toDouble() < b[0].toDouble();
                         });
        for (QStringList row : columns) {
            row[2] = QString::number(tbid);
            if (clash)
                row[0] = QString::number(nextColumnCnt++);
            columnCnts.insert(row[0].toLongLong());
            nextColumnCnt = std::max(nextColumnCnt, row[0].toLongLong() + 1);
            for (int k = 0; k < 9; ++k)
                m_reg.sa[11 + k] = row[k];
            m_reg.sqw = QStringLiteral(" Insert into AAATST (CNT, BID, TBID, CID, CNAM, KT, LN, "
                                       "DPW, TYO)  Values  (") +
                        row.join(u',') + u')';
            run();
        }
        const QString name = unquoted(values[4]).trimmed();
        const QString remark = unquoted(values[5]).trimmed();
        added << (remark.isEmpty() || values[5] == QLatin1String("NULL")
                      ? name
                      : QStringLiteral("%1(%2)").arg(name, remark));
    }
    return added;
}
