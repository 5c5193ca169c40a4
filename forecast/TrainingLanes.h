#pragma once

#include "forecast/TrainingState.h"

#include <cstddef>
#include <cstdint>

// The forecast network's incremental training restated in AVX2 lanes: the five hidden neurons
// side by side in one vector, the three outputs in another, every float rounded as the scalar
// kernel (and fann_train) rounds it. The sigmoid's exp and the tanh error's log run as vector
// approximations; a lane whose float could differ from the library's goes through libm.
// Callable only where the processor has AVX2 and FMA (TrainingKernel dispatches).
namespace TrainingLanes {

// Lanes that went through libm, for measuring; the patterns trained alongside.
struct Fallbacks {
    std::uint64_t patterns = 0;
    std::uint64_t sigmoids = 0; // of eight per pattern
    std::uint64_t logs = 0;     // of three per pattern with the tanh error function
};

// Trains `count` patterns (five inputs and three targets each, pattern after pattern) into
// `state`. With `allFallback`, every exp and log goes through libm as the library computes it.
void train(TrainingShape::State& state, const float* inputs, const float* targets,
           std::size_t count, bool allFallback, Fallbacks* fallbacks);

// The library's sigmoid activation of `count` neuron sums at one steepness, and its tanh error
// of `count` output differences, through the same approximations and guard as train(), four
// lanes at a time: for holding them against libm.
void sigmoids(const float* sums, float* out, std::size_t count, float steepness,
              Fallbacks* fallbacks);
void tanhErrors(const float* diffs, float* out, std::size_t count, Fallbacks* fallbacks);

} // namespace TrainingLanes
