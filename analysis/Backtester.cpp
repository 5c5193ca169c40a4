#include "analysis/Backtester.h"

#include "forecast/Forecaster.h"
#include "store/Store.h"
#include "store/TorvaneError.h"
#include "store/Transaction.h"

#include <QFileInfo>
#include <QMetaObject>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <new>

namespace {

const QString cacheTable = QStringLiteral("F11KSK");

// Kept folds are written at most this often (milliseconds), and when the run ends.
constexpr qint64 writeInterval = 1000;
// Taking origins pauses after this long (milliseconds), so the window keeps answering.
constexpr qint64 pumpSlice = 40;

} // namespace

Backtester::Backtester(Store& store) : m_store(store) {
    m_jobs.setRun(TrainingJobs::Run::offThread);
    setJobs(QThread::idealThreadCount());
}

Backtester::~Backtester() = default;

void Backtester::setJobs(int jobs) {
    m_jobs.setMaxThreads(std::max(1, jobs));
}

void Backtester::start(const Plan& plan) {
    if (m_running)
        throw TorvaneError(duringBacktest(QStringLiteral("検証を始められません")));
    m_plan = plan;
    m_history.reset();
    m_done.clear();
    m_origins.clear();
    m_unwritten.clear();
    m_nextOrigin = 0;
    m_total = m_trained = m_cached = m_skipped = m_inFlight = 0;
    m_stopping = false;
    m_failure.clear();
    const quint64 generation = ++m_generation;

    const PriceHistory::Columns columns = PriceHistory::Columns::of(m_store);
    loadKept();
    m_running = true;
    m_clock.start();
    m_sinceWrite.start();
    report();
    if (m_jobs.run() == TrainingJobs::Run::here) {
        try {
            begin(PriceHistory::read(plan.file, QFileInfo(plan.file).fileName(), columns,
                                     plan.serverTime));
        } catch (...) {
            m_running = false;
            throw;
        }
        return;
    }
    // Years of bars take a second or two to read: not on the window's thread.
    struct Read {
        std::optional<PriceHistory> history;
        QString error;
        std::atomic<bool> done{false};
    };
    auto read = std::make_shared<Read>();
    m_reader.start([this, read, plan, columns, generation] {
        try {
            read->history = PriceHistory::read(plan.file, QFileInfo(plan.file).fileName(),
                                               columns, plan.serverTime);
        } catch (const TorvaneError& e) {
            read->error = e.text();
        } catch (const std::bad_alloc&) {
            read->error = outOfMemoryText();
        }
        read->done.store(true, std::memory_order_release);
        QMetaObject::invokeMethod(
            this,
            [this, read, generation] {
                read->done.load(std::memory_order_acquire);
                if (!m_running || generation != m_generation)
                    return;
                if (m_stopping)
                    end(false);
                else if (!read->error.isEmpty())
                    fail(read->error);
                else
                    begin(std::move(*read->history));
            },
            Qt::QueuedConnection);
    });
}

void Backtester::begin(PriceHistory history) {
    m_history.emplace(std::move(history));
    m_decimals = m_history->decimals();
    const QDate from = m_plan.from.isValid() ? m_plan.from : m_history->firstDate().addMonths(2);
    const QDate to = m_plan.to.isValid() ? m_plan.to : m_history->lastDate();
    QList<QTime> times = m_plan.origins;
    std::sort(times.begin(), times.end());
    times.erase(std::unique(times.begin(), times.end()), times.end());
    for (QDate d = from; d.isValid() && d <= to; d = d.addDays(1))
        for (const QTime& t : times)
            m_origins << QDateTime(d, t);
    m_total = int(m_origins.size()) * std::max(1, m_plan.seeds);
    report();
    pump();
}

void Backtester::stop() {
    if (!m_running)
        return;
    m_stopping = true;
    m_jobs.stopAll();
    if (m_inFlight == 0 && !m_pumping)
        end(false);
}

void Backtester::pump() {
    if (!m_running || m_pumping || !m_history)
        return;
    m_pumping = true;
    QElapsedTimer slice;
    slice.start();
    try {
        while (!m_stopping && m_nextOrigin < m_origins.size() &&
               m_inFlight < m_jobs.maxThreads() + 1) {
            if (m_jobs.run() == TrainingJobs::Run::offThread && slice.elapsed() > pumpSlice) {
                // Back in a moment, after the window's own events.
                QTimer::singleShot(0, this, [this] { pump(); });
                m_pumping = false;
                return;
            }
            const QDateTime origin = m_origins[m_nextOrigin++];
            const std::optional<Backtest::FoldInput> input = m_history->foldAt(origin);
            const int seeds = std::max(1, m_plan.seeds);
            if (!input) {
                ++m_skipped;
                m_total -= seeds;
                continue;
            }
            for (int s = 0; s < seeds; ++s)
                startFold(*input, m_plan.firstSeed + unsigned(s));
            report();
        }
    } catch (const TorvaneError& e) {
        m_pumping = false;
        fail(e.text());
        return;
    } catch (const std::bad_alloc&) {
        m_pumping = false;
        fail(outOfMemoryText());
        return;
    }
    m_pumping = false;
    if (m_inFlight == 0 && (m_stopping || m_nextOrigin >= m_origins.size()))
        end(!m_stopping && m_failure.isEmpty());
}

