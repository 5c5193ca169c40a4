#include "csv/CsvExchange.h"

#include "store/SqliteResult.h"
#include "store/Store.h"
#include "store/TextFile.h"
#include "store/TextRules.h"
#include "store/TorvaneError.h"
#include "store/Transaction.h"

#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVector>

namespace {

const QString listTable = QStringLiteral("F09CSV");
const QString memoryTable = QStringLiteral("F01YSK");

// How one catalogue column takes a value: a text column is cut to its length, any other column
// takes numbers only.
struct ColumnKind {
    bool text;
    int length;
};

// Errors that belong to the row being inserted; anything else (a full disk, a lock, an I/O
// error) is a fault of the database and ends the import.
bool isRowError(const QSqlError& error) {
    const int code = SqliteResult::primaryCode(error);
    return code == SqliteResult::tooBig || code == SqliteResult::constraint ||
           code == SqliteResult::mismatch;
}

// The file as the user finds it again: its whole path.
QString wholePath(const QString& path) {
    return QFileInfo(path).absoluteFilePath();
}

// PAS is joined to the file name as it stands: a folder named without its separator puts the
// file beside that folder, not in it. Empty when PAS ends with the separator or names no folder.
QString besideFolderNote(const QString& folder, bool writing) {
    if (folder.isEmpty() || folder.endsWith(u'/') || !QFileInfo(folder).isDir())
        return {};
    return QStringLiteral("\nﾊﾟｽ %1 は / で終わっていないため、ﾌｫﾙﾀﾞの中ではなく横の%2")
        .arg(folder,
             writing ? QStringLiteral("ﾌｧｲﾙに書き出します") : QStringLiteral("ﾌｧｲﾙから読込みます"));
}

} // namespace

void CsvExchange::uq8C(int op) {
    switch (op) {
    case csvOpenList:
        openList();
        break;
    case csvExport:
        exportTable();
        break;
    case csvImport:
        importTable();
        break;
    default:
        break;
    }
}

QStringList CsvExchange::splitFields(QString line, int n) {
    QStringList fields;
    fields.reserve(n);
    for (int i = 1; i < n; ++i) {
        const qsizetype p = line.indexOf(u',');
        if (p < 0) {
            fields << QString();
            continue;
        }
        fields << line.left(p);
        line.remove(0, p + 1);
    }
    if (n > 0)
        fields << line;
    return fields;
}

void CsvExchange::openList() {
    Registers& r = m_store.reg();
    Tdm& dm = m_store.dm();
    // swh stays as the caller left it: " order by CNT " from start-up on.
    r.stdb = QStringLiteral("csq");
    r.stnm = listTable;
    m_store.ucSql(Store::sqlSelect);
    dm.qi.setSql(r.sqw);
    dm.qi.open();
    Query& qst = dm.qst;
    int column = 0;
    for (qst.first(); !qst.eof(); qst.next(), ++column)
        dm.qi.setDisplayWidth(column, qst.field(QStringLiteral("DPW")).asInteger());
}

CsvExchange::Target CsvExchange::currentTarget() {
    const Query& qi = m_store.dm().qi;
    if (!qi.isOpen() || qi.currentRow() < 0)
        throw TorvaneError(QStringLiteral("CSVﾌｧｲﾙ一覧に行がありません"));
    Target t;
    t.table = qi.field(QStringLiteral("TBN")).asString();
    t.folder = qi.field(QStringLiteral("PAS")).asString();
    t.path = t.folder + qi.field(QStringLiteral("CSV")).asString();
    t.selector = t.table == memoryTable ? QStringLiteral("csm") : QStringLiteral("csq");
    if (t.table.isEmpty() || !m_store.isCatalogued(t.table))
        throw TorvaneError(t.table + QStringLiteral(" ﾃｰﾌﾞﾙ名が見つかりません"));
    if (!m_store.tableExists(t.selector, t.table))
        throw TorvaneError(t.table + QStringLiteral(" ﾃｰﾌﾞﾙがﾃﾞｰﾀﾍﾞｰｽにありません"));
    return t;
}

