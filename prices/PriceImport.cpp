#include "prices/PriceImport.h"

#include "prices/Averages.h"
#include "prices/PlatformExport.h"
#include "prices/PriceFile.h"
#include "prices/RowInserter.h"
#include "store/Clock.h"
#include "store/Dialogs.h"
#include "store/KeptSettings.h"
#include "store/RowReader.h"
#include "store/Store.h"
#include "store/TextFile.h"
#include "store/TextRules.h"
#include "store/TorvaneError.h"
#include "store/Transaction.h"

#include <QFileInfo>
#include <QMap>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <array>

namespace {

const QString orderByCnt = QStringLiteral(" order by CNT ");

// A stored value as an integer, NULL as 0.
qint64 integerOf(const QVariant& v) {
    if (v.isNull())
        return 0;
    if (const std::optional<qint64> i = TextRules::storedInteger(v))
        return *i;
    throw TorvaneError(QStringLiteral("'%1' は CNT の整数値ではありません").arg(v.toString()));
}

// Writes columns of rows picked by rowid with one prepared statement. A failing row is dropped
// without a word, as the statement runner does.
class RowUpdater {
public:
    RowUpdater(const QSqlDatabase& db, const QString& table, const QStringList& columns)
        : m_query(db) {
        // Bound by name: binding by position costs Qt a formatted name per value.
        QString sql = QStringLiteral("update ") + table + QStringLiteral(" set ");
        for (int k = 0; k < columns.size(); ++k) {
            m_names << QStringLiteral(":v") + QString::number(k);
            sql += (k ? QStringLiteral(", ") : QString()) + columns[k] + QStringLiteral(" = ") +
                   m_names.last();
        }
        sql += QStringLiteral(" where rowid = :id");
        if (!m_query.prepare(sql))
            throw TorvaneError(m_query.lastError().text());
    }
    void update(qint64 rowid, const QVariant* values) {
        for (qsizetype k = 0; k < m_names.size(); ++k)
            m_query.bindValue(m_names[k], values[k]);
        m_query.bindValue(m_id, rowid);
        m_query.exec();
    }
    void finish() { m_query.finish(); }

private:
    QSqlQuery m_query;
    QStringList m_names;
    const QString m_id = QStringLiteral(":id");
};

// rowid, CNT and one column of every row of a table, in CNT order: the column as the averages
// read it, beside the rowids the averages are written back to.
struct StoredRows {
    QVector<qint64> rowids;
    QVector<Averages::KeyedValue> values; // key: CNT
};

// expected: how many rows the table is known to hold, room for them taken at once.
StoredRows readRows(const QSqlDatabase& db, const QString& table, const QString& column,
                    qsizetype expected = 0) {
    StoredRows rows;
    rows.rowids.reserve(expected);
    rows.values.reserve(expected);
    eachRow(db,
            QStringLiteral("select rowid, CNT, ") + column + QStringLiteral(" from ") + table +
                QStringLiteral(" order by CNT"),
            [&](const QSqlQuery& q) {
                const qint64 rowid = q.value(0).toLongLong();
                const qint64 cnt = integerOf(q.value(1));
                rows.rowids.push_back(rowid);
                rows.values.push_back({cnt, Averages::Value::of(q.value(2))});
            });
    return rows;
}

// Writes the averages of the targets into column of every row whose CNT is the target.
void writeAverages(const QSqlDatabase& db, const QString& table, const QString& column,
                   const StoredRows& rows, const QVector<qint64>& targets,
                   const QVector<qint64>& averages) {
    RowUpdater updater(db, table, {column});
    const auto& values = rows.values;
    for (qsizetype j = 0; j < averages.size(); ++j) {
        const QVariant value(averages[j]);
        auto it = std::lower_bound(
            values.begin(), values.end(), targets[j],
            [](const Averages::KeyedValue& row, qint64 cnt) { return row.key < cnt; });
        for (; it != values.end() && it->key == targets[j]; ++it)
            updater.update(rows.rowids[it - values.begin()], &value);
    }
    updater.finish();
}

} // namespace

