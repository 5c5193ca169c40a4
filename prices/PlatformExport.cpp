#include "prices/PlatformExport.h"

#include "store/TextFile.h"
#include "store/TorvaneError.h"

#include <QDateTime>
#include <QMap>
#include <QSaveFile>

#include <algorithm>
#include <optional>

namespace PlatformExport {

namespace {

struct Bar {
    QDateTime start;
    QString open, high, low, close;
};

const QString expected = QStringLiteral(
    "MT4 の履歴 (YYYY.MM.DD,HH:MM,始値,高値,安値,終値,出来高)、MT5 の「Export Bars」"
    "(<DATE>\t<TIME>\t<OPEN>\t<HIGH>\t<LOW>\t<CLOSE>\t<TICKVOL>\t<VOL>\t<SPREAD>、"
    "タブの代わりにカンマも可)、Dukascopy の CSV (Gmt time,Open,High,Low,Close,Volume) か"
    "履歴アーカイブ (YYYYMMDD HHMMSS;始値;高値;安値;終値;出来高) の形式でありません");

// Digits at [from, from + n) of text as a number; -1 when one is no digit.
int digitsAt(const QString& text, qsizetype from, qsizetype n) {
    int value = 0;
    for (qsizetype i = from; i < from + n; ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

QDateTime readStart(const QString& date, const QString& time) {
    // The platforms' own layout, read by hand: a long history has millions of these.
    if (date.size() == 10 && date.at(4) == u'.' && date.at(7) == u'.' &&
        (time.size() == 5 || (time.size() == 8 && time.at(5) == u':')) && time.at(2) == u':') {
        const QDate day(digitsAt(date, 0, 4), digitsAt(date, 5, 2), digitsAt(date, 8, 2));
        const QTime clock(digitsAt(time, 0, 2), digitsAt(time, 3, 2),
                          time.size() == 8 ? digitsAt(time, 6, 2) : 0);
        if (day.isValid() && clock.isValid())
            return QDateTime(day, clock, Qt::UTC);
    }
    for (const char* layout : {"yyyy.MM.dd HH:mm", "yyyy.MM.dd HH:mm:ss"}) {
        QDateTime dt = QDateTime::fromString(date + u' ' + time, QLatin1String(layout));
        if (dt.isValid()) {
            dt.setTimeSpec(Qt::UTC); // plain wall-clock arithmetic, no daylight-saving gaps
            return dt;
        }
    }
    return {};
}

// Dukascopy's "dd.mm.yyyy hh:mm:ss.000"; the seconds and their fraction may be missing. A
// fraction other than zero is dropped: bars start on whole seconds.
QDateTime readDayFirst(const QString& text) {
    const qsizetype n = text.size();
    if (n < 16 || text.at(2) != u'.' || text.at(5) != u'.' || text.at(10) != u' ' ||
        text.at(13) != u':')
        return {};
    int seconds = 0;
    if (n > 16) {
        // Seconds, then up to three digits of their fraction.
        if (n < 19 || n > 23 || text.at(16) != u':' || (n > 19 && text.at(19) != u'.'))
            return {};
        seconds = digitsAt(text, 17, 2);
        if (n > 20 && digitsAt(text, 20, n - 20) < 0)
            return {};
    }
    const QDate day(digitsAt(text, 6, 4), digitsAt(text, 3, 2), digitsAt(text, 0, 2));
    const QTime clock(digitsAt(text, 11, 2), digitsAt(text, 14, 2), seconds);
    return day.isValid() && clock.isValid() ? QDateTime(day, clock, Qt::UTC) : QDateTime();
}

// The history archives' "yyyymmdd hhmmss".
QDateTime readCompact(const QString& text) {
    if (text.size() != 15 || text.at(8) != u' ')
        return {};
    const QDate day(digitsAt(text, 0, 4), digitsAt(text, 4, 2), digitsAt(text, 6, 2));
    const QTime clock(digitsAt(text, 9, 2), digitsAt(text, 11, 2), digitsAt(text, 13, 2));
    return day.isValid() && clock.isValid() ? QDateTime(day, clock, Qt::UTC) : QDateTime();
}

// Digits, optionally a point and more digits.
bool isPrice(const QString& text) {
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n && text.at(i).isDigit() && text.at(i).unicode() < 0x80)
        ++i;
    if (i == 0)
        return false;
    if (i == n)
        return true;
    if (text.at(i) != u'.' || i + 1 == n)
        return false;
    for (++i; i < n; ++i)
        if (!(text.at(i).isDigit() && text.at(i).unicode() < 0x80))
            return false;
    return true;
}

// "yyyy/mm/dd,hh:nn" of a moment, written by hand for the same reason.
QString dateAndTime(const QDateTime& dt) {
    const QDate d = dt.date();
    const QTime t = dt.time();
    return QString::asprintf("%04d/%02d/%02d,%02d:%02d", d.year(), d.month(), d.day(), t.hour(),
                             t.minute());
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

// A line as the message quotes it: cut, with control characters (the zeros of UTF-16 read as
// bytes) shown as "?" so that the rest of the message is not lost on a console.
QString quoted(const QString& line) {
    QString shown = TextFile::cutToLength(line, 80);
    for (QChar& c : shown)
        if (c.unicode() < 0x20 && c != u'\t')
            c = u'?';
    return shown;
}

[[noreturn]] void fail(qsizetype lineNumber, const QString& line) {
    throw TorvaneError(
        QStringLiteral("%1 行目: %2\n%3").arg(lineNumber).arg(quoted(line), expected));
}

bool writableYear(const QDateTime& dt) {
    const int year = dt.date().year();
    return year >= 1 && year <= 9999;
}

bool isMt4Line(const QString& line) {
    const QStringList f = line.trimmed().split(u',');
    return f.size() >= 7 && readStart(f[0], f[1]).isValid();
}

bool sameName(const QString& field, const char* name) {
    return field.trimmed().compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

// What the first line that is not empty says: the layout, the separator of its fields and
// whether it is a header rather than a bar.
struct FirstLine {
    Layout layout = Layout::Plain;
    QChar separator = u',';
    bool header = false;
};
FirstLine readFirstLine(const QString& raw) {
    const QString line = raw.trimmed();
    if (line.startsWith(QLatin1String("<DATE>")))
        return {Layout::Mt5, line.contains(u'\t') ? QChar(u'\t') : QChar(u','), true};
    const QStringList commas = line.split(u',');
    if (sameName(commas[0], "Gmt time"))
        return {Layout::Dukascopy, u',', true};
    if (readDayFirst(commas[0]).isValid())
        return {Layout::Dukascopy, u',', false};
    if (isMt4Line(line))
        return {Layout::Mt4, u',', false};
    if (const QStringList f = line.split(u';'); f.size() >= 5 && readCompact(f[0]).isValid())
        return {Layout::Archive, u';', false};
    return {};
}

// A header line names the columns the bars are read by.
bool headerReads(Layout layout, const QStringList& head) {
    if (layout == Layout::Mt5)
        return head.size() >= 6 && head[1] == QLatin1String("<TIME>") &&
               head[2] == QLatin1String("<OPEN>") && head[3] == QLatin1String("<HIGH>") &&
               head[4] == QLatin1String("<LOW>") && head[5] == QLatin1String("<CLOSE>");
    return head.size() >= 5 && sameName(head[1], "Open") && sameName(head[2], "High") &&
           sameName(head[3], "Low") && sameName(head[4], "Close");
}

// The conversion's two passes over the same lines: scan learns the layout, the bar length and
// the decimals, then each line converts on its own.
class Conversion {
public:
    explicit Conversion(const ServerTime& serverTime) : m_serverTime(serverTime) {}

    void scan(qsizetype number, const QString& raw) {
        const QString line = raw.trimmed();
        if (line.isEmpty())
            return;
        if (!m_layoutKnown) {
            m_layoutKnown = true;
            const FirstLine first = readFirstLine(line);
            m_layout = first.layout == Layout::Plain ? Layout::Mt4 : first.layout;
            m_separator = first.separator;
            // These layouts say in which zone their times are written.
            if (const std::optional<ServerTime> known = knownServerTime(m_layout))
                m_serverTime = *known;
            if (first.header) {
                if (!headerReads(m_layout, line.split(m_separator)))
                    fail(number, raw);
                m_header = number;
                return;
            }
        }
        const Bar bar = read(number, line);
        for (const QString* price : {&bar.open, &bar.high, &bar.low, &bar.close}) {
            const int places = decimals(*price);
            if (places > maxDecimals)
                throw TorvaneError(
                    QStringLiteral(
                        "%1 行目: 価格 '%2' の小数が %3 桁あります。小数は %4 桁までです")
                        .arg(number)
                        .arg(quoted(*price))
                        .arg(places)
                        .arg(maxDecimals));
            m_places = qMax(m_places, places);
        }
        if (m_bars > 0) {
            const qint64 step = m_previous.secsTo(bar.start);
            if (step > 0)
                ++m_intervals[step];
        }
        m_previous = bar.start;
        ++m_bars;
    }

    void finishScan() {
        m_lastStart = QDateTime(); // the second pass reads the repeated hour as the first did
        if (!m_layoutKnown)
            throw TorvaneError(QStringLiteral("足がありません。") + expected);
        if (m_bars < 2)
            throw TorvaneError(QStringLiteral("足の長さを決めるには 2 本以上の足が必要です"));
        if (m_intervals.isEmpty())
            throw TorvaneError(QStringLiteral("足の時刻が進んでいません"));
        // The most common interval; on a tie the shorter one.
        m_length = m_intervals.firstKey();
        for (auto it = m_intervals.cbegin(); it != m_intervals.cend(); ++it)
            if (it.value() > m_intervals.value(m_length))
                m_length = it.key();
    }

    // The converted line, or a null text for a line that holds no bar.
    QString convert(qsizetype number, const QString& raw) const {
        const QString line = raw.trimmed();
        if (line.isEmpty() || number == m_header)
            return {};
        const Bar bar = read(number, line);
        const QDateTime end = bar.start.addSecs(m_length);
        if (!writableYear(bar.start) || !writableYear(end))
            throw TorvaneError(QStringLiteral("%1 行目: 時刻をずらすと %2 になり、"
                                              "西暦 1 年から 9999 年の外に出ます")
                                   .arg(number)
                                   .arg((writableYear(bar.start) ? end : bar.start)
                                            .toString(QStringLiteral("yyyy/MM/dd HH:mm"))));
        return dateAndTime(bar.start) + u',' + padded(bar.open, m_places) + u',' +
               padded(bar.high, m_places) + u',' + padded(bar.low, m_places) + u',' +
               padded(bar.close, m_places) + u',' + dateAndTime(end);
    }

private:
    Bar read(qsizetype number, const QString& line) const {
        const QStringList f = line.split(m_separator);
        Bar bar = fields(f);
        if (bar.open.isNull())
            fail(number, line);
        if (!bar.start.isValid() || !isPrice(bar.open) || !isPrice(bar.high) || !isPrice(bar.low) ||
            !isPrice(bar.close))
            fail(number, line);
        const QDateTime server = bar.start;
        bar.start = m_serverTime.toJapan(server, m_lastStart);
        m_lastStart = bar.start;
        if (!bar.start.isValid())
            throw TorvaneError(QStringLiteral("%1 行目: %2\n時刻がタイムゾーン %3 にありません"
                                              "(夏時間の切り替えで飛ばされる時刻です)")
                                   .arg(number)
                                   .arg(quoted(line), m_serverTime.text()));
        return bar;
    }

    // The start and the prices of a bar where the layout has them; null prices when the line
    // has too few fields.
    Bar fields(const QStringList& f) const {
        switch (m_layout) {
        case Layout::Dukascopy:
            if (f.size() >= 5)
                return {readDayFirst(f[0].trimmed()), f[1].trimmed(), f[2].trimmed(),
                        f[3].trimmed(), f[4].trimmed()};
            break;
        case Layout::Archive:
            if (f.size() >= 5)
                return {readCompact(f[0]), f[1], f[2], f[3], f[4]};
            break;
        default:
            if (f.size() >= (m_layout == Layout::Mt5 ? 6 : 7))
                return {readStart(f[0], f[1]), f[2], f[3], f[4], f[5]};
            break;
        }
        return {};
    }

    ServerTime m_serverTime;
    bool m_layoutKnown = false;
    Layout m_layout = Layout::Mt4;
    QChar m_separator = u',';
    qsizetype m_header = -1;
    qsizetype m_bars = 0;
    QDateTime m_previous;
    QMap<qint64, int> m_intervals;
    int m_places = 0;
    qint64 m_length = 0;
    // The Japan start of the bar read last, in this pass: it tells a repeated hour's second
    // showing from its first.
    mutable QDateTime m_lastStart;
};

} // namespace

QTimeZone zoneNamed(const QString& name) {
    const QByteArray id = name.trimmed().toUtf8();
    // The zone database lists only the canonical names; the system knows its aliases (EET,
    // Etc/UTC, Japan, US/Eastern) as well. A name is a file name there, never a path out.
    if (id.isEmpty() || id.startsWith('/') || id.contains(".."))
        return {};
    return QTimeZone(id);
}

ServerTime ServerTime::parse(const QString& text) {
    const QString t = text.trimmed();
    bool ok = false;
    const int hours = t.toInt(&ok);
    if (ok && qAbs(hours) <= maxShiftHours)
        return ServerTime(hours);
    if (!ok)
        if (const QTimeZone zone = zoneNamed(t); zone.isValid())
            return ServerTime(zone);
    throw TorvaneError(QStringLiteral("'%1' は時差(整数の時間、例: 7)でもタイムゾーン名"
                                      "(例: Europe/Athens)でもありません")
                           .arg(t.left(80)));
}

QString ServerTime::text() const {
    return zone.isValid() ? QString::fromUtf8(zone.id()) : QString::number(shiftHours);
}

QDateTime ServerTime::toJapan(const QDateTime& serverTime, const QDateTime& after) const {
    if (!zone.isValid())
        return serverTime.addSecs(qint64(shiftHours) * 3600);
    // The moments at which the zone's clocks show this wall-clock time: the offsets a day
    // before and a day after are those on either side of any switch near it, and an offset
    // counts where the zone really has it at that moment. A time the clocks skip when summer
    // time starts has none; one they show twice when it ends has two.
    constexpr qint64 dayMs = 86400000;
    const qint64 wall = serverTime.toMSecsSinceEpoch(); // plain wall-clock time as UTC
    qint64 moments[2];
    int found = 0;
    for (const qint64 probe : {wall - dayMs, wall + dayMs}) {
        const int offset = zone.offsetFromUtc(QDateTime::fromMSecsSinceEpoch(probe, Qt::UTC));
        const qint64 utc = wall - qint64(offset) * 1000;
        if (zone.offsetFromUtc(QDateTime::fromMSecsSinceEpoch(utc, Qt::UTC)) == offset &&
            (found == 0 || moments[0] != utc))
            moments[found++] = utc;
    }
    if (found == 0)
        return {};
    qint64 utc = std::min(moments[0], moments[found - 1]);
    const auto inJapan = [](qint64 ms) {
        // Japan keeps no daylight saving; the result is plain wall-clock time again.
        return QDateTime::fromMSecsSinceEpoch(ms + 9 * 3600 * 1000LL, Qt::UTC);
    };
    // The hour shown twice keeps the file's order: the repeat follows the first showing.
    if (found == 2 && after.isValid() && inJapan(utc) <= after)
        utc = std::max(moments[0], moments[1]);
    return inJapan(utc);
}

Layout detect(const QStringList& lines) {
    for (const QString& line : lines)
        if (!line.trimmed().isEmpty())
            return readFirstLine(line).layout;
    return Layout::Plain;
}

Layout detectFile(const QString& path) {
    TextFile::LineReader reader(path, TextFile::Encoding::BomOrLatin, TextFile::maxPriceBytes,
                                true);
    QString line;
    while (reader.next(line))
        if (!line.trimmed().isEmpty())
            return detect({line});
    return Layout::Plain;
}

QString layoutName(Layout layout) {
    switch (layout) {
    case Layout::Mt4:
        return QStringLiteral("MT4");
    case Layout::Mt5:
        return QStringLiteral("MT5");
    case Layout::Dukascopy:
        return QStringLiteral("Dukascopy");
    case Layout::Archive:
        return QStringLiteral("履歴アーカイブ");
    case Layout::Plain:
        break;
    }
    return {};
}

std::optional<ServerTime> knownServerTime(Layout layout) {
    switch (layout) {
    case Layout::Dukascopy:
        return ServerTime(9); // UTC
    case Layout::Archive:
        return ServerTime(14); // UTC-5 all year
    default:
        return std::nullopt;
    }
}

QStringList convert(const QStringList& lines, const ServerTime& serverTime) {
    Conversion conversion(serverTime);
    for (qsizetype i = 0; i < lines.size(); ++i)
        conversion.scan(i + 1, lines[i]);
    conversion.finishScan();
    QStringList out;
    for (qsizetype i = 0; i < lines.size(); ++i)
        if (const QString line = conversion.convert(i + 1, lines[i]); !line.isNull())
            out << line;
    return out;
}

void convertFile(const QString& in, const QString& out, const ServerTime& serverTime) {
    if (TextFile::resolvedPath(in) == TextFile::resolvedPath(out))
        throw TorvaneError(QStringLiteral("変換元と変換先が同じファイル %1 です。"
                                          "変換元を残すため、別のファイル名を指定してください。")
                               .arg(out));
    Conversion conversion(serverTime);
    QString line;
    {
        TextFile::LineReader reader(in, TextFile::Encoding::BomOrLatin, TextFile::maxPriceBytes,
                                    true);
        while (reader.next(line))
            conversion.scan(reader.lineCount(), line);
    }
    conversion.finishScan();

    QSaveFile file(out);
    TextFile::openForWriting(file);
    TextFile::LineReader reader(in, TextFile::Encoding::BomOrLatin, TextFile::maxPriceBytes, true);
    QByteArray bytes;
    while (reader.next(line)) {
        const QString converted = conversion.convert(reader.lineCount(), line);
        if (converted.isNull())
            continue;
        bytes += converted.toLatin1() + "\r\n";
        if (bytes.size() >= (1 << 20)) {
            TextFile::write(file, bytes);
            bytes.clear();
        }
    }
    TextFile::write(file, bytes);
    TextFile::commit(file);
}

} // namespace PlatformExport
