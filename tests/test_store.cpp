#include "session/Session.h"
#include "store/Query.h"
#include "store/TextFile.h"
#include "store/TorvaneError.h"
#include "support/FullDisk.h"
#include "support/TestDialogs.h"
#include "support/TestFolder.h"

#include <QDir>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTest>

#include <memory>
#include <new>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

class TestStore : public QObject {
    Q_OBJECT

    std::unique_ptr<TestFolder> dir;
    std::unique_ptr<TestDialogs> dialogs;
    std::unique_ptr<Session> session;

    QStringList tableNames(const QString& connection) {
        QSqlQuery q(session->dm.database(connection));
        q.exec(QStringLiteral("select name from sqlite_master where type = 'table' order by name"));
        QStringList names;
        while (q.next())
            names << q.value(0).toString();
        return names;
    }
    QVariantList column(const QString& sql) {
        QSqlQuery q(session->dm.database(session->dm.csq()));
        if (!q.exec(sql))
            qWarning() << q.lastError().text();
        QVariantList values;
        while (q.next())
            values << q.value(0);
        return values;
    }
    void writeCatalogue(const QString& dirPath, const QString& tbl, const QString& tblstrc) {
        QDir().mkpath(dirPath);
        for (auto [name, text] : {std::pair{QStringLiteral("tbl.csv"), tbl},
                                  std::pair{QStringLiteral("tblstrc.csv"), tblstrc}}) {
            QFile f(dirPath + u'/' + name);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(TextFile::encodeCp932(text));
        }
    }
    void startIn(const QString& catalogueDir) {
        session = std::make_unique<Session>(*dialogs, catalogueDir);
        session->openDatabases();
    }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init() {
        dir = std::make_unique<TestFolder>();
        dialogs = std::make_unique<TestDialogs>();
        startIn(QStringLiteral(TORVANE_SOURCE_DIR "/data"));
    }

    void cleanup() {
        session.reset();
        dir.reset();
    }

    void firstStartLoadsCatalogueAndCreatesTablesInWorkingDirectory() {
        QVERIFY(QFile::exists(dir->filePath(QStringLiteral("SQDB.DB"))));
        // The specified text, then what is going on in plain words, naming the file.
        QCOMPARE(dialogs->messages,
                 QStringList{Store::catalogueMessage(dir->filePath(QStringLiteral("SQDB.DB")))});
        QVERIFY(dialogs->messages[0].startsWith(
            QStringLiteral(
                "AAATBN, AAATSTテーブルを作成し、テーブルデータを読み込みます\nデータベース ") +
            dir->filePath(QStringLiteral("SQDB.DB"))));
        QCOMPARE(tableNames(session->dm.csq()),
                 (QStringList{"AAATBN", "AAATST", "F01YSK", "F05PMF", "F06EVR", "F07EVL", "F08EVK",
                              "F09CSV", "F10YSR", "F11KSK"}));
        QCOMPARE(tableNames(session->dm.csm()),
                 (QStringList{"F01YSK", "F02W1H", "F03W4H", "F04WD1"}));
        QCOMPARE(session->reg.stdb, QStringLiteral("csm"));
        QCOMPARE(session->reg.stnm, QStringLiteral("F04WD1"));
        QVERIFY(session->reg.swh.isEmpty());

        // A second start in the same folder keeps the catalogue and asks nothing.
        session.reset();
        dialogs->clear();
        startIn(QStringLiteral(TORVANE_SOURCE_DIR "/data"));
        QVERIFY(dialogs->messages.isEmpty());
    }

