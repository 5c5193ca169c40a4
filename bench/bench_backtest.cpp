// Times the walk-forward backtest on a generated price file of weekday bars:
//  1. what one fold costs beside its training alone (the file's reading set apart), one job;
//  2. the same folds with two jobs against one, in wall time;
//  3. a year of one origin a day and one seed with the jobs given, in wall time;
//  4. two weeks of folds as the window runs them (one job fewer than the processors), with the
//     longest pause of a 10 ms timer on the calling thread meanwhile, the file's reading included.
// No fold is taken from the fold cache: it is emptied before every run.
//   bench_backtest [MINUTES] [ROUNDS] [JOBS] [YEAR]   bars of MINUTES (15), ROUNDS (3) of parts 1
//   and 2, JOBS (2) for part 3, which runs only when YEAR is 1 (the default)
#include "BenchSupport.h"
#include "analysis/Backtester.h"
#include "analysis/PriceHistory.h"
#include "session/Session.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

using bench::cpuMs;
using bench::peakKilobytes;
using bench::SilentDialogs;

namespace {

// Weekday bars of the given minutes from Monday to Friday, Japan's 07:00 Monday to 07:00
// Saturday, over the fourteen months before end: a year of folds, each with its two months.
QByteArray priceFile(const QDate& end, int minutes, int* bars) {
    QByteArray text = "Date,Time,Open,High,Low,Close,EndDate,EndTime\r\n";
    QRandomGenerator random(20251211);
    double close = 150.0;
    const double volatility = 0.02 * std::sqrt(minutes / 15.0);
    const auto price = [](double yen) { return QByteArray::number(yen, 'f', 3); };
    *bars = 0;
    const QDateTime last(end, QTime(0, 0));
    for (QDateTime start(end.addMonths(-14), QTime(7, 0)); start < last;
         start = start.addSecs(minutes * 60)) {
        const int day = start.date().dayOfWeek();
        const bool open = (day == 1 && start.time() >= QTime(7, 0)) || (day >= 2 && day <= 5) ||
                          (day == 6 && start.time() < QTime(7, 0));
        if (!open)
            continue;
        const QDateTime barEnd = start.addSecs(minutes * 60);
        const double o = close;
        close = o + volatility * (random.generateDouble() * 2.0 - 1.0) * 2.0 + (150.0 - o) * 0.0005;
        const double high = std::max(o, close) + volatility * random.generateDouble();
        const double low = std::min(o, close) - volatility * random.generateDouble();
        text += start.toString(QStringLiteral("yyyy/MM/dd,HH:mm,")).toLatin1() + price(o) + ',' +
                price(high) + ',' + price(low) + ',' + price(close) + ',' +
                barEnd.toString(QStringLiteral("yyyy/MM/dd,HH:mm")).toLatin1() + "\r\n";
        ++*bars;
    }
    return text;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

// Runs the plan off the thread with that many jobs, from an empty fold cache; wall time in ms.
// The longest pause between two ticks of a 10 ms timer meanwhile goes to longestGap.
double runOff(Backtester& b, const Backtester::Plan& plan, int jobs, qint64* longestGap = nullptr) {
    b.clearKept();
    b.setRun(TrainingJobs::Run::offThread);
    b.setJobs(jobs);
    QEventLoop loop;
    QObject::connect(&b, &Backtester::finished, &loop, &QEventLoop::quit);
    QTimer ticker;
    QElapsedTimer sinceTick;
    qint64 gap = 0;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, &loop, [&] {
        if (sinceTick.isValid())
            gap = std::max(gap, sinceTick.elapsed());
        sinceTick.restart();
    });
    QElapsedTimer wall;
    wall.start();
    ticker.start();
    b.start(plan);
    if (b.running())
        loop.exec();
    const double ms = double(wall.nsecsElapsed()) / 1e6;
    QObject::disconnect(&b, nullptr, &loop, nullptr);
    if (longestGap)
        *longestGap = gap;
    return ms;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int minutes = args.size() > 1 ? args[1].toInt() : 15;
    const int rounds = args.size() > 2 ? args[2].toInt() : 3;
    const int jobs = args.size() > 3 ? args[3].toInt() : 2;
    const bool year = args.size() > 4 ? args[4].toInt() != 0 : true;

    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    const QDate end(2026, 12, 5);
    int bars = 0;
    const QString path = dir.filePath(QStringLiteral("P.CSV"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        f.write(priceFile(end, minutes, &bars));
    }
    SilentDialogs dialogs;
    Session session(dialogs);
    session.openDatabases();
    Backtester& b = session.backtest;
    std::printf("%d-minute bars: %d in the file\n", minutes, bars);

    // 1. Five folds, one job, here: the backtest's processor time less its reading of the
    // file, against the trainings alone of the same folds' patterns.
    Backtester::Plan five;
    five.file = path;
    five.from = end.addMonths(-3);
    five.to = five.from.addDays(6); // a week: five weekdays, the weekend skipped
    five.origins = {QTime(9, 0)};
    std::vector<double> foldRatio, jobRatio;
    double foldMs = 0, trainMs = 0;
    for (int r = 0; r < rounds; ++r) {
        const double readStart = cpuMs();
        const PriceHistory history = PriceHistory::read(
            path, QStringLiteral("P.CSV"), PriceHistory::Columns::of(session.store), std::nullopt);
        const double readMs = cpuMs() - readStart;

        b.clearKept();
        b.setRun(TrainingJobs::Run::here);
        const double runStart = cpuMs();
        b.start(five);
        const double runMs = cpuMs() - runStart - readMs;
        const int folds = int(b.folds().size());

        double training = 0, taking = 0;
        for (QDate d = five.from; d <= five.to; d = d.addDays(1)) {
            const double t0 = cpuMs();
            const std::optional<Backtest::FoldInput> in =
                history.foldAt(QDateTime(d, QTime(9, 0)));
            taking += cpuMs() - t0;
            if (!in)
                continue;
            static constexpr unsigned layers[] = {5, 5, 3};
            TrainingJob job;
            job.net = std::make_shared<TNervFann>(layers, 1.0f, 1u);
            job.inputs = in->inputs;
            job.targets = in->targets;
            job.passes = Forecaster::passes;
            const double t = cpuMs();
            job.run();
            training += cpuMs() - t;
        }
        foldRatio.push_back(runMs / training);
        foldMs = runMs / folds;
        trainMs = training / folds;

        // 2. Eight folds with one job and with two, off the thread.
        Backtester::Plan eight = five;
        eight.to = five.from.addDays(9);
        const double one = runOff(b, eight, 1);
        const double two = runOff(b, eight, 2);
        jobRatio.push_back(two / one);
        std::printf("round %d: file read %.0f ms; fold %.1f ms (its bars taken %.2f ms), training "
                    "alone %.1f ms (ratio %.3f); %d folds with 1 job %.0f ms, with 2 jobs %.0f ms "
                    "(ratio %.3f)\n",
                    r + 1, readMs, foldMs, taking / folds, trainMs, foldRatio.back(),
                    int(b.folds().size()), one, two, jobRatio.back());
        std::fflush(stdout);
    }
    std::printf("median: fold / training alone %.3f (goal <= 1.10); 2 jobs / 1 job %.3f "
                "(goal <= 0.60)\n",
                median(foldRatio), median(jobRatio));

    if (year) {
        // 3. A year of origins at 09:00, one seed.
        Backtester::Plan plan;
        plan.file = path;
        plan.from = end.addYears(-1);
        plan.to = end;
        plan.origins = {QTime(9, 0)};
        const double ms = runOff(b, plan, jobs);
        std::printf("a year, one origin a day, one seed: %d folds (%d origins skipped) with %d "
                    "jobs in %.1f s\n",
                    int(b.folds().size()), b.skipped(), jobs, ms / 1000.0);
    }
    {
        Backtester::Plan plan = five;
        plan.to = five.from.addDays(13);
        const int windowJobs = std::max(1, QThread::idealThreadCount() - 1);
        qint64 gap = 0;
        const double ms = runOff(b, plan, windowJobs, &gap);
        std::printf("as the window runs it, %d job(s): %d folds in %.1f s, longest pause of the "
                    "calling thread %lld ms (goal <= 100)\n",
                    windowJobs, int(b.folds().size()), ms / 1000.0, static_cast<long long>(gap));
    }
    std::printf("peak memory %ld MB\n", peakKilobytes() / 1024);
    return 0;
}
