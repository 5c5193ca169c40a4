#include "session/Session.h"
#include "browser/BrowserPage.h"
#include "browser/BrowserTargets.h"
#include "browser/WebEngineWebView.h"
#include "browser/WebView.h"
#include "browser/WindowTargets.h"
#include "store/Clock.h"
#include "store/TorvaneError.h"
#include "support/TestDialogs.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTest>
#include <QVBoxLayout>

#include <memory>

// Records what the page asks of its web view; script results are delivered by the test.
class FakeWebView : public WebView {
    Q_OBJECT
public:
    QStringList navigations;
    QStringList scripts;
    int closes = 0;

    void navigate(const QString& address) override { navigations << address; }
    void runScript(const QString& script) override { scripts << script; }
    void closeView() override { ++closes; }
    void deliver(const QString& json) { Q_EMIT scriptResult(0, json); }
};

class FakeTargets : public BrowserTargets {
public:
    QMap<QString, QString> texts;
    QStringList focus;
    QStringList pages;

    void setText(const QString& field, const QString& value) override { texts[field] = value; }
    void setFocus(const QString& field) override { focus << field; }
    void showPage(const QString& page) override { pages << page; }
};

// Page 2's rule: arriving in an empty b105rz2E opens the browser for a pro opinion.
class EmptyFieldOpensBrowser : public QObject {
public:
    EmptyFieldOpensBrowser(QLineEdit* field, BrowserPage* page)
        : QObject(field), m_field(field), m_page(page) {
        field->installEventFilter(this);
    }
    int openings = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::FocusIn && m_field->text().isEmpty()) {
            ++openings;
            m_page->openForProOpinion();
        }
        return false;
    }

private:
    QLineEdit* m_field;
    BrowserPage* m_page;
};

