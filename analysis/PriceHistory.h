#pragma once

#include "analysis/TrackRecord.h"
#include "prices/PlatformExport.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QVariant>

#include <array>
#include <optional>
#include <vector>

class Store;
namespace Backtest {
struct FoldInput;
}

// A price file read once for the backtest: each line as the import reads it, so that what an
// import as of any moment would train on is taken from memory, bit for bit the same, without
// reading the file again or touching a database.
class PriceHistory {
public:
    // How the price table stores the import's twelve texts: text or number, and the length a
    // text is cut to (the catalogue's).
    struct Columns {
        std::array<bool, 12> text{};
        std::array<int, 12> length{};
        static Columns of(Store& store);
    };

    // Reads the file at path (name: how messages call it); a platform export is converted
    // first with serverTime (or the one its layout implies).
    static PriceHistory read(const QString& path, const QString& name, const Columns& columns,
                             const std::optional<PlatformExport::ServerTime>& serverTime);

    // The fold as of origin: the file as if it ended at its last line whose bar ends at or
    // before it, the two-month cut-off from its date. Nothing when the market was closed at
    // origin (no kept bar ends within two bar lengths before it). Throws TorvaneError where
    // the import and the forecast step would stop.
    std::optional<Backtest::FoldInput> foldAt(const QDateTime& origin) const;

    // Every bar of the file that the import could store, for scoring.
    const Tracking::Bars& bars() const { return m_bars; }
    // The dates the first and the last bar end on; invalid without bars.
    QDate firstDate() const { return m_firstDate; }
    QDate lastDate() const { return m_lastDate; }
    // The decimals of the last line's close as the file wrote it.
    int decimals() const { return m_decimals; }

private:
    // A stored number as the table holds it: NULL, an integer or a real.
    struct Stored {
        enum Kind : quint8 { Null, Integer, Real } kind = Null;
        qint64 integer = 0;
        double real = 0.0;
        double value() const; // as the forecast step reads it: NULL as 0
        QString text() const; // as the table shows it
        static Stored of(const QVariant& bound, bool integerAffinity);
    };
    // One line of the file.
    struct Line {
        enum Kind : quint8 { Empty, Header, Row } kind = Empty;
        qint32 startDay = -1;  // the start date as yyyymmdd when written "yyyy/mm/dd", else -1
        qint32 text = -1;      // the start date text's index in m_texts when startDay is -1
        qint32 problem = -1;   // index in m_problems: why the import stops at this line
        bool dateFormProblem = false; // the problem is a date or time in the wrong form
        bool stored = false;   // the insert succeeds
        bool highSeen = false, lowSeen = false; // a high or low candidate
        double high = 0.0, low = 0.0;
        std::array<float, 5> inputs{}; // from the stored end, when it reads as a date-time
        qint32 inputProblem = -1;      // index in m_problems when it does not
        std::array<Stored, 3> prices;  // close, high, low as stored
        std::optional<qint64> end;     // the stored end as a moment
        int decimals = 0;
    };

    bool startsBefore(const Line& line, const QString& cutoff, qint32 cutoffDay) const;
    QString lineText(qsizetype index) const;
    // How many lines are read as of the moment (msecs on PriceFile::readMoment's count): up to
    // the last one, in file order, whose end is at or before it.
    qsizetype linesUntil(qint64 msecs) const;

    QString m_name;
    std::vector<Line> m_lines;
    // The file's lines one after another: the forecast slots need the last two of a fold.
    QString m_text;
    std::vector<qsizetype> m_lineStart;
    std::vector<qint64> m_cutEnds; // each line's end as the moment's cut reads it, or the max
    std::vector<std::pair<qint64, qsizetype>> m_byEnd; // by end: the furthest line so far
    QStringList m_texts;    // start dates not written "yyyy/mm/dd"
    QStringList m_problems; // the texts of the errors the import would stop with
    Tracking::Bars m_bars;
    QDate m_firstDate, m_lastDate;
    int m_decimals = 0;
};
