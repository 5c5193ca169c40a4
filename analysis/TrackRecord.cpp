#include "analysis/TrackRecord.h"

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QMap>
#include <QUrl>

#include <algorithm>
#include <cstdlib>

namespace Tracking {

namespace {

constexpr qint64 secondsPerDay = 24 * 60 * 60;

// The digits of text from `from` up to `to` (exclusive), blanks around allowed; -1 when there
// are none or anything else is there.
int numberIn(QStringView text, qsizetype from, qsizetype to) {
    while (from < to && text[from].isSpace())
        ++from;
    while (to > from && text[to - 1].isSpace())
        --to;
    if (from == to || to - from > 9)
        return -1;
    int v = 0;
    for (qsizetype i = from; i < to; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return -1;
        v = v * 10 + (c - u'0');
    }
    return v;
}

// Splits text at the separator into exactly `count` numbers; false when it does not.
bool numbersOf(QStringView text, QChar separator, int count, int* out) {
    qsizetype from = 0;
    for (int k = 0; k < count; ++k) {
        const qsizetype at = k + 1 < count ? text.indexOf(separator, from) : text.size();
        if (at < 0)
            return false;
        out[k] = numberIn(text, from, at);
        if (out[k] < 0)
            return false;
        from = at + 1;
    }
    return true;
}

// Names go into tab-separated lines and grid cells: no tab, line break or NUL (which ends a
// line for C's output) of their own.
QString oneLine(QString text) {
    for (QChar& c : text)
        if (c == u'\t' || c == u'\n' || c == u'\r' || c == u'\0')
            c = u' ';
    return text.isEmpty() ? QStringLiteral("-") : text;
}

} // namespace

std::optional<qint64> momentOf(const QString& date, const QString& time) {
    // Read by hand: the track record reads tens of thousands of these per refresh.
    int d[3];
    int t[3] = {0, 0, 0};
    if (!numbersOf(date, u'/', 3, d))
        return std::nullopt;
    const int parts = time.count(u':') + 1;
    if ((parts != 2 && parts != 3) || !numbersOf(time, u':', parts, t))
        return std::nullopt;
    const int hour = t[0], minute = t[1], second = t[2];
    if (!QDate::isValid(d[0], d[1], d[2]) || hour > 24 || minute > 59 || second > 59)
        return std::nullopt;
    // 24:00 is the end of a day's last bar in some exports: the next day's midnight.
    return QDate(d[0], d[1], d[2]).toJulianDay() * secondsPerDay + hour * 3600 + minute * 60 +
           second;
}

Bars::Bars(std::vector<Bar> bars) : m_bars(std::move(bars)) {
    std::stable_sort(m_bars.begin(), m_bars.end(),
                     [](const Bar& a, const Bar& b) { return a.end < b.end; });
}

bool Bars::covers(qint64 from, qint64 to) const {
    return !m_bars.empty() && m_bars.front().end <= from && m_bars.back().end >= to;
}

std::optional<qint64> Bars::closeAtOrBefore(qint64 moment) const {
    const auto it = std::upper_bound(m_bars.begin(), m_bars.end(), moment,
                                     [](qint64 m, const Bar& b) { return m < b.end; });
    if (it == m_bars.begin())
        return std::nullopt;
    return std::prev(it)->close;
}

int sign(qint64 v) {
    return v > 0 ? 1 : (v < 0 ? -1 : 0);
}

Direction directionOf(const QString& conclusion) {
    const QString text = conclusion.normalized(QString::NormalizationForm_KC);
    const bool up =
        text.contains(QStringLiteral("ドル高")) || text.contains(QStringLiteral("円安"));
    const bool down =
        text.contains(QStringLiteral("ドル安")) || text.contains(QStringLiteral("円高"));
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

std::optional<bool> NetworkRecord::beatsNoChange() const {
    if (scored == 0)
        return std::nullopt;
    return errorSum < noChangeErrorSum;
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
    if (!bars.covers(*from, to))
        return std::nullopt;
    const qint64 before = *bars.closeAtOrBefore(*from);
    const qint64 after = *bars.closeAtOrBefore(to);
    return direction == Direction::Up ? after > before : after < before;
}

TrackRecord compute(const QList<Forecast>& forecasts, const QList<Opinion>& opinions,
                    const QList<Event>& events, const Bars& bars) {
    TrackRecord record;
    NetworkRecord& net = record.network;
    QHash<qint64, qint64> midnights;
    net.logged = int(forecasts.size());
    for (const Forecast& f : forecasts) {
        if (!f.actual)
            continue;
        const qint64 actual = *f.actual;
        ++net.scored;
        if (directionHit(f.last, f.forecast, actual))
            ++net.hits;
        net.errorSum += double(std::llabs(f.forecast - actual));
        net.noChangeErrorSum += double(std::llabs(f.last - actual));
        if (const auto target = momentOf(f.targetDate, f.targetTime)) {
            // Back to calendar time for the chart's date axis. Local midnight is looked up once
            // per day: every local-time conversion reads the time-zone rules again.
            const qint64 day = *target / secondsPerDay;
            auto midnight = midnights.constFind(day);
            if (midnight == midnights.cend())
                midnight = midnights.insert(
                    day, QDateTime(QDate::fromJulianDay(day), QTime(0, 0)).toMSecsSinceEpoch());
            record.chart.push_back(
                {*midnight + (*target % secondsPerDay) * 1000, f.forecast, actual});
        }
    }
    std::stable_sort(
        record.chart.begin(), record.chart.end(),
        [](const ChartPoint& a, const ChartPoint& b) { return a.targetMs < b.targetMs; });

    QMap<QString, SiteRecord> sites;
    QHash<QString, QString> siteCache;
    for (const Opinion& o : opinions) {
        const Direction direction = directionOf(o.conclusion);
        if (direction == Direction::None)
            continue;
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
            if (e.surprise && sign(*e.surprise) == sign(*e.move))
                ++r.withSurprise;
        }
    }
    record.events = byName.values();
    return record;
}

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