void PriceImport::importFile(const QString& path) {
    const QFileInfo info(path);
    Registers& r = m_store.reg();
    r.sa[1] = info.absolutePath() + u'/';
    r.sa[2] = info.fileName();
    uq4F(pricesImport);
}

QDateTime PriceImport::lastBarEnd() const {
    const Registers& r = m_store.reg();
    QDateTime end;
    if (r.imcn <= 0)
        return end;
    eachRow(m_store.dm().database(m_store.dm().csm()),
            QStringLiteral("select LYMD, LHM from F01YSK where CNT = ") + QString::number(r.imcn),
            [&](const QSqlQuery& q) {
                const QDate day = TextRules::readDate(q.value(0).toString());
                const QTime time = TextRules::readTime(q.value(1).toString());
                if (day.isValid() && time.isValid())
                    end = QDateTime(day, QTime(time.hour(), time.minute()));
            });
    return end;
}

void PriceImport::a13rdtBClick() {
    const QString path = m_store.dialogs().openFile();
    if (path.isEmpty())
        return;
    importFile(path);
}

void PriceImport::uq4F(int op) {
    Registers& r = m_store.reg();
    if (op < pricesOpen || op > pricesFrameAverages)
        return;
    r.stdb = QStringLiteral("csm");
    r.stnm = QStringLiteral("F01YSK");
    switch (op) {
    case pricesOpen: {
        m_store.ucSql(Store::sqlSelect);
        Query& qd = m_store.dm().qd;
        Query& qst = m_store.dm().qst;
        qd.setConnection(m_store.dm().csm());
        qd.setSql(r.sqw);
        qd.open();
        qd.last();
        int i = 0;
        for (qst.first(); !qst.eof(); qst.next(), ++i)
            qd.setDisplayWidth(i, qst.field(QStringLiteral("DPW")).asInteger());
        qst.close();
        break;
    }
    case pricesImport:
        importPrices();
        break;
    case pricesAverage75:
        averageOf75();
        break;
    case pricesFrameAverages:
        frameAverages();
        break;
    }
}

void PriceImport::uq4W(int op) {
    switch (op) {
    case frameHour:
        fillSampleTable(QStringLiteral("F02W1H"), false);
        break;
    case frameFourHours:
        fillFourHourTable();
        break;
    case frameDay:
        fillSampleTable(QStringLiteral("F04WD1"), true);
        break;
    default:
        break;
    }
}

