#pragma once

#include "analysis/Statistics.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// The walk-forward backtest's summary: from the forecasts of every fold (an origin, a seed) and
// their actual closes, one horizon line per slot. Nothing here touches a database or trains.
namespace Backtest {

// One slot of one fold: the fold's origin and its slot's target as moments (seconds on the
// TextRules::momentOf count), the fold's last close, the slot's forecast close and, when the
// slot was scored, its actual close; prices in the file's units.
struct FoldSlot {
    qint64 origin = 0;
    int seed = 0;
    int slot = 0; // 1..10
    qint64 target = 0;
    qint64 last = 0;
    qint64 forecast = 0;
    std::optional<qint64> actual;
};

// The median of the seeds' forecast closes, the lower middle one for an even count: every
// origin counts once, so more seeds never narrow an interval by themselves.
qint64 medianForecast(std::vector<qint64> closes);

// For the origins of one slot (each origin's moment and its target), the largest number of
// later origins that fall before an origin's target: how far successive errors overlap.
int overlap(const std::vector<std::pair<qint64, qint64>>& originsAndTargets);

struct Horizon {
    int slot = 0;
    Stats::Skill skill; // over the slot's scored origins, compared with h = overlap + 1
    int h = 1;
};

// One horizon per slot 1..10, whether or not any of its origins was scored.
std::vector<Horizon> horizons(const std::vector<FoldSlot>& folds);

// "horizon\tSLOT\tN\tHITS\tTIES\tMAE\tNOCHANGE_MAE\tHIT_LOW\tHIT_HIGH\tVERDICT".
QString horizonLine(const Horizon& horizon);

} // namespace Backtest
