#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

// The rules of one price-file line and the date-times of the forecast slots.
namespace PriceFile {

// Splits at every comma. Nothing is trimmed; a field that begins with a double quote runs to the
// closing quote, a doubled quote inside standing for one, and whatever follows the closing quote
// up to the next comma is kept as part of the field. A comma at the very end adds an empty field.
// An empty line has no fields.
QStringList splitFields(const QString& line);

// Today minus two calendar months as "yyyy/mm/dd"; a missing day becomes the month's last day.
QString cutoffDate(const QDate& today);

// A date-time as milliseconds from the start of the Julian day count, so that adding a step is
// exact. Reads "yyyy/mm/dd hh:nn" with optional seconds (and fractions), or a date alone.
bool readMoment(const QString& text, qint64* msecs);
QString dateText(qint64 msecs); // "yyyy/mm/dd"
QString timeText(qint64 msecs); // "hh:nn", 24-hour clock

} // namespace PriceFile
