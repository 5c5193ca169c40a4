#pragma once

#include "ui/PageFrame.h"

class CsvListModel;
class Dialogs;
class QLabel;
class QPushButton;
class QTableView;
class Session;

// Page 8: the list of exchangeable tables (F09CSV) in the grid iG, edited in place, and the
// buttons that write the table of the current row to its CSV file and read it back.
class CsvPage : public PageFrame {
    Q_OBJECT
public:
    CsvPage(Session& session, Dialogs& dialogs, QWidget* parent = nullptr);

    // 1: open the list (start-up), 2: export, 3: import the table of the current row.
    void uq8C(int op);

    QTableView* grid() const { return m_grid; }
    CsvListModel* model() const { return m_model; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // Stores the row whose edits are held, then stands on the given row of the reopened list
    // (-1: the row that was current).
    // False when the row was refused: it stays, with what was typed, as the current row.
    bool storePending(int target = -1);
    // The text of an open cell editor goes into the held edits.
    void commitEditor();

    Session& m_session;
    Dialogs& m_dialogs;
    QPushButton* m_write;
    QPushButton* m_read;
    QLabel* m_info;
    QTableView* m_grid;
    CsvListModel* m_model;
};
