#include "forecast/TrainingJob.h"

#include <QElapsedTimer>
#include <QMetaObject>

#include <algorithm>
#include <new>

namespace {

// Progress from a job off the thread comes this often at most (milliseconds): often enough for
// a bar that moves, seldom enough to cost the window nothing.
constexpr qint64 progressInterval = 100;

} // namespace

void TrainingJob::run(const std::function<void(int, int)>& onPass) {
    try {
        done = net->TrainPasses(inputs, targets, passes, [&](int d, int total) {
            if (onPass)
                onPass(d, total);
            return !stop->load(std::memory_order_relaxed);
        });
    } catch (...) {
        failure = std::current_exception();
    }
}

TrainingJobs::TrainingJobs(QObject* parent) : QObject(parent) {}

TrainingJobs::~TrainingJobs() {
    stopAll();
    m_pool.waitForDone();
}

void TrainingJobs::stopAll() {
    for (const auto& stop : m_stops)
        stop->store(true);
}

// What one job off the thread carries: written on the caller's thread before the job goes to
// the pool, filled on the pool's thread, read back after the hand-back. The caller's thread
// owns it from start to finish (this object frees what a dropped hand-back leaves).
struct TrainingJobs::Handoff {
    TrainingJob job;
    Progress progress;
    Done done;
    // Qt's queues already order each side's writes before the other side reads them; the
    // release and acquire of these say so in terms a race detector sees, as Qt's own locks are
    // invisible to it.
    std::atomic<bool> trained{false};
};

void TrainingJobs::start(TrainingJob job, Progress progress, Done done) {
    ++m_running;
    m_stops.push_back(job.stop);
    if (m_run == Run::here) {
        job.run(progress);
        release(job.stop);
        done(std::move(job));
        return;
    }
    Handoff* h = m_out.emplace_back(std::make_unique<Handoff>()).get();
    h->job = std::move(job);
    h->progress = std::move(progress);
    h->done = std::move(done);
    m_handedIn.fetch_add(1, std::memory_order_release);
    // Two plain pointers: the runnable holds nothing of ours that Qt would copy or destroy on the
    // pool's thread.
    m_pool.start([this, h] {
        m_handedIn.load(std::memory_order_acquire);
        QElapsedTimer sinceReport;
        sinceReport.start();
        h->job.run([&](int d, int total) {
            if (!h->progress || (d < total && sinceReport.elapsed() < progressInterval))
                return;
            sinceReport.restart();
            // Bound to this object: dropped when it is destroyed before the call arrives.
            QMetaObject::invokeMethod(
                this, [progress = h->progress, d, total] { progress(d, total); },
                Qt::QueuedConnection);
        });
        h->trained.store(true, std::memory_order_release);
        QMetaObject::invokeMethod(
            this, [this, h] { handBack(h); }, Qt::QueuedConnection);
    });
}

void TrainingJobs::release(const std::shared_ptr<std::atomic<bool>>& stop) {
    --m_running;
    m_stops.erase(std::remove(m_stops.begin(), m_stops.end(), stop), m_stops.end());
}

void TrainingJobs::handBack(Handoff* h) {
    h->trained.load(std::memory_order_acquire);
    const auto at =
        std::find_if(m_out.begin(), m_out.end(),
                     [h](const std::unique_ptr<Handoff>& out) { return out.get() == h; });
    std::unique_ptr<Handoff> back = std::move(*at);
    m_out.erase(at);
    release(back->job.stop);
    back->done(std::move(back->job));
}
