#pragma once

#include "ui/QueryTableModel.h"
#include "records/RecordField.h"
#include "records/RegisterTable.h"

#include <QObject>
#include <QVector>

#include <functional>

class Dialogs;
class QLabel;
class QPushButton;
class QTableView;
class Session;

// The record editor every register page uses: a grid over the table's query, an entry panel
// with one field per catalogue column after CNT, a mode label ("新規"/"修正"), a count label and
// a register button, and the operations 1 to 6 behind them. The page creates one per table,
// places the widgets and hooks in what its table does differently.
class RecordEditor : public QObject {
    Q_OBJECT
public:
    struct FieldSetup {
        QString name;
        QString caption;
        RecordField::Ime ime = RecordField::Ime::None;
        bool rightAligned = false;
    };
    struct Setup {
        const RegisterTable* table;
        QString gridName;
        QVector<QueryTableModel::Column> columns; // the grid's columns and titles
        QString modeName;
        QString countName;
        QVector<FieldSetup> fields; // in catalogue order, which is the tab order
        QString buttonName;
        QString buttonText;
        bool redMode = true;
    };

    static inline const QString newMode = QStringLiteral("新規");
    static inline const QString modifyMode = QStringLiteral("修正");

    // The widgets are made as children of panel; the page moves the grid where it belongs.
    RecordEditor(Session& session, Dialogs& dialogs, Setup setup, QWidget* panel);

    // The dispatcher: 1 open the grid, 2 insert, 3 update, 4 next row number, 5 reset the
    // panel, 6 load the grid's current row. Other numbers do nothing.
    static constexpr int runOpen = 1;
    static constexpr int runInsert = 2;
    static constexpr int runUpdate = 3;
    static constexpr int runNextCount = 4;
    static constexpr int runReset = 5;
    static constexpr int runLoad = 6;
    void run(int op);
    // What the register button does: insert in new mode, update in modify mode.
    void registerPressed();
    // Reads the grid's rows again with its own statement (and so its own filter), keeping the
    // current row where it still exists: for a table written elsewhere.
    void reread();

    const RegisterTable& table() const { return *m_setup.table; }
    Query& query() const;
    QTableView* grid() const { return m_grid; }
    QueryTableModel* model() const { return m_model; }
    QLabel* modeLabel() const { return m_mode; }
    QLabel* countLabel() const { return m_count; }
    QPushButton* registerButton() const { return m_button; }
    const QVector<RecordField*>& fields() const { return m_fields; }
    RecordField* field(int i) const { return m_fields.value(i); }
    QLabel* caption(int i) const { return m_captions.value(i); }
    // Field i with its caption above it: the caption 24 pixels high at x, y, the field 30 high
    // under it, both w wide.
    void placeField(int i, int x, int y, int w);
    QString mode() const;

    // Page hooks. insertAllowed is asked before an insert; resetExtras runs with operation 5;
    // showPage brings the page to the front where the table's operations ask for it;
    // beforeRegister runs when the register button is pressed, before the write.
    std::function<bool()> insertAllowed;
    std::function<void()> resetExtras;
    std::function<void()> showPage;
    std::function<void()> beforeRegister;

Q_SIGNALS:
    // A row was inserted or updated.
    void rowWritten();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void enter();
    void insert();
    void update();
    void reset();
    void load();
    bool write(int op);
    void fillSlots();
    void returnToNewMode();

    Session& m_session;
    Dialogs& m_dialogs;
    Setup m_setup;
    QTableView* m_grid;
    QueryTableModel* m_model;
    QLabel* m_mode;
    QLabel* m_count;
    QVector<RecordField*> m_fields;
    QVector<QLabel*> m_captions;
    QPushButton* m_button;
    // The rowid of the loaded row when its CNT is empty or shared, so that the update changes
    // that row alone; -1 when the CNT names it.
    qint64 m_rowId = -1;
};

// The page tabs of the window take the focus (the QTabWidget the page sits in).
void focusPageTabs(QWidget* page);
// The tab of the page becomes the current one.
void showOwnPage(QWidget* page);
