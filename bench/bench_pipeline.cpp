// Times "FX読込" without the window on a generated two-month price file: the file read and the
// bars inserted, the 75-bar average and the time-frame tables with their averages, the training
// of 1000 passes with the forecast of the ten slots, and the final refresh of the FX table.
// Reports the peak memory of the process, then times the bare fann_train loop over the same
// patterns for comparison.
//   bench_pipeline [MINUTES] [MONTHS]   bars of MINUTES (15 unless told) over MONTHS (2)
#include "BenchSupport.h"
#include "TrainingPatterns.h"
#include "session/Session.h"
#include "store/Clock.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <ctime>

using bench::cpuMs;
using bench::peakKilobytes;
using bench::SilentDialogs;

namespace {

// Marks the processor time of every message, which is where the import's steps meet.
class TimingDialogs : public Dialogs {
public:
    double start = 0;
    QList<double> at;
    void message(const QString&) override { at << cpuMs() - start; }
    bool confirm(const QString&) override { return true; }
    void error(const QString& text) override { std::fprintf(stderr, "%s\n", qPrintable(text)); }
    QString openFile() override { return {}; }
};

// Bars of the given minutes over the months before end, every day, as the sample-price tool
// writes them.
QByteArray priceFile(const QDateTime& end, int minutes, int months, int* bars) {
    QByteArray text = "Date,Time,Open,High,Low,Close,EndDate,EndTime\r\n";
    QRandomGenerator random(20250709);
    double close = 150.0;
    const double volatility = 0.02 * std::sqrt(minutes / 15.0);
    const auto price = [](double yen) { return QByteArray::number(yen, 'f', 3); };
    *bars = 0;
    for (QDateTime start = end.addMonths(-months); start.addSecs(minutes * 60) <= end;
         start = start.addSecs(minutes * 60)) {
        const QDateTime barEnd = start.addSecs(minutes * 60);
        const double open = close;
        close = open + volatility * (random.generateDouble() * 2.0 - 1.0) * 2.0 +
                (150.0 - open) * 0.0005;
        const double high = std::max(open, close) + volatility * random.generateDouble();
        const double low = std::min(open, close) - volatility * random.generateDouble();
        text += start.toString(QStringLiteral("yyyy/MM/dd,HH:mm,")).toLatin1() + price(open) + ',' +
                price(high) + ',' + price(low) + ',' + price(close) + ',' +
                barEnd.toString(QStringLiteral("yyyy/MM/dd,HH:mm")).toLatin1() + "\r\n";
        ++*bars;
    }
    return text;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int minutes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    const int months = argc > 2 ? std::max(1, std::atoi(argv[2])) : 2;
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    const QDateTime end(QDate(2025, 7, 9), QTime(0, 0), Qt::UTC);
    Clock::fix(end);
    int bars = 0;
    const QString path = dir.filePath(QStringLiteral("USDJPY.CSV"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        f.write(priceFile(end, minutes, months, &bars));
    }

    TimingDialogs dialogs;
    Session session(dialogs);
    session.openDatabases();
    dialogs.at.clear(); // the first run's catalogue message
    session.forecast.seed = 20250709;
    session.forecastEveryImport(TrainingJobs::Run::here);
    const long before = peakKilobytes();

    QElapsedTimer wall;
    wall.start();
    dialogs.start = cpuMs();
    session.prices.importFile(path);
    const double all = cpuMs() - dialogs.start;
    const qint64 wallMs = wall.elapsed();
    // Messages: read and inserted, training begins, training ended.
    if (dialogs.at.size() != 3 || session.reg.imcn != bars) {
        std::fprintf(stderr,
                     "the pipeline did not run through: %lld messages, imcn %d of %d bars\n",
                     qint64(dialogs.at.size()), session.reg.imcn, bars);
        return 1;
    }
    const double read = dialogs.at[0], averaged = dialogs.at[1], trained = dialogs.at[2];
    std::printf("%d-minute bars, %d months: %d bars; processor time: read and inserted %.0f ms, "
                "averages %.0f ms, training and forecast %.0f ms, final refresh %.0f ms, all "
                "%.0f ms (%.1f us per bar; wall %lld ms); peak memory %ld kB (%ld kB before the "
                "import)\n",
                minutes, months, bars, read, averaged - read, trained - averaged, all - trained,
                all, all * 1000.0 / bars, wallMs, peakKilobytes(), before);
    const long peak = peakKilobytes();
    const bench::Patterns patterns = bench::readPatterns(session);
    float mse = 0;
    const double bare = bench::bareLoop(patterns, 20250709, Forecaster::passes, mse);
    std::printf("bare fann_train loop over the same %d patterns: %.0f ms; whole pipeline %.3f x, "
                "training and forecast %.3f x; MSE %s (peak memory before it %ld kB)\n",
                patterns.count, bare, all / bare, (trained - averaged) / bare,
                mse == session.forecast.summary().mse ? "same" : "DIFFERENT", peak);
    return 0;
}
