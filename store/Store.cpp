#include "store/Store.h"

#include "store/SqliteResult.h"
#include "store/TextFile.h"
#include "store/TextRules.h"
#include "store/TorvaneError.h"
#include "store/Transaction.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

namespace {

const QString createAaatbn = QStringLiteral(
    " create table AAATBN ( CNT Integer, BID Integer,  TBID Integer, SKB nchar(4), TNAM nchar(14), "
    "TYO nchar(40) ); ");
const QString createAaatst = QStringLiteral(
    " create table AAATST ( CNT Integer,  BID Integer, TBID Integer, CID Integer, CNAM nchar(14),  "
    "KT nchar(10), LN Integer , DPW Integer, TYO nchar(40) ); ");

struct Ensured {
    const char* db;
    const char* table;
    // The forecast log and the backtest's fold cache are made only when catalogued: a database
    // from before them, started without the catalogue files at hand, keeps working without them
    // (without the cache, every fold of a backtest trains).
    bool whenCatalogued = false;
};
constexpr Ensured ensuredTables[] = {
    {"csq", "F01YSK"}, {"csq", "F05PMF"}, {"csq", "F06EVR"},       {"csq", "F07EVL"},
    {"csq", "F08EVK"}, {"csq", "F09CSV"}, {"csq", "F10YSR", true}, {"csq", "F11KSK", true},
    {"csm", "F01YSK"}, {"csm", "F02W1H"}, {"csm", "F03W4H"},       {"csm", "F04WD1"},
};

bool quoteTblField(int i) {
    return i > 3;
}
bool quoteTblstrcField(int i) {
    return i == 5 || i == 6;
}

} // namespace

QString defaultCatalogueDir() {
    const QString installed =
        QDir(QCoreApplication::applicationDirPath())
            .absoluteFilePath(QStringLiteral("../" TORVANE_INSTALLED_DATA_DIR));
    if (QFileInfo::exists(installed + QStringLiteral("/tbl.csv")))
        return QDir::cleanPath(installed);
    return QStringLiteral(TORVANE_DATA_DIR);
}

Store::Store(Registers& reg, Tdm& dm, Dialogs& dialogs, QString catalogueDir)
    : m_reg(reg), m_dm(dm), m_dialogs(dialogs), m_catalogueDir(std::move(catalogueDir)) {}

bool Store::isTextType(const QString& kt) {
    const QString t = kt.trimmed();
    return t.compare(QLatin1String("varchar"), Qt::CaseInsensitive) == 0 ||
           t.compare(QLatin1String("nchar"), Qt::CaseInsensitive) == 0;
}

QString Store::sqlText(const QString& text) {
    QString quoted = text;
    quoted.replace(u'\'', QStringLiteral("''"));
    return u'\'' + quoted + u'\'';
}

int Store::refusedNumber(const QStringList& values) {
    Query& qst = m_dm.qst;
    int column = 0;
    for (qst.first(); !qst.eof() && column < values.size(); qst.next(), ++column) {
        const QString& value = values[column];
        if (!value.isEmpty() && !isTextType(qst.field(QStringLiteral("KT")).asString()) &&
            !TextRules::isNumericLiteral(value))
            return column;
    }
    return -1;
}

QString Store::numberNeeded(const QString& what) {
    return QStringLiteral("%1 は数値で入力してください").arg(what);
}

void Store::uexSql(int op) {
    QString connection;
    if (op == execFile)
        connection = m_dm.csq();
    else if (op == execMemory)
        connection = m_dm.csm();
    else
        return;
    QSqlDatabase db = m_dm.database(connection);
    if (!db.isOpen()) {
        m_lastStatementOk = false;
        m_lastStatementError = QStringLiteral("データベースが開かれていません");
        return;
    }
    // SQLite undoes a failed statement by itself and Qt refuses a text with a second
    // statement, so a failure leaves the tables as they were. The statement is dropped; a fault
    // of the file is settled so that no half-written file stays behind.
    QSqlQuery q(db);
    m_lastStatementOk = q.exec(m_reg.sqw);
    if (m_lastStatementOk) {
        m_lastStatementError.clear();
        m_lastStatementFault = false;
        return;
    }
    const QSqlError error = q.lastError();
    m_lastStatementError = databaseReason(error);
    m_lastStatementFault = isDatabaseFault(error);
    q.finish();
    if (m_lastStatementFault)
        settleAfterFailure(db);
}

