#include "prices/PlatformExport.h"

#include "store/TextFile.h"
#include "store/TorvaneError.h"

#include <QDateTime>
#include <QFile>
#include <QMap>
#include <QRegularExpression>

namespace PlatformExport {

namespace {

struct Bar {
    QDateTime start;
    QString open, high, low, close;
};

const QString expected = QStringLiteral(
    "MT4 の履歴 (YYYY.MM.DD,HH:MM,始値,高値,安値,終値,出来高) か MT5 の「Export Bars」"
    "(<DATE>\t<TIME>\t<OPEN>\t<HIGH>\t<LOW>\t<CLOSE>\t<TICKVOL>\t<VOL>\t<SPREAD>) の形式で"
    "ありません");

QDateTime readStart(const QString& date, const QString& time) {
    for (const char* layout : {"yyyy.MM.dd HH:mm", "yyyy.MM.dd HH:mm:ss"}) {
        QDateTime dt = QDateTime::fromString(date + u' ' + time, QLatin1String(layout));
        if (dt.isValid()) {
            dt.setTimeSpec(Qt::UTC); // plain wall-clock arithmetic, no daylight-saving gaps
            return dt;
        }
    }
    return {};
}

bool isPrice(const QString& text) {
    static const QRegularExpression price(QStringLiteral(R"(^\d+(\.\d+)?$)"));
    return price.match(text).hasMatch();
}

int decimals(const QString& price) {
    const qsizetype point = price.indexOf(u'.');
    return point < 0 ? 0 : int(price.size() - point - 1);
}

// The import reads a price as its digits with the point removed, so every price of one file has
// to carry the same number of decimals: 146.1 among 146.123 would read as 1461.
QString padded(const QString& price, int places) {
    const int have = decimals(price);
    if (have == places)
        return price;
    return price + (have == 0 ? QStringLiteral(".") : QString()) + QString(places - have, u'0');
}

void fail(int lineNumber, const QString& line) {
    throw TorvaneError(QStringLiteral("%1 行目: %2\n%3").arg(lineNumber).arg(line.left(80), expected));
}

bool isMt4Line(const QString& line) {
    const QStringList f = line.trimmed().split(u',');
    return f.size() >= 7 && readStart(f[0], f[1]).isValid();
}

} // namespace

ServerTime ServerTime::parse(const QString& text) {
    const QString t = text.trimmed();
    bool ok = false;
    const int hours = t.toInt(&ok);
    if (ok && qAbs(hours) <= maxShiftHours)
        return ServerTime(hours);
    if (!ok && !t.isEmpty() && QTimeZone::isTimeZoneIdAvailable(t.toUtf8()))
        return ServerTime(QTimeZone(t.toUtf8()));
    throw TorvaneError(QStringLiteral("'%1' は時差(整数の時間、例: 7)でもタイムゾーン名"
                                      "(例: Europe/Athens)でもありません")
                           .arg(t.left(80)));
}

QString ServerTime::text() const {
    return zone.isValid() ? QString::fromUtf8(zone.id()) : QString::number(shiftHours);
}

QDateTime ServerTime::toJapan(const QDateTime& serverTime) const {
    if (!zone.isValid())
        return serverTime.addSecs(qint64(shiftHours) * 3600);
    const QDateTime local(serverTime.date(), serverTime.time(), zone);
    // A time the clocks skip when summer time starts is moved; such a time was never shown.
    if (!local.isValid() || local.time() != serverTime.time())
        return {};
    // Japan keeps no daylight saving; the result is plain wall-clock time again.
    const QDateTime japan = local.toOffsetFromUtc(9 * 3600);
    return QDateTime(japan.date(), japan.time(), Qt::UTC);
}

Layout detect(const QStringList& lines) {
    for (const QString& line : lines) {
        if (line.trimmed().isEmpty())
            continue;
        if (line.startsWith(QLatin1String("<DATE>")))
            return Layout::Mt5;
        return isMt4Line(line) ? Layout::Mt4 : Layout::Plain;
    }
    return Layout::Plain;
}

QString layoutName(Layout layout) {
    switch (layout) {
    case Layout::Mt4:
        return QStringLiteral("MT4");
    case Layout::Mt5:
        return QStringLiteral("MT5");
    case Layout::Plain:
        break;
    }
    return {};
}

QStringList convert(const QStringList& lines, const ServerTime& serverTime) {
    int first = 0;
    while (first < lines.size() && lines[first].trimmed().isEmpty())
        ++first;
    if (first == lines.size())
        throw TorvaneError(QStringLiteral("足がありません。") + expected);

    const bool mt5 = lines[first].startsWith(QLatin1String("<DATE>"));
    if (mt5) {
        const QStringList head = lines[first].split(u'\t');
        if (head.size() < 6 || head[1] != QLatin1String("<TIME>") || head[2] != QLatin1String("<OPEN>") ||
            head[3] != QLatin1String("<HIGH>") || head[4] != QLatin1String("<LOW>") ||
            head[5] != QLatin1String("<CLOSE>"))
            fail(first + 1, lines[first]);
        ++first;
    }

    QVector<Bar> bars;
    for (int i = first; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty())
            continue;
        const QStringList f = line.split(mt5 ? u'\t' : u',');
        if (f.size() < (mt5 ? 6 : 7))
            fail(i + 1, line);
        Bar bar{readStart(f[0], f[1]), f[2], f[3], f[4], f[5]};
        if (!bar.start.isValid() || !isPrice(bar.open) || !isPrice(bar.high) || !isPrice(bar.low) ||
            !isPrice(bar.close))
            fail(i + 1, line);
        bar.start = serverTime.toJapan(bar.start);
        if (!bar.start.isValid())
            throw TorvaneError(QStringLiteral("%1 行目: %2\n時刻がタイムゾーン %3 にありません"
                                              "(夏時間の切り替えで飛ばされる時刻です)")
                                   .arg(i + 1)
                                   .arg(line.left(80), serverTime.text()));
        bars << bar;
    }
    if (bars.size() < 2)
        throw TorvaneError(QStringLiteral("足の長さを決めるには 2 本以上の足が必要です"));

