#include "prices/Averages.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace Averages {

Value Value::of(const QVariant& v) {
    Value out;
    if (v.isNull())
        return out;
    switch (v.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::ULongLong:
    case QMetaType::UInt:
        out.kind = Integer;
        out.integer = v.toLongLong();
        return out;
    case QMetaType::Double:
        out.kind = Real;
        out.real = v.toDouble();
        return out;
    default: {
        // A text in a numeric column: SQLite's sum() takes its numeric prefix, else 0.
        bool ok = false;
        const qint64 i = v.toString().trimmed().toLongLong(&ok);
        if (ok) {
            out.kind = Integer;
            out.integer = i;
            return out;
        }
        out.kind = Real;
        out.real = v.toString().trimmed().toDouble();
        return out;
    }
    }
}

namespace {

QString notAnInteger(const QString& sum) {
    return QStringLiteral("'%1' は CV の整数値ではありません").arg(sum);
}

bool fitsInt(long double v) {
    return v >= std::numeric_limits<int>::min() && v <= std::numeric_limits<int>::max();
}

} // namespace

QVector<qint64> windowAverages(const QVector<KeyedValue>& rows, const QVector<qint64>& targets,
                               int width, QString* failure) {
    // Prefix sums: integers exactly (wide enough never to overflow), the count of values and of
    // reals, so each window costs two binary searches.
    const qsizetype n = rows.size();
    std::vector<__int128> intSum(n + 1, 0);
    std::vector<qint64> present(n + 1, 0), reals(n + 1, 0);
    for (qsizetype k = 0; k < n; ++k) {
        const Value& v = rows[k].value;
        intSum[k + 1] = intSum[k] + (v.kind == Value::Integer ? v.integer : 0);
        present[k + 1] = present[k] + (v.kind != Value::Null ? 1 : 0);
        reals[k + 1] = reals[k] + (v.kind == Value::Real ? 1 : 0);
    }
    const auto keyGreater = [](qint64 key, const KeyedValue& r) { return key < r.key; };

    QVector<qint64> out;
    out.reserve(targets.size());
    for (const qint64 t : targets) {
        // Keys in (t - width, t]: from the first key > t - width to the last key <= t.
        const qsizetype lo =
            std::upper_bound(rows.begin(), rows.end(), t - width, keyGreater) - rows.begin();
        const qsizetype hi =
            std::upper_bound(rows.begin(), rows.end(), t, keyGreater) - rows.begin();
        qint64 sum = 0;
        if (hi > lo && present[hi] - present[lo] > 0) {
            if (reals[hi] - reals[lo] == 0) {
                const __int128 s = intSum[hi] - intSum[lo];
                if (s < std::numeric_limits<int>::min() || s > std::numeric_limits<int>::max()) {
                    *failure = notAnInteger(QString::number(double(s), 'g', 15));
                    return out;
                }
                sum = qint64(s);
            } else {
                // Once a real takes part SQLite adds every value as a double, in row order.
                double d = 0.0;
                for (qsizetype k = lo; k < hi; ++k) {
                    const Value& v = rows[k].value;
                    if (v.kind == Value::Integer)
                        d += double(v.integer);
                    else if (v.kind == Value::Real)
                        d += v.real;
                }
                // The sum is read as an integer, truncated: one price such as 150123.5
                // (from "150.123.5") must not stop the averages.
                if (!std::isfinite(d) || !fitsInt(std::trunc(d))) {
                    *failure = notAnInteger(QString::number(d, 'g', 15));
                    return out;
                }
                sum = qint64(std::trunc(d));
            }
        }
        out << sum / width;
    }
    return out;
}

QVector<int> fourHourRows(const QVector<qint64>& c1, int imcn) {
    QVector<int> taken;
    const int n = int(c1.size());
    int pos = 0;
    while (pos < n) {
        if (c1[pos] > imcn)
            break;
        pos = std::min(pos + 4, n - 1);
        taken << pos;
        ++pos;
    }
    return taken;
}

QVector<int> latestSamples(const QVector<Sample>& samples, const QVector<qint64>& bars) {
    QVector<int> bySample(samples.size());
    std::iota(bySample.begin(), bySample.end(), 0);
    std::stable_sort(bySample.begin(), bySample.end(),
                     [&](int a, int b) { return samples[a].c1 < samples[b].c1; });
    QVector<int> byBar(bars.size());
    std::iota(byBar.begin(), byBar.end(), 0);
    std::stable_sort(byBar.begin(), byBar.end(), [&](int a, int b) { return bars[a] < bars[b]; });

    QVector<int> out(bars.size(), -1);
    int best = -1;
    qsizetype next = 0;
    for (const int b : byBar) {
        while (next < bySample.size() && samples[bySample[next]].c1 <= bars[b]) {
            const int s = bySample[next++];
            if (best < 0 || samples[s].cnt > samples[best].cnt ||
                (samples[s].cnt == samples[best].cnt && s > best))
                best = s;
        }
        out[b] = best;
    }
    return out;
}

} // namespace Averages
