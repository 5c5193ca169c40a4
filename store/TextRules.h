#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringView>
#include <QTime>
#include <QVariant>

#include <optional>

// How the program reads the texts users type and files carry: dates and times, integers,
// numeric literals, the value a bound parameter stores, and prices without their point.
namespace TextRules {

// "yyyy/m/d" with one to four digit years and one or two digit months and days, blanks around
// it; a null date for anything else or a day that does not exist.
QDate readDate(const QString& text);
// "h:m" or "h:m:s" with one or two digits each, blanks around it; a null time otherwise.
QTime readTime(const QString& text);
// A date, a date and a time separated by blanks, or a time alone (on 1899/12/30, the day zero
// of the stored times); a null date-time otherwise.
QDateTime readDateTime(const QString& text);
// A moment as seconds on one running count (the Julian day's), from "yyyy/mm/dd" and "hh:nn"
// (or "hh:nn:ss"), blanks around each allowed; 24:00 is the next day's midnight. Nothing when
// either text is no valid date or time. Bars, forecasts and opinions are read by this rule; the
// import refuses 24:00 in the bars it keeps, so no kept bar needs it.
std::optional<qint64> momentOf(const QString& date, const QString& time);
// The date text the program writes: yyyy/MM/dd.
QString dateText(const QDate& date);

// A signed integer with blanks around it, or TorvaneError "'text' は正しい整数ではありません".
int intOf(const QString& text);
qint64 integerOf(const QString& text);

// A stored value as a whole number: what QVariant converts to an integer (a real is rounded),
// or a text of a real without a fraction within the 64-bit range; nothing for NULL or anything
// else.
std::optional<qint64> storedInteger(const QVariant& value);

// Whether a value can stand as a number in a statement: a decimal number of ASCII digits with an
// optional sign, point and exponent, spaces, tabs or form feeds around it.
bool isNumericLiteral(QStringView text);

// The value a bound parameter must carry so that the row stores what the built statement would:
// NULL for an empty value, a text cut to the column's length (an empty text, never NULL), a
// number as the literal reads in SQL (an integer when it is one, otherwise a real, infinite when
// too large). False when a numeric column gets no number, where the built statement would fail.
bool boundValue(const QString& raw, bool textColumn, int length, QVariant& out);

// Deletes the first "." of st and returns the result: 150.123 gives 150123.
QString ErPeriod(QString& st);

} // namespace TextRules
