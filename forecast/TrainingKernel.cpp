// Built with -ffp-contract=off: a fused multiply-add would round differently from the library.
#include "forecast/TrainingKernel.h"

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

using namespace TrainingShape;
using Net = State;

std::atomic<std::uint64_t> patternsThroughLanes{0};

// The library's sum over six connections: its unrolled loop adds the two left over by the
// groups of four first, in reverse, then the group of four.
inline float weightedSum(const float* w, const float* v) {
    float s = 0.0f;
    s += w[1] * v[1];
    s += w[0] * v[0];
    s += ((w[2] * v[2] + w[3] * v[3]) + w[4] * v[4]) + w[5] * v[5];
    return s;
}

// Activation of one neuron, as the library computes it.
inline float activate(float sum, float steepness, float max) {
    return TrainingShape::librarySigmoid(sum, steepness, max);
}

inline float derived(float steepness, float value) {
    const float v = value < 0.01f ? 0.01f : (value > 0.99f ? 0.99f : value);
    return 2.0f * steepness * v * (1.0f - v);
}

inline void trainOne(Net& n, const float* in, const float* target) {
    float x[perNeuron], h[perNeuron], y[numOut], e[numOut], g[numHidden];
    for (unsigned i = 0; i < numIn; ++i)
        x[i] = in[i];
    x[numIn] = 1.0f;
    for (unsigned j = 0; j < numHidden; ++j)
        h[j] = activate(weightedSum(n.w + j * perNeuron, x), n.steepH[j], n.maxH[j]);
    h[numHidden] = 1.0f;
    for (unsigned k = 0; k < numOut; ++k)
        y[k] =
            activate(weightedSum(n.w + hiddenWeights + k * perNeuron, h), n.steepO[k], n.maxO[k]);

    for (unsigned k = 0; k < numOut; ++k) {
        float diff = target[k] - y[k];
        n.mse += float(diff * diff);
        if ((diff > 0 ? diff : -diff) >= n.bitFailLimit)
            ++n.numBitFail;
        if (n.tanhError) {
            if (diff < -.9999999)
                diff = -17.0f;
            else if (diff > .9999999)
                diff = 17.0f;
            else
                diff = float(std::log((1.0 + diff) / (1.0 - diff)));
        }
        e[k] = derived(n.steepO[k], y[k]) * diff;
    }
    n.numMse += numOut;

    for (unsigned i = 0; i < numHidden; ++i) {
        float sum = 0.0f;
        for (unsigned k = 0; k < numOut; ++k)
            sum += e[k] * n.w[hiddenWeights + k * perNeuron + i];
        g[i] = sum * derived(n.steepH[i], h[i]);
    }

    for (unsigned j = 0; j < numHidden; ++j) {
        const float step = g[j] * n.rate;
        float* w = n.w + j * perNeuron;
        float* dw = n.dw + j * perNeuron;
        for (unsigned i = 0; i < perNeuron; ++i) {
            const float delta = step * x[i] + n.momentum * dw[i];
            w[i] += delta;
            dw[i] = delta;
        }
    }
    for (unsigned k = 0; k < numOut; ++k) {
        const float step = e[k] * n.rate;
        float* w = n.w + hiddenWeights + k * perNeuron;
        float* dw = n.dw + hiddenWeights + k * perNeuron;
        for (unsigned i = 0; i < perNeuron; ++i) {
            const float delta = step * h[i] + n.momentum * dw[i];
            w[i] += delta;
            dw[i] = delta;
        }
    }
}

bool isBias(const fann_neuron& n) {
    return n.first_con == n.last_con;
}

// A layer of `size` sigmoid neurons, each with the next six connections from `firstCon` on,
// followed by its bias neuron.
bool sigmoidLayer(const fann_layer& layer, unsigned size, unsigned firstCon) {
    if (layer.last_neuron - layer.first_neuron != std::ptrdiff_t(size + 1))
        return false;
    for (unsigned j = 0; j < size; ++j) {
        const fann_neuron& n = layer.first_neuron[j];
        if (n.first_con != firstCon + j * perNeuron || n.last_con != n.first_con + perNeuron ||
            n.activation_function != FANN_SIGMOID || !(n.activation_steepness != 0.0f))
            return false;
    }
    return isBias(layer.first_neuron[size]);
}

void load(const fann* ann, Net& n) {
    std::memcpy(n.w, ann->weights, sizeof n.w);
    if (ann->prev_weights_deltas)
        std::memcpy(n.dw, ann->prev_weights_deltas, sizeof n.dw);
    else
        std::memset(n.dw, 0, sizeof n.dw);
    const fann_neuron* hidden = ann->first_layer[1].first_neuron;
    const fann_neuron* out = ann->first_layer[2].first_neuron;
    for (unsigned j = 0; j < numHidden; ++j) {
        n.steepH[j] = hidden[j].activation_steepness;
        n.maxH[j] = 150 / n.steepH[j];
    }
    for (unsigned k = 0; k < numOut; ++k) {
        n.steepO[k] = out[k].activation_steepness;
        n.maxO[k] = 150 / n.steepO[k];
    }
    n.rate = ann->learning_rate;
    n.momentum = ann->learning_momentum;
    n.bitFailLimit = ann->bit_fail_limit;
    n.tanhError = ann->train_error_function != FANN_ERRORFUNC_LINEAR;
    n.mse = ann->MSE_value;
    n.numMse = ann->num_MSE;
    n.numBitFail = ann->num_bit_fail;
}

