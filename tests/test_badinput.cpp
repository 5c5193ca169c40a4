// Bad input from the user's files and fields, through the window as the user meets it: what the
// user is told, and that nothing stored in SQDB.DB (or the last price import) is lost.
#include "analysis/AnalysisPage.h"
#include "app/MainWindow.h"
#include "app/TorvaneApplication.h"
#include "csv/CsvExchange.h"
#include "forecast/Forecaster.h"
#include "records/RegisterTable.h"
#include "session/HeadlessPipeline.h"
#include "store/Clock.h"
#include "store/TextFile.h"
#include "store/TorvaneError.h"
#include "support/FullDisk.h"
#include "support/SessionJobs.h"
#include "support/StoredRows.h"
#include "support/TemplateDatabase.h"
#include "support/TestDialogs.h"
#include "support/TestFolder.h"
#include "support/TestSettings.h"
#include "ui/Look.h"
#include "ui/QtDialogs.h"

#include <QAbstractItemModel>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QStringEncoder>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <memory>

namespace {

const QString catalogueDir = QStringLiteral(TORVANE_SOURCE_DIR "/data");

// One line of a price file: start, open, high, low, close, end.
QString bar(const QDateTime& start, int minutes, const QString& high, const QString& low,
            const QString& close) {
    const QDateTime end = start.addSecs(qint64(minutes) * 60);
    return QStringList{start.toString(QStringLiteral("yyyy/MM/dd")),
                       start.toString(QStringLiteral("HH:mm")),
                       close,
                       high,
                       low,
                       close,
                       end.toString(QStringLiteral("yyyy/MM/dd")),
                       end.toString(QStringLiteral("HH:mm"))}
        .join(u',');
}

// count 15-minute bars from 2025/07/01 00:00, prices from priceOf(bar number from 1) as high,
// low and close, with a header line.
QByteArray priceFile(int count, const std::function<QStringList(int)>& priceOf) {
    QStringList lines{QStringLiteral("Date,Time,Open,High,Low,Close,EndDate,EndTime")};
    const QDateTime first(QDate(2025, 7, 1), QTime(0, 0), Qt::UTC);
    for (int i = 1; i <= count; ++i) {
        const QStringList p = priceOf(i);
        lines << bar(first.addSecs(qint64(i - 1) * 900), 15, p[0], p[1], p[2]);
    }
    return (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toLatin1();
}

QByteArray goodPrices(int count) {
    return priceFile(count, [](int i) {
        const int c = 150000 + (i * 37) % 400;
        return QStringList{QString::number(c + 20), QString::number(c - 20), QString::number(c)};
    });
}

// Takes CAP_DAC_OVERRIDE out of the effective set of this thread, so that root meets file
// permissions as any user does (SQLite runs on this thread); the destructor puts it back.
class FilePermissionsApply {
public:
    FilePermissionsApply() {
        if (geteuid() != 0) {
            m_ok = true;
            return;
        }
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        if (syscall(SYS_capget, &header, m_saved) != 0)
            return;
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        reduced[0].effective &= ~(1u << CAP_DAC_OVERRIDE);
        m_ok = syscall(SYS_capset, &header, reduced) == 0;
        m_dropped = m_ok;
    }
    ~FilePermissionsApply() {
        if (!m_dropped)
            return;
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        syscall(SYS_capset, &header, m_saved);
    }
    FilePermissionsApply(const FilePermissionsApply&) = delete;
    FilePermissionsApply& operator=(const FilePermissionsApply&) = delete;
    bool ok() const { return m_ok; }

private:
    __user_cap_data_struct m_saved[2]{};
    bool m_ok = false;
    bool m_dropped = false;
};

} // namespace

class TestBadInput : public QObject {
    Q_OBJECT

    TestSettings settings;

    TemplateDatabase templateDb;
    std::unique_ptr<TestFolder> dir;
    std::unique_ptr<TestDialogs> dialogs;
    std::unique_ptr<TKestoF> window;

    Session& session() { return window->session(); }
    QString dbPath() const { return dir->filePath(QStringLiteral("SQDB.DB")); }

