// Times the AVX2 lanes and the scalar training kernel against fann_train over two months of 1-,
// 5- and 15-minute bars (and says which kernel the program takes by default),
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

// Nanoseconds per pattern of the lanes, the scalar kernel and fann_train over the same passes,
// whether all three left the same weights, deltas and error, and the lanes' libm fallbacks.
struct KernelTiming {
    double lanesNs, scalarNs, libraryNs;
    bool same;
    TrainingKernel::LaneFallbacks fallbacks;
};

bool sameState(const fann* a, const fann* b) {
    const std::size_t bytes = sizeof(float) * a->total_connections;
    return std::memcmp(a->weights, b->weights, bytes) == 0 &&
           std::memcmp(a->prev_weights_deltas, b->prev_weights_deltas, bytes) == 0 &&
           std::memcmp(&a->MSE_value, &b->MSE_value, sizeof(float)) == 0 &&
           a->num_MSE == b->num_MSE && a->num_bit_fail == b->num_bit_fail;
}

KernelTiming timeKernels(const Patterns& p, int passes) {
    using TrainingKernel::Kernel;
    fann* nets[3];
    nets[0] = bench::wrapperNetwork(seed);
    nets[1] = fann_copy(nets[0]);
    nets[2] = fann_copy(nets[0]);
    const Kernel kernels[3] = {Kernel::Lanes, Kernel::Scalar, Kernel::Library};
    double ns[3];
    KernelTiming t{};
    for (int i = 0; i < 3; ++i) {
        const double start = cpuMs();
        TrainingKernel::trainWith(kernels[i], nets[i], p.inputs.data(), p.targets.data(), p.count,
                                  passes, {}, i == 0 ? &t.fallbacks : nullptr);
        ns[i] = (cpuMs() - start) * 1e6 / (double(p.count) * passes);
    }
    t.lanesNs = ns[0];
    t.scalarNs = ns[1];
    t.libraryNs = ns[2];
    t.same = sameState(nets[0], nets[2]) && sameState(nets[1], nets[2]);
    for (fann* ann : nets)
        fann_destroy(ann);
    return t;
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

    std::printf("default kernel: %s (lanes %s on this processor)\n", TrainingKernel::activeKernel(),
                TrainingKernel::lanesAvailable() ? "available" : "unavailable");
    for (const int minutes : {1, 5, 15}) {
        std::srand(1);
        fillTwoMonths(session, minutes);
        const Patterns patterns = bench::readPatterns(session);
        // Two months of 1-minute bars take half a minute per 1000 passes; fewer show the same.
        const int passes = minutes == 1 ? 100 : Forecaster::passes;
        std::vector<double> lanesNs, scalarNs, libraryNs;
        TrainingKernel::LaneFallbacks fallbacks;
        for (int r = 0; r < rounds; ++r) {
            const KernelTiming t = timeKernels(patterns, passes);
            lanesNs.push_back(t.lanesNs);
            scalarNs.push_back(t.scalarNs);
            libraryNs.push_back(t.libraryNs);
            allSame = allSame && t.same;
            fallbacks = t.fallbacks;
        }
        const double a = median(lanesNs), k = median(scalarNs), l = median(libraryNs);
        std::printf(
            "%2d-minute bars: %d bars, %d passes: lanes %.1f ns per pattern, scalar %.1f ns, "
            "fann_train %.1f ns; lanes/fann_train %.3f, scalar/fann_train %.3f, "
            "lanes/scalar %.3f%s\n",
            minutes, patterns.count, passes, a, k, l, a / l, k / l, a / k,
            allSame ? "" : " (DIFFERENT)");
        if (fallbacks.patterns > 0)
            std::printf("    lanes through libm: sigmoids %.2e of %llu, logs %.4f of %llu\n",
                        double(fallbacks.sigmoids) / (8.0 * double(fallbacks.patterns)),
                        (unsigned long long)(8 * fallbacks.patterns),
                        double(fallbacks.logs) / (3.0 * double(fallbacks.patterns)),
                        (unsigned long long)(3 * fallbacks.patterns));
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