void PriceImport::importPrices() {
    Registers& r = m_store.reg();
    r.sa[1] += r.sa[2];
    const QString name = r.sa[2].isEmpty() ? r.sa[1] : r.sa[2];
    // A platform export is converted first into a file of the program's own, line by line too.
    QString path = r.sa[1];
    const QString named = path;
    std::optional<QTemporaryDir> converted;
    if (!convertPlatformExport(path, name, converted))
        return;
    // A file read as of a moment ends, for everything below, at its last line before it.
    const qsizetype lineLimit =
        readUntil.isValid() ? linesUntil(path, name, readUntil) : qsizetype(-1);
    // Read line by line: a file of years of bars costs no more memory than the two months kept.
    TextFile::LineReader reader(path, TextFile::Encoding::BomOrLatin);
    const QString cutoff = PriceFile::cutoffDate(Clock::today());
    Q_EMIT infoShown(QStringLiteral("結果は 4.FX表に表示されます"));

    // All rows of the import land in one transaction: a file that stops the import leaves the
    // tables as the previous import left them, and 60,000 bars cost one commit.
    const QSqlDatabase db = m_store.dm().database(m_store.dm().csm());
    Transaction transaction(db);
    // A new import replaces the previous one: every later step counts on these tables holding
    // the current bars only.
    for (const char* table : {"F01YSK", "F02W1H", "F03W4H", "F04WD1"}) {
        QSqlQuery q(db);
        q.exec(QStringLiteral("delete from ") + QLatin1String(table));
    }
    RowInserter inserter(m_store);

    std::array<QString, 12> row;
    int counter = 1;
    QString highest, lowest;
    double highValue = 0.0, lowValue = 0.0;
    const QString top = QStringLiteral("999999");
    PriceFile::ImportedRange range;
    QMap<qint64, int> steps; // minutes between the starts of two bars, and how often
    int decimals = 0;
    qint64 previousStart = -1;
    // The forecast slots continue the step between the file's last two lines.
    QString line, beforeLast, last;
    while ((lineLimit < 0 || reader.lineCount() < lineLimit) && reader.next(line)) {
        const qsizetype li = reader.lineCount() - 1;
        beforeLast.swap(last);
        last = line;
        if (line.isEmpty())
            continue;
        QStringList f = PriceFile::splitFields(line);
        // Blanks after the commas (", ") are no part of a date or a price.
        for (QString& field : f)
            field = field.trimmed();
        if (f[0] > top)
            continue;
        if (f[0] < cutoff) {
            // A line the cut-off drops needs no date rule, unless its date, read loosely, is
            // recent after all ("2025-07-01" sorts before "2025/05/09").
            if (PriceFile::isRecentLooseDate(f[0], cutoff))
                PriceFile::checkDateForms(f, name, li);
            continue;
        }
        PriceFile::checkDateForms(f, name, li);
        if (f.size() < 8)
            throw PriceFile::fewFields(name, li, f.size());
        // The close as the file wrote it tells what one unit of the stored prices is worth.
        const int lineDecimals = PriceFile::decimalsOf(f[5]);
        PriceFile::importRow(f, counter, row);
        // Highest and lowest by value: an empty or unreadable price is no candidate.
        if (const std::optional<double> v = PriceFile::extremeCandidate(row[3]);
            v && (highest.isEmpty() || *v > highValue)) {
            highest = row[3];
            highValue = *v;
        }
        if (const std::optional<double> v = PriceFile::extremeCandidate(row[4]);
            v && (lowest.isEmpty() || *v < lowValue)) {
            lowest = row[4];
            lowValue = *v;
        }
        inserter.insert(row.data(), int(row.size()));
        ++counter; // a bar whose insert failed keeps its number
        decimals = lineDecimals;
        if (range.firstStart.isEmpty())
            range.firstStart = row[1] + u' ' + row[2];
        range.lastEnd = row[10] + u' ' + row[11];
        qint64 start = 0;
        if (PriceFile::minuteOf(row[1], row[2], &start)) {
            if (previousStart >= 0 && start > previousStart)
                ++steps[start - previousStart];
            previousStart = start;
        }
    }
    const int imcn = counter - 1;
    range.bars = imcn;
    int seen = 0;
    for (auto it = steps.cbegin(); it != steps.cend(); ++it)
        if (it.value() > seen) { // the smaller step wins a tie: the map runs in key order
            seen = it.value();
            range.stepMinutes = it.key();
        }

    const std::array<PriceFile::Slot, 10> ahead =
        PriceFile::forecastSlots(beforeLast, last, reader.lineCount(), name);

    if (imcn == 0)
        throw TorvaneError(QStringLiteral("%1 に直近2ヶ月(%2 以降)のFXﾃﾞｰﾀがありません。"
                                          "新しいFXﾃﾞｰﾀを読み込んでください。")
                               .arg(name, cutoff));

    for (int k = 1; k <= 10; ++k) {
        const PriceFile::Slot& slot = ahead[k - 1];
        row.fill(QString());
        row[0] = QString::number(imcn + k);
        row[1] = slot.startDate;
        row[2] = slot.startTime;
        row[10] = slot.endDate;
        row[11] = slot.endTime;
        inserter.insert(row.data(), int(row.size()));
    }
    inserter.finish();
    transaction.commit();

    r.imcn = imcn;
    m_lastDecimals = decimals;
    m_lastFile = named;
    r.shm = highest;
    r.slm = lowest.isEmpty() ? top : lowest;
    Q_EMIT imported();
    Q_EMIT importShown(range.text());
    closingSequence();
}

