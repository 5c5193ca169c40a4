#pragma once

#include <floatfann.h>

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

// Trains `passes` passes over `count` patterns (five inputs and three targets each, pattern
// after pattern, for networks the kernel accepts; otherwise as many as the network has). With
// useKernel false, or a network the kernel refuses, every pattern goes through fann_train.
// Returns the passes done.
int train(fann* ann, const float* inputs, const float* targets, int count, int passes,
          const PassHook& onPass = {}, bool useKernel = true);

} // namespace TrainingKernel