    // A first start on a disk with little room either completes, with the catalogue and every
    // table, or ends with one error naming the cause; once there is room the next start
    // completes.
    void firstStartOnANearlyFullDisk_data() {
        QTest::addColumn<int>("kilobytes");
        for (int kb : {8, 16, 20, 24, 28, 32, 48})
            QTest::addRow("%d kB", kb) << kb;
    }
    void firstStartOnANearlyFullDisk() {
        QFETCH(int, kilobytes);
        FullDisk disk(qint64(kilobytes) * 1024);
        if (!disk.isValid())
            QSKIP("cannot mount a small tmpfs here (needs root with CAP_SYS_ADMIN)");
        session.reset();
        QDir::setCurrent(disk.path());
        const QStringList all{"AAATBN", "AAATST", "F01YSK", "F05PMF", "F06EVR",
                              "F07EVL", "F08EVK", "F09CSV", "F10YSR", "F11KSK"};
        QString error;
        try {
            startIn(QStringLiteral(TORVANE_SOURCE_DIR "/data"));
        } catch (const TorvaneError& e) {
            error = e.text();
        }
        if (error.isEmpty()) {
            // The fold cache, made last of the database's tables, may find no room: that is
            // said, and the start goes on without it.
            const QStringList made = tableNames(session->dm.csq());
            if (made != all) {
                QCOMPARE(made, QStringList(all.mid(0, all.size() - 1)));
                QCOMPARE(dialogs->errors.size(), 1);
                QVERIFY2(dialogs->errors[0].contains(QStringLiteral("空き容量")),
                         qPrintable(dialogs->errors[0]));
            }
        } else {
            QVERIFY2(error.contains(QStringLiteral("空き容量")) ||
                         error.contains(QStringLiteral("開けません")),
                     qPrintable(error));
        }
        session.reset();
        QVERIFY(disk.grow(8 << 20));
        dialogs->clear();
        startIn(QStringLiteral(TORVANE_SOURCE_DIR "/data"));
        QCOMPARE(tableNames(session->dm.csq()), all);
        QCOMPARE(column(QStringLiteral("select count(*) from AAATBN")), QVariantList{10});
        session.reset();
        QDir::setCurrent(dir->path());
    }

    void ensuringTablesTwiceChangesNothing() {
        const QVariantList before =
            column(QStringLiteral("select sql from sqlite_master order by name"));
        session->store.uqCtbl(Store::ctblEnsureAll);
        QCOMPARE(column(QStringLiteral("select sql from sqlite_master order by name")), before);
    }

    void builderTexts() {
        Registers& r = session->reg;
        r.stdb = QStringLiteral("csq");
        r.stnm = QStringLiteral("F08EVK");
        r.swh = QStringLiteral(" order by CNT ");
        session->store.ucSql(Store::sqlSelect);
        QCOMPARE(r.sqw, QStringLiteral(" select CNT, EKB, TYO from F08EVK order by CNT "));

        r.swh.clear();
        session->store.ucSql(Store::sqlSelect);
        QCOMPARE(r.sqw, QStringLiteral(" select CNT, EKB, TYO from F08EVK"));

        r.sa[11] = QStringLiteral("3");
        r.sa[12] = QStringLiteral("text");
        r.sa[13].clear();
        session->store.ucSql(Store::sqlInsert);
        QCOMPARE(r.sqw, QStringLiteral(
                            " insert into F08EVK ( CNT, EKB, TYO ) values ( 3, 'text', NULL ) "));
        QCOMPARE(r.sa[11], QStringLiteral("3"));
        QCOMPARE(r.sa[12], QStringLiteral("'text'"));

        r.sa[11] = QStringLiteral("3");
        r.sa[12] = QStringLiteral("text");
        r.sa[13].clear();
        r.swh = QStringLiteral(" where CNT = 3");
        session->store.ucSql(Store::sqlUpdate);
        QCOMPARE(r.sqw, QStringLiteral(
                            " update F08EVK set CNT = 3, EKB = 'text', TYO = NULL where CNT = 3"));

        session->store.ucSql(Store::sqlBoundInsert);
        QCOMPARE(r.sqw, QStringLiteral(
                            " insert into F08EVK ( CNT, EKB, TYO ) values (  :p0 ,  :p1,  :p2 ) "));
        session->store.ucSql(Store::sqlBoundUpdate);
        QCOMPARE(r.sqw,
                 QStringLiteral(
                     " update F08EVK set CNT = :p0 , EKB = :p1, TYO = :p2 where CNT = 3 :p3"));

        session->store.ucSql(Store::sqlCreate);
        QCOMPARE(r.sqw, QStringLiteral(" create table if not exists F08EVK( CNT Integer,  EKB "
                                       "nchar (20) ,  TYO nchar (40) ) "));

        const QString before = r.sqw;
        session->store.ucSql(8);
        QCOMPARE(r.sqw, before);
    }

