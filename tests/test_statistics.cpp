#include "analysis/Backtest.h"
#include "analysis/Statistics.h"

#include <QTest>

using Stats::Verdict;

Q_DECLARE_METATYPE(std::vector<double>)
Q_DECLARE_METATYPE(Stats::Verdict)

class TestStatistics : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void wilsonBounds_data();
    void wilsonBounds();
    void tQuantile_data();
    void tQuantile();
    void dieboldMariano_data();
    void dieboldMariano();
    void skillCountsTiesApart();
    void medianOfSeeds_data();
    void medianOfSeeds();
    void overlapOfOrigins_data();
    void overlapOfOrigins();
    void horizonLinesFollowFromTheFolds();
};

// Bounds computed by hand from the score interval's formula with z = 1.959964.
void TestStatistics::wilsonBounds_data() {
    QTest::addColumn<int>("hits");
    QTest::addColumn<int>("trials");
    QTest::addColumn<double>("low");
    QTest::addColumn<double>("high");
    QTest::newRow("5 of 13") << 5 << 13 << 17.709708 << 64.477109;
    QTest::newRow("none of 10") << 0 << 10 << 0.0 << 27.753280;
    QTest::newRow("all of 10") << 10 << 10 << 72.246720 << 100.0;
    QTest::newRow("1 of 1") << 1 << 1 << 20.654931 << 100.0;
    QTest::newRow("55 of 100") << 55 << 100 << 45.244603 << 64.385462;
}

void TestStatistics::wilsonBounds() {
    QFETCH(int, hits);
    QFETCH(int, trials);
    QFETCH(double, low);
    QFETCH(double, high);
    const auto interval = Stats::wilson(hits, trials);
    QVERIFY(interval);
    QVERIFY(qAbs(interval->low * 100 - low) < 1e-5);
    QVERIFY(qAbs(interval->high * 100 - high) < 1e-5);
    QCOMPARE(Stats::percentText(interval->low), QString::number(low, 'f', 1));
}

void TestStatistics::tQuantile_data() {
    QTest::addColumn<int>("df");
    QTest::addColumn<double>("quantile");
    // Standard tables of Student's t at 0.975.
    QTest::newRow("1") << 1 << 12.706204736;
    QTest::newRow("9") << 9 << 2.262157163;
    QTest::newRow("11") << 11 << 2.200985160;
    QTest::newRow("30") << 30 << 2.042272456;
    QTest::newRow("1000") << 1000 << 1.962339071;
}

void TestStatistics::tQuantile() {
    QFETCH(int, df);
    QFETCH(double, quantile);
    QVERIFY(qAbs(Stats::tQuantile975(df) - quantile) < 1e-8);
}

void TestStatistics::dieboldMariano_data() {
    QTest::addColumn<std::vector<double>>("d");
    QTest::addColumn<int>("h");
    QTest::addColumn<double>("hln");
    QTest::addColumn<Verdict>("verdict");
    const std::vector<double> better{-3, -1, -4, 1, -5, -9, 2, -6, -5, -3};
    std::vector<double> worse;
    for (double v : better)
        worse.push_back(-v);
    const std::vector<double> mixed{-2, 1, -3, 0.5, -1, 2, -4, 1, -2, -1.5, 0, -3};
    // HLN computed by hand; t(9) = 2.2622, t(11) = 2.2010.
    QTest::newRow("network beats no-change") << better << 1 << -3.160826741 << Verdict::Network;
    QTest::newRow("no-change beats network") << worse << 1 << 3.160826741 << Verdict::NoChange;
    QTest::newRow("within chance") << mixed << 1 << -1.828051463 << Verdict::Undecided;
    // Overlapping errors change the variance: the same sample is told apart at h = 3.
    QTest::newRow("overlap of three") << mixed << 3 << -2.205643866 << Verdict::Network;
    QTest::newRow("nine rows are too few")
        << std::vector<double>(better.begin(), better.end() - 1) << 1 << 0.0 << Verdict::Undecided;
    QTest::newRow("no variance") << std::vector<double>(12, -1.0) << 1 << 0.0 << Verdict::Undecided;
    QTest::newRow("empty") << std::vector<double>() << 1 << 0.0 << Verdict::Undecided;
}

void TestStatistics::dieboldMariano() {
    QFETCH(std::vector<double>, d);
    QFETCH(int, h);
    QFETCH(double, hln);
    QFETCH(Verdict, verdict);
    const Stats::Comparison c = Stats::dieboldMariano(d, h);
    QVERIFY2(qAbs(c.hln - hln) < 1e-8, qPrintable(QString::number(c.hln, 'g', 12)));
    QCOMPARE(c.verdict, verdict);
}

