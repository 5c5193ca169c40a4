#include "session/Session.h"
#include "prices/FxTablePage.h"
#include "store/Clock.h"
#include "support/TestDialogs.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

class TestFxTable : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void showsThePriceTableAfterAnImport() {
        QTemporaryDir dir;
        const QString oldCwd = QDir::currentPath();
        QDir::setCurrent(dir.path());
        Clock::fix(QDateTime(QDate(2025, 7, 9), QTime(12, 0)));
        TestDialogs dialogs;
        {
            Session session(dialogs, QStringLiteral(TORVANE_SOURCE_DIR "/data"));
            session.openDatabases();
            FxTablePage page(session, dialogs);
            page.resize(900, 600);
            page.show();
            QVERIFY(QTest::qWaitForWindowExposed(&page));

            QCOMPARE(page.header()->objectName(), QStringLiteral("d0P"));
            QCOMPARE(page.header()->height(), 40);
            QCOMPARE(page.footer()->objectName(), QStringLiteral("d1P"));
            QCOMPARE(page.footer()->height(), 40);
            auto* title = page.findChild<QLabel*>(QStringLiteral("d01ttL"));
            QVERIFY(title);
            QCOMPARE(title->text(), QStringLiteral("4 FX表"));
            QTableView* grid = page.findChild<QTableView*>(QStringLiteral("dG"));
            QVERIFY(grid);
            QAbstractItemModelTester tester(grid->model());
            QCOMPARE(grid->model()->rowCount(), 0); // qd is closed before the first import

            QFile f(dir.filePath(QStringLiteral("P.CSV")));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("Date,Time,O,H,L,C,ED,ET\r\n"
                    "2025/07/08,10:00,150.1,150.200,150.000,150.100,2025/07/08,10:15\r\n"
                    "2025/07/08,10:15,150.1,150.300,150.050,150.250,2025/07/08,10:30\r\n");
            f.close();
            session.prices.importFile(f.fileName());

            QStringList titles;
            for (int c = 0; c < grid->model()->columnCount(); ++c)
                titles << grid->model()->headerData(c, Qt::Horizontal).toString();
            QCOMPARE(titles, (QStringList{"S年月日", "S時分", "高値", "安値", "終値", "75MA",
                                          "1HMA", "4HMA", "日足MA", "L年月日", "L時分", "CNT"}));
            QCOMPARE(grid->model()->headerData(0, Qt::Horizontal, Qt::TextAlignmentRole).toInt(),
                     int(Qt::AlignCenter));
            QCOMPARE(grid->model()->rowCount(), 12);
            // The listed columns only: the first one starts at the grid's left edge, with no
            // row-number column before it.
            QCOMPARE(grid->viewport()->x(), grid->frameWidth());
            const auto text = [&](int row, int column) {
                return grid->model()->index(row, column).data().toString();
            };
            QCOMPARE(text(0, 0), QStringLiteral("2025/07/08"));
            QCOMPARE(text(1, 4), QStringLiteral("150250"));
            QCOMPARE(text(1, 11), QStringLiteral("2"));
            QCOMPARE(text(11, 10), QStringLiteral("13:00")); // the tenth slot at the bottom
            QCOMPARE(text(11, 4), QString());
            QCOMPARE(grid->currentIndex().row(), 11);
            // Widths follow the catalogue's display widths in characters of the grid font.
            const int character = QFontMetrics(grid->font()).horizontalAdvance(QLatin1Char('0'));
            QCOMPARE(grid->columnWidth(0), 10 * character + 8);
            QCOMPARE(grid->columnWidth(2), 7 * character + 8);
            QCOMPARE(grid->columnWidth(11), 6 * character + 8);
        }
        Clock::release();
        QDir::setCurrent(oldCwd);
    }
};

QTEST_MAIN(TestFxTable)
#include "test_fxtable.moc"