void Backtester::startFold(const Backtest::FoldInput& input, unsigned seed) {
    const QByteArray key = m_cacheUsable ? input.key(seed) : QByteArray();
    if (m_cacheUsable) {
        if (const auto it = m_kept.find(key); it != m_kept.end()) {
            ++m_cached;
            keep(input, seed, it->second);
            return;
        }
    }
    static constexpr unsigned layers[] = {5, 5, 3};
    TrainingJob job;
    // Created here, one after another: the library seeds the global generator as it creates.
    job.net = std::make_shared<TNervFann>(layers, 1.0f, seed);
    job.inputs = input.inputs;
    job.targets = input.targets;
    job.passes = Forecaster::passes;
    ++m_inFlight;
    auto held = std::make_shared<const Backtest::FoldInput>(input);
    m_jobs.start(std::move(job), {}, [this, held, seed](TrainingJob back) {
        --m_inFlight;
        foldTrained(std::move(back), held, seed);
    });
}

void Backtester::foldTrained(TrainingJob job, const std::shared_ptr<const Backtest::FoldInput>& input,
                             unsigned seed) {
    try {
        if (job.failure)
            std::rethrow_exception(job.failure);
        if (job.finished()) {
            Backtest::FoldForecast forecast;
            for (int k = 0; k < 10; ++k) {
                std::array<float, 3> out{};
                job.net->Run(input->slotInputs[std::size_t(k)], out);
                forecast.close[std::size_t(k)] =
                    Forecaster::descaled(out[0], input->bounds).toLongLong();
                forecast.high[std::size_t(k)] =
                    Forecaster::descaled(out[1], input->bounds).toLongLong();
                forecast.low[std::size_t(k)] =
                    Forecaster::descaled(out[2], input->bounds).toLongLong();
            }
            forecast.mse = job.net->GetMSE();
            ++m_trained;
            if (m_cacheUsable) {
                const QByteArray key = input->key(seed);
                m_kept[key] = forecast;
                m_unwritten.emplace_back(key, forecast);
            }
            keep(*input, seed, forecast);
            report();
        }
        // A cache that cannot be written (a lock, a full disk) ends the run with its reason;
        // the folds finished so far stay shown.
        if (m_running && m_sinceWrite.elapsed() >= writeInterval)
            writeKept();
    } catch (const TorvaneError& e) {
        fail(e.text());
    } catch (const std::bad_alloc&) {
        fail(outOfMemoryText());
    }
    if (!m_running)
        return;
    if (m_pumping)
        return; // run here: the pump goes on by itself
    pump();
}

void Backtester::keep(const Backtest::FoldInput& input, unsigned seed,
                      const Backtest::FoldForecast& forecast) {
    Backtest::Fold fold;
    fold.origin = input.origin;
    fold.originMoment = input.originMoment;
    fold.seed = seed;
    fold.lastCloseText = input.lastCloseText;
    fold.lastClose = input.lastClose;
    fold.slotTargets = input.slotTargets;
    fold.drift = input.drift;
    fold.sameTime = input.sameTime;
    fold.forecast = forecast;
    for (int k = 0; k < 10; ++k) {
        const Tracking::Judgement j =
            Tracking::judgeTarget(input.lastEnd, input.slotTargets[std::size_t(k)],
                                  input.lastClose, m_history->bars());
        if (j.kind == Tracking::Judgement::Kind::Scored)
            fold.actual[std::size_t(k)] = j.actual;
    }
    // In origin and seed order, whichever fold comes back first.
    const auto at = std::upper_bound(m_done.begin(), m_done.end(), fold,
                                     [](const Backtest::Fold& a, const Backtest::Fold& b) {
                                         return std::pair(a.originMoment, a.seed) <
                                                std::pair(b.originMoment, b.seed);
                                     });
    m_done.insert(at, std::move(fold));
}

void Backtester::fail(const QString& text) {
    if (!m_failure.isEmpty())
        return;
    m_failure = text;
    m_stopping = true;
    m_jobs.stopAll();
    if (m_inFlight == 0 && !m_pumping)
        end(false);
}

