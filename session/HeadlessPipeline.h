#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

#include <optional>

class Session;

// What torvane-forecast was asked to do.
struct HeadlessOptions {
    QString priceFile;           // empty: only the start-up database work
    QDate today;                 // valid: the clock is fixed to this day
    std::optional<quint32> seed; // initial weights of the network, for a reproducible forecast
    std::optional<int> days;     // days of bars the forecast step shows
    QString tableFile;           // where F01YSK is written after the pipeline, when given
    bool report = false;         // the track record as tab-separated lines after the output
    // --convert IN OUT [--shift-hours H]: a trading platform's bar export to a price file.
    QString convertIn;
    QString convertOut;
    int shiftHours = 0;

    // Reads the arguments after the program name; throws TorvaneError with the usage text.
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

    // Runs the pipeline (or the conversion) and returns the lines it prints.
    QStringList run();

private:
    // Step 5 of the import's closing sequence: training and the forecast, seeded by
    // m_options.seed.
    void installForecastStep();

    Session& m_session;
    HeadlessOptions m_options;
};