    // A query keeps its rows compactly by column, yet every cell reads back as the variant the
    // database gave: type, NULL and value, also in columns whose kinds mix.
    void queryKeepsWhatTheDatabaseGave_data() {
        QTest::addColumn<QString>("values");
        QTest::newRow("integers") << QStringLiteral("(1), (-7), (9007199254740993)");
        QTest::newRow("integers at and past 32 bits")
            << QStringLiteral("(2147483647), (-2147483648), (null), (2147483648), (-2147483649), (5)");
        QTest::newRow("texts") << QStringLiteral("('2025/07/09'), (''), ('ﾄﾞﾙ円'), ('a''b')");
        QTest::newRow("Latin-1 texts, then one that is not")
            << QStringLiteral("('é±'), ('ÿ'), (null), ('日'), ('ü'), ('')");
        QTest::newRow("reals") << QStringLiteral("(1.5), (-0.25), (1e300)");
        QTest::newRow("NULLs first") << QStringLiteral("(null), (null), (3), (null), (4)");
        QTest::newRow("only NULLs") << QStringLiteral("(null), (null)");
        QTest::newRow("integer then text") << QStringLiteral("(1), (2), ('x'), (null), (3)");
        QTest::newRow("text then real") << QStringLiteral("('a'), (null), (2.5), ('b')");
        QTest::newRow("blob") << QStringLiteral("(1), (x'00ff'), ('t')");
    }
    void queryKeepsWhatTheDatabaseGave() {
        QFETCH(QString, values);
        QSqlDatabase db = session->dm.database(session->dm.csm());
        QSqlQuery q(db);
        QVERIFY(q.exec(QStringLiteral("create table T (CNT integer primary key, V integer)")));
        QVERIFY(q.exec(QStringLiteral("insert into T (V) values ") + values));
        QList<QVariant> expected;
        QVERIFY(q.exec(QStringLiteral("select CNT, V from T order by CNT")));
        while (q.next())
            expected << q.value(1);

        Query& query = session->dm.qm;
        query.setConnection(session->dm.csm());
        query.setSql(QStringLiteral("select CNT, V from T order by CNT"));
        query.open();
        QCOMPARE(query.recordCount(), expected.size());
        for (int row = 0; row < expected.size(); ++row) {
            const QVariant v = query.valueAt(row, 1);
            QCOMPARE(v.metaType(), expected[row].metaType());
            QCOMPARE(v.isNull(), expected[row].isNull());
            QCOMPARE(v, expected[row]);
            QCOMPARE(query.valueAt(row, 0), QVariant(qlonglong(row + 1)));
        }
        QCOMPARE(query.valueAt(expected.size(), 1), QVariant());
        // Streamed, the same values pass by and the rows held stay.
        QList<QVariant> streamed;
        query.stream([&](const QSqlQuery& row) { streamed << row.value(1); });
        QCOMPARE(streamed, expected);
        QCOMPARE(query.recordCount(), expected.size());
        query.close();
        QCOMPARE(query.recordCount(), 0);
    }

