#include "analysis/PriceHistory.h"

#include "analysis/Backtest.h"
#include "forecast/Forecaster.h"
#include "prices/Averages.h"
#include "prices/PriceFile.h"
#include "store/Store.h"
#include "store/TextFile.h"
#include "store/TextRules.h"
#include "store/TorvaneError.h"

#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The import's row: CNT, SYMD, SHM, HV, LV, CV, M75, M1H, M4H, M1D, LYMD, LHM.
constexpr int highColumn = 3, lowColumn = 4, closeColumn = 5, endDateColumn = 10,
              endTimeColumn = 11;

// "yyyy/mm/dd" as yyyymmdd: such texts order as their numbers do; -1 for any other text.
qint32 paddedDay(const QString& text) {
    if (text.size() != 10 || text[4] != u'/' || text[7] != u'/')
        return -1;
    qint32 v = 0;
    for (int i : {0, 1, 2, 3, 5, 6, 8, 9}) {
        const QChar c = text[i];
        if (c < u'0' || c > u'9')
            return -1;
        v = v * 10 + (c.unicode() - u'0');
    }
    return v;
}

} // namespace

PriceHistory::Columns PriceHistory::Columns::of(Store& store) {
    Registers& r = store.reg();
    const QString db = r.stdb, table = r.stnm;
    r.stdb = QStringLiteral("csm");
    r.stnm = QStringLiteral("F01YSK");
    store.ucSql(Store::sqlBoundInsert);
    Columns c;
    Query& qst = store.dm().qst;
    int k = 0;
    for (qst.first(); !qst.eof() && k < 12; qst.next(), ++k) {
        c.text[k] = Store::isTextType(qst.field(QStringLiteral("KT")).asString());
        c.length[k] = std::max(0, qst.field(QStringLiteral("LN")).asInteger());
    }
    qst.close();
    r.stdb = db;
    r.stnm = table;
    if (k < 12)
        throw TorvaneError(QStringLiteral("F01YSK の列の定義が足りません"));
    return c;
}

double PriceHistory::Stored::value() const {
    return kind == Integer ? double(integer) : kind == Real ? real : 0.0;
}

QString PriceHistory::Stored::text() const {
    switch (kind) {
    case Integer:
        return QString::number(integer);
    case Real:
        return Query::textOf(QVariant(real));
    case Null:
        break;
    }
    return {};
}

PriceHistory::Stored PriceHistory::Stored::of(const QVariant& bound, bool integerAffinity) {
    Stored s;
    if (bound.isNull())
        return s;
    if (bound.typeId() == QMetaType::LongLong) {
        s.kind = Integer;
        s.integer = bound.toLongLong();
        return s;
    }
    const double d = bound.toDouble();
    // A real that is a whole number within the integer range is stored as that integer.
    if (integerAffinity && d == std::trunc(d) && d >= -9.2233720368547758e18 &&
        d < 9.2233720368547758e18) {
        s.kind = Integer;
        s.integer = qint64(d);
        return s;
    }
    s.kind = Real;
    s.real = d;
    return s;
}

