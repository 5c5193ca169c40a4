#pragma once

#include "analysis/Statistics.h"
#include "analysis/TrackRecord.h"

#include "forecast/Forecaster.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <array>
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

// The program's forecast rules as they bear on a fold's result: a fold kept under another
// method version is never taken for this one.
QByteArray methodVersion();

// What a fold trains on and forecasts, as the import and the forecast step would have it as of
// its origin: the patterns, the scaling, the ten slots, and what it is scored and compared by.
struct FoldInput {
    QDateTime origin;
    qint64 originMoment = 0; // on the TextRules::momentOf count
    ForecastBounds bounds;
    std::vector<float> inputs;  // five per bar
    std::vector<float> targets; // close, high, low per bar, scaled
    std::array<std::array<float, 5>, 10> slotInputs{};
    std::array<qint64, 10> slotTargets{}; // the slots' ends as moments
    QString lastCloseText; // the last bar's close as the table shows it
    qint64 lastClose = 0;
    qint64 lastEnd = 0;
    // The baselines' forecast closes by slot: the drift (the mean change per bar over the kept
    // bars, times the slot) and the same time of day (the mean change over the kept days from
    // the bar ending at the origin's time of day to the bar that many bar lengths later; no
    // change when no day has both).
    std::array<double, 10> drift{};
    std::array<double, 10> sameTime{};

    // The fold cache's key for this input with that seed: a hash of the slice, the seed and
    // the method version.
    QByteArray key(unsigned seed) const;
};

// Fills the input's baselines from its kept bars (in CNT order) and their bar length.
void baselines(FoldInput& input, const std::vector<Tracking::Bars::Bar>& kept, qint64 barLength);

// What a trained fold forecast: the slots' close, high and low and the network's error.
struct FoldForecast {
    std::array<qint64, 10> close{}, high{}, low{};
    float mse = 0.0f;
};

// One fold run: its input's summary, its forecast and the slots' actual closes (when scored).
struct Fold {
    QDateTime origin;
    qint64 originMoment = 0;
    unsigned seed = 0;
    QString lastCloseText;
    qint64 lastClose = 0;
    std::array<qint64, 10> slotTargets{};
    std::array<double, 10> drift{}, sameTime{};
    FoldForecast forecast;
    std::array<std::optional<qint64>, 10> actual{};
};

// "fold\tYYYY/MM/DD\tHH:NN\tSEED\tSLOT\tLCV\tFCV\tACV", one per slot; "-" when unscored.
QStringList foldLines(const Fold& fold);
// The folds' slots as the horizons read them.
std::vector<FoldSlot> slotsOf(const std::vector<Fold>& folds);

// One row of the page's table: a slot's skill over its scored origins in sen (each origin
// once, the median of its seeds), the relative error (MAE / no-change MAE) and the baselines'
// mean errors over the same origins, in sen.
struct SlotRow {
    Horizon horizon; // skill in sen
    std::optional<double> relativeError;
    std::optional<double> driftError;
    std::optional<double> sameTimeError;
};
std::vector<SlotRow> slotRows(const std::vector<Fold>& folds, int decimals);
// "無変化より良い", "無変化より悪い" or "まだ判断できません".
QString verdictWords(Stats::Verdict verdict);

} // namespace Backtest