int CsvExchange::writeTable(Store& store, const QString& table, const QString& selector,
                            const QString& path, qsizetype* unwritable) {
    Registers& r = store.reg();
    Tdm& dm = store.dm();
    TextFile::refuseOutputTarget(path, dm.filePath());
    r.stnm = table;
    r.sa[2] = path;
    // The old file is replaced only once the new one is complete, so a failing export never
    // costs the user the file written last time.
    QSaveFile file(r.sa[2]);
    TextFile::openForWriting(file);

    r.swh = QStringLiteral(" order by CNT ");
    store.ucSql(Store::sqlSelect);
    const int n = dm.qst.recordCount();

    Query& qm = dm.qm;
    struct PointBack {
        Tdm& dm;
        ~PointBack() {
            dm.qm.close();
            dm.qm.setConnection(dm.csm());
        }
    } pointBack{dm};
    qm.setConnection(dm.connectionOf(selector));
    qm.setSql(r.sqw);
    qm.close();

    int broken = 0;
    qsizetype unencodable = 0;
    QString text;
    // Written a block of rows at a time: a large table never stands in memory as one text.
    const auto flush = [&] {
        qsizetype missing = 0;
        const QByteArray bytes = TextFile::encodeCp932(text, &missing);
        unencodable += missing;
        text.clear();
        TextFile::write(file, bytes);
    };
    // The rows pass through once, as they come: the table never stands in memory a second time
    // beside the grid's copy.
    bool first = true;
    qm.stream([&](const QSqlQuery& q) {
        if (first) {
            first = false;
            if (q.record().count() < n)
                throw TorvaneError(QStringLiteral("%1: 列番号 %2 はありません")
                                       .arg(qm.name())
                                       .arg(q.record().count()));
        }
        for (int k = 0; k < n; ++k) {
            const QString field = Query::textOf(q.value(k));
            if (field.contains(u',') || field.contains(u'\n') || field.contains(u'\r'))
                ++broken;
            if (k > 0)
                text += u',';
            text += field;
        }
        text += QLatin1String("\r\n");
        if (text.size() >= 1 << 16)
            flush();
    });
    flush();
    if (unwritable)
        *unwritable = unencodable;
    TextFile::commit(file);
    return broken;
}

void CsvExchange::exportTable() {
    const Target t = currentTarget();
    TextFile::refuseOutputTarget(t.path, m_store.dm().filePath());
    const QString target = QStringLiteral("\n書出先: ") + wholePath(t.path);
    m_store.dialogs().message(t.table + QStringLiteral(" ﾃｰﾌﾞﾙをCSVﾌｧｲﾙに書き出します") + target +
                              besideFolderNote(t.folder, true));
    const int broken = writeTable(m_store, t.table, t.selector, t.path, &m_unwritable);
    m_brokenFields = broken;

    QString done = QStringLiteral("書出終了") + target;
    if (broken > 0)
        done += QStringLiteral("\nｶﾝﾏか改行を含む項目が %1 個あります。読込むと列がずれます")
                    .arg(broken);
    if (m_unwritable > 0)
        done += QStringLiteral(
                    "\nCP932 で書けない文字が %1 個あり、? で書き出しました。読込むと ? になります")
                    .arg(m_unwritable);
    m_store.dialogs().message(done);
}

void CsvExchange::importTable() {
    Registers& r = m_store.reg();
    Tdm& dm = m_store.dm();
    const Target t = currentTarget();
    if (t.table == QLatin1String("AAATBN") || t.table == QLatin1String("AAATST"))
        throw TorvaneError(t.table + QStringLiteral(" はｶﾀﾛｸﾞのﾃｰﾌﾞﾙなので読込めません"));
    r.stnm = t.table;
    r.stdb = t.selector;
    const QString source = QStringLiteral("\n読込元: ") + wholePath(t.path);
    m_store.dialogs().message(t.path + QStringLiteral(" ﾌｧｲﾙから読込みます ") +
                              (wholePath(t.path) == t.path ? QString() : source) +
                              besideFolderNote(t.folder, false));
    // The whole file is read before anything is deleted: a file that cannot be opened or read
    // leaves the table as it is.
    const QStringList lines = TextFile::readLines(t.path, TextFile::Encoding::Exchange);
    if (!m_store.dialogs().confirm(QStringLiteral("ﾃｰﾌﾞﾙﾃﾞｰﾀは削除されますが実行しますか?") +
                                   source))
        return;

    m_store.ucSql(Store::sqlBoundInsert);
    const QString insertSql = r.sqw;
    QVector<ColumnKind> columns;
    Query& qst = dm.qst;
    qst.first();
    const QString countColumn =
        qst.eof() ? QString() : qst.field(QStringLiteral("CNAM")).asString();
    for (qst.first(); !qst.eof(); qst.next())
        columns << ColumnKind{Store::isTextType(qst.field(QStringLiteral("KT")).asString()),
                              qst.field(QStringLiteral("LN")).asInteger()};
    const int n = int(columns.size());
    if (n == 0 || n > Registers::lastValueSlot - Registers::firstValueSlot + 1)
        throw TorvaneError(t.table + QStringLiteral(" ﾃｰﾌﾞﾙの列がｶﾀﾛｸﾞにありません"));

    // The delete and every insert form one transaction: the table is replaced whole or not
    // at all.
    QSqlDatabase db = dm.database(dm.connectionOf(t.selector));
    Transaction transaction(db);
    r.sqw = QStringLiteral(" delete from ") + r.stnm;
    {
        QSqlQuery remove(db);
        if (!remove.exec(r.sqw))
            throw TorvaneError(QStringLiteral("%1 ﾃｰﾌﾞﾙを削除できません。ﾃｰﾌﾞﾙは元のままです: %2")
                                   .arg(r.stnm, Store::databaseReason(remove.lastError())));
    }
    QSqlQuery insert(db);
    if (!insert.prepare(insertSql))
        throw TorvaneError(insert.lastError().text());

    const QString stopped =
        QStringLiteral("%1 ﾃｰﾌﾞﾙの読込を中止しました。ﾃｰﾌﾞﾙは元のままです: %2").arg(r.stnm);
    int imported = 0;
    int skipped = 0;
    // Rows that the panels cannot tell apart by their number: no CNT, or one already read.
    int withoutCount = 0;
    int repeatedCount = 0;
    QSet<QString> counts;
    QVariant value;
    QVariant count;
    for (const QString& line : lines) {
        const QStringList fields = splitFields(line, n);
        bool valid = true;
        for (int k = 0; k < n && valid; ++k) {
            r.sa[Registers::firstValueSlot + k] = fields[k];
            valid = TextRules::boundValue(fields[k], columns[k].text, columns[k].length, value);
            insert.bindValue(k, value);
            if (k == 0)
                count = value;
        }
        if (!valid) {
            ++skipped;
            continue;
        }
        if (insert.exec()) {
            ++imported;
            if (count.isNull())
                ++withoutCount;
            else if (const QString key = count.toString(); counts.contains(key))
                ++repeatedCount;
            else
                counts.insert(key);
        } else if (isRowError(insert.lastError())) {
            ++skipped;
        } else {
            throw TorvaneError(stopped.arg(Store::databaseReason(insert.lastError())));
        }
    }
    insert.finish();
    // A full disk often shows only now, when the rows reach the file.
    try {
        transaction.commit();
    } catch (const TorvaneError& e) {
        throw TorvaneError(stopped.arg(e.text()));
    }
    m_imported = imported;
    m_skipped = skipped;
    m_withoutCount = withoutCount;
    m_repeatedCount = repeatedCount;
    // The counts stay the message's last line; the warning comes before them.
    QString done = QStringLiteral(" CSVﾌｧｲﾙからの読込終了 ") + source;
    if (withoutCount > 0 || repeatedCount > 0)
        done += QStringLiteral("\n%1 が空の行が %2 行、前の行と同じ %1 の行が %3 行あります。"
                               "F3 で修正するとその行だけが変わります")
                    .arg(countColumn)
                    .arg(withoutCount)
                    .arg(repeatedCount);
    done += QStringLiteral("\n読込 %1 行、読み飛ばし %2 行").arg(imported).arg(skipped);
    m_store.dialogs().message(done);
}

