#pragma once

#include "ui/PageFrame.h"
#include "records/RecordEditor.h"

class Dialogs;
class QLabel;
class Session;

// Page "2ﾌﾟﾛ目": the log of professional opinions F05PMF.
class ProForecastPage : public PageFrame {
    Q_OBJECT
public:
    ProForecastPage(Session& session, Dialogs& dialogs, QWidget* parent = nullptr);

    // The dispatcher of F05PMF: 1 open the grid (in CNT order, last row current), 2 insert,
    // 3 update, 4 next row number, 5 reset, 6 load the grid's row.
    void uq2MF(int op) { m_editor->run(op); }
    RecordEditor* editor() const { return m_editor; }

Q_SIGNALS:
    // The browser page should open for a pro opinion (its operation 1): an empty conclusion
    // field was entered, or F12 was pressed in the conclusion, reason or site field.
    void opinionBrowserRequested();
    // The register button was pressed: page 1 shows the conclusion and the reason (a1043rvL,
    // a1045uvL). Sent before the write, whatever its outcome.
    void opinionRegistered(const QString& conclusion, const QString& reason);

private:
    void layoutPanel();
    void dateEntered();

    Dialogs& m_dialogs;
    RecordEditor* m_editor;
    QLabel* m_hint;
};
