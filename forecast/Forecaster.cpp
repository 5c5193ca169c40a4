#include "forecast/Forecaster.h"

#include "prices/PriceImport.h"
#include "store/Clock.h"
#include "store/Store.h"
#include "store/TextRules.h"
#include "store/TorvaneError.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <vector>

namespace {

// The columns of the chart's seven series, in series order.
const std::array<QString, 7> chartColumns = {
    QStringLiteral("CV"),  QStringLiteral("HV"),  QStringLiteral("LV"), QStringLiteral("M75"),
    QStringLiteral("M1H"), QStringLiteral("M4H"), QStringLiteral("M1D")};

struct EndOfBar {
    int year, month, day, hour, minute;
};

// A bar's end from its date text "yyyy/mm/dd" and time text "hh:nn" (seconds allowed).
EndOfBar endOfBar(const QString& lymd, const QString& lhm) {
    const QDate d = TextRules::readDate(lymd);
    const QTime t = TextRules::readTime(lhm);
    if (!d.isValid() || !t.isValid())
        throw TorvaneError(QStringLiteral("'%1 %2' は正しい日付時刻ではありません").arg(lymd, lhm));
    return {d.year(), d.month(), d.day(), t.hour(), t.minute()};
}

double numberOf(const QString& text, const QString& what) {
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok)
        throw TorvaneError(QStringLiteral("%1 '%2' は正しい数値ではありません").arg(what, text));
    return v;
}

// A stored price read as an integer for the chart: a price with a fraction left by a second
// decimal point (150123.5) is truncated toward zero.
int priceOf(const Field& field) {
    const QVariant v = field.value();
    if (v.typeId() == QMetaType::Double) {
        const double d = std::trunc(v.toDouble());
        if (std::isfinite(d) && d >= std::numeric_limits<int>::min() &&
            d <= std::numeric_limits<int>::max())
            return int(d);
    }
    return field.asInteger();
}

} // namespace

QStringList ForecastSummary::lines() const {
    const QString row = QStringLiteral("%1 %2  10ｺﾏ後値: %3  差額: %4");
    return {row.arg(QStringLiteral("最終高値:"), lastHigh, forecastHigh, highDiff),
            row.arg(QStringLiteral("最終終値:"), lastClose, forecastClose, closeDiff),
            row.arg(QStringLiteral("最終安値:"), lastLow, forecastLow, lowDiff),
            QStringLiteral("MSE(平均二乗誤差) ") + mseText};
}

ForecastBounds Forecaster::bounds(const QString& shm, const QString& slm) {
    ForecastBounds b;
    b.dhg = float(numberOf(shm, QStringLiteral("最高値")) + 1000.0);
    b.dlg = float(numberOf(slm, QStringLiteral("最安値")) - 1000.0);
    b.dsg = float(double(b.dhg) - double(b.dlg));
    // A price beyond the single-precision range would make every scaled value 0 or NaN.
    if (!std::isfinite(b.dhg) || !std::isfinite(b.dlg) || !std::isfinite(b.dsg))
        throw TorvaneError(
            QStringLiteral("最高値 '%1' または最安値 '%2' が大きすぎて学習できません")
                .arg(shm, slm));
    return b;
}

std::array<float, 5> Forecaster::inputsOf(const QString& lymd, const QString& lhm) {
    const EndOfBar e = endOfBar(lymd, lhm);
    return {float(e.year / 2025.0), float(e.month / 12.0), float(e.day / 31.0),
            float(e.hour / 24.0), float(e.minute / 60.0)};
}

float Forecaster::scaled(double price, const ForecastBounds& b) {
    return float((price - double(b.dlg)) / double(b.dsg));
}

QString Forecaster::descaled(float output, const ForecastBounds& b) {
    const double price = double(output) * double(b.dsg) + double(b.dlg);
    // A network fed with absurd prices can answer NaN or infinity, which no integer holds.
    if (!std::isfinite(price) || std::fabs(price) > 9.0e15)
        throw TorvaneError(
            QStringLiteral("予測値 %1 は価格として扱えません。FXﾃﾞｰﾀの価格を確認してください")
                .arg(price));
    return QString::number(std::llround(price));
}

QString Forecaster::difference(const QString& forecast, const QString& last) {
    qint64 d = 0;
    if (__builtin_sub_overflow(TextRules::integerOf(forecast), TextRules::integerOf(last), &d))
        throw TorvaneError(QStringLiteral("差額 %1 - %2 が大きすぎます").arg(forecast, last));
    return QString::number(d);
}

QString Forecaster::mseText(float mse) {
    QString t = QString::number(double(mse), 'f', 7);
    while (t.endsWith(u'0'))
        t.chop(1);
    if (t.endsWith(u'.'))
        t.chop(1);
    if (t.startsWith(QStringLiteral("0.")))
        t.remove(0, 1);
    if (t.isEmpty())
        t = QStringLiteral("0");
    return t.replace(u'.', QLocale().decimalPoint());
}

