#pragma once

#include <cmath>
#include <cstdint>

// The trainable state of the forecast network's one shape (five inputs, five sigmoid hidden
// neurons, three sigmoid outputs), as the training kernels keep it between a network's load
// and store: the library's weight order (neuron after neuron, each with its six connections,
// the bias last), the previous deltas in the same order, and the settings one pattern needs.
// A plain header: the AVX2 lanes include it, and nothing else of the program.
namespace TrainingShape {

constexpr unsigned numIn = 5, numHidden = 5, numOut = 3;
constexpr unsigned perNeuron = numIn + 1; // the previous layer and its bias
constexpr unsigned hiddenWeights = numHidden * perNeuron;
constexpr unsigned numWeights = hiddenWeights + numOut * perNeuron;

struct State {
    float w[numWeights];
    float dw[numWeights]; // previous deltas
    float steepH[numHidden], maxH[numHidden];
    float steepO[numOut], maxO[numOut];
    float rate, momentum, bitFailLimit;
    bool tanhError;
    float mse;
    unsigned numMse, numBitFail;
};

// The library's activation of one neuron, exactly: the steepened sum clipped to
// +-150/steepness (max), then the sigmoid in double precision, rounded once.
inline float librarySigmoid(float sum, float steepness, float max) {
    float s = steepness * sum;
    if (s > max)
        s = max;
    else if (s < -max)
        s = -max;
    return float(1.0 / (1.0 + std::exp(double(-2.0f * s))));
}

} // namespace TrainingShape
