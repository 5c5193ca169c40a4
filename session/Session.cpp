#include "session/Session.h"

Session::Session(Dialogs& dialogs, const QString& catalogueDir)
    : store(reg, dm, dialogs, catalogueDir) {
    prices.imported = [this] {
        analysis.setDecimals(prices.lastDecimals());
        analysis.scoreForecasts();
    };
    forecast.completed = [this](const ForecastSummary& summary) { analysis.logForecast(summary); };
}
