#include "forecast/NervFann.h"

#include "store/TorvaneError.h"

#include <QColor>
#include <QFile>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

namespace {

// FANN takes file names as 8-bit strings in the system's encoding.
QByteArray fileNameOf(const QString& name) {
    return QFile::encodeName(name);
}

} // namespace

TNervFann::TNervFann(std::span<const unsigned> NeuronNumInLayer, float ConnectionRate,
                     std::optional<unsigned> seed) {
    if (NeuronNumInLayer.size() < 2)
        throw TorvaneError(QStringLiteral("２レイヤー以上が必要です"));
    FConnectionRate = ConnectionRate;
    FLearningRate = 0.7f;
    FLearningMomentum = 0.0f;
    FActivationFunctionHidden = FANN_SIGMOID;
    FActivationFunctionOutput = FANN_SIGMOID;
    FTrainingAlgorithm = FANN_TRAIN_RPROP;
    const auto LayerNum = unsigned(NeuronNumInLayer.size());
    if (FConnectionRate < 1.0f)
        FFann = fann_create_sparse_array(FConnectionRate, LayerNum, NeuronNumInLayer.data());
    else
        FFann = fann_create_standard_array(LayerNum, NeuronNumInLayer.data());
    if (!FFann)
        throw TorvaneError(QStringLiteral("ネットワークを作成できません"));
    // The library seeds the generator itself while creating; a seed given here overrides it so
    // that the weights drawn next are the same each time.
    if (seed)
        std::srand(*seed);
    fann_randomize_weights(FFann, -0.5f, 0.5f);
    fann_set_learning_rate(FFann, FLearningRate);
    fann_set_learning_momentum(FFann, FLearningMomentum);
    fann_set_activation_steepness_hidden(FFann, 0.5f);
    fann_set_activation_steepness_output(FFann, 0.5f);
    fann_set_activation_function_hidden(FFann, FActivationFunctionHidden);
    fann_set_activation_function_output(FFann, FActivationFunctionOutput);
    fann_set_training_algorithm(FFann, FTrainingAlgorithm);
    ResetMse();
}

TNervFann::TNervFann(const QString& LoadFromFileName) {
    LoadFromFile(LoadFromFileName);
}

TNervFann::~TNervFann() {
    fann_destroy(FFann);
}

fann* TNervFann::net() const {
    if (!FFann)
        throw TorvaneError(QStringLiteral("ニューラルネットワークがありません"));
    return FFann;
}

void TNervFann::Train(std::span<const float> Inputs, std::span<const float> Outputs) {
    if (Inputs.empty() || Outputs.empty())
        throw TorvaneError(QStringLiteral("学習の入力または出力が空です"));
    // fann_train reads both arrays without changing them.
    fann_train(net(), const_cast<float*>(Inputs.data()), const_cast<float*>(Outputs.data()));
}

int TNervFann::TrainPasses(std::span<const float> Inputs, std::span<const float> Outputs,
                           int passes, const TrainingKernel::PassHook& onPass) {
    fann* ann = net();
    const std::size_t nIn = fann_get_num_input(ann), nOut = fann_get_num_output(ann);
    const std::size_t count = Outputs.size() / nOut;
    if (Inputs.size() != count * nIn || Outputs.size() != count * nOut)
        throw TorvaneError(QStringLiteral("学習の入力と出力の数が合いません"));
    if (count > std::size_t(std::numeric_limits<int>::max()))
        throw TorvaneError(QStringLiteral("学習するﾊﾟﾀｰﾝが多すぎます"));
    return TrainingKernel::train(ann, Inputs.data(), Outputs.data(), int(count), passes, onPass);
}

void TNervFann::Run(std::span<const float> Inputs, std::span<float> Outputs) {
    if (Inputs.empty())
        throw TorvaneError(QStringLiteral("実行の入力が空です"));
    fann* ann = net();
    if (Outputs.size() > fann_get_num_output(ann))
        throw TorvaneError(QStringLiteral("出力の数がネットワークの出力層より多いです"));
    const float* result = fann_run(ann, const_cast<float*>(Inputs.data()));
    std::copy_n(result, Outputs.size(), Outputs.begin());
}

float TNervFann::GetMSE() const {
    return fann_get_MSE(net());
}

void TNervFann::ResetMse() {
    fann_reset_MSE(net());
}

void TNervFann::TrainOnFile(const QString& FileName, unsigned MaxEpochs, float DesiredError) {
    fann_train_on_file(net(), fileNameOf(FileName).constData(), MaxEpochs, 1000, DesiredError);
}

void TNervFann::SaveToFile(const QString& FileName) const {
    fann_save(net(), fileNameOf(FileName).constData());
}

void TNervFann::LoadFromFile(const QString& Filename) {
    if (FFann) {
        fann_destroy(FFann);
        FFann = nullptr;
    }
    FFann = fann_create_from_file(fileNameOf(Filename).constData());
}

unsigned TNervFann::GetTotalConnections() const {
    return fann_get_total_connections(net());
}

