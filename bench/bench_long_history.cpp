// Peak memory of a price file holding years of 1-minute bars of which the import keeps two
// months, beside the file of those two months alone, and of converting a platform export of the
// same years. Reading line by line, the long file should cost no more memory than the short one.
//
//     bench_long_history [YEARS]
#include "BenchSupport.h"
#include "prices/PlatformExport.h"
#include "session/Session.h"
#include "store/Clock.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

using bench::cpuMs;
using bench::peakKilobytes;
using bench::SilentDialogs;

namespace {

// 1-minute bars on weekdays from first to last, written as they are made so that the file never
// sits in memory. mt4: the platform's history layout instead of the program's.
qint64 writeBars(const QString& path, const QDateTime& first, const QDateTime& last, bool mt4) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return -1;
    if (!mt4)
        f.write("Date,Time,Open,High,Low,Close,EndDate,EndTime\r\n");
    QByteArray chunk;
    qint64 lines = 0;
    double close = 150.0;
    quint32 seed = 7;
    for (QDateTime t = first; t < last; t = t.addSecs(60)) {
        if (t.date().dayOfWeek() > 5)
            continue;
        seed = seed * 1664525u + 1013904223u;
        const double open = close;
        close += (double(seed >> 8) / double(1 << 24) - 0.5) * 0.02;
        const QByteArray prices = QByteArray::number(open, 'f', 3) + ',' +
                                  QByteArray::number(std::max(open, close) + 0.005, 'f', 3) + ',' +
                                  QByteArray::number(std::min(open, close) - 0.005, 'f', 3) + ',' +
                                  QByteArray::number(close, 'f', 3);
        if (mt4)
            chunk +=
                t.toString(QStringLiteral("yyyy.MM.dd,HH:mm,")).toLatin1() + prices + ",10\r\n";
        else
            chunk += t.toString(QStringLiteral("yyyy/MM/dd,HH:mm,")).toLatin1() + prices + ',' +
                     t.addSecs(60).toString(QStringLiteral("yyyy/MM/dd,HH:mm")).toLatin1() + "\r\n";
        ++lines;
        if (chunk.size() > (1 << 20)) {
            f.write(chunk);
            chunk.clear();
        }
    }
    f.write(chunk);
    return lines;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int years = argc > 1 ? QByteArray(argv[1]).toInt() : 3;
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    const QDate today(2025, 7, 9);
    Clock::fix(QDateTime(today, QTime(0, 0)));
    const QDateTime end(today, QTime(0, 0), Qt::UTC);

    const QString shortFile = dir.filePath(QStringLiteral("TWO_MONTHS.CSV"));
    const QString longFile = dir.filePath(QStringLiteral("YEARS.CSV"));
    const QString exportFile = dir.filePath(QStringLiteral("MT4.CSV"));
    const qint64 shortLines = writeBars(shortFile, end.addMonths(-2), end, false);
    const qint64 longLines = writeBars(longFile, end.addYears(-years), end, false);
    const qint64 exportLines = writeBars(exportFile, end.addYears(-years), end, true);
    if (shortLines < 0 || longLines < 0 || exportLines < 0)
        return 1;

    SilentDialogs dialogs;
    Session session(dialogs);
    session.openDatabases();
    std::printf("start-up: peak %ld kB\n", peakKilobytes());

    // Peak memory only grows, so the short file goes first: the long one may add nothing to it.
    for (const auto& [path, lines] :
         {std::pair{shortFile, shortLines}, std::pair{longFile, longLines}}) {
        QElapsedTimer timer;
        timer.start();
        const double cpu = cpuMs();
        session.prices.importFile(path);
        std::printf("import of %lld lines (%lld MB), %d bars kept: %lld ms (%.0f ms CPU), "
                    "peak %ld kB\n",
                    static_cast<long long>(lines),
                    static_cast<long long>(QFileInfo(path).size() >> 20), session.reg.imcn,
                    static_cast<long long>(timer.elapsed()), cpuMs() - cpu, peakKilobytes());
    }
    QElapsedTimer timer;
    timer.start();
    const double cpu = cpuMs();
    PlatformExport::convertFile(exportFile, dir.filePath(QStringLiteral("CONVERTED.CSV")), 0);
    std::printf("--convert of %lld lines (%lld MB): %lld ms (%.0f ms CPU), peak %ld kB\n",
                static_cast<long long>(exportLines),
                static_cast<long long>(QFileInfo(exportFile).size() >> 20),
                static_cast<long long>(timer.elapsed()), cpuMs() - cpu, peakKilobytes());
    return 0;
}