PriceHistory PriceHistory::read(const QString& path, const QString& name, const Columns& columns,
                                const std::optional<PlatformExport::ServerTime>& serverTime) {
    PriceHistory h;
    h.m_name = name;
    QString source = path;
    std::optional<QTemporaryDir> converted;
    const PlatformExport::Layout layout = PlatformExport::detectFile(path);
    if (layout != PlatformExport::Layout::Plain) {
        const std::optional<PlatformExport::ServerTime> known =
            PlatformExport::knownServerTime(layout);
        if (!known && !serverTime)
            throw TorvaneError(QStringLiteral("%1 は %2 の書き出しファイルです。サーバー時刻の"
                                              "時差が必要です。")
                                   .arg(name, PlatformExport::layoutName(layout)));
        converted.emplace();
        if (!converted->isValid())
            throw TorvaneError(QStringLiteral("%1 を変換する一時フォルダを作れません: %2")
                                   .arg(name, converted->errorString()));
        source = converted->filePath(QStringLiteral("prices.csv"));
        PlatformExport::convertFile(path, source, known ? *known : *serverTime);
    }

    const QString top = QStringLiteral("999999");
    const bool integerAffinity[3] = {!columns.text[closeColumn], !columns.text[highColumn],
                                     !columns.text[lowColumn]};
    std::vector<Tracking::Bars::Bar> all;
    TextFile::LineReader reader(source, TextFile::Encoding::BomOrLatin);
    QString text;
    std::array<QString, 12> row;
    while (reader.next(text)) {
        const qsizetype li = reader.lineCount() - 1;
        h.m_lineStart.push_back(h.m_text.size());
        h.m_text += text;
        Line line;
        qint64 cutEnd = 0;
        bool hasCutEnd = false;
        if (!text.isEmpty()) {
            QStringList f = PriceFile::splitFields(text);
            // The --as-of cut reads the end before the blanks after the commas are dropped.
            if (f.size() >= 8)
                hasCutEnd = PriceFile::readMoment(f[6].trimmed() + u' ' + f[7].trimmed(), &cutEnd);
            for (QString& field : f)
                field = field.trimmed();
            line.kind = f[0] > top ? Line::Header : Line::Row;
            line.startDay = paddedDay(f[0]);
            if (line.kind == Line::Row) {
                try {
                    PriceFile::checkDateForms(f, name, li);
                } catch (const TorvaneError& e) {
                    line.problem = qint32(h.m_problems.size());
                    line.dateFormProblem = true;
                    h.m_problems << e.text();
                }
                if (line.problem < 0 && f.size() < 8) {
                    line.problem = qint32(h.m_problems.size());
                    h.m_problems << PriceFile::fewFields(name, li, f.size()).text();
                }
                if (line.startDay < 0 || line.dateFormProblem) {
                    line.text = qint32(h.m_texts.size());
                    h.m_texts << f[0];
                }
            }
            if (line.kind == Line::Row && line.problem < 0) {
                line.decimals = PriceFile::decimalsOf(f[5]);
                PriceFile::importRow(f, li + 1, row); // any counter: a number always binds
                const std::optional<double> high = PriceFile::extremeCandidate(row[3]);
                const std::optional<double> low = PriceFile::extremeCandidate(row[4]);
                line.highSeen = high.has_value();
                line.high = high.value_or(0.0);
                line.lowSeen = low.has_value();
                line.low = low.value_or(0.0);
                std::array<QVariant, 12> bound;
                line.stored = true;
                for (int k = 0; k < 12 && line.stored; ++k)
                    line.stored = TextRules::boundValue(row[k], columns.text[k], columns.length[k],
                                                        bound[k]);
                if (line.stored) {
                    const int priceColumns[3] = {closeColumn, highColumn, lowColumn};
                    for (int p = 0; p < 3; ++p)
                        line.prices[p] = Stored::of(bound[priceColumns[p]], integerAffinity[p]);
                    const QString endDate = bound[endDateColumn].toString();
                    const QString endTime = bound[endTimeColumn].toString();
                    try {
                        line.inputs = Forecaster::inputsOf(endDate, endTime);
                    } catch (const TorvaneError& e) {
                        line.inputProblem = qint32(h.m_problems.size());
                        h.m_problems << e.text();
                    }
                    line.end = TextRules::momentOf(endDate, endTime);
                    if (line.end && line.prices[0].kind != Stored::Null)
                        all.push_back({*line.end, qint64(std::trunc(line.prices[0].value()))});
                    h.m_decimals = line.decimals;
                }
            }
        }
        h.m_lines.push_back(line);
        h.m_cutEnds.push_back(hasCutEnd ? cutEnd : std::numeric_limits<qint64>::max());
    }
    h.m_lineStart.push_back(h.m_text.size());
    constexpr qint64 secondsPerDay = 24 * 60 * 60;
    if (!all.empty()) {
        const auto [first, last] = std::minmax_element(
            all.begin(), all.end(),
            [](const Tracking::Bars::Bar& a, const Tracking::Bars::Bar& b) { return a.end < b.end; });
        h.m_firstDate = QDate::fromJulianDay(first->end / secondsPerDay);
        h.m_lastDate = QDate::fromJulianDay(last->end / secondsPerDay);
    }
    h.m_bars = Tracking::Bars(std::move(all));
    // For each moment, the last line ending at or before it: the lines by end, each with the
    // furthest line index among those ending at or before.
    h.m_byEnd.resize(h.m_cutEnds.size());
    for (qsizetype i = 0; i < qsizetype(h.m_cutEnds.size()); ++i)
        h.m_byEnd[i] = {h.m_cutEnds[i], i};
    std::sort(h.m_byEnd.begin(), h.m_byEnd.end());
    for (std::size_t i = 1; i < h.m_byEnd.size(); ++i)
        h.m_byEnd[i].second = std::max(h.m_byEnd[i].second, h.m_byEnd[i - 1].second);
    return h;
}

QString PriceHistory::lineText(qsizetype index) const {
    if (index < 0 || index + 1 >= qsizetype(m_lineStart.size()))
        return {};
    return m_text.mid(m_lineStart[index], m_lineStart[index + 1] - m_lineStart[index]);
}

qsizetype PriceHistory::linesUntil(qint64 msecs) const {
    const auto it = std::upper_bound(
        m_byEnd.begin(), m_byEnd.end(), msecs,
        [](qint64 m, const std::pair<qint64, qsizetype>& e) { return m < e.first; });
    if (it == m_byEnd.begin())
        return 0;
    const auto& last = *std::prev(it);
    return last.first == std::numeric_limits<qint64>::max() ? 0 : last.second + 1;
}

bool PriceHistory::startsBefore(const Line& line, const QString& cutoff, qint32 cutoffDay) const {
    if (line.startDay >= 0)
        return line.startDay < cutoffDay;
    return m_texts[line.text] < cutoff;
}

