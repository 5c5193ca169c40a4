#include "records/EventListPage.h"
#include "records/EventRecordPage.h"
#include "records/ProForecastPage.h"
#include "session/Session.h"
#include "store/Clock.h"
#include "store/KeptSettings.h"
#include "support/SessionFixture.h"
#include "support/TestDialogs.h"
#include "support/TestFolder.h"
#include "support/TestSettings.h"
#include "ui/Look.h"

#include <QApplication>
#include <QDir>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <memory>

// The three register pages in a page control as the window holds them, over a started session
// in a fresh folder.
class TestRecords : public QObject, protected SessionFixture {
    Q_OBJECT

    TestSettings settings;

    std::unique_ptr<QTabWidget> pc;
    ProForecastPage* pro = nullptr;
    EventRecordPage* events = nullptr;
    EventListPage* list = nullptr;

    template <class T = QWidget> T* w(QWidget* page, const char* name) {
        T* widget = page->findChild<T*>(QLatin1String(name));
        if (!widget)
            qFatal("no control %s", name);
        return widget;
    }
    QLineEdit* edit(QWidget* page, const char* name) { return w<QLineEdit>(page, name); }
    QString text(QWidget* page, const char* name) {
        if (auto* e = page->findChild<QLineEdit*>(QLatin1String(name)))
            return e->text();
        return w<QLabel>(page, name)->text();
    }
    void exec(const QString& connection, const QString& sql) {
        QSqlQuery q(session->dm.database(connection));
        if (!q.exec(sql))
            qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
    }
    QStringList rows(const QString& sql) {
        QSqlQuery q(session->dm.database(session->dm.csq()));
        if (!q.exec(sql))
            qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
        QStringList result;
        while (q.next()) {
            QStringList values;
            for (int i = 0; i < q.record().count(); ++i)
                values << (q.value(i).isNull() ? QStringLiteral("NULL") : q.value(i).toString());
            result << values.join(u'|');
        }
        return result;
    }
    void focus(QWidget* widget, Qt::FocusReason reason = Qt::TabFocusReason) {
        widget->setFocus(reason);
        QCOMPARE(QApplication::focusWidget(), widget);
    }
    void press(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(widget, key, mods);
    }
    // The initial state the start-up gives every register page.
    void startPages() {
        for (int op : {1, 5})
            pro->uq2MF(op);
        for (int op : {1, 5})
            events->uq5R(op);
        for (int op : {1, 5})
            list->uq61L(op);
        for (int op : {1, 5})
            list->uq62K(op);
    }
    void addCategories(const QStringList& names) {
        int cnt = 1;
        for (const QString& n : names)
            exec(session->dm.csq(),
                 QStringLiteral("insert into F08EVK (CNT, EKB, TYO) values (%1, %2, 'r%1')")
                     .arg(cnt++)
                     .arg(Store::sqlText(n)));
    }

