// torvane-sample-prices: a USD/JPY price file in the layout the import reads, ending now.
//   torvane-sample-prices OUT.CSV [--interval MINUTES] [--end "yyyy/mm/dd hh:mm"] [--months N]
//                                 [--seed N]
// One header line, then one line per bar: start date, start time, open, high, low, close, end
// date, end time; prices with three decimals. The last bar ends at the present moment rounded
// down to the interval, so the two-month cutoff of the import never makes the file stale.
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QRandomGenerator>
#include <QStringList>
#include <QTextStream>

#include <cmath>
#include <cstdio>

namespace {

int fail(const QString& text) {
    std::fprintf(stderr, "%s\n", qPrintable(text));
    return 2;
}

QString price(double yen) {
    return QString::number(yen, 'f', 3);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    QString out;
    int interval = 15;
    int months = 2;
    quint32 seed = 20250709;
    QDateTime end = QDateTime::currentDateTime();
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == QLatin1String("--interval") && hasValue)
            interval = args[++i].toInt();
        else if (a == QLatin1String("--months") && hasValue)
            months = args[++i].toInt();
        else if (a == QLatin1String("--seed") && hasValue)
            seed = args[++i].toUInt();
        else if (a == QLatin1String("--end") && hasValue)
            end = QDateTime::fromString(args[++i], QStringLiteral("yyyy/MM/dd HH:mm"));
        else if (!a.startsWith(QLatin1String("--")) && out.isEmpty())
            out = a;
        else
            return fail(QStringLiteral("usage: torvane-sample-prices OUT.CSV [--interval MINUTES] "
                                       "[--end \"yyyy/mm/dd hh:mm\"] [--months N] [--seed N]"));
    }
    if (out.isEmpty() || interval < 1 || interval > 1440 || months < 1 || !end.isValid())
        return fail(QStringLiteral("torvane-sample-prices: bad arguments"));

    // Bars on the local clock's whole intervals; the last one ends at or before the end moment.
    // The wall-clock times are counted without time zone, so no daylight-saving shift shows.
    const qint64 step = qint64(interval) * 60;
    end = QDateTime(end.date(), end.time(), Qt::UTC);
    const QDateTime day(end.date(), QTime(0, 0), Qt::UTC);
    const qint64 sinceMidnight = day.secsTo(end);
    const QDateTime lastEnd = day.addSecs(sinceMidnight - sinceMidnight % step);
    QDateTime start = lastEnd.addMonths(-months);

    QFile file(out);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return fail(QStringLiteral("cannot write %1: %2").arg(out, file.errorString()));
    QTextStream s(&file);
    s << "Date,Time,Open,High,Low,Close,EndDate,EndTime\r\n";
    QRandomGenerator random(seed);
    double close = 150.0;
    const double volatility = 0.02 * std::sqrt(interval / 15.0);
    for (; start.addSecs(step) <= lastEnd; start = start.addSecs(step)) {
        const QDateTime barEnd = start.addSecs(step);
        const double open = close;
        close = open + volatility * (random.generateDouble() * 2.0 - 1.0) * 2.0 +
                (150.0 - open) * 0.0005;
        const double high = std::max(open, close) + volatility * random.generateDouble();
        const double low = std::min(open, close) - volatility * random.generateDouble();
        s << start.toString(QStringLiteral("yyyy/MM/dd,HH:mm,")) << price(open) << ','
          << price(high) << ',' << price(low) << ',' << price(close) << ','
          << barEnd.toString(QStringLiteral("yyyy/MM/dd,HH:mm")) << "\r\n";
    }
    s.flush();
    return file.error() == QFileDevice::NoError ? 0 : fail(file.errorString());
}