namespace {

const QStringList aaatbnColumns{"CNT", "BID", "TBID", "SKB", "TNAM", "TYO"};
const QStringList aaatstColumns{"CNT", "BID", "TBID", "CID", "CNAM", "KT", "LN", "DPW", "TYO"};

} // namespace

bool Store::isDatabaseFault(const QSqlError& error) {
    using namespace SqliteResult;
    switch (primaryCode(error)) {
    case busy:
    case locked:
    case nomem:
    case readonly:
    case ioerr:
    case corrupt:
    case full:
    case cantopen:
    case notadb:
        return true;
    default:
        return false;
    }
}

QString Store::databaseReason(const QSqlError& error) {
    if (SqliteResult::primaryCode(error) == SqliteResult::nomem)
        return QStringLiteral("メモリが足りません(%1)").arg(error.text());
    return diskFaultReason(error);
}

QString Store::unusableDatabase(const QString& path, const QString& why) {
    return QStringLiteral(
               "データベース %1 は使えません: %2。\n"
               "このファイルには何も書き込んでいません。ファイルを別のフォルダへ移すか名前を変えて"
               "から"
               "もう一度起動すると、新しいデータベースで始まります。そのあと 8CSV のページで、"
               "CSVﾌｧｲﾙに書き出しておいた各ﾃｰﾌﾞﾙを「CSV読込」で戻してください。")
        .arg(path, why);
}

bool Store::catalogueNeedsLoading() {
    const QString path = m_dm.filePath();
    QSqlDatabase db = m_dm.database(m_dm.csq());
    // The first read: SQLite looks at the file only now.
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("select name from sqlite_master where type = 'table' and name in "
                               "('AAATBN', 'AAATST')"))) {
        const QSqlError error = q.lastError();
        const int code = SqliteResult::primaryCode(error);
        if (code == SqliteResult::notadb)
            throw TorvaneError(unusableDatabase(
                path, QStringLiteral("SQLite のデータベースのファイルではありません(%1)")
                          .arg(error.text())));
        if (code == SqliteResult::corrupt)
            throw TorvaneError(unusableDatabase(
                path, QStringLiteral("ファイルが壊れています(%1)").arg(error.text())));
        throw TorvaneError(
            QStringLiteral("データベース %1 を読めません: %2").arg(path, databaseReason(error)));
    }
    QStringList tables;
    while (q.next())
        tables << q.value(0).toString();
    q.finish();
    if (tables.size() < 2)
        return true;
    const auto missingColumn = [&](const QString& table, const QStringList& columns) -> QString {
        QSqlQuery info(db);
        QStringList present;
        if (info.exec(QStringLiteral("pragma table_info(%1)").arg(table)))
            while (info.next())
                present << info.value(1).toString().toUpper();
        for (const QString& c : columns)
            if (!present.contains(c))
                return c;
        return {};
    };
    for (const auto& [table, columns] : {std::pair{QStringLiteral("AAATBN"), aaatbnColumns},
                                         std::pair{QStringLiteral("AAATST"), aaatstColumns}}) {
        const QString missing = missingColumn(table, columns);
        if (!missing.isEmpty())
            throw TorvaneError(unusableDatabase(
                path, QStringLiteral("ｶﾀﾛｸﾞのﾃｰﾌﾞﾙ %1 に列 %2 がありません").arg(table, missing)));
    }
    // A catalogue without rows knows no table: it is loaded again, as on a first start.
    QSqlQuery count(db);
    if (!count.exec(QStringLiteral("select (select count(*) from AAATBN), "
                                   "(select count(*) from AAATST)")) ||
        !count.next())
        throw TorvaneError(QStringLiteral("データベース %1 を読めません: %2")
                               .arg(path, databaseReason(count.lastError())));
    return count.value(0).toLongLong() == 0 || count.value(1).toLongLong() == 0;
}

