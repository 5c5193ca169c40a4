#include "analysis/Backtest.h"
#include "analysis/BacktestPage.h"
#include "analysis/TrackRecord.h"
#include "app/MainWindow.h"
#include "records/ProForecastPage.h"
#include "records/RecordEditor.h"
#include "store/Clock.h"
#include "store/KeptSettings.h"
#include "support/PriceTable.h"
#include "support/SessionJobs.h"
#include "support/TemplateDatabase.h"
#include "support/ChartTexts.h"
#include "support/TestDialogs.h"
#include "support/TestFolder.h"
#include "support/TestSettings.h"
#include "ui/Look.h"

#include <QApplication>
#include <QChartView>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScatterSeries>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSpinBox>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTableView>
#include <QTest>

#include <cmath>
#include <memory>

namespace {

// Weekdays of 15-minute bars from Monday 2 November 2026 00:15 to Friday 27 November 23:45,
// Japan time, as a price file: a slow wave with a deterministic ripple, three decimals. With
// serverShift, the same bars as a trading platform's (MT4) export whose server clock runs that
// many hours behind Japan.
void writePriceFile(const QString& path, std::optional<int> serverShift = std::nullopt) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    quint32 state = 12345;
    const auto ripple = [&state] {
        state = state * 1664525u + 1013904223u;
        return double(state >> 8) / double(1u << 24) - 0.5; // -0.5 .. 0.5
    };
    double previous = 150.0;
    int k = 0;
    for (QDate d(2026, 11, 2); d <= QDate(2026, 11, 27); d = d.addDays(1)) {
        if (d.dayOfWeek() > 5)
            continue;
        for (int q = 1; q <= 96; ++q, ++k) {
            const QDateTime end = QDateTime(d, QTime(0, 0)).addSecs(900 * q);
            const QDateTime start = end.addSecs(-900);
            const double close = 150.0 + 0.8 * std::sin(k / 60.0) + 0.05 * ripple();
            const double high = std::max(previous, close) + 0.02;
            const double low = std::min(previous, close) - 0.02;
            const auto yen = [](double v) { return QString::number(v, 'f', 3); };
            const QString prices =
                yen(previous) + u',' + yen(high) + u',' + yen(low) + u',' + yen(close);
            const QString line =
                serverShift ? start.addSecs(-3600 * *serverShift)
                                      .toString(QStringLiteral("yyyy.MM.dd,HH:mm,")) +
                                  prices + QStringLiteral(",100")
                            : start.toString(QStringLiteral("yyyy/MM/dd,HH:mm,")) + prices + u',' +
                                  end.toString(QStringLiteral("yyyy/MM/dd,HH:mm"));
            f.write((line + QStringLiteral("\r\n")).toLatin1());
            previous = close;
        }
    }
}

Backtest::SlotRow slotRow(int slot, int scored, int ties, int hits, double errorSum,
                          double noChangeSum, std::optional<Stats::Interval> rate,
                          Stats::Verdict verdict, std::optional<double> relative,
                          std::optional<double> drift, std::optional<double> sameTime) {
    Backtest::SlotRow row;
    row.horizon.slot = slot;
    Stats::Skill& s = row.horizon.skill;
    s.scored = scored;
    s.ties = ties;
    s.hits = hits;
    s.errorSum = errorSum;
    s.noChangeErrorSum = noChangeSum;
    s.hitRate = rate;
    s.comparison.verdict = verdict;
    row.relativeError = relative;
    row.driftError = drift;
    row.sameTimeError = sameTime;
    return row;
}

Tracking::NetworkRecord liveRecord(int scored, int ties, int hits) {
    Tracking::NetworkRecord r;
    r.logged = scored;
    r.scored = scored;
    r.ties = ties;
    r.hits = hits;
    return r;
}

} // namespace

Q_DECLARE_METATYPE(Backtest::SlotRow)

class TestBacktestPage : public QObject {
    Q_OBJECT

    TestSettings settings;
    TemplateDatabase templateDb;
    std::unique_ptr<TestFolder> dir;
    std::unique_ptr<TestDialogs> dialogs;
    std::unique_ptr<TKestoF> window;
    QString prices;

