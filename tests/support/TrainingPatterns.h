#pragma once

#include "forecast/Forecaster.h"

#include <QDateTime>
#include <QString>

#include <floatfann.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

// Patterns for the training kernels and a comparison of two networks' training state, bit for
// bit, for the tests that hold a kernel against fann_train.

// The patterns one training sees: five inputs and three targets per pattern.
struct Patterns {
    std::vector<float> inputs, targets;
    int count() const { return int(targets.size() / 3); }
};

enum class PatternKind { RealBars, ClippedSums, BeyondTanhRange, RandomTargets };

// Weekday bars of `minutes` of a random walk as the forecast trains them, or patterns made to
// reach the library's rarer branches (random inputs in [0, 1) times `inputScale`).
inline Patterns makePatterns(PatternKind kind, int count, unsigned seed = 7, int minutes = 5,
                             float inputScale = 1.0f) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    Patterns p;
    if (kind == PatternKind::RealBars) {
        QDateTime end(QDate(2025, 5, 9), QTime(0, minutes));
        std::vector<double> closes;
        std::vector<std::array<float, 5>> ins;
        double price = 145000, high = 0, low = 1e9;
        while (int(closes.size()) < count) {
            end = end.addSecs(60 * minutes);
            if (end.date().dayOfWeek() > 5)
                continue;
            price += std::round((unit(random) - 0.5f) * 100);
            closes.push_back(price);
            high = std::max(high, price + 40);
            low = std::min(low, price - 40);
            ins.push_back(Forecaster::inputsOf(end.toString(QStringLiteral("yyyy/MM/dd")),
                                               end.toString(QStringLiteral("HH:mm"))));
        }
        const ForecastBounds b = Forecaster::bounds(QString::number(high), QString::number(low));
        for (int k = 0; k < count; ++k) {
            p.inputs.insert(p.inputs.end(), ins[k].begin(), ins[k].end());
            for (double v : {closes[k], closes[k] + 40, closes[k] - 40})
                p.targets.push_back(Forecaster::scaled(v, b));
        }
        return p;
    }
    for (int k = 0; k < count; ++k) {
        for (int i = 0; i < 5; ++i)
            p.inputs.push_back(kind == PatternKind::ClippedSums ? (unit(random) - 0.5f) * 4000.0f
                                                                : unit(random) * inputScale);
        for (int o = 0; o < 3; ++o)
            p.targets.push_back(kind == PatternKind::BeyondTanhRange
                                    ? (unit(random) < 0.5f ? -0.75f : 1.75f)
                                    : unit(random));
    }
    return p;
}

template <typename T> bool sameBits(const T* a, const T* b, std::size_t n) {
    return (a == nullptr) == (b == nullptr) && (!a || std::memcmp(a, b, n * sizeof(T)) == 0);
}

// Where two networks' training state differs, or nothing.
inline QString stateDifference(const fann* a, const fann* b) {
    if (!sameBits(a->weights, b->weights, a->total_connections))
        return QStringLiteral("weights");
    if (!sameBits(a->prev_weights_deltas, b->prev_weights_deltas, a->total_connections))
        return QStringLiteral("previous deltas");
    if (!sameBits(a->train_errors, b->train_errors, a->total_neurons))
        return QStringLiteral("errors");
    if (!sameBits(a->output, b->output, a->num_output))
        return QStringLiteral("output");
    for (unsigned i = 0; i < a->total_neurons; ++i) {
        const fann_neuron &na = a->first_layer->first_neuron[i],
                          &nb = b->first_layer->first_neuron[i];
        const float values[] = {na.sum, na.value, nb.sum, nb.value};
        if (!sameBits(values, values + 2, 2))
            return QStringLiteral("neuron %1").arg(i);
    }
    if (!sameBits(&a->MSE_value, &b->MSE_value, 1))
        return QStringLiteral("MSE %1 against %2").arg(a->MSE_value).arg(b->MSE_value);
    if (a->num_MSE != b->num_MSE || a->num_bit_fail != b->num_bit_fail)
        return QStringLiteral("counts");
    return {};
}

struct FannDeleter {
    void operator()(fann* ann) const { fann_destroy(ann); }
};
using FannPtr = std::unique_ptr<fann, FannDeleter>;