double Forecaster::estimatedSeconds(qint64 bars) {
    // The training kernel's time per pattern on a modest machine, half as much again as measured
    // (the AVX2 lanes some 70 ns, the scalar kernel some 135 ns, the lanes through libm about as
    // slow as the scalar kernel).
    const double secondsPerPattern =
        TrainingKernel::defaultKernel() == TrainingKernel::Kernel::Lanes ? 110e-9 : 200e-9;
    return double(bars) * passes * secondsPerPattern;
}

Forecaster::Forecaster(Store& store, PriceImport& prices) : m_store(store), m_prices(prices) {}

Forecaster::~Forecaster() = default;

void Forecaster::uq1K(int op) {
    if (op != forecastTrain && op != forecastChart)
        return;
    Registers& r = m_store.reg();
    r.stdb = QStringLiteral("csm");
    r.stnm = QStringLiteral("F01YSK");
    if (op == forecastChart) {
        const ChartData data = chartData(m_chartDays);
        Q_EMIT chartReady(data, m_prices.lastBarEnd());
        if (!data.error.isEmpty())
            throw TorvaneError(data.error);
        return;
    }
    // The window refuses this while a training is out; nothing else may start a second one.
    if (training())
        throw TorvaneError(duringTraining(QStringLiteral("学習できません")));

    Dialogs& dialogs = m_store.dialogs();
    dialogs.message(QStringLiteral("1000回学習します"));
    m_net.reset();
    static constexpr unsigned NeuronNumInLayer[] = {5, 5, 3};
    TrainingJob job;
    job.net = std::make_shared<TNervFann>(NeuronNumInLayer, 1.0f, seed);
    job.passes = passes;
    m_net = job.net;
    Pending pending;
    pending.bounds = bounds(r.shm, r.slm);
    const ForecastBounds& b = pending.bounds;

    r.swh = QStringLiteral(" where CNT <= ") + QString::number(r.imcn) +
            QStringLiteral(" order by CNT ");
    m_prices.uq4F(PriceImport::pricesOpen);
    Query& qd = m_store.dm().qd;
    ForecastSummary& s = pending.summary;
    s.lastHigh = qd.field(QStringLiteral("HV")).asString();
    s.lastClose = qd.field(QStringLiteral("CV")).asString();
    s.lastLow = qd.field(QStringLiteral("LV")).asString();

    // The patterns are the same on every pass, so they are read from the rows once.
    const int count = qd.recordCount();
    job.inputs.resize(std::size_t(count) * 5);
    job.targets.resize(std::size_t(count) * 3);
    const int cv = qd.fieldIndex(QStringLiteral("CV"));
    const int hv = qd.fieldIndex(QStringLiteral("HV"));
    const int lv = qd.fieldIndex(QStringLiteral("LV"));
    int i = 0;
    for (qd.first(); !qd.eof(); qd.next(), ++i) {
        const auto in = inputsOf(qd.field(QStringLiteral("LYMD")).asString(),
                                 qd.field(QStringLiteral("LHM")).asString());
        std::copy(in.begin(), in.end(), job.inputs.begin() + i * 5);
        job.targets[i * 3] = scaled(qd.field(cv).asFloat(), b);
        job.targets[i * 3 + 1] = scaled(qd.field(hv).asFloat(), b);
        job.targets[i * 3 + 2] = scaled(qd.field(lv).asFloat(), b);
    }
    // The last bar's values are shown now, so that a forecast that fails still leaves them.
    Q_EMIT lastBarShown(s);
    // While the window goes on beside the training, its chart shows the new bars alone, never
    // beside the previous import's forecast.
    if (m_jobs.run() == TrainingJobs::Run::offThread)
        Q_EMIT chartReady(barsWithoutForecast(), m_prices.lastBarEnd());

    Q_EMIT progressed(0, passes);
    Q_EMIT trainingStarted(count);
    m_jobs.start(
        std::move(job), [this](int done, int total) { Q_EMIT progressed(done, total); },
        [this, pending](TrainingJob back) {
            if (m_jobs.run() == TrainingJobs::Run::here) {
                forecastWith(std::move(back), pending);
                return;
            }
            // Back from the pool in the window's loop: nothing above catches, so an error ends
            // the forecast here, said as any action's error is.
            try {
                forecastWith(std::move(back), pending);
            } catch (const TorvaneError& e) {
                m_store.dialogs().error(e.text());
            } catch (const std::bad_alloc&) {
                m_store.dialogs().error(outOfMemoryText());
            }
        });
}

ChartData Forecaster::barsWithoutForecast() {
    try {
        return chartData(m_chartDays);
    } catch (const TorvaneError& e) {
        // A day count that is no integer is said when the forecast draws its chart.
        ChartData none;
        none.error = e.text();
        return none;
    }
}

