#pragma once

#include <QString>

#include <optional>
#include <vector>

// What a sample of scored forecasts can honestly say: the direction hit rate with its interval
// and whether the forecast's absolute errors beat the no-change forecast's by more than chance.
// Shared by the track record of logged forecasts and the walk-forward backtest.
namespace Stats {

// The two-sided 95 % normal quantile.
constexpr double z95 = 1.959964;

// A proportion's interval, both bounds in 0..1.
struct Interval {
    double low = 0;
    double high = 0;
};

// Wilson's score interval at 95 % for `hits` of `trials`, without continuity correction;
// nothing when there are no trials.
std::optional<Interval> wilson(int hits, int trials);

// Student's t quantile at 0.975 with `df` degrees of freedom (df >= 1): the bound of a two-sided
// test at 5 %.
double tQuantile975(int df);

enum class Verdict { Undecided, Network, NoChange };

// The Diebold-Mariano test with the Harvey-Leybourne-Newbold correction.
struct Comparison {
    int n = 0;
    double meanDiff = 0; // the mean loss difference d̄
    double variance = 0; // V, the long-run variance of d̄
    double hln = 0;      // the corrected statistic; 0 when it cannot be computed
    double critical = 0; // the t quantile it is compared with; 0 when not compared
    Verdict verdict = Verdict::Undecided;
};

// Fewer rows than this are never judged.
constexpr int minimumForVerdict = 10;

// Judges the loss differences d_t (forecast loss minus no-change loss, in the order the
// forecasts were made) whose errors overlap over `h` steps (h = 1: successive errors
// independent). Network when d̄ < 0 and |HLN| exceeds the t quantile at n - 1 degrees of
// freedom, no-change when d̄ > 0 and it does, otherwise undecided; always undecided below
// `minimumForVerdict` rows or when the variance is not positive.
Comparison dieboldMariano(const std::vector<double>& d, int h);

// "network", "no-change" or "undecided": the verdict's word in the headless output.
QString verdictKey(Verdict v);

// A forecast that was scored, in one unit for every row.
struct Scored {
    double last = 0;     // the close the forecast started from
    double forecast = 0; // the forecast close
    double actual = 0;   // the close reached at the target
};

// The skill of a series of scored forecasts, in the order they were made.
struct Skill {
    int scored = 0;
    int ties = 0;        // rows whose actual close equals their last close: no direction to hit
    int hits = 0;        // among the other rows, the forecast's direction equals the actual one
    double errorSum = 0; // sum of |forecast - actual|
    double noChangeErrorSum = 0; // sum of |last - actual|
    std::optional<Interval> hitRate;
    Comparison comparison;

    int directional() const { return scored - ties; }
    std::optional<double> meanError() const;
    std::optional<double> noChangeMeanError() const;
};

Skill skillOf(const std::vector<Scored>& rows, int h = 1);

// A bound of a rate in percent with one decimal ("17.7"), "-" for none.
QString percentText(std::optional<double> share);

} // namespace Stats