int Store::execOn(const QString& selector) {
    return selector == QLatin1String("csq") ? execFile : execMemory;
}

void Store::uqCdb() {
    m_reg.stdb = QDir::current().absoluteFilePath(QStringLiteral("SQDB.DB"));
    m_dm.connectFile(m_reg.stdb);
    m_dm.reconnectMemory();
    if (catalogueNeedsLoading())
        uqTst(tstLoad);
    else
        addMissingCatalogueTables();
    uqCtbl(ctblEnsureAll);
}

bool Store::tableExists(const QString& selector, const QString& table) {
    QSqlQuery q(m_dm.database(m_dm.connectionOf(selector)));
    if (!q.exec(
            QStringLiteral("select COUNT(*) from sqlite_master where type = 'table' and name = ") +
            sqlText(table)))
        throw TorvaneError(q.lastError().text());
    return q.next() && q.value(0).toInt() > 0;
}

qint64 Store::rowIdOf(const QString& table, const Query& query, int row) {
    if (!query.isOpen() || row < 0 || row >= query.recordCount())
        return -1;
    QString sql = QStringLiteral("select rowid from ") + table + QStringLiteral(" where ");
    for (int k = 0; k < query.fieldCount(); ++k)
        sql += (k ? QStringLiteral(" and ") : QString()) + query.fieldNames()[k] +
               QStringLiteral(" is ?");
    sql += QStringLiteral(" limit 1");
    QSqlQuery q(m_dm.database(m_dm.csq()));
    if (!q.prepare(sql))
        throw TorvaneError(q.lastError().text());
    for (int k = 0; k < query.fieldCount(); ++k)
        q.addBindValue(query.valueAt(row, k));
    if (!q.exec())
        throw TorvaneError(databaseReason(q.lastError()));
    if (!q.next())
        throw TorvaneError(QStringLiteral("%1 の選ばれた行はもうﾃﾞｰﾀﾍﾞｰｽにありません").arg(table));
    return q.value(0).toLongLong();
}

bool Store::countIsUnique(const QString& table, const Query& query, int row) {
    if (!query.isOpen() || row < 0 || row >= query.recordCount())
        return true;
    const int column = query.fieldIndex(QStringLiteral("CNT"));
    if (column < 0)
        return true;
    const QVariant cnt = query.valueAt(row, column);
    if (cnt.isNull())
        return false;
    QSqlQuery q(m_dm.database(m_dm.csq()));
    if (!q.prepare(QStringLiteral("select count(*) from ") + table +
                   QStringLiteral(" where CNT = ?")))
        throw TorvaneError(q.lastError().text());
    q.addBindValue(cnt);
    if (!q.exec() || !q.next())
        throw TorvaneError(databaseReason(q.lastError()));
    return q.value(0).toLongLong() <= 1;
}

bool Store::isCatalogued(const QString& table) {
    QSqlQuery q(m_dm.database(m_dm.csq()));
    if (!q.exec(QStringLiteral("select TBID from AAATBN where TNAM = ") + sqlText(table)))
        return false;
    return q.next();
}

bool Store::lookup() {
    Query& qw = m_dm.qw;
    qw.setConnection(m_dm.csq());
    qw.setSql(QStringLiteral(" select * from AAATBN ") + QStringLiteral(" where TNAM = ") +
              sqlText(m_reg.stnm) + u' ');
    qw.open();
    m_lastLookupFound = qw.recordCount() > 0;
    if (m_lastLookupFound) {
        m_reg.stid = qw.field(QStringLiteral("TBID")).asString();
        qw.close();
    } else {
        m_dialogs.message(m_reg.stnm + QStringLiteral(" ﾃｰﾌﾞﾙ名が見つかりません"));
    }
    return m_lastLookupFound;
}

