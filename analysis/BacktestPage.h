#pragma once

#include "analysis/Backtest.h"
#include "ui/PageFrame.h"

#include <QDate>
#include <QList>
#include <QTime>

#include <optional>
#include <vector>

class Dialogs;
class QChart;
class QChartView;
class QLabel;
class QLineEdit;
class QLineSeries;
class QProgressBar;
class QPushButton;
class QScatterSeries;
class QSpinBox;
class QStandardItemModel;
class QTableView;
class QValueAxis;
class Session;
namespace Tracking {
struct NetworkRecord;
}

// Page "10検証": the walk-forward backtest of a price file as the window runs it. The file,
// the period, the origin times and the seed count; 実行 and 中止 with the folds' progress; the
// folds done summarised by slot in a table and a chart of the relative error; the live record
// of page 9 set against the backtest's hit-rate interval for the tenth slot; and emptying the
// fold cache.
class BacktestPage : public PageFrame {
    Q_OBJECT
public:
    BacktestPage(Session& session, Dialogs& dialogs, QWidget* parent = nullptr);

    // The press of 実行: refused while a job is out, then the entries read, the server time of
    // a platform export asked and the run started. Errors are said through the dialogs.
    void runPressed();
    // The press of 中止: the folds in training stop; the finished ones stay kept.
    void stopPressed();
    // The press of "保存した予測を消す": asks first; refused while a backtest runs.
    void clearPressed();
    // The press of 参照: the price-file dialog fills the file entry.
    void browsePressed();
    // The live record's line against the last results, read again (after an import scored
    // logged forecasts).
    void refreshRecord();

    // A price file just imported becomes the file offered, here and at the next start.
    void rememberFile(const QString& path);

    // One cell's text per slot and column, as the table shows it ("-" where nothing was scored).
    static QStringList rowTexts(const Backtest::SlotRow& row);
    // "完了 12 / 残り 248 / 残り時間 約 3分".
    static QString progressText(int done, int total, double secondsLeft);
    // The live record against the backtest's interval of the tenth slot.
    static QString recordText(const Tracking::NetworkRecord& live,
                              const std::optional<Backtest::SlotRow>& tenth);
    // "09:00,15:00,21:00" read as times; nothing when a part is no hh:nn time.
    static std::optional<QList<QTime>> readOrigins(const QString& text);

    QLineEdit* fileEdit() const { return m_file; }
    QLineEdit* fromEdit() const { return m_from; }
    QLineEdit* toEdit() const { return m_to; }
    QLineEdit* originsEdit() const { return m_origins; }
    QSpinBox* seedsBox() const { return m_seeds; }
    QPushButton* browseButton() const { return m_browse; }
    QPushButton* runButton() const { return m_run; }
    QPushButton* stopButton() const { return m_stop; }
    QPushButton* clearButton() const { return m_clear; }
    QLabel* progressLabel() const { return m_progressText; }
    QProgressBar* progressBar() const { return m_progress; }
    QTableView* resultGrid() const { return m_grid; }
    QLabel* noteLabel() const { return m_note; }
    QLabel* recordLabel() const { return m_record; }
    QChartView* chartView() const { return m_chartView; }
    QScatterSeries* relativeSeries() const { return m_relative; }

private:
    void setRunning(bool running);
    void showProgress(int done, int total, double secondsLeft);
    void runEnded(bool complete);
    void showResults();
    // A date entry: empty is the default (invalid date); false after saying what is wrong.
    bool readDateEntry(const QLineEdit* edit, const QString& name, QDate& date);

    Session& m_session;
    Dialogs& m_dialogs;
    QLineEdit* m_file;
    QPushButton* m_browse;
    QLineEdit* m_from;
    QLineEdit* m_to;
    QLineEdit* m_origins;
    QSpinBox* m_seeds;
    QPushButton* m_run;
    QPushButton* m_stop;
    QPushButton* m_clear;
    QLabel* m_progressText;
    QProgressBar* m_progress;
    QStandardItemModel* m_rows;
    QTableView* m_grid;
    QLabel* m_note;
    QLabel* m_record;
    QChart* m_chart;
    QChartView* m_chartView;
    QValueAxis* m_axisX;
    QValueAxis* m_axisY;
    QScatterSeries* m_relative;
    QLineSeries* m_relativeLine;
    QLineSeries* m_noChange; // the relative error of the no-change forecast, 1.0
    // The last results shown: the tenth slot's row, for the live record's line.
    std::optional<Backtest::SlotRow> m_tenth;
    // The run under way, or the last one, ended on an error (said by the dialogs).
    bool m_failed = false;
};
