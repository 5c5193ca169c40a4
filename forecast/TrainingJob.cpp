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

void TrainingJobs::start(TrainingJob job, Progress progress, Done done) {
    ++m_running;
    m_stops.push_back(job.stop);
    const auto handBack = [this](const std::shared_ptr<std::atomic<bool>>& stop) {
        --m_running;
        m_stops.erase(std::remove(m_stops.begin(), m_stops.end(), stop), m_stops.end());
    };
    if (m_run == Run::here) {
        job.run(progress);
        handBack(job.stop);
        done(std::move(job));
        return;
    }
    // Shared between the pool's thread, which fills it, and the queued call that hands it back.
    auto held = std::make_shared<TrainingJob>(std::move(job));
    // Qt's event queue already orders the job's last write before the call that reads it; the
    // flag says so in terms a race detector sees, as Qt's own locks are invisible to it.
    auto trained = std::make_shared<std::atomic<bool>>(false);
    m_handedIn.fetch_add(1, std::memory_order_release);
    m_pool.start([this, held, trained, progress = std::move(progress), done = std::move(done),
                  handBack]() mutable {
        m_handedIn.load(std::memory_order_acquire);
        QElapsedTimer sinceReport;
        sinceReport.start();
        held->run([&](int d, int total) {
            if (!progress || (d < total && sinceReport.elapsed() < progressInterval))
                return;
            sinceReport.restart();
            // Bound to this object: dropped when it is destroyed before the call arrives.
            QMetaObject::invokeMethod(
                this, [progress, d, total] { progress(d, total); }, Qt::QueuedConnection);
        });
        trained->store(true, std::memory_order_release);
        QMetaObject::invokeMethod(
            this,
            [held, trained, done = std::move(done), handBack] {
                trained->load(std::memory_order_acquire);
                handBack(held->stop);
                done(std::move(*held));
            },
            Qt::QueuedConnection);
    });
}
