#include "analysis/Backtest.h"

#include "analysis/TrackRecord.h"

#include <algorithm>
#include <map>

namespace Backtest {

qint64 medianForecast(std::vector<qint64> closes) {
    if (closes.empty())
        return 0;
    std::sort(closes.begin(), closes.end());
    return closes[(closes.size() - 1) / 2];
}

int overlap(const std::vector<std::pair<qint64, qint64>>& originsAndTargets) {
    std::vector<qint64> origins;
    origins.reserve(originsAndTargets.size());
    for (const auto& [origin, target] : originsAndTargets)
        origins.push_back(origin);
    std::sort(origins.begin(), origins.end());
    origins.erase(std::unique(origins.begin(), origins.end()), origins.end());
    int most = 0;
    for (const auto& [origin, target] : originsAndTargets) {
        const auto later = std::upper_bound(origins.begin(), origins.end(), origin);
        const auto beforeTarget = std::lower_bound(origins.begin(), origins.end(), target);
        if (beforeTarget > later)
            most = std::max(most, int(beforeTarget - later));
    }
    return most;
}

std::vector<Horizon> horizons(const std::vector<FoldSlot>& folds) {
    // Per slot, per origin (in time order): its seeds' rows.
    std::map<int, std::map<qint64, std::vector<const FoldSlot*>>> bySlot;
    for (const FoldSlot& f : folds)
        bySlot[f.slot][f.origin].push_back(&f);
    std::vector<Horizon> out;
    for (int slot = 1; slot <= 10; ++slot) {
        Horizon h;
        h.slot = slot;
        std::vector<Stats::Scored> scored;
        std::vector<std::pair<qint64, qint64>> spans;
        for (const auto& [origin, seeds] : bySlot[slot]) {
            // Every seed of a fold sees the same bars: the actual close is the fold's.
            const FoldSlot& first = *seeds.front();
            if (!first.actual)
                continue;
            std::vector<qint64> closes;
            closes.reserve(seeds.size());
            for (const FoldSlot* s : seeds)
                closes.push_back(s->forecast);
            scored.push_back({double(first.last), double(medianForecast(closes)),
                              double(*first.actual)});
            spans.emplace_back(origin, first.target);
        }
        h.h = overlap(spans) + 1;
        h.skill = Stats::skillOf(scored, h.h);
        out.push_back(h);
    }
    return out;
}

QString horizonLine(const Horizon& horizon) {
    const Stats::Skill& s = horizon.skill;
    const std::optional<Stats::Interval> rate = s.hitRate;
    return QStringList{QStringLiteral("horizon"),
                       QString::number(horizon.slot),
                       QString::number(s.scored),
                       QString::number(s.hits),
                       QString::number(s.ties),
                       Tracking::meanText(s.errorSum, s.scored),
                       Tracking::meanText(s.noChangeErrorSum, s.scored),
                       Stats::percentText(rate ? std::optional<double>(rate->low) : std::nullopt),
                       Stats::percentText(rate ? std::optional<double>(rate->high) : std::nullopt),
                       Stats::verdictKey(s.comparison.verdict)}
        .join(u'\t');
}

} // namespace Backtest
