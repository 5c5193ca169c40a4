#pragma once

#include "analysis/Backtest.h"
#include "analysis/PriceHistory.h"
#include "forecast/TrainingJob.h"
#include "prices/PlatformExport.h"

#include <QDate>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <QTime>

#include <map>
#include <memory>
#include <optional>
#include <vector>

class Store;

// The walk-forward backtest: the forecast re-run as of many past moments (origins), each with
// one or more seeds, from the price file read once, and scored against the whole file. Folds
// train as jobs beside each other; their forecasts are kept in the fold cache, so a run after a
// new day trains only the new folds and a stopped run resumes where it stopped.
class Backtester : public QObject {
    Q_OBJECT
public:
    explicit Backtester(Store& store);
    ~Backtester() override;

    struct Plan {
        QString file;
        QDate from, to; // invalid: two months after the file's first bar, and its last bar
        QList<QTime> origins{QTime(9, 0), QTime(15, 0), QTime(21, 0)};
        int seeds = 1;
        unsigned firstSeed = 1;
        // How a platform export's server times become Japan times; none: the remembered
        // answer (the window) or a usage error (the headless command) decides before.
        std::optional<PlatformExport::ServerTime> serverTime;
    };

    // Where folds train: here (tests of single folds) or off the thread (the window, the
    // headless command with its own loop).
    void setRun(TrainingJobs::Run run) { m_jobs.setRun(run); }
    // How many folds train at once.
    void setJobs(int jobs);
    int jobs() const { return m_jobs.maxThreads(); }

    // Reads the file, then runs the folds. Here, the file is read and every fold has run when
    // it returns, an error thrown; off the thread the file is read there too, and an error in
    // it comes through failed().
    void start(const Plan& plan);
    // Stops the folds in training after their current pass; the finished ones stay kept.
    void stop();
    bool running() const { return m_running; }

    // The folds run so far, in origin and seed order; the bars of the whole file they were
    // scored against.
    const std::vector<Backtest::Fold>& folds() const { return m_done; }
    int trained() const { return m_trained; } // folds trained by this run
    int cached() const { return m_cached; }   // folds taken from the fold cache
    int skipped() const { return m_skipped; } // origins while the market was closed
    // The decimals of the file's closes: what one unit of its prices is worth.
    int decimals() const { return m_decimals; }

    // The fold lines, then the ten horizon lines.
    QStringList lines() const;

    // The fold cache: how many folds it keeps, and emptying it.
    int keptFolds() const;
    void clearKept();

    // What the window says when `what` is asked for during a backtest.
    static QString duringBacktest(const QString& what) {
        return QStringLiteral("検証中は%1。検証の終了を待つか「中止」を押してください").arg(what);
    }

Q_SIGNALS:
    // Folds done (trained or taken from the cache) of all folds to run, and the seconds left,
    // negative while unknown.
    void progressed(int done, int total, double secondsLeft);
    // The run has ended, every fold run or not (stopped, or an error said by failed()).
    void finished(bool complete);
    void failed(const QString& text);

private:
    // Takes the next origins (their folds from the cache or into training) while fewer than
    // jobs + 1 folds train, and ends the run when nothing is left.
    void pump();
    // The file is read: the origins are laid out and the folds begin.
    void begin(PriceHistory history);
    void startFold(const Backtest::FoldInput& input, unsigned seed);
    void foldTrained(TrainingJob job, const std::shared_ptr<const Backtest::FoldInput>& input,
                     unsigned seed);
    void keep(const Backtest::FoldInput& input, unsigned seed,
              const Backtest::FoldForecast& forecast);
    void loadKept();
    void writeKept();
    void fail(const QString& text);
    void report();
    void end(bool complete);

    Store& m_store;
    std::optional<PriceHistory> m_history;
    QList<QDateTime> m_origins;
    int m_nextOrigin = 0;
    Plan m_plan;
    std::vector<Backtest::Fold> m_done;
    bool m_cacheUsable = false;
    std::map<QByteArray, Backtest::FoldForecast> m_kept;
    std::vector<std::pair<QByteArray, Backtest::FoldForecast>> m_unwritten;
    QElapsedTimer m_sinceWrite;
    int m_total = 0;
    int m_trained = 0;
    int m_cached = 0;
    int m_skipped = 0;
    int m_decimals = 0;
    int m_inFlight = 0;
    bool m_running = false;
    bool m_pumping = false;
    bool m_stopping = false;
    QString m_failure;
    QElapsedTimer m_clock;
    // Each start's number: a file read for an earlier start that was stopped is dropped.
    quint64 m_generation = 0;
    // Last: destroyed first, stopping and waiting for the folds in training and a file being
    // read.
    TrainingJobs m_jobs;
    QThreadPool m_reader;
};
