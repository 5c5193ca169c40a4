#include "analysis/Backtest.h"

#include "analysis/TrackRecord.h"

#include <QCryptographicHash>

#include <algorithm>
#include <cmath>
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


QByteArray methodVersion() {
    // Everything a fold's forecast follows from besides its bars and seed: the pass count, the
    // network's shape and training, and the rules that turn bars into patterns and outputs
    // into prices. Change the last number when any rule of the forecast step changes.
    return QByteArrayLiteral("torvane fold 1; passes ") + QByteArray::number(Forecaster::passes) +
           QByteArrayLiteral("; layers 5 5 3; sigmoid 0.5 0.5; rprop; weights -0.5 0.5; "
                             "inputs y/2025 m/12 d/31 h/24 n/60; bounds +-1000; rounding llround");
}

QByteArray FoldInput::key(unsigned seed) const {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    const auto add = [&](const void* data, std::size_t bytes) {
        hash.addData(QByteArrayView(static_cast<const char*>(data), qsizetype(bytes)));
    };
    const QByteArray version = methodVersion();
    add(version.constData(), std::size_t(version.size()));
    add(&seed, sizeof seed);
    const float b[3] = {bounds.dhg, bounds.dlg, bounds.dsg};
    add(b, sizeof b);
    const quint64 patterns = inputs.size() / 5;
    add(&patterns, sizeof patterns);
    add(inputs.data(), inputs.size() * sizeof(float));
    add(targets.data(), targets.size() * sizeof(float));
    for (const auto& slot : slotInputs)
        add(slot.data(), slot.size() * sizeof(float));
    return hash.result().toHex();
}

void baselines(FoldInput& input, const std::vector<Tracking::Bars::Bar>& kept, qint64 barLength) {
    const double last = double(input.lastClose);
    const double perBar = kept.size() >= 2 ? double(kept.back().close - kept.front().close) /
                                                 double(kept.size() - 1)
                                           : 0.0;
    for (int k = 1; k <= 10; ++k)
        input.drift[std::size_t(k - 1)] = last + perBar * k;

    input.sameTime.fill(last);
    if (kept.empty() || barLength <= 0)
        return;
    const Tracking::Bars bars(kept);
    constexpr qint64 secondsPerDay = 24 * 60 * 60;
    const qint64 timeOfDay = input.originMoment % secondsPerDay;
    const qint64 firstDay = bars.lastEnd() ? kept.front().end / secondsPerDay : 0;
    const qint64 lastEnd = *bars.lastEnd();
    std::array<double, 10> sum{};
    std::array<int, 10> days{};
    for (qint64 day = firstDay; day * secondsPerDay + timeOfDay <= lastEnd; ++day) {
        const qint64 from = day * secondsPerDay + timeOfDay;
        if (!bars.openAt(from))
            continue;
        const double start = double(*bars.closeAtOrBefore(from));
        for (int k = 1; k <= 10; ++k) {
            const qint64 to = from + k * barLength;
            if (to > lastEnd)
                break;
            // The bar k bar lengths later must be there, not one from before a closed market.
            const std::optional<qint64> end = bars.endAtOrBefore(to);
            if (!end || to - *end >= barLength || *end <= from)
                continue;
            sum[std::size_t(k - 1)] += double(*bars.closeAtOrBefore(to)) - start;
            ++days[std::size_t(k - 1)];
        }
    }
    for (int k = 0; k < 10; ++k)
        if (days[std::size_t(k)] > 0)
            input.sameTime[std::size_t(k)] = last + sum[std::size_t(k)] / days[std::size_t(k)];
}

QStringList foldLines(const Fold& fold) {
    QStringList lines;
    const QString date = fold.origin.date().toString(QStringLiteral("yyyy/MM/dd"));
    const QString time = fold.origin.time().toString(QStringLiteral("HH:mm"));
    for (int k = 0; k < 10; ++k) {
        const std::optional<qint64>& actual = fold.actual[std::size_t(k)];
        lines << QStringList{QStringLiteral("fold"),
                             date,
                             time,
                             QString::number(fold.seed),
                             QString::number(k + 1),
                             fold.lastCloseText,
                             QString::number(fold.forecast.close[std::size_t(k)]),
                             actual ? QString::number(*actual) : QStringLiteral("-")}
                     .join(u'\t');
    }
    return lines;
}

std::vector<FoldSlot> slotsOf(const std::vector<Fold>& folds) {
    std::vector<FoldSlot> out;
    out.reserve(folds.size() * 10);
    for (const Fold& f : folds)
        for (int k = 0; k < 10; ++k)
            out.push_back({f.originMoment, int(f.seed), k + 1, f.slotTargets[std::size_t(k)],
                           f.lastClose, f.forecast.close[std::size_t(k)],
                           f.actual[std::size_t(k)]});
    return out;
}

std::vector<SlotRow> slotRows(const std::vector<Fold>& folds, int decimals) {
    // The horizons in sen: the same origins, medians and overlaps, prices scaled to sen.
    const std::vector<FoldSlot> all = slotsOf(folds);
    std::vector<Horizon> inPrices = horizons(all);
    std::map<qint64, std::vector<const Fold*>> byOrigin;
    for (const Fold& f : folds)
        byOrigin[f.originMoment].push_back(&f);
    std::vector<SlotRow> rows;
    for (int k = 1; k <= 10; ++k) {
        SlotRow row;
        std::vector<Stats::Scored> scored;
        double drift = 0, sameTime = 0;
        for (const auto& [origin, seeds] : byOrigin) {
            const Fold& first = *seeds.front();
            const std::optional<qint64>& actual = first.actual[std::size_t(k - 1)];
            if (!actual)
                continue;
            std::vector<qint64> closes;
            for (const Fold* s : seeds)
                closes.push_back(s->forecast.close[std::size_t(k - 1)]);
            const auto sen = [&](double v) { return Tracking::senOf(v, decimals); };
            scored.push_back({sen(double(first.lastClose)), sen(double(medianForecast(closes))),
                              sen(double(*actual))});
            drift += std::fabs(sen(first.drift[std::size_t(k - 1)] - double(*actual)));
            sameTime += std::fabs(sen(first.sameTime[std::size_t(k - 1)] - double(*actual)));
        }
        row.horizon.slot = k;
        row.horizon.h = inPrices[std::size_t(k - 1)].h;
        row.horizon.skill = Stats::skillOf(scored, row.horizon.h);
        const Stats::Skill& s = row.horizon.skill;
        if (s.scored > 0) {
            row.driftError = drift / s.scored;
            row.sameTimeError = sameTime / s.scored;
            if (s.noChangeErrorSum > 0)
                row.relativeError = s.errorSum / s.noChangeErrorSum;
        }
        rows.push_back(row);
    }
    return rows;
}

QString verdictWords(Stats::Verdict verdict) {
    switch (verdict) {
    case Stats::Verdict::Network:
        return QStringLiteral("無変化より良い");
    case Stats::Verdict::NoChange:
        return QStringLiteral("無変化より悪い");
    case Stats::Verdict::Undecided:
        break;
    }
    return QStringLiteral("まだ判断できません");
}

} // namespace Backtest
