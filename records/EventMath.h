#pragma once

#include <QString>

class Store;

// The arithmetic of the event page: value and price differences and the look-up of the closes
// before and after an announcement in the in-memory price table.
namespace EventMath {

struct Difference {
    int value;   // result minus base
    int percent; // value * 100 / result, truncated toward zero
};

// Both texts are read as signed 32-bit integers (their decimal point already removed). An
// unreadable text, a result of 0 and any step beyond 32 bits throw TorvaneError; resultName
// says in the report which value was 0.
Difference difference(const QString& base, const QString& result, const QString& resultName);

// Whether prices were imported since the start: the price table's query is open.
bool pricesLoaded(Store& store);

// The close of the last bar before the announcement: date <= D and time < T, where an
// announcement at "00:00" counts as 24:00 of the day before. Empty when there is none.
QString priceBefore(Store& store, const QString& date, const QString& time);
// The close of the first bar after the next full hour: date >= D and time > "hh:00", the hour
// after 23 being 00 of the next day. Empty when there is none.
QString priceAfter(Store& store, const QString& date, const QString& time);

// The bounds the two look-ups compare with, for tests and the look-ups themselves.
struct Bound {
    QString date;
    QString time;
};
Bound beforeBound(const QString& date, const QString& time);
Bound afterBound(const QString& date, const QString& time);

} // namespace EventMath
