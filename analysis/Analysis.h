#pragma once

#include "analysis/TrackRecord.h"

#include <QString>
#include <QStringList>

#include <functional>

class Store;
struct ForecastSummary;

// The forecast log F10YSR and the track record over it, the opinions F05PMF and the event
// records F06EVR. Its reads and writes leave the working registers as they found them, so the
// operations it runs between see the registers they expect.
class Analysis {
public:
    explicit Analysis(Store& store) : m_store(store) {}

    // Looks at the log after the databases are opened: it is used only when it is catalogued
    // with its columns and SQDB.DB's table of that name holds them. A table of that name that
    // is not the log, or a catalogue that lacks its columns, is said once, in words; the program
    // goes on without the log, touching neither.
    void checkLog();
    bool logUsable() const { return m_logUsable; }

    // Logs the completed forecast of the bars in F01YSK: a forecast for the same last bar and
    // interval replaces that row's values and keeps its CNT. The row is found, numbered and
    // written in one transaction holding the file's write lock.
    void logForecast(const ForecastSummary& summary);
    // After a price import: reads the imported bars and gives every logged forecast whose
    // target they cover its actual close. A scored row keeps its value.
    void scoreForecasts();
    // Reads the real bars of F01YSK (CNT 1 to imcn) into memory.
    void loadBars();
    const Tracking::Bars& bars() const { return m_bars; }

    Tracking::TrackRecord trackRecord();
    QStringList reportLines() { return trackRecord().reportLines(); }

    // Called after the log or the scores changed.
    std::function<void()> changed;

private:
    void scoreLoggedForecasts();
    void writeLog(const ForecastSummary& summary);

    Store& m_store;
    Tracking::Bars m_bars;
    bool m_logUsable = false;
};