    // The most common interval; on a tie the shorter one.
    QMap<qint64, int> intervals;
    for (int i = 1; i < bars.size(); ++i) {
        const qint64 step = bars[i - 1].start.secsTo(bars[i].start);
        if (step > 0)
            ++intervals[step];
    }
    if (intervals.isEmpty())
        throw TorvaneError(QStringLiteral("足の時刻が進んでいません"));
    qint64 length = intervals.firstKey();
    for (auto it = intervals.cbegin(); it != intervals.cend(); ++it)
        if (it.value() > intervals.value(length))
            length = it.key();

    int places = 0;
    for (const Bar& bar : bars)
        for (const QString* price : {&bar.open, &bar.high, &bar.low, &bar.close})
            places = qMax(places, decimals(*price));

    QStringList out;
    out.reserve(bars.size());
    const QString dateLayout = QStringLiteral("yyyy/MM/dd");
    const QString timeLayout = QStringLiteral("HH:mm");
    for (const Bar& bar : bars) {
        const QDateTime end = bar.start.addSecs(length);
        out << QStringList{bar.start.toString(dateLayout), bar.start.toString(timeLayout),
                           padded(bar.open, places),       padded(bar.high, places),
                           padded(bar.low, places),        padded(bar.close, places),
                           end.toString(dateLayout),       end.toString(timeLayout)}
                   .join(u',');
    }
    return out;
}

void convertFile(const QString& in, const QString& out, const ServerTime& serverTime) {
    const QStringList lines =
        convert(TextFile::readLines(in, TextFile::Encoding::BomOrLatin), serverTime);
    QFile file(out);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw TorvaneError(QStringLiteral("ファイル %1 に書けません: %2").arg(out, file.errorString()));
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += line.toLatin1() + "\r\n";
    if (file.write(bytes) != bytes.size() || !file.flush())
        throw TorvaneError(QStringLiteral("ファイル %1 に書けません: %2").arg(out, file.errorString()));
}

} // namespace PlatformExport
