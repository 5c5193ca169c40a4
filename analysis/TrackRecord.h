#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// The track record of the network, of the professionals' opinions and of the economic events,
// computed from rows already read. Nothing here touches a database.
namespace Tracking {

// A moment as seconds on one running count, from "yyyy/mm/dd" and "hh:nn" (or "hh:nn:ss");
// nothing when either text is no valid date or time.
std::optional<qint64> momentOf(const QString& date, const QString& time);

// The real bars of the last import in time order: their end and close.
class Bars {
public:
    struct Bar {
        qint64 end;
        qint64 close;
    };
    Bars() = default;
    // Bars in CNT order; they are ordered by end, bars with the same end keeping their order.
    explicit Bars(std::vector<Bar> bars);

    bool isEmpty() const { return m_bars.empty(); }
    qsizetype size() const { return qsizetype(m_bars.size()); }
    // Some bar ends at or before `from` and some bar ends at or after `to`.
    bool covers(qint64 from, qint64 to) const;
    // The close of the last bar ending at or before the moment; nothing before the first bar.
    std::optional<qint64> closeAtOrBefore(qint64 moment) const;

private:
    std::vector<Bar> m_bars;
};

// -1, 0 or 1: no change is a direction of its own.
int sign(qint64 v);

enum class Direction { None, Up, Down };
// An opinion's conclusion, NFKC-normalised: "ドル高" or "円安" reads as up, "ドル安" or "円高"
// as down; a conclusion that names both ways, or neither, is not read.
Direction directionOf(const QString& conclusion);
// The site an opinion refers to: the host of a web address, otherwise the text as written.
QString siteOf(const QString& reference);

// A mean with one decimal, "-" when nothing was counted.
QString meanText(double sum, int count);
// Hits as a percentage of the scored with one decimal ("66.7%"), "-" when nothing was scored.
QString rateText(int hits, int scored);

struct Forecast {
    QString targetDate, targetTime; // TYMD, THM
    qint64 last = 0;                // LCV
    qint64 forecast = 0;            // FCV
    std::optional<qint64> actual;   // ACV
};
struct Opinion {
    QString date, time; // DT, HM
    QString conclusion; // RZ
    QString reference;  // SYT
};
struct Event {
    QString name;                   // ENW
    std::optional<qint64> surprise; // DIV
    std::optional<qint64> move;     // DYV
};

struct NetworkRecord {
    int logged = 0;
    int scored = 0;
    int hits = 0;
    double errorSum = 0;
    double noChangeErrorSum = 0;

    QString meanError() const { return meanText(errorSum, scored); }
    QString noChangeMeanError() const { return meanText(noChangeErrorSum, scored); }
    // Whether the network's mean error is below the no-change forecast's; nothing unscored.
    std::optional<bool> beatsNoChange() const;
};
struct SiteRecord {
    QString site;
    int read = 0; // opinions read as up or down
    int scored = 0;
    int hits = 0;
};
struct EventRecord {
    QString name;
    int count = 0;
    int withSurprise = 0;
    int moves = 0; // records with a price move
    double moveSum = 0;
    double absMoveSum = 0;

    QString meanMove() const { return meanText(moveSum, moves); }
    QString meanAbsMove() const { return meanText(absMoveSum, moves); }
};
struct ChartPoint {
    qint64 targetMs; // the target as local time, milliseconds since the epoch
    qint64 forecast;
    qint64 actual;
};

struct TrackRecord {
    NetworkRecord network;
    QList<SiteRecord> sites;   // by site name; only sites with an opinion read up or down
    QList<EventRecord> events; // by event name
    QList<ChartPoint> chart;   // the scored forecasts by target

    // The headless report: one tab-separated line per record.
    QStringList reportLines() const;
};

// The direction hit of a scored forecast.
bool directionHit(qint64 last, qint64 forecast, qint64 actual);
// The outcome of an opinion read up or down: nothing when the bars do not cover the day after it.
std::optional<bool> opinionHit(const Opinion& opinion, Direction direction, const Bars& bars);

TrackRecord compute(const QList<Forecast>& forecasts, const QList<Opinion>& opinions,
                    const QList<Event>& events, const Bars& bars);

} // namespace Tracking
