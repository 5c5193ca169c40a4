#pragma once

#include <QString>
#include <QVariant>
#include <QVector>

// The arithmetic of the moving averages, done in memory over rows read once from the tables.
// It gives exactly what the per-row statements would give: sums over CNT windows that count only
// the rows present and ignore NULLs, read as an integer, divided with truncation.
namespace Averages {

// One stored number as SQLite's sum() sees it.
struct Value {
    enum Kind : quint8 { Null, Integer, Real };
    Kind kind = Null;
    qint64 integer = 0;
    double real = 0.0;
    static Value of(const QVariant& v);
};

struct KeyedValue {
    qint64 key; // CNT
    Value value;
};

// For each target t, the sum of the values whose key lies in (t - width, t], read as an integer
// (no rows, or only NULLs, read as 0) and divided by width, truncating. rows must be sorted by
// key. A sum that is no whole number or lies outside the integer range cannot be read as an
// integer: the averages stop before that target and failure receives the error text.
QVector<qint64> windowAverages(const QVector<KeyedValue>& rows, const QVector<qint64>& targets,
                               int width, QString* failure);

// Positions (0-based, in CNT order) of the hourly rows the four-hour table takes: starting at the
// first row, stop at a row whose C1 exceeds imcn, else move on four rows (stopping at the last)
// and take that row, then step one further. That is rows 5, 10, 15, ... and the last row.
QVector<int> fourHourRows(const QVector<qint64>& c1, int imcn);

struct Sample {
    qint64 cnt;
    qint64 c1;
};

// For each bar CNT, the position of the sample with the greatest CNT among those whose C1 is not
// greater than the bar (the last one of them in the given order when CNTs repeat), or -1.
// samples are in CNT order.
QVector<int> latestSamples(const QVector<Sample>& samples, const QVector<qint64>& bars);

} // namespace Averages
