#pragma once

#include "prices/PlatformExport.h"
#include "store/TorvaneError.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QTime>

#include <functional>
#include <optional>

class Session;

// Arguments torvane-forecast cannot read: the command says why and how it is used, and ends
// with its own exit status, apart from a run that failed.
class UsageError : public TorvaneError {
public:
    using TorvaneError::TorvaneError;
};

// What torvane-forecast was asked to do.
struct HeadlessOptions {
    // Imported one after another, each trained and forecast (a later file scores the forecasts
    // of an earlier one); none: only the start-up database work.
    QStringList priceFiles;
    QDate today;                 // valid: the clock is fixed to this day
    // --as-of: a forecast as of a past moment. Each price file is read as if it ended at its
    // last line whose bar ends at or before it, the clock is fixed to it, and the run neither
    // logs its forecasts nor scores the log.
    QDateTime asOf;
    std::optional<quint32> seed; // initial weights of the network, for a reproducible forecast
    std::optional<int> days;     // days of bars the forecast step shows
    QString tableFile;           // where F01YSK is written after the pipeline, when given
    bool report = false;         // the track record as tab-separated lines after the output
    // --convert IN OUT [--shift-hours H | --from-zone ZONE]: a trading platform's bar export to
    // a price file, its server times moved to Japan time.
    // With price files, the same options say how the platform exports among them are read.
    QString convertIn;
    QString convertOut;
    PlatformExport::ServerTime serverTime;
    bool serverTimeGiven = false; // --shift-hours or --from-zone was given
    // --backtest PRICE_FILE: the walk-forward backtest over that file, with its period
    // (--from, --to; invalid: the defaults), origin times, seed count and jobs at once.
    QString backtestFile;
    QDate from, to;
    QList<QTime> origins;
    std::optional<int> seeds;
    std::optional<int> jobs;
    // --help, --version: print helpText or the version and do nothing else.
    bool help = false;
    bool version = false;
    QString helpText;

    // Reads the arguments after the program name; throws UsageError with the usage text.
    static HeadlessOptions parse(const QStringList& arguments);
    static QString usage();
};

// The window's main road without the window: start-up's database work, then the same import,
// averages and forecast as the button "FX読込", the summary of page 1 and the network's error
// on standard output, then optionally F01YSK as a CSV file.
class HeadlessPipeline {
public:
    HeadlessPipeline(Session& session, HeadlessOptions options)
        : m_session(session), m_options(std::move(options)) {}

    // Runs the pipeline (or the conversion) and returns the lines it prints; print, when
    // given, receives each line as soon as it is known (a file's summary once its forecast is
    // done), so that an error in a later file does not hide what an earlier one did. A platform
    // export among the price files with no say on its server time (neither option nor a
    // remembered answer) refuses the whole run with a UsageError before anything is imported.
    QStringList run(const std::function<void(const QString&)>& print = {});

private:
    // Step 5 of the import's closing sequence: training and the forecast, seeded by
    // m_options.seed.
    void installForecastStep();
    // Throws a UsageError naming the first platform export whose server time nobody gave.
    void refuseUnansweredExports() const;
    // The backtest: its fold lines and horizon lines, then a line on what it trained.
    QStringList backtest();

    Session& m_session;
    HeadlessOptions m_options;
};
