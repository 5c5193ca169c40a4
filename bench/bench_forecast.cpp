// Times the training and forecast on two months of 5-minute bars against the bare fann_train
// loop over the same patterns, side by side in one run.
#include "BenchSupport.h"
#include "session/Session.h"
#include "forecast/Forecaster.h"
#include "store/Clock.h"

#include <QCoreApplication>
#include <QDir>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <floatfann.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

using bench::cpuMs;
using bench::peakKilobytes;
using bench::SilentDialogs;

namespace {

constexpr unsigned seed = 20250709;

// Weekday 5-minute bars from today minus two months up to now, and ten slots, as an import
// leaves F01YSK.
void fillTwoMonths(Session& session) {
    QSqlDatabase db = session.dm.database(session.dm.csm());
    db.transaction();
    QSqlQuery q(db);
    q.prepare(QStringLiteral("insert into F01YSK (CNT, SYMD, SHM, HV, LV, CV, LYMD, LHM) "
                             "values (?, ?, ?, ?, ?, ?, ?, ?)"));
    const QDateTime now = Clock::now();
    QDateTime start(Clock::today().addMonths(-2), QTime(0, 0));
    int cnt = 0, high = 0, low = 999999;
    const auto insert = [&](const QDateTime& s, QVariant hv, QVariant lv, QVariant cv) {
        const QDateTime e = s.addSecs(300);
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
    for (; start.addSecs(300) <= now; start = start.addSecs(300)) {
        if (start.date().dayOfWeek() > 5)
            continue;
        price += (std::rand() % 201 - 100) * 0.5;
        const int cv = int(price);
        high = std::max(high, cv + 40);
        low = std::min(low, cv - 40);
        insert(start, cv + 40, cv - 40, cv);
    }
    session.reg.imcn = cnt;
    for (int k = 0; k < 10; ++k, start = start.addSecs(300))
        insert(start, {}, {}, {});
    db.commit();
    session.reg.shm = QString::number(high);
    session.reg.slm = QString::number(low);
}

struct Patterns {
    std::vector<float> inputs, targets;
    int count = 0;
};

Patterns readPatterns(Session& session) {
    const ForecastBounds b = Forecaster::bounds(session.reg.shm, session.reg.slm);
    QSqlQuery q(session.dm.database(session.dm.csm()));
    q.exec(QStringLiteral("select LYMD, LHM, CV, HV, LV from F01YSK where CNT <= %1 order by CNT")
               .arg(session.reg.imcn));
    Patterns p;
    while (q.next()) {
        const auto in = Forecaster::inputsOf(q.value(0).toString(), q.value(1).toString());
        p.inputs.insert(p.inputs.end(), in.begin(), in.end());
        for (int c = 2; c < 5; ++c)
            p.targets.push_back(Forecaster::scaled(q.value(c).toDouble(), b));
        ++p.count;
    }
    return p;
}

// The library alone, set up as the wrapper sets it up.
double bareLoop(const Patterns& p, float& mse) {
    fann* ann = fann_create_standard(3, 5, 5, 3);
    std::srand(seed);
    fann_randomize_weights(ann, -0.5f, 0.5f);
    fann_set_learning_rate(ann, 0.7f);
    fann_set_learning_momentum(ann, 0.0f);
    fann_set_activation_steepness_hidden(ann, 0.5f);
    fann_set_activation_steepness_output(ann, 0.5f);
    fann_set_activation_function_hidden(ann, FANN_SIGMOID);
    fann_set_activation_function_output(ann, FANN_SIGMOID);
    fann_set_training_algorithm(ann, FANN_TRAIN_RPROP);
    fann_reset_MSE(ann);
    std::vector<float> in = p.inputs, out = p.targets;
    const double start = cpuMs();
    for (int epoch = 0; epoch < Forecaster::passes; ++epoch)
        for (int k = 0; k < p.count; ++k)
            fann_train(ann, in.data() + k * 5, out.data() + k * 3);
    const double ms = cpuMs() - start;
    mse = fann_get_MSE(ann);
    fann_destroy(ann);
    return ms;
}

double pipeline(Session& session, float& mse) {
    session.forecast.seed = seed;
    const double start = cpuMs();
    session.forecast.uq1K(1);
    const double ms = cpuMs() - start;
    mse = session.forecast.summary().mse;
    return ms;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    SilentDialogs dialogs;
    Session session(dialogs);
    session.openDatabases();
    std::srand(1);
    fillTwoMonths(session);
    const Patterns patterns = readPatterns(session);
    std::printf("bars: %d, passes: %d, fann_train calls: %lld\n", patterns.count,
                Forecaster::passes, qint64(patterns.count) * Forecaster::passes);

    double bestPipe = 1e300, bestBare = 1e300;
    float msePipe = 0, mseBare = 0;
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
    for (int r = 0; r < rounds; ++r) {
        const double pipe = pipeline(session, msePipe);
        const double bare = bareLoop(patterns, mseBare);
        std::printf("round %d: pipeline %.0f ms, bare fann_train loop %.0f ms (processor time), "
                    "ratio %.3f\n",
                    r + 1, pipe, bare, pipe / bare);
        bestPipe = std::min(bestPipe, pipe);
        bestBare = std::min(bestBare, bare);
    }
    std::printf("best: pipeline %.0f ms, bare %.0f ms, ratio %.3f (target 1.10)\n", bestPipe,
                bestBare, bestPipe / bestBare);
    std::printf("MSE pipeline %.9g, bare %.9g (%s)\n", msePipe, mseBare,
                msePipe == mseBare ? "same" : "different");
    return bestPipe / bestBare <= 1.10 ? 0 : 1;
}