void Forecaster::forecastWith(TrainingJob job, const Pending& pending) {
    // finished() is said after an error too, outside any destructor: what follows it may throw.
    m_finishing = true;
    try {
        forecastAfter(std::move(job), pending);
    } catch (...) {
        m_finishing = false;
        Q_EMIT finished();
        throw;
    }
    m_finishing = false;
    Q_EMIT finished();
}

void Forecaster::forecastAfter(TrainingJob job, const Pending& pending) {
    Q_EMIT trainingEnded(job.finished());
    if (job.failure)
        std::rethrow_exception(job.failure);
    if (!job.finished()) {
        // A half-trained network forecasts nothing; the imported bars stay as they are.
        m_net.reset();
        m_store.dialogs().message(QStringLiteral("学習を中止しました"));
        return;
    }
    forecastSlots(pending);
    m_store.dialogs().message(QStringLiteral("学習終了 ｸﾞﾗﾌ表示します"));
    uq1K(forecastChart);
}

void Forecaster::forecastSlots(const Pending& pending) {
    Registers& r = m_store.reg();
    const ForecastBounds& b = pending.bounds;
    // The registers as the training found them: off the thread, other pages ran meanwhile.
    r.stdb = QStringLiteral("csm");
    r.stnm = QStringLiteral("F01YSK");
    r.swh = QStringLiteral(" where CNT > ") + QString::number(r.imcn) +
            QStringLiteral(" order by CNT ");
    m_prices.uq4F(PriceImport::pricesOpen);
    Query& qd = m_store.dm().qd;
    for (qd.first(); !qd.eof(); qd.next()) {
        const auto in = inputsOf(qd.field(QStringLiteral("LYMD")).asString(),
                                 qd.field(QStringLiteral("LHM")).asString());
        std::array<float, 3> out{};
        m_net->Run(in, out);
        r.sa[1] = descaled(out[0], b);
        r.sa[2] = descaled(out[1], b);
        r.sa[3] = descaled(out[2], b);
        r.sqw = QStringLiteral(" update F01YSK set CV = ") + r.sa[1] + QStringLiteral(", HV = ") +
                r.sa[2] + QStringLiteral(", LV = ") + r.sa[3] + QStringLiteral(" where CNT = ") +
                QString::number(qd.field(QStringLiteral("CNT")).asInteger());
        m_store.uexSql(Store::execMemory);
    }

    ForecastSummary s = pending.summary;
    s.forecastHigh = r.sa[2];
    s.highDiff = difference(s.forecastHigh, s.lastHigh);
    s.forecastClose = r.sa[1];
    s.closeDiff = difference(s.forecastClose, s.lastClose);
    s.forecastLow = r.sa[3];
    s.lowDiff = difference(s.forecastLow, s.lastLow);
    m_summary = s;
    Q_EMIT summaryShown(m_summary);

    m_net->CreateNeuronBmp(m_diagram);
    m_summary.mse = m_net->GetMSE();
    m_summary.mseText = mseText(m_summary.mse);
    Q_EMIT networkDrawn(m_diagram, m_summary.mseText);
    Q_EMIT completed(m_summary);
}

ChartData Forecaster::chartData(const QString& dayCount) {
    bool ok = false;
    const int d = dayCount.trimmed().toInt(&ok);
    if (!ok)
        throw TorvaneError(QStringLiteral("'%1' は正しい日数ではありません").arg(dayCount));
    Registers& r = m_store.reg();
    r.stdb = QStringLiteral("csm");
    r.stnm = QStringLiteral("F01YSK");
    r.swh = QStringLiteral(" where SYMD > '") +
            TextRules::dateText(Clock::today().addDays(-d)) +
            QStringLiteral("'  order by CNT ");
    m_prices.uq4F(PriceImport::pricesOpen);

    ChartData data;
    data.title = dayCount + QStringLiteral(" 日間FX価格+予測10ｺﾏ ﾁｬｰﾄ");
    Query& qd = m_store.dm().qd;
    std::array<int, 7> columns{};
    for (std::size_t c = 0; c < columns.size(); ++c)
        columns[c] = qd.fieldIndex(chartColumns[c]);
    try {
        for (qd.first(); !qd.eof(); qd.next()) {
            const EndOfBar e = endOfBar(qd.field(QStringLiteral("LYMD")).asString(),
                                        qd.field(QStringLiteral("LHM")).asString());
            const double x =
                double(QDateTime(QDate(e.year, e.month, e.day), QTime(e.hour, e.minute))
                           .toMSecsSinceEpoch());
            for (std::size_t c = 0; c < columns.size(); ++c) {
                const int price = priceOf(qd.field(columns[c]));
                if (price > 0)
                    data.series[c].append(QPointF(x, price));
            }
        }
    } catch (const TorvaneError& e) {
        data.error = e.text();
    }
    // Each line runs forward in time, even over a file out of time order or slots whose step
    // goes backwards; bars of the same time keep their CNT order.
    for (QList<QPointF>& points : data.series)
        std::stable_sort(points.begin(), points.end(),
                         [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); });
    return data;
}
