#pragma once

#include "forecast/TrainingLanes.h"

#include <floatfann.h>

#include <cstdint>
#include <functional>

// Incremental training of the forecast network's one shape (five inputs, five sigmoid hidden
// neurons, three sigmoid outputs, fully connected layers) that leaves the network exactly as
// the same sequence of fann_train calls would: every weight, previous delta, the error sums
// and the neurons' last values, bit for bit. Any other network goes through fann_train.
namespace TrainingKernel {

// Called after every pass with the passes done and the total; false stops the training there.
using PassHook = std::function<bool(int done, int total)>;

// Whether the kernel reproduces fann_train for this network.
bool accepts(const fann* ann);

// Which code trains an accepted network. Lanes: the AVX2 and FMA vector kernel, the scalar
// kernel on a processor without them. LanesThroughLibm: the same lanes with every exp and log
// computed by libm as the library computes it (for checking the approximations' guard).
// Scalar: the scalar kernel. Library: fann_train for every pattern. All leave the same bits.
enum class Kernel { Lanes, LanesThroughLibm, Scalar, Library };

// Whether the processor runs the lanes (AVX2 and FMA).
bool lanesAvailable();

// The kernel train() uses: the lanes where the processor has them, else the scalar kernel.
// TORVANE_KERNEL=scalar in the environment chooses the scalar kernel, TORVANE_KERNEL=fallback
// the lanes through libm.
Kernel defaultKernel();

// "avx2-fma", "avx2-fma-libm", "scalar" or "fann_train".
const char* kernelName(Kernel kernel);

// The name of the kernel train() uses, for reports.
const char* activeKernel();

// Patterns the lanes have trained in this process, all threads: where it grows, they ran.
std::uint64_t lanesPatterns();

// Lanes that went through libm because the approximation could not vouch for the float.
using LaneFallbacks = TrainingLanes::Fallbacks;

// Trains `passes` passes over `count` patterns (five inputs and three targets each, pattern
// after pattern, for networks the kernel accepts; otherwise as many as the network has). With
// useKernel false, or a network the kernel refuses, every pattern goes through fann_train;
// otherwise the defaultKernel() trains.
// Returns the passes done.
int train(fann* ann, const float* inputs, const float* targets, int count, int passes,
          const PassHook& onPass = {}, bool useKernel = true);

// The same with the kernel given; Lanes and LanesThroughLibm run the scalar kernel where the
// processor has no AVX2 or FMA. Lane fallbacks are added to `fallbacks` when given.
int trainWith(Kernel kernel, fann* ann, const float* inputs, const float* targets, int count,
              int passes, const PassHook& onPass = {}, LaneFallbacks* fallbacks = nullptr);

} // namespace TrainingKernel
