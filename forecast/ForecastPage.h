#pragma once

#include "forecast/Forecaster.h"
#include "ui/PageFrame.h"

#include <QElapsedTimer>

#include <array>

class Dialogs;
class NetworkPage;
class PriceChartView;
class QMimeData;
class QChart;
class QChartView;
class QDateTimeAxis;
class QLabel;
class QLineEdit;
class QLineSeries;
class QProgressBar;
class QPushButton;
class QValueAxis;
class Session;
struct ForecastSummary;

// Page 1: the import button, the day count, the chart of the recent bars with their averages
// and the forecast, and the summary of the last and forecast prices.
class ForecastPage : public PageFrame {
    Q_OBJECT
public:
    ForecastPage(Session& session, Dialogs& dialogs, QWidget* parent = nullptr);

    QPushButton* importButton() const { return m_import; }
    // a12ifL, the hint and result line under the title.
    void setInfo(const QString& text);
    // The nine values of the summary panel.
    // The last bar's high, close and low only.
    void showLastBar(const ForecastSummary& summary);
    void showSummary(const ForecastSummary& summary);
    // The conclusion and reason of the professional opinion registered last.
    void setOpinion(const QString& conclusion, const QString& reason);
    // Draws the chart over the last a15dE days and the forecast slots (uq1K 2).
    void drawChart();
    // Draws the rows the core selected, the forecast beginning after lastBar.
    void showChart(const ChartData& data, const QDateTime& lastBar);
    // A training of that many bars starts: no forecast is shown until it has ended, and its
    // progress, the bars, the time left and "中止" appear.
    void showTrainingStart(int bars);
    // The training's progress: shown from the first pass, hidden after the last.
    void showProgress(int done, int total);
    // The training ended: its progress and "中止" go.
    void showTrainingEnd();

    QChart* chart() const { return m_chart; }
    PriceChartView* chartView() const { return m_chartView; }
    QLineSeries* series(int i) const { return m_series[i]; }

Q_SIGNALS:
    // "FX読込" was clicked: the window asks for the price file and imports it.
    void importRequested();
    // A price file was dropped onto the page: the window imports it as "FX読込" would.
    void fileDropped(const QString& path);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QLabel* label(const QString& name, const QString& text, int left, int top, int width,
                  QWidget* parent);
    void showHover(int series, const QPointF& point, bool state);
    // The progress bar's text: the bars and the time left after `done` passes.
    void showRemaining(int done, int total);
    // The one local file a drop carries; empty for anything else.
    static QString droppedFile(const QMimeData* data);

    Session& m_session;
    Dialogs& m_dialogs;
    QLabel* m_info;
    QPushButton* m_import;
    QLineEdit* m_days;
    QProgressBar* m_progress;
    QElapsedTimer m_progressShown;
    QElapsedTimer m_trainingClock; // since the training's start, for the time left
    int m_trainingBars = 0;
    QPushButton* m_cancel;
    PriceChartView* m_chartView;
    QChart* m_chart;
    QDateTimeAxis* m_axisX;
    QValueAxis* m_axisY;
    std::array<QLineSeries*, 7> m_series{};
    QLabel* m_lastHigh;
    QLabel* m_forecastHigh;
    QLabel* m_highDiff;
    QLabel* m_lastClose;
    QLabel* m_forecastClose;
    QLabel* m_closeDiff;
    QLabel* m_lastLow;
    QLabel* m_forecastLow;
    QLabel* m_lowDiff;
    QLabel* m_conclusion;
    QLabel* m_reason;
};

// Lets the forecast fill pages 1 and 3 and show its progress on page 1, and the import speak on
// page 1's information line.
void connectForecastPages(Session& session, ForecastPage& page1, NetworkPage& page3);
