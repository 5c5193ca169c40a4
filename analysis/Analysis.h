#pragma once

#include "analysis/TrackRecord.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

class Store;
struct ForecastSummary;

// The forecast log F10YSR and the track record over it, the opinions F05PMF and the event
// records F06EVR. Its reads and writes leave the working registers as they found them, so the
// operations it runs between see the registers they expect.
class Analysis : public QObject {
    Q_OBJECT
public:
    explicit Analysis(Store& store) : m_store(store) {}

    // Looks at the log after the databases are opened: it is used only when it is catalogued
    // with its columns and SQDB.DB's table of that name holds them. A table of that name that
    // is not the log, or a catalogue that lacks its columns, is said once, in words; the program
    // goes on without the log, touching neither.
    void checkLog();
    bool logUsable() const { return m_logUsable; }

    // Logs the completed forecast of the bars in F01YSK, made now (or at the last bar's end when
    // that is later): the first forecast of a last bar and interval is kept, a later one of the
    // same bars is not logged. The look-up, the numbering and the write form one transaction
    // holding the file's write lock.
    void logForecast(const ForecastSummary& summary);
    // The decimals of the imported file's prices, logged with its forecasts.
    void setDecimals(int decimals) { m_decimals = decimals; }
    // After a price import: reads the imported bars and judges every unscored logged forecast
    // whose target they reach (Tracking::judgeTarget): scored with its actual close, marked
    // closed for good, or marked as met in other units and tried again later. A scored row
    // never changes.
    void scoreForecasts();
    // Reads the real bars of F01YSK (CNT 1 to imcn) into memory.
    void loadBars();
    const Tracking::Bars& bars() const { return m_bars; }

    Tracking::TrackRecord trackRecord();
    QStringList reportLines() { return trackRecord().reportLines(); }

Q_SIGNALS:
    // The log or the scores changed.
    void changed();

private:
    void scoreLoggedForecasts();
    void writeLog(const ForecastSummary& summary);

    Store& m_store;
    Tracking::Bars m_bars;
    bool m_logUsable = false;
    // Whether the log has the columns of why a row is unscored (NSR) and of its decimals (DEC):
    // a database whose start-up could not add them keeps scoring as before.
    bool m_logHasReasons = false;
    std::optional<int> m_decimals;
};
