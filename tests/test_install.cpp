#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <csignal>

#include <sys/resource.h>

// The build installed into a temporary prefix, and the installed headless command started from
// an empty folder: it has to find the installed catalogue, not the source tree's.
class TestInstall : public QObject {
    Q_OBJECT

    QTemporaryDir m_prefix;
    const QByteArray m_marker = "installed catalogue";

    QString installed(const QString& relative) const { return m_prefix.filePath(relative); }

    // Runs program in folder and keeps its standard output; false (with the errors shown) unless
    // it ends normally with status 0.
    static bool run(const QString& program, const QStringList& arguments, const QString& folder,
                    QString* output = nullptr) {
        QProcess process;
        process.setWorkingDirectory(folder);
        process.start(program, arguments);
        const bool ok = process.waitForFinished(120000) &&
                        process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
        if (!ok)
            qWarning("%s %s failed:\n%s", qPrintable(program), qPrintable(arguments.join(u' ')),
                     process.readAllStandardError().constData());
        if (output)
            *output = QString::fromLocal8Bit(process.readAllStandardOutput());
        return ok;
    }

    static QStringList mt4Export() {
        // Three days of 15-minute bars, as the MT4 history centre writes them.
        QStringList lines;
        QDateTime t(QDate(2025, 7, 7), QTime(0, 0), Qt::UTC);
        for (int i = 0; i < 3 * 96; ++i, t = t.addSecs(15 * 60)) {
            const double close = 146.0 + 0.4 * std::sin(i / 20.0) + 0.001 * (i % 7);
            lines << QStringLiteral("%1,%2,%3,%4,%5,%6,%7")
                         .arg(t.toString(QStringLiteral("yyyy.MM.dd")),
                              t.toString(QStringLiteral("HH:mm")))
                         .arg(close - 0.01, 0, 'f', 3)
                         .arg(close + 0.03, 0, 'f', 3)
                         .arg(close - 0.03, 0, 'f', 3)
                         .arg(close, 0, 'f', 3)
                         .arg(100 + i % 50);
        }
        return lines;
    }

