#include "session/Session.h"

Session::Session(Dialogs& dialogs, const QString& catalogueDir)
    : store(reg, dm, dialogs, catalogueDir) {
    QObject::connect(&prices, &PriceImport::imported, &analysis, [this] {
        if (!logsForecasts)
            return;
        analysis.setDecimals(prices.lastDecimals());
        analysis.scoreForecasts();
    });
    QObject::connect(&forecast, &Forecaster::completed, &analysis,
                     [this](const ForecastSummary& summary) {
                         if (logsForecasts)
                             analysis.logForecast(summary);
                     });
}

void Session::forecastEveryImport(TrainingJobs::Run run) {
    forecast.setRun(run);
    QObject::connect(&prices, &PriceImport::averaged, &forecast,
                     [this] { forecast.uq1K(Forecaster::forecastTrain); });
    // Off the thread the import's closing sequence has ended when the training comes back: the
    // forecast leaves F01YSK open in qd as the sequence does.
    if (run == TrainingJobs::Run::offThread)
        QObject::connect(&forecast, &Forecaster::finished, &prices, [this] { prices.openAll(); });
}