qsizetype PriceImport::linesUntil(const QString& path, const QString& name,
                                  const QDateTime& moment) {
    qint64 until = 0;
    PriceFile::readMoment(moment.toString(QStringLiteral("yyyy/MM/dd HH:mm")), &until);
    TextFile::LineReader reader(path, TextFile::Encoding::BomOrLatin);
    qsizetype kept = 0;
    QString line;
    while (reader.next(line)) {
        const QStringList f = PriceFile::splitFields(line);
        if (f.size() < 8)
            continue;
        // The end as the import reads it, blanks after the commas dropped; a line whose end is
        // no date-time (a header) is never the last one, but is read when a later line is.
        qint64 end = 0;
        if (PriceFile::readMoment(f[6].trimmed() + u' ' + f[7].trimmed(), &end) && end <= until)
            kept = reader.lineCount();
    }
    if (kept == 0)
        throw TorvaneError(QStringLiteral("%1 に %2 までに終わる足がありません。")
                               .arg(name, moment.toString(QStringLiteral("yyyy/MM/dd HH:mm"))));
    return kept;
}

bool PriceImport::convertPlatformExport(QString& path, const QString& name,
                                        std::optional<QTemporaryDir>& converted) {
    const PlatformExport::Layout layout = PlatformExport::detectFile(path);
    if (layout == PlatformExport::Layout::Plain)
        return true;
    if (const std::optional<PlatformExport::ServerTime> known =
            PlatformExport::knownServerTime(layout))
        return convertTo(path, name, *known, converted);
    std::optional<PlatformExport::ServerTime> given;
    if (!askServerTime(path, name, given))
        return false;
    return convertTo(path, name, *given, converted);
}

bool PriceImport::askServerTime(const QString& path, const QString& name,
                                std::optional<PlatformExport::ServerTime>& given) {
    given.reset();
    const PlatformExport::Layout layout = PlatformExport::detectFile(path);
    if (layout == PlatformExport::Layout::Plain || PlatformExport::knownServerTime(layout))
        return true;
    if (serverTime) {
        given = serverTime;
        return true;
    }
    const std::optional<QString> answer = m_store.dialogs().askText(
        QStringLiteral("%1 は %2 の書き出しファイルです。\n"
                       "サーバー時刻を日本時間にする時差(時間、例: 7)か、\n"
                       "ブローカーのタイムゾーン(例: Europe/Athens)を入力してください。")
            .arg(name, PlatformExport::layoutName(layout)),
        rememberedServerTime().value_or(QStringLiteral("0")));
    if (!answer)
        return false;
    given = PlatformExport::ServerTime::parse(*answer);
    KeptSettings::setValue(serverTimeKey, given->text());
    return true;
}

bool PriceImport::convertTo(QString& path, const QString& name,
                            const PlatformExport::ServerTime& serverTime,
                            std::optional<QTemporaryDir>& converted) {
    converted.emplace();
    if (!converted->isValid())
        throw TorvaneError(QStringLiteral("%1 を変換する一時フォルダを作れません: %2")
                               .arg(name, converted->errorString()));
    const QString out = converted->filePath(QStringLiteral("prices.csv"));
    PlatformExport::convertFile(path, out, serverTime);
    path = out;
    return true;
}

std::optional<QString> PriceImport::rememberedServerTime() {
    const QVariant remembered = KeptSettings::value(serverTimeKey);
    if (!remembered.isValid())
        return std::nullopt;
    return remembered.toString();
}

void PriceImport::closingSequence() {
    openAll();
    m_store.dialogs().message(QStringLiteral("読込終了。 移動平均額を計算します"));
    uq4F(pricesAverage75);
    uq4F(pricesFrameAverages);
    Q_EMIT averaged();
    openAll();
}

