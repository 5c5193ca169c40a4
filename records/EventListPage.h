#pragma once

#include "ui/PageFrame.h"
#include "records/RecordEditor.h"

class Dialogs;
class QLabel;
class Session;

// Page "6EV表": the event list F07EVL above and the event categories F08EVK below, each with
// its own record editor.
class EventListPage : public PageFrame {
    Q_OBJECT
public:
    EventListPage(Session& session, Dialogs& dialogs, QWidget* parent = nullptr);

    // The dispatcher of F07EVL: 1 open the grid with the tail in swh (first row current),
    // 2 insert, 3 update, 4 next row number, 5 reset, 6 load.
    void uq61L(int op) { m_list->run(op); }
    // The dispatcher of F08EVK, numbered the same way.
    void uq62K(int op) { m_categories->run(op); }
    RecordEditor* listEditor() const { return m_list; }
    RecordEditor* categoryEditor() const { return m_categories; }

private:
    void layoutPanels();

    Session& m_session;
    Dialogs& m_dialogs;
    QWidget* m_listPanel;
    QWidget* m_titlePanel;
    QLabel* m_categoryTitle;
    QWidget* m_categoryPanel;
    RecordEditor* m_list;
    RecordEditor* m_categories;
};
