#include "forecast/Forecaster.h"
#include "forecast/NervFann.h"
#include "forecast/TrainingKernel.h"
#include "session/Session.h"
#include "store/Clock.h"
#include "store/TorvaneError.h"
#include "support/PriceTable.h"
#include "support/TestDialogs.h"
#include "support/TestFolder.h"
#include "support/TrainingPatterns.h"

#include <QDir>
#include <QImage>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTest>

#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr unsigned layers553[] = {5, 5, 3};
const QColor blue(0, 0, 255);
const QColor orange(255, 153, 0);
const QColor red(255, 0, 0);
const QColor black(0, 0, 0);

// Contiguous pixels of one colour in row y around x.
int runWidth(const QImage& img, int x, int y, const QColor& colour) {
    if (img.pixelColor(x, y) != colour)
        return 0;
    int from = x, to = x;
    while (from > 0 && img.pixelColor(from - 1, y) == colour)
        --from;
    while (to + 1 < img.width() && img.pixelColor(to + 1, y) == colour)
        ++to;
    return to - from + 1;
}

} // namespace

class TestForecast : public QObject {
    Q_OBJECT

    std::unique_ptr<TestFolder> dir;
    std::unique_ptr<TestDialogs> dialogs;
    std::unique_ptr<Session> session;

    QVariantList slotPrices(const QString& column) {
        QSqlQuery q(session->dm.database(session->dm.csm()));
        q.exec(QStringLiteral("select %1 from F01YSK where CNT > %2 order by CNT")
                   .arg(column)
                   .arg(session->reg.imcn));
        QVariantList values;
        while (q.next())
            values << q.value(0);
        return values;
    }