    QSqlDatabase db(const QString& selector) {
        return session().dm.database(session().dm.connectionOf(selector));
    }
    void exec(const QString& selector, const QString& sql) {
        QSqlQuery q(db(selector));
        if (!q.exec(sql))
            QFAIL(qPrintable(q.lastError().text() + u' ' + sql));
    }
    QStringList rows(const QString& selector, const QString& sql) {
        return storedRows(db(selector), sql);
    }
    // Everything SQDB.DB keeps: its tables, catalogue included, and their rows; the forecast
    // log's rows unless told otherwise.
    QStringList storedInFile(bool withLog = true) {
        QStringList all = rows(QStringLiteral("csq"),
                               QStringLiteral("select name from sqlite_master order by name"));
        QStringList tables{"AAATBN", "AAATST", "F05PMF", "F06EVR", "F07EVL", "F08EVK", "F09CSV"};
        if (withLog)
            tables << QStringLiteral("F10YSR");
        for (const QString& t : tables)
            all << t
                << rows(QStringLiteral("csq"),
                        QStringLiteral("select * from %1 order by rowid").arg(t));
        return all;
    }
    // And the four in-memory price tables of the last import.
    QStringList stored() {
        QStringList all = storedInFile();
        for (const char* t : {"F01YSK", "F02W1H", "F03W4H", "F04WD1"})
            all << QLatin1String(t)
                << rows(QStringLiteral("csm"),
                        QStringLiteral("select * from %1 order by rowid").arg(QLatin1String(t)));
        return all;
    }
    QString writeFile(const QString& name, const QByteArray& bytes) {
        const QString path = dir->filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            qFatal("cannot write %s", qPrintable(path));
        f.write(bytes);
        return path;
    }
    QByteArray readFile(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    // The rows a user has: registers of every page, two list rows of page 8 pointing at the
    // test folder, made before the program starts.
    void seedDatabase() {
        const QString name = QStringLiteral("seed");
        QSqlDatabase seed = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        seed.setDatabaseName(dbPath());
        QVERIFY(seed.open());
        const QString folder = dir->path() + u'/';
        for (const QString& sql :
             {QStringLiteral("insert into F05PMF values (1, '2025/07/01', '09:00', 'ﾄﾞﾙ高', "
                             "'金利差', 'ﾏｰｹｯﾄ速報', NULL), (2, '2025/07/02', '10:30', 'ﾄﾞﾙ安', "
                             "'介入警戒', NULL, 'memo')"),
              QStringLiteral("insert into F06EVR values (1, '雇用', '雇用統計', '2025/07/04', "
                             "'21:30', '110', '147', 37, 150100, 150900, 800, NULL)"),
              QStringLiteral("insert into F07EVL values (1, '雇用', 'NFP', 'Nonfarm Payrolls', "
                             "'雇用統計', 'US', '労働省', 'https://example.org/nfp', NULL)"),
              QStringLiteral("insert into F08EVK values (1, '雇用', NULL), (2, '物価', 'CPI')"),
              QStringLiteral("insert into F09CSV values (1, 2, 'ﾌﾟﾛ目', 'F05PMF', '%1', "
                             "'F05PMF.CSV', NULL), (2, 6, 'ｲﾍﾞﾝﾄ区分', 'F08EVK', '%1', "
                             "'F08EVK.CSV', NULL)")
                  .arg(folder)}) {
            QSqlQuery q(seed);
            QVERIFY2(q.exec(sql), qPrintable(q.lastError().text()));
        }
        seed.close();
        seed = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
    }

    // The window started in the test folder; start-up ran through its first activation.
    bool startWindow() {
        window = std::make_unique<TKestoF>(*dialogs, catalogueDir);
        window->show();
        return QTest::qWaitForWindowActive(window.get());
    }
    template <typename T = QWidget> T* widget(const char* name) {
        T* w = window->findChild<T*>(QLatin1String(name));
        if (!w)
            qFatal("no control %s", name);
        return w;
    }
    void showPageOf(QWidget* control) {
        QTabWidget* pc = window->pageControl();
        for (QWidget* w = control; w; w = w->parentWidget())
            if (pc->indexOf(w) >= 0) {
                pc->setCurrentWidget(w);
                return;
            }
    }
    // A mouse click as the user makes it, so that an error goes through the window's one
    // default handler.
    void click(const char* name) {
        auto* button = widget<QPushButton>(name);
        showPageOf(button);
        QTest::mouseClick(button, Qt::LeftButton);
    }
    void fill(const QStringList& names, const QStringList& texts) {
        for (qsizetype i = 0; i < names.size(); ++i)
            widget<QLineEdit>(qPrintable(names[i]))->setText(texts.value(i));
    }
    QStringList texts(const QStringList& names) {
        QStringList out;
        for (const QString& n : names)
            out << widget<QLineEdit>(qPrintable(n))->text();
        return out;
    }
    // Selects a row of page 8's list as the user does.
    void selectListRow(int row) {
        auto* grid = widget<QTableView>("iG");
        showPageOf(grid);
        grid->setCurrentIndex(grid->model()->index(row, 0));
        QCOMPARE(session().dm.qi.currentRow(), row);
    }
    // Imports a price file through "FX読込" and the file dialog.
    void importPrices(const QString& path) {
        dialogs->fileToOpen = path;
        click("a13rdtB");
        QVERIFY(jobsEnded(session()));
    }

    // Runs statements on SQDB.DB before the program starts, as another program would.
    void changeFile(const QStringList& statements) {
        const QString name = QStringLiteral("change");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(dbPath());
            QVERIFY(db.open());
            for (const QString& sql : statements) {
                QSqlQuery q(db);
                QVERIFY2(q.exec(sql), qPrintable(q.lastError().text() + u' ' + sql));
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }
    // SQDB.DB as a version before the forecast log left it.
    const QStringList withoutTheLog{
        "drop table F10YSR",
        "delete from AAATST where TBID = (select TBID from AAATBN where TNAM = 'F10YSR')",
        "delete from AAATBN where TNAM = 'F10YSR'"};
    // The catalogue rows of the file, the log's left out.
    QStringList catalogueRows() {
        return rows(QStringLiteral("csq"), QStringLiteral("select * from AAATBN order by rowid")) +
               rows(QStringLiteral("csq"), QStringLiteral("select * from AAATST order by rowid"));
    }

    const QStringList proFields{"b103dt2E", "b104hm2E",  "b105rz2E",
                                "b106rs2E", "b107syt2E", "b108tyo2E"};

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        Clock::fix(QDateTime(QDate(2025, 7, 9), QTime(12, 0)));
        QVERIFY(templateDb.create());
    }
    void cleanupTestCase() { Clock::release(); }

    void init() {
        dir = std::make_unique<TestFolder>();
        QVERIFY(templateDb.copyTo(dbPath()));
        seedDatabase();
        dialogs = std::make_unique<TestDialogs>();
    }

    void cleanup() {
        window.reset();
        QFile::setPermissions(dbPath(), QFile::ReadOwner | QFile::WriteOwner);
        dir.reset();
    }

    // A file whose shape stops the import: an error naming the fault, and the tables keep the
    // previous import.
    void priceFilesThatStopTheImport_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("words");
        QTest::newRow("empty") << QByteArray() << "行数が2行未満です(0行)";
        QByteArray binary(64 * 1024, '\0');
        QRandomGenerator random(9);
        for (char& c : binary)
            c = char(random.bounded(256));
        QTest::newRow("binary") << binary << "項目が8個未満";
        QTest::newRow("one huge line")
            << QByteArray(8 * 1024 * 1024, '7') << "1 行目の項目が8個未満です(1個)";
        const QByteArray good = goodPrices(4);
        QTest::newRow("huge last line")
            << good + "2025/07/01,01:00," + QByteArray(4 * 1024 * 1024, '1') + "\r\n"
            << "6 行目の項目が8個未満";
        QStringEncoder utf16(QStringConverter::Utf16LE);
        QTest::newRow("UTF-16 without byte-order mark")
            << QByteArray(utf16.encode(QString::fromLatin1(good))) << "項目が8個未満";
        QTest::newRow("shorter than two lines")
            << bar(QDateTime(QDate(2025, 7, 1), QTime(9, 0)), 15, "1", "1", "1").toLatin1()
            << "行数が2行未満です(1行)";
        QTest::newRow("no bar within two months")
            << QByteArray("Date\r\n2025/05/08,09:00,1,1,1,1,2025/05/08,09:15\r\n"
                          "2025/05/08,09:15,1,1,1,1,2025/05/08,09:30\r\n")
            << "直近2ヶ月(2025/05/09 以降)のFXﾃﾞｰﾀがありません";
    }
    void priceFilesThatStopTheImport() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, words);
        QVERIFY(startWindow());
        importPrices(writeFile(QStringLiteral("GOOD.CSV"), goodPrices(120)));
        QVERIFY(dialogs->errors.isEmpty());
        QCOMPARE(session().reg.imcn, 120);
        const QStringList before = stored();
        const Registers reg = session().reg;
        dialogs->clear();

