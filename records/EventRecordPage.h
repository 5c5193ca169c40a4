#pragma once

#include "ui/PageFrame.h"
#include "records/RecordEditor.h"

class Dialogs;
class QLabel;
class Session;

// Page "5ｲﾍﾞﾝﾄ": the event records F06EVR with the value and price reactions.
class EventRecordPage : public PageFrame {
    Q_OBJECT
public:
    EventRecordPage(Session& session, Dialogs& dialogs, QWidget* parent = nullptr);

    // The dispatcher of F06EVR: 1 open the grid with the tail in swh (last row current),
    // 2 insert (not without an event name), 3 update, 4 next row number, 5 reset, 6 load.
    void uq5R(int op) { m_editor->run(op); }
    RecordEditor* editor() const { return m_editor; }
    QLabel* valuePercentLabel() const { return m_valuePercent; }
    QLabel* pricePercentLabel() const { return m_pricePercent; }

Q_SIGNALS:
    // Enter in the event-name field: the browser page should open the web page of the event
    // list's current row (its operation 2) and take the focus.
    void eventBrowserRequested();

private:
    void layoutPanel();
    void categoryEntered();
    void categoryKey(int key);
    void nameEntered();
    void nameKey(int key);
    // Removes the first "." of both texts, then shows result minus base and its percentage.
    void difference(int baseField, int resultField, int differenceField, QLabel* percent,
                    int nextField, const QString& resultName);
    void lookUpPrices();

    Session& m_session;
    Dialogs& m_dialogs;
    RecordEditor* m_editor;
    QLabel* m_valuePercent;
    QLabel* m_pricePercent;
};
