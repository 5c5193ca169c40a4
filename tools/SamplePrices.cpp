// torvane-sample-prices: a USD/JPY price file in the layout the import reads, ending now.
// One header line, then one line per bar: start date, start time, open, high, low, close, end
// date, end time; prices with three decimals. Times are Japan times. The last bar ends at or
// before the end moment on the interval's grid, so the two-month cutoff of the import never makes
// the file stale; bars are written only while the market is open, as in a real file.
#include "session/Translations.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QRandomGenerator>
#include <QStringList>
#include <QTextStream>
#include <QTimeZone>

#include <cmath>
#include <cstdio>
#include <optional>

namespace {

constexpr int usageError = 2;

QString usage() {
    return QStringLiteral("使い方: torvane-sample-prices OUT.CSV [--interval MINUTES] "
                          "[--end \"yyyy/mm/dd hh:mm\"] [--months N] [--seed N]\n"
                          "        torvane-sample-prices --help | --version");
}

int fail(const QString& text) {
    std::fprintf(stderr, "torvane-sample-prices: %s\n%s\n", qPrintable(text), qPrintable(usage()));
    return usageError;
}

QString price(double yen) {
    return QString::number(yen, 'f', 3);
}

// The foreign-exchange week runs from Sunday 17:00 to Friday 17:00 in New York: Monday 07:00 to
// Saturday 07:00 in Japan, an hour earlier while New York keeps daylight-saving time.
class MarketHours {
public:
    MarketHours() : m_newYork(QByteArrayLiteral("America/New_York")) {}
    bool known() const { return m_newYork.isValid(); }

