#pragma once

#include "browser/WindowTargets.h"
#include "session/Session.h"
#include "ui/QtDialogs.h"

#include <QWidget>

#include <initializer_list>

class AnalysisPage;
class BacktestPage;
class BrowserPage;
class CsvPage;
class EventListPage;
class EventRecordPage;
class ForecastPage;
class FxTablePage;
class NetworkPage;
class PageFrame;
class ProForecastPage;
class QPushButton;
class QTabWidget;

// The main form KestoF: the ten pages in the page control pc above the bottom panel z0P with
// the close button. It owns the session (registers, data module, store) and the pages, runs
// the start-up at its first activation and connects the paths between pages.
class TKestoF : public QWidget {
    Q_OBJECT
public:
    // The window as the program runs it: its own message boxes, the installed catalogue.
    explicit TKestoF(QWidget* parent = nullptr);
    // The window answering through the given dialogs, with the catalogue from catalogueDir.
    TKestoF(Dialogs& dialogs, const QString& catalogueDir, QWidget* parent = nullptr);
    ~TKestoF() override;

    Session& session() { return m_session; }
    Dialogs& dialogs() { return m_dialogs; }
    QTabWidget* pageControl() const { return pc; }
    // Whether the first activation has run the start-up (successfully or not).
    bool startupRan() const { return m_startupRan; }

    // The first activation: the start-up, once. An error ends it where it stands; it is never
    // tried again, and the window stays on the page it was created with.
    void FormActivate();
    // Every page to its initial state, in order.
    void uc1IN();
    // Frees the network wrapper, when one is held.
    void FormDestroy();
    // The network of the latest training (the main form's NervFann field); empty before it.
    TNervFann* NervFann() const { return m_session.forecast.NervFann(); }

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void build();
    // One function per page, so that a page's class is changed in one place.
    void createAts();
    void createBts();
    void createCts();
    void createDts();
    void createEts();
    void createFts();
    void createGts();
    void createIts();
    void createJts();
    void createKts();
    void addPage(PageFrame* page, const QString& name, const QString& caption);
    void clearLabels(QWidget* page, std::initializer_list<const char*> names);
    void connectPages();
    // The window's place and size and page 1's day count as the last close left them, kept
    // beside the server-time answer of platform exports.
    void restoreSession();
    void keepSession();
    // A register written elsewhere (CSV読込, another page's panel) is read again when its page
    // is shown next: every page shows its table as stored.
    void connectRegisterRefresh();

    QtDialogs m_qtDialogs;
    Dialogs& m_dialogs;
    Session m_session;
    bool m_startupRan = false;

    QTabWidget* pc = nullptr;
    QWidget* z0P = nullptr;
    QPushButton* z0bB = nullptr;

    ForecastPage* ats = nullptr;    // 1 forecast
    ProForecastPage* bts = nullptr; // 2 pro forecast log
    NetworkPage* cts = nullptr;     // 3 network diagram
    FxTablePage* dts = nullptr;     // 4 FX table
    EventRecordPage* ets = nullptr; // 5 event records
    EventListPage* fts = nullptr;   // 6 event list and categories
    BrowserPage* gts = nullptr;     // 7 browser
    CsvPage* its = nullptr;         // 8 CSV exchange
    AnalysisPage* jts = nullptr;    // 9 track record
    BacktestPage* kts = nullptr;    // 10 backtest

    // Pages 2 and 5 as the browser reaches them: fields and pages by name.
    WindowTargets m_browserTargets{this};
};
