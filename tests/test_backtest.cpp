// The walk-forward backtest: each fold is the forecast as of its origin, bit for bit, from the
// bars before it alone; the headless output follows from the folds whatever the jobs; the fold
// cache makes a second run, or one resumed after a stop, train only what is new.
#include "analysis/Backtest.h"
#include "analysis/Backtester.h"
#include "session/HeadlessPipeline.h"
#include "store/Clock.h"
#include "store/TextFile.h"
#include "store/TextRules.h"
#include "support/SessionFixture.h"

#include <QFile>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTest>
#include <QThread>

#include <map>

namespace {

QString priceText(qint64 units) {
    return QStringLiteral("%1.%2").arg(units / 1000).arg(units % 1000, 3, 10, QChar(u'0'));
}

QString line(const QDateTime& start, int minutes, const QString& high, const QString& low,
             const QString& close) {
    const QDateTime end = start.addSecs(qint64(minutes) * 60);
    return QStringList{start.toString(QStringLiteral("yyyy/MM/dd")),
                       start.toString(QStringLiteral("HH:mm")),
                       QStringLiteral("150.000"),
                       high,
                       low,
                       close,
                       end.toString(QStringLiteral("yyyy/MM/dd")),
                       end.toString(QStringLiteral("HH:mm"))}
        .join(u',');
}

// Hourly bars from Monday 2025/05/05 to Friday 2025/07/18, weekdays only, prices with three
// decimals on a wandering path. Among them the import's quirks: a header and a blank line in the
// middle, a bar whose close is text (its number is skipped, its high of 160.000 still raises the
// highest price) and one whose low is text. `after`, when set, rewrites every bar that ends after
// it, as a file that went on differently would.
QStringList history(const std::optional<QDateTime>& after = std::nullopt) {
    QStringList lines{QStringLiteral("Date,Time,Open,High,Low,Close,EndDate,EndTime")};
    qint64 price = 150000;
    quint32 state = 7;
    for (QDate d(2025, 5, 5); d <= QDate(2025, 7, 18); d = d.addDays(1)) {
        if (d.dayOfWeek() > 5)
            continue;
        for (int h = 0; h < 24; ++h) {
            const QDateTime start(d, QTime(h, 0));
            state = state * 1103515245u + 12345u;
            price += qint64((state >> 16) % 61) - 30;
            qint64 close = price;
            if (after && start.addSecs(3600) > *after)
                close = 2 * price - 150000 + 777;
            QString high = priceText(close + 20), low = priceText(close - 20);
            QString closeText = priceText(close);
            if (d == QDate(2025, 7, 8) && h == 10) {
                high = QStringLiteral("160.000");
                closeText = QStringLiteral("abc");
            }
            if (d == QDate(2025, 7, 9) && h == 3)
                low = QStringLiteral("low");
            lines << line(start, 60, high, low, closeText);
            if (d == QDate(2025, 6, 2) && h == 5)
                lines << QString() << QStringLiteral("Date,Time,Open,High,Low,Close,End,End");
        }
    }
    return lines;
}

} // namespace

