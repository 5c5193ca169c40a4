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

// Converts the file at in and writes the result to out with CR LF line ends.
void convertFile(const QString& in, const QString& out, int shiftHours);

} // namespace PlatformExport