    // Only the tests that work on F01YSK open the databases, which takes a while.
    void openSession() {
        session = std::make_unique<Session>(*dialogs, QStringLiteral(TORVANE_SOURCE_DIR "/data"));
        session->openDatabases();
        dialogs->clear();
    }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        Clock::fix(QDateTime(QDate(2025, 7, 9), QTime(10, 30)));
    }
    void cleanupTestCase() { Clock::release(); }

    void init() {
        dir = std::make_unique<TestFolder>();
        dialogs = std::make_unique<TestDialogs>();
    }

    void cleanup() {
        session.reset();
        dir.reset();
    }

    void inputsFromBarEnd() {
        const auto in = Forecaster::inputsOf(QStringLiteral("2025/07/09"), QStringLiteral("10:15"));
        const std::array<float, 5> expected{1.0f, 0.5833333f, 0.2903226f, 0.4166667f, 0.25f};
        for (int i = 0; i < 5; ++i)
            QCOMPARE(in[i], expected[i]);
    }

    void unreadableBarEndIsAnError_data() {
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("time");
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("letters") << "2025/07/xx"
                                 << "10:15";
        QTest::newRow("month 13") << "2025/13/01"
                                  << "10:15";
        QTest::newRow("hour 24") << "2025/07/09"
                                 << "24:00";
    }
    void unreadableBarEndIsAnError() {
        QFETCH(QString, date);
        QFETCH(QString, time);
        QVERIFY_THROWS_EXCEPTION(TorvaneError, Forecaster::inputsOf(date, time));
    }

    void boundsAndScaling() {
        const ForecastBounds b =
            Forecaster::bounds(QStringLiteral("158000"), QStringLiteral("140000"));
        QCOMPARE(b.dhg, 159000.0f);
        QCOMPARE(b.dlg, 139000.0f);
        QCOMPARE(b.dsg, 20000.0f);
        QCOMPARE(Forecaster::scaled(150000, b), 0.55f);
        QCOMPARE(Forecaster::descaled(0.5f, b), QStringLiteral("149000"));
        QCOMPARE(Forecaster::descaled(0.0f, b), QStringLiteral("139000"));
        QCOMPARE(Forecaster::descaled(1.0f, b), QStringLiteral("159000"));
        QVERIFY_THROWS_EXCEPTION(TorvaneError, Forecaster::bounds(QString(), QStringLiteral("1")));
    }

    void differences_data() {
        QTest::addColumn<QString>("forecast");
        QTest::addColumn<QString>("last");
        QTest::addColumn<QString>("difference");
        QTest::newRow("above") << "150500"
                               << "150123"
                               << "377";
        QTest::newRow("below") << "149900"
                               << "150123"
                               << "-223";
        QTest::newRow("same") << "150123"
                              << "150123"
                              << "0";
        QTest::newRow("empty last") << "150123"
                                    << ""
                                    << "";
        QTest::newRow("fraction") << "150123"
                                  << "15012.3"
                                  << "";
    }
    void differences() {
        QFETCH(QString, forecast);
        QFETCH(QString, last);
        QFETCH(QString, difference);
        if (difference.isEmpty())
            QVERIFY_THROWS_EXCEPTION(TorvaneError, Forecaster::difference(forecast, last));
        else
            QCOMPARE(Forecaster::difference(forecast, last), difference);
    }

    void mseText_data() {
        QTest::addColumn<float>("mse");
        QTest::addColumn<QString>("text");
        QTest::newRow("rounded to seven places") << 0.00012345678f << ".0001235";
        QTest::newRow("no leading zero") << 0.0123456f << ".0123456";
        QTest::newRow("trailing zeros dropped") << 0.5f << ".5";
        QTest::newRow("one and more") << 1.25f << "1.25";
    }
    void mseText() {
        QFETCH(float, mse);
        QFETCH(QString, text);
        QCOMPARE(Forecaster::mseText(mse), text);
    }

    void wrapperNeedsTwoLayers_data() {
        QTest::addColumn<std::vector<unsigned>>("sizes");
        QTest::newRow("none") << std::vector<unsigned>{};
        QTest::newRow("one") << std::vector<unsigned>{5};
    }
    void wrapperNeedsTwoLayers() {
        QFETCH(std::vector<unsigned>, sizes);
        try {
            TNervFann net(sizes, 1.0f);
            QFAIL("a network was made");
        } catch (const TorvaneError& e) {
            QCOMPARE(e.text(), QStringLiteral("２レイヤー以上が必要です"));
        }
    }

    void wrapperSettingsAfterConstruction() {
        const unsigned two[] = {2, 1};
        TNervFann small(two, 1.0f);
        QCOMPARE(small.GetNumLayers(), 2u);

        TNervFann net(layers553, 1.0f);
        QCOMPARE(net.LearningRate(), 0.7f);
        QCOMPARE(net.LearningMomentum(), 0.0f);
        QCOMPARE(net.ActivationFunctionHidden(), FANN_SIGMOID);
        QCOMPARE(net.ActivationFunctionOutput(), FANN_SIGMOID);
        QCOMPARE(net.TrainingAlgorithm(), FANN_TRAIN_RPROP);
        QCOMPARE(net.GetTrainingAlgorithm(), unsigned(FANN_TRAIN_RPROP));
        QCOMPARE(net.GetMSE(), 0.0f);
        // Fully connected: six senders (five and the bias) to five, then six to three.
        QCOMPARE(net.GetTotalConnections(), 6u * 5 + 6u * 3);
        unsigned sizes[3], biases[3];
        net.GetLayerArray(sizes);
        net.GetBiasArray(biases);
        QCOMPARE(std::vector<unsigned>(sizes, sizes + 3), (std::vector<unsigned>{5, 5, 3}));
        QCOMPARE(std::vector<unsigned>(biases, biases + 3), (std::vector<unsigned>{1, 1, 0}));

        net.SetTrainingAlgorithm(FANN_TRAIN_INCREMENTAL);
        QCOMPARE(net.TrainingAlgorithm(), FANN_TRAIN_INCREMENTAL);
        QCOMPARE(net.GetTrainingAlgorithm(), unsigned(FANN_TRAIN_INCREMENTAL));
    }

    void connectionRateChoosesSparseBelowOne() {
        TNervFann full(layers553, 2.0f);
        QCOMPARE(full.GetTotalConnections(), 48u);
        TNervFann sparse(layers553, 0.5f);
        QCOMPARE(sparse.ConnectionRate(), 0.5f);
        QVERIFY(sparse.GetTotalConnections() < 48u);
    }

    void runFillsOnlyTheOutputsAsked() {
        TNervFann net(layers553, 1.0f, 7);
        const std::array<float, 5> in{1.0f, 0.5f, 0.25f, 0.5f, 0.0f};
        std::array<float, 3> all{};
        net.Run(in, all);
        std::array<float, 3> two{-1.0f, -1.0f, -1.0f};
        net.Run(in, std::span<float>(two.data(), 2));
        QCOMPARE(two[0], all[0]);
        QCOMPARE(two[1], all[1]);
        QCOMPARE(two[2], -1.0f);
        for (float v : all)
            QVERIFY(v > 0.0f && v < 1.0f);
        net.Run(in, std::span<float>());

        std::array<float, 4> four{};
        QVERIFY_THROWS_EXCEPTION(TorvaneError, net.Run(in, four));
        QVERIFY_THROWS_EXCEPTION(TorvaneError, net.Run(std::span<const float>(), all));
        QVERIFY_THROWS_EXCEPTION(TorvaneError, net.Train(std::span<const float>(), all));
        QVERIFY_THROWS_EXCEPTION(TorvaneError, net.Train(in, std::span<const float>()));
    }

    void seedMakesWeightsReproducible() {
        const std::array<float, 5> in{1.0f, 0.5f, 0.25f, 0.5f, 0.0f};
        std::array<float, 3> a{}, b{}, c{};
        TNervFann(layers553, 1.0f, 42).Run(in, a);
        TNervFann(layers553, 1.0f, 42).Run(in, b);
        TNervFann(layers553, 1.0f, 43).Run(in, c);
        QCOMPARE(a, b);
        QVERIFY(a != c);
    }

    void fileRoundTripKeepsNetworkButNotFields() {
        TNervFann net(layers553, 1.0f, 3);
        net.SetLearningRate(0.3f);
        const QString path = dir->filePath(QStringLiteral("net.fann"));
        net.SaveToFile(path);
        TNervFann loaded(path);
        QVERIFY(loaded.hasNetwork());
        QCOMPARE(loaded.LearningRate(), 0.0f);
        QCOMPARE(loaded.ActivationFunctionHidden(), FANN_LINEAR);
        QCOMPARE(loaded.TrainingAlgorithm(), FANN_TRAIN_INCREMENTAL);
        QCOMPARE(loaded.GetTrainingAlgorithm(), unsigned(FANN_TRAIN_RPROP));
        const std::array<float, 5> in{1.0f, 0.5f, 0.25f, 0.5f, 0.0f};
        std::array<float, 3> a{}, b{};
        net.Run(in, a);
        loaded.Run(in, b);
        QCOMPARE(a, b);

        // A missing file leaves no network; using it is an error, not a crash.
        TNervFann missing(dir->filePath(QStringLiteral("none.fann")));
        QVERIFY(!missing.hasNetwork());
        QVERIFY_THROWS_EXCEPTION(TorvaneError, missing.GetMSE());
    }

    void trainOnFileLowersTheError() {
        const QString path = dir->filePath(QStringLiteral("train.data"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("2 2 1\n0 0\n0.1\n1 1\n0.9\n");
        f.close();
        const unsigned sizes[] = {2, 3, 1};
        TNervFann net(sizes, 1.0f, 5);
        net.TrainOnFile(path, 200, 0.0001f);
        const std::array<float, 2> in{1.0f, 1.0f};
        std::array<float, 1> out{};
        net.Run(in, out);
        QVERIFY(out[0] > 0.5f);
    }

    // The kernel leaves the network as the same fann_train calls leave it, bit for bit; a
    // network of another shape or setting is trained by the library itself.
    void kernelMatchesFannTrain_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("passes");
        QTest::addColumn<float>("rate");
        QTest::addColumn<float>("momentum");
        QTest::addColumn<float>("steepHidden");
        QTest::addColumn<float>("steepOutput");
        QTest::addColumn<int>("errorFunction");
        QTest::addColumn<int>("hidden");
        QTest::addColumn<int>("outputFunction");
        QTest::addColumn<bool>("accepted");
        const int tanh = FANN_ERRORFUNC_TANH, linear = FANN_ERRORFUNC_LINEAR;
        const int sig = FANN_SIGMOID, real = int(PatternKind::RealBars);
        QTest::newRow("real bars, the forecast's settings")
            << real << 3000 << 40 << 0.7f << 0.0f << 0.5f << 0.5f << tanh << 5 << sig << true;
        QTest::newRow("few real bars, 1000 passes")
            << real << 48 << 1000 << 0.7f << 0.0f << 0.5f << 0.5f << tanh << 5 << sig << true;
        QTest::newRow("clipped sums") << int(PatternKind::ClippedSums) << 500 << 20 << 0.7f << 0.0f
                                      << 0.5f << 0.5f << tanh << 5 << sig << true;
        QTest::newRow("beyond the tanh range")
            << int(PatternKind::BeyondTanhRange) << 500 << 20 << 0.7f << 0.0f << 0.5f << 0.5f
            << tanh << 5 << sig << true;
        QTest::newRow("bit fails, linear error")
            << int(PatternKind::RandomTargets) << 500 << 20 << 0.7f << 0.0f << 0.5f << 0.5f
            << linear << 5 << sig << true;
        QTest::newRow("momentum and another rate")
            << real << 1000 << 30 << 0.3f << 0.9f << 0.5f << 0.5f << tanh << 5 << sig << true;
        QTest::newRow("other steepness") << int(PatternKind::RandomTargets) << 500 << 30 << 1.5f
                                         << 0.4f << 1.0f << 0.25f << tanh << 5 << sig << true;
        QTest::newRow("another hidden layer falls back")
            << real << 300 << 10 << 0.7f << 0.0f << 0.5f << 0.5f << tanh << 4 << sig << false;
        QTest::newRow("another output function falls back")
            << real << 300 << 10 << 0.7f << 0.0f << 0.5f << 0.5f << tanh << 5
            << int(FANN_SIGMOID_SYMMETRIC) << false;
    }
    void kernelMatchesFannTrain() {
        QFETCH(int, kind);
        QFETCH(int, count);
        QFETCH(int, passes);
        QFETCH(float, rate);
        QFETCH(float, momentum);
        QFETCH(float, steepHidden);
        QFETCH(float, steepOutput);
        QFETCH(int, errorFunction);
        QFETCH(int, hidden);
        QFETCH(int, outputFunction);
        QFETCH(bool, accepted);
        const Patterns p = makePatterns(PatternKind(kind), count);

        FannPtr library(fann_create_standard(3, 5, unsigned(hidden), 3));
        std::srand(11);
        fann_randomize_weights(library.get(), -0.5f, 0.5f);
        fann_set_learning_rate(library.get(), rate);
        fann_set_learning_momentum(library.get(), momentum);
        fann_set_activation_function_hidden(library.get(), FANN_SIGMOID);
        fann_set_activation_function_output(library.get(),
                                            fann_activationfunc_enum(outputFunction));
        fann_set_activation_steepness_hidden(library.get(), steepHidden);
        fann_set_activation_steepness_output(library.get(), steepOutput);
        fann_set_train_error_function(library.get(), fann_errorfunc_enum(errorFunction));
        fann_reset_MSE(library.get());
        FannPtr kernel(fann_copy(library.get()));
        QCOMPARE(TrainingKernel::accepts(kernel.get()), accepted);

        QList<int> kernelPasses;
        QCOMPARE(TrainingKernel::train(kernel.get(), p.inputs.data(), p.targets.data(), count,
                                       passes,
                                       [&](int done, int total) {
                                           kernelPasses << done;
                                           return total == passes;
                                       }),
                 passes);
        QCOMPARE(kernelPasses.size(), passes);
        QCOMPARE(kernelPasses.last(), passes);
        for (int pass = 0; pass < passes; ++pass)
            for (int k = 0; k < count; ++k)
                fann_train(library.get(), const_cast<float*>(p.inputs.data() + k * 5),
                           const_cast<float*>(p.targets.data() + k * 3));
        const QString difference = stateDifference(kernel.get(), library.get());
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
        QVERIFY(fann_get_MSE(kernel.get()) > 0.0f);
        if (PatternKind(kind) != PatternKind::RealBars)
            QVERIFY(fann_get_bit_fail(kernel.get()) > 0);
    }

    // A training stopped after a pass leaves the network as that many passes of fann_train.
    void kernelStopsAfterAPass() {
        const Patterns p = makePatterns(PatternKind::RealBars, 200);
        FannPtr library(fann_create_standard(3, 5, 5, 3));
        fann_set_activation_function_hidden(library.get(), FANN_SIGMOID);
        fann_set_activation_function_output(library.get(), FANN_SIGMOID);
        fann_set_activation_steepness_hidden(library.get(), 0.5f);
        fann_set_activation_steepness_output(library.get(), 0.5f);
        FannPtr kernel(fann_copy(library.get()));
        QCOMPARE(TrainingKernel::train(kernel.get(), p.inputs.data(), p.targets.data(), 200, 1000,
                                       [](int done, int) { return done < 3; }),
                 3);
        for (int pass = 0; pass < 3; ++pass)
            for (int k = 0; k < 200; ++k)
                fann_train(library.get(), const_cast<float*>(p.inputs.data() + k * 5),
                           const_cast<float*>(p.targets.data() + k * 3));
        const QString difference = stateDifference(kernel.get(), library.get());
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }

    void diagramOfTheForecastNetwork() {
        TNervFann net(layers553, 1.0f, 11);
        QImage bmp(10, 10, QImage::Format_RGB32);
        net.CreateNeuronBmp(bmp);
        QCOMPARE(bmp.size(), QSize(600, 300));
        int blueCircles = 0, orangeCircles = 0;
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 6; ++x) {
                const QColor c = bmp.pixelColor(100 * x + 50, 100 * y + 50);
                blueCircles += c == blue;
                orangeCircles += c == orange;
            }
        QCOMPARE(blueCircles, 13);
        QCOMPARE(orangeCircles, 2);
        QCOMPARE(bmp.pixelColor(550, 50), orange);
        QCOMPARE(bmp.pixelColor(550, 150), orange);
        QCOMPARE(bmp.pixelColor(250, 250), blue);
        QCOMPARE(bmp.pixelColor(350, 250), QColor(Qt::white));
        QCOMPARE(bmp.pixelColor(5, 5), QColor(Qt::white));
    }

    void diagramLinesFollowTheWeights_data() {
        QTest::addColumn<float>("weight");
        QTest::addColumn<QColor>("colour");
        QTest::addColumn<int>("width");
        QTest::newRow("0.3") << 0.3f << red << 1;
        QTest::newRow("1.7") << 1.7f << black << 1;
        QTest::newRow("2.2") << 2.2f << black << 2;
        QTest::newRow("-2.9") << -2.9f << red << 2;
        QTest::newRow("-0.4") << -0.4f << red << 1;
        QTest::newRow("-1.0") << -1.0f << red << 1;
        QTest::newRow("4.9") << 4.9f << black << 4;
    }
    void diagramLinesFollowTheWeights() {
        QFETCH(float, weight);
        QFETCH(QColor, colour);
        QFETCH(int, width);
        TNervFann net(layers553, 1.0f, 11);
        // Input 2 to hidden 2 (neuron 8) is a vertical line at x = 250.
        net.SetWeight(2, 8, weight);
        QImage bmp;
        net.CreateNeuronBmp(bmp);
        QCOMPARE(bmp.pixelColor(250, 80), colour);
        QCOMPARE(runWidth(bmp, 250, 80, colour), width);
    }

    // Weights far beyond any pen width are drawn without the painter's complaint about the
    // width, in the weight's colour.
    void diagramKeepsExtremeWeightsInRange_data() {
        QTest::addColumn<float>("weight");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("1e12") << 1e12f << black;
        QTest::newRow("-1e12") << -1e12f << red;
        QTest::newRow("smallest int") << -2147483648.0f << red;
        QTest::newRow("infinity") << std::numeric_limits<float>::infinity() << black;
        QTest::newRow("NaN") << std::numeric_limits<float>::quiet_NaN() << red;
    }
    void diagramKeepsExtremeWeightsInRange() {
        QFETCH(float, weight);
        QFETCH(QColor, colour);
        QTest::failOnWarning(QRegularExpression(QStringLiteral("QPen|QPainter")));
        TNervFann net(layers553, 1.0f, 11);
        net.SetWeight(2, 8, weight);
        QImage bmp;
        net.CreateNeuronBmp(bmp);
        QCOMPARE(bmp.size(), QSize(600, 300));
        QCOMPARE(bmp.pixelColor(250, 80), colour);
    }

    void circlesTakeTheLastLineWidth() {
        TNervFann net(layers553, 1.0f, 11);
        QImage thin, thick;
        net.CreateNeuronBmp(thin);
        // The last connection: the hidden layer's bias (11) to the last output (14).
        net.SetWeight(11, 14, 3.5f);
        net.CreateNeuronBmp(thick);
        QCOMPARE(thin.pixelColor(50, 37), QColor(Qt::white));
        QCOMPARE(thick.pixelColor(50, 37), blue);
        QCOMPARE(thick.pixelColor(550, 37), orange);
        QVERIFY(runWidth(thick, 50, 50, blue) > runWidth(thin, 50, 50, blue));
    }

    void trainingForecastsTheSlots() {
        openSession();
        fillPriceTable(*session, QDateTime(QDate(2025, 7, 9), QTime(6, 5)), 48);
        Forecaster& f = session->forecast;
        f.seed = 1;
        QList<std::pair<int, int>> steps;
        QObject heard;
        connect(&f, &Forecaster::progressed, &heard,
                [&](int done, int total) { steps << std::pair{done, total}; });
        int summaries = 0, networks = 0, charts = 0;
        connect(&f, &Forecaster::summaryShown, &heard, [&] { ++summaries; });
        QString shownMse;
        connect(&f, &Forecaster::networkDrawn, &heard, [&](const QImage& img, const QString& mse) {
            ++networks;
            shownMse = mse;
            QCOMPARE(img.size(), QSize(600, 300));
        });
        connect(&f, &Forecaster::chartReady, &heard, [&] { ++charts; });
        f.uq1K(Forecaster::forecastTrain);

        QCOMPARE(dialogs->messages, (QStringList{QStringLiteral("1000回学習します"),
                                                 QStringLiteral("学習終了 ｸﾞﾗﾌ表示します")}));
        QCOMPARE(steps.size(), 1001);
        QCOMPARE(steps.last(), (std::pair{1000, 1000}));
        QCOMPARE(summaries, 1);
        QCOMPARE(networks, 1);
        QCOMPARE(charts, 1);
        QVERIFY(f.NervFann());
        QCOMPARE(session->reg.stdb, QStringLiteral("csm"));
        QCOMPARE(session->reg.stnm, QStringLiteral("F01YSK"));

        const ForecastSummary& s = f.summary();
        session->reg.swh = QStringLiteral(" where CNT = 48 ");
        session->prices.uq4F(PriceImport::pricesOpen);
        QCOMPARE(s.lastHigh, session->dm.qd[QStringLiteral("HV")].asString());
        QCOMPARE(s.lastClose, session->dm.qd[QStringLiteral("CV")].asString());
        QCOMPARE(s.lastLow, session->dm.qd[QStringLiteral("LV")].asString());

        const QVariantList closes = slotPrices(QStringLiteral("CV"));
        const QVariantList highs = slotPrices(QStringLiteral("HV"));
        const QVariantList lows = slotPrices(QStringLiteral("LV"));
        QCOMPARE(closes.size(), 10);
        const ForecastBounds b = Forecaster::bounds(session->reg.shm, session->reg.slm);
        for (const QVariantList* column : {&closes, &highs, &lows})
            for (const QVariant& v : *column) {
                QVERIFY(!v.isNull());
                QVERIFY(v.toInt() >= b.dlg && v.toInt() <= b.dhg);
            }
        QCOMPARE(s.forecastClose, closes.last().toString());
        QCOMPARE(s.forecastHigh, highs.last().toString());
        QCOMPARE(s.forecastLow, lows.last().toString());
        QCOMPARE(s.highDiff, QString::number(highs.last().toInt() - s.lastHigh.toInt()));
        QCOMPARE(s.closeDiff, QString::number(closes.last().toInt() - s.lastClose.toInt()));
        QCOMPARE(s.lowDiff, QString::number(lows.last().toInt() - s.lastLow.toInt()));
        QCOMPARE(session->reg.sa[1], s.forecastClose);
        QCOMPARE(session->reg.sa[2], s.forecastHigh);
        QCOMPARE(session->reg.sa[3], s.forecastLow);
        QCOMPARE(s.mse, f.NervFann()->GetMSE());
        QCOMPARE(shownMse, Forecaster::mseText(s.mse));
        QCOMPARE(f.diagram().size(), QSize(600, 300));
    }

    // The prepared patterns give what a pass-by-pass reading of the rows gives.
    void trainingMatchesRowByRowPasses() {
        openSession();
        fillPriceTable(*session, QDateTime(QDate(2025, 7, 9), QTime(8, 5)), 24);
        session->forecast.seed = 9;
        session->forecast.uq1K(Forecaster::forecastTrain);
        const ForecastSummary s = session->forecast.summary();

        TNervFann net(layers553, 1.0f, 9);
        const ForecastBounds b = Forecaster::bounds(session->reg.shm, session->reg.slm);
        session->reg.swh = QStringLiteral(" where CNT <= 24 order by CNT ");
        session->prices.uq4F(PriceImport::pricesOpen);
        Query& qd = session->dm.qd;
        for (int epoch = 0; epoch < 1000; ++epoch)
            for (qd.first(); !qd.eof(); qd.next()) {
                const auto in = Forecaster::inputsOf(qd[QStringLiteral("LYMD")].asString(),
                                                     qd[QStringLiteral("LHM")].asString());
                const std::array<float, 3> out{
                    Forecaster::scaled(qd[QStringLiteral("CV")].asFloat(), b),
                    Forecaster::scaled(qd[QStringLiteral("HV")].asFloat(), b),
                    Forecaster::scaled(qd[QStringLiteral("LV")].asFloat(), b)};
                net.Train(in, out);
            }
        QCOMPARE(net.GetMSE(), s.mse);
        std::array<float, 3> out{};
        net.Run(Forecaster::inputsOf(QStringLiteral("2025/07/09"), QStringLiteral("10:50")), out);
        QCOMPARE(Forecaster::descaled(out[0], b), s.forecastClose);
        QCOMPARE(Forecaster::descaled(out[1], b), s.forecastHigh);
        QCOMPARE(Forecaster::descaled(out[2], b), s.forecastLow);
    }

    void seededTrainingReproducesItself() {
        openSession();
        const QDateTime firstEnd(QDate(2025, 7, 9), QTime(8, 5));
        QList<QVariantList> runs;
        QStringList mses;
        for (int run = 0; run < 2; ++run) {
            fillPriceTable(*session, firstEnd, 24);
            session->forecast.seed = 123;
            session->forecast.uq1K(Forecaster::forecastTrain);
            runs << slotPrices(QStringLiteral("CV")) + slotPrices(QStringLiteral("HV")) +
                        slotPrices(QStringLiteral("LV"));
            mses << session->forecast.summary().mseText;
        }
        QCOMPARE(runs[0], runs[1]);
        QCOMPARE(mses[0], mses[1]);
    }

    void noBarsStopsBeforeTraining() {
        openSession();
        fillPriceTable(*session, QDateTime(QDate(2025, 7, 9), QTime(8, 5)), 0);
        bool summaryShown = false;
        QObject heard;
        connect(&session->forecast, &Forecaster::summaryShown, &heard, [&] { summaryShown = true; });
        QVERIFY_THROWS_EXCEPTION(TorvaneError, session->forecast.uq1K(Forecaster::forecastTrain));
        QVERIFY(session->forecast.NervFann());
        QVERIFY(!summaryShown);
        QCOMPARE(dialogs->messages, QStringList{QStringLiteral("1000回学習します")});
    }

    void emptyLastHighStopsAtTheSummary() {
        openSession();
        fillPriceTable(*session, QDateTime(QDate(2025, 7, 9), QTime(8, 5)), 12);
        QSqlQuery(session->dm.database(session->dm.csm()))
            .exec(QStringLiteral("update F01YSK set HV = NULL where CNT = 12"));
        bool networkShown = false;
        QObject heard;
        connect(&session->forecast, &Forecaster::networkDrawn, &heard, [&] { networkShown = true; });
        session->forecast.seed = 2;
        QVERIFY_THROWS_EXCEPTION(TorvaneError, session->forecast.uq1K(Forecaster::forecastTrain));
        QVERIFY(!networkShown);
        for (const QVariant& v : slotPrices(QStringLiteral("CV")))
            QVERIFY(!v.isNull());
    }

    void chartSelectsTheLastDays() {
        openSession();
        // 15-minute bars from 07/05 00:15 to 07/09 10:00, then slots to 12:30.
        fillPriceTable(*session, QDateTime(QDate(2025, 7, 5), QTime(0, 15)), 424, 15, 100);
        QSqlQuery(session->dm.database(session->dm.csm()))
            .exec(QStringLiteral("update F01YSK set CV = 150000, HV = 150100, LV = 149900 "
                                 "where CNT > 424"));
        const ChartData data = session->forecast.chartData(QStringLiteral("3"));
        QVERIFY(data.error.isEmpty());
        QCOMPARE(data.title, QStringLiteral("3 日間FX価格+予測10ｺﾏ ﾁｬｰﾄ"));
        QCOMPARE(session->reg.swh, QStringLiteral(" where SYMD > '2025/07/06'  order by CNT "));
        // The bar that starts 07/06 23:45 and ends 07/07 00:00 is not charted.
        const QDateTime firstEnd(QDate(2025, 7, 7), QTime(0, 15));
        const QDateTime lastSlot(QDate(2025, 7, 9), QTime(12, 30));
        const QDateTime lastBar(QDate(2025, 7, 9), QTime(10, 0));
        for (int s = 0; s < 3; ++s) {
            QCOMPARE(data.series[s].size(), 232 + 10);
            QCOMPARE(qint64(data.series[s].first().x()), firstEnd.toMSecsSinceEpoch());
            QCOMPARE(qint64(data.series[s].last().x()), lastSlot.toMSecsSinceEpoch());
        }
        for (int s = 3; s < 7; ++s) {
            QCOMPARE(data.series[s].size(), 232);
            QCOMPARE(qint64(data.series[s].last().x()), lastBar.toMSecsSinceEpoch());
        }
        for (const auto& points : data.series)
            for (int i = 1; i < points.size(); ++i)
                QVERIFY(points[i].x() > points[i - 1].x());

        // The averages begin at the 100th bar: a wider selection shows bars without them.
        const ChartData all = session->forecast.chartData(QStringLiteral("20"));
        QCOMPARE(all.series[0].size(), 434);
        QCOMPARE(all.series[3].size(), 424 - 99);
        QCOMPARE(session->forecast.chartData(QStringLiteral("03")).title,
                 QStringLiteral("03 日間FX価格+予測10ｺﾏ ﾁｬｰﾄ"));
        QCOMPARE(session->forecast.chartData(QStringLiteral("0")).series[0].size(), 0);
    }

    // Forecast slots whose step goes backwards (a file whose last two lines are out of order)
    // are drawn where their times put them: every line runs forward in time.
    void chartRunsForwardOverABackwardsSlot() {
        openSession();
        fillPriceTable(*session, QDateTime(QDate(2025, 7, 8), QTime(0, 15)), 10, 15);
        QSqlDatabase db = session->dm.database(session->dm.csm());
        for (int k = 1; k <= 10; ++k)
            QVERIFY(QSqlQuery(db).exec(
                QStringLiteral("update F01YSK set CV = 150000, HV = 150100, LV = 149900, "
                               "LYMD = '2025/07/08', LHM = '%1' where CNT = %2")
                    .arg(QTime(2, 30).addSecs(-15 * 60 * k).toString(QStringLiteral("HH:mm")))
                    .arg(10 + k)));
        const ChartData data = session->forecast.chartData(QStringLiteral("3"));
        QVERIFY(data.error.isEmpty());
        QCOMPARE(data.series[0].size(), 20);
        for (const auto& points : data.series)
            for (int i = 1; i < points.size(); ++i)
                QVERIFY2(points[i].x() >= points[i - 1].x(), qPrintable(QString::number(i)));
        // The earliest slot, 00:00, comes first.
        QCOMPARE(qint64(data.series[0].first().x()),
                 QDateTime(QDate(2025, 7, 8), QTime(0, 0)).toMSecsSinceEpoch());
        QCOMPARE(data.series[0].first().y(), 150000.0);
    }

    // The last bar's values are shown before the training, so a forecast that then fails
    // leaves them on the page.
    void lastBarIsShownEvenWhenTheForecastFails() {
        openSession();
        fillPriceTable(*session, QDateTime(QDate(2025, 7, 9), QTime(8, 5)), 12);
        QSqlQuery(session->dm.database(session->dm.csm()))
            .exec(QStringLiteral("update F01YSK set HV = NULL where CNT = 12"));
        QList<ForecastSummary> shown;
        QObject heard;
        connect(&session->forecast, &Forecaster::lastBarShown, &heard,
                [&](const ForecastSummary& s) { shown << s; });
        session->forecast.seed = 2;
        QVERIFY_THROWS_EXCEPTION(TorvaneError, session->forecast.uq1K(Forecaster::forecastTrain));
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].lastHigh, QString());
        QSqlQuery q(session->dm.database(session->dm.csm()));
        QVERIFY(q.exec(QStringLiteral("select CV, LV from F01YSK where CNT = 12")) && q.next());
        QCOMPARE(shown[0].lastClose, q.value(0).toString());
        QCOMPARE(shown[0].lastLow, q.value(1).toString());
        QVERIFY(shown[0].forecastClose.isEmpty());
    }

    void chartStopsAtAnUnreadableRow() {
        openSession();
        fillPriceTable(*session, QDateTime(QDate(2025, 7, 8), QTime(0, 15)), 10, 15);
        QSqlQuery(session->dm.database(session->dm.csm()))
            .exec(QStringLiteral("update F01YSK set LHM = 'xx' where CNT = 4"));
        const ChartData data = session->forecast.chartData(QStringLiteral("3"));
        QVERIFY(!data.error.isEmpty());
        QCOMPARE(data.series[0].size(), 3);
        QVERIFY_THROWS_EXCEPTION(TorvaneError, session->forecast.chartData(QStringLiteral("x")));
    }
};

QTEST_GUILESS_MAIN(TestForecast)
#include "test_forecast.moc"
