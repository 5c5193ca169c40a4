#pragma once

#include "forecast/NervFann.h"

#include <QObject>
#include <QThreadPool>

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

// One training as a value: what it needs in (the network, its patterns, the pass count, a stop
// flag) and what it gives out (the passes done, or the error that ended it). It touches nothing
// but its own network and patterns, so any thread may run it; the network must have been
// created before (FANN seeds the global rand() when it creates one, so networks are created one
// after another on one thread and only trained in parallel).
struct TrainingJob {
    std::shared_ptr<TNervFann> net;
    std::vector<float> inputs;  // five per pattern
    std::vector<float> targets; // three per pattern
    int passes = 0;
    // Set from any thread: the training stops after the pass it is in.
    std::shared_ptr<std::atomic<bool>> stop = std::make_shared<std::atomic<bool>>(false);

    int done = 0;
    std::exception_ptr failure;

    // Whether every pass ran.
    bool finished() const { return !failure && done == passes; }
    // Runs the passes on this thread; onPass hears after every pass (done, total).
    void run(const std::function<void(int done, int total)>& onPass = {});
};

// Runs training jobs and hands each back, with its result, on the thread this object lives on.
// Off the thread (the window) the jobs run on a pool of their own while the caller's event loop
// goes on: progress comes at most every 100 ms, the finished job through a queued call. Here
// (the headless command, tests of single steps) a job runs at once and is handed back before
// start() returns, with its progress after every pass. Destroying the runner stops every job
// it holds and waits for them; what they would have handed back is dropped.
class TrainingJobs : public QObject {
    Q_OBJECT
public:
    enum class Run { here, offThread };

    explicit TrainingJobs(QObject* parent = nullptr);
    ~TrainingJobs() override;

    void setRun(Run run) { m_run = run; }
    Run run() const { return m_run; }
    // How many jobs train at once off the thread; the processors by default.
    void setMaxThreads(int count) { m_pool.setMaxThreadCount(count); }
    int maxThreads() const { return m_pool.maxThreadCount(); }

    using Progress = std::function<void(int done, int total)>;
    using Done = std::function<void(TrainingJob job)>;
    void start(TrainingJob job, Progress progress, Done done);

    // Jobs started and not yet handed back.
    int running() const { return m_running; }
    // Asks every running job to stop after its current pass.
    void stopAll();

private:
    struct Handoff;
    void release(const std::shared_ptr<std::atomic<bool>>& stop);
    void handBack(Handoff* h);

    QThreadPool m_pool;
    Run m_run = Run::here;
    int m_running = 0;
    // Raised before each job goes to the pool and read first on the pool's thread: what the job
    // carries was written before it, in terms a race detector sees (a pool thread takes its next
    // job through Qt's own lock, which is invisible to it).
    std::atomic<quint64> m_handedIn{0};
    std::vector<std::shared_ptr<std::atomic<bool>>> m_stops;
    // The jobs off the thread not yet handed back.
    std::vector<std::unique_ptr<Handoff>> m_out;
};