class TestBrowser : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDialogs> dialogs;
    std::unique_ptr<Session> session;
    std::unique_ptr<BrowserPage> page;
    FakeWebView* view = nullptr;
    FakeTargets targets;

    template <typename T> T* control(const char* name) {
        auto* w = page->findChild<T*>(QString::fromLatin1(name));
        if (!w)
            qFatal("no control %s", name);
        return w;
    }
    QLineEdit* field(const char* name) { return control<QLineEdit>(name); }
    QString caption(const char* name) { return control<QLabel>(name)->text(); }

    // The event list as page 5 leaves it: qf1 open, standing on the chosen event.
    void openEventList() {
        Query& qf1 = session->dm.qf1;
        qf1.setConnection(session->dm.csm());
        qf1.setSql(QStringLiteral("select 1 as CNT, 'https://example.com/cpi' as URL union all "
                                  "select 2, 'https://example.com/nfp?m=7'"));
        qf1.open();
        qf1.next();
    }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        Clock::fix(QDateTime(QDate(2025, 7, 9), QTime(10, 15)));
    }
    void cleanupTestCase() { Clock::release(); }

    void init() {
        dialogs = std::make_unique<TestDialogs>();
        session = std::make_unique<Session>(*dialogs, QStringLiteral(TORVANE_SOURCE_DIR "/data"));
        targets = FakeTargets();
        view = new FakeWebView;
        page = std::make_unique<BrowserPage>(*session, *dialogs, view);
        page->setTargets(&targets);
        page->uq7B(BrowserPage::browseClear);
        page->resize(896, 562);
        page->show();
        page->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(page.get()));
    }
    void cleanup() {
        page.reset();
        session.reset();
    }

    void startsCleared() {
        QCOMPARE(field("g02se2E")->text(), QStringLiteral("経済指標"));
        QCOMPARE(caption("g03refL"), QString());
        QCOMPARE(caption("g01ttlL"), QStringLiteral("7 ﾌﾞﾗｳｻﾞ"));
        QCOMPARE(control<QPushButton>("g15rtB")->text(), QStringLiteral("検索元に戻る"));
        QVERIFY(view->navigations.isEmpty());
    }

    void searchAddresses_data() {
        QTest::addColumn<QString>("word");
        QTest::addColumn<QString>("address");
        QTest::newRow("start word") << "経済指標" << BrowserPage::calendarAddress();
        QTest::newRow("empty") << "" << BrowserPage::calendarAddress();
        QTest::newRow("space kept")
            << "ドル円 予想" << BrowserPage::searchAddress() + "ドル円 予想";
        QTest::newRow("not trimmed") << " 雇用統計" << BrowserPage::searchAddress() + " 雇用統計";
    }
    void searchAddresses() {
        QFETCH(QString, word);
        QFETCH(QString, address);
        field("g02se2E")->setText(word);
        QTest::keyClick(field("g02se2E"), Qt::Key_Return);
        QCOMPARE(view->navigations, QStringList{address});
        QCOMPARE(session->reg.sa[1], address);
        QCOMPARE(caption("g03refL"), QString());
        QVERIFY(targets.pages.isEmpty());
    }

    void addressesAreHttps() {
        QCOMPARE(BrowserPage::searchAddress().section(u'?', 0, 0).section(u'/', 3),
                 QStringLiteral("search"));
        QVERIFY(BrowserPage::searchAddress().startsWith(u"https://"));
        QVERIFY(BrowserPage::searchAddress().endsWith(u"/search?q="));
        QVERIFY(BrowserPage::calendarAddress().startsWith(u"https://"));
        QVERIFY(BrowserPage::calendarAddress().endsWith(u"/web/market/calendar"));
    }

    void proOpening() {
        field("g02se2E")->setText(QStringLiteral("金利"));
        page->openForProOpinion();
        QCOMPARE(targets.pages, QStringList{"gts"});
        QCOMPARE(caption("g03refL"), QStringLiteral("2b"));
        QCOMPARE(view->navigations, QStringList{BrowserPage::searchAddress() + "ﾄﾞﾙ円"});
        QCOMPARE(caption("g110ifL"), QStringLiteral("ﾌﾟﾛの目"));
        QCOMPARE(caption("g111L"), QString());
        QCOMPARE(caption("g121L"), QString());
        QCOMPARE(caption("g131L"), QStringLiteral("結論"));
        QCOMPARE(caption("g141L"), QStringLiteral("理由"));
        QVERIFY(!field("g112E")->isEnabled());
        QVERIFY(!field("g122E")->isEnabled());
        QCOMPARE(field("g132E")->inputMethodHints(), Qt::ImhNone);
        QCOMPARE(field("g142E")->inputMethodHints(), Qt::ImhNone);
        QCOMPARE(QApplication::focusWidget(), field("g132E"));
        // Entering g132E asked for the address at once.
        QCOMPARE(view->scripts, QStringList{"encodeURI(location.href)"});
        QCOMPARE(field("g02se2E")->text(), QStringLiteral("金利"));
        // A search of one's own keeps the mode.
        QTest::keyClick(field("g02se2E"), Qt::Key_Return);
        QCOMPARE(view->navigations.last(), BrowserPage::searchAddress() + "金利");
        QCOMPARE(caption("g03refL"), QStringLiteral("2b"));
    }

    void addressAskedInProMode() {
        page->openForProOpinion();
        view->scripts.clear();
        QTest::keyClick(field("g132E"), Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), field("g142E"));
        QVERIFY(view->scripts.isEmpty());
        QTest::keyClick(field("g142E"), Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), control<QPushButton>("g15rtB"));
        QCOMPARE(view->scripts, QStringList{"encodeURI(location.href)"});
        // Back into g132E by tab: asked again. Esc from g132E skips the disabled fields.
        field("g132E")->setFocus(Qt::BacktabFocusReason);
        QCOMPARE(view->scripts.size(), 2);
        QTest::keyClick(field("g132E"), Qt::Key_Escape);
        QCOMPARE(QApplication::focusWidget(), field("g02se2E"));
    }

    void noAddressOutsideProMode() {
        openEventList();
        page->openEventPage();
        field("g132E")->setFocus(Qt::TabFocusReason);
        QTest::keyClick(field("g142E"), Qt::Key_Return);
        QVERIFY(view->scripts.isEmpty());
    }

    void eventOpeningAfterProOpening() {
        openEventList();
        page->openForProOpinion();
        page->openEventPage();
        QCOMPARE(caption("g03refL"), QStringLiteral("5e"));
        QCOMPARE(targets.pages, (QStringList{"gts", "gts"}));
        QCOMPARE(view->navigations.last(), QStringLiteral("https://example.com/nfp?m=7"));
        QCOMPARE(session->reg.sa[1], QStringLiteral("https://example.com/nfp?m=7"));
        QVERIFY(field("g112E")->isEnabled());
        QVERIFY(field("g122E")->isEnabled());
        QCOMPARE(QApplication::focusWidget(), field("g112E"));
        QCOMPARE(caption("g110ifL"), QStringLiteral("ｲﾍﾞﾝﾄ記録"));
        QCOMPARE(caption("g111L"), QStringLiteral("発表日"));
        QCOMPARE(caption("g121L"), QStringLiteral("時間"));
        QCOMPARE(caption("g131L"), QStringLiteral("結果値"));
        QCOMPARE(caption("g141L"), QStringLiteral("期待値"));
        for (const char* name : {"g112E", "g122E", "g132E", "g142E"})
            QCOMPARE(field(name)->inputMethodHints(), Qt::ImhLatinOnly);
    }

    void eventPageNeedsTheEventList() {
        QVERIFY_THROWS_EXCEPTION(TorvaneError, page->openEventPage());
        QVERIFY(view->navigations.isEmpty());
    }

    void stepsAndMovesInEventMode() {
        openEventList();
        page->openEventPage();
        QLineEdit* date = field("g112E");
        QLineEdit* time = field("g122E");
        date->setText(QStringLiteral("2025/07/09"));
        QTest::keyClick(date, Qt::Key_Up);
        QCOMPARE(date->text(), QStringLiteral("2025/07/08"));
        QCOMPARE(session->reg.sa[1], QStringLiteral("2025/07/08"));
        // Arrows of the keypad step the same way.
        QTest::keyClick(date, Qt::Key_Down, Qt::ShiftModifier | Qt::KeypadModifier);
        QCOMPARE(date->text(), QStringLiteral("2025/08/08"));
        QTest::keyClick(date, Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), time);
        time->setText(QStringLiteral("21:30"));
        QTest::keyClick(time, Qt::Key_Down);
        QCOMPARE(time->text(), QStringLiteral("21:25"));
        QTest::keyClick(time, Qt::Key_Escape);
        QCOMPARE(QApplication::focusWidget(), date);
    }

    void unreadableTimeIsReported() {
        openEventList();
        page->openEventPage();
        QLineEdit* time = field("g122E");
        time->setText(QStringLiteral("9時"));
        QTest::keyClick(time, Qt::Key_Up);
        QCOMPARE(time->text(), QStringLiteral("9時"));
        QCOMPARE(dialogs->errors.size(), 1);
    }

    void returnCarriesValues_data() {
        QTest::addColumn<QString>("marker");
        QTest::addColumn<QStringList>("captured"); // g112E, g122E, g132E, g142E
        QTest::addColumn<QStringList>("written");  // field=value, in field name order
        QTest::addColumn<QStringList>("pages");
        QTest::addColumn<QStringList>("focus");

        QTest::newRow("pro opinion") << "2b" << QStringList{"", "", "ﾄﾞﾙ高", "金利差"}
                                     << QStringList{"b105rz2E=ﾄﾞﾙ高", "b106rs2E=金利差"}
                                     << QStringList{"gts", "bts"} << QStringList{"b107syt2E"};
        QTest::newRow("pro opinion, nothing captured")
            << "2b" << QStringList{"", "", "", ""} << QStringList{"b105rz2E=", "b106rs2E="}
            << QStringList{"gts", "bts"} << QStringList{"b107syt2E"};
        QTest::newRow("event") << "5e" << QStringList{"2025/07/04", "21:30", "3.25", "3.1"}
                               << QStringList{"e105dt2E=2025/07/04", "e106hm2E=21:30",
                                              "e107eiv2E=31", "e108riv2E=325"}
                               << QStringList{"gts", "ets"} << QStringList{"e107eiv2E"};
        QTest::newRow("event, no point and two points")
            << "5e" << QStringList{"", "", "1.2.3", "250"}
            << QStringList{"e105dt2E=", "e106hm2E=", "e107eiv2E=250", "e108riv2E=12.3"}
            << QStringList{"gts", "ets"} << QStringList{"e107eiv2E"};
        QTest::newRow("no marker") << "" << QStringList{"a", "b", "c", "d"} << QStringList{}
                                   << QStringList{} << QStringList{};
    }
    void returnCarriesValues() {
        QFETCH(QString, marker);
        QFETCH(QStringList, captured);
        QFETCH(QStringList, written);
        QFETCH(QStringList, pages);
        QFETCH(QStringList, focus);
        openEventList();
        if (marker == "2b")
            page->openForProOpinion();
        else if (marker == "5e")
            page->openEventPage();
        const char* names[] = {"g112E", "g122E", "g132E", "g142E"};
        for (int i = 0; i < 4; ++i)
            field(names[i])->setText(captured[i]);
        field("g02se2E")->setText(QStringLiteral("ドル円"));

        QTest::mouseClick(control<QPushButton>("g15rtB"), Qt::LeftButton);

        QStringList actual;
        for (auto it = targets.texts.cbegin(); it != targets.texts.cend(); ++it)
            actual << it.key() + u'=' + it.value();
        QCOMPARE(actual, written);
        QCOMPARE(targets.pages, pages);
        QCOMPARE(targets.focus, focus);
        QCOMPARE(view->closes, 1);
        // Cleared, but the fields keep their enabled state until the next opening.
        QCOMPARE(field("g02se2E")->text(), QStringLiteral("経済指標"));
        for (const char* name : {"g03refL", "g110ifL", "g111L", "g121L", "g131L", "g141L"})
            QCOMPARE(caption(name), QString());
        for (const char* name : names)
            QCOMPARE(field(name)->text(), QString());
        QCOMPARE(field("g112E")->isEnabled(), marker != "2b");
        // Enter on the cleared search word opens the calendar.
        QTest::keyClick(field("g02se2E"), Qt::Key_Return);
        QCOMPARE(view->navigations.last(), BrowserPage::calendarAddress());
    }

    void scriptResult_data() {
        QTest::addColumn<QString>("marker");
        QTest::addColumn<QString>("json");
        QTest::addColumn<bool>("written");
        QTest::addColumn<QString>("address");
        QTest::newRow("plain") << "2b"
                               << "\"https://example.com/a?x=1\"" << true
                               << "https://example.com/a?x=1";
        QTest::newRow("plus becomes a space") << "2b"
                                              << "\"https://example.com/search?q=usd+jpy\"" << true
                                              << "https://example.com/search?q=usd jpy";
        QTest::newRow("percent sequences decoded as UTF-8")
            << "2b"
            << "\"https://example.com/%E7%B5%8C%E6%B8%88?q=%2525%2B\"" << true
            << "https://example.com/経済?q=%25+";
        QTest::newRow("empty string") << "2b"
                                      << "\"\"" << true << "";
        QTest::newRow("failed page gives the address asked for")
            << "2b"
            << "\"chrome-error://chromewebdata/\"" << true
            << BrowserPage::searchAddress() + QStringLiteral("ﾄﾞﾙ円");
        QTest::newRow("null is ignored") << "2b"
                                         << "null" << false << "";
        QTest::newRow("dropped in event mode") << "5e"
                                               << "\"https://example.com/\"" << false << "";
        QTest::newRow("dropped without marker") << ""
                                                << "\"https://example.com/\"" << false << "";
    }
    void scriptResult() {
        QFETCH(QString, marker);
        QFETCH(QString, json);
        QFETCH(bool, written);
        QFETCH(QString, address);
        openEventList();
        if (marker == "2b")
            page->openForProOpinion();
        else if (marker == "5e")
            page->openEventPage();
        view->deliver(json);
        QCOMPARE(targets.texts.contains("b107syt2E"), written);
        QCOMPARE(targets.texts.value("b107syt2E"), address);
    }

    void jsonText_data() {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("json");
        QTest::newRow("nothing") << QVariant() << "null";
        QTest::newRow("string") << QVariant(QStringLiteral("https://a/b?c=%25"))
                                << "\"https://a/b?c=%25\"";
        QTest::newRow("quote in string") << QVariant(QStringLiteral("a\"b")) << "\"a\\\"b\"";
        QTest::newRow("number") << QVariant(3) << "3";
        QTest::newRow("bool") << QVariant(true) << "true";
    }
    void jsonText() {
        QFETCH(QVariant, value);
        QFETCH(QString, json);
        QCOMPARE(WebEngineWebView::jsonText(value), json);
    }

    void unknownOperationsDoNothing() {
        page->uq7B(6);
        page->uq7B(0);
        QVERIFY(view->navigations.isEmpty());
        QVERIFY(targets.pages.isEmpty());
        QCOMPARE(view->closes, 0);
    }

    // In a real window: page 2's empty conclusion field opens the browser when entered; the
    // return must not re-enter it while switching back.
    void windowRoundTrip() {
        page.reset();
        QTabWidget window;
        auto* bts = new QWidget;
        bts->setObjectName("bts");
        auto* layout = new QVBoxLayout(bts);
        QLineEdit* fields[3];
        const char* names[] = {"b105rz2E", "b106rs2E", "b107syt2E"};
        for (int i = 0; i < 3; ++i) {
            fields[i] = new QLineEdit;
            fields[i]->setObjectName(QString::fromLatin1(names[i]));
            layout->addWidget(fields[i]);
        }
        window.addTab(bts, "2ﾌﾟﾛ目");
        auto* fake = new FakeWebView;
        auto* browser = new BrowserPage(*session, *dialogs, fake);
        window.addTab(browser, "7ﾌﾞﾗｳｻﾞ");
        WindowTargets windowTargets(&window);
        browser->setTargets(&windowTargets);
        browser->uq7B(BrowserPage::browseClear);
        auto* rule = new EmptyFieldOpensBrowser(fields[0], browser);
        window.resize(904, 600);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));

        fields[0]->setFocus(Qt::TabFocusReason);
        QCOMPARE(rule->openings, 1);
        QCOMPARE(window.currentWidget(), browser);
        auto* g132E = browser->findChild<QLineEdit*>("g132E");
        QCOMPARE(QApplication::focusWidget(), g132E);
        QCOMPARE(fake->scripts.size(), 1);
        fake->deliver("\"https://example.com/view?id=1+2\"");
        QCOMPARE(fields[2]->text(), QStringLiteral("https://example.com/view?id=1 2"));

        browser->findChild<QLineEdit*>("g142E")->setText(QStringLiteral("円安"));
        QTest::mouseClick(browser->findChild<QPushButton*>("g15rtB"), Qt::LeftButton);
        QCOMPARE(window.currentWidget(), bts);
        QCOMPARE(QApplication::focusWidget(), fields[2]);
        QCOMPARE(rule->openings, 1);
        QCOMPARE(fields[0]->text(), QString());
        QCOMPARE(fields[1]->text(), QStringLiteral("円安"));
        QCOMPARE(fake->closes, 1);
    }
};

QTEST_MAIN(TestBrowser)
#include "test_browser.moc"