void TestStatistics::skillCountsTiesApart() {
    // last, forecast, actual: a hit up, a miss, a tie (actual = last), a hit down, a forecast of
    // no change that moved (a miss).
    const std::vector<Stats::Scored> rows{
        {100, 110, 105}, {100, 110, 95}, {100, 90, 100}, {100, 95, 90}, {100, 100, 101}};
    const Stats::Skill s = Stats::skillOf(rows);
    QCOMPARE(s.scored, 5);
    QCOMPARE(s.ties, 1);
    QCOMPARE(s.hits, 2);
    QCOMPARE(s.directional(), 4);
    QCOMPARE(*s.meanError(), (5 + 15 + 10 + 5 + 1) / 5.0);
    QCOMPARE(*s.noChangeMeanError(), (5 + 5 + 0 + 10 + 1) / 5.0);
    const auto rate = Stats::wilson(2, 4);
    QCOMPARE(s.hitRate->low, rate->low);
    // The tie takes part in the comparison of errors: five loss differences.
    QCOMPARE(s.comparison.n, 5);
    QCOMPARE(s.comparison.verdict, Verdict::Undecided);

    const Stats::Skill onlyTies = Stats::skillOf({{100, 101, 100}});
    QVERIFY(!onlyTies.hitRate);
    QCOMPARE(Stats::percentText(std::nullopt), QStringLiteral("-"));
}

Q_DECLARE_METATYPE(std::vector<qint64>)

void TestStatistics::medianOfSeeds_data() {
    QTest::addColumn<std::vector<qint64>>("closes");
    QTest::addColumn<qint64>("median");
    QTest::newRow("one seed") << std::vector<qint64>{150120} << qint64(150120);
    QTest::newRow("two: the lower") << std::vector<qint64>{150300, 150100} << qint64(150100);
    QTest::newRow("three") << std::vector<qint64>{5, 9, 1} << qint64(5);
    QTest::newRow("four: the lower middle") << std::vector<qint64>{7, 1, 5, 3} << qint64(3);
}

void TestStatistics::medianOfSeeds() {
    QFETCH(std::vector<qint64>, closes);
    QFETCH(qint64, median);
    QCOMPARE(Backtest::medianForecast(closes), median);
}

void TestStatistics::overlapOfOrigins_data() {
    // Origins every `step` hours, targets `ahead` hours after them.
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("ahead");
    QTest::addColumn<int>("overlap");
    QTest::newRow("daily origins, targets within the day") << 24 << 2 << 0;
    QTest::newRow("target at the next origin: not before it") << 6 << 6 << 0;
    QTest::newRow("three origins before the target") << 3 << 10 << 3;
    QTest::newRow("one origin before the target") << 6 << 7 << 1;
}

void TestStatistics::overlapOfOrigins() {
    QFETCH(int, step);
    QFETCH(int, ahead);
    QFETCH(int, overlap);
    std::vector<std::pair<qint64, qint64>> spans;
    for (int i = 0; i < 8; ++i)
        spans.emplace_back(qint64(i) * step * 3600, (qint64(i) * step + ahead) * 3600);
    QCOMPARE(Backtest::overlap(spans), overlap);
}

// Two seeds per origin: the lower median forecast counts once per origin; an unscored slot
// counts nowhere, and a slot without scored origins says so in every field.
void TestStatistics::horizonLinesFollowFromTheFolds() {
    constexpr qint64 day = 86400;
    std::vector<Backtest::FoldSlot> folds;
    const auto fold = [&](qint64 origin, int slot, qint64 last, qint64 seed1, qint64 seed2,
                          std::optional<qint64> actual) {
        for (const auto& [seed, forecast] : {std::pair{1, seed1}, std::pair{2, seed2}})
            folds.push_back({origin, seed, slot, origin + 3600, last, forecast, actual});
    };
    fold(0, 1, 100, 110, 120, 105);    // median 110: up, hit, error 5, no-change 5
    fold(day, 1, 100, 90, 130, 95);    // median 90: down, hit, error 5, no-change 5
    fold(2 * day, 1, 100, 104, 96, 100); // a tie: error 4, no-change 0
    fold(3 * day, 1, 100, 90, 80, 110);  // median 80: miss, error 30, no-change 10
    fold(0, 2, 100, 101, 102, std::nullopt);
    const std::vector<Backtest::Horizon> h = Backtest::horizons(folds);
    QCOMPARE(h.size(), std::size_t(10));
    QCOMPARE(h[0].h, 1);
    const auto rate = Stats::wilson(2, 3);
    QCOMPARE(Backtest::horizonLine(h[0]),
             QStringLiteral("horizon\t1\t4\t2\t1\t11.0\t5.0\t%1\t%2\tundecided")
                 .arg(Stats::percentText(rate->low), Stats::percentText(rate->high)));
    QCOMPARE(Backtest::horizonLine(h[1]), QStringLiteral("horizon\t2\t0\t0\t0\t-\t-\t-\t-\tundecided"));
    QCOMPARE(Backtest::horizonLine(h[9]), QStringLiteral("horizon\t10\t0\t0\t0\t-\t-\t-\t-\tundecided"));
}

QTEST_GUILESS_MAIN(TestStatistics)
#include "test_statistics.moc"