void Store::uqTst(int op) {
    switch (op) {
    case tstColumns: {
        const bool found = lookup();
        Query& qst = m_dm.qst;
        qst.setConnection(m_dm.csq());
        // A table the catalogue lacks gets no column rows, never those of the previous table.
        qst.setSql(QStringLiteral(" select * from AAATST ") +
                   (found ? QStringLiteral(" where TBID = ") + sqlText(m_reg.stid)
                          : QStringLiteral(" where 0 = 1 ")) +
                   QStringLiteral(" order by CNT "));
        qst.open();
        break;
    }
    case tstLookup:
        lookup();
        break;
    case tstLoad:
        loadCatalogue();
        break;
    default:
        break;
    }
}

QStringList Store::catalogueValues(QString line, int columns, bool (*quoteField)(int)) {
    QStringList values(columns);
    int i = 1;
    qsizetype p;
    const auto put = [&](int index, const QString& value) {
        if (index <= columns)
            values[index - 1] = value;
    };
    while ((p = line.indexOf(u',')) >= 0) {
        QString field = line.left(p);
        if (field.isEmpty())
            field = QStringLiteral("NULL");
        else if (quoteField(i))
            field = sqlText(field);
        else if (!TextRules::isNumericLiteral(field))
            field = notANumber;
        put(i, field);
        line.remove(0, p + 1);
        ++i;
    }
    put(i, sqlText(line));
    return values;
}

QString Store::catalogueMessage(const QString& database) {
    // The table names say little to a trader: one plain sentence says what is going on.
    return QStringLiteral("AAATBN, AAATSTテーブルを作成し、テーブルデータを読み込みます\n"
                          "データベース %1 に表の作りの一覧がまだないので、いま用意します"
                          "(登録したデータもこのファイルに保存されます)。")
        .arg(QDir::toNativeSeparators(QFileInfo(database).absoluteFilePath()));
}

void Store::loadCatalogue() {
    const QDir dir(m_catalogueDir);
    const QString tbl = dir.absoluteFilePath(QStringLiteral("tbl.csv"));
    const QString tblstrc = dir.absoluteFilePath(QStringLiteral("tblstrc.csv"));
    // Check both files before the old catalogue is dropped, so a missing file costs nothing.
    for (const QString& path : {tbl, tblstrc}) {
        if (!QFileInfo::exists(path))
            throw TorvaneError(QStringLiteral("カタログファイル %1 が見つかりません").arg(path));
        TextFile::checkReadable(path, TextFile::maxCatalogueBytes);
    }

    m_dialogs.message(catalogueMessage(m_dm.filePath()));
    QSqlDatabase db = m_dm.database(m_dm.csq());
    if (!db.isOpen())
        throw TorvaneError(QStringLiteral("データベースが開かれていません"));
    // One commit for the whole catalogue: a line whose insert fails is still skipped alone, and
    // a file that cannot be read leaves the catalogue as it was.
    Transaction transaction(db);
    for (const QString& sql : {QStringLiteral(" drop table if exists AAATBN  "), createAaatbn,
                               QStringLiteral(" drop table if exists AAATST "), createAaatst}) {
        QSqlQuery q(db);
        if (!q.exec(sql))
            throw TorvaneError(q.lastError().text());
    }

    const auto load = [&](const QString& path, int columns, bool (*quoteField)(int),
                          const QString& head) {
        const QStringList lines =
            TextFile::readLines(path, TextFile::Encoding::Cp932, TextFile::maxCatalogueBytes);
        for (const QString& line : lines) {
            const QStringList values = catalogueValues(line, columns, quoteField);
            for (int k = 0; k < columns; ++k)
                m_reg.sa[11 + k] = values[k];
            m_reg.sqw = head + values.join(u',') + u')';
            uexSql(execFile);
            // A line the database refuses is skipped; a full disk or a lock ends the load, and
            // the old catalogue stays.
            if (!m_lastStatementOk && m_lastStatementFault)
                throw TorvaneError(
                    QStringLiteral("ｶﾀﾛｸﾞを読み込めません: %1").arg(m_lastStatementError));
        }
    };
    load(tbl, 6, quoteTblField,
         QStringLiteral(" Insert into AAATBN (CNT, BID, TBID, SKB, TNAM, TYO) Values  ("));
    load(tblstrc, 9, quoteTblstrcField,
         QStringLiteral(
             " Insert into AAATST (CNT, BID, TBID, CID, CNAM, KT, LN, DPW, TYO)  Values  ("));
    transaction.commit();
}

