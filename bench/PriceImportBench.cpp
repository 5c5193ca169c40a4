// Times the price import on two months of 1-minute bars: the file read, the bars inserted, the
// 75-bar average and the time-frame tables with their averages (everything of "FX読込" before
// training), and reports the peak memory.
#include "BenchSupport.h"
#include "session/Session.h"
#include "store/Clock.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>

using bench::cpuMs;
using bench::peakKilobytes;
using bench::SilentDialogs;

namespace {

// Two months of 1-minute bars on weekdays, about 63,000 lines, ending on the fixed today.
QByteArray priceFile(const QDateTime& lastEnd, int* lines) {
    QByteArray text = "Date,Time,Open,High,Low,Close,EndDate,EndTime\r\n";
    QRandomGenerator random(7);
    double close = 150.0;
    *lines = 0;
    for (QDateTime t = lastEnd.addMonths(-2); t < lastEnd; t = t.addSecs(60)) {
        if (t.date().dayOfWeek() > 5)
            continue;
        const double open = close;
        close += (random.generateDouble() - 0.5) * 0.02;
        const QDateTime e = t.addSecs(60);
        text += t.toString(QStringLiteral("yyyy/MM/dd,HH:mm,")).toLatin1() +
                QByteArray::number(open, 'f', 3) + ',' +
                QByteArray::number(std::max(open, close) + 0.005, 'f', 3) + ',' +
                QByteArray::number(std::min(open, close) - 0.005, 'f', 3) + ',' +
                QByteArray::number(close, 'f', 3) + ',' +
                e.toString(QStringLiteral("yyyy/MM/dd,HH:mm")).toLatin1() + "\r\n";
        ++*lines;
    }
    return text;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    const QDate today(2025, 7, 9);
    Clock::fix(QDateTime(today, QTime(0, 0)));

    int lines = 0;
    const QString path = dir.filePath(QStringLiteral("USDJPY_1M.CSV"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        f.write(priceFile(QDateTime(today, QTime(0, 0), Qt::UTC), &lines));
    }

    SilentDialogs dialogs;
    Session session(dialogs);
    session.openDatabases();
    const long before = peakKilobytes();

    const int runs = argc > 1 ? QByteArray(argv[1]).toInt() : 3;
    for (int run = 1; run <= runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        const double cpu = cpuMs();
        // The forecast step comes right after the averages: the time up to it is the read, the
        // inserts, the opening of qd and the averages.
        qint64 averagedMs = 0;
        double averagedCpu = 0;
        QObject heard;
        QObject::connect(&session.prices, &PriceImport::averaged, &heard, [&] {
            averagedMs = timer.elapsed();
            averagedCpu = cpuMs() - cpu;
        });
        session.prices.importFile(path); // the second and later runs replace the first
        const qint64 ms = timer.elapsed();
        std::printf("run %d: %d lines, imcn %d: read, inserted and averaged %lld ms (%.0f ms "
                    "CPU); with the final refresh of qd %lld ms (%.0f ms CPU)\n",
                    run, lines, session.reg.imcn, static_cast<long long>(averagedMs), averagedCpu,
                    static_cast<long long>(ms), cpuMs() - cpu);
    }
    std::printf("peak memory %ld kB (%ld kB before the first import)\n", peakKilobytes(), before);
    return 0;
}
