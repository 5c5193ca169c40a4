// The whole program once through, as a user drives it: the first start in an empty folder, a
// price import with its forecast, a professional opinion and an event typed into their panels,
// and both register tables written to CSV files and read back unchanged.
#include "app/MainWindow.h"
#include "app/TorvaneApplication.h"
#include "forecast/NetworkPage.h"
#include "store/Clock.h"
#include "store/Store.h"
#include "store/TextFile.h"
#include "support/SessionJobs.h"
#include "support/StoredRows.h"
#include "support/TestDialogs.h"
#include "support/TestSettings.h"
#include "ui/Look.h"

#include <QChart>
#include <QChartView>
#include <QDir>
#include <QFile>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// 15-minute USD/JPY bars of the days before end, a random walk as the sample-price tool makes
// it: a header line, then start date, start time, open, high, low, close, end date, end time.
QByteArray samplePrices(const QDateTime& end, int days) {
    QByteArray text = "Date,Time,Open,High,Low,Close,EndDate,EndTime\r\n";
    QRandomGenerator random(20250709);
    double close = 150.0;
    const auto price = [](double yen) { return QByteArray::number(yen, 'f', 3); };
    for (QDateTime start = end.addDays(-days); start.addSecs(900) <= end;
         start = start.addSecs(900)) {
        const QDateTime barEnd = start.addSecs(900);
        const double open = close;
        close = open + 0.04 * (random.generateDouble() * 2.0 - 1.0) + (150.0 - open) * 0.0005;
        const double high = std::max(open, close) + 0.02 * random.generateDouble();
        const double low = std::min(open, close) - 0.02 * random.generateDouble();
        text += start.toString(QStringLiteral("yyyy/MM/dd,HH:mm,")).toLatin1() + price(open) + ',' +
                price(high) + ',' + price(low) + ',' + price(close) + ',' +
                barEnd.toString(QStringLiteral("yyyy/MM/dd,HH:mm")).toLatin1() + "\r\n";
    }
    return text;
}

} // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT

    TestSettings settings;

    QTemporaryDir dir;
    QString oldCwd;
    TestDialogs dialogs;
    std::unique_ptr<TKestoF> window;

    template <typename T = QWidget> T* widget(const char* name) {
        T* w = window->findChild<T*>(QLatin1String(name));
        if (!w)
            qFatal("no control %s", name);
        return w;
    }
    QString currentPage() const { return window->pageControl()->currentWidget()->objectName(); }
    QWidget* focused() const { return QApplication::focusWidget(); }
    // Enter in the focused control, which moves on to the next field.
    void enter() { QTest::keyClick(focused(), Qt::Key_Return); }
    // Typed into a control: ASCII key by key, Japanese as the input method commits it.
    static void typeInto(QWidget* w, const QString& text) {
        bool ascii = true;
        for (const QChar c : text)
            ascii = ascii && c.unicode() < 0x80;
        if (ascii) {
            QTest::keyClicks(w, text);
            return;
        }
        QInputMethodEvent commit;
        commit.setCommitString(text);
        QApplication::sendEvent(w, &commit);
    }
    void type(const QString& text) { typeInto(focused(), text); }
    QSqlDatabase csq() { return window->session().dm.database(window->session().dm.csq()); }
    QStringList rows(const QString& table) {
        return storedRows(csq(), QStringLiteral("select * from %1 order by CNT").arg(table));
    }
    // Selects a row of page 8's list and presses one of its buttons.
    void exchange(int row, const char* button) {
        auto* grid = widget<QTableView>("iG");
        grid->setFocus();
        grid->setCurrentIndex(grid->model()->index(row, 3));
        QTest::mouseClick(widget<QPushButton>(button), Qt::LeftButton);
    }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        Clock::fix(QDateTime(QDate(2025, 7, 9), QTime(12, 0)));
        oldCwd = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
    }
    void cleanupTestCase() {
        window.reset();
        Clock::release();
        QDir::setCurrent(oldCwd);
    }

    // The first start in an empty folder creates SQDB.DB and loads the catalogue; page 1 comes
    // up with the focus on "FX読込".
    void startsInAnEmptyFolder() {
        QVERIFY(QDir(dir.path()).isEmpty());
        window = std::make_unique<TKestoF>(dialogs, QStringLiteral(TORVANE_SOURCE_DIR "/data"));
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QVERIFY(window->startupRan());
        QCOMPARE(dialogs.messages,
                 QStringList{Store::catalogueMessage(dir.filePath(QStringLiteral("SQDB.DB")))});
        QVERIFY(dialogs.errors.isEmpty());
        QVERIFY(QFile::exists(dir.filePath(QStringLiteral("SQDB.DB"))));
        QCOMPARE(currentPage(), QStringLiteral("ats"));
        QTRY_COMPARE(focused(), widget("a13rdtB"));
        QCOMPARE(widget<QLabel>("a12ifL")->text(),
                 QStringLiteral("FXﾃﾞｰﾀを現行化してFX読込ﾎﾞﾀﾝをｸﾘｯｸしてください"));
    }

    // Space on the focused "FX読込", a file picked in the dialog: the import, the averages, the
    // training and forecast fill the FX table, the summary, the chart and the diagram.
    void importsAPriceFileAndForecasts() {
        QFile file(dir.filePath(QStringLiteral("USDJPY_SAMPLE.CSV")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(samplePrices(QDateTime(QDate(2025, 7, 9), QTime(12, 0)), 30));
        file.close();
        dialogs.clear();
        dialogs.fileToOpen = file.fileName();
        QTest::keyClick(focused(), Qt::Key_Space);
        QVERIFY(jobsEnded(window->session()));
        QVERIFY2(dialogs.errors.isEmpty(), qPrintable(dialogs.errors.join(u'\n')));
        QCOMPARE(dialogs.messages, (QStringList{QStringLiteral("読込終了。 移動平均額を計算します"),
                                                QStringLiteral("1000回学習します"),
                                                QStringLiteral("学習終了 ｸﾞﾗﾌ表示します")}));
        const Session& session = window->session();
        QCOMPARE(session.reg.imcn, 30 * 96);
        QCOMPARE(session.dm.qd.recordCount(), 30 * 96 + 10);
        QCOMPARE(widget<QTableView>("dG")->model()->rowCount(), 30 * 96 + 10);

        // Page 1: the summary and the chart of the last three days with the forecast.
        for (const char* name : {"a1013ztvL", "a1015atvL", "a1017stvL", "a1023zcvL", "a1025acvL",
                                 "a1027scvL", "a1033zlvL", "a1035alvL", "a1037slvL"})
            QVERIFY2(!widget<QLabel>(name)->text().isEmpty(), name);
        QChart* chart = widget<QChartView>("aCht")->chart();
        const QList<QAbstractSeries*> series = chart->series();
        QCOMPARE(series.size(), 7);
        const auto points = [&](int i) { return qobject_cast<QLineSeries*>(series[i])->count(); };
        QCOMPARE(points(0), 2 * 96 + 48 + 10); // the bars begun after 2025/07/06, the slots
        for (int i = 1; i < 7; ++i)
            QVERIFY2(points(i) > 0, qPrintable(series[i]->name()));

        // Page 3: the diagram and its error.
        QVERIFY(!window->findChild<DiagramView*>(QStringLiteral("cImg"))->image().isNull());
        QVERIFY(!widget<QLabel>("c02ms2L")->text().isEmpty());
    }

    // Page 2 by keys: the conclusion comes back from the browser, the rest is typed field by
    // field with Enter, and Alt+R registers it; page 1 shows the latest opinion.
    void registersAProOpinionWithKeys() {
        dialogs.clear();
        QTest::keyClick(window->pageControl()->tabBar(), Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(currentPage(), QStringLiteral("bts"));
        // An empty conclusion would open the web search; the browser carries it back instead.
        typeInto(widget("b105rz2E"), QStringLiteral("ﾄﾞﾙ高"));
        QTest::mouseClick(widget("b103dt2E"), Qt::LeftButton);
        QTRY_COMPARE(focused(), widget("b103dt2E"));
        QCOMPARE(widget<QLineEdit>("b103dt2E")->text(), QStringLiteral("2025/07/09"));
        QCOMPARE(widget<QLineEdit>("b104hm2E")->text(), QStringLiteral("12:00"));
        QTest::keyClick(focused(), Qt::Key_Up); // the day before
        enter();
        QCOMPARE(focused(), widget("b104hm2E"));
        enter();
        enter();
        QCOMPARE(focused(), widget("b106rs2E"));
        type(QStringLiteral("金利差が広がる"));
        enter();
        type(QStringLiteral("ﾏｰｹｯﾄ速報"));
        enter();
        QCOMPARE(focused(), widget("b108tyo2E"));
        type(QStringLiteral("e2e"));
        QTest::keyClick(focused(), Qt::Key_R, Qt::AltModifier);
        QTRY_COMPARE(rows(QStringLiteral("F05PMF")).size(), 1);
        QCOMPARE(rows(QStringLiteral("F05PMF")),
                 QStringList{QStringLiteral("1:qlonglong|2025/07/08:QString|12:00:QString|"
                                            "ﾄﾞﾙ高:QString|金利差が広がる:QString|ﾏｰｹｯﾄ速報:"
                                            "QString|e2e:QString")});
        QTRY_COMPARE(widget<QLineEdit>("b105rz2E")->text(), QString());
        QCOMPARE(widget<QLabel>("a1043rvL")->text(), QStringLiteral("ﾄﾞﾙ高"));
        QCOMPARE(widget<QLabel>("a1045uvL")->text(), QStringLiteral("金利差が広がる"));
        QVERIFY(dialogs.errors.isEmpty());
    }

    // Page 5 by keys: category, event name, date and time typed; the expected and announced
    // values give the difference, the prices around the announcement come from the imported
    // bars, and the register button stores the row.
    void registersAnEventWithKeys() {
        dialogs.clear();
        QTabBar* tabs = window->pageControl()->tabBar();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(4).center());
        QCOMPARE(currentPage(), QStringLiteral("ets"));
        QTest::mouseClick(widget("e103ek2E"), Qt::LeftButton);
        QTRY_COMPARE(focused(), widget("e103ek2E"));
        type(QStringLiteral("雇用"));
        enter();
        QCOMPARE(focused(), widget("e104en2E"));
        type(QStringLiteral("雇用統計"));
        // Enter here opens the event's web page; Tab moves on without it.
        QTest::keyClick(focused(), Qt::Key_Tab);
        QCOMPARE(focused(), widget("e105dt2E"));
        type(QStringLiteral("2025/07/08"));
        enter();
        type(QStringLiteral("21:30"));
        enter();
        type(QStringLiteral("110"));
        enter();
        QCOMPARE(focused(), widget("e108riv2E"));
        type(QStringLiteral("147"));
        enter();
        QCOMPARE(widget<QLineEdit>("e109div2E")->text(), QStringLiteral("37"));
        QCOMPARE(widget<QLabel>("e109divpL")->text(), QStringLiteral("25%"));
        // Arriving at the price before looks both prices up in the imported bars.
        QCOMPARE(focused(), widget("e110pyv2E"));
        const QString before = widget<QLineEdit>("e110pyv2E")->text();
        const QString after = widget<QLineEdit>("e111ryv2E")->text();
        QVERIFY(before.toInt() > 140000 && after.toInt() > 140000);
        enter();
        enter();
        QCOMPARE(widget<QLineEdit>("e112dyv2E")->text(),
                 QString::number(after.toInt() - before.toInt()));
        QCOMPARE(focused(), widget("e113tyo2E"));
        type(QStringLiteral("e2e"));
        QTest::mouseClick(widget("e114rgB"), Qt::LeftButton);
        QTRY_COMPARE(rows(QStringLiteral("F06EVR")).size(), 1);
        QCOMPARE(rows(QStringLiteral("F06EVR")),
                 QStringList{QStringLiteral("1:qlonglong|雇用:QString|雇用統計:QString|2025/07/08:"
                                            "QString|21:30:QString|110:QString|147:QString|37:"
                                            "qlonglong|%1:qlonglong|%2:qlonglong|%3:qlonglong|e2e:"
                                            "QString")
                                 .arg(before, after)
                                 .arg(after.toInt() - before.toInt())});
        QVERIFY(dialogs.errors.isEmpty());
    }

    // Page 8: two list rows pointing at the test folder; each table is written to its file and
    // read back, confirmation answered Yes, and comes back unchanged.
    void exportsAndImportsBothTablesUnchanged() {
        Session& session = window->session();
        const QString folder = dir.path() + u'/';
        session.csv.storeListRow(-1, {{QStringLiteral("CNT"), QStringLiteral("1")},
                                      {QStringLiteral("TBN"), QStringLiteral("F05PMF")},
                                      {QStringLiteral("PAS"), folder},
                                      {QStringLiteral("CSV"), QStringLiteral("F05PMF.CSV")}});
        session.csv.storeListRow(-1, {{QStringLiteral("CNT"), QStringLiteral("2")},
                                      {QStringLiteral("TBN"), QStringLiteral("F06EVR")},
                                      {QStringLiteral("PAS"), folder},
                                      {QStringLiteral("CSV"), QStringLiteral("F06EVR.CSV")}});
        QTabBar* tabs = window->pageControl()->tabBar();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(7).center());
        QCOMPARE(currentPage(), QStringLiteral("its"));
        QCOMPARE(widget<QTableView>("iG")->model()->rowCount(), 2);

        const QStringList pmf = rows(QStringLiteral("F05PMF"));
        const QStringList evr = rows(QStringLiteral("F06EVR"));
        dialogs.clear();
        exchange(0, "i03wtB");
        exchange(1, "i03wtB");
        const QString pmfFile = folder + QStringLiteral("F05PMF.CSV");
        const QString evrFile = folder + QStringLiteral("F06EVR.CSV");
        QCOMPARE(
            dialogs.messages,
            (QStringList{QStringLiteral("F05PMF ﾃｰﾌﾞﾙをCSVﾌｧｲﾙに書き出します\n書出先: ") + pmfFile,
                         QStringLiteral("書出終了\n書出先: ") + pmfFile,
                         QStringLiteral("F06EVR ﾃｰﾌﾞﾙをCSVﾌｧｲﾙに書き出します\n書出先: ") + evrFile,
                         QStringLiteral("書出終了\n書出先: ") + evrFile}));
        QFile written(dir.filePath(QStringLiteral("F05PMF.CSV")));
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(),
                 TextFile::encodeCp932(
                     QStringLiteral("1,2025/07/08,12:00,ﾄﾞﾙ高,金利差が広がる,ﾏｰｹｯﾄ速報,e2e\r\n")));

        dialogs.clear();
        dialogs.answer = true;
        exchange(0, "i04rdB");
        exchange(1, "i04rdB");
        QVERIFY2(dialogs.errors.isEmpty(), qPrintable(dialogs.errors.join(u'\n')));
        QCOMPARE(dialogs.questions.size(), 2);
        QCOMPARE(dialogs.messages.size(), 4);
        QCOMPARE(dialogs.messages[0], folder + QStringLiteral("F05PMF.CSV ﾌｧｲﾙから読込みます "));
        QCOMPARE(dialogs.messages[1], QStringLiteral(" CSVﾌｧｲﾙからの読込終了 \n読込元: ") +
                                          pmfFile + QStringLiteral("\n読込 1 行、読み飛ばし 0 行"));
        QCOMPARE(rows(QStringLiteral("F05PMF")), pmf);
        QCOMPARE(rows(QStringLiteral("F06EVR")), evr);
    }

    // A register read in by CSV読込 shows as stored when its page is shown again, without a
    // restart.
    void registerReadOnPage8ShowsOnItsPage() {
        QTabBar* tabs = window->pageControl()->tabBar();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
        QCOMPARE(widget<QTableView>("bg")->model()->rowCount(), 1);
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(7).center());
        QFile file(dir.filePath(QStringLiteral("F05PMF.CSV")));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(TextFile::encodeCp932(
            QStringLiteral("1,2025/07/08,12:00,ﾄﾞﾙ高,金利差が広がる,ﾏｰｹｯﾄ速報,e2e\r\n"
                           "2,2025/07/09,09:00,ﾄﾞﾙ安,利下げ観測,ﾏｰｹｯﾄ速報,csv\r\n")));
        file.close();
        dialogs.clear();
        dialogs.answer = true;
        exchange(0, "i04rdB");
        QVERIFY2(dialogs.errors.isEmpty(), qPrintable(dialogs.errors.join(u'\n')));
        QCOMPARE(rows(QStringLiteral("F05PMF")).size(), 2);

        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
        QCOMPARE(currentPage(), QStringLiteral("bts"));
        QCOMPARE(widget<QTableView>("bg")->model()->rowCount(), 2);
    }

    void closesWithoutAWord() {
        dialogs.clear();
        QTest::keyClick(window.get(), Qt::Key_C, Qt::AltModifier);
        QTRY_VERIFY(!window->isVisible());
        window.reset();
        QVERIFY(dialogs.messages.isEmpty());
        QVERIFY(dialogs.errors.isEmpty());
    }
};

// The window's own application object, so that errors reach its one default handler.
int main(int argc, char* argv[]) {
    TorvaneApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    applyDarkLook(app);
    TestEndToEnd test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_endtoend.moc"
