#pragma once

#include <QString>
#include <QStringList>

// Bars exported by trading platforms, turned into the program's price-file layout:
// start date, start time, open, high, low, close, end date, end time ("yyyy/mm/dd", "hh:nn").
namespace PlatformExport {

// Reads MT4 history-centre lines (YYYY.MM.DD,HH:MM,open,high,low,close,volume) or an MT5
// "Export Bars" file (tab-separated, <DATE> <TIME> <OPEN> ... header). The bar length is the most
// common interval between consecutive bars; shiftHours moves every time, carrying the date.
// Prices are padded with zeros to the most decimals in the file, since the import drops the point.
// Throws TorvaneError naming what was expected when the layout is neither.
QStringList convert(const QStringList& lines, int shiftHours);

// Converts the file at in and writes the result to out with CR LF line ends. The file is read
// twice, line by line, so memory does not grow with it; out is replaced only once it is
// complete, and never when it is in itself.
void convertFile(const QString& in, const QString& out, int shiftHours);

// The most decimals a price may carry; more cannot come from a platform and would pad every
// price of the file to that width.
constexpr int maxDecimals = 8;

} // namespace PlatformExport