    // The window started, on page 10, with the price file chosen through 参照 and the period
    // from..to at 09:00 only.
    BacktestPage* openPage(const QString& from, const QString& to) {
        window = std::make_unique<TKestoF>(*dialogs, QStringLiteral(TORVANE_SOURCE_DIR "/data"));
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            return nullptr;
        window->FormActivate();
        auto* page = window->findChild<BacktestPage*>(QStringLiteral("kts"));
        if (!page)
            return nullptr;
        window->pageControl()->setCurrentWidget(page);
        dialogs->fileToOpen = prices;
        QTest::mouseClick(page->browseButton(), Qt::LeftButton);
        page->fromEdit()->setText(from);
        page->toEdit()->setText(to);
        page->originsEdit()->setText(QStringLiteral("09:00"));
        dialogs->clear();
        return page;
    }
    static QString cell(const BacktestPage* page, int row, int column) {
        return page->resultGrid()->model()->index(row, column).data().toString();
    }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(templateDb.create());
    }
    void init() {
        TestSettings::clear();
        dir = std::make_unique<TestFolder>();
        dialogs = std::make_unique<TestDialogs>();
        QVERIFY(templateDb.copyTo(dir->filePath(QStringLiteral("SQDB.DB"))));
        prices = dir->filePath(QStringLiteral("USDJPY.CSV"));
        writePriceFile(prices);
    }
    void cleanup() {
        if (window)
            QVERIFY(jobsEnded(window->session()));
        window.reset();
        dir.reset();
        Clock::release();
    }

    void rowTextsShowEachColumn_data() {
        QTest::addColumn<Backtest::SlotRow>("row");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("nothing scored")
            << slotRow(10, 0, 0, 0, 0, 0, std::nullopt, Stats::Verdict::Undecided, std::nullopt,
                       std::nullopt, std::nullopt)
            << QStringList{"10ｺﾏ後", "0", "-", "-", "-", "-", "-", "-", "-"};
        QTest::newRow("scored, better than no change")
            << slotRow(1, 200, 20, 99, 2469.0, 2600.0, Stats::Interval{0.481, 0.6173},
                       Stats::Verdict::Network, 0.949615, 13.04, 12.96)
            << QStringList{"1ｺﾏ後",          "200",  "55.0% (48.1–61.7)",
                           "12.3",           "13.0", "0.95",
                           "無変化より良い", "13.0", "13.0"};
        QTest::newRow("only ties: no hit rate, undecided")
            << slotRow(3, 4, 4, 0, 10.0, 0.0, std::nullopt, Stats::Verdict::Undecided, std::nullopt,
                       1.26, 0.0)
            << QStringList{"3ｺﾏ後", "4",  "-", "2.5", "0.0", "-", "まだ判断できません",
                           "1.3",   "0.0"};
        QTest::newRow("worse than no change")
            << slotRow(5, 30, 0, 9, 450.0, 300.0, Stats::Interval{0.167, 0.479},
                       Stats::Verdict::NoChange, 1.5, 9.0, 11.0)
            << QStringList{"5ｺﾏ後",          "30",   "30.0% (16.7–47.9)",
                           "15.0",           "10.0", "1.50",
                           "無変化より悪い", "9.0",  "11.0"};
    }
    void rowTextsShowEachColumn() {
        QFETCH(Backtest::SlotRow, row);
        QFETCH(QStringList, texts);
        QCOMPARE(BacktestPage::rowTexts(row), texts);
    }

    void recordIsSetAgainstTheTenthSlot_data() {
        QTest::addColumn<int>("scored");
        QTest::addColumn<int>("ties");
        QTest::addColumn<int>("hits");
        QTest::addColumn<bool>("withInterval");
        QTest::addColumn<QString>("text");
        const QString inside =
            QStringLiteral("実際の記録の的中率 52.0% (n=25) は検証の10ｺﾏ後の区間 "
                           "(48.1–61.7%) の内にあります");
        QTest::newRow("no record")
            << 0 << 0 << 0 << true << QStringLiteral("実際の記録はまだありません");
        QTest::newRow("only ties")
            << 3 << 3 << 0 << true << QStringLiteral("実際の記録はまだありません");
        QTest::newRow("inside, ties left out") << 27 << 2 << 13 << true << inside;
        QTest::newRow("outside below")
            << 25 << 0 << 10 << true
            << QStringLiteral("実際の記録の的中率 40.0% (n=25) は検証の10ｺﾏ後の区間 "
                              "(48.1–61.7%) の外にあります");
        QTest::newRow("outside above")
            << 10 << 0 << 7 << true
            << QStringLiteral("実際の記録の的中率 70.0% (n=10) は検証の10ｺﾏ後の区間 "
                              "(48.1–61.7%) の外にあります");
        QTest::newRow("backtest without an interval")
            << 25 << 0 << 13 << false
            << QStringLiteral("実際の記録の的中率 52.0% (n=25)。検証の10ｺﾏ後にはまだ比べる"
                              "区間がありません");
    }
    void recordIsSetAgainstTheTenthSlot() {
        QFETCH(int, scored);
        QFETCH(int, ties);
        QFETCH(int, hits);
        QFETCH(bool, withInterval);
        QFETCH(QString, text);
        std::optional<Backtest::SlotRow> tenth;
        if (withInterval)
            tenth = slotRow(10, 200, 0, 110, 1, 1, Stats::Interval{0.481, 0.617},
                            Stats::Verdict::Undecided, 1.0, 1.0, 1.0);
        QCOMPARE(BacktestPage::recordText(liveRecord(scored, ties, hits), tenth), text);
    }

    void progressSaysFoldsAndTimeLeft_data() {
        QTest::addColumn<int>("done");
        QTest::addColumn<int>("total");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("unknown") << 0 << 260 << -1.0
                                 << QStringLiteral("完了 0 / 残り 260 / 残り時間 計算中");
        QTest::newRow("seconds") << 250 << 260 << 44.6
                                 << QStringLiteral("完了 250 / 残り 10 / 残り時間 約 45秒");
        QTest::newRow("minutes") << 12 << 260 << 170.0
                                 << QStringLiteral("完了 12 / 残り 248 / 残り時間 約 3分");
        QTest::newRow("hours") << 1 << 3000 << 4500.0
                               << QStringLiteral("完了 1 / 残り 2999 / 残り時間 約 1時間15分");
    }
    void progressSaysFoldsAndTimeLeft() {
        QFETCH(int, done);
        QFETCH(int, total);
        QFETCH(double, seconds);
        QFETCH(QString, text);
        QCOMPARE(BacktestPage::progressText(done, total, seconds), text);
    }

    // A run through the page: the table has a row per slot with the folds' figures, the chart
    // the relative error of every slot that has one, and the note and live record under them.
    void runFillsTheTableAndChartBySlot() {
        BacktestPage* page = openPage(QStringLiteral("2026/11/16"), QStringLiteral("2026/11/18"));
        QVERIFY(page);
        QCOMPARE(page->fileEdit()->text(), prices);
        Session& session = window->session();
        QTest::mouseClick(page->runButton(), Qt::LeftButton);
        QVERIFY(session.backtest.running());
        QVERIFY(page->stopButton()->isEnabled());
        QVERIFY(!page->clearButton()->isEnabled());
        QVERIFY(jobsEnded(session));
        QVERIFY2(dialogs->errors.isEmpty(), qPrintable(dialogs->errors.join(u'\n')));
        QVERIFY2(dialogs->messages.isEmpty(), qPrintable(dialogs->messages.join(u'\n')));
        QCOMPARE(session.backtest.folds().size(), std::size_t(3));
        QCOMPARE(session.backtest.trained(), 3);
        QVERIFY(!page->stopButton()->isEnabled());
        QVERIFY(page->clearButton()->isEnabled());
        QCOMPARE(page->progressBar()->value(), 3);
        QCOMPARE(page->progressBar()->maximum(), 3);
        QCOMPARE(page->progressLabel()->text(),
                 QStringLiteral("検証終了: 3件 (学習3 保存分0 休場0)"));

        const std::vector<Backtest::SlotRow> rows =
            Backtest::slotRows(session.backtest.folds(), session.backtest.decimals());
        QCOMPARE(page->resultGrid()->model()->rowCount(), 10);
        QCOMPARE(page->resultGrid()->model()->columnCount(), 9);
        QList<QPointF> relative;
        for (int r = 0; r < 10; ++r) {
            QCOMPARE(cell(page, r, 0), QStringLiteral("%1ｺﾏ後").arg(r + 1));
            // Three origins, every slot's target inside the file.
            QCOMPARE(cell(page, r, 1), QStringLiteral("3"));
            QCOMPARE(BacktestPage::rowTexts(rows[std::size_t(r)]), [&] {
                QStringList texts;
                for (int c = 0; c < 9; ++c)
                    texts << cell(page, r, c);
                return texts;
            }());
            if (rows[std::size_t(r)].relativeError)
                relative << QPointF(r + 1, *rows[std::size_t(r)].relativeError);
        }
        QVERIFY(!relative.isEmpty());
        QCOMPARE(page->relativeSeries()->points(), relative);
        auto* noChange =
            page->chartView()->chart()->findChild<QLineSeries*>(QStringLiteral("S0NCH"));
        QVERIFY(noChange);
        for (const QPointF& p : noChange->points())
            QCOMPARE(p.y(), 1.0);
        QVERIFY(page->noteLabel()->text().contains(QStringLiteral("名目")));
        QCOMPARE(page->recordLabel()->text(), QStringLiteral("実際の記録はまだありません"));
    }

    // While a backtest runs, what would change its data is refused with the backtest's message,
    // and the other pages go on working.
    void duringARunOtherActionsAreRefused() {
        BacktestPage* page = openPage(QStringLiteral("2026/11/16"), QStringLiteral("2026/11/20"));
        QVERIFY(page);
        Session& session = window->session();
        dialogs->fileToOpen = prices;
        QTest::mouseClick(page->runButton(), Qt::LeftButton);
        QVERIFY(session.backtest.running());

        // Buttons of pages not shown are pressed as their shortcuts would press them.
        window->findChild<QPushButton*>(QStringLiteral("a13rdtB"))->click();
        window->findChild<QPushButton*>(QStringLiteral("i04rdB"))->click();
        QTest::mouseClick(page->runButton(), Qt::LeftButton);
        page->clearPressed();
        window->close();
        QVERIFY(window->isVisible());
        QCOMPARE(
            dialogs->messages,
            (QStringList{Backtester::duringBacktest(QStringLiteral("読み込めません")),
                         Backtester::duringBacktest(QStringLiteral("CSV読込できません")),
                         Backtester::duringBacktest(QStringLiteral("検証を始められません")),
                         Backtester::duringBacktest(QStringLiteral("保存した予測を消せません")),
                         Backtester::duringBacktest(QStringLiteral("閉じられません"))}));
        QVERIFY(dialogs->questions.isEmpty());

        // An opinion registered on page 2 meanwhile is stored.
        auto* pro = window->findChild<ProForecastPage*>(QStringLiteral("bts"));
        window->pageControl()->setCurrentWidget(pro);
        RecordEditor* editor = pro->editor();
        editor->field(0)->setText(QStringLiteral("2026/11/20"));
        editor->field(1)->setText(QStringLiteral("09:00"));
        editor->field(2)->setText(QStringLiteral("ﾄﾞﾙ高"));
        editor->registerPressed();
        QVERIFY(session.backtest.running());
        QVERIFY2(dialogs->errors.isEmpty(), qPrintable(dialogs->errors.join(u'\n')));
        QSqlQuery q(session.dm.database(session.dm.csq()));
        QVERIFY(q.exec(QStringLiteral("select count(*) from F05PMF")) && q.next());
        QCOMPARE(q.value(0).toInt(), 1);

        QVERIFY(jobsEnded(session));
        QCOMPARE(session.backtest.folds().size(), std::size_t(5));
        window->close();
        QVERIFY(!window->isVisible());
    }

    // 中止 keeps the folds finished so far; the next 実行 takes them from the cache and trains
    // only the rest. The clear button asks, then empties the cache.
    void stopKeepsFinishedFoldsAndRunResumes() {
        BacktestPage* page = openPage(QStringLiteral("2026/11/16"), QStringLiteral("2026/11/27"));
        QVERIFY(page);
        Session& session = window->session();
        // Pressed once two folds are done, after the progress has been shown.
        connect(
            &session.backtest, &Backtester::progressed, page,
            [page](int done) {
                if (done >= 2 && page->stopButton()->isEnabled())
                    QTest::mouseClick(page->stopButton(), Qt::LeftButton);
            },
            Qt::QueuedConnection);
        QTest::mouseClick(page->runButton(), Qt::LeftButton);
        QVERIFY(jobsEnded(session));
        const int kept = int(session.backtest.folds().size());
        QVERIFY2(kept >= 2 && kept < 10, qPrintable(QString::number(kept)));
        QCOMPARE(session.backtest.keptFolds(), kept);
        QVERIFY(page->progressLabel()->text().startsWith(QStringLiteral("中止: ")));
        QCOMPARE(page->resultGrid()->model()->rowCount(), 10);
        QCOMPARE(cell(page, 0, 1), QString::number(kept));
        disconnect(&session.backtest, &Backtester::progressed, page, nullptr);

        QTest::mouseClick(page->runButton(), Qt::LeftButton);
        QVERIFY(jobsEnded(session));
        QVERIFY2(dialogs->errors.isEmpty(), qPrintable(dialogs->errors.join(u'\n')));
        QCOMPARE(session.backtest.cached(), kept);
        QCOMPARE(session.backtest.trained(), 10 - kept);
        QCOMPARE(session.backtest.folds().size(), std::size_t(10));
        QCOMPARE(session.backtest.keptFolds(), 10);

        dialogs->answer = false;
        QTest::mouseClick(page->clearButton(), Qt::LeftButton);
        QCOMPARE(dialogs->questions.size(), 1);
        QVERIFY(dialogs->questions[0].contains(QStringLiteral("10 件")));
        QCOMPARE(session.backtest.keptFolds(), 10);
        dialogs->answer = true;
        QTest::mouseClick(page->clearButton(), Qt::LeftButton);
        QCOMPARE(dialogs->questions.size(), 2);
        QCOMPARE(session.backtest.keptFolds(), 0);

        // Nothing kept: every fold trains again.
        QTest::mouseClick(page->runButton(), Qt::LeftButton);
        QVERIFY(jobsEnded(session));
        QCOMPARE(session.backtest.cached(), 0);
        QCOMPARE(session.backtest.trained(), 10);
    }

    // Entries that cannot be read are said and nothing runs.
    void malformedEntriesAreRefused_data() {
        QTest::addColumn<QString>("origins");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("said");
        const QString time = QStringLiteral("時刻 '%1' を読めません");
        const QString none;
        QTest::newRow("minutes of one digit") << "9:0" << none << none << time.arg("9:0");
        QTest::newRow("no such hour") << "25:00" << none << none << time.arg("25:00");
        QTest::newRow("empty part") << "09:00," << none << none << time.arg("09:00,");
        QTest::newRow("other separator")
            << "09:00;15:00" << none << none << time.arg("09:00;15:00");
        QTest::newRow("empty") << none << none << none << time.arg(none);
        QTest::newRow("no such date")
            << "09:00"
            << "2026/13/01" << none << QStringLiteral("開始の日付 '2026/13/01' を読めません");
        QTest::newRow("end no date")
            << "09:00" << none << "11/20" << QStringLiteral("終了の日付 '11/20' を読めません");
        QTest::newRow("end before start")
            << "09:00"
            << "2026/11/20"
            << "2026/11/19" << QStringLiteral("期間の開始が終了より後です");
    }
    void malformedEntriesAreRefused() {
        QFETCH(QString, origins);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, said);
        BacktestPage* page = openPage(from, to);
        QVERIFY(page);
        page->originsEdit()->setText(origins);
        QTest::mouseClick(page->runButton(), Qt::LeftButton);
        QCOMPARE(dialogs->messages.size(), 1);
        QVERIFY2(dialogs->messages[0].contains(said), qPrintable(dialogs->messages[0]));
        QVERIFY(!window->session().backtest.running());
        QVERIFY(window->session().backtest.folds().empty());
        QVERIFY(!page->stopButton()->isEnabled());
    }

    // A period without an origin the market was open at, the default one of a file shorter
    // than two months among them, is said; the run ends without folds.
    void periodWithoutOriginsIsSaid_data() {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::newRow("default period of four weeks") << QString() << QString();
        QTest::newRow("a weekend") << "2026/11/21"
                                   << "2026/11/22";
        QTest::newRow("before the file") << "2026/10/01"
                                         << "2026/10/02";
    }
    void periodWithoutOriginsIsSaid() {
        QFETCH(QString, from);
        QFETCH(QString, to);
        BacktestPage* page = openPage(from, to);
        QVERIFY(page);
        QTest::mouseClick(page->runButton(), Qt::LeftButton);
        QVERIFY(jobsEnded(window->session()));
        QVERIFY2(dialogs->errors.isEmpty(), qPrintable(dialogs->errors.join(u'\n')));
        QCOMPARE(dialogs->messages.size(), 1);
        QVERIFY2(
            dialogs->messages[0].startsWith(QStringLiteral("期間に予測できる起点がありません")),
            qPrintable(dialogs->messages[0]));
        QVERIFY(window->session().backtest.folds().empty());
        QVERIFY(!page->stopButton()->isEnabled());
    }

    // A file that cannot be read is said as an error and the page stays idle.
    void unreadableFileIsSaidAndThePageStaysIdle() {
        BacktestPage* page = openPage(QString(), QString());
        QVERIFY(page);
        page->fileEdit()->setText(dir->filePath(QStringLiteral("missing.csv")));
        QTest::mouseClick(page->runButton(), Qt::LeftButton);
        QCOMPARE(dialogs->errors.size(), 1);
        QVERIFY2(dialogs->errors[0].contains(QStringLiteral("missing.csv")),
                 qPrintable(dialogs->errors[0]));
        QVERIFY(!window->session().backtest.running());
        QVERIFY(!page->stopButton()->isEnabled());
        QVERIFY(page->clearButton()->isEnabled());
        // The file is fine again: the run goes ahead.
        page->fileEdit()->setText(prices);
        page->fromEdit()->setText(QStringLiteral("2026/11/20"));
        page->toEdit()->setText(QStringLiteral("2026/11/20"));
        QTest::mouseClick(page->runButton(), Qt::LeftButton);
        QVERIFY(jobsEnded(window->session()));
        QCOMPARE(dialogs->errors.size(), 1);
        QCOMPARE(window->session().backtest.folds().size(), std::size_t(1));
    }

    // A platform export asks how its server times become Japan times, the remembered answer
    // offered, as an import does; the bars are then those of the plain file, whose folds the
    // cache already holds. Cancelling the question runs nothing.
    void platformExportAsksTheServerTime() {
        BacktestPage* page = openPage(QStringLiteral("2026/11/16"), QStringLiteral("2026/11/18"));
        QVERIFY(page);
        Session& session = window->session();
        QTest::mouseClick(page->runButton(), Qt::LeftButton);
        QVERIFY(jobsEnded(session));
        QVERIFY(dialogs->textQuestions.isEmpty());
        QCOMPARE(session.backtest.trained(), 3);

        const QString exported = dir->filePath(QStringLiteral("MT4.CSV"));
        writePriceFile(exported, 7);
        page->fileEdit()->setText(exported);
        dialogs->cancelText = true;
        QTest::mouseClick(page->runButton(), Qt::LeftButton);
        QCOMPARE(dialogs->textQuestions.size(), 1);
        QVERIFY(!session.backtest.running());
        QVERIFY(dialogs->errors.isEmpty());

        dialogs->cancelText = false;
        dialogs->textAnswer = QStringLiteral("7");
        QTest::mouseClick(page->runButton(), Qt::LeftButton);
        QVERIFY(jobsEnded(session));
        QVERIFY2(dialogs->errors.isEmpty(), qPrintable(dialogs->errors.join(u'\n')));
        QCOMPARE(dialogs->textQuestions.size(), 2);
        QVERIFY(dialogs->textQuestions[1].contains(QStringLiteral("MT4.CSV")));
        QCOMPARE(session.backtest.cached(), 3);
        QCOMPARE(session.backtest.trained(), 0);
        QCOMPARE(KeptSettings::value(KeptSettings::serverTime).toString(), QStringLiteral("7"));
        // The answer is offered the next time.
        dialogs->textAnswer.reset();
        QTest::mouseClick(page->runButton(), Qt::LeftButton);
        QVERIFY(jobsEnded(session));
        QCOMPARE(dialogs->textOffered.last(), QStringLiteral("7"));
        QCOMPARE(session.backtest.cached(), 3);
    }

    // A training of the forecast works on the session's tables: 実行 is refused meanwhile.
    void runIsRefusedDuringATraining() {
        BacktestPage* page = openPage(QStringLiteral("2026/11/16"), QStringLiteral("2026/11/18"));
        QVERIFY(page);
        Session& session = window->session();
        fillPriceTable(session, QDateTime(QDate(2025, 7, 9), QTime(8, 5)), 20000);
        session.forecast.uq1K(Forecaster::forecastTrain);
        QVERIFY(session.forecast.training());
        dialogs->clear();
        QTest::mouseClick(page->runButton(), Qt::LeftButton);
        QCOMPARE(dialogs->messages,
                 QStringList{Forecaster::duringTraining(QStringLiteral("検証を始められません"))});
        QVERIFY(!session.backtest.running());
        session.forecast.stopTraining();
        QVERIFY(jobsEnded(session));
        QVERIFY(session.backtest.folds().empty());
    }

    // At the window's size as designed, in the window font and in the taller CJK font a machine
    // without it falls back to, the grid shows every column without scrolling, the chart's
    // labels show whole and the lines below fit their width.
    void resultsShowWholeAtTheDesignedSize_data() {
        QTest::addColumn<QString>("family");
        QTest::newRow("window font") << QString();
        QTest::newRow("taller fallback") << "Noto Sans Mono CJK JP";
    }
    void resultsShowWholeAtTheDesignedSize() {
        QFETCH(QString, family);
        QFont shown = windowFont();
        if (!family.isEmpty())
            shown.setFamilies({family});
        const QFont before = QApplication::font();
        QApplication::setFont(shown);
        const auto restored = qScopeGuard([before] { QApplication::setFont(before); });
        BacktestPage* page = openPage(QStringLiteral("2026/11/16"), QStringLiteral("2026/11/18"));
        QVERIFY(page);
        window->resize(904, 641);
        QTest::mouseClick(page->runButton(), Qt::LeftButton);
        QVERIFY(jobsEnded(window->session()));
        // The widest texts a long run shows.
        const QStringList progress{
            BacktestPage::progressText(12345, 24690, 12 * 3600 + 59 * 60),
            QStringLiteral("検証終了: 12345件 (学習12345 保存分12345 休場1234)")};
        page->recordLabel()->setText(
            QStringLiteral("実際の記録の的中率 100.0% (n=1000) は検証の10ｺﾏ後の区間 "
                           "(100.0–100.0%) の外にあります"));
        QTest::qWait(50);
        QTableView* grid = page->resultGrid();
        QVERIFY(!grid->horizontalScrollBar()->isVisible());
        QVERIFY(!grid->verticalScrollBar()->isVisible());
        const ChartTexts texts(page->chartView());
        QVERIFY2(texts.cut.isEmpty(), qPrintable(texts.shown.join(u'|')));
        QVERIFY2(texts.shown.contains(page->chartView()->chart()->title()),
                 qPrintable(texts.shown.join(u'|')));
        QLabel* line = page->progressLabel();
        for (const QString& text : progress)
            QVERIFY2(line->fontMetrics().horizontalAdvance(text) <= line->width(),
                     qPrintable(text));
        line = page->recordLabel();
        QVERIFY2(line->fontMetrics().horizontalAdvance(line->text()) <= line->width(),
                 qPrintable(line->text()));
        QVERIFY(page->progressLabel()->geometry().right() < page->progressBar()->x());
    }

    // The file offered is the one FX読込 imported last, in this window and the next.
    void lastImportedFileIsOffered() {
        Clock::fix(QDateTime(QDate(2026, 11, 28), QTime(9, 0)));
        BacktestPage* page = openPage(QString(), QString());
        QVERIFY(page);
        page->fileEdit()->clear();
        const QString other = dir->filePath(QStringLiteral("OTHER.CSV"));
        QVERIFY(QFile::copy(prices, other));
        dialogs->fileToOpen = other;
        window->findChild<QPushButton*>(QStringLiteral("a13rdtB"))->click();
        QVERIFY(jobsEnded(window->session()));
        QVERIFY2(dialogs->errors.isEmpty(), qPrintable(dialogs->errors.join(u'\n')));
        QCOMPARE(page->fileEdit()->text(), other);
        window.reset();

        window = std::make_unique<TKestoF>(*dialogs, QStringLiteral(TORVANE_SOURCE_DIR "/data"));
        page = window->findChild<BacktestPage*>(QStringLiteral("kts"));
        QCOMPARE(page->fileEdit()->text(), other);
    }
};

QTEST_MAIN(TestBacktestPage)
#include "test_backtestpage.moc"
