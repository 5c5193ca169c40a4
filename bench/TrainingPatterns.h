#pragma once

#include "BenchSupport.h"
#include "forecast/Forecaster.h"
#include "forecast/TrainingKernel.h"
#include "session/Session.h"

#include <QSqlQuery>

#include <floatfann.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

// The training patterns of the bars in F01YSK, and the library trained on them alone, set up
// as the wrapper sets it up.
namespace bench {

struct Patterns {
    std::vector<float> inputs, targets;
    int count = 0;
};

inline Patterns readPatterns(Session& session) {
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

inline fann* wrapperNetwork(unsigned seed) {
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
    return ann;
}

// The bare fann_train loop over every pattern for the passes; processor milliseconds.
inline double bareLoop(const Patterns& p, unsigned seed, int passes, float& mse) {
    fann* ann = wrapperNetwork(seed);
    std::vector<float> in = p.inputs, out = p.targets;
    const double start = cpuMs();
    for (int epoch = 0; epoch < passes; ++epoch)
        for (int k = 0; k < p.count; ++k)
            fann_train(ann, in.data() + k * 5, out.data() + k * 3);
    const double ms = cpuMs() - start;
    mse = fann_get_MSE(ann);
    fann_destroy(ann);
    return ms;
}

inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n == 0 ? 0.0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

} // namespace bench