void Backtester::report() {
    const int done = m_trained + m_cached;
    double left = -1.0;
    if (m_trained > 0) {
        // Folds still to train, at the pace this run trained them so far (all jobs together).
        const int toDo = std::max(0, m_total - done);
        left = double(m_clock.elapsed()) / 1000.0 / m_trained * toDo;
    }
    Q_EMIT progressed(done, m_total, left);
}

void Backtester::end(bool complete) {
    if (!m_running)
        return;
    m_running = false;
    try {
        writeKept();
    } catch (const TorvaneError& e) {
        if (m_failure.isEmpty())
            m_failure = e.text();
        complete = false;
    }
    if (!m_failure.isEmpty())
        Q_EMIT failed(m_failure);
    Q_EMIT finished(complete && m_failure.isEmpty());
}

QStringList Backtester::lines() const {
    QStringList out;
    for (const Backtest::Fold& f : m_done)
        out << Backtest::foldLines(f);
    for (const Backtest::Horizon& h : Backtest::horizons(Backtest::slotsOf(m_done)))
        out << Backtest::horizonLine(h);
    return out;
}

void Backtester::loadKept() {
    m_kept.clear();
    m_cacheUsable = m_store.tableExists(QStringLiteral("csq"), cacheTable);
    if (!m_cacheUsable)
        return;
    QSqlQuery q(m_store.dm().database(m_store.dm().csq()));
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("select HSH, SLT, FCV, FHV, FLV, MSE from ") + cacheTable))
        throw TorvaneError(Store::databaseReason(q.lastError()));
    std::map<QByteArray, std::pair<Backtest::FoldForecast, int>> read;
    while (q.next()) {
        const int slot = q.value(1).toInt();
        if (slot < 1 || slot > 10)
            continue;
        auto& [forecast, seen] = read[q.value(0).toString().toLatin1()];
        forecast.close[std::size_t(slot - 1)] = q.value(2).toLongLong();
        forecast.high[std::size_t(slot - 1)] = q.value(3).toLongLong();
        forecast.low[std::size_t(slot - 1)] = q.value(4).toLongLong();
        forecast.mse = q.value(5).toString().toFloat();
        seen |= 1 << slot;
    }
    // Only a fold with all its ten slots counts as kept.
    for (auto& [key, entry] : read)
        if (entry.second == 0x7fe)
            m_kept.emplace(key, entry.first);
}

void Backtester::writeKept() {
    m_sinceWrite.restart();
    if (m_unwritten.empty() || !m_cacheUsable)
        return;
    const QSqlDatabase db = m_store.dm().database(m_store.dm().csq());
    Transaction transaction(db);
    QSqlQuery counter(db);
    qint64 cnt = 0;
    if (counter.exec(QStringLiteral("select max(CNT) from ") + cacheTable) && counter.next())
        cnt = counter.value(0).toLongLong();
    QSqlQuery insert(db);
    if (!insert.prepare(QStringLiteral("insert into ") + cacheTable +
                        QStringLiteral(" (CNT, HSH, SLT, FCV, FHV, FLV, MSE) values "
                                       "(?, ?, ?, ?, ?, ?, ?)")))
        throw TorvaneError(Store::databaseReason(insert.lastError()));
    for (const auto& [key, forecast] : m_unwritten) {
        for (int k = 0; k < 10; ++k) {
            insert.bindValue(0, ++cnt);
            insert.bindValue(1, QString::fromLatin1(key));
            insert.bindValue(2, k + 1);
            insert.bindValue(3, forecast.close[std::size_t(k)]);
            insert.bindValue(4, forecast.high[std::size_t(k)]);
            insert.bindValue(5, forecast.low[std::size_t(k)]);
            insert.bindValue(6, QString::number(double(forecast.mse), 'g', 9));
            if (!insert.exec())
                throw TorvaneError(Store::databaseReason(insert.lastError()));
        }
    }
    transaction.commit();
    m_unwritten.clear();
}

int Backtester::keptFolds() const {
    if (!m_store.tableExists(QStringLiteral("csq"), cacheTable))
        return 0;
    QSqlQuery q(m_store.dm().database(m_store.dm().csq()));
    if (!q.exec(QStringLiteral("select count(distinct HSH) from ") + cacheTable) || !q.next())
        return 0;
    return q.value(0).toInt();
}

void Backtester::clearKept() {
    if (m_running)
        throw TorvaneError(duringBacktest(QStringLiteral("保存した予測を消せません")));
    if (!m_store.tableExists(QStringLiteral("csq"), cacheTable))
        return;
    QSqlQuery q(m_store.dm().database(m_store.dm().csq()));
    if (!q.exec(QStringLiteral("delete from ") + cacheTable))
        throw TorvaneError(Store::databaseReason(q.lastError()));
    m_kept.clear();
}
