#include "analysis/Analysis.h"
#include "analysis/AnalysisPage.h"
#include "analysis/TrackRecord.h"
#include "app/MainWindow.h"
#include "csv/CsvExchange.h"
#include "records/ProForecastPage.h"
#include "session/HeadlessPipeline.h"
#include "session/Session.h"
#include "store/Clock.h"
#include "store/TextFile.h"
#include "support/ChartTexts.h"
#include "support/PriceTable.h"
#include "support/StoredRows.h"
#include "support/TemplateDatabase.h"
#include "support/TestDialogs.h"
#include "support/TestSettings.h"
#include "ui/Look.h"

#include <QApplication>
#include <QChartView>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QScatterSeries>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <future>
#include <memory>
#include <thread>

namespace {

const QString dataDir = QStringLiteral(TORVANE_SOURCE_DIR "/data");

// A bar line of a price file ending at `end` after `minutes`, with the close given in yen.
QByteArray priceLine(const QDateTime& end, int minutes, const QString& close) {
    const QDateTime start = end.addSecs(-60 * minutes);
    return (start.toString(QStringLiteral("yyyy/MM/dd,HH:mm,")) + close + u',' + close + u',' +
            close + u',' + close + u',' + end.toString(QStringLiteral("yyyy/MM/dd,HH:mm")) +
            QStringLiteral("\r\n"))
        .toLatin1();
}

// The application's font for as long as it lives: pages laid out as the window shows them.
class AppFont {
public:
    explicit AppFont(const QFont& font) { QApplication::setFont(font); }
    ~AppFont() { QApplication::setFont(m_before); }

private:
    QFont m_before = QApplication::font();
};

} // namespace

class TestAnalysis : public QObject {
    Q_OBJECT

    TestSettings settings;

    TemplateDatabase templateDb;
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<TestDialogs> dialogs;
    std::unique_ptr<Session> session;
    QString oldCwd;

