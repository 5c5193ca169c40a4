#include "session/Session.h"
#include "store/TextFile.h"
#include "store/TorvaneError.h"
#include "support/SessionFixture.h"
#include "support/TestDialogs.h"
#include "support/TestFolder.h"

#include <QDir>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QTest>

#include <memory>

using Rows = QList<QVariantList>;

class TestCsv : public QObject, protected SessionFixture {
    Q_OBJECT


    QSqlDatabase db(const QString& selector) {
        return session->dm.database(session->dm.connectionOf(selector));
    }
    static QString selectorOf(const QString& table) {
        return table == QLatin1String("F01YSK") ? QStringLiteral("csm") : QStringLiteral("csq");
    }
    void exec(const QString& selector, const QString& sql) {
        QSqlQuery q(db(selector));
        if (!q.exec(sql))
            QFAIL(qPrintable(q.lastError().text() + u' ' + sql));
    }
    // Every row of a table with each value's storage class, so that 5 and '5' differ.
    Rows rows(const QString& table, const QString& order = QStringLiteral("rowid")) {
        QSqlQuery q(db(selectorOf(table)));
        if (!q.exec(QStringLiteral("select * from ") + table + QStringLiteral(" order by ") +
                    order))
            qWarning() << q.lastError().text();
        Rows result;
        while (q.next()) {
            QVariantList row;
            for (int i = 0; i < q.record().count(); ++i) {
                const QVariant v = q.value(i);
                row << (v.isNull() ? QVariant() : QVariant(v.toString() + u'|' + v.typeName()));
            }
            result << row;
        }
        return result;
    }
    // Makes the list hold one row for the table and file, and stands on it.
    void listRow(const QString& table, const QString& pas, const QString& csv) {
        exec(QStringLiteral("csq"), QStringLiteral("delete from F09CSV"));
        exec(QStringLiteral("csq"),
             QStringLiteral("insert into F09CSV (CNT, PNO, PNM, TBN, PAS, CSV, TYO) values "
                            "(1, 8, 'page', '%1', '%2', '%3', NULL)")
                 .arg(table, pas, csv));
        session->reg.swh = QStringLiteral(" order by CNT ");
        session->csv.uq8C(CsvExchange::csvOpenList);
        QCOMPARE(session->dm.qi.recordCount(), 1);
    }
    QString filePath(const QString& name) { return dir->filePath(name); }
    void writeFile(const QString& path, const QByteArray& bytes) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray readFile(const QString& path) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return "<missing>";
        return f.readAll();
    }
    // A four-column table of numbers in the database file.
    void createF02W1HInFile() {
        session->reg.stdb = QStringLiteral("csq");
        session->reg.stnm = QStringLiteral("F02W1H");
        session->store.uqCtbl(Store::ctblCreate);
    }
    void importFile(const QString& table, const QByteArray& bytes) {
        writeFile(filePath(QStringLiteral("in.csv")), bytes);
        listRow(table, dir->path() + u'/', QStringLiteral("in.csv"));
        session->csv.uq8C(CsvExchange::csvImport);
    }

