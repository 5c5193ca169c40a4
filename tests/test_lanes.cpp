#include "forecast/TrainingKernel.h"
#include "forecast/TrainingLanes.h"
#include "support/TrainingPatterns.h"

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

// The AVX2 lanes against fann_train: the same bits after every training, with the exp and log
// approximated or every lane through libm, and the lanes really running where the processor
// has AVX2 and FMA.
namespace {

using TrainingKernel::Kernel;

// A network as the forecast makes it, with the given steepness (per neuron when `mixed`:
// hidden neurons 0.25, 0.5, 0.75, 1 and 0.5, outputs 1, 0.25 and 0.5, so that a lane mixed up
// with another shows), error function and momentum.
FannPtr network(unsigned seed, float steepHidden, float steepOutput, bool mixed, float momentum,
                int errorFunction) {
    FannPtr ann(fann_create_standard(3, 5, 5, 3));
    std::srand(seed);
    fann_randomize_weights(ann.get(), -0.5f, 0.5f);
    fann_set_learning_rate(ann.get(), 0.7f);
    fann_set_learning_momentum(ann.get(), momentum);
    fann_set_activation_function_hidden(ann.get(), FANN_SIGMOID);
    fann_set_activation_function_output(ann.get(), FANN_SIGMOID);
    fann_set_activation_steepness_hidden(ann.get(), steepHidden);
    fann_set_activation_steepness_output(ann.get(), steepOutput);
    if (mixed) {
        const float hidden[] = {0.25f, 0.5f, 0.75f, 1.0f, 0.5f}, output[] = {1.0f, 0.25f, 0.5f};
        for (int j = 0; j < 5; ++j)
            fann_set_activation_steepness(ann.get(), hidden[j], 1, j);
        for (int k = 0; k < 3; ++k)
            fann_set_activation_steepness(ann.get(), output[k], 2, k);
    }
    fann_set_train_error_function(ann.get(), fann_errorfunc_enum(errorFunction));
    fann_reset_MSE(ann.get());
    return ann;
}

void trainWithLibrary(fann* ann, const Patterns& p, int passes) {
    for (int pass = 0; pass < passes; ++pass)
        for (int k = 0; k < p.count(); ++k)
            fann_train(ann, const_cast<float*>(p.inputs.data() + k * 5),
                       const_cast<float*>(p.targets.data() + k * 3));
}

// The library's activation of one sigmoid neuron and its tanh error function, as fann_run and
// fann_compute_MSE compute them.
float librarySigmoid(float sum, float steepness) {
    const float max = 150 / steepness;
    float s = steepness * sum;
    if (s > max)
        s = max;
    else if (s < -max)
        s = -max;
    return float(1.0 / (1.0 + std::exp(double(-2.0f * s))));
}

float libraryTanhError(float diff) {
    if (diff < -.9999999)
        return -17.0f;
    if (diff > .9999999)
        return 17.0f;
    return float(std::log((1.0 + diff) / (1.0 - diff)));
}

// Arguments for the approximations: `count` spread evenly over [-linear, linear], as many
// spread over the magnitudes 2^-140 to 2^maxExponent with either sign, and the edges given with
// their neighbours, zeros, the smallest floats, infinities and NaN.
std::vector<float> arguments(int count, float linear, int maxExponent,
                             std::initializer_list<float> edges) {
    std::mt19937 random(5);
    std::uniform_real_distribution<float> even(-linear, linear);
    std::uniform_real_distribution<float> exponent(-140.0f, float(maxExponent));
    std::vector<float> v;
    for (int i = 0; i < count; ++i) {
        v.push_back(even(random));
        const float magnitude = std::exp2(exponent(random));
        v.push_back(i % 2 ? magnitude : -magnitude);
    }
    const float inf = std::numeric_limits<float>::infinity();
    for (const float edge : edges)
        for (const float e : {edge, -edge}) {
            float below = e, above = e;
            for (int k = 0; k < 4; ++k) {
                below = std::nextafter(below, -inf);
                above = std::nextafter(above, inf);
                v.insert(v.end(), {below, above});
            }
            v.push_back(e);
        }
    v.insert(v.end(), {0.0f, -0.0f, std::numeric_limits<float>::denorm_min(),
                       std::numeric_limits<float>::min(), inf, -inf,
                       std::numeric_limits<float>::quiet_NaN()});
    return v;
}

// Sets TORVANE_KERNEL for one test, or removes it, and puts back what was there.
class KernelEnvironment {
public:
    explicit KernelEnvironment(const QByteArray& value)
        : m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name)) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~KernelEnvironment() {
        if (m_had)
            qputenv(name, m_old);
        else
            qunsetenv(name);
    }
    KernelEnvironment(const KernelEnvironment&) = delete;
    KernelEnvironment& operator=(const KernelEnvironment&) = delete;

