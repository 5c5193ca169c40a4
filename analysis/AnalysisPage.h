#pragma once

#include "ui/PageFrame.h"

class Dialogs;
class QChart;
class QChartView;
class QDateTimeAxis;
class QHBoxLayout;
class QLabel;
class QLineSeries;
class QStandardItemModel;
class QTableView;
class QValueAxis;
class Session;
namespace Tracking {
struct TrackRecord;
}

// Page "9分析": the network's record against the no-change forecast, the professionals'
// opinions by site, the events by name, and the forecast against the actual close.
class AnalysisPage : public PageFrame {
    Q_OBJECT
public:
    AnalysisPage(Session& session, Dialogs& dialogs, QWidget* parent = nullptr);

    // Reads the log and the registers again and shows the record.
    void refresh();
    void showRecord(const Tracking::TrackRecord& record);

    QLabel* networkLabel() const { return m_network; }
    QTableView* siteGrid() const { return m_siteGrid; }
    QTableView* eventGrid() const { return m_eventGrid; }
    QChartView* chartView() const { return m_chartView; }
    QLineSeries* forecastSeries() const { return m_forecast; }
    QLineSeries* actualSeries() const { return m_actual; }

private:
    QTableView* grid(const QString& name, QStandardItemModel* model);

    Session& m_session;
    Dialogs& m_dialogs;
    QLabel* m_network;
    QStandardItemModel* m_sites;
    QStandardItemModel* m_events;
    QTableView* m_siteGrid;
    QTableView* m_eventGrid;
    QHBoxLayout* m_grids;
    QChart* m_chart;
    QChartView* m_chartView;
    QDateTimeAxis* m_axisX;
    QValueAxis* m_axisY;
    QLineSeries* m_forecast;
    QLineSeries* m_actual;
};