void Store::ucNul(QString& text, int op, int length) {
    if (op == nulNumber) {
        if (text.isEmpty())
            text = QStringLiteral("NULL");
        else if (!TextRules::isNumericLiteral(text))
            text = notANumber; // never let typed text reach the SQL as an expression
    } else if (op == nulText) {
        if (text.isEmpty()) {
            text = QStringLiteral("NULL");
            return;
        }
        text = TextFile::cutToLength(text, length);
        text = sqlText(text);
    }
}

void Store::ucSql(int op) {
    if (op == sqlQuoteValue) {
        quoteValue();
        return;
    }
    if (op < sqlSelect || op > sqlCreate)
        return;
    uqTst(tstColumns);
    switch (op) {
    case sqlSelect:
        m_reg.sqw = selectSql();
        break;
    case sqlInsert:
        m_reg.sqw = insertSql();
        break;
    case sqlUpdate:
        m_reg.sqw = updateSql();
        break;
    case sqlBoundInsert:
        m_reg.sqw = boundInsertSql();
        break;
    case sqlBoundUpdate:
        m_reg.sqw = boundUpdateSql();
        break;
    case sqlCreate:
        m_reg.sqw = createSql();
        break;
    }
}

void Store::quoteValue() {
    Registers& r = m_reg;
    const Query& qst = m_dm.qst;
    r.sa[7] = qst.field(QStringLiteral("KT")).asString();
    if (isTextType(r.sa[7]))
        ucNul(r.sa[9], nulText, qst.field(QStringLiteral("LN")).asInteger());
    else
        ucNul(r.sa[9], nulNumber);
}

QString Store::quotedSlot(int slot) {
    m_reg.sa[9] = m_reg.sa[slot];
    quoteValue();
    return m_reg.sa[9];
}

namespace {

QString columnName(const Query& qst) {
    return qst.field(QStringLiteral("CNAM")).asString();
}

QString separator(int k) {
    return k > 1 ? QStringLiteral(", ") : QString();
}

} // namespace

QString Store::selectSql() {
    Query& qst = m_dm.qst;
    QString text = QStringLiteral(" select ");
    int k = 1;
    for (qst.first(); !qst.eof(); qst.next(), ++k)
        text += separator(k) + columnName(qst);
    return text + QStringLiteral(" from ") + m_reg.stnm + m_reg.swh;
}

QString Store::insertSql() {
    Registers& r = m_reg;
    Query& qst = m_dm.qst;
    QString columns;
    int k = 1;
    for (qst.first(); !qst.eof(); qst.next(), ++k) {
        const int slot = 10 + k;
        if (slot > Registers::lastValueSlot)
            break;
        columns += separator(k) + columnName(qst);
        if (k == 1) {
            r.sa[1] = quotedSlot(slot); // CNT keeps its raw value in sa[11]
        } else {
            r.sa[slot] = quotedSlot(slot);
            r.sa[1] += QStringLiteral(", ") + r.sa[slot];
        }
    }
    if (k == 1)
        r.sa[1].clear();
    return QStringLiteral(" insert into ") + r.stnm + QStringLiteral(" ( ") + columns +
           QStringLiteral(" ) values ( ") + r.sa[1] + QStringLiteral(" ) ");
}

QString Store::updateSql() {
    Registers& r = m_reg;
    Query& qst = m_dm.qst;
    QString text = QStringLiteral(" update ") + r.stnm + QStringLiteral(" set ");
    int k = 1;
    for (qst.first(); !qst.eof(); qst.next(), ++k) {
        const int slot = 10 + k;
        if (slot > Registers::lastValueSlot)
            break;
        r.sa[slot] = quotedSlot(slot);
        text += separator(k) + columnName(qst) + QStringLiteral(" = ") + r.sa[slot];
    }
    return text + r.swh;
}