    static bool writeMt4Export(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) &&
               file.write(mt4Export().join(QStringLiteral("\r\n")).toLatin1() + "\r\n") > 0;
    }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_prefix.isValid());
        QProcess cmake;
        cmake.start(QStringLiteral(TORVANE_CMAKE),
                    {QStringLiteral("--install"), QStringLiteral(TORVANE_BINARY_DIR),
                     QStringLiteral("--prefix"), m_prefix.path()});
        QVERIFY(cmake.waitForFinished(120000));
        QVERIFY2(cmake.exitCode() == 0, cmake.readAllStandardError().constData());

        // A remark only the installed catalogue carries, so the database shows where it came from.
        QFile tbl(installed(QStringLiteral("share/torvane/tbl.csv")));
        QVERIFY(tbl.open(QIODevice::ReadOnly));
        QList<QByteArray> rows = tbl.readAll().split('\n');
        tbl.close();
        bool marked = false;
        for (QByteArray& row : rows) {
            QList<QByteArray> fields = row.trimmed().split(',');
            if (fields.size() == 6 && fields[4] == "F05PMF") {
                fields[5] = m_marker;
                row = fields.join(',') + "\r";
                marked = true;
            }
        }
        QVERIFY(marked);
        QVERIFY(tbl.open(QIODevice::WriteOnly | QIODevice::Truncate));
        tbl.write(rows.join('\n'));
    }

    void filesInTheirPlaces_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("executable");
        QTest::newRow("window") << "bin/torvane" << true;
        QTest::newRow("headless command") << "bin/torvane-forecast" << true;
        QTest::newRow("sample prices") << "bin/torvane-sample-prices" << true;
        QTest::newRow("tables") << "share/torvane/tbl.csv" << false;
        QTest::newRow("columns") << "share/torvane/tblstrc.csv" << false;
        QTest::newRow("desktop entry") << "share/applications/torvane.desktop" << false;
        QTest::newRow("icon") << "share/icons/hicolor/scalable/apps/torvane.svg" << false;
        QTest::newRow("user guide") << "share/doc/torvane/guide.md" << false;
        QTest::newRow("user guide picture") << "share/doc/torvane/images/page1.png" << false;
        QTest::newRow("copyright") << "share/doc/torvane/copyright" << false;
        QTest::newRow("changelog") << "share/doc/torvane/changelog.gz" << false;
        QTest::newRow("window's manual") << "share/man/man1/torvane.1.gz" << false;
        QTest::newRow("headless manual") << "share/man/man1/torvane-forecast.1.gz" << false;
        QTest::newRow("sample manual") << "share/man/man1/torvane-sample-prices.1.gz" << false;
        QTest::newRow("package checker's overrides") << "share/lintian/overrides/torvane" << false;
    }
    void filesInTheirPlaces() {
        QFETCH(QString, path);
        QFETCH(bool, executable);
        const QFileInfo file(installed(path));
        QVERIFY2(file.isFile(), qPrintable(path));
        QCOMPARE(file.isExecutable(), executable);
    }

    // What each command line answers: its output stream, and the exit status a script can test.
    void commandLineConventions_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::newRow("help") << "torvane-forecast" << QStringList{"--help"} << 0
                              << "使い方: torvane-forecast"
                              << "";
        QTest::newRow("short help")
            << "torvane-forecast" << QStringList{"-h"} << 0 << "--from-zone <ZONE>"
            << "";
        QTest::newRow("version") << "torvane-forecast" << QStringList{"--version"} << 0
                                 << "torvane-forecast 0.1\n"
                                 << "";
        QTest::newRow("window's help")
            << "torvane" << QStringList{"--help"} << 0 << "使い方: torvane"
            << "";
        QTest::newRow("window's version")
            << "torvane" << QStringList{"--version"} << 0 << "torvane 0.1\n"
            << "";
        QTest::newRow("unknown option") << "torvane-forecast" << QStringList{"--bogus"} << 2 << ""
                                        << "不明なオプション --bogus";
        QTest::newRow("missing value")
            << "torvane-forecast" << QStringList{"P.CSV", "--seed"} << 2 << ""
            << "--seed";
        QTest::newRow("bad value")
            << "torvane-forecast" << QStringList{"P.CSV", "--days", "0"} << 2 << ""
            << "--days の値 '0'";
        QTest::newRow("unknown zone")
            << "torvane-forecast"
            << QStringList{"--convert", "IN.CSV", "OUT.CSV", "--from-zone", "Mars/Olympus"} << 2
            << ""
            << "Mars/Olympus";
        QTest::newRow("failed run keeps 1")
            << "torvane-forecast" << QStringList{"MISSING.CSV"} << 1 << ""
            << "MISSING.CSV";
        QTest::newRow("sample help") << "torvane-sample-prices" << QStringList{"--help"} << 0
                                     << "使い方: torvane-sample-prices"
                                     << "";
        QTest::newRow("sample short help writes no file named -h")
            << "torvane-sample-prices" << QStringList{"-h"} << 0 << "--interval <MINUTES>"
            << "";
        QTest::newRow("sample version") << "torvane-sample-prices" << QStringList{"--version"} << 0
                                        << "torvane-sample-prices 0.1\n"
                                        << "";
        QTest::newRow("sample without a file")
            << "torvane-sample-prices" << QStringList{} << 2 << ""
            << "OUT.CSV";
        QTest::newRow("sample unknown option")
            << "torvane-sample-prices" << QStringList{"OUT.CSV", "--bogus"} << 2 << ""
            << "不明なオプション --bogus";
        QTest::newRow("sample bad interval")
            << "torvane-sample-prices" << QStringList{"OUT.CSV", "--interval", "0"} << 2 << ""
            << "--interval の値 '0'";
    }
    void commandLineConventions() {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QTemporaryDir folder;
        QProcess process;
        process.setWorkingDirectory(folder.path());
        process.start(installed(QStringLiteral("bin/") + program), arguments);
        QVERIFY(process.waitForFinished(120000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        const QString stdOut = QString::fromLocal8Bit(process.readAllStandardOutput());
        const QString stdErr = QString::fromLocal8Bit(process.readAllStandardError());
        QVERIFY2(process.exitCode() == status, qPrintable(stdErr));
        if (out.isEmpty())
            QCOMPARE(stdOut, QString());
        else
            QVERIFY2(stdOut.contains(out), qPrintable(stdOut));
        if (err.isEmpty())
            QCOMPARE(stdErr, QString());
        else
            QVERIFY2(stdErr.contains(err), qPrintable(stdErr));
        // A usage error shows how the command is used; a help or version run touches nothing.
        if (status == 2)
            QVERIFY(stdErr.contains(QStringLiteral("使い方:")));
        if (status != 1) {
            QVERIFY(!QFileInfo::exists(folder.filePath(QStringLiteral("SQDB.DB"))));
            QVERIFY(QDir(folder.path()).isEmpty());
        }
    }

    // The sample's bars stop on Saturday morning and start again on Monday morning, Japan
    // time: 07:00 in the northern winter, 06:00 while New York keeps daylight-saving time (from
    // 2025/03/09 on).
    void sampleBarsOnlyWhileTheMarketIsOpen_data() {
        QTest::addColumn<QString>("day");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        QTest::newRow("Saturday, winter") << "2025/03/01"
                                          << "00:00"
                                          << "06:45";
        QTest::newRow("Sunday") << "2025/03/02"
                                << ""
                                << "";
        QTest::newRow("Monday, winter") << "2025/03/03"
                                        << "07:00"
                                        << "23:45";
        QTest::newRow("Friday") << "2025/03/07"
                                << "00:00"
                                << "23:45";
        QTest::newRow("Saturday before the switch") << "2025/03/08"
                                                    << "00:00"
                                                    << "06:45";
        QTest::newRow("Sunday of the switch") << "2025/03/09"
                                              << ""
                                              << "";
        QTest::newRow("Monday, summer") << "2025/03/10"
                                        << "06:00"
                                        << "23:45";
        QTest::newRow("Saturday, summer") << "2025/03/15"
                                          << "00:00"
                                          << "05:45";
        QTest::newRow("the end moment") << "2025/03/17"
                                        << "06:00"
                                        << "11:45";
    }
    void sampleBarsOnlyWhileTheMarketIsOpen() {
        QFETCH(QString, day);
        QFETCH(QString, first);
        QFETCH(QString, last);
        QTemporaryDir folder;
        QVERIFY(run(installed(QStringLiteral("bin/torvane-sample-prices")),
                    {QStringLiteral("S.CSV"), QStringLiteral("--end"),
                     QStringLiteral("2025/03/17 12:00"), QStringLiteral("--months"),
                     QStringLiteral("1")},
                    folder.path()));
        QFile file(folder.filePath(QStringLiteral("S.CSV")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QStringList starts;
        for (const QByteArray& line : file.readAll().split('\n')) {
            const QList<QByteArray> fields = line.trimmed().split(',');
            if (fields.size() == 8 && fields[0] == day.toLatin1())
                starts << QString::fromLatin1(fields[1]);
        }
        QCOMPARE(starts.value(0), first);
        QCOMPARE(starts.isEmpty() ? QString() : starts.last(), last);
    }

    void desktopEntryStartsTheInstalledProgram() {
        QFile entry(installed(QStringLiteral("share/applications/torvane.desktop")));
        QVERIFY(entry.open(QIODevice::ReadOnly));
        const QByteArray text = entry.readAll();
        QVERIFY(text.contains("\nExec=torvane\n"));
        QVERIFY(text.contains("\nIcon=torvane\n"));
    }

    void headlessStartsFromTheInstalledCatalogue() {
        QTemporaryDir folder;
        QVERIFY(run(installed(QStringLiteral("bin/torvane-forecast")), {}, folder.path()));
        QVERIFY(QFileInfo::exists(folder.filePath(QStringLiteral("SQDB.DB"))));
        {
            QSqlDatabase db =
                QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("installed"));
            db.setDatabaseName(folder.filePath(QStringLiteral("SQDB.DB")));
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec(QStringLiteral("select TYO from AAATBN where TNAM = 'F05PMF'")));
            QVERIFY(q.next());
            QCOMPARE(q.value(0).toString().trimmed(), QString::fromLatin1(m_marker));
            QVERIFY(
                q.exec(QStringLiteral("select count(*) from sqlite_master where type = 'table' and "
                                      "name in ('F05PMF','F06EVR','F07EVL','F08EVK','F09CSV')")));
            QVERIFY(q.next());
            QCOMPARE(q.value(0).toInt(), 5);
        }
        QSqlDatabase::removeDatabase(QStringLiteral("installed"));
    }

    // A platform export among the price files with no say on its server time: refused whole
    // with the usage's exit status and the options to give, before SQDB.DB is even made.
    void platformExportWithoutItsServerTimeIsRefused() {
        QTemporaryDir folder;
        QVERIFY(writeMt4Export(folder.filePath(QStringLiteral("USDJPY15.csv"))));
        QProcess process;
        process.setWorkingDirectory(folder.path());
        // No answer remembered from the window: a settings folder of its own.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
                           folder.filePath(QStringLiteral("config")));
        process.setProcessEnvironment(environment);
        process.start(installed(QStringLiteral("bin/torvane-forecast")),
                      {QStringLiteral("USDJPY15.csv")});
        QVERIFY(process.waitForFinished(120000));
        const QString stdErr = QString::fromLocal8Bit(process.readAllStandardError());
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QVERIFY2(process.exitCode() == 2, qPrintable(stdErr));
        QVERIFY2(stdErr.contains(QStringLiteral("--shift-hours")) &&
                     stdErr.contains(QStringLiteral("--from-zone")),
                 qPrintable(stdErr));
        QVERIFY(process.readAllStandardOutput().isEmpty());
        QVERIFY(!QFileInfo::exists(folder.filePath(QStringLiteral("SQDB.DB"))));
    }

    // Under a file-size limit (ulimit -f), with the signal that limit sends left as it comes:
    // the write is refused with its reason and exit status 1, and the process is not killed.
    void fileSizeLimitEndsTheRunWithItsReason() {
        QTemporaryDir folder;
        QVERIFY(writeMt4Export(folder.filePath(QStringLiteral("USDJPY15.csv"))));
        QProcess process;
        process.setWorkingDirectory(folder.path());
        process.setChildProcessModifier([] {
            ::signal(SIGXFSZ, SIG_DFL);
            rlimit limit{};
            ::getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = 4096;
            ::setrlimit(RLIMIT_FSIZE, &limit);
        });
        process.start(installed(QStringLiteral("bin/torvane-forecast")),
                      {QStringLiteral("--convert"), QStringLiteral("USDJPY15.csv"),
                       QStringLiteral("USDJPY.CSV")});
        QVERIFY(process.waitForFinished(120000));
        const QString stdErr = QString::fromLocal8Bit(process.readAllStandardError());
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QVERIFY2(process.exitCode() == 1, qPrintable(stdErr));
        QVERIFY2(stdErr.contains(QStringLiteral("書き込めません")) &&
                     stdErr.contains(QStringLiteral("File too large")),
                 qPrintable(stdErr));
        QVERIFY(!QFileInfo::exists(folder.filePath(QStringLiteral("USDJPY.CSV"))));
    }

    void platformExportConvertedAndImported() {
        QTemporaryDir folder;
        QVERIFY(writeMt4Export(folder.filePath(QStringLiteral("USDJPY15.csv"))));

        const QString command = installed(QStringLiteral("bin/torvane-forecast"));
        // Server time three hours behind Japan: the last bar 23:45 becomes 02:45 of 07/10.
        QVERIFY(run(command,
                    {QStringLiteral("--convert"), QStringLiteral("USDJPY15.csv"),
                     QStringLiteral("USDJPY.CSV"), QStringLiteral("--shift-hours"),
                     QStringLiteral("3")},
                    folder.path()));
        QString summary;
        QVERIFY(run(command,
                    {QStringLiteral("USDJPY.CSV"), QStringLiteral("--today"),
                     QStringLiteral("2025/07/10"), QStringLiteral("--seed"), QStringLiteral("1"),
                     QStringLiteral("--table"), QStringLiteral("F01YSK.csv")},
                    folder.path(), &summary));
        QVERIFY2(summary.contains(QStringLiteral("最終終値:")), qPrintable(summary));
        QVERIFY(summary.contains(QStringLiteral("MSE")));

        QFile table(folder.filePath(QStringLiteral("F01YSK.csv")));
        QVERIFY(table.open(QIODevice::ReadOnly));
        const QList<QByteArray> rows = table.readAll().trimmed().split('\n');
        QCOMPARE(rows.size(), 3 * 96 + 10);
        // The last real bar: shifted into the next day, closing price without its point.
        const QList<QByteArray> last = rows[3 * 96 - 1].trimmed().split(',');
        QCOMPARE(last[1], QByteArray("2025/07/10"));
        QCOMPARE(last[2], QByteArray("02:45"));
        QCOMPARE(last[10], QByteArray("2025/07/10"));
        QCOMPARE(last[11], QByteArray("03:00"));
        QCOMPARE(last[0], QByteArray::number(3 * 96));
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "test_install.moc"