void TNervFann::GetConnectionArray(TFann_Connection* pcns) const {
    fann_get_connection_array(net(), pcns);
}

unsigned TNervFann::GetNumLayers() const {
    return fann_get_num_layers(net());
}

void TNervFann::GetLayerArray(unsigned* pc) const {
    fann_get_layer_array(net(), pc);
}

void TNervFann::GetBiasArray(unsigned* pc) const {
    fann_get_bias_array(net(), pc);
}

unsigned TNervFann::GetTrainingAlgorithm() const {
    return unsigned(fann_get_training_algorithm(net()));
}

void TNervFann::SetWeight(unsigned fromNeuron, unsigned toNeuron, float weight) {
    fann_set_weight(net(), fromNeuron, toNeuron, weight);
}

void TNervFann::SetLearningMomentum(float Value) {
    FLearningMomentum = Value;
    fann_set_learning_momentum(net(), Value);
}

void TNervFann::SetLearningRate(float Value) {
    FLearningRate = Value;
    fann_set_learning_rate(net(), Value);
}

void TNervFann::SetTrainingAlgorithm(TFann_train_enum Value) {
    FTrainingAlgorithm = Value;
    fann_set_training_algorithm(net(), Value);
}

void TNervFann::SetActivationFunctionHidden(TFann_activationfunc_enum Value) {
    FActivationFunctionHidden = Value;
    fann_set_activation_function_hidden(net(), Value);
}

void TNervFann::SetActivationFunctionOutput(TFann_activationfunc_enum Value) {
    FActivationFunctionOutput = Value;
    fann_set_activation_function_output(net(), Value);
}

void TNervFann::CreateNeuronBmp(QImage& bmp) const {
    const unsigned ConnectionNum = GetTotalConnections();
    std::vector<TFann_Connection> Connections(ConnectionNum);
    if (ConnectionNum > 0)
        GetConnectionArray(Connections.data());
    const auto LayerNum = qint32(GetNumLayers());
    std::vector<unsigned> NeuronNums(LayerNum), BiasNums(LayerNum);
    if (LayerNum > 0) {
        GetLayerArray(NeuronNums.data());
        GetBiasArray(BiasNums.data());
    }

    // In the library's numbering: layer by layer, each layer's bias neurons after its others.
    std::vector<TNeuron> Neurons;
    for (qint32 i = 0; i < LayerNum; ++i) {
        for (unsigned j = 0; j < NeuronNums[i]; ++j)
            Neurons.push_back({qint32(j), i, false});
        for (unsigned j = 0; j < BiasNums[i]; ++j)
            Neurons.push_back({qint32(NeuronNums[i] + j), i, true});
    }
    if (Neurons.empty()) {
        bmp = QImage();
        return;
    }
    const qint32 max_y = LayerNum;
    qint32 max_x = 0;
    for (const TNeuron& n : Neurons)
        max_x = std::max(max_x, n.x + 1);

    bmp = QImage(max_x * span, max_y * span, QImage::Format_RGB32);
    QPainter canvas(&bmp);
    canvas.fillRect(bmp.rect(), Qt::white);

    const auto centre = [](const TNeuron& n) {
        return QPoint(n.x * span + span / 2, n.y * span + span / 2);
    };
    QPen pen(Qt::black, 1);
    pen.setCapStyle(Qt::FlatCap);
    const double widest = 2.0 * std::max(bmp.width(), bmp.height());
    for (const TFann_Connection& c : Connections) {
        if (c.from_neuron >= Neurons.size() || c.to_neuron >= Neurons.size())
            continue;
        const TNeuron& FromPoint = Neurons[c.from_neuron];
        const TNeuron& ToPoint = Neurons[c.to_neuron];
        // Truncated toward zero: every weight below 1.0 counts as 0 and is drawn red.
        const double weight = std::isnan(c.weight) ? 0.0 : std::trunc(double(c.weight));
        const QColor ConColor = weight > 0 ? QColor(0, 0, 0) : QColor(255, 0, 0);
        // A line wider than the picture draws nothing more, and a pen takes no wider width:
        // weights from absurd prices reach far beyond either.
        qint32 ConWeight = qint32(std::min(std::fabs(weight), widest));
        if (ConWeight == 0)
            ConWeight = 1;
        pen.setColor(ConColor);
        pen.setWidth(ConWeight);
        canvas.setPen(pen);
        canvas.drawLine(centre(FromPoint), centre(ToPoint));
    }

    // The outlines keep the width of the last connection drawn.
    for (const TNeuron& n : Neurons) {
        const QColor colour = n.isBias ? QColor(255, 153, 0) : QColor(0, 0, 255);
        pen.setColor(colour);
        canvas.setPen(pen);
        canvas.setBrush(colour);
        const QPoint c = centre(n);
        const QPoint d(span / 8, span / 8);
        canvas.drawEllipse(QRect(c - d, c + d - QPoint(1, 1)));
    }
}
