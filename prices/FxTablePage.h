#pragma once

#include "ui/PageFrame.h"

class Dialogs;
class QLabel;
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
    // The line in the bottom panel that tells what the latest import brought in.
    void setImportInfo(const QString& text);

private:
    QLabel* m_importInfo;
    QTableView* m_grid;
    QueryTableModel* m_model;
};