    // Whether the moment, a Japan wall-clock time, falls in the trading week.
    bool open(const QDateTime& japan) const {
        // Japan keeps no daylight saving: nine hours ahead of UTC all year.
        const QDateTime utc(japan.date(), japan.time(), Qt::UTC);
        const QDateTime newYork = utc.addSecs(-9 * 3600).toTimeZone(m_newYork);
        const int day = newYork.date().dayOfWeek(); // Monday 1 .. Sunday 7
        const bool afterFive = newYork.time() >= QTime(17, 0);
        if (day == Qt::Saturday)
            return false;
        if (day == Qt::Sunday)
            return afterFive;
        if (day == Qt::Friday)
            return !afterFive;
        return true;
    }
    // A bar is written when it starts and ends within one stretch of open market.
    bool holds(const QDateTime& start, const QDateTime& end) const {
        return open(start) && open(end.addSecs(-1));
    }

private:
    QTimeZone m_newYork;
};

// A whole number from min to max, or nothing.
std::optional<int> number(const QString& text, int min, int max) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < min || value > max)
        return std::nullopt;
    return value;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(TORVANE_VERSION));
    installQtTranslations(app);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("FX読込で試せる USD/JPY の見本の価格ファイル OUT.CSV を書きます"
                       "(日本時間、価格は小数3桁)。最後の足は終了時刻までに終わり、足は市場が"
                       "開いている間だけ(月曜7:00から土曜7:00、ニューヨークの夏時間中は6:00から"
                       "6:00)書きます。"));
    parser.addPositionalArgument(QStringLiteral("OUT.CSV"),
                                 QStringLiteral("書き出す価格ファイル(あれば置き換えます)。"));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("この説明を表示して終わります。"));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("バージョンを表示して終わります。"));
    const QCommandLineOption interval(QStringLiteral("interval"),
                                      QStringLiteral("足の長さ(分、1から1440)。既定は15。"),
                                      QStringLiteral("MINUTES"), QStringLiteral("15"));
    const QCommandLineOption end(QStringLiteral("end"),
                                 QStringLiteral("最後の足が終わる時刻(日本時間)。既定は今。"),
                                 QStringLiteral("yyyy/mm/dd hh:mm"));
    const QCommandLineOption months(QStringLiteral("months"),
                                    QStringLiteral("何か月分書くか(1から120)。既定は2。"),
                                    QStringLiteral("N"), QStringLiteral("2"));
    const QCommandLineOption seed(QStringLiteral("seed"),
                                  QStringLiteral("乱数の種。同じ種なら同じ価格になります。"),
                                  QStringLiteral("N"), QStringLiteral("20250709"));
    for (const QCommandLineOption* o : {&help, &version, &interval, &end, &months, &seed})
        parser.addOption(*o);

    if (!parser.parse(app.arguments())) {
        const QStringList unknown = parser.unknownOptionNames();
        return fail(unknown.isEmpty() ? parser.errorText()
                                      : QStringLiteral("不明なオプション %1")
                                            .arg((unknown[0].size() == 1 ? QStringLiteral("-")
                                                                         : QStringLiteral("--")) +
                                                 unknown[0]));
    }
    if (parser.isSet(help)) {
        QString text = parser.helpText();
        // The usage line names the program as started (a path); the command's name reads better.
        const QString started = app.arguments().constFirst();
        if (const qsizetype at = text.indexOf(started); at >= 0 && at < text.indexOf(u'\n'))
            text.replace(at, started.size(), QStringLiteral("torvane-sample-prices"));
        std::fputs(text.toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::fputs("torvane-sample-prices " TORVANE_VERSION "\n", stdout);
        return 0;
    }

    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return fail(QStringLiteral("書き出すファイル OUT.CSV がありません"));
    if (positional.size() > 1)
        return fail(QStringLiteral("ファイルは1つだけ指定してください: %1").arg(positional[1]));
    const QString out = positional[0];
    const std::optional<int> minutes = number(parser.value(interval), 1, 1440);
    if (!minutes)
        return fail(QStringLiteral("--interval の値 '%1' は1から1440の整数ではありません")
                        .arg(parser.value(interval)));
    const std::optional<int> span = number(parser.value(months), 1, 120);
    if (!span)
        return fail(QStringLiteral("--months の値 '%1' は1から120の整数ではありません")
                        .arg(parser.value(months)));
    bool seedOk = false;
    const quint32 seedValue = parser.value(seed).toUInt(&seedOk);
    if (!seedOk)
        return fail(
            QStringLiteral("--seed の値 '%1' は0以上の整数ではありません").arg(parser.value(seed)));
    QDateTime last = QDateTime::currentDateTime();
    if (parser.isSet(end)) {
        last = QDateTime::fromString(parser.value(end), QStringLiteral("yyyy/MM/dd HH:mm"));
        if (!last.isValid())
            return fail(QStringLiteral("--end の時刻 '%1' を読めません(yyyy/mm/dd hh:mm)")
                            .arg(parser.value(end)));
    }
    const MarketHours market;
    if (!market.known()) {
        std::fputs("torvane-sample-prices: タイムゾーン America/New_York がありません(tzdata)\n",
                   stderr);
        return 1;
    }

    // Bars on the clock's whole intervals; the last one ends at or before the end moment. The
    // wall-clock times are counted without time zone, so no daylight-saving shift shows.
    const qint64 step = qint64(*minutes) * 60;
    last = QDateTime(last.date(), last.time(), Qt::UTC);
    const QDateTime day(last.date(), QTime(0, 0), Qt::UTC);
    const qint64 sinceMidnight = day.secsTo(last);
    const QDateTime lastEnd = day.addSecs(sinceMidnight - sinceMidnight % step);
    QDateTime start = lastEnd.addMonths(-*span);

    QFile file(out);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "torvane-sample-prices: %s に書けません: %s\n", qPrintable(out),
                     qPrintable(file.errorString()));
        return 1;
    }
    QTextStream s(&file);
    s << "Date,Time,Open,High,Low,Close,EndDate,EndTime\r\n";
    QRandomGenerator random(seedValue);
    double close = 150.0;
    const double volatility = 0.02 * std::sqrt(*minutes / 15.0);
    for (; start.addSecs(step) <= lastEnd; start = start.addSecs(step)) {
        const QDateTime barEnd = start.addSecs(step);
        if (!market.holds(start, barEnd))
            continue;
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
    if (file.error() != QFileDevice::NoError) {
        std::fprintf(stderr, "torvane-sample-prices: %s\n", qPrintable(file.errorString()));
        return 1;
    }
    return 0;
}
