#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

class TorvaneError;

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

// The error of a kept line with fewer than eight fields; line counts from 0.
TorvaneError fewFields(const QString& name, qsizetype line, qsizetype count);

// Dates and times are compared as text, which orders them only when zero-padded: a line
// whose start or end date or time is written as a spreadsheet saves it (2026/10/1, 7:00) would
// pass the two-month cut-off in the wrong place. Throws TorvaneError naming the file, the line
// (counted from 0) and the field; fields that are no date or time at all (a header) pass.
void checkDateForms(const QStringList& fields, const QString& name, qsizetype line);

// Whether a date the two-month cut-off drops by its text (it sorts before cutoff, a padded
// "yyyy/mm/dd") is on or after the cut-off when read as a date: "2025-07-01" or "2025/7/1"
// against "2025/05/09". A non-padded date with slashes that sorts before the cut-off is always
// older; a date with dashes need not be.
bool isRecentLooseDate(const QString& date, const QString& cutoff);

// The twelve texts the import stores for a line (its fields trimmed, at least eight) in the
// price table's column order: the counter, the start, the high, low and close with their
// decimal point dropped, four averages left empty, the end. The price fields of f lose their
// point too.
void importRow(QStringList& f, qint64 counter, std::array<QString, 12>& row);
// The decimals of a price as the file wrote it: what one unit of the stored prices is worth.
int decimalsOf(const QString& price);
// A stored high or low as a candidate for the highest or lowest price: nothing when it is
// empty or no number.
std::optional<double> extremeCandidate(const QString& price);

// Minutes since the start of the Julian day count of a zero-padded "yyyy/mm/dd" and "hh:nn";
// false for any other text.
bool minuteOf(const QString& date, const QString& time, qint64* minutes);

// What an import brought in: the number of bars, the first start, the last end and the most
// common step between bar starts, for the line that tells the user after the import.
struct ImportedRange {
    int bars = 0;
    QString firstStart; // "yyyy/mm/dd hh:nn"
    QString lastEnd;
    qint64 stepMinutes = 0; // 0 when it cannot be told
    QString text() const;
};

// One forecast slot: the start and end date and time of a bar still to come.
struct Slot {
    QString startDate, startTime, endDate, endTime;
};
// The ten forecast slots after the file's lines: each continues the step between the end
// date-times of the last two lines, from the start and the end of the last line. Throws
// TorvaneError naming the file (name) and the line when there are fewer than two lines, one
// of the two has fewer than eight fields or a date-time cannot be read.
// A slot that would end after 9999/12/31 is refused the same way, naming the last line.
std::array<Slot, 10> forecastSlots(const QStringList& lines, const QString& name);
// The same from the file's last two lines and its number of lines, for a file read line by line.
std::array<Slot, 10> forecastSlots(const QString& beforeLast, const QString& last,
                                   qsizetype lineCount, const QString& name);

} // namespace PriceFile
