#include "analysis/Analysis.h"

#include "forecast/Forecaster.h"
#include "store/Clock.h"
#include "store/RowReader.h"
#include "store/Store.h"
#include "store/TextRules.h"
#include "store/TorvaneError.h"
#include "store/Transaction.h"

#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace {

const QString logTable = QStringLiteral("F10YSR");
// The columns the log is written and read by. A table of that name that lacks any of them is
// not the log; one that has more is a later version of it.
const QStringList logColumns{"CNT", "MDT",  "MHM", "ITV", "LYMD", "LHM", "LCV", "LHV",
                             "LLV", "TYMD", "THM", "FCV", "FHV",  "FLV", "MSE", "ACV"};

// Puts the registers back when the scope ends.
class KeptRegisters {
public:
    explicit KeptRegisters(Registers& reg) : m_reg(reg), m_saved(reg) {}
    ~KeptRegisters() { m_reg = m_saved; }
    KeptRegisters(const KeptRegisters&) = delete;
    KeptRegisters& operator=(const KeptRegisters&) = delete;

private:
    Registers& m_reg;
    Registers m_saved;
};

// The rows of a catalogued table, selected through the statement builder with the tail; with
// withRowId each row's own identity comes first, for writing back to that row alone.
class TableRows {
public:
    TableRows(Store& store, const QString& selector, const QString& table, const QString& tail,
              bool withRowId = false)
        : m_rows(store.dm().database(store.dm().connectionOf(selector)),
                 statement(store, selector, table, tail, withRowId)) {}
    bool next() { return m_rows.next(); }
    // The column's index in the rows, -1 when the catalogue lacks it.
    int column(const QString& name) const { return m_rows.record().indexOf(name); }
    QString text(int column) const {
        return column < 0 ? QString() : m_rows.value(column).toString();
    }
    std::optional<qint64> integer(int column) const {
        return column < 0 ? std::nullopt : TextRules::storedInteger(m_rows.value(column));
    }
    // The row's rowid, when the rows were selected withRowId.
    qint64 rowId() const { return m_rows.value(0).toLongLong(); }

private:
    static QString statement(Store& store, const QString& selector, const QString& table,
                             const QString& tail, bool withRowId) {
        Registers& r = store.reg();
        r.stdb = selector;
        r.stnm = table;
        r.swh = tail;
        store.ucSql(Store::sqlSelect);
        const QString select = QStringLiteral(" select ");
        if (withRowId && r.sqw.startsWith(select))
            r.sqw.insert(select.size(), QStringLiteral("rowid, "));
        return r.sqw;
    }

    RowReader m_rows;
};

QString sqlTextOf(const QString& text) {
    return Store::sqlText(text);
}

// The names of columns that are not among present, compared without case and blanks.
QStringList missingColumns(const QStringList& present) {
    QStringList upper;
    for (const QString& c : present)
        upper << c.trimmed().toUpper();
    QStringList missing;
    for (const QString& c : logColumns)
        if (!upper.contains(c))
            missing << c;
    return missing;
}

} // namespace

void Analysis::loadBars() {
    Registers& r = m_store.reg();
    KeptRegisters kept(r);
    std::vector<Tracking::Bars::Bar> bars;
    if (r.imcn > 0) {
        TableRows rows(m_store, QStringLiteral("csm"), QStringLiteral("F01YSK"),
                       QStringLiteral(" where CNT <= ") + QString::number(r.imcn) +
                           QStringLiteral(" order by CNT "));
        const int lymd = rows.column(QStringLiteral("LYMD"));
        const int lhm = rows.column(QStringLiteral("LHM"));
        const int cv = rows.column(QStringLiteral("CV"));
        while (rows.next()) {
            const auto end = Tracking::momentOf(rows.text(lymd), rows.text(lhm));
            const auto close = rows.integer(cv);
            if (end && close)
                bars.push_back({*end, *close});
        }
    }
    m_bars = Tracking::Bars(std::move(bars));
}

void Analysis::scoreForecasts() {
    loadBars();
    // A log that cannot be scored is reported and the import goes on with its averages and
    // forecast. The page is told either way: the opinions' outcomes follow the new bars.
    if (!m_bars.isEmpty() && m_logUsable) {
        try {
            scoreLoggedForecasts();
        } catch (const TorvaneError& e) {
            m_store.dialogs().error(
                QStringLiteral("%1 の予測を採点できませんでした。\n%2").arg(logTable, e.text()));
        }
    }
    Q_EMIT changed();
}