        importPrices(writeFile(QStringLiteral("BAD.CSV"), bytes));
        QCOMPARE(dialogs->errors.size(), 1);
        QVERIFY2(dialogs->errors[0].contains(words), qPrintable(dialogs->errors[0].left(300)));
        QVERIFY(dialogs->messages.isEmpty()); // nothing of the closing sequence ran
        QCOMPARE(stored(), before);
        QCOMPARE(session().reg.imcn, reg.imcn);
        QCOMPARE(session().reg.shm, reg.shm);
        QCOMPARE(session().dm.qd.recordCount(), 130); // the FX table page still shows them
    }

    // A file of the right shape with unusable prices: the import stores what it can, the
    // training refuses what it cannot compute with, and the registers of SQDB.DB stay.
    void priceFilesWithBadValues_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("bars");      // real bar rows stored
        QTest::addColumn<QString>("error"); // empty: the whole import and forecast ran
        const auto some = [](int count, int badBar, const QStringList& bad) {
            return priceFile(count, [=](int i) {
                return i == badBar ? bad
                                   : QStringList{QStringLiteral("150020"), QStringLiteral("149980"),
                                                 QString::number(150000 + i)};
            });
        };
        QTest::newRow("text in one bar's prices")
            << some(40, 7, {"高値", "abc", "150.1x"}) << 39 << QString();
        QTest::newRow("text in every price field") << priceFile(40, [](int) {
            return QStringList{"H", "L", "C"};
        }) << 0 << "最高値 '' は正しい数値ではありません";
        QTest::newRow("a high of 400 digits")
            << some(40, 7, {QString(400, u'9'), "149980", "150000"}) << 40
            << "は正しい数値ではありません";
        QTest::newRow("a high too large for the network")
            << some(40, 7, {"1e300", "149980", "150000"}) << 40 << "大きすぎて学習できません";
        QTest::newRow("a close too large for the network")
            << some(40, 7, {"150020", "149980", "1e300"}) << 40 << QString();
    }
    void priceFilesWithBadValues() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, bars);
        QFETCH(QString, error);
        QVERIFY(startWindow());
        const QStringList registers = storedInFile(false);
        importPrices(writeFile(QStringLiteral("BAD.CSV"), bytes));
        if (error.isEmpty()) {
            QVERIFY(dialogs->errors.isEmpty());
            QVERIFY(!widget<QLabel>("c02ms2L")->text().isEmpty());
        } else {
            QCOMPARE(dialogs->errors.size(), 1);
            QVERIFY2(dialogs->errors[0].contains(error), qPrintable(dialogs->errors[0].left(300)));
        }
        QCOMPARE(rows(QStringLiteral("csm"),
                      QStringLiteral("select count(*) from F01YSK where CNT <= 40")),
                 QStringList{QStringLiteral("%1:qlonglong").arg(bars)});
        QCOMPARE(storedInFile(false), registers);
        // Only a forecast that completed is logged.
        QCOMPARE(rows(QStringLiteral("csq"), QStringLiteral("select count(*) from F10YSR")),
                 QStringList{QStringLiteral("%1:qlonglong").arg(error.isEmpty() ? 1 : 0)});
    }

    // The forecast arithmetic refuses what no whole price can hold instead of rounding it into
    // nonsense or overflowing.
    void forecastArithmeticRefusesWhatNoIntegerHolds() {
        const ForecastBounds b =
            Forecaster::bounds(QStringLiteral("158000"), QStringLiteral("140000"));
        QVERIFY_THROWS_EXCEPTION(TorvaneError, Forecaster::descaled(qQNaN(), b));
        QVERIFY_THROWS_EXCEPTION(TorvaneError, Forecaster::descaled(1e30f, b));
        QVERIFY_THROWS_EXCEPTION(TorvaneError,
                                 Forecaster::difference(QStringLiteral("-9223372036854775808"),
                                                        QStringLiteral("150000")));
        QCOMPARE(Forecaster::difference(QStringLiteral("150000"), QStringLiteral("150123")),
                 QStringLiteral("-123"));
    }

    // An error quoting a megabyte field is cut before it reaches the message box, which would
    // otherwise lay the text out for half a minute.
    void longErrorTextsAreCut() {
        const QString huge = QStringLiteral("最高値 '") + QString(4'000'000, u'9') + u'\'';
        QString shown;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            poll.stop();
            shown = box->text();
            box->accept();
        });
        poll.start(10);
        QtDialogs().error(huge);
        QVERIFY(shown.startsWith(QStringLiteral("最高値 '999")));
        QVERIFY(shown.size() < QtDialogs::maxShown + 40);
        QVERIFY(shown.contains(
            QStringLiteral("以下 %1 文字を省略").arg(huge.size() - QtDialogs::maxShown)));
        // A cut never leaves half a surrogate pair.
        const QString a(QtDialogs::maxShown - 1, u'a');
        QVERIFY(QtDialogs::shownText(a + QStringLiteral("😀😀")).startsWith(a + u'…'));
        QCOMPARE(QtDialogs::shownText(QStringLiteral("short")), QStringLiteral("short"));
    }

    // SQDB.DB that the user may only read: the program starts and shows everything, every write
    // is refused with the database's reason, and what the user typed stays in the panel.
    void readOnlyDatabase() {
        // A logged forecast whose target the import below covers.
        changeFile({QStringLiteral(
            "insert into F10YSR (CNT, MDT, MHM, ITV, LYMD, LHM, LCV, LHV, LLV, TYMD, THM, FCV, "
            "FHV, FLV, MSE, ACV) values (1, '2025/06/30', '23:00', 15, '2025/06/30', '22:30', "
            "150000, 150000, 150000, '2025/07/01', '05:00', 150100, 150100, 150100, '.001', "
            "NULL)")});
        QVERIFY(QFile::setPermissions(dbPath(),
                                      QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        FilePermissionsApply permissions;
        if (!permissions.ok())
            QSKIP("running as root without the right to drop CAP_DAC_OVERRIDE: a file mode "
                  "cannot stop root's writes here");
        QVERIFY(!QFile(dbPath()).open(QIODevice::ReadWrite));
        QVERIFY(startWindow());
        QVERIFY(dialogs->errors.isEmpty());
        QCOMPARE(session().dm.qb.recordCount(), 2);
        const QStringList before = stored();

        // A register row of page 2.
        const QStringList typed{"2025/07/09", "12:00", "ﾄﾞﾙ高", "理由", "site", "摘要"};
        fill(proFields, typed);
        click("b109rgB");
        QCOMPARE(dialogs->errors.size(), 1);
        QVERIFY2(dialogs->errors[0].startsWith(QStringLiteral("F05PMF に登録できませんでした")),
                 qPrintable(dialogs->errors[0]));
        QVERIFY2(dialogs->errors[0].contains(QStringLiteral("readonly")),
                 qPrintable(dialogs->errors[0]));
        QCOMPARE(texts(proFields), typed);

        // Page 8: the export reads and writes its file, the import is refused whole.
        dialogs->clear();
        selectListRow(1);
        click("i03wtB");
        QVERIFY(dialogs->errors.isEmpty());
        QCOMPARE(readFile(dir->filePath(QStringLiteral("F08EVK.CSV"))),
                 QByteArray("1,") +
                     TextFile::encodeCp932(QStringLiteral("雇用,\r\n2,物価,CPI\r\n")));
        writeFile(QStringLiteral("F08EVK.CSV"), "7,x,y\r\n");
        click("i04rdB");
        QCOMPARE(dialogs->questions.size(), 1);
        QCOMPARE(dialogs->errors.size(), 1);
        QVERIFY2(dialogs->errors[0].contains(QStringLiteral("F08EVK ﾃｰﾌﾞﾙを削除できません")),
                 qPrintable(dialogs->errors[0]));

        // A list row edited in the grid: refused and said so, not dropped without a word.
        dialogs->clear();
        auto* grid = widget<QTableView>("iG");
        grid->setCurrentIndex(grid->model()->index(0, 6));
        QVERIFY(grid->model()->setData(grid->model()->index(0, 6), QStringLiteral("changed")));
        grid->setCurrentIndex(grid->model()->index(1, 0));
        QTRY_COMPARE(dialogs->errors.size(), 1);
        QVERIFY2(dialogs->errors[0].startsWith(QStringLiteral("F09CSV に登録できませんでした")),
                 qPrintable(dialogs->errors[0]));
        QCOMPARE(stored(), before);

        // An import: the bars are in memory; the scoring and the log say why they cannot write.
        dialogs->clear();
        const QStringList file = storedInFile();
        importPrices(writeFile(QStringLiteral("GOOD.CSV"), goodPrices(40)));
        QCOMPARE(session().reg.imcn, 40);
        // (The list row still edited on page 8 is refused again as the focus leaves it.)
        const QStringList log = dialogs->errors.filter(QStringLiteral("F10YSR"));
        QVERIFY2(log.size() == 2, qPrintable(dialogs->errors.join(u'\n')));
        QVERIFY2(log[0].startsWith(QStringLiteral("F10YSR の予測を採点できませんでした")) &&
                     log[0].contains(QStringLiteral("readonly")),
                 qPrintable(log[0]));
        QVERIFY2(log[1].startsWith(QStringLiteral("F10YSR に予測を記録できませんでした")) &&
                     log[1].contains(QStringLiteral("readonly")),
                 qPrintable(log[1]));
        QCOMPARE(storedInFile(), file);
    }

    // Another program holds SQDB.DB under an exclusive lock during start-up: the database
    // layer gives up after its busy wait, the error is shown, nothing is changed.
    void lockedDatabaseAtStartUp() {
        QSqlDatabase locker = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "locker");
        locker.setDatabaseName(dbPath());
        QVERIFY(locker.open());
        QSqlQuery lock(locker);
        QVERIFY(lock.exec(QStringLiteral("begin exclusive")));
        QVERIFY(startWindow());
        QCOMPARE(dialogs->errors.size(), 1);
        QVERIFY2(dialogs->errors[0].contains(QStringLiteral("locked")),
                 qPrintable(dialogs->errors[0]));
        QCOMPARE(window->pageControl()->currentWidget()->objectName(), QStringLiteral("gts"));
        QVERIFY(lock.exec(QStringLiteral("rollback")));
        lock = QSqlQuery();
        locker.close();
        locker = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("locker"));
        window.reset();
        dialogs->clear();
        QVERIFY(startWindow());
        QVERIFY(dialogs->errors.isEmpty());
        QCOMPARE(session().dm.qb.recordCount(), 2);
    }

    // The lock taken while the program runs: each action that needs the file ends with the
    // error, the user's typing stays, and once the lock is gone the same click stores it.
    void lockedDatabaseWhileRunning() {
        QVERIFY(startWindow());
        importPrices(writeFile(QStringLiteral("GOOD.CSV"), goodPrices(40)));
        dialogs->clear();
        const QStringList before = stored();
        QSqlDatabase locker = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "locker");
        locker.setDatabaseName(dbPath());
        QVERIFY(locker.open());
        auto lock = std::make_unique<QSqlQuery>(locker);
        QVERIFY(lock->exec(QStringLiteral("begin exclusive")));

        const QStringList typed{"2025/07/09", "12:00", "ﾄﾞﾙ高", "理由", "site", "摘要"};
        fill(proFields, typed);
        click("b109rgB");
        QCOMPARE(dialogs->errors.size(), 1);
        QVERIFY2(dialogs->errors[0].contains(QStringLiteral("locked")),
                 qPrintable(dialogs->errors[0]));
        QCOMPARE(texts(proFields), typed);

        selectListRow(1);
        writeFile(QStringLiteral("F08EVK.CSV"), "7,x,y\r\n");
        click("i04rdB");
        QCOMPARE(dialogs->errors.size(), 2);

        importPrices(writeFile(QStringLiteral("NEW.CSV"), goodPrices(60)));
        QCOMPARE(dialogs->errors.size(), 3);
        QVERIFY(lock->exec(QStringLiteral("rollback")));
        QCOMPARE(stored(), before);

        lock.reset();
        locker.close();
        locker = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("locker"));
        click("b109rgB");
        QCOMPARE(dialogs->errors.size(), 3);
        QCOMPARE(
            rows(QStringLiteral("csq"), QStringLiteral("select RZ, TYO from F05PMF where CNT = 3")),
            QStringList{QStringLiteral("ﾄﾞﾙ高:QString|摘要:QString")});
    }

    // Exchanged files in the encodings a user's tools write read back as the same rows; a file
    // in CP932 whose half-width kana happen to form UTF-8 stays CP932.
    void csvEncodings_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("expected");
        const QString text = QStringLiteral("1,為替介入,ﾒﾓ\r\n2,雇用統計,x\r\n");
        const QStringList rows{QStringLiteral("1:qlonglong|為替介入:QString|ﾒﾓ:QString"),
                               QStringLiteral("2:qlonglong|雇用統計:QString|x:QString")};
        QTest::newRow("Shift-JIS (CP932)") << TextFile::encodeCp932(text) << rows;
        QTest::newRow("UTF-8") << text.toUtf8() << rows;
        QTest::newRow("UTF-8 with byte-order mark") << "\xEF\xBB\xBF" + text.toUtf8() << rows;
        QStringEncoder le(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom);
        QTest::newRow("UTF-16LE with byte-order mark") << QByteArray(le.encode(text)) << rows;
        QStringEncoder be(QStringConverter::Utf16BE, QStringConverter::Flag::WriteBom);
        QTest::newRow("UTF-16BE with byte-order mark") << QByteArray(be.encode(text)) << rows;
        QTest::newRow("CP932 kana that read as UTF-8")
            << TextFile::encodeCp932(QStringLiteral("1,ﾃｽ,ﾃｽ\r\n"))
            << QStringList{QStringLiteral("1:qlonglong|ﾃｽ:QString|ﾃｽ:QString")};
        QTest::newRow("quotes stay, a quoted comma still splits")
            << QByteArray("1,\"a,b\",c\r\n\"2\",x,y\r\n")
            << QStringList{QStringLiteral("1:qlonglong|\"a:QString|b\",c:QString")};
        QTest::newRow("fewer fields: the last field goes last")
            << QByteArray("1,x\r\n") << QStringList{QStringLiteral("1:qlonglong|NULL|x:QString")};
        QTest::newRow("more fields: the rest goes last")
            << QByteArray("1,x,y,z\r\n")
            << QStringList{QStringLiteral("1:qlonglong|x:QString|y,z:QString")};
    }
    void csvEncodings() {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, expected);
        QVERIFY(startWindow());
        writeFile(QStringLiteral("F08EVK.CSV"), bytes);
        selectListRow(1);
        click("i04rdB");
        QVERIFY(dialogs->errors.isEmpty());
        QCOMPARE(rows(QStringLiteral("csq"), QStringLiteral("select * from F08EVK order by CNT")),
                 expected);
    }

    // Texts CP932 cannot hold are written as "?" and the export says how many, so that the
    // change a read-back would make is no surprise.
    void exportSaysWhatCp932CannotHold() {
        QVERIFY(startWindow());
        exec(QStringLiteral("csq"),
             QStringLiteral("update F08EVK set TYO = 'café 😀' where CNT = 1"));
        selectListRow(1);
        dialogs->clear();
        click("i03wtB");
        QVERIFY(dialogs->errors.isEmpty());
        QCOMPARE(dialogs->messages.size(), 2);
        QVERIFY2(dialogs->messages[1].contains(QStringLiteral("CP932 で書けない文字が 2 個あり")),
                 qPrintable(dialogs->messages[1]));
        QCOMPARE(readFile(dir->filePath(QStringLiteral("F08EVK.CSV"))),
                 QByteArray("1,") +
                     TextFile::encodeCp932(QStringLiteral("雇用,caf? ?\r\n2,物価,CPI\r\n")));
    }

    // Every register field of every register table with texts that try to end the statement or
    // its quote: a text column stores the text as typed (cut to its length), a number column
    // refuses the row, and no other table or row changes.
    void injectionInEveryRegisterField_data() {
        QTest::addColumn<QString>("payload");
        for (const char* p : {"x'); drop table F05PMF; --", "1; drop table F06EVR", "1 or 1=1",
                              "(select count(*) from AAATBN)", "1); delete from F08EVK; --",
                              "' || (select TNAM from AAATBN) || '", "\"F07EVL\"", "0x10"})
            QTest::newRow(p) << QString::fromUtf8(p);
    }
    void injectionInEveryRegisterField() {
        QFETCH(QString, payload);
        QVERIFY(startWindow());
        Store& store = session().store;
        Registers& r = session().reg;
        for (const char* table : {"F05PMF", "F06EVR", "F07EVL", "F08EVK", "F09CSV"}) {
            r.stdb = QStringLiteral("csq");
            r.stnm = QLatin1String(table);
            store.uqTst(Store::tstColumns);
            QStringList kinds, names;
            QList<int> lengths;
            for (Query& qst = session().dm.qst; !qst.eof(); qst.next()) {
                names << qst.field(QStringLiteral("CNAM")).asString();
                kinds << qst.field(QStringLiteral("KT")).asString();
                lengths << qst.field(QStringLiteral("LN")).asInteger();
            }
            for (int k = 1; k < names.size(); ++k) {
                const QStringList before = stored();
                for (int i = 0; i < names.size(); ++i)
                    r.sa[11 + i] = i == 0 ? QStringLiteral("100") : QString();
                r.sa[11 + k] = payload;
                store.ucSql(Store::sqlInsert);
                store.uexSql(Store::execFile);
                const QString where = QStringLiteral(" where CNT = 100");
                const QStringList now =
                    rows(QStringLiteral("csq"), QStringLiteral("select %1 from %2 %3")
                                                    .arg(names[k], QLatin1String(table), where));
                const QString what = QStringLiteral("%1.%2").arg(QLatin1String(table), names[k]);
                if (Store::isTextType(kinds[k])) {
                    QVERIFY2(store.lastStatementOk(), qPrintable(what));
                    QCOMPARE(now,
                             QStringList{payload.left(lengths[k]) + QStringLiteral(":QString")});
                    exec(QStringLiteral("csq"),
                         QStringLiteral("delete from %1 %2").arg(QLatin1String(table), where));
                } else {
                    QVERIFY2(!store.lastStatementOk(), qPrintable(what));
                    QVERIFY(now.isEmpty());
                }
                QCOMPARE(stored(), before);
            }
        }
    }

    // The same through the panels: the register button stores the typed texts or, for a
    // number field, says why not and keeps the panel; the filters the event fields build
    // match nothing.
    void injectionThroughThePanels() {
        QVERIFY(startWindow());
        const QString p = QStringLiteral("1'); drop table F05PMF; --");
        fill(proFields, {p, p, p, p, p, p});
        click("b109rgB");
        QVERIFY(dialogs->errors.isEmpty());
        const QStringList tables =
            rows(QStringLiteral("csq"), QStringLiteral("select name from sqlite_master"));
        QCOMPARE(
            rows(QStringLiteral("csq"),
                 QStringLiteral("select DT, HM, RZ from F05PMF where CNT = 3")),
            QStringList{
                QStringLiteral("%1:QString|%2:QString|%3:QString").arg(p.left(10), p.left(5), p)});

        const QStringList eventFields{"e103ek2E",  "e104en2E",  "e105dt2E",  "e106hm2E",
                                      "e107eiv2E", "e108riv2E", "e109div2E", "e110pyv2E",
                                      "e111ryv2E", "e112dyv2E", "e113tyo2E"};
        const QStringList typed{p, p, p, p, p, p, "1", "2", p, "4", p};
        fill(eventFields, typed);
        const QStringList before = stored();
        click("e114rgB");
        QCOMPARE(dialogs->errors.size(), 1);
        QVERIFY(dialogs->errors[0].startsWith(QStringLiteral("F06EVR に登録できませんでした")));
        QCOMPARE(texts(eventFields), typed);
        QCOMPARE(stored(), before);

        // The category filter of page 5 and the event-name filter quote what was typed.
        session().reg.swh = RegisterTables::categoryFilter(p);
        RegisterTables::openGrid(session().store, RegisterTable::eventList);
        QCOMPARE(session().dm.qf1.recordCount(), 0);
        session().reg.swh = RegisterTables::eventNameFilter(p);
        session().dm.qe.close();
        RegisterTables::openGrid(session().store, RegisterTable::eventRecords);
        QCOMPARE(session().dm.qe.recordCount(), 0);

        fill({"f103ekb2E", "f104enr2E", "f105enf2E", "f106enw2E", "f107cnm2E", "f108jnm2E",
              "f109url2E", "f110tyo2E"},
             {p, p, p, p, p, p, p, p});
        click("f111rgB");
        fill({"f33kb2E", "f34ty2E"}, {p, p});
        click("f35rgB");
        QCOMPARE(dialogs->errors.size(), 1);
        QCOMPARE(
            rows(QStringLiteral("csq"), QStringLiteral("select count(*) from F07EVL where TYO = %1")
                                            .arg(Store::sqlText(p))),
            QStringList{QStringLiteral("1:qlonglong")});
        QCOMPARE(
            rows(QStringLiteral("csq"), QStringLiteral("select EKB from F08EVK where CNT = 3")),
            QStringList{p.left(20) + QStringLiteral(":QString")});
        QCOMPARE(rows(QStringLiteral("csq"), QStringLiteral("select name from sqlite_master")),
                 tables);
    }

    // A table name in the list that tries to carry a statement: export and import refuse the
    // row before any file or table is touched.
    void injectionInTbn_data() {
        QTest::addColumn<QString>("tbn");
        for (const char* t :
             {"F08EVK; drop table F05PMF", "F08EVK where 1=1 --", "F08EVK' or '1'='1",
              "sqlite_master", "(select * from F05PMF)", "AAATBN"})
            QTest::newRow(t) << QString::fromUtf8(t);
    }
    void injectionInTbn() {
        QFETCH(QString, tbn);
        QVERIFY(startWindow());
        exec(QStringLiteral("csq"),
             QStringLiteral("update F09CSV set TBN = %1 where CNT = 2").arg(Store::sqlText(tbn)));
        session().reg.swh = QStringLiteral(" order by CNT ");
        session().csv.uq8C(CsvExchange::csvOpenList);
        const QStringList before = stored();
        writeFile(QStringLiteral("F08EVK.CSV"), "9,kept file\r\n");
        selectListRow(1);
        click("i03wtB");
        click("i04rdB");
        QCOMPARE(dialogs->errors.size(), 2);
        QVERIFY(dialogs->questions.isEmpty());
        QCOMPARE(stored(), before);
        QCOMPARE(readFile(dir->filePath(QStringLiteral("F08EVK.CSV"))),
                 QByteArray("9,kept file\r\n"));
    }

    // Outputs that would land on the open database or its journal, by name, link or detour,
    // and a conversion onto its own input: refused before anything is written, so SQDB.DB and
    // the input stay as they were.
    void refusedOutputTargets_data() {
        QTest::addColumn<QString>("how"); // "export" (page 8), "table" (--table), "convert"
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("words");
        const QString onDatabase = QStringLiteral("はデータベースのファイル SQDB.DB");
        QTest::newRow("export to the database") << "export"
                                                << "SQDB.DB" << onDatabase;
        QTest::newRow("export to its journal") << "export"
                                               << "SQDB.DB-journal"
                                               << "はデータベースのファイル SQDB.DB-journal";
        QTest::newRow("export through a link") << "export"
                                               << "LINK.DB" << onDatabase;
        QTest::newRow("export by a detour") << "export"
                                            << "sub/../SQDB.DB" << onDatabase;
        QTest::newRow("--table to the database") << "table"
                                                 << "SQDB.DB" << onDatabase;
        QTest::newRow("--table through a link") << "table"
                                                << "LINK.DB" << onDatabase;
        QTest::newRow("--convert onto the database") << "convert"
                                                     << "SQDB.DB" << onDatabase;
        QTest::newRow("--convert onto a link to it") << "convert"
                                                     << "LINK.DB" << onDatabase;
        QTest::newRow("--convert onto its input") << "convert"
                                                  << "IN.CSV"
                                                  << "変換元と変換先が同じ";
        // Writing would put a regular file in their place.
        const QString special = QStringLiteral("は通常のファイルではないので書けません");
        QTest::newRow("export to a FIFO") << "export"
                                          << "FIFO" << special;
        QTest::newRow("export to a folder") << "export"
                                            << "FOLDER" << special;
        QTest::newRow("--table to a FIFO") << "table"
                                           << "FIFO" << special;
        QTest::newRow("--table to a device") << "table"
                                             << "DEVICE" << special;
        QTest::newRow("--convert to a device") << "convert"
                                               << "DEVICE" << special;
        QTest::newRow("--convert to a link to a folder") << "convert"
                                                         << "FOLDERLINK" << special;
    }
    void refusedOutputTargets() {
        QFETCH(QString, how);
        QFETCH(QString, target);
        QFETCH(QString, words);
        QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("sub")));
        QVERIFY(QFile::link(dbPath(), dir->filePath(QStringLiteral("LINK.DB"))));
        QCOMPARE(
            ::mkfifo(QFile::encodeName(dir->filePath(QStringLiteral("FIFO"))).constData(), 0600),
            0);
        QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("FOLDER")));
        QVERIFY(QFile::link(dir->filePath(QStringLiteral("FOLDER")),
                            dir->filePath(QStringLiteral("FOLDERLINK"))));
        if (target == QLatin1String("DEVICE")) {
            // A node of the null device of the test's own, so that a fault replaces this one.
            if (::mknod(QFile::encodeName(dir->filePath(target)).constData(), S_IFCHR | 0600,
                        makedev(1, 3)) != 0)
                QSKIP("cannot make a device node here (needs root)");
        }
        const QByteArray input = "2025.07.09,10:00,1,2,1,1,5\r\n2025.07.09,10:15,1,2,1,1,5\r\n";
        writeFile(QStringLiteral("IN.CSV"), input);
        const QString prices = writeFile(QStringLiteral("P.CSV"), goodPrices(40));
        QString error;
        QByteArray before;
        if (how == QLatin1String("export")) {
            QVERIFY(startWindow());
            exec(QStringLiteral("csq"), QStringLiteral("update F09CSV set CSV = %1 where CNT = 2")
                                            .arg(Store::sqlText(target)));
            session().reg.swh = QStringLiteral(" order by CNT ");
            session().csv.uq8C(CsvExchange::csvOpenList);
            before = readFile(dbPath());
            selectListRow(1);
            dialogs->clear();
            click("i03wtB");
            QCOMPARE(dialogs->errors.size(), 1);
            QVERIFY(dialogs->messages.isEmpty()); // neither "書き出します" nor "書出終了"
            error = dialogs->errors[0];
        } else {
            before = readFile(dbPath());
            Session session(*dialogs, catalogueDir);
            const QStringList arguments =
                how == QLatin1String("table")
                    ? QStringList{prices, QStringLiteral("--table"), target}
                    : QStringList{QStringLiteral("--convert"), QStringLiteral("IN.CSV"), target};
            try {
                HeadlessPipeline(session, HeadlessOptions::parse(arguments)).run();
            } catch (const TorvaneError& e) {
                error = e.text();
            }
        }
        QVERIFY2(error.contains(words), qPrintable(error));
        QCOMPARE(readFile(dbPath()), before);
        QVERIFY(!QFile::exists(dir->filePath(QStringLiteral("SQDB.DB-journal"))));
        // The special files are what they were.
        const auto kind = [&](const QString& name) {
            struct stat status {};
            return ::stat(QFile::encodeName(dir->filePath(name)).constData(), &status) == 0
                       ? status.st_mode & S_IFMT
                       : 0;
        };
        QCOMPARE(kind(QStringLiteral("FIFO")), mode_t(S_IFIFO));
        QCOMPARE(kind(QStringLiteral("FOLDER")), mode_t(S_IFDIR));
        if (target == QLatin1String("DEVICE"))
            QCOMPARE(kind(target), mode_t(S_IFCHR));
        QCOMPARE(readFile(dir->filePath(QStringLiteral("IN.CSV"))), input);
        window.reset();
        Session again(*dialogs, catalogueDir);
        again.openDatabases();
        QCOMPARE(storedRows(again.dm.database(again.dm.csq()),
                            QStringLiteral("select count(*) from F05PMF")),
                 QStringList{QStringLiteral("2:qlonglong")});
    }

    // A catalogue emptied (or never filled) is loaded again at start-up, and every table is
    // made; the registers stay.
    void emptyCatalogueIsLoadedAgain() {
        {
            QSqlDatabase seed = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "empty");
            seed.setDatabaseName(dbPath());
            QVERIFY(seed.open());
            for (const char* sql :
                 {"delete from AAATBN", "delete from AAATST", "drop table F06EVR"}) {
                QSqlQuery q(seed);
                QVERIFY(q.exec(QLatin1String(sql)));
            }
            seed.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("empty"));
        QVERIFY(startWindow());
        QVERIFY2(dialogs->errors.isEmpty(), qPrintable(dialogs->errors.join(u'\n')));
        QVERIFY(!dialogs->messages
                     .filter(QStringLiteral(
                         "AAATBN, AAATSTテーブルを作成し、テーブルデータを読み込みます"))
                     .isEmpty());
        QCOMPARE(rows(QStringLiteral("csq"), QStringLiteral("select count(*) from F06EVR")),
                 QStringList{QStringLiteral("0:qlonglong")});
        QCOMPARE(session().dm.qb.recordCount(), 2);
        QCOMPARE(window->pageControl()->currentWidget()->objectName(), QStringLiteral("ats"));
    }

    // SQDB.DB that is no database, or whose catalogue tables lack their columns: one message
    // naming the file, why, and what to do; the file is not written to and page 7 stays.
    void unusableDatabase_data() {
        QTest::addColumn<QByteArray>("bytes"); // the whole file; empty: the seeded database
        QTest::addColumn<QString>("sql");      // run on the seeded database
        QTest::addColumn<QString>("why");
        QTest::newRow("not a database") << QByteArray("1,2025/07/01,09:00,ﾄﾞﾙ高\r\n").repeated(200)
                                        << QString() << "データベースのファイルではありません";
        QTest::newRow("AAATBN without its columns")
            << QByteArray() << "drop table AAATBN; create table AAATBN (CNT Integer)"
            << "AAATBN に列 BID がありません";
        QTest::newRow("AAATST without TNAM's neighbours")
            << QByteArray() << "alter table AAATST rename column CNAM to NAME"
            << "AAATST に列 CNAM がありません";
    }
    void unusableDatabase() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, sql);
        QFETCH(QString, why);
        if (!bytes.isEmpty()) {
            QFile::remove(dbPath());
            writeFile(QStringLiteral("SQDB.DB"), bytes);
        }
        if (!sql.isEmpty()) {
            QSqlDatabase seed = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "broken");
            seed.setDatabaseName(dbPath());
            QVERIFY(seed.open());
            for (const QString& one : sql.split(u';')) {
                QSqlQuery q(seed);
                QVERIFY2(q.exec(one), qPrintable(q.lastError().text()));
            }
            seed.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("broken"));
        const QByteArray before = readFile(dbPath());
        QVERIFY(startWindow());
        QCOMPARE(dialogs->errors.size(), 1);
        const QString& e = dialogs->errors[0];
        QVERIFY2(e.contains(QStringLiteral("データベース %1 は使えません").arg(dbPath())) &&
                     e.contains(why) && e.contains(QStringLiteral("別のフォルダへ移す")) &&
                     e.contains(QStringLiteral("CSV読込")),
                 qPrintable(e));
        QVERIFY(dialogs->messages.isEmpty());
        QCOMPARE(window->pageControl()->currentWidget()->objectName(), QStringLiteral("gts"));
        window.reset();
        QCOMPARE(readFile(dbPath()), before);
    }

    // A table that cannot be made ends the start-up with one message naming it and the reason,
    // instead of pages that later say "no such table".
    void tableCreationFailureEndsStartUp() {
        {
            QSqlDatabase seed = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "drop");
            seed.setDatabaseName(dbPath());
            QVERIFY(seed.open());
            QSqlQuery q(seed);
            QVERIFY(q.exec(QStringLiteral("drop table F07EVL")));
            seed.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("drop"));
        QVERIFY(QFile::setPermissions(dbPath(),
                                      QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        FilePermissionsApply permissions;
        if (!permissions.ok())
            QSKIP("running as root without the right to drop CAP_DAC_OVERRIDE");
        const QByteArray before = readFile(dbPath());
        QVERIFY(startWindow());
        QCOMPARE(dialogs->errors.size(), 1);
        QVERIFY2(dialogs->errors[0].contains(QStringLiteral("ﾃｰﾌﾞﾙ F07EVL を作成できません")) &&
                     dialogs->errors[0].contains(QStringLiteral("readonly")),
                 qPrintable(dialogs->errors[0]));
        QCOMPARE(window->pageControl()->currentWidget()->objectName(), QStringLiteral("gts"));
        window.reset();
        QCOMPARE(readFile(dbPath()), before);
    }

    // The forecast log an old SQDB.DB gains at start-up cannot be written: another program holds
    // the write lock, the file is read-only, the disk is full. The reason is said once, the
    // start-up goes on without the log, and the next start with the obstacle gone adds it.
    void startUpAdditionThatCannotBeWritten_data() {
        QTest::addColumn<QString>("obstacle");
        QTest::addColumn<QString>("words");
        QTest::newRow("another program's write lock") << "lock"
                                                      << "locked";
        QTest::newRow("read-only file") << "read-only"
                                        << "readonly";
        QTest::newRow("full disk") << "full disk"
                                   << "ディスクの空き容量がありません";
    }
    void startUpAdditionThatCannotBeWritten() {
        QFETCH(QString, obstacle);
        QFETCH(QString, words);
        changeFile(withoutTheLog);
        QString file = dbPath();
        std::unique_ptr<FullDisk> disk;
        std::unique_ptr<FilePermissionsApply> permissions;
        const QString lockName = QStringLiteral("locker");
        std::unique_ptr<QSqlQuery> lock;
        if (obstacle == QLatin1String("full disk")) {
            disk = std::make_unique<FullDisk>(1024 * 1024);
            if (!disk->isValid())
                QSKIP("cannot mount a small tmpfs here (needs root with CAP_SYS_ADMIN)");
            file = disk->filePath(QStringLiteral("SQDB.DB"));
            QVERIFY(QFile::copy(dbPath(), file));
            QDir::setCurrent(disk->path());
            QFile filler(disk->filePath(QStringLiteral("filler")));
            QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
            const QByteArray block(512, 'x');
            while (filler.write(block) == block.size()) {
            }
        } else if (obstacle == QLatin1String("read-only")) {
            QVERIFY(QFile::setPermissions(file, QFile::ReadOwner));
            permissions = std::make_unique<FilePermissionsApply>();
            if (!permissions->ok())
                QSKIP("running as root without the right to drop CAP_DAC_OVERRIDE");
        } else {
            QSqlDatabase locker = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), lockName);
            locker.setDatabaseName(file);
            QVERIFY(locker.open());
            lock = std::make_unique<QSqlQuery>(locker);
            QVERIFY(lock->exec(QStringLiteral("begin immediate")));
        }
        const QByteArray before = readFile(file);

        QVERIFY(startWindow());
        QCOMPARE(dialogs->errors.size(), 1);
        QVERIFY2(dialogs->errors[0].contains(QStringLiteral("新しいﾃｰﾌﾞﾙを追加できません")) &&
                     dialogs->errors[0].contains(words),
                 qPrintable(dialogs->errors[0]));
        QVERIFY(dialogs->messages.isEmpty());
        QCOMPARE(window->pageControl()->currentWidget()->objectName(), QStringLiteral("ats"));
        QCOMPARE(session().dm.qb.recordCount(), 2);
        window.reset();
        if (lock) {
            QVERIFY(lock->exec(QStringLiteral("rollback")));
            lock.reset();
            QSqlDatabase::database(lockName, false).close();
            QSqlDatabase::removeDatabase(lockName);
        }
        QCOMPARE(readFile(file), before);

        // The obstacle gone, the next start adds the log and says what it added.
        permissions.reset();
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
        if (disk)
            QVERIFY(disk->grow(8 * 1024 * 1024));
        dialogs->clear();
        QVERIFY(startWindow());
        QVERIFY2(dialogs->errors.isEmpty(), qPrintable(dialogs->errors.join(u'\n')));
        QCOMPARE(dialogs->messages.size(), 1);
        QVERIFY2(dialogs->messages[0].contains(QStringLiteral("F10YSR(予測記録)")),
                 qPrintable(dialogs->messages[0]));
        window.reset();
        QDir::setCurrent(dir->path());
    }

    // A table named F10YSR that is not the forecast log, or a log whose catalogue rows are
    // broken: said once, in words; the program goes on without the log, leaves the table and
    // the catalogue as they are, and page 9, the imports and the report work.
    void foreignOrBrokenLog_data() {
        QTest::addColumn<QStringList>("statements");
        QTest::addColumn<QString>("words");
        const QStringList own{"drop table F10YSR",
                              "create table F10YSR (CNT Integer, NOTE nchar(20))",
                              "insert into F10YSR values (1, 'mine')"};
        QTest::newRow("a table of the user's own named F10YSR")
            << own << "ﾃｰﾌﾞﾙ F10YSR に予測記録の列 MDT, MHM";
        QTest::newRow("the same in a database from before the log")
            << withoutTheLog + own.mid(1) << "ﾃｰﾌﾞﾙ F10YSR に予測記録の列 MDT, MHM";
        QTest::newRow("a catalogue row of the log without its table id")
            << QStringList{"drop table F10YSR",
                           "update AAATBN set TBID = NULL where TNAM = 'F10YSR'"}
            << "ﾃｰﾌﾞﾙ F10YSR を作成できません: ｶﾀﾛｸﾞ(AAATST)にこのﾃｰﾌﾞﾙの列がありません";
        QTest::newRow("a catalogue without a column of the log")
            << QStringList{"delete from AAATST where CNAM = 'FCV' and TBID = (select TBID from "
                           "AAATBN where TNAM = 'F10YSR')"}
            << "の行に列 FCV がありません";
    }
    void foreignOrBrokenLog() {
        QFETCH(QStringList, statements);
        QFETCH(QString, words);
        changeFile(statements);
        QVERIFY(startWindow());
        const auto logRows = [this] {
            return rows(QStringLiteral("csq"),
                        QStringLiteral("select * from sqlite_master where name = 'F10YSR'")) +
                   (session().store.tableExists(QStringLiteral("csq"), QStringLiteral("F10YSR"))
                        ? rows(QStringLiteral("csq"), QStringLiteral("select * from F10YSR"))
                        : QStringList());
        };
        QCOMPARE(dialogs->errors.size(), 1);
        const QString& said = dialogs->errors[0];
        QVERIFY2(said.contains(words) && !said.contains(QStringLiteral("no such")) &&
                     !said.contains(QStringLiteral("syntax")),
                 qPrintable(said));
        QCOMPARE(window->pageControl()->currentWidget()->objectName(), QStringLiteral("ats"));
        QVERIFY(!session().analysis.logUsable());
        const QStringList table = logRows();
        const QStringList catalogue = catalogueRows();
        // Page 9 shows the opinions and the events.
        auto* page = window->findChild<AnalysisPage*>(QStringLiteral("jts"));
        QVERIFY(page);
        QCOMPARE(page->eventGrid()->model()->rowCount(), 1);
        QCOMPARE(page->siteGrid()->model()->rowCount(), 2);

        importPrices(writeFile(QStringLiteral("GOOD.CSV"), goodPrices(40)));
        QCOMPARE(dialogs->errors.size(), 1);
        QCOMPARE(session().reg.imcn, 40);
        QCOMPARE(logRows(), table);
        QCOMPARE(catalogueRows(), catalogue);
        window.reset();

        dialogs->clear();
        Session again(*dialogs, catalogueDir);
        const QStringList report =
            HeadlessPipeline(again, HeadlessOptions::parse({QStringLiteral("--report")})).run();
        QCOMPARE(dialogs->errors.size(), 1);
        QVERIFY2(report.contains(QStringLiteral("event\t雇用統計\t1\t1\t800.0\t800.0")),
                 qPrintable(report.join(u'\n')));
    }

    // A file-size limit (ulimit -f) under a write: the write fails with its reason and the
    // program goes on, rather than ending on the signal the limit sends.
    void fileSizeLimitIsReported() {
        changeFile({QStringLiteral(
            "with recursive n(i) as (select 3 union all select i + 1 from n where i < 3000) "
            "insert into F08EVK select i, 'category ' || i, 'a note long enough' from n")});
        QVERIFY(startWindow());
        const QString old = writeFile(QStringLiteral("F08EVK.CSV"), "1,kept\r\n");
        selectListRow(1);
        dialogs->clear();
        rlimit saved{};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        rlimit limit = saved;
        limit.rlim_cur = 16 * 1024;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limit), 0);
        click("i03wtB");
        ::setrlimit(RLIMIT_FSIZE, &saved);
        QCOMPARE(dialogs->errors.size(), 1);
        QVERIFY2(dialogs->errors[0].contains(QStringLiteral("書き込めません")) &&
                     dialogs->errors[0].contains(QStringLiteral("File too large")),
                 qPrintable(dialogs->errors[0]));
        QCOMPARE(readFile(old), QByteArray("1,kept\r\n"));
    }

    // Rows read from a CSV file without a CNT, or sharing one: the import says how many, and an
    // F3 edit through the panel changes the chosen row alone.
    void editOfRowsWithoutTheirOwnCount() {
        QVERIFY(startWindow());
        writeFile(QStringLiteral("F05PMF.CSV"), "1,2025/07/01,09:00,a,,,\r\n"
                                                ",2025/07/02,09:00,no count,,,\r\n"
                                                "5,2025/07/05,09:00,five x,,,\r\n"
                                                "5,2025/07/05,09:00,five y,,,\r\n"
                                                "\r\n");
        selectListRow(0);
        dialogs->clear();
        click("i04rdB");
        QVERIFY2(dialogs->errors.isEmpty(), qPrintable(dialogs->errors.join(u'\n')));
        QVERIFY2(dialogs->messages.last().contains(
                     QStringLiteral("CNT が空の行が 2 行、前の行と同じ CNT の行が 1 行あります")),
                 qPrintable(dialogs->messages.last()));
        QCOMPARE(session().csv.lastWithoutCount(), 2);
        QCOMPARE(session().csv.lastRepeatedCount(), 1);

        session().reg.swh = QStringLiteral(" order by CNT ");
        RegisterTables::openGrid(session().store, RegisterTable::proForecast);
        const auto editRow = [&](const QString& rz, const QString& memo) {
            const Query& qb = session().dm.qb;
            int row = -1;
            for (int i = 0; i < qb.recordCount(); ++i)
                if (Query::textOf(qb.valueAt(i, qb.fieldIndex(QStringLiteral("RZ")))) == rz)
                    row = i;
            QVERIFY(row >= 0);
            auto* grid = widget<QTableView>("bg");
            showPageOf(grid);
            grid->setFocus();
            grid->setCurrentIndex(grid->model()->index(row, 0));
            QTest::keyClick(grid, Qt::Key_F3);
            QCOMPARE(widget<QLabel>("b101ModL")->text(), QStringLiteral("修正"));
            QCOMPARE(widget<QLineEdit>("b105rz2E")->text(), rz);
            widget<QLineEdit>("b108tyo2E")->setText(memo);
            click("b109rgB");
            QVERIFY2(dialogs->errors.isEmpty(), qPrintable(dialogs->errors.join(u'\n')));
        };
        const QString all = QStringLiteral("select CNT, RZ, TYO from F05PMF order by rowid");
        editRow(QStringLiteral("no count"), QStringLiteral("edited 1"));
        QCOMPARE(
            rows(QStringLiteral("csq"), all),
            (QStringList{"1:qlonglong|a:QString|NULL", "NULL|no count:QString|edited 1:QString",
                         "5:qlonglong|five x:QString|NULL", "5:qlonglong|five y:QString|NULL",
                         "NULL|NULL|NULL"}));
        editRow(QStringLiteral("five y"), QStringLiteral("edited 2"));
        QCOMPARE(
            rows(QStringLiteral("csq"), all),
            (QStringList{"1:qlonglong|a:QString|NULL", "NULL|no count:QString|edited 1:QString",
                         "5:qlonglong|five x:QString|NULL",
                         "5:qlonglong|five y:QString|edited 2:QString", "NULL|NULL|NULL"}));
        // A row whose CNT is its own is still written back by it.
        editRow(QStringLiteral("a"), QStringLiteral("edited 3"));
        QCOMPARE(rows(QStringLiteral("csq"), QStringLiteral("select count(*) from F05PMF where "
                                                            "TYO like 'edited %'")),
                 QStringList{QStringLiteral("3:qlonglong")});
    }

    // Files that cannot be price or CSV files: a FIFO, a device, a file of gigabytes. Each is
    // refused at once with a message, before it is opened, and nothing stored changes.
    void specialFilesAsInput_data() {
        QTest::addColumn<QString>("use"); // "price" (FX読込) or "csv" (CSV読込)
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("words");
        for (const char* use : {"price", "csv"}) {
            QTest::addRow("%s: FIFO", use) << use << "fifo"
                                           << "通常のファイルではない";
            QTest::addRow("%s: /dev/zero", use) << use << "device"
                                                << "通常のファイルではない";
            QTest::addRow("%s: folder", use) << use << "folder"
                                             << "通常のファイルではない";
            // One byte over the limit reads as over it, never as the limit itself.
            QTest::addRow("%s: one byte over the limit", use)
                << use << "huge"
                << (QLatin1String(use) == QLatin1String("price") ? "(2049 MB、2048 MB まで)"
                                                                 : "(257 MB、256 MB まで)");
        }
    }
    void specialFilesAsInput() {
        QFETCH(QString, use);
        QFETCH(QString, kind);
        QFETCH(QString, words);
        QVERIFY(startWindow());
        importPrices(writeFile(QStringLiteral("GOOD.CSV"), goodPrices(40)));
        QString path = dir->filePath(QStringLiteral("F08EVK.CSV"));
        if (use == QLatin1String("price"))
            path = dir->filePath(QStringLiteral("PRICES.CSV"));
        if (kind == QLatin1String("fifo")) {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (kind == QLatin1String("device")) {
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
        } else if (kind == QLatin1String("folder")) {
            QVERIFY(QDir().mkdir(path));
        } else {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            // Sparse: the size is there, the disk space is not used.
            QVERIFY(f.resize(
                (use == QLatin1String("price") ? TextFile::maxPriceBytes : TextFile::maxCsvBytes) +
                1));
        }
        const QStringList before = stored();
        dialogs->clear();
        if (use == QLatin1String("price")) {
            importPrices(path);
        } else {
            selectListRow(1);
            click("i04rdB");
        }
        QCOMPARE(dialogs->errors.size(), 1);
        QVERIFY2(dialogs->errors[0].contains(words) && dialogs->errors[0].contains(path),
                 qPrintable(dialogs->errors[0]));
        QVERIFY(dialogs->questions.isEmpty());
        QCOMPARE(stored(), before);
    }

    // Price files whose texts once came out cut or wrong: each gives a clear message naming the
    // line, or a sound result.
    void awkwardPriceFiles_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error"); // empty: imported
        const QByteArray good = goodPrices(40);
        QTest::newRow("last bar ends on 9999/12/31")
            << good + "9999/12/31,23:30,1,1,1,1,9999/12/31,23:45\r\n"
                      "9999/12/31,23:45,1,1,1,1,9999/12/31,23:59\r\n"
            << "BAD.CSV の 43 行目の次の予測の日付時刻が 0001/01/01 から 9999/12/31 の外になります";
        QByteArray spaced = good;
        spaced.replace(",", ", ");
        QTest::newRow("\", \" separators") << spaced << QString();
    }
    void awkwardPriceFiles() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        QVERIFY(startWindow());
        importPrices(writeFile(QStringLiteral("GOOD.CSV"), goodPrices(30)));
        const QStringList before = stored();
        dialogs->clear();
        importPrices(writeFile(QStringLiteral("BAD.CSV"), bytes));
        if (error.isEmpty()) {
            QVERIFY2(dialogs->errors.isEmpty(), qPrintable(dialogs->errors.join(u'\n')));
            QCOMPARE(
                rows(QStringLiteral("csm"),
                     QStringLiteral("select SYMD, SHM, HV, LYMD, LHM from F01YSK where CNT = 2")),
                QStringList{QStringLiteral(
                    "2025/07/01:QString|00:15:QString|150094:qlonglong|2025/07/01:QString|"
                    "00:30:QString")});
        } else {
            QCOMPARE(dialogs->errors.size(), 1);
            QVERIFY2(dialogs->errors[0].contains(error), qPrintable(dialogs->errors[0]));
            QCOMPARE(stored(), before);
        }
    }

    // A text cut to its column's length never keeps half of a character outside the basic
    // plane, which SQLite would store as invalid UTF-8.
    void cutNeverSplitsACharacter() {
        QVERIFY(startWindow());
        const QString a19(19, u'a');
        fill({"f33kb2E", "f34ty2E"}, {a19 + QStringLiteral("😀"), QStringLiteral("x")});
        click("f35rgB");
        QVERIFY(dialogs->errors.isEmpty());
        QCOMPARE(
            rows(QStringLiteral("csq"), QStringLiteral("select EKB from F08EVK where CNT = 3")),
            QStringList{a19 + QStringLiteral(":QString")});
        QCOMPARE(rows(QStringLiteral("csq"),
                      QStringLiteral("select length(cast(EKB as blob)) from F08EVK where CNT = 3")),
                 QStringList{QStringLiteral("19:qlonglong")});
    }

    // A full disk under an export or the database: the message names the file and that no
    // space is left, the previous file stays whole, and the database has no half-written
    // transaction beside a journal when the message shows.
    void fullDisk() {
        FullDisk disk(1024 * 1024);
        if (!disk.isValid())
            QSKIP("cannot mount a small tmpfs here (needs root with CAP_SYS_ADMIN)");
        const QString onDisk = disk.filePath(QStringLiteral("SQDB.DB"));
        {
            // The category list row exports onto the small disk; the other row imports from
            // the test folder.
            QSqlDatabase seed = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "full");
            seed.setDatabaseName(dbPath());
            QVERIFY(seed.open());
            QSqlQuery q(seed);
            QVERIFY(q.exec(QStringLiteral("update F09CSV set PAS = %1 where CNT = 2")
                               .arg(Store::sqlText(disk.path() + u'/'))));
            QVERIFY(q.exec(QStringLiteral(
                "with recursive n(i) as (select 3 union all select i + 1 from n where i < 3000) "
                "insert into F08EVK select i, 'category ' || i, 'a note long enough' from n")));
            seed.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("full"));
        QVERIFY(QFile::copy(dbPath(), onDisk));
        QDir::setCurrent(disk.path());
        QVERIFY(startWindow());
        QCOMPARE(session().dm.filePath(), onDisk);
        const QString old = disk.filePath(QStringLiteral("F08EVK.CSV"));
        {
            QFile f(old);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("1,kept\r\n");
        }
        QByteArray many;
        for (int i = 1; i <= 20000; ++i)
            many += QByteArray::number(i) + ",2025/07/01,09:00,a reason,another text,site,memo\r\n";
        writeFile(QStringLiteral("F05PMF.CSV"), many);
        const QStringList before = storedInFile();
        // The disk is filled but for a little room, so that the import fails part-way.
        {
            QFile filler(disk.filePath(QStringLiteral("filler")));
            QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
            const QByteArray block(4096, 'x');
            while (filler.write(block) == block.size()) {
            }
            QVERIFY(filler.resize(std::max<qint64>(0, filler.size() - 48 * 1024)));
        }

        selectListRow(1);
        dialogs->clear();
        click("i03wtB");
        QCOMPARE(dialogs->errors.size(), 1);
        QVERIFY2(dialogs->errors[0].contains(old) &&
                     dialogs->errors[0].contains(QStringLiteral("ディスクの空き容量がありません")),
                 qPrintable(dialogs->errors[0]));
        QCOMPARE(readFile(old), QByteArray("1,kept\r\n"));
        QCOMPARE(QDir(disk.path()).entryList({QStringLiteral("*.CSV*")}, QDir::Files),
                 QStringList{QStringLiteral("F08EVK.CSV")});

        selectListRow(0);
        dialogs->clear();
        click("i04rdB");
        QCOMPARE(dialogs->errors.size(), 1);
        QVERIFY2(dialogs->errors[0].contains(QStringLiteral("ディスクの空き容量がありません")) &&
                     dialogs->errors[0].contains(QStringLiteral("ﾃｰﾌﾞﾙは元のままです")),
                 qPrintable(dialogs->errors[0]));
        // When the message shows, the rollback is done: no journal is left to be replayed.
        const QFileInfo journal(onDisk + QStringLiteral("-journal"));
        QVERIFY2(!journal.exists() || journal.size() == 0,
                 qPrintable(QString::number(journal.size())));
        QCOMPARE(storedInFile(), before);
        QCOMPARE(rows(QStringLiteral("csq"), QStringLiteral("pragma integrity_check")),
                 QStringList{QStringLiteral("ok:QString")});
        window.reset();
        QDir::setCurrent(dir->path());
    }
};

// The window's own application object, so that errors reach its one default handler.
int main(int argc, char* argv[]) {
    TorvaneApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    applyDarkLook(app);
    TestBadInput test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_badinput.moc"
