#include "analysis/TrackRecord.h"

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QMap>
#include <QUrl>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

namespace Tracking {

namespace {

constexpr qint64 secondsPerDay = 24 * 60 * 60;

// Names go into tab-separated lines and grid cells: no tab, line break or NUL (which ends a
// line for C's output) of their own.
QString oneLine(QString text) {
    for (QChar& c : text)
        if (c == u'\t' || c == u'\n' || c == u'\r' || c == u'\0')
            c = u' ';
    return text.isEmpty() ? QStringLiteral("-") : text;
}

} // namespace


Bars::Bars(std::vector<Bar> bars) : m_bars(std::move(bars)) {
    std::stable_sort(m_bars.begin(), m_bars.end(),
                     [](const Bar& a, const Bar& b) { return a.end < b.end; });
    QMap<qint64, int> steps;
    for (std::size_t i = 1; i < m_bars.size(); ++i)
        if (const qint64 step = m_bars[i].end - m_bars[i - 1].end; step > 0)
            ++steps[step];
    int seen = 0;
    for (auto it = steps.cbegin(); it != steps.cend(); ++it)
        if (it.value() > seen) { // key order: the shorter step wins a tie
            seen = it.value();
            m_barLength = it.key();
        }
}

const Bars::Bar* Bars::lastAtOrBefore(qint64 moment) const {
    const auto it = std::upper_bound(m_bars.begin(), m_bars.end(), moment,
                                     [](qint64 m, const Bar& b) { return m < b.end; });
    return it == m_bars.begin() ? nullptr : &*std::prev(it);
}

std::optional<qint64> Bars::endAtOrBefore(qint64 moment) const {
    if (const Bar* bar = lastAtOrBefore(moment))
        return bar->end;
    return std::nullopt;
}

std::optional<qint64> Bars::lastEnd() const {
    if (m_bars.empty())
        return std::nullopt;
    return m_bars.back().end;
}

qint64 Bars::barLength() const {
    return m_barLength;
}

bool Bars::openAt(qint64 moment) const {
    const std::optional<qint64> end = endAtOrBefore(moment);
    return end && m_barLength > 0 && moment - *end <= 2 * m_barLength;
}

Judgement judgeTarget(qint64 lastEnd, qint64 target, qint64 lastClose, const Bars& bars) {
    Judgement j;
    const std::optional<qint64> reached = bars.lastEnd();
    const std::optional<qint64> before = bars.endAtOrBefore(target);
    if (!reached || *reached < target || !before)
        return j;
    if (*before <= lastEnd) {
        j.kind = Judgement::Kind::Closed;
        return j;
    }
    j.actual = *bars.closeAtOrBefore(target);
    j.kind = j.actual * 2 < lastClose || j.actual > lastClose * 2 ? Judgement::Kind::OtherUnits
                                                                  : Judgement::Kind::Scored;
    return j;
}

double senOf(double difference, int decimals) {
    return difference * std::pow(10.0, 2 - decimals);
}

int decimalsOf(qint64 lastClose) {
    const int digits = int(QString::number(std::llabs(lastClose)).size());
    return std::max(0, digits - 3);
}

bool Bars::covers(qint64 from, qint64 to) const {
    return !m_bars.empty() && m_bars.front().end <= from && m_bars.back().end >= to;
}

std::optional<qint64> Bars::closeAtOrBefore(qint64 moment) const {
    if (const Bar* bar = lastAtOrBefore(moment))
        return bar->close;
    return std::nullopt;
}

int sign(qint64 v) {
    return v > 0 ? 1 : (v < 0 ? -1 : 0);
}

Direction directionOf(const QString& conclusion) {
    const QString text = conclusion.normalized(QString::NormalizationForm_KC);
    const auto any = [&text](std::initializer_list<const char16_t*> words) {
        return std::any_of(words.begin(), words.end(),
                           [&text](const char16_t* w) { return text.contains(QStringView(w)); });
    };
    // "円安一服" says the fall of the yen pauses: no direction to score.
    if (any({u"一服", u"反落", u"反発"}))
        return Direction::None;
    const bool up = any({u"ドル高", u"円安", u"ドル買い", u"円売り"});
    const bool down = any({u"ドル安", u"円高", u"ドル売り", u"円買い"});
    if (up == down)
        return Direction::None;
    return up ? Direction::Up : Direction::Down;
}

QString siteOf(const QString& reference) {
    const QString text = reference.trimmed();
    if (text.contains(QStringLiteral("://"))) {
        const QUrl url(text, QUrl::TolerantMode);
        if (url.isValid() && !url.host().isEmpty())
            return url.host();
    }
    return reference;
}

QString meanText(double sum, int count) {
    if (count == 0)
        return QStringLiteral("-");
    return QString::number(sum / count, 'f', 1);
}

QString rateText(int hits, int scored) {
    if (scored == 0)
        return QStringLiteral("-");
    return QString::number(100.0 * hits / scored, 'f', 1) + u'%';
}

QString verdictText(const Stats::Skill& skill) {
    switch (skill.comparison.verdict) {
    case Stats::Verdict::Network:
        return QStringLiteral("ﾈｯﾄﾜｰｸが無変化より良い");
    case Stats::Verdict::NoChange:
        return QStringLiteral("無変化のほうが良い");
    case Stats::Verdict::Undecided:
        break;
    }
    return QStringLiteral("まだ判断できません (n=%1)").arg(skill.scored);
}

QString NetworkRecord::summary() const {
    const auto senText = [](std::optional<double> v) {
        return v ? QString::number(*v, 'f', 1) + QStringLiteral("銭") : QStringLiteral("-");
    };
    QString rate = rateText(hits, scored - ties);
    if (const std::optional<Stats::Interval> r = sen.hitRate)
        rate += QStringLiteral(" (95%区間 %1〜%2%)")
                    .arg(Stats::percentText(r->low), Stats::percentText(r->high));
    return QStringLiteral("n=%1 的中%2/%3 %4 誤差%5 無変化%6 %7")
        .arg(scored)
        .arg(hits)
        .arg(scored - ties)
        .arg(rate, senText(sen.meanError()), senText(sen.noChangeMeanError()), verdictText(sen));
}

bool directionHit(qint64 last, qint64 forecast, qint64 actual) {
    return sign(forecast - last) == sign(actual - last);
}

std::optional<bool> opinionHit(const Opinion& opinion, Direction direction, const Bars& bars) {
    if (direction == Direction::None)
        return std::nullopt;
    const std::optional<qint64> from = momentOf(opinion.date, opinion.time);
    if (!from)
        return std::nullopt;
    const qint64 to = *from + secondsPerDay;
    if (!bars.covers(*from, to) || !bars.openAt(*from) || !bars.openAt(to))
        return std::nullopt;
    const qint64 before = *bars.closeAtOrBefore(*from);
    const qint64 after = *bars.closeAtOrBefore(to);
    return direction == Direction::Up ? after > before : after < before;
}

namespace {

// A scored row of the log, for the record of the rows it belongs to.
struct ScoredRow {
    qint64 order;      // the last bar's end, or the row's place when that is unreadable
    qint64 last, forecast, actual;
    int decimals;
};

NetworkRecord recordOf(std::vector<ScoredRow> rows, int logged, int closed, int otherUnits) {
    NetworkRecord net;
    net.logged = logged;
    net.closed = closed;
    net.otherUnits = otherUnits;
    std::stable_sort(rows.begin(), rows.end(),
                     [](const ScoredRow& a, const ScoredRow& b) { return a.order < b.order; });
    std::vector<Stats::Scored> sen;
    sen.reserve(rows.size());
    for (const ScoredRow& r : rows) {
        net.errorSum += double(std::llabs(r.forecast - r.actual));
        net.noChangeErrorSum += double(std::llabs(r.last - r.actual));
        // Measured from the last close, so that rows of other decimals share one unit.
        sen.push_back({0.0, senOf(double(r.forecast - r.last), r.decimals),
                       senOf(double(r.actual - r.last), r.decimals)});
    }
    net.sen = Stats::skillOf(sen, 1);
    // Counted on the changes: a tie and a hit read the same in sen as in price units.
    net.scored = net.sen.scored;
    net.ties = net.sen.ties;
    net.hits = net.sen.hits;
    return net;
}

} // namespace

TrackRecord compute(const QList<Forecast>& forecasts, const QList<Opinion>& opinions,
                    const QList<Event>& events, const Bars& bars) {
    TrackRecord record;
    std::vector<ScoredRow> scored;
    QMap<qint64, std::vector<ScoredRow>> byInterval;
    QMap<qint64, std::array<int, 3>> intervalCounts; // logged, closed, other units
    int closed = 0, otherUnits = 0;
    qint64 place = 0;
    for (const Forecast& f : forecasts) {
        ++place;
        std::array<int, 3>* counts =
            f.interval ? &intervalCounts[*f.interval] : nullptr;
        if (counts)
            ++(*counts)[0];
        if (f.unscored == Unscored::Closed || f.unscored == Unscored::OtherUnits) {
            const int k = f.unscored == Unscored::Closed ? 1 : 2;
            (k == 1 ? closed : otherUnits) += 1;
            if (counts)
                ++(*counts)[k];
            continue;
        }
        if (!f.actual)
            continue;
        const ScoredRow row{f.lastEnd.value_or(place), f.last, f.forecast, *f.actual,
                            f.decimals.value_or(decimalsOf(f.last))};
        scored.push_back(row);
        if (f.interval)
            byInterval[*f.interval].push_back(row);
        record.changes.push_back({senOf(double(f.forecast - f.last), row.decimals),
                                  senOf(double(*f.actual - f.last), row.decimals)});
    }
    record.network = recordOf(std::move(scored), int(forecasts.size()), closed, otherUnits);
    if (intervalCounts.size() > 1)
        for (auto it = intervalCounts.cbegin(); it != intervalCounts.cend(); ++it)
            record.intervals.push_back(
                {it.key(), recordOf(byInterval.value(it.key()), it.value()[0], it.value()[1],
                                    it.value()[2])});

    QMap<QString, SiteRecord> sites;
    QHash<QString, QString> siteCache;
    for (const Opinion& o : opinions) {
        const Direction direction = directionOf(o.conclusion);
        if (direction == Direction::None) {
            ++record.unreadOpinions;
            continue;
        }
        auto cached = siteCache.constFind(o.reference);
        if (cached == siteCache.cend())
            cached = siteCache.insert(o.reference, oneLine(siteOf(o.reference)));
        SiteRecord& site = sites[*cached];
        site.site = *cached;
        ++site.read;
        if (const std::optional<bool> hit = opinionHit(o, direction, bars)) {
            ++site.scored;
            if (*hit)
                ++site.hits;
        }
    }
    record.sites = sites.values();

    QMap<QString, EventRecord> byName;
    for (const Event& e : events) {
        const QString name = oneLine(e.name);
        EventRecord& r = byName[name];
        r.name = name;
        ++r.count;
        if (e.move) {
            ++r.moves;
            r.moveSum += double(*e.move);
            r.absMoveSum += double(std::llabs(*e.move));
            // A zero surprise or a zero move has no direction to share.
            if (e.surprise && *e.surprise != 0 && *e.move != 0 &&
                sign(*e.surprise) == sign(*e.move))
                ++r.withSurprise;
        }
    }
    record.events = byName.values();
    return record;
}

namespace {

QStringList verdictFields(const NetworkRecord& n) {
    const std::optional<Stats::Interval> rate = n.sen.hitRate;
    return {Stats::percentText(rate ? std::optional<double>(rate->low) : std::nullopt),
            Stats::percentText(rate ? std::optional<double>(rate->high) : std::nullopt),
            Stats::verdictKey(n.sen.comparison.verdict)};
}

} // namespace

QStringList TrackRecord::reportLines() const {
    const QChar tab = u'\t';
    QStringList lines;
    lines << QStringList{QStringLiteral("forecast"),
                         QStringLiteral("network"),
                         QString::number(network.scored),
                         QString::number(network.hits),
                         network.meanError(),
                         network.noChangeMeanError()}
                 .join(tab);
    lines << (QStringList{QStringLiteral("verdict"), QStringLiteral("network"),
                          QString::number(network.ties)} +
              verdictFields(network))
                 .join(tab);
    lines << QStringList{QStringLiteral("unscored"), QStringLiteral("network"),
                         QString::number(network.closed), QString::number(network.otherUnits)}
                 .join(tab);
    for (const IntervalRecord& i : intervals) {
        const NetworkRecord& n = i.record;
        lines << (QStringList{QStringLiteral("interval"), QString::number(i.minutes),
                              QString::number(n.scored), QString::number(n.hits),
                              QString::number(n.ties), n.meanError(), n.noChangeMeanError()} +
                  verdictFields(n))
                     .join(tab);
    }
    for (const SiteRecord& s : sites)
        lines << QStringList{QStringLiteral("pro"), s.site, QString::number(s.scored),
                             QString::number(s.hits)}
                     .join(tab);
    for (const EventRecord& e : events)
        lines
            << QStringList{QStringLiteral("event"),         e.name,       QString::number(e.count),
                           QString::number(e.withSurprise), e.meanMove(), e.meanAbsMove()}
                   .join(tab);
    return lines;
}

} // namespace Tracking