void Analysis::scoreLoggedForecasts() {
    Registers& r = m_store.reg();
    KeptRegisters kept(r);
    // Each row is scored by its own identity: rows that share a CNT (read back from a CSV file)
    // each keep the close of their own target.
    struct Judged {
        qint64 rowid;
        Tracking::Judgement judgement;
    };
    QList<Judged> judged;
    {
        // Rows marked closed are final; rows met in other units are tried again.
        TableRows rows(m_store, QStringLiteral("csq"), logTable,
                       m_logHasReasons
                           ? QStringLiteral(" where ACV is null and (NSR is null or NSR <> 1) "
                                            "order by CNT ")
                           : QStringLiteral(" where ACV is null order by CNT "),
                       true);
        const int tymd = rows.column(QStringLiteral("TYMD"));
        const int thm = rows.column(QStringLiteral("THM"));
        const int lymd = rows.column(QStringLiteral("LYMD"));
        const int lhm = rows.column(QStringLiteral("LHM"));
        const int lcv = rows.column(QStringLiteral("LCV"));
        while (rows.next()) {
            const auto target = Tracking::momentOf(rows.text(tymd), rows.text(thm));
            const auto lastEnd = Tracking::momentOf(rows.text(lymd), rows.text(lhm));
            const auto lastClose = rows.integer(lcv);
            if (!target || !lastEnd || !lastClose)
                continue;
            const Tracking::Judgement j =
                Tracking::judgeTarget(*lastEnd, *target, *lastClose, m_bars);
            if (j.kind != Tracking::Judgement::Kind::Pending)
                judged.push_back({rows.rowId(), j});
        }
    }
    if (judged.isEmpty())
        return;
    // Only ACV and the reason are written, and only where ACV is still empty: nothing else the
    // row holds moves.
    Transaction transaction(m_store.dm().database(m_store.dm().csq()));
    for (const Judged& row : judged) {
        // A log without the reason column records scores alone.
        if (!m_logHasReasons && row.judgement.kind != Tracking::Judgement::Kind::Scored)
            continue;
        QString set;
        switch (row.judgement.kind) {
        case Tracking::Judgement::Kind::Scored:
            set = QStringLiteral(" set ACV = ") + QString::number(row.judgement.actual) +
                  (m_logHasReasons ? QStringLiteral(", NSR = NULL") : QString());
            break;
        case Tracking::Judgement::Kind::Closed:
            set = QStringLiteral(" set NSR = 1");
            break;
        case Tracking::Judgement::Kind::OtherUnits:
            set = QStringLiteral(" set NSR = 2");
            break;
        case Tracking::Judgement::Kind::Pending:
            break;
        }
        if (set.isEmpty())
            continue;
        r.sqw = QStringLiteral(" update ") + logTable + set + QStringLiteral(" where rowid = ") +
                QString::number(row.rowid) + QStringLiteral(" and ACV is null ");
        m_store.uexSql(Store::execFile);
        // A full disk or a lock ends the scoring with its reason; the rows stay unscored.
        if (!m_store.lastStatementOk())
            throw TorvaneError(m_store.lastStatementError());
    }
    transaction.commit();
}

void Analysis::logForecast(const ForecastSummary& summary) {
    if (m_store.reg().imcn <= 0 || !m_logUsable)
        return;
    // The forecast itself stands: a record that fails is reported and the chart still follows.
    try {
        writeLog(summary);
    } catch (const TorvaneError& e) {
        m_store.dialogs().error(
            QStringLiteral("%1 に予測を記録できませんでした。\n%2").arg(logTable, e.text()));
    }
    Q_EMIT changed();
}