class TestBacktest : public QObject, private SessionFixture {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY(createTemplate()); }
    void init() { QVERIFY(openSession()); }
    void cleanup() {
        closeSession();
        Clock::release();
    }

    // A fold as of an origin equals the headless forecast as of that moment with its seed: the
    // ten slots' close, high and low in the table, and the printed error.
    void foldEqualsTheForecastAsOfItsOrigin_data() {
        QTest::addColumn<QDateTime>("origin");
        QTest::addColumn<unsigned>("seed");
        QTest::newRow("at a bar's end") << QDateTime(QDate(2025, 7, 8), QTime(9, 0)) << 1u;
        QTest::newRow("after the text close, highest from it")
            << QDateTime(QDate(2025, 7, 8), QTime(15, 0)) << 4u;
        QTest::newRow("within a bar, after the text low")
            << QDateTime(QDate(2025, 7, 9), QTime(10, 30)) << 2u;
        QTest::newRow("a blank and a header line among the kept bars")
            << QDateTime(QDate(2025, 7, 17), QTime(21, 0)) << 1u;
    }
    void foldEqualsTheForecastAsOfItsOrigin() {
        QFETCH(QDateTime, origin);
        QFETCH(unsigned, seed);
        const QString file = write(history());
        const Backtest::Fold fold = onlyFold(file, origin, seed);

        const QString table = dir->filePath(QStringLiteral("asof.csv"));
        const QStringList printed =
            headless({file, QStringLiteral("--as-of"),
                      origin.toString(QStringLiteral("yyyy/MM/dd HH:mm")), QStringLiteral("--seed"),
                      QString::number(seed), QStringLiteral("--table"), table});
        QCOMPARE(printed.size(), 4);
        QCOMPARE(printed[3], QStringLiteral("MSE(平均二乗誤差) ") + Forecaster::mseText(fold.forecast.mse));
        QCOMPARE(printed[1].section(u' ', 1, 1, QString::SectionSkipEmpty), fold.lastCloseText);
        const QStringList rows = TextFile::readLines(table, TextFile::Encoding::Cp932);
        QVERIFY(rows.size() > 10);
        for (int k = 0; k < 10; ++k) {
            const QStringList f = rows[rows.size() - 10 + k].split(u',');
            // CNT, SYMD, SHM, HV, LV, CV, ...
            QCOMPARE(f[3].toLongLong(), fold.forecast.high[std::size_t(k)]);
            QCOMPARE(f[4].toLongLong(), fold.forecast.low[std::size_t(k)]);
            QCOMPARE(f[5].toLongLong(), fold.forecast.close[std::size_t(k)]);
        }
    }

    // Whatever the file says after an origin never reaches that fold: its input, key and
    // forecast stay bit for bit the same. Its scoring does read the later bars.
    void laterBarsNeverReachAFold() {
        const QDateTime origin(QDate(2025, 7, 10), QTime(15, 0));
        const Backtest::Fold plain = onlyFold(write(history(), QStringLiteral("A.CSV")), origin, 3);
        QStringList changed = history(origin);
        changed << QStringLiteral("2025/7/19,1:00,1,1,1,1,2025/7/19,2:00")
                << QStringLiteral("2025/07/19,08:00,1");
        const QString other = write(changed, QStringLiteral("B.CSV"));
        const Backtest::Fold moved = onlyFold(other, origin, 3);
        QCOMPARE(moved.forecast.close, plain.forecast.close);
        QCOMPARE(moved.forecast.high, plain.forecast.high);
        QCOMPARE(moved.forecast.low, plain.forecast.low);
        QCOMPARE(moved.forecast.mse, plain.forecast.mse);
        QVERIFY(moved.actual != plain.actual);
        // The second run found the first one's forecast under the same key.
        QCOMPARE(session->backtest.cached(), 1);
    }

    // A slot counts only when the file has bars after the fold's last one up to its target:
    // the last origin's slots run past the file; those of an origin at the week's last bar fall
    // on the weekend.
    void slotsAreScoredOnlyWhenTheMarketReachedThem() {
        const QString file = write(history());
        const Backtest::Fold last = onlyFold(file, QDateTime(QDate(2025, 7, 18), QTime(20, 0)), 1);
        QCOMPARE(last.actual[0].has_value(), true);
        for (int k = 4; k < 10; ++k)
            QVERIFY2(!last.actual[std::size_t(k)], qPrintable(QString::number(k + 1)));
        const Backtest::Fold weekend = onlyFold(file, QDateTime(QDate(2025, 7, 12), QTime(0, 0)), 1);
        QCOMPARE(weekend.origin.date(), QDate(2025, 7, 12));
        for (int k = 0; k < 10; ++k)
            QVERIFY(!weekend.actual[std::size_t(k)]);
    }

    // Origins while the market is closed (a weekend, before the first bar) make no fold.
    void closedMarketOriginsAreSkipped() {
        Backtester::Plan plan = planOf(write(history()), QDate(2025, 7, 11), QDate(2025, 7, 14));
        plan.origins = {QTime(9, 0)};
        Backtester& b = runHere(plan);
        QCOMPARE(b.skipped(), 2); // Saturday and Sunday
        QCOMPARE(int(b.folds().size()), 2);
        QCOMPARE(b.folds()[0].origin, QDateTime(QDate(2025, 7, 11), QTime(9, 0)));
        QCOMPARE(b.folds()[1].origin, QDateTime(QDate(2025, 7, 14), QTime(9, 0)));
    }

    // The headless output: fold lines in origin, seed and slot order, then the ten horizon
    // lines, the same whatever the jobs; each horizon's counts and means follow from the fold
    // lines (the seeds' lower median for each origin).
    void headlessLinesFollowFromTheFoldsWhateverTheJobs() {
        const QString file = write(history());
        const QStringList common{QStringLiteral("--backtest"), file,
                                 QStringLiteral("--from"),     QStringLiteral("2025/07/14"),
                                 QStringLiteral("--to"),       QStringLiteral("2025/07/16"),
                                 QStringLiteral("--origins"),  QStringLiteral("21:00,09:00"),
                                 QStringLiteral("--seeds"),    QStringLiteral("2"),
                                 QStringLiteral("--seed"),     QStringLiteral("5")};
        const QStringList one = tabbed(headless(common + QStringList{"--jobs", "1"}));
        clearCache();
        const QStringList two = tabbed(headless(common + QStringList{"--jobs", "2"}));
        QCOMPARE(session->backtest.trained(), 12);
        QCOMPARE(two, one);
        QCOMPARE(one.size(), 6 * 2 * 10 + 10);

        std::map<int, std::map<QString, std::vector<QStringList>>> bySlot;
        QString previous;
        for (int i = 0; i < 120; ++i) {
            const QStringList f = one[i].split(u'\t');
            QCOMPARE(f.size(), 8);
            QCOMPARE(f[0], QStringLiteral("fold"));
            const QString order = f[1] + f[2] + f[3] + f[4].rightJustified(2, u'0');
            QVERIFY2(order > previous, qPrintable(one[i]));
            previous = order;
            bySlot[f[4].toInt()][f[1] + f[2]].push_back(f);
        }
        for (int k = 1; k <= 10; ++k) {
            const QStringList h = one[119 + k].split(u'\t');
            QCOMPARE(h.size(), 10);
            QCOMPARE(h[0], QStringLiteral("horizon"));
            QCOMPARE(h[1].toInt(), k);
            int n = 0, hits = 0, ties = 0;
            double error = 0, noChange = 0;
            for (const auto& [origin, seeds] : bySlot[k]) {
                QCOMPARE(int(seeds.size()), 2);
                if (seeds[0][7] == QStringLiteral("-"))
                    continue;
                const qint64 last = seeds[0][5].toLongLong(), actual = seeds[0][7].toLongLong();
                const qint64 median = std::min(seeds[0][6].toLongLong(), seeds[1][6].toLongLong());
                ++n;
                if (actual == last)
                    ++ties;
                else if ((median > last) == (actual > last) && median != last)
                    ++hits;
                error += std::abs(double(median - actual));
                noChange += std::abs(double(last - actual));
            }
            QCOMPARE(h[2].toInt(), n);
            QCOMPARE(h[3].toInt(), hits);
            QCOMPARE(h[4].toInt(), ties);
            QCOMPARE(h[5], Tracking::meanText(error, n));
            QCOMPARE(h[6], Tracking::meanText(noChange, n));
            const std::optional<Stats::Interval> w = Stats::wilson(hits, n - ties);
            QCOMPARE(h[7], Stats::percentText(w ? std::optional(w->low) : std::nullopt));
            QCOMPARE(h[8], Stats::percentText(w ? std::optional(w->high) : std::nullopt));
        }
    }

    // A second run trains nothing; a run after a new day trains only that day's folds.
    void keptFoldsAreNotTrainedAgain() {
        const QString file = write(history());
        Backtester::Plan plan = planOf(file, QDate(2025, 7, 14), QDate(2025, 7, 15));
        const QStringList first = runHere(plan).lines();
        QCOMPARE(session->backtest.trained(), 6);
        QCOMPARE(session->backtest.keptFolds(), 6);
        QCOMPARE(runHere(plan).lines(), first);
        QCOMPARE(session->backtest.trained(), 0);
        QCOMPARE(session->backtest.cached(), 6);
        plan.to = QDate(2025, 7, 16);
        runHere(plan);
        QCOMPARE(session->backtest.trained(), 3);
        QCOMPARE(session->backtest.cached(), 6);
        session->backtest.clearKept();
        QCOMPARE(session->backtest.keptFolds(), 0);
    }

    // Stopped off the thread after its first fold, a run keeps what it finished; run again, it
    // trains only the rest and ends as an uninterrupted run would.
    void aStoppedRunKeepsItsFoldsAndResumes() {
        const QString file = write(history());
        const Backtester::Plan plan = planOf(file, QDate(2025, 7, 14), QDate(2025, 7, 16));
        Backtester& b = session->backtest;
        b.setRun(TrainingJobs::Run::offThread);
        b.setJobs(1);
        QSignalSpy ended(&b, &Backtester::finished);
        connect(&b, &Backtester::progressed, this, [&](int done) {
            if (done >= 1)
                b.stop();
        });
        b.start(plan);
        QVERIFY(b.running());
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 60000);
        disconnect(&b, &Backtester::progressed, this, nullptr);
        QCOMPARE(ended[0][0].toBool(), false);
        const int kept = b.trained();
        QVERIFY(kept >= 1 && kept < 9);
        QCOMPARE(b.keptFolds(), kept);

        b.start(plan);
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 2, 60000);
        QCOMPARE(ended[1][0].toBool(), true);
        QCOMPARE(b.cached(), kept);
        QCOMPARE(b.trained(), 9 - kept);
        const QStringList resumed = b.lines();
        b.clearKept();
        QCOMPARE(runHere(plan).lines(), resumed);
    }

    // A fold cache that cannot be written while folds train off the thread (here: its table
    // gone after the first fold, whose write is then due at once) ends the run with the
    // database's words; the folds finished so far stay.
    void aCacheThatCannotBeWrittenEndsTheRun() {
        const QString file = write(history());
        Backtester& b = session->backtest;
        b.setRun(TrainingJobs::Run::offThread);
        b.setJobs(1);
        QSignalSpy ended(&b, &Backtester::finished);
        QSignalSpy failed(&b, &Backtester::failed);
        bool dropped = false;
        connect(&b, &Backtester::progressed, this, [&](int done) {
            if (done < 1 || dropped)
                return;
            dropped = true;
            QSqlQuery q(session->dm.database(session->dm.csq()));
            QVERIFY(q.exec(QStringLiteral("drop table F11KSK")));
            // Past the cache's write interval, without letting another fold's end in first.
            QThread::msleep(1100);
        });
        b.start(planOf(file, QDate(2025, 7, 14), QDate(2025, 7, 16)));
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 60000);
        disconnect(&b, &Backtester::progressed, this, nullptr);
        QCOMPARE(ended[0][0].toBool(), false);
        QCOMPARE(failed.size(), 1);
        QVERIFY2(failed[0][0].toString().contains(QStringLiteral("F11KSK")),
                 qPrintable(failed[0][0].toString()));
        QVERIFY(b.trained() >= 1 && b.trained() < 9);
        QCOMPARE(int(b.folds().size()), b.trained());
    }

    // A file the import would refuse where a fold reads it stops the run with the import's
    // words; the same lines after every origin are never read.
    void aFoldStopsWhereTheImportWould() {
        QStringList lines = history();
        lines.insert(lines.size() - 30, QStringLiteral("2025/7/17,9:00,1,1,1,1,2025/7/17,10:00"));
        const QString file = write(lines);
        QCOMPARE(int(runHere(planOf(file, QDate(2025, 7, 14), QDate(2025, 7, 14))).folds().size()),
                 3);
        QSignalSpy failed(&session->backtest, &Backtester::failed);
        runHere(planOf(file, QDate(2025, 7, 18), QDate(2025, 7, 18)));
        QCOMPARE(failed.size(), 1);
        QVERIFY2(failed[0][0].toString().contains(QStringLiteral("'2025/7/17'")),
                 qPrintable(failed[0][0].toString()));
    }

    void backtestOptionsRefuseWhatTheyCannotMean_data() {
        QTest::addColumn<QStringList>("arguments");
        const QStringList bt{QStringLiteral("--backtest"), QStringLiteral("P.CSV")};
        QTest::newRow("another file") << bt + QStringList{"Q.CSV"};
        QTest::newRow("table") << bt + QStringList{"--table", "T.CSV"};
        QTest::newRow("report") << bt + QStringList{"--report"};
        QTest::newRow("convert") << bt + QStringList{"--convert", "IN", "OUT"};
        QTest::newRow("today") << bt + QStringList{"--today", "2025/07/01"};
        QTest::newRow("as-of") << bt + QStringList{"--as-of", "2025/07/01 09:00"};
        QTest::newRow("bad from") << bt + QStringList{"--from", "2025/13/01"};
        QTest::newRow("bad origin") << bt + QStringList{"--origins", "09:00,25:00"};
        QTest::newRow("origin without minutes") << bt + QStringList{"--origins", "9"};
        QTest::newRow("no seeds") << bt + QStringList{"--seeds", "0"};
        QTest::newRow("jobs not a number") << bt + QStringList{"--jobs", "two"};
        QTest::newRow("origins without backtest") << QStringList{"P.CSV", "--origins", "09:00"};
        QTest::newRow("jobs without backtest") << QStringList{"P.CSV", "--jobs", "2"};
    }
    void backtestOptionsRefuseWhatTheyCannotMean() {
        QFETCH(QStringList, arguments);
        QVERIFY_THROWS_EXCEPTION(UsageError, HeadlessOptions::parse(arguments));
    }