private Q_SLOTS:
    // The catalogue is loaded once into a template database that every test starts from.
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(createTemplate());
    }

    void init() {
        QVERIFY(openSession());
    }

    void cleanup() { closeSession(); }

    // A table larger than one written block comes out as one text encoded at once would, and
    // the characters CP932 lacks are counted over all blocks.
    void largeTableIsWrittenAsOneText() {
        QSqlDatabase db = session->dm.database(session->dm.csm());
        db.transaction();
        QSqlQuery q(db);
        q.prepare(QStringLiteral("insert into F01YSK (CNT, SYMD, SHM, HV, LV, CV, LYMD, LHM) "
                                 "values (?, ?, ?, ?, ?, ?, ?, ?)"));
        QString expected;
        constexpr int rows = 4000;
        for (int k = 1; k <= rows; ++k) {
            const QString time = k == 1500 ? QStringLiteral("é") : QStringLiteral("10:15");
            const QVariantList values{k,
                                      QStringLiteral("2025/07/09"),
                                      QStringLiteral("ｱ10:10"),
                                      150000 + k,
                                      149000 + k,
                                      149500 + k,
                                      QStringLiteral("2025/07/09"),
                                      time};
            for (int i = 0; i < values.size(); ++i)
                q.bindValue(i, values[i]);
            QVERIFY(q.exec());
            expected += QStringLiteral("%1,2025/07/09,ｱ10:10,%2,%3,%4,,,,,2025/07/09,%5\r\n")
                            .arg(k)
                            .arg(150000 + k)
                            .arg(149000 + k)
                            .arg(149500 + k)
                            .arg(k == 1500 ? QStringLiteral("?") : time);
        }
        db.commit();
        const QString path = dir->filePath(QStringLiteral("F01YSK.csv"));
        qsizetype unwritable = 0;
        QCOMPARE(CsvExchange::writeTable(session->store, QStringLiteral("F01YSK"),
                                         QStringLiteral("csm"), path, &unwritable),
                 0);
        QCOMPARE(unwritable, 1);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        QVERIFY(bytes.size() > 3 * (1 << 16));
        QCOMPARE(bytes, TextFile::encodeCp932(expected));
    }

    void listOpensInOrderWithCatalogueWidths() {
        exec(QStringLiteral("csq"),
             QStringLiteral("insert into F09CSV (CNT, TBN) values (2, 'F08EVK'), (1, 'F05PMF')"));
        session->reg.swh = QStringLiteral(" order by CNT ");
        session->csv.uq8C(CsvExchange::csvOpenList);
        const Query& qi = session->dm.qi;
        QCOMPARE(qi.fieldNames(), (QStringList{"CNT", "PNO", "PNM", "TBN", "PAS", "CSV", "TYO"}));
        QCOMPARE(qi.recordCount(), 2);
        QCOMPARE(qi.currentRow(), 0);
        QCOMPARE(qi.field(QStringLiteral("TBN")).asString(), QStringLiteral("F05PMF"));
        QList<int> widths;
        for (int i = 0; i < qi.fieldCount(); ++i)
            widths << qi.displayWidth(i);
        QCOMPARE(widths, (QList<int>{4, 4, 10, 8, 30, 14, 16}));

        session->csv.uq8C(9); // an unknown operation does nothing
        QVERIFY(dialogs->messages.isEmpty());
    }

    void exportThenImportGivesBackTheRows_data() {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("insert");
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("register table in the database file")
            << "F05PMF"
            << "insert into F05PMF values (1, '2024/01/05', '09:30', '円安', 'NULL理由', NULL, "
               "'x'),"
               " (3, '2024/02/01', NULL, NULL, NULL, 'サイト', NULL), (2, NULL, NULL, NULL, NULL, "
               "NULL, NULL)"
            << TextFile::encodeCp932(
                   "1,2024/01/05,09:30,円安,NULL理由,,x\r\n2,,,,,,\r\n3,2024/02/01,,,,サイト,\r\n");
        QTest::newRow("price table in memory")
            << "F01YSK"
            << "insert into F01YSK values (1, '2024/03/01', '10:00', 15012, 14990, 15001, NULL, "
               "NULL, NULL, NULL, '2024/03/01', '10:05')"
            << QByteArray("1,2024/03/01,10:00,15012,14990,15001,,,,,2024/03/01,10:05\r\n");
    }
    void exportThenImportGivesBackTheRows() {
        QFETCH(QString, table);
        QFETCH(QString, insert);
        QFETCH(QByteArray, file);
        exec(selectorOf(table), insert);
        listRow(table, dir->path() + u'/', QStringLiteral("out.csv"));
        session->reg.swh.clear();
        session->csv.uq8C(CsvExchange::csvExport);
        QCOMPARE(readFile(filePath(QStringLiteral("out.csv"))), file);
        // Before and after the write, the whole file is named.
        const QString path = dir->path() + QStringLiteral("/out.csv");
        QCOMPARE(
            dialogs->messages,
            (QStringList{table + QStringLiteral(" ﾃｰﾌﾞﾙをCSVﾌｧｲﾙに書き出します\n書出先: ") + path,
                         QStringLiteral("書出終了\n書出先: ") + path}));
        QCOMPARE(session->reg.swh, QStringLiteral(" order by CNT "));
        QCOMPARE(session->dm.qm.connection(), session->dm.csm());

        const Rows before = rows(table, QStringLiteral("CNT"));
        exec(selectorOf(table),
             QStringLiteral("delete from ") + table + QStringLiteral(" where CNT = 2"));
        exec(selectorOf(table), QStringLiteral("update ") + table + QStringLiteral(" set CNT = 8"));
        dialogs->clear();
        session->csv.uq8C(CsvExchange::csvImport);
        QCOMPARE(
            dialogs->questions,
            QStringList{QStringLiteral("ﾃｰﾌﾞﾙﾃﾞｰﾀは削除されますが実行しますか?\n読込元: ") + path});
        const int lines = int(file.count("\r\n"));
        QCOMPARE(dialogs->messages,
                 (QStringList{path + QStringLiteral(" ﾌｧｲﾙから読込みます "),
                              QStringLiteral(" CSVﾌｧｲﾙからの読込終了 \n読込元: %1\n"
                                             "読込 %2 行、読み飛ばし 0 行")
                                  .arg(path)
                                  .arg(lines)}));
        QCOMPARE(session->reg.stdb, selectorOf(table));
        QCOMPARE(rows(table, QStringLiteral("CNT")), before);
        // The rows come back in CNT order, as the file has them; a second export is identical.
        dialogs->clear();
        session->csv.uq8C(CsvExchange::csvExport);
        QCOMPARE(readFile(filePath(QStringLiteral("out.csv"))), file);
    }

    void answeringNoChangesNothing() {
        exec(QStringLiteral("csq"), QStringLiteral("insert into F08EVK values (1, 'old', NULL)"));
        const QByteArray file = "5,new,x\r\n";
        dialogs->answer = false;
        importFile(QStringLiteral("F08EVK"), file);
        QCOMPARE(dialogs->questions.size(), 1);
        QCOMPARE(rows(QStringLiteral("F08EVK")), (Rows{{"1|qlonglong", "old|QString", {}}}));
        QCOMPARE(readFile(filePath(QStringLiteral("in.csv"))), file);
        QCOMPARE(dialogs->messages.size(), 1); // only the announcement before the question
    }

    void fieldRules_data() {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<Rows>("expected");
        QTest::addColumn<int>("skipped");
        const QVariant null;
        QTest::newRow("a,b into four columns")
            << "F02W1H" << QByteArray("7,9\r\n") << Rows{{"7|qlonglong", null, null, "9|qlonglong"}}
            << 0;
        QTest::newRow("LF alone ends a line too") << "F08EVK" << QByteArray("1,a,b\n2,c,d\n")
                                                  << Rows{{"1|qlonglong", "a|QString", "b|QString"},
                                                          {"2|qlonglong", "c|QString", "d|QString"}}
                                                  << 0;
        QTest::newRow("extra fields go into the last column")
            << "F08EVK" << QByteArray("1,x,y,z\r\n")
            << Rows{{"1|qlonglong", "x|QString", "y,z|QString"}} << 0;
        QTest::newRow("extra fields make a numeric last column fail")
            << "F02W1H" << QByteArray("1,2,3,4,5\r\n6,7,8,9\r\n")
            << Rows{{"6|qlonglong", "7|qlonglong", "8|qlonglong", "9|qlonglong"}} << 1;
        QTest::newRow("an empty line is a row of NULLs")
            << "F08EVK" << QByteArray("1,a,b\r\n\r\n")
            << Rows{{"1|qlonglong", "a|QString", "b|QString"}, {null, null, null}} << 0;
        QTest::newRow("CP932 text, a quote, a text cut to its length")
            << "F08EVK"
            << TextFile::encodeCp932("1,ｲﾍﾞﾝﾄ区分の名前がとても長い場合はここで切れる,it's\r\n")
            << Rows{{"1|qlonglong", "ｲﾍﾞﾝﾄ区分の名前がとても長い場合はこ|QString", "it's|QString"}}
            << 0;
    }
    void fieldRules() {
        QFETCH(QString, table);
        QFETCH(QByteArray, file);
        QFETCH(Rows, expected);
        QFETCH(int, skipped);
        createF02W1HInFile();
        exec(selectorOf(table),
             QStringLiteral("insert into ") + table + QStringLiteral(" (CNT) values (99)"));
        importFile(table, file);
        QCOMPARE(rows(table), expected);
        QCOMPARE(session->csv.lastSkipped(), skipped);
        QVERIFY(dialogs->messages.last().endsWith(QStringLiteral("読み飛ばし %1 行").arg(skipped)));
    }

    // The import binds values instead of running the built text; what it stores must be what
    // the built INSERT stores, line for line, storage class included.
    void importStoresWhatTheBuiltInsertStores_data() {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("line");
        for (const char* line : {"5,1.5,1e3,-0", " 7 ,+3,.5,1.", "x,1,2,3", "1,2,3,abs(1)",
                                 "99999999999999999999,1,2,3", "", "1,2", "0x10,1,1,1"})
            QTest::newRow(line) << "F02W1H" << line;
        for (const char* line : {"1,it's,x", "2,ＡＢＣＤＥＦＧＨＩＪＫＬＭＮＯＰＱＲＳＴＵＶ,y",
                                 "3,,", ",a,b,c", "1.50,'; drop table F08EVK; --,x"})
            QTest::newRow(line) << "F08EVK" << line;
    }
    void importStoresWhatTheBuiltInsertStores() {
        QFETCH(QString, table);
        QFETCH(QString, line);
        createF02W1HInFile();
        Registers& r = session->reg;
        r.stdb = QStringLiteral("csq");
        r.stnm = table;
        session->store.uqTst(Store::tstColumns);
        const int n = session->dm.qst.recordCount();
        const QStringList fields = CsvExchange::splitFields(line, n);
        for (int k = 0; k < n; ++k)
            r.sa[11 + k] = fields[k];
        session->store.ucSql(Store::sqlInsert);
        session->store.uexSql(Store::execFile);
        const Rows built = rows(table);

        importFile(table, TextFile::encodeCp932(line + QStringLiteral("\r\n")));
        QCOMPARE(rows(table), built);
        QCOMPARE(session->csv.lastSkipped(), built.isEmpty() ? 1 : 0);
    }

    void splitFields_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("n");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("a,b in four") << "a,b" << 4 << QStringList{"a", "", "", "b"};
        QTest::newRow("rest into last") << "a,b,c,d" << 2 << QStringList{"a", "b,c,d"};
        QTest::newRow("leading comma") << ",b,c" << 3 << QStringList{"", "b", "c"};
        QTest::newRow("empty") << "" << 3 << QStringList{"", "", ""};
        QTest::newRow("one column") << "a,b" << 1 << QStringList{"a,b"};
    }
    void splitFields() {
        QFETCH(QString, line);
        QFETCH(int, n);
        QFETCH(QStringList, fields);
        QCOMPARE(CsvExchange::splitFields(line, n), fields);
    }

    void emptyTableExportsEmptyFile_data() {
        QTest::addColumn<QString>("table");
        QTest::newRow("empty register table") << "F08EVK";
        QTest::newRow("F01YSK before any price import") << "F01YSK";
    }
    void emptyTableExportsEmptyFile() {
        QFETCH(QString, table);
        writeFile(filePath(QStringLiteral("e.csv")), "left from last time\r\n");
        listRow(table, dir->path() + u'/', QStringLiteral("e.csv"));
        session->csv.uq8C(CsvExchange::csvExport);
        QCOMPARE(readFile(filePath(QStringLiteral("e.csv"))), QByteArray());
        QCOMPARE(dialogs->messages.last(),
                 QStringLiteral("書出終了\n書出先: ") + filePath(QStringLiteral("e.csv")));
    }

    // PAS is joined to the file name as it stands; every message names the whole file, and a
    // folder named without its separator is said to hold the file beside it, not in it.
    void pathWithoutSeparatorIsJoinedAsItStands_data() {
        QTest::addColumn<QString>("pas");
        QTest::addColumn<QString>("written");
        QTest::addColumn<bool>("beside");
        QTest::newRow("folder without separator") << "data"
                                                  << "dataf05.csv" << true;
        QTest::newRow("folder with separator") << "data/"
                                               << "data/f05.csv" << false;
        QTest::newRow("no such folder: a name prefix") << "old"
                                                       << "oldf05.csv" << false;
    }
    void pathWithoutSeparatorIsJoinedAsItStands() {
        QFETCH(QString, pas);
        QFETCH(QString, written);
        QFETCH(bool, beside);
        exec(QStringLiteral("csq"), QStringLiteral("insert into F08EVK values (1, 'a', 'b')"));
        QDir().mkpath(filePath(QStringLiteral("data")));
        listRow(QStringLiteral("F08EVK"), pas, QStringLiteral("f05.csv"));
        session->csv.uq8C(CsvExchange::csvExport);
        QCOMPARE(readFile(filePath(written)), QByteArray("1,a,b\r\n"));
        QCOMPARE(QFile::exists(filePath(QStringLiteral("data/f05.csv"))),
                 !beside && pas == "data/");
        const QString whole = filePath(written);
        const QString besideWrite = QStringLiteral(
            "\nﾊﾟｽ data は / で終わっていないため、ﾌｫﾙﾀﾞの中ではなく横のﾌｧｲﾙに書き出します");
        QCOMPARE(dialogs->messages,
                 (QStringList{QStringLiteral("F08EVK ﾃｰﾌﾞﾙをCSVﾌｧｲﾙに書き出します\n書出先: ") +
                                  whole + (beside ? besideWrite : QString()),
                              QStringLiteral("書出終了\n書出先: ") + whole}));
        dialogs->clear();
        session->csv.uq8C(CsvExchange::csvImport);
        const QString besideRead = QStringLiteral(
            "\nﾊﾟｽ data は / で終わっていないため、ﾌｫﾙﾀﾞの中ではなく横のﾌｧｲﾙから読込みます");
        QCOMPARE(dialogs->messages.value(0), written +
                                                 QStringLiteral(" ﾌｧｲﾙから読込みます \n読込元: ") +
                                                 whole + (beside ? besideRead : QString()));
        QCOMPARE(dialogs->questions,
                 QStringList{QStringLiteral("ﾃｰﾌﾞﾙﾃﾞｰﾀは削除されますが実行しますか?\n読込元: ") +
                             whole});
        QVERIFY(dialogs->messages.value(1).startsWith(
            QStringLiteral(" CSVﾌｧｲﾙからの読込終了 \n読込元: ") + whole + u'\n'));
        QCOMPARE(rows(QStringLiteral("F08EVK")), (Rows{{"1|qlonglong", "a|QString", "b|QString"}}));
    }

    void exportCountsFieldsThatWillNotReadBack() {
        exec(QStringLiteral("csq"),
             QStringLiteral("insert into F08EVK values (1, 'a,b', 'x' || char(10) || 'y'), "
                            "(2, 'c', 'd,e,f')"));
        listRow(QStringLiteral("F08EVK"), dir->path() + u'/', QStringLiteral("b.csv"));
        session->csv.uq8C(CsvExchange::csvExport);
        QCOMPARE(readFile(filePath(QStringLiteral("b.csv"))),
                 QByteArray("1,a,b,x\ny\r\n2,c,d,e,f\r\n"));
        QCOMPARE(session->csv.lastBrokenFields(), 3);
        QCOMPARE(dialogs->messages.last(),
                 QStringLiteral("書出終了\n書出先: ") + filePath(QStringLiteral("b.csv")) +
                     QStringLiteral("\nｶﾝﾏか改行を含む項目が 3 個あります。読込むと列がずれます"));
    }

    void refusedImportsChangeNothing_data() {
        QTest::addColumn<QString>("table");
        QTest::addColumn<bool>("catalogueIt");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("error");
        QTest::newRow("unknown table") << "F99XXX" << false << "in.csv"
                                       << "F99XXX ﾃｰﾌﾞﾙ名が見つかりません";
        QTest::newRow("no table named") << "" << false << "in.csv"
                                        << " ﾃｰﾌﾞﾙ名が見つかりません";
        QTest::newRow("the catalogue itself") << "AAATBN" << true << "in.csv"
                                              << "AAATBN はｶﾀﾛｸﾞのﾃｰﾌﾞﾙなので読込めません";
        QTest::newRow("catalogued but not in its database") << "F03W4H" << false << "in.csv"
                                                            << "F03W4H ﾃｰﾌﾞﾙがﾃﾞｰﾀﾍﾞｰｽにありません";
        QTest::newRow("missing file") << "F08EVK" << false << "none.csv"
                                      << "none.csv を開けません";
    }
    void refusedImportsChangeNothing() {
        QFETCH(QString, table);
        QFETCH(bool, catalogueIt);
        QFETCH(QString, file);
        QFETCH(QString, error);
        if (catalogueIt)
            exec(QStringLiteral("csq"),
                 QStringLiteral("insert into AAATBN (CNT, TBID, TNAM) values (99, 99, 'AAATBN')"));
        exec(QStringLiteral("csq"), QStringLiteral("insert into F08EVK values (1, 'old', NULL)"));
        const Rows catalogue = rows(QStringLiteral("AAATBN"));
        writeFile(filePath(QStringLiteral("in.csv")), "1,2,3\r\n");
        listRow(table, dir->path() + u'/', file);
        QString thrown;
        try {
            session->csv.uq8C(CsvExchange::csvImport);
        } catch (const TorvaneError& e) {
            thrown = e.text();
        }
        QVERIFY2(thrown.contains(error), qPrintable(thrown));
        QVERIFY(dialogs->questions.isEmpty());
        QCOMPARE(rows(QStringLiteral("F08EVK")), (Rows{{"1|qlonglong", "old|QString", {}}}));
        QCOMPARE(rows(QStringLiteral("AAATBN")), catalogue);
    }

    void refusedExportKeepsTheOldFile() {
        writeFile(filePath(QStringLiteral("keep.csv")), "precious\r\n");
        listRow(QStringLiteral("F99XXX"), dir->path() + u'/', QStringLiteral("keep.csv"));
        QVERIFY_THROWS_EXCEPTION(TorvaneError, session->csv.uq8C(CsvExchange::csvExport));
        QCOMPARE(readFile(filePath(QStringLiteral("keep.csv"))), QByteArray("precious\r\n"));

        listRow(QStringLiteral("F08EVK"), dir->path() + QStringLiteral("/no/such/folder/"),
                QStringLiteral("x.csv"));
        QVERIFY_THROWS_EXCEPTION(TorvaneError, session->csv.uq8C(CsvExchange::csvExport));
        QCOMPARE(session->dm.qm.connection(), session->dm.csm());
    }

    void importThatFailsPartWayLeavesTheOldRows() {
        exec(QStringLiteral("csq"),
             QStringLiteral("insert into F05PMF (CNT, DT, TYO) values (1, '2024/01/01', 'old'), "
                            "(2, '2024/01/02', 'older')"));
        const Rows old = rows(QStringLiteral("F05PMF"));
        // The database file may grow by a few pages only: the disk fills up part-way.
        QSqlQuery q(db(QStringLiteral("csq")));
        QVERIFY(q.exec(QStringLiteral("pragma page_count")) && q.next());
        const int pages = q.value(0).toInt();
        QVERIFY(q.exec(QStringLiteral("pragma max_page_count = %1").arg(pages + 4)));
        QByteArray file;
        const QByteArray text(90, 'r');
        for (int i = 1; i <= 2000; ++i)
            file +=
                QByteArray::number(i) + ",2024/05/01,10:00,up," + text + ",site," + text + "\r\n";
        writeFile(filePath(QStringLiteral("big.csv")), file);
        listRow(QStringLiteral("F05PMF"), dir->path() + u'/', QStringLiteral("big.csv"));
        dialogs->clear();
        QVERIFY_THROWS_EXCEPTION(TorvaneError, session->csv.uq8C(CsvExchange::csvImport));
        QCOMPARE(rows(QStringLiteral("F05PMF")), old);
        QCOMPARE(dialogs->messages.size(), 1); // no closing message

        // The connection is left outside any transaction: a later import works in full.
        QVERIFY(q.exec(QStringLiteral("pragma max_page_count = 1000000")));
        writeFile(filePath(QStringLiteral("big.csv")), "7,2024/06/01,,,,,\r\n");
        session->csv.uq8C(CsvExchange::csvImport);
        QCOMPARE(rows(QStringLiteral("F05PMF")).size(), 1);
        QVERIFY(!db(QStringLiteral("csq")).rollback()); // no transaction open
    }

    void listRowsAreStoredThroughTheBuilder() {
        exec(QStringLiteral("csq"),
             QStringLiteral("insert into F09CSV values (1, 8, 'p', 'F05PMF', 'a/', 'f.csv', NULL), "
                            "(3, 8, 'q', 'F08EVK', 'b/', 'g.csv', 'note')"));
        session->reg.swh = QStringLiteral(" order by CNT ");
        session->csv.uq8C(CsvExchange::csvOpenList);
        QCOMPARE(session->csv.nextListCnt(), 4);

        session->csv.storeListRow(
            1, {{QStringLiteral("PAS"), QStringLiteral("c/")}, {QStringLiteral("TYO"), QString()}});
        QCOMPARE(rows(QStringLiteral("F09CSV")).at(1), (QVariantList{"3|qlonglong",
                                                                     "8|qlonglong",
                                                                     "q|QString",
                                                                     "F08EVK|QString",
                                                                     "c/|QString",
                                                                     "g.csv|QString",
                                                                     {}}));
        session->csv.storeListRow(-1, {{QStringLiteral("CNT"), QStringLiteral("4")},
                                       {QStringLiteral("TBN"), QStringLiteral("F06EVR")}});
        QCOMPARE(rows(QStringLiteral("F09CSV")).at(2),
                 (QVariantList{"4|qlonglong", {}, {}, "F06EVR|QString", {}, {}, {}}));
        QCOMPARE(session->reg.swh, QStringLiteral(" order by CNT "));
        QCOMPARE(session->dm.qi.recordCount(), 3);
    }

    // A list row without a CNT, or sharing one with another row, is written back alone.
    void listRowsWithoutTheirOwnCountAreStoredAlone() {
        exec(QStringLiteral("csq"),
             QStringLiteral("insert into F09CSV values (NULL, 8, 'none', 'F05PMF', 'a/', 'f.csv', "
                            "NULL), (2, 8, 'x', 'F08EVK', 'b/', 'g.csv', NULL), (2, 8, 'y', "
                            "'F08EVK', 'b/', 'h.csv', NULL)"));
        session->reg.swh = QStringLiteral(" order by CNT ");
        session->csv.uq8C(CsvExchange::csvOpenList);
        QCOMPARE(session->dm.qi.recordCount(), 3);
        // In CNT order the row without one comes first; "y" is the last.
        session->csv.storeListRow(0, {{QStringLiteral("TYO"), QStringLiteral("edited none")}});
        session->csv.storeListRow(2, {{QStringLiteral("TYO"), QStringLiteral("edited y")}});
        QSqlQuery q(session->dm.database(session->dm.csq()));
        QVERIFY(q.exec(QStringLiteral("select PNM, TYO from F09CSV order by rowid")));
        QStringList stored;
        while (q.next())
            stored << q.value(0).toString() + u'=' + q.value(1).toString();
        QCOMPARE(stored, (QStringList{"none=edited none", "x=", "y=edited y"}));
    }
};

QTEST_GUILESS_MAIN(TestCsv)
#include "test_csv.moc"
