#include "prices/PlatformExport.h"
#include "store/TorvaneError.h"

#include <QTemporaryDir>
#include <QTest>

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
};

QTEST_GUILESS_MAIN(TestConvert)
#include "test_convert.moc"