int CsvExchange::nextListCnt() {
    Query& qq = m_store.dm().qq;
    qq.setSql(QStringLiteral(" select Max(CNT) as CNT from ") + listTable + u' ');
    qq.open();
    const Field cnt = qq.field(QStringLiteral("CNT"));
    const int next = cnt.isNull() ? 1 : cnt.asInteger() + 1;
    qq.close();
    return next;
}

void CsvExchange::storeListRow(int row, const QHash<QString, QString>& edits) {
    Registers& r = m_store.reg();
    Tdm& dm = m_store.dm();
    const Query& qi = dm.qi;
    const auto stored = [&](const QString& field) {
        return row >= 0 ? Query::textOf(qi.valueAt(row, qi.fieldIndex(field))) : QString();
    };
    const QString cnt = stored(QStringLiteral("CNT"));

    r.stdb = QStringLiteral("csq");
    r.stnm = listTable;
    m_store.uqTst(Store::tstColumns);
    Query& qst = dm.qst;
    int slot = Registers::firstValueSlot;
    QStringList values, names;
    for (qst.first(); !qst.eof() && slot <= Registers::lastValueSlot; qst.next(), ++slot) {
        const QString name = qst.field(QStringLiteral("CNAM")).asString();
        const auto edited = edits.constFind(name);
        r.sa[slot] = edited != edits.cend() ? *edited : stored(name);
        values << r.sa[slot];
        names << name;
    }
    // Text in a number column is named here; the statement would only fail on its syntax.
    if (const int refused = m_store.refusedNumber(values); refused >= 0)
        throw TorvaneError(QStringLiteral("%1 に登録できませんでした。%2。")
                               .arg(listTable, Store::numberNeeded(names[refused])));
    if (row >= 0) {
        // A row without a CNT of its own, or sharing it, is written back by its rowid alone.
        r.swh = m_store.countIsUnique(listTable, qi, row)
                    ? QStringLiteral(" where CNT = ") + cnt
                    : QStringLiteral(" where rowid = ") +
                          QString::number(m_store.rowIdOf(listTable, qi, row));
        m_store.ucSql(Store::sqlUpdate);
    } else {
        m_store.ucSql(Store::sqlInsert);
    }
    m_store.uexSql(Store::execFile);
    r.swh = QStringLiteral(" order by CNT ");
    if (!m_store.lastStatementOk())
        throw TorvaneError(QStringLiteral("%1 に登録できませんでした。入力を確認してください。\n%2")
                               .arg(listTable, m_store.lastStatementError()));
    openList();
}