void Analysis::writeLog(const ForecastSummary& summary) {
    Registers& r = m_store.reg();
    KeptRegisters kept(r);

    // The last real bar, the first two slots (the interval) and the tenth slot (the target).
    QHash<qint64, std::pair<QString, QString>> ends;
    {
        TableRows rows(m_store, QStringLiteral("csm"), QStringLiteral("F01YSK"),
                       QStringLiteral(" where CNT >= ") + QString::number(r.imcn) +
                           QStringLiteral(" and CNT <= ") + QString::number(r.imcn + 10) +
                           QStringLiteral(" order by CNT "));
        const int cnt = rows.column(QStringLiteral("CNT"));
        const int lymd = rows.column(QStringLiteral("LYMD"));
        const int lhm = rows.column(QStringLiteral("LHM"));
        while (rows.next())
            if (const auto c = rows.integer(cnt))
                ends.insert(*c, {rows.text(lymd), rows.text(lhm)});
    }
    const auto last = ends.value(r.imcn);
    const auto target = ends.value(r.imcn + 10);
    const auto first =
        Tracking::momentOf(ends.value(r.imcn + 1).first, ends.value(r.imcn + 1).second);
    const auto second =
        Tracking::momentOf(ends.value(r.imcn + 2).first, ends.value(r.imcn + 2).second);
    const QString interval = first && second ? QString::number((*second - *first) / 60) : QString();

    // When the forecast was made: the clock's moment, or the last bar's end when that is later
    // (a clock fixed at the start of a day, a file whose bars run ahead of it).
    QDateTime made = Clock::now();
    if (const auto end = Tracking::momentOf(last.first, last.second)) {
        const QDateTime lastEnd(QDate::fromJulianDay(*end / 86400),
                                QTime(0, 0).addSecs(int(*end % 86400)));
        if (lastEnd > made)
            made = lastEnd;
    }
    QHash<QString, QString> values{
        {QStringLiteral("MDT"), TextRules::dateText(made.date())},
        {QStringLiteral("MHM"), made.toString(QStringLiteral("hh:mm"))},
        {QStringLiteral("ITV"), interval},
        {QStringLiteral("LYMD"), last.first},
        {QStringLiteral("LHM"), last.second},
        {QStringLiteral("LCV"), summary.lastClose},
        {QStringLiteral("LHV"), summary.lastHigh},
        {QStringLiteral("LLV"), summary.lastLow},
        {QStringLiteral("TYMD"), target.first},
        {QStringLiteral("THM"), target.second},
        {QStringLiteral("FCV"), summary.forecastClose},
        {QStringLiteral("FHV"), summary.forecastHigh},
        {QStringLiteral("FLV"), summary.forecastLow},
        {QStringLiteral("MSE"), summary.mseText},
        {QStringLiteral("DEC"), m_decimals ? QString::number(*m_decimals) : QString()},
    };

    // The look-up of a row for the same bars, the next CNT and the write form one transaction
    // that holds the file's write lock from its start: a second program logging at the same
    // moment waits, then finds this row, so no two rows share a CNT or the same bars.
    Transaction transaction(m_store.dm().database(m_store.dm().csq()),
                            Transaction::Kind::Immediate);
    // The first forecast of the same last bar and interval stays: a later one, with other
    // weights, could otherwise replace a forecast whose outcome is already known.
    {
        TableRows rows(m_store, QStringLiteral("csq"), logTable,
                       QStringLiteral(" where LYMD = ") + sqlTextOf(last.first) +
                           QStringLiteral(" and LHM = ") + sqlTextOf(last.second) +
                           QStringLiteral(" and ITV is ") +
                           (interval.isEmpty() ? QStringLiteral("NULL") : interval) + u' ');
        if (rows.next())
            return;
    }
    Query& qq = m_store.dm().qq;
    qq.setConnection(m_store.dm().csq());
    qq.setSql(QStringLiteral(" select Max(CNT) as CNT from ") + logTable + u' ');
    qq.open();
    const Field largest = qq.field(QStringLiteral("CNT"));
    values.insert(QStringLiteral("CNT"),
                  QString::number(largest.isNull() ? 1 : qint64(largest.asInteger()) + 1));
    qq.close();

    // The value slots in catalogue column order, as every register write fills them.
    r.stdb = QStringLiteral("csq");
    r.stnm = logTable;
    m_store.uqTst(Store::tstColumns);
    int slot = Registers::firstValueSlot;
    Query& qst = m_store.dm().qst;
    for (qst.first(); !qst.eof() && slot <= Registers::lastValueSlot; qst.next(), ++slot)
        r.sa[slot] = values.value(qst.field(QStringLiteral("CNAM")).asString().trimmed());
    qst.close();
    m_store.ucSql(Store::sqlInsert);
    m_store.uexSql(Store::execFile);
    if (!m_store.lastStatementOk())
        throw TorvaneError(m_store.lastStatementError());
    transaction.commit();
}

