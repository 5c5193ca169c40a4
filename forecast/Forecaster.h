#pragma once

#include "forecast/NervFann.h"
#include "forecast/TrainingJob.h"

#include <QDateTime>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPointF>
#include <QString>
#include <QStringList>

#include <array>
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
// It tells the pages what happened through its signals. A training is a job: the window runs it
// off its thread and the forecast continues when the job comes back; the headless command runs
// it at once.
class Forecaster : public QObject {
    Q_OBJECT
public:
    Forecaster(Store& store, PriceImport& prices);
    ~Forecaster() override;

    static constexpr int passes = 1000;

    // 1: train a new network on the real bars, then forecast the ten slots, fill the summary,
    // draw the diagram, then 2: the chart. Other numbers do nothing. Off the thread, 1 returns
    // once the job is out; finished() says when the forecast step has ended.
    static constexpr int forecastTrain = 1;
    static constexpr int forecastChart = 2;
    void uq1K(int op);

    // Where trainings run: here (by default) or off the thread, the caller's loop going on.
    void setRun(TrainingJobs::Run run) { m_jobs.setRun(run); }

    // The network of the latest training; null before the first and after a stopped one.
    TNervFann* NervFann() const { return m_net.get(); }
    // Frees the network when one is held (the window's destruction).
    void releaseNetwork() { m_net.reset(); }
    const ForecastSummary& summary() const { return m_summary; }
    // The diagram of the latest training.
    const QImage& diagram() const { return m_diagram; }

    // The rows of the last d days (d the day-count text) and the forecast slots, as the seven
    // series' points in time order. A day count that is no integer is an error.
    ChartData chartData(const QString& dayCount);
    // The day count the chart of uq1K 2 covers (page 1's a15dE).
    void setChartDays(const QString& dayCount) { m_chartDays = dayCount; }

    // Reproducible initial weights for tests and the headless command; the window leaves it.
    std::optional<unsigned> seed;
    // Whether a training or the forecast after it is under way: what would change their data
    // waits (Session::busy asks this).
    bool training() const { return m_jobs.running() > 0 || m_finishing; }
    // Stops the running training after its current pass.
    void stopTraining() { m_jobs.stopAll(); }
    // What the window says when `what` is asked for during a training.
    static QString duringTraining(const QString& what) {
        return QStringLiteral("学習中は%1。学習の終了を待つか「中止」を押してください").arg(what);
    }
    // A rough training time for that many bars, in seconds, to tell the user beforehand.
    static double estimatedSeconds(qint64 bars);

    static ForecastBounds bounds(const QString& shm, const QString& slm);
    static std::array<float, 5> inputsOf(const QString& lymd, const QString& lhm);
    static float scaled(double price, const ForecastBounds& b);
    // A network output back in price units, rounded to a whole number.
    static QString descaled(float output, const ForecastBounds& b);
    // forecast - last, both read as integers.
    static QString difference(const QString& forecast, const QString& last);
    // "#.#######": up to seven decimals, no zero before the separator.
    static QString mseText(float mse);

Q_SIGNALS:
    // A training of that many bars starts, after the last bar's values are shown.
    void trainingStarted(int bars);
    // Passes done of the total: 0 before the first, the total after the last.
    void progressed(int done, int total);
    // The training ended, having run every pass or not.
    void trainingEnded(bool finished);
    // The last real bar's high, close and low, before the training (only those fields set).
    void lastBarShown(const ForecastSummary& summary);
    void summaryShown(const ForecastSummary& summary);
    void networkDrawn(const QImage& diagram, const QString& mseText);
    // Every completed forecast (summary and error filled), before the chart.
    void completed(const ForecastSummary& summary);
    // The chart's rows for the day count set, the last real bar's end where the forecast begins.
    void chartReady(const ChartData& data, const QDateTime& lastBar);
    // The forecast step begun by uq1K 1 has ended: completed, stopped or failed.
    void finished();

private:
    // The scaling and the last bar's values a training continues with when its job is back.
    struct Pending {
        ForecastBounds bounds;
        ForecastSummary summary;
    };
    // The training is back: the forecast continues, then finished() is said.
    void forecastWith(TrainingJob job, const Pending& pending);
    void forecastAfter(TrainingJob job, const Pending& pending);
    // The chart's rows while the slots are still empty; none for a day count that is no integer.
    ChartData barsWithoutForecast();
    void forecastSlots(const Pending& pending);

    Store& m_store;
    PriceImport& m_prices;
    std::shared_ptr<TNervFann> m_net;
    ForecastSummary m_summary;
    QImage m_diagram;
    QString m_chartDays = QStringLiteral("3");
    bool m_finishing = false;
    // Last: destroyed first, stopping and waiting for a running training.
    TrainingJobs m_jobs;
};
