#include "csv/CsvListModel.h"
#include "csv/CsvPage.h"
#include "session/Session.h"
#include "support/SessionFixture.h"
#include "support/TestDialogs.h"
#include "support/TestFolder.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTableView>
#include <QTest>

#include <memory>

class TestCsvPage : public QObject, protected SessionFixture {
    Q_OBJECT

    std::unique_ptr<CsvPage> page;

    void exec(const QString& sql) {
        QSqlQuery q(session->dm.database(session->dm.csq()));
        QVERIFY2(q.exec(sql), qPrintable(sql));
    }
    QStringList listRows() {
        QSqlQuery q(session->dm.database(session->dm.csq()));
        q.exec(QStringLiteral("select CNT, PNO, PNM, TBN, PAS, CSV, TYO from F09CSV order by CNT"));
        QStringList rows;
        while (q.next()) {
            QStringList fields;
            for (int i = 0; i < 7; ++i)
                fields << (q.value(i).isNull() ? QStringLiteral("<null>") : q.value(i).toString());
            rows << fields.join(u'|');
        }
        return rows;
    }
    QTableView* grid() { return page->findChild<QTableView*>(QStringLiteral("iG")); }
    // Edits a cell the way a user does: F2, the new text, Enter.
    void editCell(int row, int column, const QString& text) {
        grid()->setCurrentIndex(page->model()->index(row, column));
        QTest::keyClick(grid(), Qt::Key_F2);
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        QVERIFY(editor);
        editor->selectAll();
        QTest::keyClick(editor, Qt::Key_Delete);
        editor->insert(text); // as an input method commits Japanese text
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents(); // the delegate commits Enter on the next turn
        QVERIFY(grid()->hasFocus());
    }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(createTemplate());
    }

    void init() {
        QVERIFY(openSession());
        exec(QStringLiteral("insert into F09CSV values (1, 2, 'ﾌﾟﾛ目', 'F05PMF', '%1/', 'f05.csv', "
                            "NULL), (2, 6, 'EV表', 'F08EVK', '%1/', 'f08.csv', 'x')")
                 .arg(dir->path()));
        page = std::make_unique<CsvPage>(*session, *dialogs);
        new QAbstractItemModelTester(page->model(), page->model());
        session->reg.swh = QStringLiteral(" order by CNT ");
        page->uq8C(CsvExchange::csvOpenList);
        page->resize(896, 562);
        page->show();
        QVERIFY(QTest::qWaitForWindowExposed(page.get()));
        page->activateWindow();
        grid()->setFocus();
    }

    void cleanup() {
        page.reset();
        closeSession();
    }

    void showsTheListWithItsControls() {
        const auto* header = page->findChild<QWidget*>(QStringLiteral("i0P"));
        QVERIFY(header);
        QCOMPARE(header->height(), 100);
        QCOMPARE(page->findChild<QLabel*>(QStringLiteral("i01L"))->text(),
                 QStringLiteral("9 CSVﾌｧｲﾙに書出と読込"));
        QCOMPARE(page->findChild<QLabel*>(QStringLiteral("i02infL"))->text(),
                 QStringLiteral("現在行のﾃｰﾌﾞﾙ内容をCSVﾌｧｲﾙに書出(CSVﾌｧｲﾙから読込)します"));
        const auto* write = page->findChild<QPushButton*>(QStringLiteral("i03wtB"));
        const auto* read = page->findChild<QPushButton*>(QStringLiteral("i04rdB"));
        QCOMPARE(write->text(), QStringLiteral("CSV書出"));
        QCOMPARE(write->geometry(), QRect(568, 8, 100, 25));
        QCOMPARE(read->text(), QStringLiteral("CSV読込"));
        QCOMPARE(read->geometry(), QRect(712, 8, 100, 25));
        QCOMPARE(page->findChild<QWidget*>(QStringLiteral("i1P"))->height(), 40);

        QStringList titles;
        for (int c = 0; c < page->model()->columnCount(); ++c)
            titles << page->model()->headerData(c, Qt::Horizontal).toString();
        QCOMPARE(titles,
                 (QStringList{"CNT", "PNO", "ﾍﾟｰｼﾞ名", "ﾃｰﾌﾞﾙ名", "ﾊﾟｽ", "CSVﾌｧｲﾙ名", "摘要"}));
        QCOMPARE(page->model()->rowCount(), 2);
        QVERIFY(grid()->columnWidth(4) > grid()->columnWidth(0)); // PAS 30 characters, CNT 4
    }

    void anEditedRowIsStoredWhenTheRowIsLeft() {
        editCell(0, 6, QStringLiteral("備考"));
        editCell(0, 1, QString());
        QCOMPARE(page->model()->data(page->model()->index(0, 6)).toString(),
                 QStringLiteral("備考"));
        QCOMPARE(listRows().first().section(u'|', 6), QStringLiteral("<null>")); // not yet stored
        QTest::keyClick(grid(), Qt::Key_Down);
        QTRY_COMPARE(listRows().first(),
                     QStringLiteral("1|<null>|ﾌﾟﾛ目|F05PMF|%1/|f05.csv|備考").arg(dir->path()));
        QCOMPARE(grid()->currentIndex().row(), 1);
        QCOMPARE(session->dm.qi.currentRow(), 1);
        QCOMPARE(session->reg.swh, QStringLiteral(" order by CNT "));
        QCOMPARE(page->model()->data(page->model()->index(0, 6)).toString(),
                 QStringLiteral("備考"));
    }

    void typingAndMovingDownStoresTheRow() {
        grid()->setCurrentIndex(page->model()->index(0, 2));
        QTest::keyClicks(grid(), QStringLiteral("q")); // a key starts the cell editor
        QWidget* editor = QApplication::focusWidget();
        QVERIFY(qobject_cast<QLineEdit*>(editor));
        QTest::keyClicks(editor, QStringLiteral("rs"));
        QTest::keyClick(editor, Qt::Key_Down);
        QTRY_COMPARE(listRows().first().section(u'|', 2, 2), QStringLiteral("qrs"));
        QCOMPARE(grid()->currentIndex().row(), 1);
    }

    void escapeDropsTheEdits() {
        editCell(1, 2, QStringLiteral("zzz"));
        QTest::keyClick(grid(), Qt::Key_Escape);
        QTest::keyClick(grid(), Qt::Key_Up);
        QCoreApplication::processEvents();
        QCOMPARE(page->model()->data(page->model()->index(1, 2)).toString(),
                 QStringLiteral("EV表"));
        QCOMPARE(listRows().at(1).section(u'|', 2, 2), QStringLiteral("EV表"));
    }

    void downOnTheLastRowAddsARowWithTheNextCnt() {
        grid()->setCurrentIndex(page->model()->index(1, 3));
        QTest::keyClick(grid(), Qt::Key_Down);
        QCOMPARE(page->model()->rowCount(), 3);
        QCOMPARE(grid()->currentIndex().row(), 2);
        QCOMPARE(page->model()->data(page->model()->index(2, 0)).toString(), QStringLiteral("3"));
        editCell(2, 3, QStringLiteral("F07EVL"));
        editCell(2, 5, QStringLiteral("f07.csv"));
        QTest::keyClick(grid(), Qt::Key_Up);
        QTRY_COMPARE(listRows().size(), 3);
        QCOMPARE(listRows().last(), QStringLiteral("3|<null>|<null>|F07EVL|<null>|f07.csv|<null>"));
        QCOMPARE(page->model()->rowCount(), 3);
        QCOMPARE(grid()->currentIndex().row(), 1);

        // A new row left without anything typed goes away and stores nothing.
        grid()->setCurrentIndex(page->model()->index(2, 0));
        QTest::keyClick(grid(), Qt::Key_Down);
        QCOMPARE(page->model()->rowCount(), 4);
        QTest::keyClick(grid(), Qt::Key_Up);
        QTRY_COMPARE(page->model()->rowCount(), 3);
        QCOMPARE(listRows().size(), 3);
    }

    // Text in a number column is refused with the column's name; the row keeps what was typed
    // and stays the current row, so that it can be mended.
    void aRefusedRowStaysWithItsText() {
        const QStringList before = listRows();
        editCell(0, 1, QStringLiteral("abc"));
        QTest::keyClick(grid(), Qt::Key_Down);
        QTRY_COMPARE(dialogs->errors.size(), 1);
        QVERIFY2(dialogs->errors[0].contains(QStringLiteral("PNO は数値で入力してください")),
                 qPrintable(dialogs->errors[0]));
        QVERIFY(!dialogs->errors[0].contains(QStringLiteral("syntax")));
        QCOMPARE(listRows(), before);
        QCOMPARE(grid()->currentIndex().row(), 0);
        QCOMPARE(page->model()->data(page->model()->index(0, 1)).toString(), QStringLiteral("abc"));
        // Nor does a button export the table over the refused row.
        QTest::mouseClick(page->findChild<QPushButton*>(QStringLiteral("i03wtB")), Qt::LeftButton);
        QCOMPARE(dialogs->errors.size(), 2);
        QVERIFY(!QFile::exists(dir->filePath(QStringLiteral("f05.csv"))));

        // Mended, it is stored on the next move.
        editCell(0, 1, QStringLiteral("7"));
        QTest::keyClick(grid(), Qt::Key_Down);
        QTRY_COMPARE(listRows().first().section(u'|', 1, 1), QStringLiteral("7"));
        QCOMPARE(dialogs->errors.size(), 2);
    }

    // The only row of an empty list cannot be left for another row; it is stored however the
    // user leaves it.
    void aLoneNewRowIsStoredOnLeaving_data() {
        QTest::addColumn<int>("how");
        QTest::newRow("Down") << 0;
        QTest::newRow("Up") << 1;
        QTest::newRow("another page") << 2;
        QTest::newRow("closing") << 3;
        QTest::newRow("Down while typing") << 4;
    }
    void aLoneNewRowIsStoredOnLeaving() {
        QFETCH(int, how);
        exec(QStringLiteral("delete from F09CSV"));
        page->uq8C(CsvExchange::csvOpenList);
        QCOMPARE(page->model()->rowCount(), 0);
        grid()->setFocus();
        QTest::keyClick(grid(), Qt::Key_Down);
        QCOMPARE(page->model()->rowCount(), 1);
        QCOMPARE(page->model()->data(page->model()->index(0, 0)).toString(), QStringLiteral("1"));
        editCell(0, 3, QStringLiteral("F07EVL"));
        if (how == 4) {
            grid()->setCurrentIndex(page->model()->index(0, 5));
            QTest::keyClicks(grid(), QStringLiteral("f"));
            QWidget* editor = QApplication::focusWidget();
            QVERIFY(qobject_cast<QLineEdit*>(editor));
            QTest::keyClicks(editor, QStringLiteral("07.csv"));
            QTest::keyClick(editor, Qt::Key_Down);
        } else if (how == 0 || how == 1) {
            QTest::keyClick(grid(), how == 0 ? Qt::Key_Down : Qt::Key_Up);
        } else if (how == 2) {
            page->hide();
        } else {
            page->close();
        }
        const QString csv = how == 4 ? QStringLiteral("f07.csv") : QStringLiteral("<null>");
        QTRY_COMPARE(
            listRows(),
            QStringList{QStringLiteral("1|<null>|<null>|F07EVL|<null>|%1|<null>").arg(csv)});
        QVERIFY(dialogs->errors.isEmpty());
        QCOMPARE(page->model()->rowCount(), 1);
    }

    // An export into a folder that is not there says so in Japanese, naming the file.
    void anExportIntoAMissingFolderSaysWhy() {
        exec(QStringLiteral("update F09CSV set PAS = '%1/none/' where CNT = 2").arg(dir->path()));
        page->uq8C(CsvExchange::csvOpenList);
        grid()->setCurrentIndex(page->model()->index(1, 0));
        QTest::mouseClick(page->findChild<QPushButton*>(QStringLiteral("i03wtB")), Qt::LeftButton);
        QCOMPARE(dialogs->errors.size(), 1);
        const QString& e = dialogs->errors[0];
        QVERIFY2(e.contains(QStringLiteral("none/f08.csv")), qPrintable(e));
        QVERIFY2(e.contains(QStringLiteral("フォルダがありません")), qPrintable(e));
    }

    void buttonsExchangeTheCurrentRowsTable() {
        exec(QStringLiteral("insert into F08EVK values (1, 'a', 'b')"));
        grid()->setCurrentIndex(page->model()->index(1, 0));
        QCOMPARE(session->dm.qi.currentRow(), 1);
        QTest::mouseClick(page->findChild<QPushButton*>(QStringLiteral("i03wtB")), Qt::LeftButton);
        QFile f(dir->filePath(QStringLiteral("f08.csv")));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("1,a,b\r\n"));
        QCOMPARE(dialogs->messages.last(),
                 QStringLiteral("書出終了\n書出先: ") + dir->filePath(QStringLiteral("f08.csv")));

        // An edit of the row is stored before the button acts on it.
        editCell(1, 5, QStringLiteral("none.csv"));
        QTest::mouseClick(page->findChild<QPushButton*>(QStringLiteral("i04rdB")), Qt::LeftButton);
        QCOMPARE(listRows().at(1).section(u'|', 5, 5), QStringLiteral("none.csv"));
        QCOMPARE(dialogs->errors.size(), 1);
        QVERIFY(dialogs->errors.first().contains(QStringLiteral("none.csv")));
        QVERIFY(dialogs->questions.isEmpty());
    }
};

QTEST_MAIN(TestCsvPage)
#include "test_csvpage.moc"
