#pragma once

#include "ui/PageFrame.h"

class Dialogs;
class QChart;
class QChartView;
class QHBoxLayout;
class QLabel;
class QLineSeries;
class QScatterSeries;
class QStandardItemModel;
class QTableView;
class QValueAxis;
class Session;
namespace Tracking {
struct TrackRecord;
}

// Page "9分析": the network's record against the no-change forecast (with the hit rate's
// interval and a test's verdict, per bar interval too), the professionals' opinions by site, the
// events by name, and the forecast change against the actual change of every scored forecast.
class AnalysisPage : public PageFrame {
    Q_OBJECT
public:
    AnalysisPage(Session& session, Dialogs& dialogs, QWidget* parent = nullptr);

    // Reads the log and the registers again and shows the record.
    void refresh();
    void showRecord(const Tracking::TrackRecord& record);

    QLabel* networkLabel() const { return m_network; }
    QLabel* intervalLabel() const { return m_intervals; }
    QLabel* unreadLabel() const { return m_unread; }
    QTableView* siteGrid() const { return m_siteGrid; }
    QTableView* eventGrid() const { return m_eventGrid; }
    QChartView* chartView() const { return m_chartView; }
    QScatterSeries* changeSeries() const { return m_changes; }

private:
    QTableView* grid(const QString& name, QStandardItemModel* model);

    Session& m_session;
    Dialogs& m_dialogs;
    QLabel* m_network;
    QLabel* m_intervals;
    QLabel* m_unread;
    QStandardItemModel* m_sites;
    QStandardItemModel* m_events;
    QTableView* m_siteGrid;
    QTableView* m_eventGrid;
    QHBoxLayout* m_grids;
    QChart* m_chart;
    QChartView* m_chartView;
    QValueAxis* m_axisX;
    QValueAxis* m_axisY;
    QScatterSeries* m_changes;
    QLineSeries* m_zeroX; // the forecast's zero change
    QLineSeries* m_zeroY; // the actual zero change
};
