// Times the training kernel against fann_train over two months of 1-, 5- and 15-minute bars,
// then the training and forecast (uq1K 1) on the 5-minute bars against the bare fann_train loop
// over the same patterns, side by side in one run; medians of the rounds.
//   bench_forecast [ROUNDS]
#include "BenchSupport.h"
#include "TrainingPatterns.h"
#include "forecast/Forecaster.h"
#include "session/Session.h"
#include "store/Clock.h"

#include <QCoreApplication>
#include <QDir>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <floatfann.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

using bench::cpuMs;
using bench::median;
using bench::Patterns;
using bench::SilentDialogs;

namespace {

constexpr unsigned seed = 20250709;

// Weekday bars of the given minutes from today minus two months up to now, and ten slots, as
// an import leaves F01YSK.
void fillTwoMonths(Session& session, int minutes) {
    const int step = minutes * 60;
    QSqlDatabase db = session.dm.database(session.dm.csm());
    db.transaction();
    QSqlQuery(db).exec(QStringLiteral("delete from F01YSK"));
    QSqlQuery q(db);
    q.prepare(QStringLiteral("insert into F01YSK (CNT, SYMD, SHM, HV, LV, CV, LYMD, LHM) "
                             "values (?, ?, ?, ?, ?, ?, ?, ?)"));
    const QDateTime now = Clock::now();
    QDateTime start(Clock::today().addMonths(-2), QTime(0, 0));
    int cnt = 0, high = 0, low = 999999;
    const auto insert = [&](const QDateTime& s, QVariant hv, QVariant lv, QVariant cv) {
        const QDateTime e = s.addSecs(step);
        const QVariantList values{++cnt,
                                  s.toString(QStringLiteral("yyyy/MM/dd")),
                                  s.toString(QStringLiteral("HH:mm")),
                                  hv,
                                  lv,
                                  cv,
                                  e.toString(QStringLiteral("yyyy/MM/dd")),
                                  e.toString(QStringLiteral("HH:mm"))};
        for (int i = 0; i < values.size(); ++i)
            q.bindValue(i, values[i]);
        q.exec();
    };
    double price = 145000;
    for (; start.addSecs(step) <= now; start = start.addSecs(step)) {
        if (start.date().dayOfWeek() > 5)
            continue;
        price += (std::rand() % 201 - 100) * 0.5;
        const int cv = int(price);
        high = std::max(high, cv + 40);
        low = std::min(low, cv - 40);
        insert(start, cv + 40, cv - 40, cv);
    }
    session.reg.imcn = cnt;
    for (int k = 0; k < 10; ++k, start = start.addSecs(step))
        insert(start, {}, {}, {});
    db.commit();
    session.reg.shm = QString::number(high);
    session.reg.slm = QString::number(low);
}

double pipeline(Session& session, float& mse) {
    session.forecast.seed = seed;
    const double start = cpuMs();
    session.forecast.uq1K(1);
    const double ms = cpuMs() - start;
    mse = session.forecast.summary().mse;
    return ms;
}

// Nanoseconds per pattern of the kernel and of fann_train over the same passes, and whether
// both left the same weights and error.
struct KernelTiming {
    double kernelNs, libraryNs;
    bool same;
};

KernelTiming timeKernel(const Patterns& p, int passes) {
    fann* kernel = bench::wrapperNetwork(seed);
    fann* library = fann_copy(kernel);
    const double patterns = double(p.count) * passes;
    double start = cpuMs();
    TrainingKernel::train(kernel, p.inputs.data(), p.targets.data(), p.count, passes);
    const double kernelMs = cpuMs() - start;
    start = cpuMs();
    TrainingKernel::train(library, p.inputs.data(), p.targets.data(), p.count, passes, {}, false);
    const double libraryMs = cpuMs() - start;
    const bool same = std::memcmp(kernel->weights, library->weights,
                                  sizeof(float) * kernel->total_connections) == 0 &&
                      fann_get_MSE(kernel) == fann_get_MSE(library);
    fann_destroy(kernel);
    fann_destroy(library);
    return {kernelMs * 1e6 / patterns, libraryMs * 1e6 / patterns, same};
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    SilentDialogs dialogs;
    Session session(dialogs);
    session.openDatabases();
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    bool allSame = true;

    for (const int minutes : {1, 5, 15}) {
        std::srand(1);
        fillTwoMonths(session, minutes);
        const Patterns patterns = bench::readPatterns(session);
        // Two months of 1-minute bars take half a minute per 1000 passes; fewer show the same.
        const int passes = minutes == 1 ? 100 : Forecaster::passes;
        std::vector<double> kernelNs, libraryNs;
        for (int r = 0; r < rounds; ++r) {
            const KernelTiming t = timeKernel(patterns, passes);
            kernelNs.push_back(t.kernelNs);
            libraryNs.push_back(t.libraryNs);
            allSame = allSame && t.same;
        }
        const double k = median(kernelNs), l = median(libraryNs);
        std::printf("%2d-minute bars: %d bars, %d passes: kernel %.1f ns per pattern, fann_train "
                    "%.1f ns, ratio %.3f%s\n",
                    minutes, patterns.count, passes, k, l, k / l, allSame ? "" : " (DIFFERENT)");
    }

    std::srand(1);
    fillTwoMonths(session, 5);
    const Patterns patterns = bench::readPatterns(session);
    std::printf("5-minute bars: %d, passes: %d, fann_train calls: %lld\n", patterns.count,
                Forecaster::passes, qint64(patterns.count) * Forecaster::passes);
    std::vector<double> pipes, bares;
    float msePipe = 0, mseBare = 0;
    for (int r = 0; r < rounds; ++r) {
        const double pipe = pipeline(session, msePipe);
        const double bare = bench::bareLoop(patterns, seed, Forecaster::passes, mseBare);
        std::printf("round %d: training and forecast %.0f ms, bare fann_train loop %.0f ms "
                    "(processor time), ratio %.3f\n",
                    r + 1, pipe, bare, pipe / bare);
        pipes.push_back(pipe);
        bares.push_back(bare);
    }
    const double pipe = median(pipes), bare = median(bares);
    std::printf("median: training and forecast %.0f ms, bare %.0f ms, ratio %.3f (target 0.60)\n",
                pipe, bare, pipe / bare);
    std::printf("MSE pipeline %.9g, bare %.9g (%s)\n", msePipe, mseBare,
                msePipe == mseBare ? "same" : "different");
    return allSame && msePipe == mseBare ? 0 : 1;
}
