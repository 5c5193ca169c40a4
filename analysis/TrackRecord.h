#pragma once

#include "analysis/Statistics.h"
#include "store/TextRules.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// The track record of the network, of the professionals' opinions and of the economic events,
// computed from rows already read. Nothing here touches a database.
namespace Tracking {

// Bar and opinion moments are read by the program's one rule for them.
using TextRules::momentOf;

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
    // The end of the last bar ending at or before the moment; nothing before the first bar.
    std::optional<qint64> endAtOrBefore(qint64 moment) const;
    // The end of the last bar; nothing without bars.
    std::optional<qint64> lastEnd() const;
    // The most common time between the ends of two successive bars (the shorter of equally
    // common ones); 0 with fewer than two bars.
    qint64 barLength() const;
    // Whether the market was open at the moment: a bar ends within two bar lengths before it.
    bool openAt(qint64 moment) const;

private:
    const Bar* lastAtOrBefore(qint64 moment) const;

    std::vector<Bar> m_bars;
    qint64 m_barLength = 0;
};

// Why a logged forecast has no score (the log's NSR): its target fell while the market was
// closed (final), or the close found was in other price units than its own (tried again).
enum class Unscored { None = 0, Closed = 1, OtherUnits = 2 };

// A forecast's target judged against bars, by the rules shared by the logged forecasts and the
// backtest's folds. Pending until some bar ends at or after the target (and one at or before
// it). Then Closed when no bar ends after the forecast's last bar and at or before the target;
// OtherUnits when the close of the last bar ending at or before the target lies outside half to
// twice the last close; otherwise Scored with that close.
struct Judgement {
    enum class Kind { Pending, Scored, Closed, OtherUnits };
    Kind kind = Kind::Pending;
    qint64 actual = 0; // the close found, when Scored or OtherUnits
};
Judgement judgeTarget(qint64 lastEnd, qint64 target, qint64 lastClose, const Bars& bars);

// A price difference in sen (0.01 yen), from whole numbers of a file with that many decimals.
double senOf(double difference, int decimals);
// The decimals of a forecast logged without them: a USD/JPY close has three digits before the
// point, so the digits beyond them are its decimals.
int decimalsOf(qint64 lastClose);

// -1, 0 or 1: no change is a direction of its own.
int sign(qint64 v);

enum class Direction { None, Up, Down };
// An opinion's conclusion, NFKC-normalised: "ドル高", "円安", "ドル買い" or "円売り" reads as
// up, "ドル安", "円高", "ドル売り" or "円買い" as down; a conclusion that names both ways, or
// neither, or says that a move pauses or turns ("一服", "反落", "反発"), is not read.
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
    std::optional<qint64> lastEnd;  // LYMD, LHM as a moment
    std::optional<qint64> interval; // ITV, minutes
    Unscored unscored = Unscored::None; // NSR
    std::optional<int> decimals;        // DEC
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
    int closed = 0;     // never scored: the target fell while the market was closed
    int otherUnits = 0; // unscored for now: the close found was in other units
    int scored = 0;
    int ties = 0; // scored rows whose actual close equals their last close
    int hits = 0; // among the other scored rows
    double errorSum = 0;         // in the rows' price units
    double noChangeErrorSum = 0; // in the rows' price units
    // The same rows in sen, in the order of their last bar's end: the hit rate's interval, the
    // mean errors and the verdict against no change.
    Stats::Skill sen;

    QString meanError() const { return meanText(errorSum, scored); }
    QString noChangeMeanError() const { return meanText(noChangeErrorSum, scored); }
    // The page's line: n, the hit rate with its interval, both mean errors in sen, the verdict.
    QString summary() const;
};
struct IntervalRecord {
    qint64 minutes = 0;
    NetworkRecord record;
};
// The verdict in words: "ﾈｯﾄﾜｰｸが無変化より良い", "無変化のほうが良い" or
// "まだ判断できません (n=…)".
QString verdictText(const Stats::Skill& skill);
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

struct ChangePoint {
    double forecast; // FCV - LCV in sen
    double actual;   // ACV - LCV in sen
};

struct TrackRecord {
    NetworkRecord network;
    QList<IntervalRecord> intervals; // by interval; only when several intervals are logged
    int unreadOpinions = 0;          // opinions read neither up nor down
    QList<ChangePoint> changes;      // the scored forecasts' changes
    QList<SiteRecord> sites;   // by site name; only sites with an opinion read up or down
    QList<EventRecord> events; // by event name

    // The headless report: one tab-separated line per record.
    QStringList reportLines() const;
};

// The direction hit of a scored forecast.
bool directionHit(qint64 last, qint64 forecast, qint64 actual);
// The outcome of an opinion read up or down: nothing when the bars do not cover the day after it
// or the market was closed at either end.
std::optional<bool> opinionHit(const Opinion& opinion, Direction direction, const Bars& bars);

TrackRecord compute(const QList<Forecast>& forecasts, const QList<Opinion>& opinions,
                    const QList<Event>& events, const Bars& bars);

} // namespace Tracking