// The library allocates the previous deltas at the first training, and frees them with free().
bool ensureDeltas(fann* ann) {
    if (!ann->prev_weights_deltas)
        ann->prev_weights_deltas =
            static_cast<fann_type*>(std::calloc(ann->total_connections_allocated, sizeof(float)));
    return ann->prev_weights_deltas != nullptr;
}

void store(fann* ann, const Net& n) {
    std::memcpy(ann->weights, n.w, sizeof n.w);
    std::memcpy(ann->prev_weights_deltas, n.dw, sizeof n.dw);
    ann->MSE_value = n.mse;
    ann->num_MSE = n.numMse;
    ann->num_bit_fail = n.numBitFail;
}

int trainWithLibrary(fann* ann, const float* inputs, const float* targets, int count, int passes,
                     const TrainingKernel::PassHook& onPass) {
    const unsigned nIn = ann->num_input, nOut = ann->num_output;
    for (int pass = 1; pass <= passes; ++pass) {
        for (int k = 0; k < count; ++k)
            fann_train(ann, const_cast<float*>(inputs + std::size_t(k) * nIn),
                       const_cast<float*>(targets + std::size_t(k) * nOut));
        if (onPass && !onPass(pass, passes))
            return pass;
    }
    return passes;
}

} // namespace

bool TrainingKernel::accepts(const fann* ann) {
    if (!ann || ann->network_type != FANN_NETTYPE_LAYER || !(ann->connection_rate >= 1) ||
        ann->last_layer - ann->first_layer != 3 || ann->num_input != numIn ||
        ann->num_output != numOut || ann->total_connections != numWeights || !ann->weights)
        return false;
    const fann_layer* layers = ann->first_layer;
    return layers[0].last_neuron - layers[0].first_neuron == numIn + 1 &&
           sigmoidLayer(layers[1], numHidden, 0) && sigmoidLayer(layers[2], numOut, hiddenWeights);
}

bool TrainingKernel::lanesAvailable() {
    static const bool available = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return available;
}

TrainingKernel::Kernel TrainingKernel::defaultKernel() {
    const char* chosen = std::getenv("TORVANE_KERNEL");
    if (chosen && std::strcmp(chosen, "scalar") == 0)
        return Kernel::Scalar;
    if (!lanesAvailable())
        return Kernel::Scalar;
    if (chosen && std::strcmp(chosen, "fallback") == 0)
        return Kernel::LanesThroughLibm;
    return Kernel::Lanes;
}

const char* TrainingKernel::kernelName(Kernel kernel) {
    switch (kernel) {
    case Kernel::Lanes:
        return "avx2-fma";
    case Kernel::LanesThroughLibm:
        return "avx2-fma-libm";
    case Kernel::Scalar:
        return "scalar";
    case Kernel::Library:
        break;
    }
    return "fann_train";
}

std::uint64_t TrainingKernel::lanesPatterns() {
    return patternsThroughLanes.load(std::memory_order_relaxed);
}

const char* TrainingKernel::activeKernel() {
    return kernelName(defaultKernel());
}

int TrainingKernel::train(fann* ann, const float* inputs, const float* targets, int count,
                          int passes, const PassHook& onPass, bool useKernel) {
    return trainWith(useKernel ? defaultKernel() : Kernel::Library, ann, inputs, targets, count,
                     passes, onPass);
}

int TrainingKernel::trainWith(Kernel kernel, fann* ann, const float* inputs, const float* targets,
                              int count, int passes, const PassHook& onPass,
                              LaneFallbacks* fallbacks) {
    if (count <= 0 || passes <= 0 || kernel == Kernel::Library || !accepts(ann) ||
        !ensureDeltas(ann))
        return trainWithLibrary(ann, inputs, targets, count, passes, onPass);
    const bool lanes = kernel != Kernel::Scalar && lanesAvailable();
    const bool throughLibm = kernel == Kernel::LanesThroughLibm;

    Net n;
    load(ann, n);
    const std::size_t last = std::size_t(count - 1);
    for (int pass = 1; pass <= passes; ++pass) {
        if (lanes) {
            LaneFallbacks f;
            TrainingLanes::train(n, inputs, targets, last, throughLibm, &f);
            patternsThroughLanes.fetch_add(f.patterns, std::memory_order_relaxed);
            if (fallbacks) {
                fallbacks->patterns += f.patterns;
                fallbacks->sigmoids += f.sigmoids;
                fallbacks->logs += f.logs;
            }
        } else {
            for (std::size_t k = 0; k < last; ++k)
                trainOne(n, inputs + k * numIn, targets + k * numOut);
        }
        // The pass's last pattern goes through the library, so that after every pass the
        // neurons' values and sums, the output and the error array are its own.
        store(ann, n);
        fann_train(ann, const_cast<float*>(inputs + last * numIn),
                   const_cast<float*>(targets + last * numOut));
        load(ann, n);
        if (onPass && !onPass(pass, passes))
            return pass;
    }
    return passes;
}
