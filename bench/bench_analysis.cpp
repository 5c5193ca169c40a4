// Times the refresh of the analysis page over 10,000 logged forecasts (half of them scored),
// 10,000 professional opinions on 50 sites and 10,000 event records of 40 events, with two
// months of 15-minute bars in memory, offscreen: the track record read and computed alone, and
// the whole refresh of the page (grids and chart). Reports medians of the runs.
//   bench_analysis [RUNS]   (default 15)
#include "BenchSupport.h"
#include "analysis/AnalysisPage.h"
#include "session/Session.h"
#include "store/Clock.h"
#include "store/Transaction.h"
#include "ui/Look.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using bench::cpuMs;
using bench::SilentDialogs;

namespace {

constexpr int rowsPerTable = 10000;

void fill(Session& session) {
    const QDateTime last(QDate(2025, 7, 9), QTime(10, 0));
    const QDateTime first = last.addMonths(-2);
    QRandomGenerator random(7);
    {
        QSqlDatabase db = session.dm.database(session.dm.csm());
        Transaction transaction(db);
        QSqlQuery q(db);
        q.prepare(QStringLiteral("insert into F01YSK (CNT, HV, LV, CV, LYMD, LHM) values (?, ?, ?, "
                                 "?, ?, ?)"));
        int cnt = 0;
        qint64 close = 150000;
        for (QDateTime end = first; end <= last; end = end.addSecs(900)) {
            close += qint64(random.bounded(41)) - 20;
            for (const QVariant& v :
                 {QVariant(++cnt), QVariant(close + 10), QVariant(close - 10), QVariant(close),
                  QVariant(end.toString(QStringLiteral("yyyy/MM/dd"))),
                  QVariant(end.toString(QStringLiteral("HH:mm")))})
                q.addBindValue(v);
            q.exec();
        }
        transaction.commit();
        session.reg.imcn = cnt;
    }
    QSqlDatabase db = session.dm.database(session.dm.csq());
    Transaction transaction(db);
    QSqlQuery f(db), o(db), e(db);
    // The log's columns named: later versions of the log have more.
    f.prepare(QStringLiteral("insert into F10YSR (CNT, MDT, MHM, ITV, LYMD, LHM, LCV, LHV, LLV, "
                             "TYMD, THM, FCV, FHV, FLV, MSE, ACV) values (?, '2025/07/01', "
                             "'09:00', 15, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, '.0012345', ?)"));
    o.prepare(QStringLiteral("insert into F05PMF values (?, ?, ?, ?, 'reason', ?, NULL)"));
    e.prepare(QStringLiteral("insert into F06EVR values (?, 'ｺﾖｳ', ?, ?, '22:30', '1', '2', ?, "
                             "150000, 150100, ?, NULL)"));
    const QStringList conclusions{QStringLiteral("ﾄﾞﾙ高"), QStringLiteral("ドル安"),
                                  QStringLiteral("円安方向"), QStringLiteral("様子見")};
    for (int k = 1; k <= rowsPerTable; ++k) {
        const QDateTime made = first.addSecs(qint64(random.bounded(55 * 86400)));
        const QDateTime target = made.addSecs(150 * 60);
        const qint64 lcv = 150000 + random.bounded(2000);
        for (const QVariant& v :
             {QVariant(k), QVariant(made.toString(QStringLiteral("yyyy/MM/dd"))),
              QVariant(made.toString(QStringLiteral("HH:mm"))), QVariant(lcv), QVariant(lcv + 5),
              QVariant(lcv - 5), QVariant(target.toString(QStringLiteral("yyyy/MM/dd"))),
              QVariant(target.toString(QStringLiteral("HH:mm"))),
              QVariant(lcv + random.bounded(201) - 100), QVariant(lcv + 50), QVariant(lcv - 50),
              k % 2 ? QVariant(lcv + random.bounded(201) - 100) : QVariant()})
            f.addBindValue(v);
        if (!f.exec())
            qFatal("F10YSR: %s", qPrintable(f.lastError().text()));
        const QDateTime said = first.addSecs(qint64(random.bounded(62 * 86400)));
        for (const QVariant& v :
             {QVariant(k), QVariant(said.toString(QStringLiteral("yyyy/MM/dd"))),
              QVariant(said.toString(QStringLiteral("HH:mm"))),
              QVariant(conclusions[k % conclusions.size()]),
              QVariant(QStringLiteral("https://site%1.example.com/fx/%2").arg(k % 50).arg(k))})
            o.addBindValue(v);
        o.exec();
        for (const QVariant& v :
             {QVariant(k), QVariant(QStringLiteral("ｲﾍﾞﾝﾄ%1").arg(k % 40)),
              QVariant(said.toString(QStringLiteral("yyyy/MM/dd"))),
              QVariant(random.bounded(21) - 10), QVariant(random.bounded(401) - 200)})
            e.addBindValue(v);
        e.exec();
    }
    transaction.commit();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char* argv[]) {
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 15;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    applyDarkLook(app);
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    Clock::fix(QDateTime(QDate(2025, 7, 9), QTime(12, 0)));
    SilentDialogs dialogs;
    Session session(dialogs);
    session.openDatabases();
    fill(session);
    session.analysis.loadBars();

    AnalysisPage page(session, dialogs);
    page.resize(904, 560);
    page.show();
    std::vector<double> core, coreCpu, refresh, refreshCpu;
    Tracking::TrackRecord record;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer wall;
        double cpu = cpuMs();
        wall.start();
        record = session.analysis.trackRecord();
        core.push_back(wall.nsecsElapsed() / 1e6);
        coreCpu.push_back(cpuMs() - cpu);

        cpu = cpuMs();
        wall.restart();
        page.refresh();
        app.processEvents(); // the grids and the chart lay out and paint
        refresh.push_back(wall.nsecsElapsed() / 1e6);
        refreshCpu.push_back(cpuMs() - cpu);
    }
    std::printf("%d forecasts (%d scored), %d opinions (%lld sites), %d events (%lld names), "
                "%lld bars\n",
                record.network.logged, record.network.scored, rowsPerTable,
                qlonglong(record.sites.size()), rowsPerTable, qlonglong(record.events.size()),
                qlonglong(session.analysis.bars().size()));
    std::printf("track record (read and computed): median %.1f ms wall, %.1f ms cpu\n",
                median(core), median(coreCpu));
    std::printf("page refresh (record, grids, chart, paint): median %.1f ms wall, %.1f ms cpu "
                "over %d runs; goal under 100 ms\n",
                median(refresh), median(refreshCpu), runs);
    return 0;
}