    void quotedForms_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("op");
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("quoted");
        QTest::newRow("text cut to length") << "abcdef" << 2 << 3 << "'abc'";
        QTest::newRow("text of exactly length") << "abc" << 2 << 3 << "'abc'";
        QTest::newRow("length 0 stores empty text") << "abc" << 2 << 0 << "''";
        QTest::newRow("quote doubled") << "O'Neil" << 2 << 20 << "'O''Neil'";
        QTest::newRow("quote doubled after cut") << "ab'cd" << 2 << 3 << "'ab'''";
        QTest::newRow("empty text") << "" << 2 << 10 << "NULL";
        QTest::newRow("empty number") << "" << 1 << 0 << "NULL";
        QTest::newRow("number unchanged") << "150123" << 1 << 0 << "150123";
        QTest::newRow("negative decimal unchanged") << "-1234.5" << 1 << 0 << "-1234.5";
        QTest::newRow("expression refused") << "1+1" << 1 << 0 << Store::notANumber;
        QTest::newRow("subquery refused") << "(select 1)" << 1 << 0 << Store::notANumber;
        QTest::newRow("unknown operation") << "x'y" << 3 << 0 << "x'y";
        QTest::newRow("code units") << QStringLiteral("ﾄﾞﾙ円") << 2 << 3 << QStringLiteral("'ﾄﾞﾙ'");
    }
    void quotedForms() {
        QFETCH(QString, value);
        QFETCH(int, op);
        QFETCH(int, length);
        QFETCH(QString, quoted);
        Store::ucNul(value, op, length);
        QCOMPARE(value, quoted);
    }

    void storedValuesFollowQuotedForms() {
        Registers& r = session->reg;
        r.stdb = QStringLiteral("csq");
        r.stnm = QStringLiteral("F08EVK");
        r.sa[11] = QStringLiteral("1");
        r.sa[12] = QString(25, u'x');
        r.sa[13] = QStringLiteral("it's");
        session->store.ucSql(Store::sqlInsert);
        session->store.uexSql(Store::execFile);
        QCOMPARE(column(QStringLiteral("select EKB from F08EVK")), QVariantList{QString(20, u'x')});
        QCOMPARE(column(QStringLiteral("select TYO from F08EVK")),
                 QVariantList{QStringLiteral("it's")});
        r.sa[11] = QStringLiteral("2");
        r.sa[12].clear();
        r.sa[13].clear();
        session->store.ucSql(Store::sqlInsert);
        session->store.uexSql(Store::execFile);
        QCOMPARE(
            column(QStringLiteral("select count(*) from F08EVK where EKB is null and TYO is null")),
            QVariantList{1});
    }

    void catalogueLineRules_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("structure");
        QTest::addColumn<QStringList>("values");
        QTest::newRow("tbl example") << QStringLiteral("5,1,5,,F05PMF,ﾌﾟﾛ目") << false
                                     << QStringList{"5", "1", "5", "NULL", "'F05PMF'", "'ﾌﾟﾛ目'"};
        QTest::newRow("empty remark stays empty text")
            << "5,1,5,X,F05PMF," << false << QStringList{"5", "1", "5", "'X'", "'F05PMF'", "''"};
        QTest::newRow("remark with quote")
            << "5,1,5,X,F05PMF,it's" << false
            << QStringList{"5", "1", "5", "'X'", "'F05PMF'", "'it''s'"};
        QTest::newRow("double quotes are ordinary")
            << "5,1,5,\"X\",F,r" << false << QStringList{"5", "1", "5", "'\"X\"'", "'F'", "'r'"};
        QTest::newRow("header line")
            << "CNT,BID,TBID,SKB,TNAM,TYO" << false
            << QStringList{Store::notANumber, Store::notANumber, Store::notANumber,
                           "'SKB'",           "'TNAM'",          "'TYO'"};
        QTest::newRow("extra field in tbl stays quoted")
            << "5,1,5,X,F,r,extra" << false << QStringList{"5", "1", "5", "'X'", "'F'", "'r'"};
        QTest::newRow("too few fields")
            << "5,1,5" << false << QStringList{"5", "1", "'5'", "", "", ""};
        QTest::newRow("tblstrc example")
            << "3,1,8,3,TYO,nchar,40,20,摘要" << true
            << QStringList{"3", "1", "8", "3", "'TYO'", "'nchar'", "40", "20", "'摘要'"};
        QTest::newRow("empty LN") << "3,1,8,3,TYO,nchar,,20,r" << true
                                  << QStringList{"3",       "1",    "8",  "3",  "'TYO'",
                                                 "'nchar'", "NULL", "20", "'r'"};
        QTest::newRow("tenth field makes ninth unquoted")
            << "3,1,8,3,TYO,nchar,40,20,remark,x" << true
            << QStringList{"3", "1", "8", "3", "'TYO'", "'nchar'", "40", "20", Store::notANumber};
    }
    void catalogueLineRules() {
        QFETCH(QString, line);
        QFETCH(bool, structure);
        QFETCH(QStringList, values);
        const auto quote =
            structure ? +[](int i) { return i == 5 || i == 6; } : +[](int i) { return i > 3; };
        QCOMPARE(Store::catalogueValues(line, structure ? 9 : 6, quote), values);
    }

    void loaderTakesColumnsInCntOrderAndSkipsBadLines() {
        const QString fixture = dir->filePath(QStringLiteral("cat"));
        writeCatalogue(fixture,
                       QStringLiteral("CNT,BID,TBID,SKB,TNAM,TYO\r\n8,1,8,,F08EVK,区分's\r\n"),
                       QStringLiteral("3,1,8,3,TYO,nchar,40,20,摘要\r\n1,1,8,1,CNT,Integer,,4,\n"
                                      "2,1,8,2,EKB,nchar,20,12,区分名\r\nbroken\r\n"));
        Session other(*dialogs, fixture);
        other.dm.connectFile(dir->filePath(QStringLiteral("other.db")));
        other.store.uqTst(Store::tstLoad);
        other.reg.stnm = QStringLiteral("F08EVK");
        other.reg.swh.clear();
        other.store.ucSql(Store::sqlSelect);
        QCOMPARE(other.reg.sqw, QStringLiteral(" select CNT, EKB, TYO from F08EVK"));
        QSqlQuery q(other.dm.database(other.dm.csq()));
        q.exec(QStringLiteral("select count(*), max(TYO) from AAATBN"));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toInt(), 1);
        QCOMPARE(q.value(1).toString(), QStringLiteral("区分's"));
        q.exec(QStringLiteral("select count(*) from AAATST"));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toInt(), 3);
    }

    // A catalogue file that is not there, or is no regular file, is named with what is wrong
    // before the old catalogue is touched.
    void missingCatalogueFileNamesItAndKeepsTheCatalogue_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("words");
        QTest::newRow("missing") << "missing"
                                 << "tblstrc.csv が見つかりません";
        QTest::newRow("a FIFO") << "fifo"
                                << "tblstrc.csv は通常のファイルではないので読めません";
    }
    void missingCatalogueFileNamesItAndKeepsTheCatalogue() {
        QFETCH(QString, kind);
        QFETCH(QString, words);
        const QString fixture = dir->filePath(QStringLiteral("half"));
        writeCatalogue(fixture, QStringLiteral("8,1,8,,F08EVK,x\r\n"), QString());
        const QString tblstrc = fixture + QStringLiteral("/tblstrc.csv");
        QFile::remove(tblstrc);
        if (kind == QLatin1String("fifo"))
            QCOMPARE(::mkfifo(QFile::encodeName(tblstrc).constData(), 0600), 0);
        Session other(*dialogs, fixture);
        other.dm.connectFile(dir->filePath(QStringLiteral("SQDB.DB")));
        try {
            other.store.uqTst(Store::tstLoad);
            QFAIL("the loader ran without tblstrc.csv");
        } catch (const TorvaneError& e) {
            QVERIFY2(e.text().contains(words), qPrintable(e.text()));
        }
        QCOMPARE(column(QStringLiteral("select count(*) from AAATBN")), QVariantList{10});
    }

    // Reading a small file sets aside what it holds, not the most a file of its kind may hold
    // (256 MB for an exchanged CSV file): under an address-space limit of 64 MB more than the
    // process uses, it still reads.
    void readingSetsAsideWhatTheFileHolds() {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("AddressSanitizer reserves more address space than any limit leaves");
#endif
        const QString path = dir->filePath(QStringLiteral("SMALL.CSV"));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("1,a\r\n2,b\r\n");
        }
        long pages = 0;
        {
            QFile statm(QStringLiteral("/proc/self/statm"));
            QVERIFY(statm.open(QIODevice::ReadOnly));
            pages = statm.readLine().split(' ').value(0).toLong();
        }
        QVERIFY(pages > 0);
        rlimit saved{};
        QCOMPARE(::getrlimit(RLIMIT_AS, &saved), 0);
        rlimit limit = saved;
        limit.rlim_cur = rlim_t(pages) * rlim_t(::sysconf(_SC_PAGESIZE)) + (64 << 20);
        QCOMPARE(::setrlimit(RLIMIT_AS, &limit), 0);
        QStringList lines;
        bool outOfMemory = false;
        try {
            lines = TextFile::readLines(path, TextFile::Encoding::Exchange, TextFile::maxCsvBytes);
        } catch (const std::bad_alloc&) {
            outOfMemory = true;
        }
        ::setrlimit(RLIMIT_AS, &saved);
        QVERIFY(!outOfMemory);
        QCOMPARE(lines, (QStringList{"1,a", "2,b"}));
    }

    void firstStartWithoutCatalogueFilesFails() {
        session.reset();
        QFile::remove(dir->filePath(QStringLiteral("SQDB.DB")));
        QVERIFY_THROWS_EXCEPTION(TorvaneError, startIn(dir->filePath(QStringLiteral("nowhere"))));
    }

    void unknownTableGetsNoColumns() {
        Registers& r = session->reg;
        r.stnm = QStringLiteral("F08EVK");
        session->store.ucSql(Store::sqlSelect);
        const QString stid = r.stid;
        dialogs->clear();
        r.stnm = QStringLiteral("NOSUCH");
        r.swh.clear();
        session->store.ucSql(Store::sqlSelect);
        QCOMPARE(dialogs->messages, QStringList{QStringLiteral("NOSUCH ﾃｰﾌﾞﾙ名が見つかりません")});
        QCOMPARE(r.stid, stid);
        QCOMPARE(session->dm.qst.recordCount(), 0);
        QCOMPARE(r.sqw, QStringLiteral(" select  from NOSUCH"));
    }

    void runnerIsSilentAndLeavesTablesOnFailure() {
        Registers& r = session->reg;
        r.sqw = QStringLiteral(" insert into F08EVK ( CNT, EKB, TYO ) values ( 1, 'a', NULL ) ");
        session->store.uexSql(Store::execFile);
        dialogs->clear();
        r.sqw = QStringLiteral(" insert into F08EVK ( CNT, EKB, NOPE ) values ( 2, 'b', NULL ) ");
        session->store.uexSql(Store::execFile);
        r.sqw = QStringLiteral(" insert into F08EVK ( CNT ) values ( 3 ) ");
        session->store.uexSql(3);
        session->store.uexSql(0);
        QCOMPARE(column(QStringLiteral("select CNT from F08EVK")), QVariantList{1});
        QCOMPARE(r.sqw, QStringLiteral(" insert into F08EVK ( CNT ) values ( 3 ) "));
        QVERIFY(dialogs->messages.isEmpty());
        QVERIFY(dialogs->errors.isEmpty());
    }

    void injectionAttemptsFailHarmlessly_data() {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("cnt");
        QTest::addColumn<QString>("text");
        QTest::newRow("statement after a number") << "F08EVK"
                                                  << "1); drop table F05PMF; --"
                                                  << "a";
        QTest::newRow("subquery as a number") << "F08EVK"
                                              << "(select count(*) from AAATBN)"
                                              << "a";
        QTest::newRow("text that closes its quote") << "F08EVK"
                                                    << "1"
                                                    << "a'); drop table F05PMF; --";
        QTest::newRow("table name with a statement") << "F08EVK; drop table F05PMF"
                                                     << "1"
                                                     << "a";
        QTest::newRow("table name in quotes") << "F08EVK' or '1'='1"
                                              << "1"
                                              << "a";
    }
    void injectionAttemptsFailHarmlessly() {
        QFETCH(QString, table);
        QFETCH(QString, cnt);
        QFETCH(QString, text);
        Registers& r = session->reg;
        r.stdb = QStringLiteral("csq");
        r.stnm = table;
        r.sa[11] = cnt;
        r.sa[12] = text;
        r.sa[13].clear();
        session->store.ucSql(Store::sqlInsert);
        session->store.uexSql(Store::execFile);
        r.swh = QStringLiteral(" where CNT = 1");
        r.sa[11] = cnt;
        r.sa[12] = text;
        session->store.ucSql(Store::sqlUpdate);
        session->store.uexSql(Store::execFile);
        QVERIFY(tableNames(session->dm.csq()).contains(QStringLiteral("F05PMF")));
        const QVariantList stored = column(QStringLiteral("select EKB from F08EVK"));
        QVERIFY(stored.isEmpty() || stored == QVariantList{text.left(20)});
    }
};

QTEST_GUILESS_MAIN(TestStore)
#include "test_store.moc"