void Analysis::checkLog() {
    m_logUsable = false;
    m_logHasReasons = false;
    Registers& r = m_store.reg();
    KeptRegisters kept(r);
    QString why;
    try {
        const bool catalogued = m_store.isCatalogued(logTable);
        const bool exists = m_store.tableExists(QStringLiteral("csq"), logTable);
        if (exists) {
            QStringList present;
            QSqlQuery info(m_store.dm().database(m_store.dm().csq()));
            if (!info.exec(QStringLiteral("pragma table_info(") + logTable + u')'))
                throw TorvaneError(Store::databaseReason(info.lastError()));
            while (info.next())
                present << info.value(1).toString();
            m_logHasReasons = present.contains(QStringLiteral("NSR"), Qt::CaseInsensitive) &&
                              present.contains(QStringLiteral("DEC"), Qt::CaseInsensitive);
            if (const QStringList missing = missingColumns(present); !missing.isEmpty())
                why = QStringLiteral("ﾃｰﾌﾞﾙ %1 に予測記録の列 %2 がありません"
                                     "(同じ名前の別のﾃｰﾌﾞﾙのようです)")
                          .arg(logTable, missing.join(QStringLiteral(", ")));
        }
        if (why.isEmpty() && catalogued && exists) {
            r.stdb = QStringLiteral("csq");
            r.stnm = logTable;
            m_store.uqTst(Store::tstColumns);
            QStringList catalogue;
            Query& qst = m_store.dm().qst;
            for (qst.first(); !qst.eof(); qst.next())
                catalogue << qst.field(QStringLiteral("CNAM")).asString();
            qst.close();
            if (const QStringList missing = missingColumns(catalogue); !missing.isEmpty())
                why = QStringLiteral("ｶﾀﾛｸﾞ(AAATBN, AAATST)の %1 の行に列 %2 がありません")
                          .arg(logTable, missing.join(QStringLiteral(", ")));
        }
        // A log that is not there at all (an old database started without the catalogue files,
        // or one whose log could not be added or made, which start-up said) needs no word.
        if (why.isEmpty()) {
            m_logUsable = catalogued && exists;
            return;
        }
    } catch (const TorvaneError& e) {
        why = e.text();
    }
    m_store.dialogs().error(
        QStringLiteral(
            "予測記録 %1 を使えません: %2。\n予測は記録も採点もせずに続けます。"
            "9分析のﾍﾟｰｼﾞはﾌﾟﾛの相場観とｲﾍﾞﾝﾄの成績を示します。ﾃｰﾌﾞﾙ %1 はそのままです。")
            .arg(logTable, why));
}

Tracking::TrackRecord Analysis::trackRecord() {
    Registers& r = m_store.reg();
    KeptRegisters kept(r);
    // No order is asked for: the record's groups and chart are ordered by the computation, and a
    // sort of every row would cost more than the rest of the refresh.
    QList<Tracking::Forecast> forecasts;
    if (m_logUsable) {
        TableRows rows(m_store, QStringLiteral("csq"), logTable, QString());
        const int tymd = rows.column(QStringLiteral("TYMD"));
        const int thm = rows.column(QStringLiteral("THM"));
        const int lcv = rows.column(QStringLiteral("LCV"));
        const int fcv = rows.column(QStringLiteral("FCV"));
        const int acv = rows.column(QStringLiteral("ACV"));
        const int lymd = rows.column(QStringLiteral("LYMD"));
        const int lhm = rows.column(QStringLiteral("LHM"));
        const int itv = rows.column(QStringLiteral("ITV"));
        const int nsr = m_logHasReasons ? rows.column(QStringLiteral("NSR")) : -1;
        const int dec = m_logHasReasons ? rows.column(QStringLiteral("DEC")) : -1;
        while (rows.next()) {
            Tracking::Forecast f;
            f.targetDate = rows.text(tymd);
            f.targetTime = rows.text(thm);
            f.actual = rows.integer(acv);
            f.lastEnd = Tracking::momentOf(rows.text(lymd), rows.text(lhm));
            f.interval = rows.integer(itv);
            const qint64 reason = rows.integer(nsr).value_or(0);
            if (reason == 1 || reason == 2)
                f.unscored = Tracking::Unscored(reason);
            if (const auto d = rows.integer(dec); d && *d >= 0 && *d <= 8)
                f.decimals = int(*d);
            const auto lastClose = rows.integer(lcv);
            const auto forecastClose = rows.integer(fcv);
            // A row without its prices cannot be judged; it still counts as logged.
            if (!lastClose || !forecastClose)
                f.actual.reset();
            f.last = lastClose.value_or(0);
            f.forecast = forecastClose.value_or(0);
            forecasts.push_back(f);
        }
    }
    QList<Tracking::Opinion> opinions;
    if (m_store.isCatalogued(QStringLiteral("F05PMF"))) {
        TableRows rows(m_store, QStringLiteral("csq"), QStringLiteral("F05PMF"), QString());
        const int dt = rows.column(QStringLiteral("DT"));
        const int hm = rows.column(QStringLiteral("HM"));
        const int rz = rows.column(QStringLiteral("RZ"));
        const int syt = rows.column(QStringLiteral("SYT"));
        while (rows.next())
            opinions.push_back({rows.text(dt), rows.text(hm), rows.text(rz), rows.text(syt)});
    }
    QList<Tracking::Event> events;
    if (m_store.isCatalogued(QStringLiteral("F06EVR"))) {
        TableRows rows(m_store, QStringLiteral("csq"), QStringLiteral("F06EVR"), QString());
        const int enw = rows.column(QStringLiteral("ENW"));
        const int div = rows.column(QStringLiteral("DIV"));
        const int dyv = rows.column(QStringLiteral("DYV"));
        while (rows.next())
            events.push_back({rows.text(enw), rows.integer(div), rows.integer(dyv)});
    }
    return Tracking::compute(forecasts, opinions, events, m_bars);
}