    // Right-clicks panel and answers its context menu by triggering the item named action.
    void chooseInContextMenu(QWidget* panel, const char* action, bool* wasChecked) {
        auto* poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, [poll, action, wasChecked] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu || !menu->isVisible())
                return;
            poll->deleteLater();
            auto* item = menu->findChild<QAction*>(QLatin1String(action));
            *wasChecked = item && item->isChecked();
            if (item)
                item->trigger();
            menu->close();
        });
        poll->start(10);
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(600, 10),
                                panel->mapToGlobal(QPoint(600, 10)));
        QApplication::sendEvent(panel, &event);
        // The focus comes back only with the window's activation.
        QTRY_VERIFY(!QApplication::activePopupWidget());
        pc->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(pc.get()));
    }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        Clock::fix(QDateTime(QDate(2025, 7, 9), QTime(10, 15, 42)));
        // Every test starts from a copy of one started database.
        QVERIFY(createTemplate());
    }
    void cleanupTestCase() { Clock::release(); }

    void init() {
        TestSettings::clear();
        QVERIFY(openSession());
        pc = std::make_unique<QTabWidget>();
        pro = new ProForecastPage(*session, *dialogs);
        events = new EventRecordPage(*session, *dialogs);
        list = new EventListPage(*session, *dialogs);
        pc->addTab(new QWidget, QStringLiteral("1予測"));
        pc->addTab(pro, QStringLiteral("2ﾌﾟﾛ目"));
        pc->addTab(events, QStringLiteral("5ｲﾍﾞﾝﾄ"));
        pc->addTab(list, QStringLiteral("6EV表"));
        pc->resize(904, 601);
        pc->show();
        pc->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(pc.get()));
    }

    void cleanup() {
        pc.reset();
        closeSession();
    }

    void controlsCarryTheirNamesAndHints() {
        startPages();
        QCOMPARE(text(pro, "b01ttL"), QStringLiteral("2 ﾌﾟﾛの予想 Market Forecast"));
        QCOMPARE(text(pro, "b110ifL"), QStringLiteral("F12ｷｰ:ﾌﾞﾗｳｻﾞ閲覧"));
        QCOMPARE(w<QPushButton>(pro, "b109rgB")->text(), QStringLiteral("登録(&R)"));
        QCOMPARE(w<QPushButton>(list, "f35rgB")->text(), QStringLiteral("登録"));
        QCOMPARE(text(list, "f21ttlL"), QStringLiteral("6.2 ｲﾍﾞﾝﾄ区分"));
        QCOMPARE(text(events, "e101modL"), QStringLiteral("新規"));
        QVERIFY(edit(pro, "b103dt2E")->inputMethodHints() & Qt::ImhLatinOnly);
        QCOMPARE(edit(pro, "b105rz2E")->property("imeMode").toString(),
                 QStringLiteral("halfKatakana"));
        QCOMPARE(edit(pro, "b108tyo2E")->inputMethodHints(), Qt::ImhNone);
        QCOMPARE(edit(events, "e111ryv2E")->alignment() & Qt::AlignRight, Qt::AlignRight);
        auto* bg = w<QTableView>(pro, "bg");
        QStringList titles;
        for (int c = 0; c < bg->model()->columnCount(); ++c)
            titles << bg->model()->headerData(c, Qt::Horizontal).toString();
        QCOMPARE(titles, (QStringList{"日付", "時刻", "結論", "理由", "参照ｻｲﾄ名", "TYO", "CNT"}));
    }

    void insertTakesTheNextCount_data() {
        QTest::addColumn<QList<int>>("existing");
        QTest::addColumn<int>("expected");
        QTest::newRow("empty table") << QList<int>{} << 1;
        QTest::newRow("gaps are not reused") << QList<int>{1, 2, 5} << 6;
    }
    void insertTakesTheNextCount() {
        QFETCH(QList<int>, existing);
        QFETCH(int, expected);
        for (int cnt : existing)
            exec(session->dm.csq(),
                 QStringLiteral("insert into F05PMF (CNT, RZ) values (%1, 'old')").arg(cnt));
        startPages();
        QSignalSpy labels(pro, &ProForecastPage::opinionRegistered);
        pc->setCurrentWidget(pro);
        focus(edit(pro, "b103dt2E"));
        QCOMPARE(text(pro, "b103dt2E"), QStringLiteral("2025/07/09"));
        QCOMPARE(text(pro, "b104hm2E"), QStringLiteral("10:15"));
        edit(pro, "b103dt2E")->setText(QStringLiteral("2025/07/08"));
        edit(pro, "b105rz2E")->setText(QStringLiteral("ﾄﾞﾙ高"));
        edit(pro, "b106rs2E")->setText(QStringLiteral("金利差 it's wide"));
        edit(pro, "b107syt2E")->setText(QStringLiteral("https://example.test/a"));
        focus(w(pro, "b109rgB"));
        press(w(pro, "b109rgB"), Qt::Key_Return);

        QCOMPARE(
            rows(QStringLiteral("select CNT, DT, HM, RZ, RS, SYT, TYO from F05PMF where CNT = %1")
                     .arg(expected)),
            QStringList{
                QStringLiteral(
                    "%1|2025/07/08|10:15|ﾄﾞﾙ高|金利差 it's wide|https://example.test/a|NULL")
                    .arg(expected)});
        QCOMPARE(labels.size(), 1);
        QCOMPARE(labels[0][0].toString(), QStringLiteral("ﾄﾞﾙ高"));
        QCOMPARE(labels[0][1].toString(), QStringLiteral("金利差 it's wide"));
        // Back in new mode, grid reopened at its last row, focus in the date field, which at
        // once takes the present moment again.
        QCOMPARE(text(pro, "b101ModL"), QStringLiteral("新規"));
        QCOMPARE(text(pro, "b102cntL"), QString());
        QCOMPARE(session->dm.qb.recordCount(), existing.size() + 1);
        QCOMPARE(session->dm.qb.currentRow(), existing.size());
        QCOMPARE(w<QTableView>(pro, "bg")->currentIndex().row(), existing.size());
        QCOMPARE(QApplication::focusWidget(), w(pro, "b103dt2E"));
        QCOMPARE(text(pro, "b103dt2E"), QStringLiteral("2025/07/09"));
        QCOMPARE(text(pro, "b105rz2E"), QString());
        QCOMPARE(session->reg.swh, QStringLiteral(" order by CNT "));
        QVERIFY(dialogs->errors.isEmpty());
    }

    void updateRewritesOnlyTheLoadedRow() {
        addCategories({QStringLiteral("ｺﾖｳ"), QStringLiteral("ｷﾝﾘ"), QStringLiteral("ﾌﾞｯｶ")});
        startPages();
        pc->setCurrentWidget(list);
        auto* f2G = w<QTableView>(list, "f2G");
        focus(f2G, Qt::MouseFocusReason);
        QCOMPARE(dialogs->messages, QStringList{QStringLiteral("F3ｷｰで修正")});
        f2G->setCurrentIndex(f2G->model()->index(1, 0));
        QCOMPARE(session->dm.qf2.currentRow(), 1);
        press(f2G, Qt::Key_F3);
        QCOMPARE(text(list, "f31modL"), QStringLiteral("修正"));
        QCOMPARE(text(list, "f32cntL"), QStringLiteral("2"));
        QCOMPARE(text(list, "f33kb2E"), QStringLiteral("ｷﾝﾘ"));
        QCOMPARE(text(list, "f34ty2E"), QStringLiteral("r2"));
        QCOMPARE(QApplication::focusWidget(), w(list, "f33kb2E"));
        // The event-list editor stays in new mode meanwhile.
        QCOMPARE(text(list, "f101modL"), QStringLiteral("新規"));

        edit(list, "f33kb2E")->setText(QStringLiteral("ｾｲｻｸ"));
        edit(list, "f34ty2E")->clear();
        w<QPushButton>(list, "f35rgB")->click();
        QCOMPARE(rows(QStringLiteral("select CNT, EKB, TYO from F08EVK order by CNT")),
                 (QStringList{"1|ｺﾖｳ|r1", "2|ｾｲｻｸ|NULL", "3|ﾌﾞｯｶ|r3"}));
        QCOMPARE(text(list, "f31modL"), QStringLiteral("新規"));
        QCOMPARE(text(list, "f32cntL"), QString());
        QCOMPARE(session->dm.qf2.recordCount(), 3);
        QCOMPARE(session->dm.qf2.currentRow(), 0);
        QCOMPARE(QApplication::focusWidget(), w(list, "f33kb2E"));
        QVERIFY(dialogs->errors.isEmpty());
    }

    void f3OnAnEmptyGridWritesNothing() {
        startPages();
        pc->setCurrentWidget(pro);
        auto* bg = w<QTableView>(pro, "bg");
        focus(bg);
        press(bg, Qt::Key_F3);
        QCOMPARE(text(pro, "b101ModL"), QStringLiteral("修正"));
        QCOMPARE(text(pro, "b102cntL"), QString());
        // The focus landed in the empty date field, which took the present moment.
        QCOMPARE(text(pro, "b103dt2E"), QStringLiteral("2025/07/09"));
        edit(pro, "b105rz2E")->setText(QStringLiteral("x"));
        w<QPushButton>(pro, "b109rgB")->click();
        QCOMPARE(rows(QStringLiteral("select count(*) from F05PMF")), QStringList{"0"});
        QCOMPARE(text(pro, "b101ModL"), QStringLiteral("新規"));
        QVERIFY(dialogs->errors.isEmpty());
    }

    void enterAndEscapeMoveTheFocus() {
        startPages();
        pc->setCurrentWidget(list);
        focus(edit(list, "f104enr2E"));
        press(edit(list, "f104enr2E"), Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), w(list, "f105enf2E"));
        press(edit(list, "f105enf2E"), Qt::Key_Escape);
        QCOMPARE(QApplication::focusWidget(), w(list, "f104enr2E"));
        focus(edit(list, "f109url2E"));
        press(edit(list, "f109url2E"), Qt::Key_Enter);
        QCOMPARE(QApplication::focusWidget(), w(list, "f110tyo2E"));
        press(edit(list, "f110tyo2E"), Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), w(list, "f111rgB"));
        focus(edit(list, "f34ty2E"));
        press(edit(list, "f34ty2E"), Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), w(list, "f35rgB"));

        // Escape in a grid and in the pro page's date field gives the page tabs the focus.
        focus(w(list, "f1G"));
        press(w(list, "f1G"), Qt::Key_Escape);
        QCOMPARE(QApplication::focusWidget(), pc->tabBar());
        pc->setCurrentWidget(pro);
        focus(edit(pro, "b104hm2E"));
        press(edit(pro, "b104hm2E"), Qt::Key_Escape);
        QCOMPARE(QApplication::focusWidget(), w(pro, "b103dt2E"));
        press(edit(pro, "b103dt2E"), Qt::Key_Escape);
        QCOMPARE(QApplication::focusWidget(), pc->tabBar());
    }

    void gridsSayHowToModifyOnEveryFocus() {
        startPages();
        pc->setCurrentWidget(list);
        focus(w(list, "f1G"), Qt::MouseFocusReason);
        focus(edit(list, "f104enr2E"));
        focus(w(list, "f1G"), Qt::BacktabFocusReason);
        QCOMPARE(dialogs->messages, QStringList(2, QStringLiteral("F3ｷｰで修正")));
        // A message box taking the focus away and giving it back is no new arrival.
        QFocusEvent back(QEvent::FocusIn, Qt::ActiveWindowFocusReason);
        QApplication::sendEvent(w(list, "f1G"), &back);
        QCOMPARE(dialogs->messages.size(), 2);
    }

    // The hint boxes and the jump to the browser are there by default; the context menu of any
    // register page's panel turns them off for every page, and on again, and the choice is kept.
    void hintsCanBeTurnedOff_data() {
        QTest::addColumn<bool>("turnedOff");
        QTest::newRow("shown by default") << false;
        QTest::newRow("turned off in the menu") << true;
    }
    void hintsCanBeTurnedOff() {
        QFETCH(bool, turnedOff);
        addCategories({QStringLiteral("K1")});
        startPages();
        if (turnedOff) {
            pc->setCurrentWidget(list);
            bool wasChecked = false;
            chooseInContextMenu(list->footer(), "hintsAction", &wasChecked);
            QVERIFY(wasChecked);
            QVERIFY(!KeptSettings::hintsOn());
        }
        QSignalSpy browser(pro, &ProForecastPage::opinionBrowserRequested);
        pc->setCurrentWidget(pro);
        focus(w(pro, "bg"), Qt::MouseFocusReason);
        QCOMPARE(dialogs->messages,
                 turnedOff ? QStringList() : QStringList{QStringLiteral("F3ｷｰで修正")});
        focus(edit(pro, "b105rz2E"));
        QCOMPARE(browser.size(), turnedOff ? 0 : 1);
        press(edit(pro, "b105rz2E"), Qt::Key_F12);
        QCOMPARE(browser.size(), turnedOff ? 1 : 2);
        pc->setCurrentWidget(events);
        focus(edit(events, "e103ek2E"));
        QCOMPARE(text(events, "e103ek2E"), QStringLiteral("K1"));
        QCOMPARE(dialogs->messages.contains(QStringLiteral("↓↑ｷｰで選択出来ます")), !turnedOff);
        if (turnedOff)
            QCOMPARE(dialogs->messages, QStringList());

        // Back on from another page's header.
        bool wasChecked = true;
        chooseInContextMenu(events->header(), "hintsAction", &wasChecked);
        QCOMPARE(wasChecked, !turnedOff);
        QCOMPARE(KeptSettings::hintsOn(), turnedOff);
    }

    void rowSteppingWrapsRound_data() {
        QTest::addColumn<int>("categories");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("text");
        QTest::newRow("up on the first lands on the last")
            << 3 << 0 << int(Qt::Key_Up) << 2 << "K3";
        QTest::newRow("down on the last lands on the first")
            << 3 << 2 << int(Qt::Key_Down) << 0 << "K1";
        QTest::newRow("down moves on") << 3 << 0 << int(Qt::Key_Down) << 1 << "K2";
        QTest::newRow("up moves back") << 3 << 2 << int(Qt::Key_Up) << 1 << "K2";
        QTest::newRow("one row stays") << 1 << 0 << int(Qt::Key_Down) << 0 << "K1";
        QTest::newRow("empty query empties the field") << 0 << -1 << int(Qt::Key_Up) << -1 << "";
    }
    void rowSteppingWrapsRound() {
        QFETCH(int, categories);
        QFETCH(int, start);
        QFETCH(int, key);
        QFETCH(int, row);
        QFETCH(QString, text);
        QStringList names;
        for (int i = 1; i <= categories; ++i)
            names << QStringLiteral("K%1").arg(i);
        addCategories(names);
        startPages();
        session->dm.qf2.setCurrentRow(start);
        pc->setCurrentWidget(list);
        RecordField* field = list->listEditor()->field(0);
        field->setText(QStringLiteral("typed"));
        focus(field);
        press(field, Qt::Key(key));
        QCOMPARE(field->text(), text);
        QCOMPARE(session->dm.qf2.currentRow(), row);
        if (row >= 0)
            QCOMPARE(w<QTableView>(list, "f2G")->currentIndex().row(), row);
        QVERIFY(dialogs->messages.isEmpty());
    }

    void categoryFieldTakesTheHighlightedCategory() {
        addCategories({QStringLiteral("K1"), QStringLiteral("K2")});
        startPages();
        session->dm.qf2.setCurrentRow(1);
        pc->setCurrentWidget(list);
        focus(edit(list, "f103ekb2E"));
        QCOMPARE(text(list, "f103ekb2E"), QStringLiteral("K2"));
        QVERIFY(dialogs->messages.isEmpty());

        // The event page says how to choose in the same situation.
        pc->setCurrentWidget(events);
        dialogs->clear();
        focus(edit(events, "e103ek2E"));
        QCOMPARE(text(events, "e103ek2E"), QStringLiteral("K2"));
        QCOMPARE(dialogs->messages, QStringList{QStringLiteral("↓↑ｷｰで選択出来ます")});
        press(edit(events, "e103ek2E"), Qt::Key_Down);
        QCOMPARE(text(events, "e103ek2E"), QStringLiteral("K1"));
        QCOMPARE(session->dm.qf2.currentRow(), 0);
    }

    void proDateAndTimeFillOnFocus() {
        startPages();
        pc->setCurrentWidget(pro);
        edit(pro, "b104hm2E")->setText(QStringLiteral("01:00"));
        focus(edit(pro, "b103dt2E"));
        QCOMPARE(text(pro, "b103dt2E"), QStringLiteral("2025/07/09"));
        QCOMPARE(text(pro, "b104hm2E"), QStringLiteral("10:15"));

        // A date already there: nothing changes, not even an empty time.
        focus(edit(pro, "b106rs2E"));
        edit(pro, "b103dt2E")->setText(QStringLiteral("2024/01/31"));
        edit(pro, "b104hm2E")->clear();
        focus(edit(pro, "b103dt2E"));
        QCOMPARE(text(pro, "b103dt2E"), QStringLiteral("2024/01/31"));
        QCOMPARE(text(pro, "b104hm2E"), QString());

        press(edit(pro, "b103dt2E"), Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(text(pro, "b103dt2E"), QStringLiteral("2024/02/29"));
        // An empty time steps from the present moment, seconds dropped.
        focus(edit(pro, "b104hm2E"));
        press(edit(pro, "b104hm2E"), Qt::Key_Up);
        QCOMPARE(text(pro, "b104hm2E"), QStringLiteral("10:20"));
    }

    void proConclusionOpensTheBrowser() {
        startPages();
        pc->setCurrentWidget(pro);
        QSignalSpy browser(pro, &ProForecastPage::opinionBrowserRequested);
        focus(edit(pro, "b104hm2E"));
        press(edit(pro, "b104hm2E"), Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), w(pro, "b105rz2E"));
        QCOMPARE(browser.size(), 1);
        edit(pro, "b105rz2E")->setText(QStringLiteral("ﾄﾞﾙ安"));
        focus(edit(pro, "b106rs2E"));
        focus(edit(pro, "b105rz2E"), Qt::BacktabFocusReason);
        QCOMPARE(browser.size(), 1);
        for (const char* name : {"b105rz2E", "b106rs2E", "b107syt2E"})
            press(edit(pro, name), Qt::Key_F12);
        QCOMPARE(browser.size(), 4);
        press(edit(pro, "b108tyo2E"), Qt::Key_F12);
        QCOMPARE(browser.size(), 4);
    }

    void proLabelsAreSentAlsoWhenTheWriteFails() {
        startPages();
        exec(session->dm.csq(), QStringLiteral("drop table F05PMF"));
        QSignalSpy labels(pro, &ProForecastPage::opinionRegistered);
        edit(pro, "b105rz2E")->setText(QStringLiteral("ﾖｺﾊﾞｲ"));
        edit(pro, "b106rs2E")->setText(QStringLiteral("ｻﾞｲﾘｮｳ"));
        w<QPushButton>(pro, "b109rgB")->click();
        QCOMPARE(labels.size(), 1);
        QCOMPARE(labels[0][0].toString(), QStringLiteral("ﾖｺﾊﾞｲ"));
        QCOMPARE(dialogs->errors.size(), 1);
        QVERIFY2(dialogs->errors[0].contains(QStringLiteral("F05PMF")),
                 qPrintable(dialogs->errors[0]));
        QCOMPARE(text(pro, "b105rz2E"), QStringLiteral("ﾖｺﾊﾞｲ"));
        QCOMPARE(text(pro, "b101ModL"), QStringLiteral("新規"));
        QCOMPARE(text(pro, "b102cntL"), QString());
    }

    void failingWriteKeepsThePanel() {
        startPages();
        pc->setCurrentWidget(events);
        RecordEditor* e = events->editor();
        e->field(1)->setText(QStringLiteral("ｺﾖｳﾄﾁｮｳｻ"));
        e->field(6)->setText(QStringLiteral("abc")); // DIV is an integer column
        e->registerButton()->click();
        QCOMPARE(dialogs->errors.size(), 1);
        QVERIFY2(dialogs->errors[0].contains(QStringLiteral("F06EVR")),
                 qPrintable(dialogs->errors[0]));
        // The field is named, not SQLite's syntax error.
        QVERIFY2(dialogs->errors[0].contains(QStringLiteral("差値 は数値で入力してください")),
                 qPrintable(dialogs->errors[0]));
        QCOMPARE(rows(QStringLiteral("select count(*) from F06EVR")), QStringList{"0"});
        QCOMPARE(text(events, "e101modL"), QStringLiteral("新規"));
        QCOMPARE(text(events, "e102cntL"), QString());
        QCOMPARE(text(events, "e104en2E"), QStringLiteral("ｺﾖｳﾄﾁｮｳｻ"));
        QCOMPARE(text(events, "e109div2E"), QStringLiteral("abc"));

        // Corrected and pressed again, the row is stored.
        e->field(6)->setText(QStringLiteral("-3"));
        e->registerButton()->click();
        QCOMPARE(rows(QStringLiteral("select CNT, ENW, DIV from F06EVR")),
                 QStringList{"1|ｺﾖｳﾄﾁｮｳｻ|-3"});
        QCOMPARE(text(events, "e104en2E"), QString());

        // A failing update stays in modify mode on its row.
        focus(w(events, "eG"));
        press(w(events, "eG"), Qt::Key_F3);
        QCOMPARE(text(events, "e102cntL"), QStringLiteral("1"));
        e->field(9)->setText(QStringLiteral("5yen"));
        e->registerButton()->click();
        QCOMPARE(dialogs->errors.size(), 2);
        QVERIFY2(dialogs->errors[1].contains(QStringLiteral("差額 は数値で入力してください")),
                 qPrintable(dialogs->errors[1]));
        QCOMPARE(text(events, "e101modL"), QStringLiteral("修正"));
        QCOMPARE(text(events, "e102cntL"), QStringLiteral("1"));
        QCOMPARE(text(events, "e112dyv2E"), QStringLiteral("5yen"));
        QCOMPARE(rows(QStringLiteral("select DYV from F06EVR")), QStringList{"NULL"});
    }

    // The narrow number fields of page 5 keep their places and show a seven-character price
    // difference whole; their captions keep apart.
    void eventNumberFieldsFitTheirTexts() {
        events->setFont(windowFont()); // as the window shows the page
        pc->setCurrentWidget(events);
        RecordEditor* e = events->editor();
        for (int i = 4; i <= 9; ++i) {
            RecordField* f = e->field(i);
            QCOMPARE(f->geometry(), QRect(100 + (i - 4) * 78, 86, 74, 30));
            QStyleOptionFrame option;
            option.initFrom(f);
            option.rect = f->rect();
            option.lineWidth =
                f->hasFrame() ? f->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, f)
                              : 0;
            const int room =
                f->style()->subElementRect(QStyle::SE_LineEditContents, &option, f).width() - 4;
            QVERIFY2(QFontMetrics(f->font()).horizontalAdvance(QStringLiteral("-150342")) <= room,
                     qPrintable(f->objectName()));
            QLabel* caption = e->caption(i);
            QVERIFY2(QFontMetrics(caption->font()).horizontalAdvance(caption->text()) + 12 <= 78,
                     qPrintable(caption->text()));
        }
    }

    // Selecting a row leaves every title in the window font.
    void gridTitlesStayInTheWindowFont() {
        for (const char* name : {"bg", "eG"}) {
            auto* grid = pc->findChild<QTableView*>(QLatin1String(name));
            QVERIFY(grid);
            QVERIFY(!grid->horizontalHeader()->highlightSections());
            QVERIFY(!grid->verticalHeader()->highlightSections());
        }
    }

    void eventNameIsRequiredForAnInsert() {
        startPages();
        RecordEditor* e = events->editor();
        e->field(0)->setText(QStringLiteral("K1"));
        pc->setCurrentWidget(events);
        focus(e->field(0));
        dialogs->clear();
        press(e->field(0), Qt::Key_R, Qt::AltModifier); // the button's accelerator
        QTRY_COMPARE(dialogs->messages, QStringList{QStringLiteral("ｲﾍﾞﾝﾄ名がありません")});
        QCOMPARE(rows(QStringLiteral("select count(*) from F06EVR")), QStringList{"0"});
        QCOMPARE(text(events, "e103ek2E"), QStringLiteral("K1"));
        QCOMPARE(text(events, "e102cntL"), QString());
    }

    void valueAndPriceDifferences_data() {
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("announced");
        QTest::addColumn<QString>("expectedShown");
        QTest::addColumn<QString>("announcedShown");
        QTest::addColumn<QString>("difference");
        QTest::addColumn<QString>("percent");
        QTest::newRow("0.3 and 0.5") << "0.3"
                                     << "0.5"
                                     << "03"
                                     << "05"
                                     << "2"
                                     << "40%";
        QTest::newRow("1.5 and 1.2") << "1.5"
                                     << "1.2"
                                     << "15"
                                     << "12"
                                     << "-3"
                                     << "-25%";
        QTest::newRow("-0.1 and 0.2") << "-0.1"
                                      << "0.2"
                                      << "-01"
                                      << "02"
                                      << "3"
                                      << "150%";
        QTest::newRow("only the first point goes") << "1.2.3"
                                                   << "1.3"
                                                   << "12.3"
                                                   << "13"
                                                   << ""
                                                   << "";
    }
    void valueAndPriceDifferences() {
        QFETCH(QString, expected);
        QFETCH(QString, announced);
        startPages();
        pc->setCurrentWidget(events);
        edit(events, "e107eiv2E")->setText(expected);
        edit(events, "e108riv2E")->setText(announced);
        focus(edit(events, "e108riv2E"));
        press(edit(events, "e108riv2E"), Qt::Key_Return);
        QTEST(text(events, "e107eiv2E"), "expectedShown");
        QTEST(text(events, "e108riv2E"), "announcedShown");
        QTEST(text(events, "e109div2E"), "difference");
        QTEST(text(events, "e109divpL"), "percent");
        QFETCH(QString, difference);
        if (difference.isEmpty()) {
            QCOMPARE(dialogs->errors.size(), 1);
            QCOMPARE(QApplication::focusWidget(), w(events, "e109div2E"));
        } else {
            QVERIFY(dialogs->errors.isEmpty());
            QCOMPARE(QApplication::focusWidget(), w(events, "e110pyv2E"));
        }
    }

    void priceDifferenceOfHalfAYenIsZeroPercent() {
        startPages();
        pc->setCurrentWidget(events);
        edit(events, "e110pyv2E")->setText(QStringLiteral("145.500"));
        edit(events, "e111ryv2E")->setText(QStringLiteral("146.000"));
        focus(edit(events, "e111ryv2E"));
        press(edit(events, "e111ryv2E"), Qt::Key_Return);
        QCOMPARE(text(events, "e110pyv2E"), QStringLiteral("145500"));
        QCOMPARE(text(events, "e112dyv2E"), QStringLiteral("500"));
        QCOMPARE(text(events, "e112dyvpL"), QStringLiteral("0%"));
        QCOMPARE(QApplication::focusWidget(), w(events, "e113tyo2E"));
        // Reset clears the percentages; loading a row keeps them.
        events->uq5R(RecordEditor::runReset);
        QCOMPARE(text(events, "e112dyvpL"), QString());
    }

    void zeroDivisorIsReportedAndChangesNothing() {
        startPages();
        pc->setCurrentWidget(events);
        edit(events, "e109div2E")->setText(QStringLiteral("7"));
        w<QLabel>(events, "e109divpL")->setText(QStringLiteral("9%"));
        edit(events, "e107eiv2E")->setText(QStringLiteral("0.3"));
        edit(events, "e108riv2E")->setText(QStringLiteral("0.0"));
        focus(edit(events, "e108riv2E"));
        focus(edit(events, "e113tyo2E"));
        QCOMPARE(dialogs->errors.size(), 1);
        QVERIFY2(dialogs->errors[0].contains(QStringLiteral("結果値")),
                 qPrintable(dialogs->errors[0]));
        QCOMPARE(text(events, "e107eiv2E"), QStringLiteral("03"));
        QCOMPARE(text(events, "e108riv2E"), QStringLiteral("00"));
        QCOMPARE(text(events, "e109div2E"), QStringLiteral("7"));
        QCOMPARE(text(events, "e109divpL"), QStringLiteral("9%"));
        QCOMPARE(QApplication::focusWidget(), w(events, "e113tyo2E"));
    }

    void priceLookUpAroundTheAnnouncement_data() {
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("time");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::newRow("21:30: last bar before, first after 22:00") << "2024/05/10"
                                                                   << "21:30"
                                                                   << "155500"
                                                                   << "155800";
        QTest::newRow("00:00: last bar of the day before, first after 01:00") << "2024/05/10"
                                                                              << "00:00"
                                                                              << "155100"
                                                                              << "155400";
        QTest::newRow("23:30: after price from the next day") << "2024/05/10"
                                                              << "23:30"
                                                              << "155800"
                                                              << "156000";
        QTest::newRow("after the last bar") << "2024/05/11"
                                            << "23:10"
                                            << "156000"
                                            << "";
    }
    void priceLookUpAroundTheAnnouncement() {
        const QStringList bars = {"2024/05/09|22:00", "2024/05/09|23:30", "2024/05/10|00:30",
                                  "2024/05/10|01:00", "2024/05/10|01:30", "2024/05/10|21:00",
                                  "2024/05/10|21:30", "2024/05/10|22:00", "2024/05/10|22:30",
                                  "2024/05/10|23:30", "2024/05/11|00:30"};
        for (int i = 0; i < bars.size(); ++i) {
            const QStringList dt = bars[i].split(u'|');
            exec(session->dm.csm(),
                 QStringLiteral(
                     "insert into F01YSK (CNT, LYMD, LHM, CV) values (%1, '%2', '%3', %4)")
                     .arg(i + 1)
                     .arg(dt[0], dt[1])
                     .arg(155000 + 100 * i));
        }
        session->prices.uq4F(PriceImport::pricesOpen);
        startPages();
        pc->setCurrentWidget(events);
        QFETCH(QString, date);
        QFETCH(QString, time);
        edit(events, "e105dt2E")->setText(date);
        edit(events, "e106hm2E")->setText(time);
        edit(events, "e110pyv2E")->setText(QStringLiteral("1"));
        edit(events, "e111ryv2E")->setText(QStringLiteral("2"));
        focus(edit(events, "e110pyv2E"));
        QTEST(text(events, "e110pyv2E"), "before");
        QTEST(text(events, "e111ryv2E"), "after");
        QVERIFY(!session->dm.qm.isOpen());
        QVERIFY(dialogs->errors.isEmpty());
    }

    void priceLookUpWithoutImportLeavesThePrices() {
        startPages();
        pc->setCurrentWidget(events);
        edit(events, "e105dt2E")->setText(QStringLiteral("2024/05/10"));
        edit(events, "e106hm2E")->setText(QStringLiteral("21:30"));
        edit(events, "e110pyv2E")->setText(QStringLiteral("1"));
        edit(events, "e111ryv2E")->setText(QStringLiteral("2"));
        focus(edit(events, "e110pyv2E"));
        QCOMPARE(text(events, "e110pyv2E"), QStringLiteral("1"));
        QCOMPARE(text(events, "e111ryv2E"), QStringLiteral("2"));
    }

    void eventStepsDatesAndTimes() {
        startPages();
        pc->setCurrentWidget(events);
        focus(edit(events, "e106hm2E"));
        press(edit(events, "e106hm2E"), Qt::Key_Up);
        QCOMPARE(text(events, "e106hm2E"), QStringLiteral("00:05"));
        focus(edit(events, "e105dt2E"));
        press(edit(events, "e105dt2E"), Qt::Key_Down);
        QCOMPARE(text(events, "e105dt2E"), QStringLiteral("2025/07/10"));
        // An unreadable time is reported and kept.
        edit(events, "e106hm2E")->setText(QStringLiteral("ab"));
        press(edit(events, "e106hm2E"), Qt::Key_Down);
        QCOMPARE(text(events, "e106hm2E"), QStringLiteral("ab"));
        QCOMPARE(dialogs->errors.size(), 1);
    }

    void categoryAndEventNameFilters() {
        addCategories({QStringLiteral("O'Neil"), QStringLiteral("K2")});
        int cnt = 1;
        for (const auto& [ekb, enw] : {std::pair{"K2", "ｺﾖｳ"}, std::pair{"O''Neil", "ｷﾝﾘ's"},
                                       std::pair{"O''Neil", "ﾌﾞｯｶ"}, std::pair{"K2", "ｼﾞｭﾀｸ"}})
            exec(session->dm.csq(),
                 QStringLiteral("insert into F07EVL (CNT, EKB, ENW) values (%1, '%2', '%3')")
                     .arg(cnt++)
                     .arg(QString::fromUtf8(ekb),
                          QString::fromUtf8(enw).replace(u'\'', QStringLiteral("''"))));
        exec(session->dm.csq(),
             QStringLiteral(
                 "insert into F06EVR (CNT, ENW) values (1, 'ｷﾝﾘ''s'), (2, 'ｺﾖｳ'), (3, 'ｷﾝﾘ''s')"));
        startPages();
        pc->setCurrentWidget(events);
        QSignalSpy browser(events, &EventRecordPage::eventBrowserRequested);

        focus(edit(events, "e103ek2E"));
        QCOMPARE(text(events, "e103ek2E"), QStringLiteral("O'Neil"));
        press(edit(events, "e103ek2E"), Qt::Key_Return);
        // The event list holds this category's events only, the first current; the name
        // field took the first of them.
        QCOMPARE(session->dm.qf1.recordCount(), 2);
        QCOMPARE(session->dm.qf1.currentRow(), 0);
        QCOMPARE(w<QTableView>(list, "f1G")->model()->rowCount(), 2);
        QCOMPARE(QApplication::focusWidget(), w(events, "e104en2E"));
        QCOMPARE(text(events, "e104en2E"), QStringLiteral("ｷﾝﾘ's"));
        QCOMPARE(session->dm.qe.recordCount(), 3); // typing or taking a name filters nothing

        press(edit(events, "e104en2E"), Qt::Key_Up);
        QCOMPARE(text(events, "e104en2E"), QStringLiteral("ﾌﾞｯｶ"));
        QCOMPARE(session->dm.qe.recordCount(), 0);
        press(edit(events, "e104en2E"), Qt::Key_Down);
        QCOMPARE(text(events, "e104en2E"), QStringLiteral("ｷﾝﾘ's"));
        QCOMPARE(session->dm.qe.recordCount(), 2);
        QCOMPARE(session->dm.qe.currentRow(), 1);

        // Enter asks for the browser and leaves the focus to it.
        press(edit(events, "e104en2E"), Qt::Key_Return);
        QCOMPARE(browser.size(), 1);
        QCOMPARE(QApplication::focusWidget(), w(events, "e104en2E"));

        // A write in the event list reopens it over the whole table.
        list->listEditor()->field(1)->setText(QStringLiteral("CPI"));
        list->listEditor()->registerButton()->click();
        QCOMPARE(session->dm.qf1.recordCount(), 5);
        QCOMPARE(session->dm.qf1.currentRow(), 0);
    }
};

QTEST_MAIN(TestRecords)
#include "test_records.moc"
