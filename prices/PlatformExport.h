#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QTimeZone>

#include <optional>

#include <utility>

// Bars exported by trading platforms, turned into the program's price-file layout:
// start date, start time, open, high, low, close, end date, end time ("yyyy/mm/dd", "hh:nn").
namespace PlatformExport {

// How a platform's server times become Japan times: a fixed shift in whole hours, or the
// broker's time zone, whose daylight-saving switches a fixed shift cannot follow.
struct ServerTime {
    ServerTime(int hours = 0) : shiftHours(hours) {}
    explicit ServerTime(QTimeZone serverZone) : zone(std::move(serverZone)) {}

    int shiftHours = 0;
    QTimeZone zone; // valid: server times are wall-clock times of this zone

    // "3", "-2" (hours) or a time-zone name such as "Europe/Athens" or "EET", blanks around
    // it dropped; throws TorvaneError otherwise.
    static ServerTime parse(const QString& text);
    // The text parse reads back.
    QString text() const;
    // The Japan time of a server wall-clock time; invalid when the zone never shows that time.
    // A time the zone shows twice, when summer time ends, is its first showing unless that is
    // not later than after (the Japan time of the bar before it in the file): then its repeat.
    QDateTime toJapan(const QDateTime& serverTime, const QDateTime& after = {}) const;
};

// The time zone of that name (an IANA name, an alias such as "US/Eastern" or "Japan", blanks
// around it dropped) as the system's zone database knows it; an invalid zone otherwise.
QTimeZone zoneNamed(const QString& name);

// The most hours a fixed shift may move the times.
constexpr int maxShiftHours = 24 * 366;

// Mt4: the history centre's YYYY.MM.DD,HH:MM,open,high,low,close,volume. Mt5: "Export Bars",
// a <DATE> <TIME> <OPEN> <HIGH> <LOW> <CLOSE> ... header, fields split by tabs or commas.
// Dukascopy: a "Gmt time,Open,High,Low,Close,Volume" header, times dd.mm.yyyy hh:mm:ss.000 in UTC.
// Archive: the free history archives' yyyymmdd hhmmss;open;high;low;close;volume, in UTC-5 all
// year.
enum class Layout { Plain, Mt4, Mt5, Dukascopy, Archive };
// The layout of a file's lines by the rules convert reads them with, from its first line that is
// not empty; anything else is taken for the program's own price file.
Layout detect(const QStringList& lines);
// The layout of the file at path by its first line that is not blank; throws TorvaneError
// naming the file when it cannot be read.
Layout detectFile(const QString& path);
// "MT4", "MT5", "Dukascopy", "履歴アーカイブ".
QString layoutName(Layout layout);
// The zone a layout writes its times in, when it says so (Dukascopy, Archive); the server time
// of the broker otherwise, which only the user knows.
std::optional<ServerTime> knownServerTime(Layout layout);

// Reads the lines of any layout above. The bar length is the most common interval between
// consecutive bars; serverTime moves every time to Japan time, carrying the date, unless the
// layout's times are in a zone it names (knownServerTime), which then holds.
// Prices are padded with zeros to the most decimals in the file, since the import drops the point.
// Throws TorvaneError naming what was expected when the layout is neither.
QStringList convert(const QStringList& lines, const ServerTime& serverTime);

// Converts the file at in and writes the result to out with CR LF line ends. The file is read
// twice, line by line, so memory does not grow with it; out is replaced only once it is
// complete, and never when it is in itself.
void convertFile(const QString& in, const QString& out, const ServerTime& serverTime);

// The most decimals a price may carry; more cannot come from a platform and would pad every
// price of the file to that width.
constexpr int maxDecimals = 8;

} // namespace PlatformExport
