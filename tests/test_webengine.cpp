#include "session/Session.h"
#include "browser/BrowserPage.h"
#include "browser/WebEngineWebView.h"
#include "browser/WindowTargets.h"
#include "support/TestDialogs.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTest>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineProfile>
#include <QWebEngineView>

// The browser page on the real engine, offscreen, reading local pages only.
class TestWebEngine : public QObject {
    Q_OBJECT

    static constexpr int timeout = 30000;

public:
    static void initMain() {
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
        WebEngineWebView::prepareEnvironment();
        QStandardPaths::setTestModeEnabled(true);
    }

private Q_SLOTS:
    void addressArrivesInSiteField() {
        TestDialogs dialogs;
        Session session(dialogs, QStringLiteral(TORVANE_SOURCE_DIR "/data"));
        QTabWidget window;
        auto* bts = new QWidget;
        bts->setObjectName("bts");
        auto* layout = new QVBoxLayout(bts);
        for (const char* name : {"b105rz2E", "b106rs2E", "b107syt2E"}) {
            auto* edit = new QLineEdit;
            edit->setObjectName(QString::fromLatin1(name));
            layout->addWidget(edit);
        }
        auto* page = new BrowserPage(session, dialogs);
        window.addTab(bts, "2ﾌﾟﾛ目");
        window.addTab(page, "7ﾌﾞﾗｳｻﾞ");
        WindowTargets targets(&window);
        page->setTargets(&targets);
        page->uq7B(BrowserPage::browseClear);
        const QString local =
            QUrl::fromLocalFile(TORVANE_TEST_DATA "/browser_page.html").toString();
        page->setAddresses(local + "?q=", local);
        window.resize(904, 641);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));

        auto* web = qobject_cast<WebEngineWebView*>(page->webView());
        QVERIFY(web);
        QVERIFY(!web->engineView()); // nothing started before the first navigation
        auto* site = bts->findChild<QLineEdit*>("b107syt2E");
        auto* g132E = page->findChild<QLineEdit*>("g132E");
        auto* g142E = page->findChild<QLineEdit*>("g142E");

        page->openForProOpinion();
        QVERIFY(web->engineView());
        QVERIFY(web->profile()->persistentStoragePath().startsWith(
            QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation)));
        QVERIFY(!web->profile()->isOffTheRecord());
        QSignalSpy loaded(web->engineView(), &QWebEngineView::loadFinished);
        QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty(), timeout);
        QCOMPARE(loaded.first().first().toBool(), true);

        // Enter in g142E asks for the address; the query comes back as the page reports it.
        g142E->setFocus();
        QTest::keyClick(g142E, Qt::Key_Return);
        const QString expected = QUrl(local + "?q=ﾄﾞﾙ円").toString(QUrl::FullyEncoded);
        QTRY_COMPARE_WITH_TIMEOUT(site->text(), expected, timeout);

        // A search of one's own; entering g132E asks again and "+" arrives as a space.
        auto* word = page->findChild<QLineEdit*>("g02se2E");
        word->setText("usd+jpy");
        loaded.clear();
        QTest::keyClick(word, Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty(), timeout);
        g132E->setFocus(Qt::TabFocusReason);
        QTRY_COMPARE_WITH_TIMEOUT(site->text(), local + "?q=usd jpy", timeout);

        // The return releases the page; the next navigation opens it again.
        g132E->setText("ﾄﾞﾙ高");
        QTest::mouseClick(page->findChild<QPushButton*>("g15rtB"), Qt::LeftButton);
        QVERIFY(!web->engineView());
        QCOMPARE(window.currentWidget(), bts);
        QCOMPARE(bts->findChild<QLineEdit*>("b105rz2E")->text(), QStringLiteral("ﾄﾞﾙ高"));
        QCOMPARE(site->text(), local + "?q=usd jpy");
        QTest::keyClick(word, Qt::Key_Return);
        QVERIFY(web->engineView());
        QSignalSpy reloaded(web->engineView(), &QWebEngineView::loadFinished);
        QTRY_VERIFY_WITH_TIMEOUT(!reloaded.isEmpty(), timeout);
        QCOMPARE(web->engineView()->url(), QUrl(local));
    }
};

QTEST_MAIN(TestWebEngine)
#include "test_webengine.moc"