private:
    static constexpr const char* name = "TORVANE_KERNEL";
    bool m_had;
    QByteArray m_old;
};

} // namespace

class TestLanes : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Bit identity with fann_train on the forecast's bars and on patterns made to be hostile to
    // the approximations (saturated and clipped sums, differences beyond the tanh range,
    // steepness folded or not), approximated, with every lane through libm, and of the scalar
    // kernel. The lanes' counts show the approximations ran and the libm mode took every lane.
    void lanesMatchFannTrain_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("minutes");
        QTest::addColumn<unsigned>("seed");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("passes");
        QTest::addColumn<float>("inputScale");
        QTest::addColumn<float>("steepHidden");
        QTest::addColumn<float>("steepOutput");
        QTest::addColumn<bool>("mixed");
        QTest::addColumn<float>("momentum");
        QTest::addColumn<int>("errorFunction");
        const int real = int(PatternKind::RealBars), random = int(PatternKind::RandomTargets);
        const int tanh = FANN_ERRORFUNC_TANH, linear = FANN_ERRORFUNC_LINEAR;
        for (const int minutes : {1, 5, 15})
            for (const unsigned seed : {1u, 2u, 3u})
                QTest::addRow("%d-minute bars, seed %u", minutes, seed)
                    << real << minutes << seed << 3000 << 30 << 1.0f << 0.5f << 0.5f << false
                    << 0.0f << tanh;
        QTest::newRow("few 5-minute bars, 1000 passes")
            << real << 5 << 4u << 48 << 1000 << 1.0f << 0.5f << 0.5f << false << 0.0f << tanh;
        QTest::newRow("bars, momentum")
            << real << 5 << 5u << 1000 << 30 << 1.0f << 0.5f << 0.5f << false << 0.9f << tanh;
        for (const float scale : {0.5f, 5.0f, 50.0f, 500.0f})
            QTest::addRow("random targets, inputs times %g", double(scale))
                << random << 5 << 6u << 800 << 20 << scale << 0.5f << 0.5f << false << 0.0f << tanh;
        for (const float steep : {0.25f, 0.75f, 1.0f})
            QTest::addRow("random targets, steepness %g", double(steep))
                << random << 5 << 7u << 800 << 20 << 5.0f << steep << steep << false << 0.0f
                << tanh;
        QTest::newRow("steepness per neuron")
            << random << 5 << 8u << 800 << 20 << 5.0f << 0.5f << 0.5f << true << 0.3f << tanh;
        QTest::newRow("steepness per neuron, bars")
            << real << 15 << 9u << 1000 << 30 << 1.0f << 0.5f << 0.5f << true << 0.0f << tanh;
        QTest::newRow("clipped sums") << int(PatternKind::ClippedSums) << 5 << 10u << 500 << 20
                                      << 1.0f << 0.5f << 0.5f << false << 0.0f << tanh;
        QTest::newRow("clipped sums, steepness 0.25")
            << int(PatternKind::ClippedSums) << 5 << 11u << 500 << 20 << 1.0f << 0.25f << 0.25f
            << false << 0.0f << tanh;
        QTest::newRow("beyond the tanh range")
            << int(PatternKind::BeyondTanhRange) << 5 << 12u << 500 << 20 << 1.0f << 0.5f << 0.5f
            << false << 0.0f << tanh;
        QTest::newRow("linear error, inputs times 50")
            << random << 5 << 13u << 800 << 20 << 50.0f << 0.5f << 0.5f << false << 0.0f << linear;
        QTest::newRow("linear error, steepness 1")
            << random << 5 << 14u << 800 << 20 << 1.0f << 1.0f << 1.0f << false << 0.0f << linear;
    }
    void lanesMatchFannTrain() {
        QFETCH(int, kind);
        QFETCH(int, minutes);
        QFETCH(unsigned, seed);
        QFETCH(int, count);
        QFETCH(int, passes);
        QFETCH(float, inputScale);
        QFETCH(float, steepHidden);
        QFETCH(float, steepOutput);
        QFETCH(bool, mixed);
        QFETCH(float, momentum);
        QFETCH(int, errorFunction);
        const Patterns p = makePatterns(PatternKind(kind), count, seed, minutes, inputScale);
        FannPtr library = network(seed, steepHidden, steepOutput, mixed, momentum, errorFunction);
        FannPtr lanes(fann_copy(library.get())), throughLibm(fann_copy(library.get())),
            scalar(fann_copy(library.get()));
        QVERIFY(TrainingKernel::accepts(lanes.get()));

        TrainingKernel::LaneFallbacks approximated, libm;
        QCOMPARE(TrainingKernel::trainWith(Kernel::Lanes, lanes.get(), p.inputs.data(),
                                           p.targets.data(), count, passes, {}, &approximated),
                 passes);
        QCOMPARE(TrainingKernel::trainWith(Kernel::LanesThroughLibm, throughLibm.get(),
                                           p.inputs.data(), p.targets.data(), count, passes, {},
                                           &libm),
                 passes);
        // The scalar kernel too, which the other tests reach only where the lanes cannot run.
        QCOMPARE(TrainingKernel::trainWith(Kernel::Scalar, scalar.get(), p.inputs.data(),
                                           p.targets.data(), count, passes),
                 passes);
        trainWithLibrary(library.get(), p, passes);

        QString difference = stateDifference(lanes.get(), library.get());
        QVERIFY2(difference.isEmpty(), qPrintable(QStringLiteral("lanes: ") + difference));
        difference = stateDifference(throughLibm.get(), library.get());
        QVERIFY2(difference.isEmpty(), qPrintable(QStringLiteral("through libm: ") + difference));
        difference = stateDifference(scalar.get(), library.get());
        QVERIFY2(difference.isEmpty(), qPrintable(QStringLiteral("scalar: ") + difference));
        QVERIFY(fann_get_MSE(library.get()) > 0.0f);

        if (!TrainingKernel::lanesAvailable())
            return;
        // The pass's last pattern goes through the library.
        const std::uint64_t patterns = std::uint64_t(count - 1) * std::uint64_t(passes);
        QCOMPARE(approximated.patterns, patterns);
        QCOMPARE(libm.patterns, patterns);
        QCOMPARE(libm.sigmoids, 8 * patterns);
        QCOMPARE(libm.logs, errorFunction == FANN_ERRORFUNC_TANH ? 3 * patterns : 0);
        // The approximations did the work: on the forecast's bars under one sigmoid in a hundred
        // patterns went through libm; saturated neurons on hostile patterns send more.
        const std::uint64_t limit =
            PatternKind(kind) == PatternKind::RealBars ? patterns / 100 : patterns;
        QVERIFY2(approximated.sigmoids < limit,
                 qPrintable(QStringLiteral("%1 sigmoids through libm in %2 patterns")
                                .arg(approximated.sigmoids)
                                .arg(patterns)));
        if (errorFunction == FANN_ERRORFUNC_LINEAR)
            QCOMPARE(approximated.logs, std::uint64_t(0));
    }

    // The approximated sigmoid and tanh error, guard and fallback included, give the library's
    // float for every argument: across the range, at the edges of the approximations (the
    // sigmoid's arguments -38, 80 and 110, the clip, the tanh error's 1/16 and its +-17
    // branches), for tiny, infinite and NaN arguments; and they did the work where they apply.
    void approximationsMatchLibm_data() {
        QTest::addColumn<float>("steepness"); // 0: the tanh error
        QTest::newRow("sigmoid, steepness 0.5") << 0.5f;
        QTest::newRow("sigmoid, steepness 0.25") << 0.25f;
        QTest::newRow("sigmoid, steepness 1") << 1.0f;
        QTest::newRow("sigmoid, steepness 3 (clipped within the range)") << 3.0f;
        QTest::newRow("tanh error") << 0.0f;
    }
    void approximationsMatchLibm() {
        QFETCH(float, steepness);
        if (!TrainingKernel::lanesAvailable())
            QSKIP("this processor has no AVX2 or FMA");
        const bool sigmoid = steepness != 0.0f;
        // Sums whose -2 steepness sum is -38, 80 or 110, and the clip at 150 / steepness.
        const float scale = sigmoid ? -0.5f / steepness : 1.0f;
        const std::vector<float> in =
            sigmoid ? arguments(500000, 250.0f * -scale, 12,
                                {-38 * scale, 80 * scale, 110 * scale, 150 / steepness})
                    : arguments(500000, 0.07f, 2, {0.0625f, .9999999f, 1.0f});
        std::vector<float> out(in.size());
        if (sigmoid)
            TrainingLanes::sigmoids(in.data(), out.data(), in.size(), steepness, nullptr);
        else
            TrainingLanes::tanhErrors(in.data(), out.data(), in.size(), nullptr);
        int differences = 0;
        QString first;
        for (std::size_t i = 0; i < in.size(); ++i) {
            const float expected =
                sigmoid ? librarySigmoid(in[i], steepness) : libraryTanhError(in[i]);
            if (std::memcmp(&expected, &out[i], sizeof(float)) != 0 && ++differences == 1)
                first = QStringLiteral("%1: %2 against the library's %3")
                            .arg(double(in[i]), 0, 'g', 9)
                            .arg(double(out[i]), 0, 'g', 9)
                            .arg(double(expected), 0, 'g', 9);
        }
        QVERIFY2(
            differences == 0,
            qPrintable(QStringLiteral("%1 differences, first %2").arg(differences).arg(first)));
        // Nearly all of an even spread where the approximations apply (sigmoid arguments within
        // +-75, differences within +-0.07) goes without libm.
        std::mt19937 random(6);
        std::uniform_real_distribution<float> spread(sigmoid ? -37.5f / steepness : -0.07f,
                                                     sigmoid ? 37.5f / steepness : 0.07f);
        std::vector<float> even(200000);
        for (float& v : even)
            v = spread(random);
        TrainingLanes::Fallbacks evenFallbacks;
        if (sigmoid)
            TrainingLanes::sigmoids(even.data(), out.data(), even.size(), steepness,
                                    &evenFallbacks);
        else
            TrainingLanes::tanhErrors(even.data(), out.data(), even.size(), &evenFallbacks);
        const std::uint64_t libm = sigmoid ? evenFallbacks.sigmoids : evenFallbacks.logs;
        QVERIFY2(libm < even.size() / (sigmoid ? 1000 : 5), qPrintable(QString::number(libm)));
    }

    // train() takes the lanes where the processor has AVX2 and FMA unless TORVANE_KERNEL says
    // otherwise, reports which, stops after the pass its hook refuses, and leaves the library's
    // bits whichever kernel ran.
    void defaultKernelFollowsTheEnvironment_data() {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("lanesRun");
        QTest::newRow("unset") << QByteArray() << "avx2-fma" << true;
        QTest::newRow("empty") << QByteArray("") << "avx2-fma" << true;
        QTest::newRow("scalar") << QByteArray("scalar") << "scalar" << false;
        QTest::newRow("fallback") << QByteArray("fallback") << "avx2-fma-libm" << true;
        QTest::newRow("unknown word") << QByteArray("fast") << "avx2-fma" << true;
    }
    void defaultKernelFollowsTheEnvironment() {
        QFETCH(QByteArray, value);
        QFETCH(QString, name);
        QFETCH(bool, lanesRun);
        if (!TrainingKernel::lanesAvailable())
            QSKIP("this processor has no AVX2 or FMA: the scalar kernel trains");
        const KernelEnvironment environment(value);
        QCOMPARE(QString::fromLatin1(TrainingKernel::activeKernel()), name);

        const Patterns p = makePatterns(PatternKind::RealBars, 300, 21);
        FannPtr library = network(21, 0.5f, 0.5f, false, 0.0f, FANN_ERRORFUNC_TANH);
        FannPtr kernel(fann_copy(library.get()));
        const std::uint64_t before = TrainingKernel::lanesPatterns();
        QList<int> hookCalls;
        QCOMPARE(TrainingKernel::train(kernel.get(), p.inputs.data(), p.targets.data(), 300, 1000,
                                       [&](int done, int total) {
                                           hookCalls << done;
                                           return total == 1000 && done < 3;
                                       }),
                 3);
        QCOMPARE(hookCalls, (QList<int>{1, 2, 3}));
        QCOMPARE(TrainingKernel::lanesPatterns() - before, std::uint64_t(lanesRun ? 3 * 299 : 0));
        trainWithLibrary(library.get(), p, 3);
        const QString difference = stateDifference(kernel.get(), library.get());
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }

    // No instruction on ymm registers, nor any other VEX-encoded one, outside the lanes'
    // functions in the built program: anything else of it must run on a processor without AVX.
    void noVectorCodeOutsideTheLanes() {
        const QString objdump = QStandardPaths::findExecutable(QStringLiteral("objdump"));
        if (objdump.isEmpty())
            QSKIP("objdump is not installed");
        const QString binary = QStringLiteral(TORVANE_FORECAST_BINARY);
        QVERIFY2(QFileInfo::exists(binary), qPrintable(binary));
        QProcess process;
        process.start(objdump, {QStringLiteral("-d"), QStringLiteral("-C"),
                                QStringLiteral("--no-show-raw-insn"), binary});
        QVERIFY(process.waitForFinished(120000));
        QCOMPARE(process.exitCode(), 0);
        const QString listing = QString::fromUtf8(process.readAllStandardOutput());

        static const QRegularExpression function(QStringLiteral("^[0-9a-f]+ <(.*)>:$"));
        // AT&T syntax: a ymm register, or a VEX mnemonic (v...) on xmm registers.
        static const QRegularExpression vex(
            QStringLiteral("\\t(v[a-z0-9]+\\s.*%[xy]mm|\\S.*%ymm)"));
        // A function of the lanes: TrainingLanes:: before its parameter list. Demangled, a
        // template's name starts with its return type, a vector one as "float __vector(8)".
        static const QRegularExpression vectorType(QStringLiteral("__vector\\(\\d+\\)"));
        const auto inLanes = [](QString name) {
            name.remove(vectorType).replace(QStringLiteral("(anonymous namespace)"), QString());
            const qsizetype at = name.indexOf(QStringLiteral("TrainingLanes::"));
            const qsizetype parameters = name.indexOf(u'(');
            return at >= 0 && (parameters < 0 || at < parameters);
        };
        QString current;
        QStringList outside;
        int insideLanes = 0;
        for (const QStringView line : QStringTokenizer(listing, u'\n')) {
            if (line.endsWith(u':')) {
                const QRegularExpressionMatch m = function.match(line);
                if (m.hasMatch())
                    current = m.captured(1);
                continue;
            }
            if (!line.contains(u"mm") || !vex.match(line).hasMatch())
                continue;
            if (inLanes(current))
                ++insideLanes;
            else if (!outside.contains(current))
                outside << current;
        }
        QVERIFY2(outside.isEmpty(), qPrintable(outside.join(QStringLiteral(", "))));
        // The lanes are there, and the pattern finds them.
        QVERIFY(insideLanes > 100);
    }
};

QTEST_GUILESS_MAIN(TestLanes)
#include "test_lanes.moc"
