#pragma once

#include "ui/PageFrame.h"

#include <QString>
#include <Qt>

class BrowserTargets;
class Dialogs;
class QLabel;
class QLineEdit;
class QPushButton;
class Session;
class WebView;

// Page 7, "7ﾌﾞﾗｳｻﾞ": a small web browser used while the registers are kept. Opened from page 2
// for a pro opinion (marker "2b") or from page 5 for an event's web page (marker "5e"); the
// capture strip at the bottom collects what the user reads, and "検索元に戻る" carries it back.
//
// The window wires it up with setTargets() (WindowTargets does it by objectName), calls
// uq7B(browseClear) at start-up, and lets page 2 call openForProOpinion() and page 5
// openEventPage().
class BrowserPage : public PageFrame {
    Q_OBJECT
public:
    BrowserPage(Session& session, Dialogs& dialogs, QWidget* parent = nullptr);
    // Drives the given view instead of a WebEngine one and takes it over (tests).
    BrowserPage(Session& session, Dialogs& dialogs, WebView* view, QWidget* parent = nullptr);
    ~BrowserPage() override;

    // The fields and pages the browser writes into and shows; not owned. Without targets the
    // page only drives itself.
    void setTargets(BrowserTargets* targets);

    // 1 open for a pro opinion, 2 open the event list's current event page, 3 search,
    // 4 return to the source page, 5 clear the page. Other numbers do nothing.
    static constexpr int browseProOpinion = 1;
    static constexpr int browseEventPage = 2;
    static constexpr int browseSearch = 3;
    static constexpr int browseReturn = 4;
    static constexpr int browseClear = 5;
    void uq7B(int op);
    // Page 2: b105rz2E entered while empty, or F12 in b105rz2E, b106rs2E, b107syt2E.
    void openForProOpinion() { uq7B(browseProOpinion); }
    // Page 5: Enter in e104en2E. Opens the URL of the current row of qf1 (F07EVL).
    void openEventPage() { uq7B(browseEventPage); }

    // The search engine's address, the searched text appended after "q=".
    static QString searchAddress() { return QStringLiteral("https://www.google.com/search?q="); }
    // A broker's calendar of economic events.
    static QString calendarAddress() {
        return QStringLiteral("https://www.rakuten-sec.co.jp/web/market/calendar");
    }
    // Replaces both addresses; the real-engine test points them at local pages.
    void setAddresses(const QString& search, const QString& calendar);

    // Handlers of the page's controls; key codes are virtual key codes (13, 27, 38, 40).
    void g02se2EKeyDown(int key);
    void g112EKeyDown(int key, Qt::KeyboardModifiers shift);
    void g122EKeyDown(int key);
    void g132EEnter();
    void g132EKeyDown(int key);
    void g142EKeyDown(int key);
    void g15rtBClick();
    void gEdgExecuteScript(int aResult, const QString& aResultObjectAsJson);

    WebView* webView() const { return gEdg; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildHeader();
    void buildCaptureStrip();
    void placeMarker();
    void moveFocus(QWidget* from, bool forward);
    void askForAddress();

    Session& m_session;
    Dialogs& m_dialogs;
    BrowserTargets* m_targets;
    // Opens the address in the web view and remembers it as the one asked for.
    void navigate(const QString& address);
    // The address of the latest navigation: a page that fails to load reports the engine's
    // error page as its location instead.
    QString m_requested;
    QString m_searchAddress = searchAddress();
    QString m_calendarAddress = calendarAddress();

    QLabel* g02se1L;
    QLineEdit* g02se2E;
    QLabel* g04ifoL;
    QLabel* g03refL;
    WebView* gEdg;
    QLabel* g110ifL;
    QLabel* g111L;
    QLineEdit* g112E;
    QLabel* g121L;
    QLineEdit* g122E;
    QLabel* g131L;
    QLineEdit* g132E;
    QLabel* g141L;
    QLineEdit* g142E;
    QPushButton* g15rtB;
};