void PriceImport::openAll() {
    m_store.reg().swh = orderByCnt;
    uq4F(pricesOpen);
}

void PriceImport::averageOf75() {
    Registers& r = m_store.reg();
    Query& qd = m_store.dm().qd;
    // The bars are the rows of qd but the last ten, the forecast slots.
    const int n = qd.recordCount() - 10;
    const int cntColumn = qd.fieldIndex(QStringLiteral("CNT"));
    QVector<qint64> targets;
    targets.reserve(std::max(n, 0));
    for (int row = 0; row < n; ++row) {
        const qint64 a = integerOf(qd.valueAt(row, cntColumn));
        if (a >= 75)
            targets << a;
    }
    const QSqlDatabase db = m_store.dm().database(m_store.dm().csm());
    const StoredRows rows =
        readRows(db, QStringLiteral("F01YSK"), QStringLiteral("CV"), qd.recordCount());
    QString failure;
    const QVector<qint64> averages = Averages::windowAverages(rows.values, targets, 75, &failure);
    {
        Transaction transaction(db);
        writeAverages(db, QStringLiteral("F01YSK"), QStringLiteral("M75"), rows, targets, averages);
        transaction.commit();
    }
    qd.first();
    if (n > 0)
        qd.moveBy(n);
    // The registers end as the last statement left them.
    const qsizetype done = averages.size();
    if (!targets.isEmpty()) {
        const qint64 a = done < targets.size() ? targets[done] : targets.last();
        r.swh = QStringLiteral(" where CNT > %1 and CNT <=  %2").arg(a - 75).arg(a);
    }
    if (done > 0)
        r.sa[1] = QString::number(averages.last());
    if (!failure.isEmpty())
        throw TorvaneError(failure);
}

void PriceImport::fillSampleTable(const QString& table, bool daily) {
    Registers& r = m_store.reg();
    r.stdb = QStringLiteral("csm");
    r.stnm = table;
    r.swh = daily ? QStringLiteral(" where SHM = '00:00'  order by CNT ")
                  : QStringLiteral(" where SHM like '%:00'  order by CNT ");
    const QSqlDatabase db = m_store.dm().database(m_store.dm().csm());
    int i = 1;
    {
        Transaction transaction(db);
        RowInserter inserter(m_store);
        std::array<QString, 4> row;
        bool stopped = false;
        eachRow(db, QStringLiteral(" select CNT, CV from F01YSK  ") + r.swh,
                [&](const QSqlQuery& q) {
                    if (stopped || integerOf(q.value(0)) > r.imcn) {
                        stopped = true;
                        return;
                    }
                    row = {QString::number(i), Query::textOf(q.value(0)), Query::textOf(q.value(1)),
                           QString()};
                    inserter.insert(row.data(), int(row.size()));
                    ++i;
                });
        inserter.finish();
        transaction.commit();
    }
    int bound = i - 1;
    if (daily)
        eachRow(db, QStringLiteral("select Max(CNT) as CNT from ") + table + u' ',
                [&](const QSqlQuery& q) { bound = int(integerOf(q.value(0))); });
    averageOf20(table, bound);
}

void PriceImport::fillFourHourTable() {
    Registers& r = m_store.reg();
    r.stdb = QStringLiteral("csm");
    r.stnm = QStringLiteral("F03W4H");
    const QSqlDatabase db = m_store.dm().database(m_store.dm().csm());
    QVector<qint64> c1;
    QVector<QVariant> cv;
    eachRow(db, QStringLiteral(" select C1, CV from F02W1H order by CNT "),
            [&](const QSqlQuery& q) {
                c1 << integerOf(q.value(0));
                cv << q.value(1);
            });
    {
        Transaction transaction(db);
        RowInserter inserter(m_store);
        std::array<QString, 4> row;
        int i = 1;
        for (const int pos : Averages::fourHourRows(c1, r.imcn)) {
            row = {QString::number(i), QString::number(c1[pos]), Query::textOf(cv[pos]), QString()};
            inserter.insert(row.data(), int(row.size()));
            ++i;
        }
        inserter.finish();
        transaction.commit();
    }
    int bound = 0;
    eachRow(db, QStringLiteral("select Max(CNT) as CNT from F03W4H "),
            [&](const QSqlQuery& q) { bound = int(integerOf(q.value(0))); });
    averageOf20(QStringLiteral("F03W4H"), bound);
}

