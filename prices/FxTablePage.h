#pragma once

#include "ui/PageFrame.h"

class Dialogs;
class QTableView;
class QueryTableModel;
class Session;

// Page 4, the FX table: the grid dG over qd, which shows F01YSK after every opening of the price
// query. The page has no handlers of its own.
class FxTablePage : public PageFrame {
    Q_OBJECT
public:
    FxTablePage(Session& session, Dialogs& dialogs, QWidget* parent = nullptr);

    QTableView* grid() const { return m_grid; }
    QueryTableModel* model() const { return m_model; }

private:
    QTableView* m_grid;
    QueryTableModel* m_model;
};