QString Store::boundInsertSql() {
    Query& qst = m_dm.qst;
    QString text = QStringLiteral(" insert into ") + m_reg.stnm + QStringLiteral(" ( ");
    int k = 1;
    for (qst.first(); !qst.eof(); qst.next(), ++k)
        text += separator(k) + columnName(qst);
    text += QStringLiteral(" ) values ( ") + QStringLiteral(" :p0 ");
    for (int i = 2; i < k; ++i)
        text += QStringLiteral(", ") + QStringLiteral(" :p") + QString::number(i - 1);
    return text + QStringLiteral(" ) ");
}

QString Store::boundUpdateSql() {
    Query& qst = m_dm.qst;
    QString text = QStringLiteral(" update ") + m_reg.stnm + QStringLiteral(" set ");
    int k = 1;
    for (qst.first(); !qst.eof(); qst.next(), ++k)
        text += (k > 1 ? QStringLiteral(", ") + columnName(qst) + QStringLiteral(" = :p") +
                             QString::number(k - 1)
                       : columnName(qst) + QStringLiteral(" = :p0 "));
    return text + m_reg.swh + QStringLiteral(" :p") + QString::number(k - 1);
}

QString Store::createSql() {
    Registers& r = m_reg;
    Query& qst = m_dm.qst;
    QString text = QStringLiteral(" create table if not exists ") + r.stnm + u'(';
    int k = 1;
    for (qst.first(); !qst.eof(); qst.next(), ++k) {
        if (k > 1)
            text += QStringLiteral(", ");
        r.sa[3] = columnName(qst) + u' ';
        r.sa[4] = qst.field(QStringLiteral("KT")).asString();
        r.sa[5] = qst.field(QStringLiteral("LN")).asString();
        const QString type = isTextType(r.sa[4]) ? QStringLiteral("nchar ") : r.sa[4];
        text += u' ' + r.sa[3] + type;
        if (!r.sa[5].isEmpty())
            text += u'(' + r.sa[5] + QStringLiteral(") ");
    }
    return text + QStringLiteral(") ");
}

void Store::uqCtbl(int op) {
    Registers& r = m_reg;
    switch (op) {
    case ctblEnsureAll:
        for (const Ensured& e : ensuredTables) {
            if (e.whenCatalogued && !isCatalogued(QLatin1String(e.table)))
                continue;
            r.stdb = QLatin1String(e.db);
            r.stnm = QLatin1String(e.table);
            r.swh.clear();
            if (!e.whenCatalogued) {
                uqCtbl(ctblCreate);
                continue;
            }
            // A table the program added later is no condition of the pages: one that cannot be
            // made is said once and the program goes on without it.
            try {
                uqCtbl(ctblCreate);
            } catch (const TorvaneError& error) {
                m_dialogs.error(error.text() + QStringLiteral("\nこのﾃｰﾌﾞﾙなしで続けます。"));
            }
        }
        break;
    case ctblCreate: {
        r.sqw = QStringLiteral(
                    "select COUNT(*) as CNT from sqlite_master  where type = 'table' and name = ") +
                sqlText(r.stnm) + u' ';
        Query& qw = m_dm.qw;
        qw.setConnection(m_dm.connectionOf(r.stdb));
        qw.setSql(r.sqw);
        qw.open();
        const int count = qw.field(QStringLiteral("CNT")).asInteger();
        qw.close();
        qw.setConnection(m_dm.csq());
        if (count > 0)
            return;
        const QString db = r.stdb;
        const QString table = r.stnm;
        ucSql(sqlCreate);
        if (m_dm.qst.recordCount() == 0)
            throw TorvaneError(
                QStringLiteral(
                    "ﾃｰﾌﾞﾙ %1 を作成できません: ｶﾀﾛｸﾞ(AAATST)にこのﾃｰﾌﾞﾙの列がありません")
                    .arg(table));
        uexSql(execOn(db));
        // Start-up cannot go on without the table: the pages would meet "no such table".
        if (!m_lastStatementOk)
            throw TorvaneError(
                QStringLiteral("ﾃｰﾌﾞﾙ %1 を作成できません: %2").arg(table, m_lastStatementError));
        break;
    }
    case ctblDrop:
        r.sqw = QStringLiteral(" drop table  ") + r.stnm + u' ';
        uexSql(execOn(r.stdb));
        break;
    default:
        break;
    }
}
