#include "analysis/Statistics.h"

#include <boost/math/distributions/students_t.hpp>

#include <algorithm>
#include <cmath>

namespace Stats {

std::optional<Interval> wilson(int hits, int trials) {
    if (trials <= 0)
        return std::nullopt;
    const double m = trials;
    const double p = hits / m;
    const double z2 = z95 * z95;
    const double denominator = 1 + z2 / m;
    const double centre = (p + z2 / (2 * m)) / denominator;
    const double half = z95 * std::sqrt(p * (1 - p) / m + z2 / (4 * m * m)) / denominator;
    return Interval{std::max(0.0, centre - half), std::min(1.0, centre + half)};
}

double tQuantile975(int df) {
    const boost::math::students_t distribution(df);
    return boost::math::quantile(distribution, 0.975);
}

Comparison dieboldMariano(const std::vector<double>& d, int h) {
    Comparison c;
    c.n = int(d.size());
    if (c.n == 0)
        return c;
    const double n = c.n;
    double sum = 0;
    for (double v : d)
        sum += v;
    c.meanDiff = sum / n;

    // The autocovariance at lag j, over the n - j pairs, divided by n.
    const auto autocovariance = [&](int j) {
        double s = 0;
        for (int t = j; t < c.n; ++t)
            s += (d[t] - c.meanDiff) * (d[t - j] - c.meanDiff);
        return s / n;
    };
    double longRun = autocovariance(0);
    for (int j = 1; j < h && j < c.n; ++j)
        longRun += 2 * autocovariance(j);
    c.variance = longRun / n;

    const double correction = (n + 1 - 2.0 * h + h * (h - 1.0) / n) / n;
    if (c.n < minimumForVerdict || !(c.variance > 0) || !(correction > 0))
        return c;
    c.hln = c.meanDiff / std::sqrt(c.variance) * std::sqrt(correction);
    c.critical = tQuantile975(c.n - 1);
    if (std::abs(c.hln) > c.critical)
        c.verdict = c.meanDiff < 0   ? Verdict::Network
                    : c.meanDiff > 0 ? Verdict::NoChange
                                     : Verdict::Undecided;
    return c;
}

QString verdictKey(Verdict v) {
    switch (v) {
    case Verdict::Network:
        return QStringLiteral("network");
    case Verdict::NoChange:
        return QStringLiteral("no-change");
    case Verdict::Undecided:
        break;
    }
    return QStringLiteral("undecided");
}

static int signOf(double v) {
    return (v > 0) - (v < 0);
}

std::optional<double> Skill::meanError() const {
    if (scored == 0)
        return std::nullopt;
    return errorSum / scored;
}

std::optional<double> Skill::noChangeMeanError() const {
    if (scored == 0)
        return std::nullopt;
    return noChangeErrorSum / scored;
}

Skill skillOf(const std::vector<Scored>& rows, int h) {
    Skill s;
    std::vector<double> d;
    d.reserve(rows.size());
    for (const Scored& r : rows) {
        ++s.scored;
        const double error = std::abs(r.forecast - r.actual);
        const double noChangeError = std::abs(r.last - r.actual);
        s.errorSum += error;
        s.noChangeErrorSum += noChangeError;
        d.push_back(error - noChangeError);
        if (r.actual == r.last)
            ++s.ties;
        else if (signOf(r.forecast - r.last) == signOf(r.actual - r.last))
            ++s.hits;
    }
    s.hitRate = wilson(s.hits, s.directional());
    s.comparison = dieboldMariano(d, h);
    return s;
}

QString percentText(std::optional<double> share) {
    if (!share)
        return QStringLiteral("-");
    return QString::number(*share * 100, 'f', 1);
}

} // namespace Stats
