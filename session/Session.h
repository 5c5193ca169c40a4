#pragma once

#include "analysis/Analysis.h"
#include "analysis/Backtester.h"
#include "csv/CsvExchange.h"
#include "forecast/Forecaster.h"
#include "prices/PriceImport.h"
#include "store/Dialogs.h"
#include "store/Registers.h"
#include "store/Store.h"
#include "store/Tdm.h"

// The core's state for one running program: the registers, the data module and the operations
// over them. The window and the headless command each own one.
class Session {
public:
    explicit Session(Dialogs& dialogs, const QString& catalogueDir = defaultCatalogueDir());

    Registers reg;
    Tdm dm;
    Store store;
    PriceImport prices{store};
    CsvExchange csv{store};
    Forecaster forecast{store, prices};
    // The forecast log and the track record: every completed forecast is logged, every price
    // import scores the logged forecasts it covers.
    Analysis analysis{store};
    // The walk-forward backtest: its folds train beside the window and keep nothing of the
    // session's tables but their own cache.
    Backtester backtest{store};
    // False for a forecast as of a past moment: its forecasts are not logged and its imports
    // score nothing, so the log stays as it was.
    bool logsForecasts = true;

    // The start-up database work: SQDB.DB in the current directory, a fresh in-memory
    // database, the catalogue on first run, every application table; then whether the forecast
    // log can be used.
    void openDatabases() {
        store.uqCdb();
        analysis.checkLog();
    }

    // Every price import goes on to train and forecast, the training run as `run` says (the
    // window: off its thread; the headless command: here). Called once.
    void forecastEveryImport(TrainingJobs::Run run);

    // Whether a job is out (a training or a backtest): what would change its data (an import,
    // a CSV import, another backtest, closing the window) is refused meanwhile.
    bool busy() const { return forecast.training() || backtest.running(); }
    // Every user action that would change a job's data asks this first: while busy it says
    // that `what` cannot be done now and returns true.
    bool refusesWhileBusy(const QString& what) {
        if (!busy())
            return false;
        store.dialogs().message(forecast.training() ? Forecaster::duringTraining(what)
                                                    : Backtester::duringBacktest(what));
        return true;
    }
};