std::optional<Backtest::FoldInput> PriceHistory::foldAt(const QDateTime& origin) const {
    qint64 until = 0;
    const QString originText = origin.toString(QStringLiteral("yyyy/MM/dd HH:mm"));
    PriceFile::readMoment(originText, &until);
    const qsizetype kept = linesUntil(until);
    if (kept == 0)
        return std::nullopt;
    const QString cutoff = PriceFile::cutoffDate(origin.date());
    const qint32 cutoffDay = paddedDay(cutoff);

    // The rows the import stores, in CNT order; a line that would stop the import stops the fold.
    std::vector<qsizetype> rows;
    rows.reserve(std::size_t(kept));
    bool highSeen = false, lowSeen = false;
    double highest = 0.0, lowest = 0.0;
    qint64 counter = 1;
    std::vector<Averages::KeyedValue> closes;
    for (qsizetype i = 0; i < kept; ++i) {
        const Line& line = m_lines[std::size_t(i)];
        if (line.kind != Line::Row)
            continue;
        if (startsBefore(line, cutoff, cutoffDay)) {
            if (line.dateFormProblem && PriceFile::isRecentLooseDate(m_texts[line.text], cutoff))
                throw TorvaneError(m_problems[line.problem]);
            continue;
        }
        if (line.problem >= 0)
            throw TorvaneError(m_problems[line.problem]);
        if (line.highSeen && (!highSeen || line.high > highest)) {
            highSeen = true;
            highest = line.high;
        }
        if (line.lowSeen && (!lowSeen || line.low < lowest)) {
            lowSeen = true;
            lowest = line.low;
        }
        if (line.stored) {
            rows.push_back(i);
            const Stored& close = line.prices[0];
            Averages::Value v;
            v.kind = close.kind == Stored::Integer ? Averages::Value::Integer
                     : close.kind == Stored::Real  ? Averages::Value::Real
                                                   : Averages::Value::Null;
            v.integer = close.integer;
            v.real = close.real;
            closes.push_back({counter, v});
        }
        ++counter;
    }

    // Whether the market was open: some kept bar ends within two bar lengths before the origin.
    std::vector<Tracking::Bars::Bar> keptBars;
    keptBars.reserve(rows.size());
    for (const qsizetype i : rows) {
        const Line& line = m_lines[std::size_t(i)];
        if (line.end)
            keptBars.push_back({*line.end, qint64(std::trunc(line.prices[0].value()))});
    }
    const Tracking::Bars bars(keptBars);
    const std::optional<qint64> originMoment =
        TextRules::momentOf(TextRules::dateText(origin.date()),
                            origin.time().toString(QStringLiteral("HH:mm")));
    if (!originMoment || !bars.openAt(*originMoment))
        return std::nullopt;

    Backtest::FoldInput in;
    in.origin = origin;
    in.originMoment = *originMoment;
    const std::array<PriceFile::Slot, 10> ahead =
        PriceFile::forecastSlots(kept >= 2 ? lineText(kept - 2) : QString(), lineText(kept - 1),
                                 kept, m_name);
    // The 75-bar average stops the import where its sum is no integer.
    {
        QVector<Averages::KeyedValue> values(closes.begin(), closes.end());
        QVector<qint64> targets;
        for (const Averages::KeyedValue& v : closes)
            if (v.key >= 75)
                targets << v.key;
        QString failure;
        Averages::windowAverages(values, targets, 75, &failure);
        if (!failure.isEmpty())
            throw TorvaneError(failure);
    }
    in.bounds = Forecaster::bounds(highSeen ? QString::number(highest, 'g', 17) : QString(),
                                   lowSeen ? QString::number(lowest, 'g', 17)
                                           : QStringLiteral("999999"));
    in.inputs.reserve(rows.size() * 5);
    in.targets.reserve(rows.size() * 3);
    for (const qsizetype i : rows) {
        const Line& line = m_lines[std::size_t(i)];
        if (line.inputProblem >= 0)
            throw TorvaneError(m_problems[line.inputProblem]);
        in.inputs.insert(in.inputs.end(), line.inputs.begin(), line.inputs.end());
        for (const Stored& price : line.prices)
            in.targets.push_back(Forecaster::scaled(price.value(), in.bounds));
    }
    for (int k = 0; k < 10; ++k) {
        const PriceFile::Slot& slot = ahead[std::size_t(k)];
        in.slotInputs[std::size_t(k)] = Forecaster::inputsOf(slot.endDate, slot.endTime);
        in.slotTargets[std::size_t(k)] =
            TextRules::momentOf(slot.endDate, slot.endTime).value_or(0);
    }
    const Line& last = m_lines[std::size_t(rows.back())];
    in.lastCloseText = last.prices[0].text();
    in.lastClose = qint64(std::trunc(last.prices[0].value()));
    in.lastEnd = last.end.value_or(0);
    Backtest::baselines(in, keptBars, bars.barLength());
    return in;
}