    QSqlDatabase csq() { return session->dm.database(session->dm.csq()); }
    void exec(const QString& sql) {
        QSqlQuery q(csq());
        if (!q.exec(sql))
            QFAIL(qPrintable(q.lastError().text() + u' ' + sql));
    }
    QStringList rows(const QString& sql) { return storedRows(csq(), sql); }
    // The window at its designed size, shown and started.
    static bool startAtDesignedSize(TKestoF& window) {
        window.resize(904, 641);
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            return false;
        window.FormActivate();
        return window.startupRan();
    }
    // Three 15-minute bars of one session in first.csv make a forecast; second.csv holds sixteen
    // bars from the same start, covering its target ten bars after the last of the three.
    void writeTwoSessions() {
        const QDateTime end(QDate(2025, 7, 8), QTime(9, 0));
        QByteArray first, second;
        for (int k = 0; k < 3; ++k)
            first += priceLine(end.addSecs(900 * k), 15, QString::number(150.0 + k * 0.1, 'f', 3));
        for (int k = 0; k < 16; ++k)
            second +=
                priceLine(end.addSecs(900 * k), 15, QString::number(150.0 + k * 0.05, 'f', 3));
        for (auto [name, bytes] :
             {std::pair{"first.csv", first}, std::pair{"second.csv", second}}) {
            QFile f(dir->filePath(QLatin1String(name)));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        }
    }
    void start() {
        session = std::make_unique<Session>(*dialogs, dataDir);
        session->openDatabases();
    }
    // A logged forecast made after the bar ending lymd lhm, aimed at tymd thm.
    void logRow(int cnt, const QString& lymd, const QString& lhm, const QString& tymd,
                const QString& thm, int lcv, int fcv, const QString& acv = QStringLiteral("NULL")) {
        exec(QStringLiteral("insert into F10YSR (CNT, MDT, MHM, ITV, LYMD, LHM, LCV, LHV, LLV, "
                            "TYMD, THM, FCV, FHV, FLV, MSE, ACV) values (%1, '2025/07/01', "
                            "'09:00', 15, '%2', '%3', %4, %4, %4, '%5', '%6', %7, %7, %7, '.001', "
                            "%8)")
                 .arg(cnt)
                 .arg(lymd, lhm)
                 .arg(lcv)
                 .arg(tymd, thm)
                 .arg(fcv)
                 .arg(acv));
    }
    // Bars of 15 minutes from Friday 4 July 2025 20:00 to 23:45 (the week's last), then from
    // Monday 7 July 07:15 on; closes count up from 1000 by 10.
    void weekendBars() {
        QSqlDatabase db = session->dm.database(session->dm.csm());
        QSqlQuery clear(db);
        clear.exec(QStringLiteral("delete from F01YSK"));
        QList<QDateTime> ends;
        for (QDateTime t(QDate(2025, 7, 4), QTime(20, 0));
             t < QDateTime(QDate(2025, 7, 5), QTime(0, 0)); t = t.addSecs(900))
            ends << t;
        for (QDateTime t(QDate(2025, 7, 7), QTime(7, 15));
             t <= QDateTime(QDate(2025, 7, 7), QTime(9, 0)); t = t.addSecs(900))
            ends << t;
        QSqlQuery q(db);
        q.prepare(QStringLiteral("insert into F01YSK (CNT, CV, LYMD, LHM) values (?, ?, ?, ?)"));
        for (int k = 0; k < ends.size(); ++k) {
            q.addBindValue(k + 1);
            q.addBindValue(1000 + 10 * k);
            q.addBindValue(ends[k].toString(QStringLiteral("yyyy/MM/dd")));
            q.addBindValue(ends[k].toString(QStringLiteral("HH:mm")));
            QVERIFY(q.exec());
        }
        session->reg.imcn = int(ends.size());
    }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(templateDb.create());
    }
    void init() {
        Clock::fix(QDateTime(QDate(2025, 7, 9), QTime(10, 30)));
        dir = std::make_unique<QTemporaryDir>();
        oldCwd = QDir::currentPath();
        QDir::setCurrent(dir->path());
        QVERIFY(templateDb.copyTo(dir->filePath(QStringLiteral("SQDB.DB"))));
        dialogs = std::make_unique<TestDialogs>();
        start();
    }
    void cleanup() {
        session.reset();
        QDir::setCurrent(oldCwd);
        dir.reset();
        Clock::release();
    }

    void conclusionsReadUpOrDown_data() {
        QTest::addColumn<QString>("conclusion");
        QTest::addColumn<int>("direction");
        const int none = int(Tracking::Direction::None), up = int(Tracking::Direction::Up),
                  down = int(Tracking::Direction::Down);
        QTest::newRow("dollar up") << QStringLiteral("ドル高") << up;
        QTest::newRow("half-width dollar up") << QStringLiteral("ﾄﾞﾙ高") << up;
        QTest::newRow("yen down in a sentence") << QStringLiteral("当面は円安基調") << up;
        QTest::newRow("dollar down") << QStringLiteral("ドル安") << down;
        QTest::newRow("half-width dollar down") << QStringLiteral("ﾄﾞﾙ安") << down;
        QTest::newRow("yen up") << QStringLiteral("円高") << down;
        QTest::newRow("both ways") << QStringLiteral("ドル高のち円高") << none;
        QTest::newRow("sideways") << QStringLiteral("横ばい") << none;
        QTest::newRow("empty") << QString() << none;
        QTest::newRow("buy dollars") << QStringLiteral("ドル買い優勢") << up;
        QTest::newRow("half-width buy dollars") << QStringLiteral("ﾄﾞﾙ買い") << up;
        QTest::newRow("sell yen") << QStringLiteral("円売り") << up;
        QTest::newRow("sell dollars") << QStringLiteral("ドル売り") << down;
        QTest::newRow("buy yen") << QStringLiteral("円買い") << down;
        QTest::newRow("a pause") << QStringLiteral("円安一服") << none;
        QTest::newRow("a fall after a rise") << QStringLiteral("ドル高から反落") << none;
        QTest::newRow("a rebound") << QStringLiteral("ドル安のあと反発") << none;
        QTest::newRow("buy and sell") << QStringLiteral("ドル買い円買い") << none;
    }
    void conclusionsReadUpOrDown() {
        QFETCH(QString, conclusion);
        QFETCH(int, direction);
        QCOMPARE(int(Tracking::directionOf(conclusion)), direction);
    }

    void sitesGroupByHost_data() {
        QTest::addColumn<QString>("reference");
        QTest::addColumn<QString>("site");
        QTest::newRow("address") << "https://example.com/a"
                                 << "example.com";
        QTest::newRow("address with port and query") << "http://Fx.Example.com:8080/x?y=1"
                                                     << "fx.example.com";
        QTest::newRow("name") << "日経ヴェリタス"
                              << "日経ヴェリタス";
        QTest::newRow("host without scheme") << "example.com/a"
                                             << "example.com/a";
        QTest::newRow("empty") << ""
                               << "";
    }
    void sitesGroupByHost() {
        QFETCH(QString, reference);
        QFETCH(QString, site);
        QCOMPARE(Tracking::siteOf(reference), site);
    }

    void momentsReadDateAndTime_data() {
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("time");
        QTest::addColumn<qint64>("seconds"); // after midnight of 1 July 2025, -1 for none
        QTest::newRow("minutes") << "2025/07/01"
                                 << "10:05" << qint64(36300);
        QTest::newRow("seconds") << "2025/07/01"
                                 << "10:05:30" << qint64(36330);
        QTest::newRow("next day") << "2025/07/02"
                                  << "00:00" << qint64(86400);
        QTest::newRow("end of the day") << "2025/07/01"
                                        << "24:00" << qint64(86400);
        QTest::newRow("blanks") << " 2025/07/01 "
                                << " 10:05" << qint64(36300);
        QTest::newRow("no such day") << "2025/02/30"
                                     << "10:00" << qint64(-1);
        QTest::newRow("minute 60") << "2025/07/01"
                                   << "10:60" << qint64(-1);
        QTest::newRow("dashes") << "2025-07-01"
                                << "10:00" << qint64(-1);
        QTest::newRow("letters") << "2025/07/01"
                                 << "1O:00" << qint64(-1);
        QTest::newRow("no time") << "2025/07/01"
                                 << "" << qint64(-1);
    }
    void momentsReadDateAndTime() {
        QFETCH(QString, date);
        QFETCH(QString, time);
        QFETCH(qint64, seconds);
        const qint64 origin =
            *Tracking::momentOf(QStringLiteral("2025/07/01"), QStringLiteral("00:00"));
        const std::optional<qint64> m = Tracking::momentOf(date, time);
        QCOMPARE(m ? *m - origin : qint64(-1), seconds);
    }

    void meansHaveOneDecimal() {
        QCOMPARE(Tracking::meanText(160, 2), QStringLiteral("80.0"));
        QCOMPARE(Tracking::meanText(-30, 3), QStringLiteral("-10.0"));
        QCOMPARE(Tracking::meanText(1, 3), QStringLiteral("0.3"));
        QCOMPARE(Tracking::meanText(0, 0), QStringLiteral("-"));
        QCOMPARE(Tracking::rateText(2, 3), QStringLiteral("66.7%"));
        QCOMPARE(Tracking::rateText(0, 0), QStringLiteral("-"));
    }

    void forecastIsLoggedOnceForTheSameBars() {
        fillPriceTable(*session, QDateTime(QDate(2025, 7, 9), QTime(8, 5)), 24);
        ForecastSummary s;
        s.lastHigh = QStringLiteral("150100");
        s.lastClose = QStringLiteral("150000");
        s.lastLow = QStringLiteral("149900");
        s.forecastHigh = QStringLiteral("150300");
        s.forecastClose = QStringLiteral("150200");
        s.forecastLow = QStringLiteral("150050");
        s.mseText = QStringLiteral(".0012345");
        const Registers before = session->reg;
        session->analysis.logForecast(s);
        const QString row =
            QStringLiteral("1:qlonglong|2025/07/09:QString|10:30:QString|5:qlonglong|2025/07/09:"
                           "QString|10:00:QString|150000:qlonglong|150100:qlonglong|149900:"
                           "qlonglong|2025/07/09:QString|10:50:QString|%1:qlonglong|150300:"
                           "qlonglong|150050:qlonglong|.0012345:QString|NULL|NULL|NULL");
        QCOMPARE(rows(QStringLiteral("select * from F10YSR")),
                 QStringList{row.arg(QStringLiteral("150200"))});
        // The registers are as the forecast left them.
        QCOMPARE(session->reg.sa, before.sa);
        QCOMPARE(session->reg.swh, before.swh);
        QCOMPARE(session->reg.stnm, before.stnm);
        QCOMPARE(session->reg.sqw, before.sqw);

        // Another forecast of the same bars (other weights) leaves the first one as it was; a
        // forecast of other bars gets the next CNT.
        s.forecastClose = QStringLiteral("149800");
        session->analysis.logForecast(s);
        QCOMPARE(rows(QStringLiteral("select * from F10YSR")),
                 QStringList{row.arg(QStringLiteral("150200"))});
        fillPriceTable(*session, QDateTime(QDate(2025, 7, 9), QTime(8, 5)), 25);
        session->analysis.logForecast(s);
        QCOMPARE(rows(QStringLiteral("select CNT, LHM, THM from F10YSR order by CNT")),
                 (QStringList{"1:qlonglong|10:00:QString|10:50:QString",
                              "2:qlonglong|10:05:QString|10:55:QString"}));
        // Bars that end after the clock's moment (a clock fixed at the start of the day): the
        // forecast was made at the last bar's end, not before the bars it used.
        fillPriceTable(*session, QDateTime(QDate(2025, 7, 9), QTime(12, 5)), 24);
        session->analysis.logForecast(s);
        QCOMPARE(rows(QStringLiteral("select MDT, MHM, LHM from F10YSR where CNT = 3")),
                 QStringList{"2025/07/09:QString|14:00:QString|14:00:QString"});
        QVERIFY(dialogs->errors.isEmpty());
    }

    void aLogThatCannotBeWrittenIsReportedAndTheImportGoesOn() {
        fillPriceTable(*session, QDateTime(QDate(2025, 7, 9), QTime(8, 5)), 24);
        exec(QStringLiteral("drop table F10YSR"));
        ForecastSummary s;
        s.lastClose = s.forecastClose = QStringLiteral("150000");
        session->analysis.logForecast(s);
        session->analysis.scoreForecasts();
        QCOMPARE(dialogs->errors.size(), 2);
        QVERIFY(
            dialogs->errors[0].startsWith(QStringLiteral("F10YSR に予測を記録できませんでした")));
        QVERIFY(
            dialogs->errors[1].startsWith(QStringLiteral("F10YSR の予測を採点できませんでした")));
        QCOMPARE(session->analysis.bars().size(), 24);
    }

    // Log rows read back from a CSV file may share a CNT. Each is scored by its own identity: a
    // new forecast of one row's bars changes neither row, and a row whose target is not reached
    // keeps no close of the other's.
    void rowsSharingACountAreWrittenAndScoredAlone() {
        QFile file(dir->filePath(QStringLiteral("F10YSR.CSV")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("1,2025/07/09,10:30,5,2025/07/09,10:00,150000,150100,149900,2025/07/09,10:50,"
                   "150200,150300,150050,.001,\r\n"
                   "1,2025/07/09,10:30,5,2025/07/09,12:00,150000,150100,149900,2025/07/09,12:50,"
                   "150200,150300,150050,.001,\r\n");
        file.close();
        exec(QStringLiteral("insert into F09CSV values (1, 9, '分析', 'F10YSR', %1, 'F10YSR.CSV', "
                            "NULL)")
                 .arg(Store::sqlText(dir->path() + u'/')));
        session->reg.swh = QStringLiteral(" order by CNT ");
        session->csv.uq8C(CsvExchange::csvOpenList);
        session->csv.uq8C(CsvExchange::csvImport);
        QVERIFY2(dialogs->errors.isEmpty(), qPrintable(dialogs->errors.join(u'\n')));
        QCOMPARE(session->csv.lastRepeatedCount(), 1);

        // A new forecast of the first row's bars (24 bars of five minutes ending at 10:00).
        fillPriceTable(*session, QDateTime(QDate(2025, 7, 9), QTime(8, 5)), 24);
        ForecastSummary s;
        s.lastClose = QStringLiteral("150000");
        s.forecastClose = QStringLiteral("149800");
        session->analysis.logForecast(s);
        const QString all = QStringLiteral("select CNT, LHM, FCV, ACV from F10YSR order by rowid");
        QCOMPARE(rows(all), (QStringList{"1:qlonglong|10:00:QString|150200:qlonglong|NULL",
                                         "1:qlonglong|12:00:QString|150200:qlonglong|NULL"}));

        // Bars up to 10:55 reach the first target (10:50), not the second (12:50).
        fillPriceTable(*session, QDateTime(QDate(2025, 7, 9), QTime(8, 5)), 35);
        session->analysis.scoreForecasts();
        const QStringList scored = rows(all);
        QVERIFY2(!scored[0].endsWith(QStringLiteral("|NULL")), qPrintable(scored[0]));
        QCOMPARE(scored[1], QStringLiteral("1:qlonglong|12:00:QString|150200:qlonglong|NULL"));
        QVERIFY(dialogs->errors.isEmpty());
    }

    // Another program logs while this one does: the look-up, the next CNT and the write wait for
    // the other's write to end, so the two never share a CNT nor log the same bars twice.
    void twoProgramsLoggingAtOnce_data() {
        QTest::addColumn<QString>("otherLhm"); // the end of the other program's last bar
        QTest::addColumn<QStringList>("logged");
        QTest::newRow("other bars") << "09:00"
                                    << QStringList{"1:qlonglong|09:00:QString|150100:qlonglong",
                                                   "2:qlonglong|10:00:QString|149800:qlonglong"};
        QTest::newRow("the same bars")
            << "10:00" << QStringList{"1:qlonglong|10:00:QString|150100:qlonglong"};
    }
    void twoProgramsLoggingAtOnce() {
        QFETCH(QString, otherLhm);
        QFETCH(QStringList, logged);
        fillPriceTable(*session, QDateTime(QDate(2025, 7, 9), QTime(8, 5)), 24);
        const QString file = session->dm.filePath();
        std::promise<void> locked;
        std::future<void> lockedNow = locked.get_future();
        QString otherError;
        // The other program: takes the write lock, reads the next CNT, writes a moment later.
        std::thread other([&] {
            const QString name = QStringLiteral("other program");
            {
                QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
                db.setDatabaseName(file);
                QSqlQuery q(db);
                if (!db.open() || !q.exec(QStringLiteral("begin immediate")))
                    otherError = db.lastError().text() + q.lastError().text();
                locked.set_value();
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                if (!q.exec(QStringLiteral(
                                "insert into F10YSR (CNT, ITV, LYMD, LHM, FCV) values ((select "
                                "coalesce(max(CNT), 0) + 1 from F10YSR), 5, '2025/07/09', '%1', "
                                "150100)")
                                .arg(otherLhm)) ||
                    !q.exec(QStringLiteral("commit")))
                    otherError += q.lastError().text();
                q = QSqlQuery();
                db.close();
            }
            QSqlDatabase::removeDatabase(name);
        });
        lockedNow.wait();
        ForecastSummary s;
        s.lastClose = QStringLiteral("150000");
        s.forecastClose = QStringLiteral("149800");
        session->analysis.logForecast(s);
        other.join();
        QVERIFY2(otherError.isEmpty(), qPrintable(otherError));
        QVERIFY2(dialogs->errors.isEmpty(), qPrintable(dialogs->errors.join(u'\n')));
        QCOMPARE(rows(QStringLiteral("select CNT, LHM, FCV from F10YSR order by CNT")), logged);
    }

    // Each row is judged against the bars of the week's end (Friday 20:00 to 23:45, Monday
    // 07:15 on): scored with the close of the last bar ending at or before its target, never
    // scored when no bar ends between its last bar and its target (the market was closed), left
    // unscored as other units when that close is outside half to twice its last close.
    void scoringTakesTheLastCloseAtOrBeforeTheTarget_data() {
        QTest::addColumn<QString>("lhm");
        QTest::addColumn<QString>("tymd");
        QTest::addColumn<QString>("thm");
        QTest::addColumn<int>("lcv");
        QTest::addColumn<QString>("acv");
        QTest::addColumn<QString>("nsr");
        const QString unscored = QStringLiteral("NULL");
        QTest::newRow("on a bar's end") << "18:00" << "2025/07/04" << "21:00" << 990
                                        << "1040:qlonglong" << unscored;
        QTest::newRow("between bar ends") << "18:00" << "2025/07/04" << "21:10" << 990
                                          << "1040:qlonglong" << unscored;
        QTest::newRow("the first bar's end") << "18:00" << "2025/07/04" << "20:00" << 990
                                             << "1000:qlonglong" << unscored;
        QTest::newRow("inside the weekend gap after a bar") << "18:00" << "2025/07/06" << "12:00"
                                                            << 990 << "1150:qlonglong" << unscored;
        QTest::newRow("the last bar's end") << "18:00" << "2025/07/07" << "09:00" << 990
                                            << "1230:qlonglong" << unscored;
        QTest::newRow("after the last bar") << "18:00" << "2025/07/07" << "09:15" << 990
                                            << unscored << unscored;
        QTest::newRow("before the first bar") << "18:00" << "2025/07/04" << "19:45" << 990
                                              << unscored << unscored;
        QTest::newRow("no date") << "18:00" << "" << "" << 990 << unscored << unscored;
        QTest::newRow("closed market: made after the week's last bar")
            << "23:45" << "2025/07/05" << "02:15" << 1150 << unscored << "1:qlonglong";
        QTest::newRow("other units") << "18:00" << "2025/07/04" << "21:00" << 99 << unscored
                                     << "2:qlonglong";
        QTest::newRow("other units, ten times the close")
            << "18:00" << "2025/07/04" << "21:00" << 10400 << unscored << "2:qlonglong";
        QTest::newRow("twice the last close is the same units")
            << "18:00" << "2025/07/04" << "21:00" << 520 << "1040:qlonglong" << unscored;
    }
    void scoringTakesTheLastCloseAtOrBeforeTheTarget() {
        QFETCH(QString, lhm);
        QFETCH(QString, tymd);
        QFETCH(QString, thm);
        QFETCH(int, lcv);
        QFETCH(QString, acv);
        QFETCH(QString, nsr);
        weekendBars();
        logRow(1, QStringLiteral("2025/07/04"), lhm, tymd, thm, lcv, 1100);
        logRow(2, QStringLiteral("2025/07/04"), QStringLiteral("17:00"), tymd, thm, 990, 1100,
               QStringLiteral("777"));
        const QString columns = QStringLiteral(
            "select CNT, MDT, MHM, ITV, LYMD, LHM, LCV, LHV, LLV, TYMD, THM, FCV, FHV, FLV, MSE, "
            "DEC from F10YSR order by CNT");
        const QStringList others = rows(columns);
        session->analysis.scoreForecasts();
        // A scored row keeps its value; nothing but ACV and the reason change.
        QCOMPARE(rows(QStringLiteral("select ACV, NSR from F10YSR order by CNT")),
                 (QStringList{acv + u'|' + nsr, "777:qlonglong|NULL"}));
        QCOMPARE(rows(columns), others);
        // A closed market is final; other units are tried again at the next import.
        session->analysis.scoreForecasts();
        QCOMPARE(rows(QStringLiteral("select ACV, NSR from F10YSR where CNT = 1")),
                 QStringList{acv + u'|' + nsr});
    }

    void opinionsScoreOverTheNextDay() {
        // Hourly bars from 1 July 00:00 to 3 July 00:00, rising 10 an hour until 2 July 00:00,
        // then falling.
        QSqlDatabase db = session->dm.database(session->dm.csm());
        QSqlQuery q(db);
        q.prepare(QStringLiteral("insert into F01YSK (CNT, CV, LYMD, LHM) values (?, ?, ?, ?)"));
        const QDateTime first(QDate(2025, 7, 1), QTime(0, 0));
        for (int k = 0; k <= 48; ++k) {
            const QDateTime end = first.addSecs(3600 * k);
            q.addBindValue(k + 1);
            q.addBindValue(k <= 24 ? 1000 + 10 * k : 1240 - 10 * (k - 24));
            q.addBindValue(end.toString(QStringLiteral("yyyy/MM/dd")));
            q.addBindValue(end.toString(QStringLiteral("HH:mm")));
            QVERIFY(q.exec());
        }
        session->reg.imcn = 49;
        session->analysis.loadBars();
        int cnt = 0;
        const auto opinion = [&](const char* dt, const char* hm, const char* rz, const char* syt) {
            exec(QStringLiteral("insert into F05PMF (CNT, DT, HM, RZ, SYT) values (%1, '%2', '%3', "
                                "'%4', '%5')")
                     .arg(++cnt)
                     .arg(QLatin1String(dt), QLatin1String(hm), QString::fromUtf8(rz),
                          QString::fromUtf8(syt)));
        };
        opinion("2025/07/01", "00:00", "ドル高", "https://example.com/a"); // 1000 -> 1240 hit
        opinion("2025/07/01", "06:30", "ﾄﾞﾙ高", "https://example.com/b");  // 1060 -> 1180 hit
        opinion("2025/07/01", "12:00", "ドル高", "http://example.com/");   // 1120 -> 1120 miss
        opinion("2025/07/02", "00:00", "円高", "https://example.com/c");   // 1240 -> 1000 hit
        opinion("2025/07/02", "00:01", "円高", "https://example.com/c");   // not covered
        opinion("2025/06/30", "23:59", "ドル安", "https://example.com/c"); // not covered
        opinion("2025/07/01", "03:00", "ドル安", "ﾌﾟﾛA");                  // 1030 -> 1210 miss
        opinion("2025/07/01", "03:00", "様子見", "ﾌﾟﾛB");                  // not read
        const Tracking::TrackRecord record = session->analysis.trackRecord();
        QCOMPARE(record.sites.size(), 2);
        QCOMPARE(record.sites[0].site, QStringLiteral("example.com"));
        QCOMPARE(record.sites[0].read, 6);
        QCOMPARE(record.sites[0].scored, 4);
        QCOMPARE(record.sites[0].hits, 3);
        QCOMPARE(record.sites[1].site, QStringLiteral("ﾌﾟﾛA"));
        QCOMPARE(record.sites[1].scored, 1);
        QCOMPARE(record.sites[1].hits, 0);
    }

    // An opinion is scored only when the market was open when it was noted and 24 hours later:
    // one noted on Friday evening ends on Saturday, one noted on Sunday starts in the gap.
    void opinionsNeedTheMarketOpenAtBothEnds() {
        weekendBars();
        session->analysis.loadBars();
        exec(QStringLiteral("insert into F05PMF (CNT, DT, HM, RZ, SYT) values "
                            "(1, '2025/07/04', '21:00', 'ドル高', 'a'), "
                            "(2, '2025/07/06', '08:00', 'ドル高', 'a'), "
                            "(3, '2025/07/06', '08:00', '円安一服', 'a')"));
        const Tracking::TrackRecord record = session->analysis.trackRecord();
        QCOMPARE(record.sites.size(), 1);
        QCOMPARE(record.sites[0].read, 2);
        QCOMPARE(record.sites[0].scored, 0);
        QCOMPARE(record.unreadOpinions, 1);
        QCOMPARE(session->analysis.bars().barLength(), 900);
    }

    void eventsCountMovesWithTheSurprise() {
        int cnt = 0;
        const auto event = [&](const char* enw, const char* div, const char* dyv) {
            exec(QStringLiteral("insert into F06EVR (CNT, ENW, DIV, DYV) values (%1, '%2', %3, %4)")
                     .arg(++cnt)
                     .arg(QString::fromUtf8(enw), QLatin1String(div), QLatin1String(dyv)));
        };
        event("雇用統計", "50", "120");  // with
        event("雇用統計", "-20", "-60"); // with
        event("雇用統計", "30", "-40");  // against
        event("雇用統計", "0", "0");     // no surprise, no move: no direction to share
        event("雇用統計", "0", "20");    // no surprise, a move: against
        event("CPI", "10", "NULL");      // no move recorded
        const Tracking::TrackRecord record = session->analysis.trackRecord();
        QCOMPARE(record.reportLines(),
                 (QStringList{"forecast\tnetwork\t0\t0\t-\t-",
                              "verdict\tnetwork\t0\t-\t-\tundecided", "unscored\tnetwork\t0\t0",
                              "event\tCPI\t1\t0\t-\t-",
                              QStringLiteral("event\t雇用統計\t5\t2\t8.0\t48.0")}));
    }

    void oldDatabaseGainsTheLogAtStartUp() {
        // A catalogue without the forecast log makes the old database.
        session.reset();
        const QString old = dir->filePath(QStringLiteral("old"));
        const QString catalogue = dir->filePath(QStringLiteral("oldcatalogue"));
        QVERIFY(QDir().mkpath(old) && QDir().mkpath(catalogue));
        for (const char* name : {"tbl.csv", "tblstrc.csv"}) {
            QStringList lines = TextFile::readLines(dataDir + u'/' + QLatin1String(name),
                                                    TextFile::Encoding::Cp932);
            QStringList kept;
            for (const QString& line : lines)
                if (!line.contains(QStringLiteral("F10YSR")) &&
                    !(QLatin1String(name) == QLatin1String("tblstrc.csv") &&
                      line.section(u',', 2, 2) == QStringLiteral("10")))
                    kept << line;
            QFile f(catalogue + u'/' + QLatin1String(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(
                TextFile::encodeCp932(kept.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")));
        }
        QDir::setCurrent(old);
        session = std::make_unique<Session>(*dialogs, catalogue);
        session->openDatabases();
        QCOMPARE(rows(QStringLiteral("select count(*) from AAATBN where TNAM = 'F10YSR'")),
                 QStringList{"0:qlonglong"});
        // The user's own catalogue edits and rows.
        exec(QStringLiteral("update AAATST set DPW = 33, TYO = 'mine' where CNAM = 'RZ'"));
        exec(QStringLiteral("insert into AAATBN values (10, 1, 10, 'MY', 'MYTBL', 'own')"));
        exec(QStringLiteral("insert into AAATST values (63, 1, 10, 1, 'CNT', 'Integer', NULL, 4, "
                            "'own')"));
        exec(QStringLiteral("insert into F05PMF (CNT, DT, RZ) values (1, '2025/07/01', 'ドル高')"));
        const auto everything = [this] {
            QStringList all = rows(QStringLiteral(
                "select name, sql from sqlite_master where name <> 'F10YSR' order by name"));
            for (const char* t : {"F05PMF", "F06EVR", "F07EVL", "F08EVK", "F09CSV"})
                all << rows(
                    QStringLiteral("select * from %1 order by rowid").arg(QLatin1String(t)));
            all << rows(
                QStringLiteral("select * from AAATBN where TNAM <> 'F10YSR' order by rowid"));
            all << rows(QStringLiteral("select * from AAATST where TBID in (select TBID from "
                                       "AAATBN where TNAM <> 'F10YSR') order by rowid"));
            return all;
        };
        const QStringList before = everything();
        session.reset();

        dialogs->clear();
        start();
        // Said once, at the start that adds it.
        QCOMPARE(dialogs->messages.size(), 1);
        QVERIFY2(dialogs->messages[0].contains(QStringLiteral("F10YSR(予測記録)")),
                 qPrintable(dialogs->messages[0]));
        QVERIFY(dialogs->errors.isEmpty());
        QCOMPARE(everything(), before);
        // The log's own rows, under the next free table id: the user took 10, the backtest's
        // kept folds 11.
        QCOMPARE(
            rows(QStringLiteral("select CNT, TBID, SKB, TYO from AAATBN where TNAM = 'F10YSR'")),
            QStringList{QStringLiteral("12:qlonglong|12:qlonglong|AN:QString|予測記録:QString")});
        session->reg.stnm = QStringLiteral("F10YSR");
        session->reg.swh.clear();
        session->store.ucSql(Store::sqlSelect);
        QCOMPARE(session->reg.sqw,
                 QStringLiteral(" select CNT, MDT, MHM, ITV, LYMD, LHM, LCV, LHV, LLV, TYMD, THM, "
                                "FCV, FHV, FLV, MSE, ACV, NSR, DEC from F10YSR"));
        QCOMPARE(rows(QStringLiteral("select count(*) from sqlite_master where name = 'F10YSR'")),
                 QStringList{"1:qlonglong"});
        // A third start finds nothing to add, and says nothing.
        const QStringList migrated = rows(QStringLiteral("select * from AAATST order by rowid"));
        session.reset();
        dialogs->clear();
        start();
        QVERIFY(dialogs->messages.isEmpty());
        QCOMPARE(rows(QStringLiteral("select * from AAATST order by rowid")), migrated);
        QDir::setCurrent(dir->path());
    }

    // A log from before the scoring rules gains the columns of why a row is unscored and of its
    // decimals, with their catalogue rows, said once. Rows scored in other units go back to
    // unscored as such; every other row keeps its score.
    void logFromBeforeTheScoringRulesGainsItsColumns() {
        exec(QStringLiteral("drop table F10YSR"));
        exec(QStringLiteral(
            "create table F10YSR (CNT Integer, MDT nchar(10), MHM nchar(5), ITV Integer, LYMD "
            "nchar(10), LHM nchar(5), LCV Integer, LHV Integer, LLV Integer, TYMD nchar(10), THM "
            "nchar(5), FCV Integer, FHV Integer, FLV Integer, MSE nchar(12), ACV Integer)"));
        exec(QStringLiteral("delete from AAATST where CNAM in ('NSR', 'DEC')"));
        exec(QStringLiteral(
            "insert into F10YSR (CNT, LYMD, LHM, LCV, FCV, ACV) values "
            "(1, '2025/07/01', '09:00', 153503, 153600, 15347), "
            "(2, '2025/07/01', '10:00', 150000, 150100, 150200), "
            "(3, '2025/07/01', '11:00', 150000, 150100, NULL)"));
        session.reset();
        dialogs->clear();
        start();
        QCOMPARE(dialogs->messages.size(), 1);
        QVERIFY2(dialogs->messages[0].contains(QStringLiteral("F10YSR.NSR、F10YSR.DEC")),
                 qPrintable(dialogs->messages[0]));
        QVERIFY(dialogs->errors.isEmpty());
        QCOMPARE(rows(QStringLiteral("select CNT, ACV, NSR, DEC from F10YSR order by CNT")),
                 (QStringList{"1:qlonglong|NULL|2:qlonglong|NULL",
                              "2:qlonglong|150200:qlonglong|NULL|NULL",
                              "3:qlonglong|NULL|NULL|NULL"}));
        QCOMPARE(rows(QStringLiteral("select CID, CNAM from AAATST where CNAM in ('NSR', 'DEC') "
                                     "order by CID")),
                 (QStringList{"17:qlonglong|NSR:QString", "18:qlonglong|DEC:QString"}));
        QCOMPARE(session->analysis.reportLines().at(2), QStringLiteral("unscored\tnetwork\t0\t1"));
        session.reset();
        dialogs->clear();
        start();
        QVERIFY(dialogs->messages.isEmpty());
    }

    // Only the loader writes the catalogue rows of the first nine tables: one the user removed
    // from AAATBN stays removed, rather than coming back under a new id beside its old columns.
    void aRemovedRowOfTheFirstTablesStaysRemoved() {
        const QStringList columns = rows(QStringLiteral("select * from AAATST order by rowid"));
        exec(QStringLiteral("delete from AAATBN where TNAM = 'F08EVK'"));
        const QStringList tables = rows(QStringLiteral("select * from AAATBN order by rowid"));
        session.reset();
        dialogs->clear();
        start();
        QVERIFY2(dialogs->messages.isEmpty() && dialogs->errors.isEmpty(),
                 qPrintable((dialogs->messages + dialogs->errors).join(u'\n')));
        QCOMPARE(rows(QStringLiteral("select * from AAATBN order by rowid")), tables);
        QCOMPARE(rows(QStringLiteral("select * from AAATST order by rowid")), columns);
    }

    void oldDatabaseWithoutCatalogueFilesStartsWithoutTheLog() {
        session.reset();
        start();
        exec(QStringLiteral("drop table F10YSR"));
        exec(QStringLiteral("delete from AAATST where TBID = (select TBID from AAATBN where TNAM = "
                            "'F10YSR')"));
        exec(QStringLiteral("delete from AAATBN where TNAM = 'F10YSR'"));
        session.reset();
        session = std::make_unique<Session>(*dialogs, dir->filePath(QStringLiteral("nowhere")));
        dialogs->clear();
        session->openDatabases();
        QVERIFY2(dialogs->errors.isEmpty() && dialogs->messages.isEmpty(),
                 qPrintable((dialogs->errors + dialogs->messages).join(u'\n')));
        QCOMPARE(rows(QStringLiteral("select count(*) from sqlite_master where name = 'F10YSR'")),
                 QStringList{"0:qlonglong"});
        QCOMPARE(session->analysis.reportLines(),
                 (QStringList{"forecast\tnetwork\t0\t0\t-\t-",
                              "verdict\tnetwork\t0\t-\t-\tundecided", "unscored\tnetwork\t0\t0"}));
    }

    void reportAgreesWithTheStoredRows() {
        session.reset();
        writeTwoSessions();
        for (const char* file : {"first.csv", "second.csv"}) {
            Session s(*dialogs, dataDir);
            HeadlessPipeline(s, HeadlessOptions::parse({dir->filePath(QLatin1String(file)),
                                                        "--today", "2025/07/09", "--seed", "5"}))
                .run();
        }
        start();
        exec(QStringLiteral("insert into F05PMF (CNT, DT, HM, RZ, SYT) values (1, '2025/07/08', "
                            "'09:00', 'ドル高', 'https://example.com/a')"));
        exec(QStringLiteral("insert into F06EVR (CNT, ENW, DIV, DYV) values (1, 'ISM', -3, -80)"));
        session.reset();

        Session s(*dialogs, dataDir);
        const QStringList printed = HeadlessPipeline(s, HeadlessOptions::parse({"--report"})).run();
        start();
        const QStringList logged = rows(
            QStringLiteral("select LCV, FCV, ACV, LYMD, LHM, TYMD, THM from F10YSR order by CNT"));
        QCOMPARE(logged.size(), 2);
        // Both files write three decimals: each row converts its differences by them.
        QCOMPARE(rows(QStringLiteral("select DEC from F10YSR order by CNT")),
                 (QStringList{"3:qlonglong", "3:qlonglong"}));
        const QStringList f = logged[0].split(u'|');
        const qint64 lcv = f[0].section(u':', 0, 0).toLongLong();
        const qint64 fcv = f[1].section(u':', 0, 0).toLongLong();
        QCOMPARE(f[2], QStringLiteral("150600:qlonglong")); // the close of 12:00, ten bars on
        QCOMPARE(f[3] + f[4], QStringLiteral("2025/07/08:QString09:30:QString"));
        QCOMPARE(f[5] + f[6], QStringLiteral("2025/07/08:QString12:00:QString"));
        QCOMPARE(logged[1].split(u'|')[2], QStringLiteral("NULL"));
        const qint64 acv = 150600;
        QVERIFY(lcv != acv); // no tie: the direction counts
        const int hit = ((fcv > lcv) - (fcv < lcv)) == 1 ? 1 : 0;
        const QString forecastLine = QStringLiteral("forecast\tnetwork\t1\t%1\t%2.0\t%3.0")
                                         .arg(hit)
                                         .arg(std::llabs(fcv - acv))
                                         .arg(std::llabs(lcv - acv));
        // One hit of one: Wilson's interval is 20.7–100 %, a miss 0–79.3 %.
        const QString verdictLine = hit ? QStringLiteral("verdict\tnetwork\t0\t20.7\t100.0\tundecided")
                                        : QStringLiteral("verdict\tnetwork\t0\t0.0\t79.3\tundecided");
        // Without a price file no bars are in memory: the opinion is not covered.
        QCOMPARE(printed, (QStringList{forecastLine, verdictLine, "unscored\tnetwork\t0\t0",
                                       "pro\texample.com\t0\t0",
                                       "event\tISM\t1\t1\t-80.0\t80.0"}));
        for (const QString& line : printed)
            QCOMPARE(line.count(u'\t'), line.startsWith(QStringLiteral("pro")) ||
                                                 line.startsWith(QStringLiteral("unscored"))
                                             ? 3
                                             : 5);
    }

    // Names go whole into the report, on one line each: a NUL, a tab or a line break in them is
    // a blank there. Page 9 shows a long name cut, in its cell and its tip.
    void namesInTheReportAndOnThePage() {
        const QString huge(1'000'000, u'x');
        exec(QStringLiteral("insert into F06EVR (CNT, ENW, DIV, DYV) values (1, 'a' || char(0) || "
                            "'b' || char(9) || 'c', 1, 10), (2, '%1', 1, 10)")
                 .arg(huge));
        const QStringList lines = session->analysis.reportLines();
        QVERIFY2(lines.contains(QStringLiteral("event\ta b c\t1\t1\t10.0\t10.0")),
                 qPrintable(lines.join(u'\n').left(300)));
        QVERIFY(lines.contains(QStringLiteral("event\t%1\t1\t1\t10.0\t10.0").arg(huge)));

        AnalysisPage page(*session, *dialogs);
        page.refresh();
        const QAbstractItemModel* events = page.eventGrid()->model();
        QCOMPARE(events->rowCount(), 2);
        for (int row = 0; row < 2; ++row) {
            const QModelIndex name = events->index(row, 0);
            QVERIFY(name.data().toString().size() <= 201);
            QVERIFY(name.data(Qt::ToolTipRole).toString().size() <= 201);
        }
        QVERIFY(events->index(1, 0).data().toString().startsWith(QStringLiteral("xxx")));
    }

    void severalPriceFilesInOneRunScoreEachOther() {
        // One command, two files: the second covers the target of the first file's forecast.
        session.reset();
        writeTwoSessions();
        QStringList printed;
        {
            Session s(*dialogs, dataDir);
            printed = HeadlessPipeline(s, HeadlessOptions::parse(
                                              {dir->filePath(QStringLiteral("first.csv")),
                                               dir->filePath(QStringLiteral("second.csv")),
                                               "--today", "2025/07/09", "--seed", "5", "--report"}))
                          .run();
        }
        start();
        const QStringList scored = rows(QStringLiteral("select ACV from F10YSR order by CNT"));
        QCOMPARE(scored, (QStringList{"150600:qlonglong", "NULL"}));
        // Each file prints its summary; the report follows once, with the one scored forecast.
        const QStringList reports = printed.filter(QStringLiteral("forecast\tnetwork\t"));
        QCOMPARE(reports.size(), 1);
        QVERIFY2(reports[0].startsWith(QStringLiteral("forecast\tnetwork\t1\t")),
                 qPrintable(reports[0]));
        QCOMPARE(printed.filter(QStringLiteral("MSE")).size(), 2);
    }

    void pageShowsTheRecordAndFollowsRegisterWrites() {
        session.reset();
        TKestoF window(*dialogs, dataDir);
        QVERIFY(startAtDesignedSize(window));
        QTabWidget* pc = window.pageControl();
        QCOMPARE(pc->count(), 10);
        QCOMPARE(pc->tabText(8), QStringLiteral("9分析"));
        auto* page = qobject_cast<AnalysisPage*>(pc->widget(8));
        QVERIFY(page);
        QCOMPARE(page->objectName(), QStringLiteral("jts"));
        QCOMPARE(page->networkLabel()->text(),
                 QStringLiteral("予測 n=0 的中0/0 - 誤差- 無変化- まだ判断できません (n=0)"));
        QCOMPARE(page->unreadLabel()->text(),
                 QStringLiteral("記録0 休場0 単位違い0 読めない相場観0"));
        QVERIFY(page->intervalLabel()->isHidden());
        QCOMPARE(page->siteGrid()->model()->rowCount(), 0);

        // An opinion registered on page 2 appears without anything else being done.
        auto* pro = window.findChild<ProForecastPage*>(QStringLiteral("bts"));
        QVERIFY(pro);
        RecordEditor* editor = pro->editor();
        editor->field(0)->setText(QStringLiteral("2025/07/08"));
        editor->field(1)->setText(QStringLiteral("09:00"));
        editor->field(2)->setText(QStringLiteral("ﾄﾞﾙ高"));
        editor->field(4)->setText(QStringLiteral("https://example.com/x"));
        editor->registerPressed();
        QVERIFY2(dialogs->errors.isEmpty(), qPrintable(dialogs->errors.join(u'\n')));
        QCOMPARE(page->siteGrid()->model()->rowCount(), 1);
        QCOMPARE(page->siteGrid()->model()->index(0, 0).data().toString(),
                 QStringLiteral("example.com"));
        QCOMPARE(page->siteGrid()->model()->index(0, 1).data().toString(), QStringLiteral("1"));

        // Scored forecasts are drawn as their forecast change against their actual change, in
        // sen; the line above counts them with the hit rate's interval and the verdict. Rows of
        // two intervals get a line each.
        Session& s = window.session();
        QSqlQuery q(s.dm.database(s.dm.csq()));
        const QString insert = QStringLiteral(
            "insert into F10YSR (CNT, ITV, LYMD, LHM, LCV, TYMD, THM, FCV, ACV, NSR, DEC) values ");
        QVERIFY(q.exec(insert + QStringLiteral(
            "(1, 15, '2025/07/01', '09:00', 100, '2025/07/01', '11:30', 120, 130, NULL, 2), "
            "(2, 15, '2025/07/01', '09:15', 100, '2025/07/01', '11:45', 90, 110, NULL, 2), "
            "(3, 60, '2025/07/01', '10:00', 1000, '2025/07/01', '20:00', 1010, 1000, NULL, 3), "
            "(4, 60, '2025/07/05', '06:00', 1000, '2025/07/05', '16:00', 1010, NULL, 1, 3)")));
        page->refresh();
        QCOMPARE(page->networkLabel()->text(),
                 QStringLiteral("予測 n=3 的中1/2 50.0% (95%区間 9.5〜90.5%) 誤差10.3銭 "
                                "無変化13.3銭 まだ判断できません (n=3)"));
        QCOMPARE(page->unreadLabel()->text(),
                 QStringLiteral("記録4 休場1 単位違い0 読めない相場観0"));
        QCOMPARE(page->intervalLabel()->text(),
                 QStringLiteral("15分足: n=2 的中1/2 50.0% (95%区間 9.5〜90.5%) 誤差15.0銭 "
                                "無変化20.0銭 まだ判断できません (n=2)\n"
                                "60分足: n=1 的中0/0 - 誤差1.0銭 無変化0.0銭 まだ判断できません "
                                "(n=1)"));
        QVERIFY(!page->intervalLabel()->isHidden());
        const QScatterSeries* changes = page->changeSeries();
        QCOMPARE(changes->count(), 3);
        QCOMPARE(changes->at(0), QPointF(20, 30));
        QCOMPARE(changes->at(1), QPointF(-10, 10));
        QCOMPARE(changes->at(2), QPointF(1, 0));
        // The report: means in the rows' price units, one line per interval.
        QCOMPARE(s.analysis.reportLines(),
                 (QStringList{"forecast\tnetwork\t3\t1\t13.3\t13.3",
                              "verdict\tnetwork\t1\t9.5\t90.5\tundecided",
                              "unscored\tnetwork\t1\t0",
                              "interval\t15\t2\t1\t0\t15.0\t20.0\t9.5\t90.5\tundecided",
                              "interval\t60\t1\t0\t1\t10.0\t0.0\t-\t-\tundecided",
                              "pro\texample.com\t0\t0"}));
    }

    // A long site name takes the room its grid has: whole in a wide window, cut in the designed
    // one, and its tip always names it whole.
    void longSiteNamesUseTheRoomTheGridHas() {
        const AppFont font(windowFont());
        session.reset();
        TKestoF window(*dialogs, dataDir);
        QVERIFY(startAtDesignedSize(window));
        const QString site =
            QStringLiteral("https://market-outlook.long-broker-name.example.com/fx");
        Session& s = window.session();
        QSqlQuery q(s.dm.database(s.dm.csq()));
        QVERIFY(q.exec(QStringLiteral("insert into F05PMF values (1, '2025/07/08', '09:00', "
                                      "'ﾄﾞﾙ高', NULL, '%1', NULL)")
                           .arg(site)));
        auto* page = qobject_cast<AnalysisPage*>(window.pageControl()->widget(8));
        page->refresh();
        window.pageControl()->setCurrentWidget(page);
        QTableView* grid = page->siteGrid();
        const QModelIndex name = grid->model()->index(0, 0);
        QCOMPARE(name.data().toString(),
                 QStringLiteral("market-outlook.long-broker-name.example.com"));
        QCOMPARE(name.data(Qt::ToolTipRole), name.data());
        const int whole = grid->fontMetrics().horizontalAdvance(name.data().toString());
        QTRY_VERIFY(grid->columnWidth(0) < whole);
        window.resize(1900, 641);
        QTRY_VERIFY(grid->columnWidth(0) > whole);
        QCOMPARE(grid->horizontalHeader()->length(), grid->viewport()->width());
    }

    // At the window's size as designed every label of the chart shows whole, in the window font
    // and in the taller CJK font a machine without it falls back to.
    void chartLabelsShowWholeAtTheDesignedSize_data() {
        QTest::addColumn<QString>("family");
        QTest::newRow("window font") << QString();
        QTest::newRow("taller fallback") << "Noto Sans Mono CJK JP";
    }
    void chartLabelsShowWholeAtTheDesignedSize() {
        QFETCH(QString, family);
        QFont shown = windowFont();
        if (!family.isEmpty())
            shown.setFamilies({family});
        const AppFont font(shown);
        session.reset();
        TKestoF window(*dialogs, dataDir);
        QVERIFY(startAtDesignedSize(window));
        Session& s = window.session();
        QSqlQuery q(s.dm.database(s.dm.csq()));
        for (int k = 0; k < 12; ++k)
            QVERIFY(
                q.exec(QStringLiteral("insert into F10YSR (CNT, MDT, MHM, ITV, LYMD, LHM, LCV, "
                                      "LHV, LLV, TYMD, THM, FCV, FHV, FLV, MSE, ACV) values (%1, "
                                      "'2025/07/01', '09:00', 15, '2025/07/01', '09:00', 150100, "
                                      "150100, 150100, '2025/07/%2', '11:30', 150120, 150120, "
                                      "150120, '.001', %3)")
                           .arg(k + 1)
                           .arg(k + 10)
                           .arg(150000 + 37 * k)));
        auto* page = qobject_cast<AnalysisPage*>(window.pageControl()->widget(8));
        page->refresh();
        window.pageControl()->setCurrentWidget(page);
        QTest::qWait(50);
        const ChartTexts texts(page->chartView());
        QVERIFY2(texts.cut.isEmpty(), qPrintable(texts.shown.join(u'|')));
        // The record's lines show whole, also with wide numbers, and leave the title alone.
        page->networkLabel()->setText(QStringLiteral(
            "予測 n=1000 的中500/1000 50.0% (95%区間 46.9〜53.1%) 誤差123.4銭 無変化123.4銭 "
            "ﾈｯﾄﾜｰｸが無変化より良い"));
        page->unreadLabel()->setText(QStringLiteral("記録10000 休場100 単位違い100 読めない相場観100"));
        const auto* title = page->findChild<QLabel*>(QStringLiteral("j01ttL"));
        for (const QLabel* line : {page->networkLabel(), page->unreadLabel()})
            QVERIFY2(line->fontMetrics().horizontalAdvance(line->text()) <= line->width(),
                     qPrintable(line->text()));
        QVERIFY(page->unreadLabel()->geometry().left() +
                    (page->unreadLabel()->width() -
                     page->unreadLabel()->fontMetrics().horizontalAdvance(
                         page->unreadLabel()->text())) >
                title->x() + title->fontMetrics().horizontalAdvance(title->text()));
        QVERIFY2(texts.shown.contains(page->chartView()->chart()->title()),
                 qPrintable(texts.shown.join(u'|')));
    }
};

QTEST_MAIN(TestAnalysis)
#include "test_analysis.moc"
