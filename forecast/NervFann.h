#pragma once

#include "forecast/TrainingKernel.h"

#include <floatfann.h>

#include <QString>

#include <optional>
#include <span>

class QImage;

// One neuron of the diagram: its place in the layer, its layer, and whether it is a bias neuron.
struct TNeuron {
    qint32 x = 0;
    qint32 y = 0;
    bool isBias = false;
};

using TFann_Connection = fann_connection;
using TFann_activationfunc_enum = fann_activationfunc_enum;
using TFann_train_enum = fann_train_enum;

// Owns one FANN network and fixes how this system sets it up: weights drawn from -0.5..0.5,
// one pattern per training call, sigmoid activations of steepness 0.5, learning rate 0.7 and
// no momentum.
class TNervFann {
public:
    // Side of one cell of the network diagram, in pixels.
    static constexpr int span = 100;

    // A new network with the given layer sizes (input layer first). A rate below 1.0 makes a
    // sparse network. The seed, when given, makes the initial weights reproducible.
    TNervFann(std::span<const unsigned> NeuronNumInLayer, float ConnectionRate,
              std::optional<unsigned> seed = std::nullopt);
    // A network read from a FANN network file. The settings fields stay zero.
    explicit TNervFann(const QString& LoadFromFileName);
    ~TNervFann();

    TNervFann(const TNervFann&) = delete;
    TNervFann& operator=(const TNervFann&) = delete;

    // One pattern: inputs as many as the input layer, outputs the desired outputs.
    void Train(std::span<const float> Inputs, std::span<const float> Outputs);
    // Trains `passes` passes over the patterns, one Train per pattern in order: Inputs hold
    // the input layer's values pattern after pattern, Outputs the desired outputs. The forecast
    // network's shape goes through the exact kernel. onPass may stop after any pass; returns the
    // passes done.
    int TrainPasses(std::span<const float> Inputs, std::span<const float> Outputs, int passes,
                    const TrainingKernel::PassHook& onPass = {});
    // Runs the network and copies the first Outputs.size() results into Outputs.
    void Run(std::span<const float> Inputs, std::span<float> Outputs);
    // The library's running error over every pattern trained since the last reset.
    float GetMSE() const;
    void ResetMse();

    void TrainOnFile(const QString& FileName, unsigned MaxEpochs, float DesiredError);
    void SaveToFile(const QString& FileName) const;
    // Releases the held network first.
    void LoadFromFile(const QString& Filename);

    unsigned GetTotalConnections() const;
    void GetConnectionArray(TFann_Connection* pcns) const;
    unsigned GetNumLayers() const;
    void GetLayerArray(unsigned* pc) const; // ordinary neurons per layer
    void GetBiasArray(unsigned* pc) const;  // bias neurons per layer
    unsigned GetTrainingAlgorithm() const;  // the network's own setting
    // Sets one existing connection's weight (used to draw chosen weights).
    void SetWeight(unsigned fromNeuron, unsigned toNeuron, float weight);

    float LearningMomentum() const { return FLearningMomentum; }
    float LearningRate() const { return FLearningRate; }
    TFann_train_enum TrainingAlgorithm() const { return FTrainingAlgorithm; }
    TFann_activationfunc_enum ActivationFunctionHidden() const { return FActivationFunctionHidden; }
    TFann_activationfunc_enum ActivationFunctionOutput() const { return FActivationFunctionOutput; }
    float ConnectionRate() const { return FConnectionRate; }

    void SetLearningMomentum(float Value);
    void SetLearningRate(float Value);
    void SetTrainingAlgorithm(TFann_train_enum Value);
    void SetActivationFunctionHidden(TFann_activationfunc_enum Value);
    void SetActivationFunctionOutput(TFann_activationfunc_enum Value);

    bool hasNetwork() const { return FFann != nullptr; }

    // Draws the network into bmp, which is resized: one row of cells per layer, connections as
    // lines coloured and thickened by weight, neurons as circles over them.
    void CreateNeuronBmp(QImage& bmp) const;

private:
    fann* net() const; // the held network; an error when there is none

    fann* FFann = nullptr;
    float FConnectionRate = 0.0f;
    float FLearningRate = 0.0f;
    float FLearningMomentum = 0.0f;
    TFann_activationfunc_enum FActivationFunctionHidden = FANN_LINEAR;
    TFann_activationfunc_enum FActivationFunctionOutput = FANN_LINEAR;
    TFann_train_enum FTrainingAlgorithm = FANN_TRAIN_INCREMENTAL;
};
