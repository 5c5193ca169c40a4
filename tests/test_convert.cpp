#include "prices/PlatformExport.h"
#include "store/TorvaneError.h"
#include "support/FullDisk.h"

#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
void writeAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    f.write(bytes);
}

// count MT4 history lines of 15-minute bars.
QByteArray mt4Bars(int count) {
    QByteArray bytes;
    const QDateTime first(QDate(2025, 7, 1), QTime(0, 0), Qt::UTC);
    for (int i = 0; i < count; ++i)
        bytes +=
            first.addSecs(qint64(i) * 900).toString(QStringLiteral("yyyy.MM.dd,HH:mm")).toLatin1() +
            ",146.120,146.200,146.100,146.150,120\r\n";
    return bytes;
}

QString errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const TorvaneError& e) {
        return e.text();
    }
    return {};
}

} // namespace

class TestConvert : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void layouts_data() {
        QTest::addColumn<QStringList>("input");
        QTest::addColumn<int>("shift");
        QTest::addColumn<QStringList>("output");
        QTest::newRow("mt4 15 minutes")
            << QStringList{"2025.07.09,10:00,146.120,146.200,146.100,146.150,120",
                           "2025.07.09,10:15,146.150,146.300,146.140,146.280,98",
                           "2025.07.09,10:30,146.280,146.290,146.010,146.050,130"}
            << 0
            << QStringList{"2025/07/09,10:00,146.120,146.200,146.100,146.150,2025/07/09,10:15",
                           "2025/07/09,10:15,146.150,146.300,146.140,146.280,2025/07/09,10:30",
                           "2025/07/09,10:30,146.280,146.290,146.010,146.050,2025/07/09,10:45"};
        QTest::newRow("mt5 with seconds, gap keeps the common length")
            << QStringList{"<DATE>\t<TIME>\t<OPEN>\t<HIGH>\t<LOW>\t<CLOSE>\t<TICKVOL>\t<VOL>\t<"
                           "SPREAD>",
                           "2025.07.09\t10:00:00\t146.12\t146.20\t146.10\t146.15\t120\t0\t3",
                           "2025.07.09\t10:05:00\t146.15\t146.30\t146.14\t146.28\t98\t0\t3",
                           "2025.07.09\t10:10:00\t146.28\t146.29\t146.01\t146.05\t130\t0\t3",
                           "2025.07.09\t11:00:00\t146.05\t146.09\t146.00\t146.07\t77\t0\t3"}
            << 0
            << QStringList{"2025/07/09,10:00,146.12,146.20,146.10,146.15,2025/07/09,10:05",
                           "2025/07/09,10:05,146.15,146.30,146.14,146.28,2025/07/09,10:10",
                           "2025/07/09,10:10,146.28,146.29,146.01,146.05,2025/07/09,10:15",
                           "2025/07/09,11:00,146.05,146.09,146.00,146.07,2025/07/09,11:05"};
        QTest::newRow("mt5 without seconds, shifted across midnight")
            << QStringList{"<DATE>\t<TIME>\t<OPEN>\t<HIGH>\t<LOW>\t<CLOSE>\t<TICKVOL>\t<VOL>\t<"
                           "SPREAD>",
                           "2025.07.09\t17:00\t1.5\t1.6\t1.4\t1.5\t1\t0\t0",
                           "2025.07.09\t18:00\t1.5\t1.7\t1.5\t1.6\t1\t0\t0"}
            << 6
            << QStringList{"2025/07/09,23:00,1.5,1.6,1.4,1.5,2025/07/10,00:00",
                           "2025/07/10,00:00,1.5,1.7,1.5,1.6,2025/07/10,01:00"};
        QTest::newRow("prices padded to the file's decimals")
            << QStringList{"2025.07.09,10:00,146.1,146.125,146,146.12,5",
                           "2025.07.09,10:15,146.12,146.2,146.05,146.100,5"}
            << 0
            << QStringList{"2025/07/09,10:00,146.100,146.125,146.000,146.120,2025/07/09,10:15",
                           "2025/07/09,10:15,146.120,146.200,146.050,146.100,2025/07/09,10:30"};
        QTest::newRow("mt5 with commas")
            << QStringList{"<DATE>,<TIME>,<OPEN>,<HIGH>,<LOW>,<CLOSE>,<TICKVOL>,<VOL>,<SPREAD>",
                           "2025.07.09,10:00:00,146.12,146.20,146.10,146.15,120,0,3",
                           "2025.07.09,10:01:00,146.15,146.30,146.14,146.28,98,0,3"}
            << 7
            << QStringList{"2025/07/09,17:00,146.12,146.20,146.10,146.15,2025/07/09,17:01",
                           "2025/07/09,17:01,146.15,146.30,146.14,146.28,2025/07/09,17:02"};
        // Their own zones hold, whatever shift is given: UTC, and UTC-5 without summer time.
        QTest::newRow("dukascopy in UTC, across midnight in Japan")
            << QStringList{"Gmt time,Open,High,Low,Close,Volume",
                           "09.07.2025 14:59:00.000,146.12,146.2,146.1,146.155,1234.56",
                           "09.07.2025 15:00:00.000,146.155,146.3,146.14,146.28,987.1"}
            << 7
            << QStringList{"2025/07/09,23:59,146.120,146.200,146.100,146.155,2025/07/10,00:00",
                           "2025/07/10,00:00,146.155,146.300,146.140,146.280,2025/07/10,00:01"};
        QTest::newRow("history archive in UTC-5, in July as in January")
            << QStringList{"20250709 100000;146.120;146.200;146.100;146.150;0",
                           "20250709 100100;146.150;146.300;146.140;146.280;0",
                           "20250115 100000;156.120;156.200;156.100;156.150;0"}
            << 0
            << QStringList{"2025/07/10,00:00,146.120,146.200,146.100,146.150,2025/07/10,00:01",
                           "2025/07/10,00:01,146.150,146.300,146.140,146.280,2025/07/10,00:02",
                           "2025/01/16,00:00,156.120,156.200,156.100,156.150,2025/01/16,00:01"};
        QTest::newRow("negative shift back over the date")
            << QStringList{"2025.07.10,01:00,1,2,0.5,1.5,10", "2025.07.10,02:00,1,2,0.5,1.5,10"}
            << -2
            << QStringList{"2025/07/09,23:00,1.0,2.0,0.5,1.5,2025/07/10,00:00",
                           "2025/07/10,00:00,1.0,2.0,0.5,1.5,2025/07/10,01:00"};
    }
    void layouts() {
        QFETCH(QStringList, input);
        QFETCH(int, shift);
        QFETCH(QStringList, output);
        QCOMPARE(PlatformExport::convert(input, shift), output);
    }

    void unknownLayoutsNameWhatWasExpected_data() {
        QTest::addColumn<QStringList>("input");
        QTest::newRow("empty") << QStringList{};
        QTest::newRow("program's own layout")
            << QStringList{"2025/07/09,10:00,1,2,0.5,1.5,2025/07/09,10:15"};
        QTest::newRow("other header") << QStringList{"Date,Time,Open,High,Low,Close", "x"};
        QTest::newRow("mt5 header missing columns") << QStringList{"<DATE>\t<OPEN>", "x"};
        QTest::newRow("text price")
            << QStringList{"2025.07.09,10:00,abc,2,1,1,1", "2025.07.09,10:15,1,2,1,1,1"};
        QTest::newRow("one bar only") << QStringList{"2025.07.09,10:00,1,2,1,1,1"};
        QTest::newRow("dukascopy header of other columns")
            << QStringList{"Gmt time,Bid,Ask", "09.07.2025 10:00:00.000,1,2"};
        QTest::newRow("dukascopy date that is no date") << QStringList{
            "Gmt time,Open,High,Low,Close,Volume", "32.07.2025 10:00:00.000,1,2,1,1,1",
            "09.07.2025 10:01:00.000,1,2,1,1,1"};
        QTest::newRow("archive line with too few fields")
            << QStringList{"20250709 100000;1;2;1;1;0", "20250709 100100;1;2;1"};
    }
    void unknownLayoutsNameWhatWasExpected() {
        QFETCH(QStringList, input);
        QVERIFY_THROWS_EXCEPTION(TorvaneError, PlatformExport::convert(input, 0));
    }

    void serverTimes_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("readBack");
        QTest::newRow("hours") << "7" << true << "7";
        QTest::newRow("negative hours, spaces") << " -2 " << true << "-2";
        QTest::newRow("zone") << "Europe/Athens" << true << "Europe/Athens";
        QTest::newRow("zone with spaces") << "  America/New_York " << true << "America/New_York";
        for (const char* alias : {"EET", "Etc/UTC", "Japan", "US/Eastern"})
            QTest::addRow("zone alias %s", alias) << alias << true << alias;
        QTest::newRow("alias with spaces") << " EET " << true << "EET";
        QTest::newRow("a path, not a zone") << "../../etc/localtime" << false << "";
        QTest::newRow("fraction") << "7.5" << false << "";
        QTest::newRow("empty") << "" << false << "";
        QTest::newRow("unknown zone") << "Mars/Olympus" << false << "";
        QTest::newRow("too many hours") << "9000" << false << "";
    }
    void serverTimes() {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(QString, readBack);
        if (!valid) {
            QVERIFY_THROWS_EXCEPTION(TorvaneError, PlatformExport::ServerTime::parse(text));
            return;
        }
        QCOMPARE(PlatformExport::ServerTime::parse(text).text(), readBack);
    }

    // A broker on Athens time moves from UTC+3 to UTC+2 on 26 October 2025: a fixed shift puts
    // the bars after the switch an hour off, the zone follows it.
    void brokerZoneFollowsDaylightSaving() {
        const QStringList mt4{
            "2025.10.24,22:00,1.5,1.6,1.4,1.5,1", "2025.10.24,23:00,1.5,1.6,1.4,1.5,1",
            "2025.10.27,00:00,1.5,1.6,1.4,1.5,1", "2025.10.27,01:00,1.5,1.6,1.4,1.5,1"};
        const QStringList zoned = PlatformExport::convert(
            mt4, PlatformExport::ServerTime::parse(QStringLiteral("Europe/Athens")));
        QCOMPARE(zoned, (QStringList{"2025/10/25,04:00,1.5,1.6,1.4,1.5,2025/10/25,05:00",
                                     "2025/10/25,05:00,1.5,1.6,1.4,1.5,2025/10/25,06:00",
                                     "2025/10/27,07:00,1.5,1.6,1.4,1.5,2025/10/27,08:00",
                                     "2025/10/27,08:00,1.5,1.6,1.4,1.5,2025/10/27,09:00"}));
        const QStringList fixed = PlatformExport::convert(mt4, 6);
        QCOMPARE(fixed[2], QStringLiteral("2025/10/27,06:00,1.5,1.6,1.4,1.5,2025/10/27,07:00"));

        // A time the zone skips when summer time starts (30 March 2025, 03:00 to 04:00) names its
        // line.
        try {
            PlatformExport::convert(
                {"2025.03.30,02:30,1,2,1,1,1", "2025.03.30,03:30,1,2,1,1,1"},
                PlatformExport::ServerTime::parse(QStringLiteral("Europe/Athens")));
            QFAIL("no error");
        } catch (const TorvaneError& e) {
            QVERIFY2(e.text().startsWith(QStringLiteral("2 行目")), qPrintable(e.text()));
            QVERIFY(e.text().contains(QStringLiteral("Europe/Athens")));
        }
    }

    // When summer time ends the server's clocks show an hour twice. The file's order tells the
    // two apart: the first showing at the summer offset, the repeat at the winter one, so no two
    // bars share a time and no hour goes missing.
    void repeatedHourKeepsTheFileOrder_data() {
        QTest::addColumn<QString>("zone");
        QTest::addColumn<QStringList>("mt4");
        QTest::addColumn<QStringList>("starts"); // Japan start of each bar
        const auto lines = [](const QStringList& times) {
            QStringList out;
            for (const QString& t : times)
                out << t + QStringLiteral(",1.5,1.6,1.4,1.5,1");
            return out;
        };
        QTest::newRow("America/New_York, 1 November 2026")
            << "America/New_York"
            << lines({"2026.11.01,00:30", "2026.11.01,01:00", "2026.11.01,01:30",
                      "2026.11.01,01:00", "2026.11.01,01:30", "2026.11.01,02:00"})
            << QStringList{"2026/11/01,13:30", "2026/11/01,14:00", "2026/11/01,14:30",
                           "2026/11/01,15:00", "2026/11/01,15:30", "2026/11/01,16:00"};
        QTest::newRow("Africa/Cairo, 29 October 2026, within trading hours")
            << "Africa/Cairo"
            << lines(
                   {"2026.10.29,22:00", "2026.10.29,23:00", "2026.10.29,23:00", "2026.10.30,00:00"})
            << QStringList{"2026/10/30,04:00", "2026/10/30,05:00", "2026/10/30,06:00",
                           "2026/10/30,07:00"};
        QTest::newRow("a repeated hour's second showing alone")
            << "America/New_York" << lines({"2026.11.01,01:30", "2026.11.01,02:00"})
            << QStringList{"2026/11/01,14:30", "2026/11/01,16:00"};
    }
    void repeatedHourKeepsTheFileOrder() {
        QFETCH(QString, zone);
        QFETCH(QStringList, mt4);
        QFETCH(QStringList, starts);
        const QStringList converted =
            PlatformExport::convert(mt4, PlatformExport::ServerTime::parse(zone));
        QStringList shown;
        for (const QString& line : converted)
            shown << line.section(u',', 0, 1);
        QCOMPARE(shown, starts);
    }

    void layoutsAreRecognised_data() {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("layout");
        const int plain = int(PlatformExport::Layout::Plain),
                  mt4 = int(PlatformExport::Layout::Mt4), mt5 = int(PlatformExport::Layout::Mt5);
        QTest::newRow("empty") << QStringList{} << plain;
        QTest::newRow("price file")
            << QStringList{"2025/07/09,10:00,1,2,0.5,1.5,2025/07/09,10:15"} << plain;
        QTest::newRow("price file with header")
            << QStringList{"Date,Time,Open,High,Low,Close,EndDate,EndTime",
                           "2025.07.09,10:00,1,2,1,1,1"}
            << plain;
        QTest::newRow("mt4") << QStringList{"2025.07.09,10:00,1,2,1,1,1"} << mt4;
        QTest::newRow("mt4 with seconds after empty lines")
            << QStringList{"", " ", "2025.07.09,10:00:00,1,2,1,1,1"} << mt4;
        QTest::newRow("mt4 date with too few fields")
            << QStringList{"2025.07.09,10:00,1,2,1"} << plain;
        QTest::newRow("mt5") << QStringList{"<DATE>\t<TIME>\t<OPEN>\t<HIGH>\t<LOW>\t<CLOSE>"}
                             << mt5;
        QTest::newRow("mt5 header the converter refuses") << QStringList{"<DATE>\t<OPEN>"} << mt5;
        QTest::newRow("mt5 with commas")
            << QStringList{"<DATE>,<TIME>,<OPEN>,<HIGH>,<LOW>,<CLOSE>"} << mt5;
        QTest::newRow("dukascopy") << QStringList{"Gmt time,Open,High,Low,Close,Volume"}
                                   << int(PlatformExport::Layout::Dukascopy);
        QTest::newRow("dukascopy without its header")
            << QStringList{"09.07.2025 10:00:00.000,1,2,1,1,1"}
            << int(PlatformExport::Layout::Dukascopy);
        QTest::newRow("history archive")
            << QStringList{"20250709 100000;146.120;146.200;146.100;146.150;0"}
            << int(PlatformExport::Layout::Archive);
    }
    void layoutsAreRecognised() {
        QFETCH(QStringList, lines);
        QFETCH(int, layout);
        QCOMPARE(int(PlatformExport::detect(lines)), layout);
    }

    void utf16FileWithBomIsRead() {
        QTemporaryDir dir;
        const QString in = dir.filePath(QStringLiteral("bars.csv"));
        QFile f(in);
        QVERIFY(f.open(QIODevice::WriteOnly));
        const QString text = QStringLiteral(
            "<DATE>\t<TIME>\t<OPEN>\t<HIGH>\t<LOW>\t<CLOSE>\t<TICKVOL>\t<VOL>\t<SPREAD>\r\n"
            "2025.07.09\t10:00:00\t1.5\t1.6\t1.4\t1.5\t1\t0\t0\r\n"
            "2025.07.09\t10:15:00\t1.5\t1.7\t1.5\t1.6\t1\t0\t0\r\n");
        f.write("\xff\xfe");
        f.write(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        f.close();
        const QString out = dir.filePath(QStringLiteral("out.csv"));
        PlatformExport::convertFile(in, out, 0);
        QFile result(out);
        QVERIFY(result.open(QIODevice::ReadOnly));
        QCOMPARE(result.readAll(),
                 QByteArray("2025/07/09,10:00,1.5,1.6,1.4,1.5,2025/07/09,10:15\r\n"
                            "2025/07/09,10:15,1.5,1.7,1.5,1.6,2025/07/09,10:30\r\n"));
    }

    // What a platform file can hold that the converter refuses with a message naming the line,
    // or reads soundly.
    void awkwardFiles_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("shift");
        QTest::addColumn<QString>("error"); // empty: converted
        QTest::addColumn<QByteArray>("output");
        QTest::newRow("a price of 300 decimals")
            << QByteArray("2025.07.09,10:00,146.1" + QByteArray(300, '1') +
                          ",146.2,146.1,146.1,5\r\n2025.07.09,10:15,146.1,146.2,146.1,146.1,5\r\n")
            << 0 << "1 行目: 価格 '146.1111" << QByteArray();
        QTest::newRow("shifted past the year 9999")
            << QByteArray("9999.12.31,20:00,1,2,1,1,5\r\n9999.12.31,21:00,1,2,1,1,5\r\n") << 3
            << "1 行目: 時刻をずらすと 10000/01/01" << QByteArray();
        QTest::newRow("ending past the year 9999")
            << QByteArray("9999.12.31,22:00,1,2,1,1,5\r\n9999.12.31,23:00,1,2,1,1,5\r\n") << 0
            << "2 行目: 時刻をずらすと" << QByteArray();
        QStringEncoder utf16(QStringConverter::Utf16LE);
        const QString mt5 = QStringLiteral(
            "<DATE>\t<TIME>\t<OPEN>\t<HIGH>\t<LOW>\t<CLOSE>\t<TICKVOL>\t<VOL>\t<SPREAD>\r\n"
            "2025.07.09\t10:00:00\t1.5\t1.6\t1.4\t1.5\t1\t0\t0\r\n"
            "2025.07.09\t10:15:00\t1.5\t1.7\t1.5\t1.6\t1\t0\t0\r\n");
        const QByteArray converted("2025/07/09,10:00,1.5,1.6,1.4,1.5,2025/07/09,10:15\r\n"
                                   "2025/07/09,10:15,1.5,1.7,1.5,1.6,2025/07/09,10:30\r\n");
        QTest::newRow("UTF-16 without byte-order mark")
            << QByteArray(utf16.encode(mt5)) << 0 << QString() << converted;
        QStringEncoder utf16be(QStringConverter::Utf16BE);
        QTest::newRow("UTF-16 big-endian without byte-order mark")
            << QByteArray(utf16be.encode(mt5)) << 0 << QString() << converted;
        QTest::newRow("a line broken in UTF-16 is quoted without its zeros")
            << QByteArray(utf16.encode(QStringLiteral("<DATE>\t<X>\r\n"))) << 0
            << "1 行目: <DATE>\t<X>" << QByteArray();
        QTest::newRow("a binary line is quoted without control characters")
            << QByteArray("2025.07.09,10:00,\x01\x02,1,1,1,1\r\n") << 0
            << "1 行目: 2025.07.09,10:00,??,1,1,1,1" << QByteArray();
    }
    void awkwardFiles() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, shift);
        QFETCH(QString, error);
        QFETCH(QByteArray, output);
        QTemporaryDir dir;
        const QString in = dir.filePath(QStringLiteral("in.csv"));
        const QString out = dir.filePath(QStringLiteral("out.csv"));
        writeAll(in, bytes);
        writeAll(out, "previous\r\n");
        const QString got = errorOf([&] { PlatformExport::convertFile(in, out, shift); });
        if (error.isEmpty()) {
            QVERIFY2(got.isEmpty(), qPrintable(got));
            QCOMPARE(readAll(out), output);
        } else {
            QVERIFY2(got.contains(error), qPrintable(got.left(300)));
            QVERIFY(!got.contains(QChar(0)));
            QCOMPARE(readAll(out), QByteArray("previous\r\n"));
        }
    }

    // The output is never the input, through whatever name: the input stays.
    void inputIsNeverOverwritten_data() {
        QTest::addColumn<QString>("outName");
        QTest::newRow("same name") << "in.csv";
        QTest::newRow("relative detour") << "sub/../in.csv";
        QTest::newRow("link to the input") << "link.csv";
    }
    void inputIsNeverOverwritten() {
        QFETCH(QString, outName);
        QTemporaryDir dir;
        QDir(dir.path()).mkdir(QStringLiteral("sub"));
        const QString in = dir.filePath(QStringLiteral("in.csv"));
        const QByteArray bytes = mt4Bars(3);
        writeAll(in, bytes);
        QVERIFY(QFile::link(in, dir.filePath(QStringLiteral("link.csv"))));
        const QString got =
            errorOf([&] { PlatformExport::convertFile(in, dir.filePath(outName), 0); });
        QVERIFY2(got.contains(QStringLiteral("変換元と変換先が同じファイル")), qPrintable(got));
        QCOMPARE(readAll(in), bytes);
    }

    // A write that fails part-way leaves the previous output whole and names the system's
    // reason: a small tmpfs fills up where the test may mount one, otherwise the file-size
    // limit stops the write.
    void failedWriteKeepsThePreviousOutput() {
        QTemporaryDir source;
        const QString in = source.filePath(QStringLiteral("in.csv"));
        writeAll(in, mt4Bars(5000)); // about 300 kB converted
        const QByteArray previous = "2025/07/01,00:00,1,1,1,1,2025/07/01,00:15\r\n";
        QString got;
        QString out;
        FullDisk disk(64 * 1024);
        if (disk.isValid()) {
            out = disk.filePath(QStringLiteral("out.csv"));
            writeAll(out, previous);
            got = errorOf([&] { PlatformExport::convertFile(in, out, 0); });
            QVERIFY2(got.contains(QStringLiteral("ディスクの空き容量がありません")),
                     qPrintable(got));
        } else {
            out = source.filePath(QStringLiteral("out.csv"));
            writeAll(out, previous);
            FileSizeLimit limit(64 * 1024);
            QVERIFY(limit.ok());
            got = errorOf([&] { PlatformExport::convertFile(in, out, 0); });
            QVERIFY2(got.contains(QStringLiteral("ファイルが大きすぎます")), qPrintable(got));
        }
        QVERIFY2(got.contains(out) && got.contains(QStringLiteral("元のファイルはそのままです")),
                 qPrintable(got));
        QCOMPARE(readAll(out), previous);
        // No temporary file of the failed write is left beside it.
        QCOMPARE(QDir(QFileInfo(out).path()).entryList({QStringLiteral("out.csv*")}, QDir::Files),
                 QStringList{QStringLiteral("out.csv")});
    }
};

QTEST_GUILESS_MAIN(TestConvert)
#include "test_convert.moc"
