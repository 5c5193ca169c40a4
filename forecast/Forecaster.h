#pragma once

#include "forecast/NervFann.h"

#include <QDateTime>
#include <QImage>
#include <QList>
#include <QPointF>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class PriceImport;
class Store;

// What the forecast page's summary panel shows after a training, and the network's error.
struct ForecastSummary {
    QString lastHigh, lastClose, lastLow;             // a1013ztvL, a1023zcvL, a1033zlvL
    QString forecastHigh, forecastClose, forecastLow; // a1015atvL, a1025acvL, a1035alvL
    QString highDiff, closeDiff, lowDiff;             // a1017stvL, a1027scvL, a1037slvL
    float mse = 0.0f;
    QString mseText; // c02ms2L

    // The summary as text lines with the page's captions, the error last.
    QStringList lines() const;
};

// The rows of one chart drawing: per series the points (bar end, price) with a price above 0.
struct ChartData {
    QString title;
    std::array<QList<QPointF>, 7> series; // x in milliseconds since the epoch
    // Set when a row's end could not be read; the points before it are kept.
    QString error;
};

// The scaling bounds of one training: prices map into dlg..dhg as 0..1.
struct ForecastBounds {
    float dhg = 0.0f;
    float dlg = 0.0f;
    float dsg = 0.0f;
};

// Training and forecast over F01YSK (uq1K 1) and the selection of the chart's rows (uq1K 2).
// The window hands the results to its pages through the hooks below.
class Forecaster {
public:
    Forecaster(Store& store, PriceImport& prices) : m_store(store), m_prices(prices) {}

    static constexpr int passes = 1000;

    // 1: train a new network on the real bars, forecast the ten slots, fill the summary, draw
    // the diagram, then 2: the chart. Other numbers do nothing.
    static constexpr int forecastTrain = 1;
    static constexpr int forecastChart = 2;
    void uq1K(int op);

    // The network of the latest training; null before the first.
    TNervFann* NervFann() const { return m_net.get(); }
    // Frees the network when one is held (the window's destruction).
    void releaseNetwork() { m_net.reset(); }
    const ForecastSummary& summary() const { return m_summary; }
    // The diagram of the latest training.
    const QImage& diagram() const { return m_diagram; }

    // The rows of the last d days (d the day-count text) and the forecast slots, as the seven
    // series' points in time order. A day count that is no integer is an error.
    ChartData chartData(const QString& dayCount);

    // Reproducible initial weights for tests and the headless command; the window leaves it.
    std::optional<unsigned> seed;
    // Called after every training pass with the passes done and the total, on this thread.
    std::function<void(int done, int total)> progress;
    // The training itself: calls its hook after every pass (false stops it there) and returns
    // whether all passes ran. It touches nothing but the network and the patterns.
    using TrainingWork = std::function<bool(const TrainingKernel::PassHook& onPass)>;
    // Runs the work for `bars` patterns and returns whether it ran to its end; reports the
    // passes done through `report` on this thread. The window runs the work on a worker thread
    // and answers events meanwhile; without a runner it runs here.
    std::function<bool(const TrainingWork& work, int bars,
                       const std::function<void(int done, int total)>& report)>
        runTraining;
    // Whether a training is running (the window refuses what would change its data).
    bool training() const { return m_training; }
    // What the window says when `what` is asked for during a training.
    static QString duringTraining(const QString& what) {
        return QStringLiteral("学習中は%1。学習の終了を待つか「中止」を押してください").arg(what);
    }
    // A rough training time for that many bars, in seconds, to tell the user beforehand.
    static double estimatedSeconds(qint64 bars);
    // The last real bar's high, close and low, before the training (only those fields set).
    std::function<void(const ForecastSummary&)> showLastBar;
    std::function<void(const ForecastSummary&)> showSummary;
    std::function<void(const QImage& diagram, const QString& mseText)> showNetwork;
    // Receives every completed forecast (summary and error filled), before the chart.
    std::function<void(const ForecastSummary&)> completed;
    // Draws the chart: the forecast page reads its day count and calls chartData.
    std::function<void()> drawChart;

    static ForecastBounds bounds(const QString& shm, const QString& slm);
    static std::array<float, 5> inputsOf(const QString& lymd, const QString& lhm);
    static float scaled(double price, const ForecastBounds& b);
    // A network output back in price units, rounded to a whole number.
    static QString descaled(float output, const ForecastBounds& b);
    // forecast - last, both read as integers.
    static QString difference(const QString& forecast, const QString& last);
    // "#.#######": up to seven decimals, no zero before the separator.
    static QString mseText(float mse);

private:
    void train();

    Store& m_store;
    PriceImport& m_prices;
    std::unique_ptr<TNervFann> m_net;
    ForecastSummary m_summary;
    QImage m_diagram;
    bool m_training = false;
};
