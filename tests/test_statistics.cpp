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

QTEST_GUILESS_MAIN(TestStatistics)
#include "test_statistics.moc"