private:
    QString write(const QStringList& lines, const QString& name = QStringLiteral("P.CSV")) {
        const QString path = dir->filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return {};
        f.write(lines.join(QStringLiteral("\r\n")).toLatin1() + "\r\n");
        return path;
    }

    static Backtester::Plan planOf(const QString& file, const QDate& from, const QDate& to) {
        Backtester::Plan plan;
        plan.file = file;
        plan.from = from;
        plan.to = to;
        return plan;
    }

    Backtester& runHere(const Backtester::Plan& plan) {
        Backtester& b = session->backtest;
        b.setRun(TrainingJobs::Run::here);
        b.start(plan);
        return b;
    }

    Backtest::Fold onlyFold(const QString& file, const QDateTime& origin, unsigned seed) {
        Backtester::Plan plan = planOf(file, origin.date(), origin.date());
        plan.origins = {origin.time()};
        plan.firstSeed = seed;
        const std::vector<Backtest::Fold>& folds = runHere(plan).folds();
        if (folds.size() != 1) {
            qWarning("%d folds as of %s", int(folds.size()),
                     qPrintable(origin.toString(Qt::ISODate)));
            return {};
        }
        return folds.front();
    }

    // A headless run in a session of its own over this folder's SQDB.DB; what it printed.
    QStringList headless(const QStringList& arguments) {
        session.reset();
        session = std::make_unique<Session>(*dialogs, QStringLiteral(TORVANE_SOURCE_DIR "/data"));
        return HeadlessPipeline(*session, HeadlessOptions::parse(arguments)).run();
    }

    void clearCache() {
        QSqlQuery q(session->dm.database(session->dm.csq()));
        QVERIFY(q.exec(QStringLiteral("delete from F11KSK")));
    }

    static QStringList tabbed(const QStringList& lines) {
        QStringList out;
        for (const QString& l : lines)
            if (l.contains(u'\t'))
                out << l;
        return out;
    }
};

QTEST_GUILESS_MAIN(TestBacktest)
#include "test_backtest.moc"