void PriceImport::averageOf20(const QString& table, int bound) {
    Registers& r = m_store.reg();
    if (bound < 20)
        return;
    const QSqlDatabase db = m_store.dm().database(m_store.dm().csm());
    const StoredRows rows = readRows(db, table, QStringLiteral("CV"));
    QVector<qint64> targets;
    targets.reserve(bound - 19);
    for (int t = 20; t <= bound; ++t)
        targets << t;
    QString failure;
    const QVector<qint64> averages = Averages::windowAverages(rows.values, targets, 20, &failure);
    {
        Transaction transaction(db);
        writeAverages(db, table, QStringLiteral("AV"), rows, targets, averages);
        transaction.commit();
    }
    const qsizetype done = averages.size();
    r.swh = done < targets.size() ? QStringLiteral(" where CNT > %1 and CNT <= %2")
                                        .arg(targets[done] - 20)
                                        .arg(targets[done])
                                  : QStringLiteral(" where CNT = %1").arg(bound);
    if (!failure.isEmpty())
        throw TorvaneError(failure);
}

void PriceImport::frameAverages() {
    Registers& r = m_store.reg();
    uq4W(frameHour);
    uq4W(frameFourHours);
    uq4W(frameDay);

    const QSqlDatabase db = m_store.dm().database(m_store.dm().csm());
    // The real bars with their rowids for writing back. qd is not reopened on them: it keeps
    // every row of the table until the forecast step reopens it, and nothing reads it between.
    QVector<qint64> rowids, bars;
    eachRow(db,
            QStringLiteral("select rowid, CNT from F01YSK where CNT <= ") + QString::number(r.imcn),
            [&](const QSqlQuery& q) {
                rowids << q.value(0).toLongLong();
                bars << integerOf(q.value(1));
            });

    // Each average of a bar is the AV of the latest sample taken at or before it: kept as the
    // sample's position, the few samples' AVs once, not a value per bar.
    constexpr int frameCount = 3;
    std::array<QVector<QVariant>, frameCount> av;
    std::array<QVector<int>, frameCount> latest;
    int f = 0;
    for (const char* table : {"F02W1H", "F03W4H", "F04WD1"}) {
        QVector<Averages::Sample> samples;
        eachRow(db, QStringLiteral(" select CNT, C1, AV from ") + QLatin1String(table) + orderByCnt,
                [&](const QSqlQuery& q) {
                    samples.push_back({integerOf(q.value(0)), integerOf(q.value(1))});
                    av[f] << q.value(2);
                });
        latest[f++] = Averages::latestSamples(samples, bars);
    }
    {
        Transaction transaction(db);
        RowUpdater updater(db, QStringLiteral("F01YSK"),
                           {QStringLiteral("M1H"), QStringLiteral("M4H"), QStringLiteral("M1D")});
        for (qsizetype b = 0; b < bars.size(); ++b) {
            QVariant values[frameCount];
            for (int k = 0; k < frameCount; ++k)
                if (latest[k][b] >= 0)
                    values[k] = av[k][latest[k][b]];
            updater.update(rowids[b], values);
        }
        updater.finish();
        transaction.commit();
    }

    if (!bars.isEmpty()) {
        const qint64 lastBar = *std::max_element(bars.begin(), bars.end());
        r.sa[1] = QString::number(lastBar);
        r.swh = QStringLiteral(" where CNT = ") + r.sa[1];
    }
    for (Query* q : {&m_store.dm().q1h, &m_store.dm().q4h, &m_store.dm().qd1})
        q->close();
}
