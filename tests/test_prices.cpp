#include "prices/Averages.h"
#include "prices/PlatformExport.h"
#include "prices/PriceFile.h"
#include "prices/PriceImport.h"
#include "prices/RowInserter.h"
#include "session/HeadlessPipeline.h"
#include "session/Session.h"
#include "store/Clock.h"
#include "store/TextFile.h"
#include "store/TextRules.h"
#include "store/TorvaneError.h"
#include "support/SessionFixture.h"
#include "support/TestDialogs.h"
#include "support/TestFolder.h"
#include "support/TestSettings.h"

#include <QDir>
#include <QRegularExpression>
#include <QSettings>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <cstdio>
#include <unistd.h>

#include <memory>

namespace {

// One line of a price file: start, an unread open price, high, low, close, end.
QString bar(const QString& date, const QString& time, const QString& high, const QString& low,
            const QString& close, const QString& endDate, const QString& endTime) {
    return QStringList{date, time, close, high, low, close, endDate, endTime}.join(u',');
}

// count bars of minutes each from start, close prices from closeOf(bar number from 1), high and
// low one above and below.
QStringList bars(const QDateTime& start, int count, int minutes,
                 const std::function<QString(int)>& closeOf) {
    QStringList lines;
    for (int i = 1; i <= count; ++i) {
        const QDateTime s = start.addSecs(qint64(i - 1) * minutes * 60);
        const QDateTime e = s.addSecs(qint64(minutes) * 60);
        const QString c = closeOf(i);
        const bool number = !c.isEmpty() && TextRules::isNumericLiteral(c);
        const QString high = number ? QString::number(c.toLongLong() + 1) : c;
        const QString low = number ? QString::number(c.toLongLong() - 1) : c;
        lines << bar(s.toString(QStringLiteral("yyyy/MM/dd")), s.toString(QStringLiteral("HH:mm")),
                     high, low, c, e.toString(QStringLiteral("yyyy/MM/dd")),
                     e.toString(QStringLiteral("HH:mm")));
    }
    return lines;
}

QDateTime at(int y, int m, int d, int h = 0, int n = 0) {
    return QDateTime(QDate(y, m, d), QTime(h, n), Qt::UTC);
}

QString cell(const QVariant& v) {
    if (v.isNull())
        return QStringLiteral("-");
    return v.toString();
}

} // namespace

class TestPrices : public QObject, protected SessionFixture {
    Q_OBJECT

    TestSettings settings;

    QStringList infos;
    int forecastCalls = 0;

    QSqlDatabase csm() { return session->dm.database(session->dm.csm()); }

    QStringList rows(const QString& sql) {
        QSqlQuery q(csm());
        if (!q.exec(sql))
            qWarning() << q.lastError().text() << sql;
        QStringList out;
        while (q.next()) {
            QStringList fields;
            for (int i = 0; i < q.record().count(); ++i)
                fields << cell(q.value(i));
            out << fields.join(u'|');
        }
        return out;
    }
    QString one(const QString& sql) { return rows(sql).value(0); }

    QString writeFile(const QString& name, const QByteArray& bytes) {
        const QString path = dir->filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            qFatal("cannot write %s", qPrintable(path));
        f.write(bytes);
        return path;
    }
    QString writeLines(const QStringList& lines, const QString& name = QStringLiteral("P.CSV")) {
        return writeFile(name,
                         (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toLatin1());
    }
    void importLines(const QStringList& lines) { session->prices.importFile(writeLines(lines)); }

    // The averages as the per-bar statements of the price table compute them, run over the
    // imported bars for comparison.
    void referenceAverages() {
        QSqlDatabase db = csm();
        const int imcn = session->reg.imcn;
        const auto exec = [&](const QString& sql) {
            QSqlQuery q(db);
            if (!q.exec(sql))
                qWarning() << q.lastError().text() << sql;
            return q;
        };
        const auto sumOf = [&](const QString& sql) {
            QSqlQuery q = exec(sql);
            q.next();
            return q.value(0).isNull() ? 0 : q.value(0).toLongLong();
        };
        exec(QStringLiteral("update F01YSK set M75 = NULL, M1H = NULL, M4H = NULL, M1D = NULL"));
        for (const char* t : {"F02W1H", "F03W4H", "F04WD1"})
            exec(QStringLiteral("delete from ") + QLatin1String(t));

        QList<qint64> cnts;
        for (QSqlQuery q = exec(QStringLiteral("select CNT from F01YSK order by CNT")); q.next();)
            cnts << q.value(0).toLongLong();
        for (int k = 0; k < cnts.size() - 10; ++k) {
            const qint64 a = cnts[k];
            if (a < 75)
                continue;
            const qint64 s =
                sumOf(QStringLiteral("select sum(CV) from F01YSK where CNT > %1 and CNT <= %2")
                          .arg(a - 75)
                          .arg(a));
            exec(QStringLiteral("update F01YSK set M75 = %1 where CNT = %2").arg(s / 75).arg(a));
        }
        const auto averages = [&](const QString& t) {
            const qint64 bound = sumOf(QStringLiteral("select Max(CNT) from ") + t);
            for (qint64 r = 20; r <= bound; ++r)
                exec(QStringLiteral("update %1 set AV = %2 where CNT = %3")
                         .arg(t)
                         .arg(sumOf(QStringLiteral(
                                        "select sum(CV) from %1 where CNT > %2 and CNT <= %3")
                                        .arg(t)
                                        .arg(r - 20)
                                        .arg(r)) /
                              20)
                         .arg(r));
        };
        const auto sample = [&](const QString& t, const QString& where) {
            int i = 1;
            for (QSqlQuery q = exec(QStringLiteral("select CNT, CV from F01YSK ") + where +
                                    QStringLiteral(" order by CNT"));
                 q.next() && q.value(0).toLongLong() <= imcn; ++i)
                exec(
                    QStringLiteral("insert into %1 values (%2, %3, %4, NULL)")
                        .arg(t)
                        .arg(i)
                        .arg(q.value(0).toLongLong())
                        .arg(q.value(1).isNull() ? QStringLiteral("NULL") : q.value(1).toString()));
            averages(t);
        };
        sample(QStringLiteral("F02W1H"), QStringLiteral("where SHM like '%:00'"));
        QList<QStringList> hourly;
        for (QSqlQuery q = exec(QStringLiteral("select C1, CV from F02W1H order by CNT"));
             q.next();)
            hourly << QStringList{q.value(0).toString(), q.value(1).isNull()
                                                             ? QStringLiteral("NULL")
                                                             : q.value(1).toString()};
        for (int k = 4, i = 1; k - 4 < hourly.size(); k += 5, ++i) {
            const int row = std::min<int>(k, int(hourly.size()) - 1);
            exec(QStringLiteral("insert into F03W4H values (%1, %2, %3, NULL)")
                     .arg(i)
                     .arg(hourly[row][0], hourly[row][1]));
            if (row == hourly.size() - 1)
                break;
        }
        averages(QStringLiteral("F03W4H"));
        sample(QStringLiteral("F04WD1"), QStringLiteral("where SHM = '00:00'"));
        for (const qint64 c : cnts) {
            if (c > imcn)
                continue;
            QStringList v;
            for (const char* t : {"F02W1H", "F03W4H", "F04WD1"}) {
                QSqlQuery q = exec(QStringLiteral("select AV from %1 where C1 <= %2 order by CNT")
                                       .arg(QLatin1String(t))
                                       .arg(c));
                QString av = QStringLiteral("NULL");
                while (q.next())
                    av = q.value(0).isNull() ? QStringLiteral("NULL") : q.value(0).toString();
                v << av;
            }
            exec(QStringLiteral("update F01YSK set M1H = %1, M4H = %2, M1D = %3 where CNT = %4")
                     .arg(v[0], v[1], v[2])
                     .arg(c));
        }
    }
    QStringList everything() {
        QStringList all;
        for (const char* t : {"F01YSK", "F02W1H", "F03W4H", "F04WD1"})
            all << QLatin1String(t)
                << rows(QStringLiteral("select * from %1 order by CNT").arg(QLatin1String(t)));
        return all;
    }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(createTemplate());
    }

    void init() {
        QVERIFY(openSession());
        infos.clear();
        forecastCalls = 0;
        connect(&session->prices, &PriceImport::infoShown, this,
                [this](const QString& t) { infos << t; });
        QSettings(QStringLiteral("torvane"), QStringLiteral("torvane"))
            .remove(QLatin1String(PriceImport::serverTimeKey));
        Clock::fix(QDateTime(QDate(2025, 7, 9), QTime(12, 0)));
    }

    void cleanup() {
        QSettings(QStringLiteral("torvane"), QStringLiteral("torvane"))
            .remove(QLatin1String(PriceImport::serverTimeKey));
        Clock::release();
        closeSession();
    }

    void erPeriod_data() {
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("out");
        QTest::newRow("three decimals") << "150.123"
                                        << "150123";
        QTest::newRow("one decimal") << "150.1"
                                     << "1501";
        QTest::newRow("no decimals") << "150"
                                     << "150";
        QTest::newRow("two points") << "1.234.5"
                                    << "1234.5";
        QTest::newRow("empty") << ""
                               << "";
    }
    void erPeriod() {
        QFETCH(QString, in);
        QFETCH(QString, out);
        QString text = in;
        QCOMPARE(TextRules::ErPeriod(text), out);
        QCOMPARE(text, out);
    }

    void fields_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("plain, spaces kept") << "a, b ,c" << QStringList{"a", " b ", "c"};
        QTest::newRow("trailing comma") << "a,b," << QStringList{"a", "b", ""};
        QTest::newRow("quoted") << R"("2025/07/01",x)" << QStringList{"2025/07/01", "x"};
        QTest::newRow("quoted comma and quote") << R"("a,""b""",c)" << QStringList{R"(a,"b")", "c"};
        QTest::newRow("empty line") << "" << QStringList{};
        QTest::newRow("only a comma") << "," << QStringList{"", ""};
    }
    void fields() {
        QFETCH(QString, line);
        QFETCH(QStringList, fields);
        QCOMPARE(PriceFile::splitFields(line), fields);
    }

    void cutoff_data() {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QString>("cutoff");
        QTest::newRow("9 July") << QDate(2025, 7, 9) << "2025/05/09";
        QTest::newRow("30 April") << QDate(2025, 4, 30) << "2025/02/28";
        QTest::newRow("30 April, leap year") << QDate(2024, 4, 30) << "2024/02/29";
        QTest::newRow("January") << QDate(2025, 1, 15) << "2024/11/15";
    }
    void cutoff() {
        QFETCH(QDate, today);
        QFETCH(QString, cutoff);
        QCOMPARE(PriceFile::cutoffDate(today), cutoff);
    }

    // Which lines become bars, with what values: CNT|SYMD|SHM|HV|LV|CV|LYMD|LHM.
    void lines_data() {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QStringList>("expected");
        const QString tail1 =
            bar("2025/07/08", "10:00", "150.200", "150.100", "150.150", "2025/07/08", "10:15");
        const QString tail2 =
            bar("2025/07/08", "10:15", "150.300", "150.000", "150.250", "2025/07/08", "10:30");
        const QStringList tailRows{"2025/07/08|10:00|150200|150100|150150|2025/07/08|10:15",
                                   "2025/07/08|10:15|150300|150000|150250|2025/07/08|10:30"};
        const auto numbered = [](QStringList r, int from) {
            for (QString& s : r)
                s = QString::number(from++) + u'|' + s;
            return r;
        };
        QTest::newRow("header words")
            << QDate(2025, 7, 9)
            << QStringList{"Date,Time,Open,High,Low,Close,EndDate,EndTime", tail1, tail2}
            << numbered(tailRows, 1);
        QTest::newRow("Japanese header")
            << QDate(2025, 7, 9)
            << QStringList{"日付,時刻,始値,高値,安値,終値,終了日,終了時刻", tail1, tail2}
            << numbered(tailRows, 1);
        QTest::newRow("quoted header and first field")
            << QDate(2025, 7, 9)
            << QStringList{R"("Date","Time",O,H,L,C,ED,ET)",
                           R"("2025/07/01","09:00",1,150.5,150.4,150.45,2025/07/01,09:15)", tail1,
                           tail2}
            << numbered(QStringList{"2025/07/01|09:00|1505|1504|15045|2025/07/01|09:15"} + tailRows,
                        1);
        QTest::newRow("on and before the cutoff, empty lines, numbering without gaps")
            << QDate(2025, 7, 9)
            << QStringList{bar("2025/05/08", "23:45", "1.1", "1.0", "1.05", "2025/05/09", "00:00"),
                           "",
                           bar("2025/05/09", "00:00", "2.1", "2.0", "2.05", "2025/05/09", "00:15"),
                           tail1, tail2}
            << numbered(QStringList{"2025/05/09|00:00|21|20|205|2025/05/09|00:15"} + tailRows, 1);
        QTest::newRow("30 April cutoff")
            << QDate(2025, 4, 30)
            << QStringList{bar("2025/02/27", "10:00", "1.1", "1.0", "1.05", "2025/02/27", "10:15"),
                           bar("2025/02/28", "10:00", "2.1", "2.0", "2.05", "2025/02/28", "10:15"),
                           bar("2025/02/28", "10:15", "3.1", "3.0", "3.05", "2025/02/28", "10:30")}
            << QStringList{"1|2025/02/28|10:00|21|20|205|2025/02/28|10:15",
                           "2|2025/02/28|10:15|31|30|305|2025/02/28|10:30"};
        QTest::newRow("one, three and no decimals; 1.234.5")
            << QDate(2025, 7, 9)
            << QStringList{bar("2025/07/01", "09:00", "150.1", "150", "1.234.5", "2025/07/01",
                               "09:15"),
                           tail1, tail2}
            << numbered(QStringList{"2025/07/01|09:00|1501|150|1234.5|2025/07/01|09:15"} + tailRows,
                        1);
        QTest::newRow("empty price stored as NULL")
            << QDate(2025, 7, 9)
            << QStringList{bar("2025/07/01", "09:00", "", "150.000", "", "2025/07/01", "09:15"),
                           tail1, tail2}
            << numbered(QStringList{"2025/07/01|09:00|-|150000|-|2025/07/01|09:15"} + tailRows, 1);
        QTest::newRow("unreadable price: that bar's insert fails, its number stays used")
            << QDate(2025, 7, 9)
            << QStringList{bar("2025/07/01", "09:00", "abc", "150.000", "150.1", "2025/07/01",
                               "09:15"),
                           tail1, tail2}
            << numbered(tailRows, 2);
        QTest::newRow("an old line with a date without zeros is dropped like any old line")
            << QDate(2025, 7, 9)
            << QStringList{bar("2020/1/5", "9:00", "1.1", "1.0", "1.05", "2020/1/5", "9:15"), tail1,
                           tail2}
            << numbered(tailRows, 1);
        QTest::newRow("texts cut to their length")
            << QDate(2025, 7, 9)
            << QStringList{bar("2025/07/01x", "09:00:00", "1", "1", "1", "2025/07/01", "09:15:30"),
                           tail1, tail2}
            << numbered(QStringList{"2025/07/01|09:00|1|1|1|2025/07/01|09:15"} + tailRows, 1);
    }
    void lines() {
        QFETCH(QDate, today);
        QFETCH(QStringList, lines);
        QFETCH(QStringList, expected);
        Clock::fix(QDateTime(today, QTime(8, 0)));
        importLines(lines);
        QCOMPARE(rows(QStringLiteral("select CNT, SYMD, SHM, HV, LV, CV, LYMD, LHM from F01YSK "
                                     "where CNT <= %1 order by CNT")
                          .arg(session->reg.imcn)),
                 expected);
        QCOMPARE(session->reg.imcn,
                 expected.isEmpty() ? 0 : expected.last().section(u'|', 0, 0).toInt());
        QCOMPARE(one(QStringLiteral("select count(*) from F01YSK where CNT > %1")
                         .arg(session->reg.imcn)),
                 QStringLiteral("10"));
    }

    void storedTypes() {
        importLines(
            {bar("2025/07/01", "09:00", "150.123", "", "1.234.5", "2025/07/01", "09:15"),
             bar("2025/07/01", "09:15", "150.123", "150.000", "150.100", "2025/07/01", "09:30")});
        QCOMPARE(rows(QStringLiteral("select typeof(CNT), typeof(SYMD), typeof(HV), typeof(LV), "
                                     "typeof(CV), typeof(M75) from F01YSK where CNT = 1")),
                 QStringList{"integer|text|integer|null|real|null"});
    }

    void encodingsAndLineBreaks_data() {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray a =
            bar("2025/07/01", "09:00", "1.1", "1.0", "1.05", "2025/07/01", "09:15").toLatin1();
        const QByteArray b =
            bar("2025/07/01", "09:15", "2.1", "2.0", "2.05", "2025/07/01", "09:30").toLatin1();
        QTest::newRow("CR LF") << a + "\r\n" + b + "\r\n";
        QTest::newRow("LF, no final break") << a + "\n" + b;
        QTest::newRow("CR") << a + "\r" + b + "\r";
        QTest::newRow("UTF-8 mark") << "\xEF\xBB\xBF" + a + "\r\n" + b + "\r\n";
        QStringEncoder utf16(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom);
        QTest::newRow("UTF-16 mark")
            << QByteArray(utf16.encode(QString::fromLatin1(a + "\r\n" + b + "\r\n")));
    }
    void encodingsAndLineBreaks() {
        QFETCH(QByteArray, bytes);
        session->prices.importFile(writeFile(QStringLiteral("E.CSV"), bytes));
        QCOMPARE(rows(QStringLiteral("select CNT, SYMD, CV from F01YSK order by CNT limit 2")),
                 (QStringList{"1|2025/07/01|105", "2|2025/07/01|205"}));
        QCOMPARE(one(QStringLiteral("select SYMD, SHM, LYMD, LHM from F01YSK where CNT = 3")),
                 QStringLiteral("2025/07/01|09:30|2025/07/01|09:45"));
    }

    // Reading line by line gives the lines of reading the whole file, also where a line break,
    // a CR LF pair or a character falls across the reader's 1 MiB chunks.
    void lineReaderMatchesWholeFileReading_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("encoding");
        const qsizetype chunk = 1 << 20;
        const auto upTo = [](qsizetype n, const QByteArray& tail) {
            QByteArray bytes;
            while (bytes.size() < n)
                bytes += "2025/07/01,09:00,1,1,1,1,2025/07/01,09:15\r\n";
            bytes.truncate(n);
            return bytes + tail;
        };
        const int latin = int(TextFile::Encoding::BomOrLatin);
        QTest::newRow("CR LF across the chunks") << upTo(chunk - 1, "\r\nlast\r\n") << latin;
        QTest::newRow("CR ends a chunk, text follows") << upTo(chunk - 1, "\rnext\rlast") << latin;
        QTest::newRow("empty lines across the chunks") << upTo(chunk - 2, "\n\n\r\n\rx") << latin;
        QTest::newRow("UTF-8 character across the chunks")
            << upTo(chunk - 4, "\xE6\x97\xA5\r\n").prepend("\xEF\xBB\xBF") << latin;
        QTest::newRow("CP932 character across the chunks")
            << upTo(chunk - 1, "\x93\xfa\r\nz") << int(TextFile::Encoding::Cp932);
        QTest::newRow("no line break at all") << QByteArray("one line") << latin;
        QTest::newRow("empty file") << QByteArray() << latin;
    }
    void lineReaderMatchesWholeFileReading() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, encoding);
        const auto e = TextFile::Encoding(encoding);
        const QString path = writeFile(QStringLiteral("LINES.CSV"), bytes);
        TextFile::LineReader reader(path, e);
        QStringList lines;
        QString line;
        while (reader.next(line))
            lines << line;
        const QStringList whole = TextFile::splitLines(TextFile::decode(bytes, e));
        QCOMPARE(lines.size(), whole.size());
        QCOMPARE(lines, whole);
        QCOMPARE(reader.lineCount(), whole.size());
    }

    // The ten slots continue the step between the end times of the file's last two lines.
    void forecastSlots_data() {
        QTest::addColumn<QStringList>("lastTwo");
        QTest::addColumn<QStringList>("first");
        QTest::addColumn<QStringList>("tenth");
        QTest::newRow("same day")
            << QStringList{bar("2025/07/08", "09:45", "1", "1", "1", "2025/07/08", "10:00"),
                           bar("2025/07/08", "10:00", "1", "1", "1", "2025/07/08", "10:15")}
            << QStringList{"2025/07/08", "10:15", "2025/07/08", "10:30"}
            << QStringList{"2025/07/08", "12:30", "2025/07/08", "12:45"};
        QTest::newRow("across midnight")
            << QStringList{bar("2025/07/08", "22:00", "1", "1", "1", "2025/07/08", "23:00"),
                           bar("2025/07/08", "23:00", "1", "1", "1", "2025/07/09", "00:00")}
            << QStringList{"2025/07/09", "00:00", "2025/07/09", "01:00"}
            << QStringList{"2025/07/09", "09:00", "2025/07/09", "10:00"};
        QTest::newRow("equal ends")
            << QStringList{bar("2025/07/08", "10:00", "1", "1", "1", "2025/07/08", "10:15"),
                           bar("2025/07/08", "10:00", "1", "1", "1", "2025/07/08", "10:15")}
            << QStringList{"2025/07/08", "10:00", "2025/07/08", "10:15"}
            << QStringList{"2025/07/08", "10:00", "2025/07/08", "10:15"};
        QTest::newRow("backwards")
            << QStringList{bar("2025/07/08", "10:15", "1", "1", "1", "2025/07/08", "10:30"),
                           bar("2025/07/08", "10:00", "1", "1", "1", "2025/07/08", "10:15")}
            << QStringList{"2025/07/08", "09:45", "2025/07/08", "10:00"}
            << QStringList{"2025/07/08", "07:30", "2025/07/08", "07:45"};
        QTest::newRow("seconds accepted, old lines still give the step")
            << QStringList{bar("2025/07/08", "10:00", "1", "1", "1", "2025/07/08", "10:00:00"),
                           bar("2024/01/01", "10:00", "1", "1", "1", "2025/07/08", "10:00:30")}
            << QStringList{"2024/01/01", "10:00", "2025/07/08", "10:01"}
            << QStringList{"2024/01/01", "10:05", "2025/07/08", "10:05"};
    }
    void forecastSlots() {
        QFETCH(QStringList, lastTwo);
        QFETCH(QStringList, first);
        QFETCH(QStringList, tenth);
        importLines(QStringList{bar("2025/07/01", "09:00", "1", "1", "1", "2025/07/01", "09:15")} +
                    lastTwo);
        const int imcn = session->reg.imcn;
        const QString sql =
            QStringLiteral("select SYMD, SHM, LYMD, LHM, HV, CV, M75 from F01YSK where CNT = %1");
        QCOMPARE(one(sql.arg(imcn + 1)), first.join(u'|') + QStringLiteral("|-|-|-"));
        QCOMPARE(one(sql.arg(imcn + 10)), tenth.join(u'|') + QStringLiteral("|-|-|-"));
        QCOMPARE(one(QStringLiteral("select count(*) from F01YSK")), QString::number(imcn + 10));
    }

    void highestAndLowestByValue() {
        importLines({bar("2025/07/01", "09:00", "99999", "", "1", "2025/07/01", "09:15"),
                     bar("2025/07/01", "09:15", "150000", "100000", "1", "2025/07/01", "09:30"),
                     bar("2025/07/01", "09:30", "", "99998", "1", "2025/07/01", "09:45"),
                     bar("2025/07/01", "09:45", "abc", "5", "1", "2025/07/01", "10:00")});
        QCOMPARE(session->reg.shm, QStringLiteral("150000"));
        // Every kept line takes part, as before, even one whose insert failed.
        QCOMPARE(session->reg.slm, QStringLiteral("5"));
    }

    void closingSequence() {
        connect(&session->prices, &PriceImport::averaged, this, [this] {
            ++forecastCalls;
            QCOMPARE(dialogs->messages,
                     QStringList{QStringLiteral("読込終了。 移動平均額を計算します")});
            QCOMPARE(one(QStringLiteral("select M75 from F01YSK where CNT = 75")),
                     QStringLiteral("100"));
        });
        importLines(bars(at(2025, 7, 1), 80, 15, [](int) { return QStringLiteral("100"); }));
        QCOMPARE(forecastCalls, 1);
        QCOMPARE(infos, QStringList{QStringLiteral("結果は 4.FX表に表示されます")});
        QCOMPARE(session->reg.imcn, 80);
        QCOMPARE(session->reg.swh, QStringLiteral(" order by CNT "));
        const Query& qd = session->dm.qd;
        QVERIFY(qd.isOpen());
        QCOMPARE(qd.recordCount(), 90);
        QCOMPARE(qd.currentRow(), 89);
        QCOMPARE(qd.fieldNames().first(), QStringLiteral("CNT"));
        QCOMPARE(qd.displayWidth(0), 6);
        QCOMPARE(qd.displayWidth(1), 10);
    }

    void cancelledDialogDoesNothing() {
        dialogs->fileToOpen.clear();
        session->prices.a13rdtBClick();
        QVERIFY(dialogs->messages.isEmpty());
        QVERIFY(!session->dm.qd.isOpen());
        dialogs->fileToOpen =
            writeLines(bars(at(2025, 7, 1), 3, 15, [](int) { return QStringLiteral("1"); }));
        session->prices.a13rdtBClick();
        QCOMPARE(session->reg.imcn, 3);
        QCOMPARE(session->reg.sa[2], QStringLiteral("P.CSV"));
    }

    // Platform exports go through the same import: recognised by their layout, converted with
    // the answer to one question, stored like any price file. Rows: CNT|SYMD|SHM|HV|LV|CV|LYMD|LHM.
    void platformExportsThroughTheImport_data() {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("layout");
        QTest::addColumn<QStringList>("expected");
        const QString mt5Head = QStringLiteral(
            "<DATE>\t<TIME>\t<OPEN>\t<HIGH>\t<LOW>\t<CLOSE>\t<TICKVOL>\t<VOL>\t<SPREAD>");
        QTest::newRow("plain price file: no question")
            << QStringList{bar("2025/07/08", "10:00", "150.200", "150.000", "150.150", "2025/07/08",
                               "10:15"),
                           bar("2025/07/08", "10:15", "150.300", "150.100", "150.250", "2025/07/08",
                               "10:30")}
            << QString() << QString()
            << QStringList{"1|2025/07/08|10:00|150200|150000|150150|2025/07/08|10:15",
                           "2|2025/07/08|10:15|150300|150100|150250|2025/07/08|10:30"};
        QTest::newRow("plain price file with a header: no question")
            << QStringList{"Date,Time,Open,High,Low,Close,EndDate,EndTime",
                           bar("2025/07/08", "10:00", "150.200", "150.000", "150.150", "2025/07/08",
                               "10:15"),
                           bar("2025/07/08", "10:15", "150.300", "150.100", "150.250", "2025/07/08",
                               "10:30")}
            << QString() << QString()
            << QStringList{"1|2025/07/08|10:00|150200|150000|150150|2025/07/08|10:15",
                           "2|2025/07/08|10:15|150300|150100|150250|2025/07/08|10:30"};
        QTest::newRow("MT4 history, seven hours to Japan")
            << QStringList{"2025.07.08,10:00,150.100,150.200,150.000,150.150,120",
                           "2025.07.08,10:15,150.150,150.300,150.100,150.250,98"}
            << "7"
            << "MT4"
            << QStringList{"1|2025/07/08|17:00|150200|150000|150150|2025/07/08|17:15",
                           "2|2025/07/08|17:15|150300|150100|150250|2025/07/08|17:30"};
        QTest::newRow("MT4 history after empty lines, shifted back over midnight, padded")
            << QStringList{"", "2025.07.08,01:00,150.1,150.2,150,150.15,1",
                           "2025.07.08,02:00,150.15,150.3,150.1,150.25,1"}
            << "-2"
            << "MT4"
            << QStringList{"1|2025/07/07|23:00|15020|15000|15015|2025/07/08|00:00",
                           "2|2025/07/08|00:00|15030|15010|15025|2025/07/08|01:00"};
        QTest::newRow("MT5 Export Bars, broker zone in summer time")
            << QStringList{mt5Head,
                           "2025.07.08\t10:00:00\t150.10\t150.20\t150.00\t150.15\t120\t0\t3",
                           "2025.07.08\t10:05:00\t150.15\t150.30\t150.10\t150.25\t98\t0\t3"}
            << "Europe/Athens"
            << "MT5"
            << QStringList{"1|2025/07/08|16:00|15020|15000|15015|2025/07/08|16:05",
                           "2|2025/07/08|16:05|15030|15010|15025|2025/07/08|16:10"};
        QTest::newRow("MT5 with commas")
            << QStringList{"<DATE>,<TIME>,<OPEN>,<HIGH>,<LOW>,<CLOSE>,<TICKVOL>,<VOL>,<SPREAD>",
                           "2025.07.08,10:00:00,150.10,150.20,150.00,150.15,120,0,3",
                           "2025.07.08,10:05:00,150.15,150.30,150.10,150.25,98,0,3"}
            << "6"
            << "MT5"
            << QStringList{"1|2025/07/08|16:00|15020|15000|15015|2025/07/08|16:05",
                           "2|2025/07/08|16:05|15030|15010|15025|2025/07/08|16:10"};
        // Layouts whose times are in a zone of their own ask nothing.
        QTest::newRow("Dukascopy in UTC: no question")
            << QStringList{"Gmt time,Open,High,Low,Close,Volume",
                           "08.07.2025 10:00:00.000,150.100,150.200,150.000,150.150,12.5",
                           "08.07.2025 10:01:00.000,150.150,150.300,150.100,150.250,8.25"}
            << "3" << QString()
            << QStringList{"1|2025/07/08|19:00|150200|150000|150150|2025/07/08|19:01",
                           "2|2025/07/08|19:01|150300|150100|150250|2025/07/08|19:02"};
        QTest::newRow("history archive in UTC-5: no question")
            << QStringList{"20250708 100000;150.100;150.200;150.000;150.150;0",
                           "20250708 100100;150.150;150.300;150.100;150.250;0"}
            << "3" << QString()
            << QStringList{"1|2025/07/09|00:00|150200|150000|150150|2025/07/09|00:01",
                           "2|2025/07/09|00:01|150300|150100|150250|2025/07/09|00:02"};
        QTest::newRow("MT4 history, broker zone across the winter-time switch")
            << QStringList{"2025.10.24,22:00,150.1,150.2,150,150.15,1",
                           "2025.10.24,23:00,150.15,150.3,150.1,150.25,1",
                           "2025.10.27,00:00,150.25,150.4,150.2,150.35,1",
                           "2025.10.27,01:00,150.35,150.5,150.3,150.45,1"}
            << " Europe/Athens "
            << "MT4"
            << QStringList{"1|2025/10/25|04:00|15020|15000|15015|2025/10/25|05:00",
                           "2|2025/10/25|05:00|15030|15010|15025|2025/10/25|06:00",
                           "3|2025/10/27|07:00|15040|15020|15035|2025/10/27|08:00",
                           "4|2025/10/27|08:00|15050|15030|15045|2025/10/27|09:00"};
    }
    void platformExportsThroughTheImport() {
        QFETCH(QStringList, lines);
        QFETCH(QString, answer);
        QFETCH(QString, layout);
        QFETCH(QStringList, expected);
        // Two days after the first bar: well inside the two months the import keeps.
        Clock::fix(QDateTime(
            QDate::fromString(expected[0].section(u'|', 1, 1), QStringLiteral("yyyy/MM/dd"))
                .addDays(2),
            QTime(8, 0)));
        if (!answer.isNull())
            dialogs->textAnswer = answer;
        importLines(lines);
        if (layout.isEmpty()) {
            QVERIFY(dialogs->textQuestions.isEmpty());
        } else {
            QCOMPARE(dialogs->textQuestions.size(), 1);
            QVERIFY(dialogs->textQuestions[0].contains(layout + QStringLiteral(" の書き出し")));
            QVERIFY(dialogs->textQuestions[0].contains(QStringLiteral("P.CSV")));
        }
        QCOMPARE(rows(QStringLiteral("select CNT, SYMD, SHM, HV, LV, CV, LYMD, LHM from F01YSK "
                                     "where CNT <= %1 order by CNT")
                          .arg(session->reg.imcn)),
                 expected);
        QCOMPARE(one(QStringLiteral("select count(*) from F01YSK")),
                 QString::number(expected.size() + 10));
        QCOMPARE(dialogs->messages.value(0), QStringLiteral("読込終了。 移動平均額を計算します"));
    }

    void serverTimeAnswerIsRememberedInTheTestSettings() {
        // The test's own settings folder keeps QSettings away from the user's configuration.
        QSettings settings(QStringLiteral("torvane"), QStringLiteral("torvane"));
        QVERIFY2(!settings.fileName().startsWith(QDir::homePath() + QStringLiteral("/.config")),
                 qPrintable(settings.fileName()));
        QVERIFY(settings.fileName().startsWith(QDir::tempPath()));

        Clock::fix(QDateTime(QDate(2025, 11, 1), QTime(8, 0)));
        const QStringList mt4{"2025.10.24,22:00,150.1,150.2,150,150.15,1",
                              "2025.10.24,23:00,150.15,150.3,150.1,150.25,1"};
        importLines(mt4);
        QCOMPARE(dialogs->textOffered, QStringList{"0"});
        dialogs->textAnswer = QStringLiteral("Europe/Athens");
        importLines(mt4);
        dialogs->textAnswer.reset();
        importLines(mt4);
        QCOMPARE(dialogs->textOffered, (QStringList{"0", "0", "Europe/Athens"}));
        QCOMPARE(one(QStringLiteral("select SHM from F01YSK where CNT = 1")),
                 QStringLiteral("04:00"));
        settings.sync();
        QCOMPARE(settings.value(QLatin1String(PriceImport::serverTimeKey)).toString(),
                 QStringLiteral("Europe/Athens"));
    }

    void refusedOrCancelledServerTimeKeepsThePreviousImport() {
        Clock::fix(QDateTime(QDate(2025, 11, 1), QTime(8, 0)));
        importLines(bars(at(2025, 10, 30), 3, 15, [](int) { return QStringLiteral("150000"); }));
        const QStringList before = rows(QStringLiteral("select * from F01YSK order by CNT"));
        const QStringList mt4{"2025.10.30,22:00,150.1,150.2,150,150.15,1",
                              "2025.10.30,23:00,150.15,150.3,150.1,150.25,1"};
        dialogs->clear();
        dialogs->cancelText = true;
        importLines(mt4);
        QCOMPARE(dialogs->textQuestions.size(), 1);
        QVERIFY(dialogs->messages.isEmpty());
        QCOMPARE(rows(QStringLiteral("select * from F01YSK order by CNT")), before);

        dialogs->cancelText = false;
        for (const char* bad : {"Mars/Olympus", "7.5", "", "9999999"}) {
            dialogs->textAnswer = QString::fromLatin1(bad);
            QVERIFY_THROWS_EXCEPTION(TorvaneError, importLines(mt4));
            QCOMPARE(rows(QStringLiteral("select * from F01YSK order by CNT")), before);
        }
        QVERIFY(!QSettings(QStringLiteral("torvane"), QStringLiteral("torvane"))
                     .contains(QLatin1String(PriceImport::serverTimeKey)));
        // An MT5 header the converter cannot read names what it expected.
        dialogs->textAnswer = QStringLiteral("0");
        try {
            importLines({"<DATE>\t<OPEN>", "2025.10.30\t1"});
            QFAIL("no error");
        } catch (const TorvaneError& e) {
            QVERIFY2(e.text().contains(QStringLiteral("Export Bars")), qPrintable(e.text()));
        }
        QCOMPARE(rows(QStringLiteral("select * from F01YSK order by CNT")), before);
    }

    void movingAverage75() {
        // Bars 1..74 close at 150000, bar 75 at 150074: the sum 11250074 gives 150000.
        importLines(bars(at(2025, 7, 1, 0, 5), 77, 15, [](int i) {
            return QStringLiteral("%1").arg(i == 75 ? 150074 : i == 77 ? 300000 : 150000);
        }));
        QCOMPARE(rows(QStringLiteral(
                     "select CNT, M75 from F01YSK where CNT in (74, 75, 76, 77, 78, 87)")),
                 (QStringList{"74|-", "75|150000", "76|150000", "77|152000", "78|-", "87|-"}));
    }

    void movingAverage75WithGapsAndEmptyCloses() {
        // Bar 10 fails to insert (its number stays used) and bar 20 has no close: the window sums
        // the rows present and still divides by 75.
        importLines(bars(at(2025, 7, 1, 0, 5), 76, 15, [](int i) {
            return i == 10 ? QStringLiteral("x") : i == 20 ? QString() : QStringLiteral("750");
        }));
        QCOMPARE(
            rows(QStringLiteral("select CNT, M75 from F01YSK where CNT in (9, 10, 11, 75, 76)")),
            (QStringList{"9|-", "11|-", "75|730", "76|730"}));
    }

    void fewerThan75Bars() {
        importLines(bars(at(2025, 7, 1), 74, 15, [](int) { return QStringLiteral("1"); }));
        QCOMPARE(one(QStringLiteral("select count(M75) from F01YSK")), QStringLiteral("0"));
    }

    // Hourly samples at whole hours; F03W4H takes every fifth and the last.
    void fourHourSamples_data() {
        QTest::addColumn<int>("hours");
        QTest::addColumn<QStringList>("taken");
        QTest::newRow("12 samples") << 12 << QStringList{"1|5", "2|10", "3|12"};
        QTest::newRow("10 samples") << 10 << QStringList{"1|5", "2|10"};
        QTest::newRow("4 samples") << 4 << QStringList{"1|4"};
        QTest::newRow("1 sample") << 1 << QStringList{"1|1"};
    }
    void fourHourSamples() {
        QFETCH(int, hours);
        QFETCH(QStringList, taken);
        // Bars of 30 minutes from 09:30, so hourly sample k is bar 2k.
        importLines(bars(at(2025, 7, 1, 9, 30), 2 * hours + 1, 30,
                         [](int i) { return QString::number(i); }));
        QStringList expected;
        for (const QString& t : taken)
            expected << t.section(u'|', 0, 0) + u'|' +
                            QString::number(2 * t.section(u'|', 1).toInt());
        QCOMPARE(rows(QStringLiteral("select CNT, C1 from F03W4H order by CNT")), expected);
        QCOMPARE(one(QStringLiteral("select count(*) from F02W1H")), QString::number(hours));
    }

    void hourlyAverageOfLatestSample() {
        // 15-minute bars from 00:00: bar 4h+1 starts at hour h. The 20th hourly sample is the
        // bar of 19:00 (bar 77); every close is its bar number.
        importLines(bars(at(2025, 7, 1), 100, 15, [](int i) { return QString::number(i); }));
        QCOMPARE(one(QStringLiteral("select CNT, C1, AV from F02W1H where CNT = 20")),
                 QStringLiteral("20|77|39")); // (1 + 5 + ... + 77) / 20 = 780 / 20
        QCOMPARE(one(QStringLiteral("select AV from F02W1H where CNT = 19")), QStringLiteral("-"));
        // 19:00 is bar 77 (itself a sample), 19:30 is bar 79 and takes the 19:00 sample.
        QCOMPARE(
            rows(QStringLiteral("select CNT, SHM, M1H from F01YSK where CNT in (76, 77, 79, 81)")),
            (QStringList{"76|18:45|-", "77|19:00|39", "79|19:30|39", "81|20:00|43"}));
        // The daily samples are the bars of 00:00, too few for a 20-row average.
        QCOMPARE(rows(QStringLiteral("select CNT, C1, CV, AV from F04WD1")),
                 (QStringList{"1|1|1|-", "2|97|97|-"}));
        QCOMPARE(one(QStringLiteral("select count(M1D) + count(M4H) from F01YSK")),
                 QStringLiteral("0"));
        QCOMPARE(one(QStringLiteral("select count(M1H) from F01YSK where CNT > 100")),
                 QStringLiteral("0"));
    }

    // The one-pass averages give what the per-bar statements give, gaps and empty closes
    // included, on a file long enough for every table to reach its 20-row averages.
    void averagesEqualPerBarStatements() {
        importLines(bars(at(2025, 5, 9), 24 * 4 * 25, 15, [](int i) {
            if (i % 97 == 0)
                return QStringLiteral("bad");
            if (i % 89 == 0)
                return QString();
            return QString::number(150000 + (i * 7919) % 3001);
        }));
        const QStringList imported = everything();
        QVERIFY(one(QStringLiteral("select count(AV) from F04WD1")).toInt() > 0);
        QVERIFY(one(QStringLiteral("select count(AV) from F03W4H")).toInt() > 0);
        referenceAverages();
        QCOMPARE(imported, everything());
    }

    void secondImportReplacesTheFirst() {
        importLines(bars(at(2025, 7, 1), 200, 15, [](int) { return QStringLiteral("5"); }));
        importLines(bars(at(2025, 7, 2, 0, 30), 30, 30, [](int) { return QStringLiteral("7"); }));
        QCOMPARE(session->reg.imcn, 30);
        QCOMPARE(one(QStringLiteral("select count(*), min(CNT), max(CNT) from F01YSK")),
                 QStringLiteral("40|1|40"));
        QCOMPARE(one(QStringLiteral("select count(*), sum(CV) from F01YSK where CNT <= 30")),
                 QStringLiteral("30|210"));
        QCOMPARE(one(QStringLiteral("select count(*), max(C1) from F02W1H")),
                 QStringLiteral("15|30"));
        QCOMPARE(one(QStringLiteral("select count(*) from F03W4H")), QStringLiteral("3"));
        QCOMPARE(one(QStringLiteral("select count(*) from F04WD1")), QStringLiteral("0"));
    }

    // A file whose shape stops the import names the line and changes nothing.
    void shapeErrors_data() {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("words");
        const QString good = bar("2025/07/01", "09:00", "1", "1", "1", "2025/07/01", "09:15");
        QTest::newRow("one line") << QStringList{good} << "2行未満";
        QTest::newRow("no line") << QStringList{} << "2行未満";
        QTest::newRow("kept line with seven fields")
            << QStringList{good, "2025/07/01,09:15,1,1,1,1,2025/07/01", good}
            << "2 行目の項目が8個未満";
        QTest::newRow("last line short")
            << QStringList{good, good, "Total,3"} << "3 行目の項目が8個未満";
        QTest::newRow("unreadable end")
            << QStringList{good, bar("2025/07/01", "09:00", "1", "1", "1", "2025/07/01", "9時")}
            << "2 行目の終了日時";
        QTest::newRow("unreadable second-to-last end")
            << QStringList{bar("2025/07/01", "09:00", "1", "1", "1", "2025/13/01", "09:15"), good}
            << "1 行目の終了日時";
        QTest::newRow("unreadable start of the last bar")
            << QStringList{good, bar("2025/07/01", "", "1", "1", "1", "2025/07/01", "09:15")
                                     .replace(0, 10, "2025/07/xx")}
            << "2 行目の開始日時";
        // Dates and times as a spreadsheet saves them again would compare wrongly as text.
        QTest::newRow("start date without zeros")
            << QStringList{good, bar("2025/7/1", "09:15", "1", "1", "1", "2025/07/01", "09:30"),
                           good}
            << "2 行目の開始日付 '2025/7/1' は yyyy/mm/dd の形ではありません";
        QTest::newRow("start time without zero")
            << QStringList{bar("2025/07/01", "9:00", "1", "1", "1", "2025/07/01", "09:15"), good}
            << "1 行目の開始時刻 '9:00' は hh:nn の形ではありません";
        QTest::newRow("old line with a short date")
            << QStringList{bar("2025/4/30", "09:00", "1", "1", "1", "2025/4/30", "09:15"), good,
                           good}
            << "1 行目の開始日付 '2025/4/30'";
        QTest::newRow("end date with dashes")
            << QStringList{good, bar("2025/07/01", "09:15", "1", "1", "1", "2025-07-01", "09:30")}
            << "2 行目の終了日付 '2025-07-01'";
        QTest::newRow("recent start date with dashes, which sorts before the cut-off")
            << QStringList{bar("2025-07-01", "09:00", "1", "1", "1", "2025-07-01", "09:15"), good,
                           good}
            << "1 行目の開始日付 '2025-07-01' は yyyy/mm/dd の形ではありません";
        QTest::newRow("end time without zero")
            << QStringList{good, bar("2025/07/01", "09:15", "1", "1", "1", "2025/07/01", "9:30")}
            << "2 行目の終了時刻 '9:30'";
        // In form but no time a clock shows, or no day of the calendar: the training would
        // refuse the bar after the import kept it.
        QTest::newRow("end at 24:00")
            << QStringList{good, bar("2025/07/01", "23:45", "1", "1", "1", "2025/07/01", "24:00"),
                           good}
            << "2 行目の終了日時 '2025/07/01 24:00' は正しい日付時刻ではありません";
        QTest::newRow("start at minute 60")
            << QStringList{bar("2025/07/01", "09:60", "1", "1", "1", "2025/07/01", "10:15"), good}
            << "1 行目の開始日時 '2025/07/01 09:60' は正しい日付時刻ではありません";
        QTest::newRow("start on the 31st of June")
            << QStringList{good, bar("2025/06/31", "09:15", "1", "1", "1", "2025/07/01", "09:30"),
                           good}
            << "2 行目の開始日時 '2025/06/31 09:15' は正しい日付時刻ではありません";
        QTest::newRow("end in month 13")
            << QStringList{good, bar("2025/07/01", "09:15", "1", "1", "1", "2025/13/01", "09:30"),
                           good}
            << "2 行目の終了日時 '2025/13/01 09:30' は正しい日付時刻ではありません";
        QTest::newRow("no bar within two months")
            << QStringList{"Date,Time,O,H,L,C,ED,ET",
                           bar("2025/05/08", "09:00", "1", "1", "1", "2025/05/08", "09:15"),
                           bar("2025/05/08", "09:15", "1", "1", "1", "2025/05/08", "09:30")}
            << "直近2ヶ月(2025/05/09 以降)のFXﾃﾞｰﾀがありません";
    }
    void shapeErrors() {
        QFETCH(QStringList, lines);
        QFETCH(QString, words);
        importLines(bars(at(2025, 7, 1), 100, 15, [](int) { return QStringLiteral("3"); }));
        const QStringList before = everything();
        const Registers reg = session->reg;
        dialogs->clear();
        try {
            session->prices.importFile(writeLines(lines, QStringLiteral("BAD.CSV")));
            QFAIL("the import went through");
        } catch (const TorvaneError& e) {
            QVERIFY2(e.text().contains(words), qPrintable(e.text()));
            QVERIFY2(e.text().contains(QStringLiteral("BAD.CSV")), qPrintable(e.text()));
        }
        QCOMPARE(everything(), before);
        QCOMPARE(session->reg.imcn, reg.imcn);
        QCOMPARE(session->reg.shm, reg.shm);
        QCOMPARE(session->reg.slm, reg.slm);
        QVERIFY(dialogs->messages.isEmpty());
    }

    // A price with a second decimal point keeps its fraction (150.000.5 is 150000.5): the
    // averages read their sums as integers, truncated, and the chart its prices.
    void oddPriceKeepsTheAverages_data() {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("expected");
        QTest::newRow("in a 75-bar window")
            << bars(at(2025, 7, 1, 0, 5), 75, 15,
                    [](int i) {
                        return i == 75 ? QStringLiteral("150.000.5") : QStringLiteral("150000");
                    })
            << QStringLiteral("select CV, M75 from F01YSK where CNT = 75")
            << QStringLiteral("150000.5|150000");
        QTest::newRow("in a 20-row hourly window")
            << bars(at(2025, 7, 1), 21, 60,
                    [](int i) {
                        return i == 20 ? QStringLiteral("150.001.5") : QStringLiteral("150000");
                    })
            << QStringLiteral("select F02W1H.AV, M1H from F02W1H, F01YSK "
                              "where F02W1H.CNT = 20 and F01YSK.CNT = 20")
            << QStringLiteral("150000|150000");
    }
    void oddPriceKeepsTheAverages() {
        QFETCH(QStringList, lines);
        QFETCH(QString, sql);
        QFETCH(QString, expected);
        importLines(lines);
        QCOMPARE(one(sql), expected);
        const ChartData chart = session->forecast.chartData(QStringLiteral("20"));
        QVERIFY2(chart.error.isEmpty(), qPrintable(chart.error));
        QCOMPARE(chart.series[0].size(), lines.size());
        for (const QPointF& p : chart.series[0])
            QVERIFY(p.y() == 150000.0 || p.y() == 150001.0);
    }

    // After the bars are in, one line tells how many, from when to when, at what step.
    void importTellsWhatCameIn_data() {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("text");
        const auto one = [](int) { return QStringLiteral("150000"); };
        QTest::newRow("15-minute bars")
            << bars(at(2025, 7, 1), 80, 15, one)
            << "読込 80本  2025/07/01 00:00 ～ 2025/07/01 20:00  間隔 15分";
        QTest::newRow("hourly bars with a gap, header and old lines")
            << QStringList{"Date,Time,O,H,L,C,ED,ET"} + bars(at(2025, 4, 1), 3, 60, one) +
                   bars(at(2025, 7, 1), 3, 60, one) + bars(at(2025, 7, 2), 2, 60, one)
            << "読込 5本  2025/07/01 00:00 ～ 2025/07/02 02:00  間隔 1時間";
        QTest::newRow("daily bars") << bars(at(2025, 6, 1), 20, 1440, one)
                                    << "読込 20本  2025/06/01 00:00 ～ 2025/06/21 00:00  間隔 1日";
    }
    void importTellsWhatCameIn() {
        QFETCH(QStringList, lines);
        QFETCH(QString, text);
        QStringList told;
        QObject heard;
        connect(&session->prices, &PriceImport::importShown, &heard,
                [&told](const QString& t) { told << t; });
        importLines(lines);
        QCOMPARE(told, QStringList{text});
        QVERIFY(dialogs->messages.size() <= 1); // no box of its own
    }

    void missingFile() {
        QVERIFY_THROWS_EXCEPTION(TorvaneError,
                                 session->prices.importFile(dir->filePath("NONE.CSV")));
    }

    void numericTestMatchesQuotedForm_data() {
        QTest::addColumn<QString>("text");
        for (const char* t :
             {"150", "-5", "+5", " 7 ", "1.5",   "5.",  ".5",  "1e5",  "1E-2",   "0150",  "",   " ",
              ".",   "-",  "e5", "1e",  "1.2.3", "abc", "1 2", "0x10", "１５０", "150　", "\t3"})
            QTest::newRow(t) << QString::fromUtf8(t);
    }
    void numericTestMatchesQuotedForm() {
        QFETCH(QString, text);
        // What SQLite reads as a number literal, with ASCII digits and SQL's blanks only.
        QSqlQuery q(csm());
        static const QRegularExpression literal(
            QStringLiteral(R"(^\s*[+-]?(\d+(\.\d*)?|\.\d+)([eE][+-]?\d+)?\s*$)"));
        const bool sqlAccepts = !text.trimmed().isEmpty() && literal.match(text).hasMatch() &&
                                q.exec(QStringLiteral("select ") + text);
        QCOMPARE(TextRules::isNumericLiteral(text), sqlAccepts);
    }

    void helperAverages() {
        using Averages::KeyedValue;
        using Averages::Value;
        const auto v = [](const QVariant& x) { return Value::of(x); };
        QVector<KeyedValue> rows{
            {1, v(10)}, {2, v(QVariant())}, {4, v(30)}, {4, v(2)}, {6, v(1.5)}};
        QString failure;
        QCOMPARE(Averages::windowAverages(rows, {1, 2, 4, 5}, 2, &failure),
                 (QVector<qint64>{5, 5, 16, 16}));
        QVERIFY(failure.isEmpty());
        // A sum with a fraction is read as an integer, truncated.
        QCOMPARE(Averages::windowAverages(rows, {3, 6}, 2, &failure), (QVector<qint64>{0, 0}));
        QVERIFY(failure.isEmpty());
        // One beyond the integers still stops the averages.
        QCOMPARE(Averages::windowAverages({{7, v(3.0e9)}}, {7}, 2, &failure), (QVector<qint64>{}));
        QVERIFY(failure.contains(QStringLiteral("'3000000000'")));
        QCOMPARE(Averages::fourHourRows({1, 2, 3, 4, 5, 6, 7}, 5), (QVector<int>{4}));
        QCOMPARE(Averages::latestSamples({{1, 5}, {2, 3}, {3, 9}}, {2, 3, 5, 8, 9}),
                 (QVector<int>{-1, 1, 1, 1, 2}));
    }

    void headlessOptions() {
        const HeadlessOptions o = HeadlessOptions::parse(
            {"P.CSV", "--today", "2025/04/30", "--seed", "7", "--table", "out.csv", "--days", "3"});
        QCOMPARE(o.priceFiles, QStringList{QStringLiteral("P.CSV")});
        QCOMPARE(o.today, QDate(2025, 4, 30));
        QCOMPARE(o.seed, std::optional<quint32>(7));
        QCOMPARE(o.days, std::optional<int>(3));
        QCOMPARE(o.tableFile, QStringLiteral("out.csv"));
        QVERIFY(HeadlessOptions::parse({}).priceFiles.isEmpty());
        // Several files are imported in the order given.
        QCOMPARE(HeadlessOptions::parse({"A.CSV", "--report", "B.CSV"}).priceFiles,
                 (QStringList{QStringLiteral("A.CSV"), QStringLiteral("B.CSV")}));
        for (const QStringList& bad :
             {QStringList{"--today", "2025-04-30", "P.CSV"}, QStringList{"P.CSV", "--seed"},
              QStringList{"P.CSV", "--x"}, QStringList{"--table", "o.csv"},
              QStringList{"P.CSV", "--days", "0"}, QStringList{"--convert", "IN.CSV"},
              QStringList{"--shift-hours", "9"},
              QStringList{"P.CSV", "--convert", "IN.CSV", "OUT.CSV"},
              QStringList{"--convert", "IN.CSV", "OUT.CSV", "--shift-hours", "x"}})
            QVERIFY_THROWS_EXCEPTION(TorvaneError, HeadlessOptions::parse(bad));
    }

    void headlessOptionsForZonesHelpAndVersion() {
        const HeadlessOptions zone = HeadlessOptions::parse(
            {"--convert", "IN.CSV", "OUT.CSV", "--from-zone", "Europe/Athens"});
        QCOMPARE(zone.convertIn, QStringLiteral("IN.CSV"));
        QCOMPARE(zone.convertOut, QStringLiteral("OUT.CSV"));
        QCOMPARE(zone.serverTime.text(), QStringLiteral("Europe/Athens"));
        const HeadlessOptions hours =
            HeadlessOptions::parse({"--shift-hours", "-3", "--convert", "IN.CSV", "OUT.CSV"});
        QCOMPARE(hours.serverTime.text(), QStringLiteral("-3"));
        QVERIFY(!hours.serverTime.zone.isValid());
        const HeadlessOptions help = HeadlessOptions::parse({"--help"});
        QVERIFY(help.help);
        for (const char* option : {"--today", "--as-of", "--seed", "--table", "--days",
                                   "--convert", "--shift-hours", "--from-zone", "--version"})
            QVERIFY2(help.helpText.contains(QLatin1String(option)), option);
        QVERIFY(help.helpText.contains(QStringLiteral("PRICE_FILE")));
        QVERIFY(HeadlessOptions::parse({"-v"}).version);
        QVERIFY(!HeadlessOptions::parse({"P.CSV"}).serverTimeGiven);
        // With price files the options say how their platform exports are read; any name the
        // zone database knows, blanks around it dropped, as the window's question takes it.
        for (const char* name : {"Europe/Athens", " EET ", "Etc/UTC", "Japan", "US/Eastern"}) {
            const HeadlessOptions prices =
                HeadlessOptions::parse({"P.CSV", "--from-zone", QString::fromLatin1(name)});
            QVERIFY(prices.serverTimeGiven);
            QCOMPARE(prices.priceFiles, QStringList{QStringLiteral("P.CSV")});
            QCOMPARE(prices.serverTime.text(), QString::fromLatin1(name).trimmed());
            QCOMPARE(PlatformExport::ServerTime::parse(QString::fromLatin1(name)).text(),
                     prices.serverTime.text());
        }
        QCOMPARE(HeadlessOptions::parse({"P.CSV", "--shift-hours", " 7"}).serverTime.text(),
                 QStringLiteral("7"));
        for (const QStringList& bad :
             {QStringList{"--convert", "IN.CSV", "OUT.CSV", "--from-zone", "Mars/Olympus"},
              QStringList{"--convert", "IN.CSV", "OUT.CSV", "--from-zone", "Europe/Athens",
                          "--shift-hours", "2"},
              QStringList{"--from-zone", "Europe/Athens"},
              QStringList{"P.CSV", "--from-zone", "../../etc/localtime"},
              QStringList{"--convert", "IN.CSV", "OUT.CSV", "EXTRA.CSV"},
              QStringList{"P.CSV", "--today"}, QStringList{"-x"}})
            QVERIFY_THROWS_EXCEPTION(UsageError, HeadlessOptions::parse(bad));
    }

    // The headless command cuts what it prints as the window's boxes do: a field of
    // megabytes quoted in an error costs a line, not the terminal.
    void consoleCutsLongTexts() {
        QTemporaryFile captured;
        QVERIFY(captured.open());
        std::fflush(stderr);
        const int saved = ::dup(2);
        ::dup2(captured.handle(), 2);
        ConsoleDialogs().error(QStringLiteral("最高値 '") + QString(3'000'000, u'9'));
        std::fflush(stderr);
        ::dup2(saved, 2);
        ::close(saved);
        captured.seek(0);
        const QString printed = QString::fromUtf8(captured.readAll());
        QVERIFY2(printed.size() < Dialogs::maxShown + 60, qPrintable(printed.right(80)));
        QVERIFY(printed.startsWith(QStringLiteral("最高値 '999")));
        QVERIFY(printed.contains(
            QStringLiteral("以下 %1 文字を省略しました").arg(3'000'005 - Dialogs::maxShown)));
    }

    // Platform exports among the price files of the headless command: read as the options say,
    // or as the answer remembered from the window; with neither, the whole run is refused before
    // anything is imported, instead of reading the bars with no shift at all.
    void headlessPlatformExports_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("remembered"); // null: nothing remembered
        QTest::addColumn<QString>("firstStart"); // empty: refused
        QTest::newRow("neither option nor a remembered answer")
            << QStringList{} << QString() << QString();
        QTest::newRow("--shift-hours") << QStringList{"--shift-hours", "7"} << QString() << "17:00";
        QTest::newRow("--from-zone in summer time")
            << QStringList{"--from-zone", "Europe/Athens"} << QString() << "16:00";
        QTest::newRow("the window's remembered answer") << QStringList{} << "7"
                                                        << "17:00";
        QTest::newRow("an option before the remembered answer")
            << QStringList{"--shift-hours", "-2"} << "7"
            << "08:00";
    }
    void headlessPlatformExports() {
        QFETCH(QStringList, options);
        QFETCH(QString, remembered);
        QFETCH(QString, firstStart);
        if (!remembered.isNull())
            QSettings(QStringLiteral("torvane"), QStringLiteral("torvane"))
                .setValue(QLatin1String(PriceImport::serverTimeKey), remembered);
        const QString plain = writeLines(
            bars(at(2025, 7, 8, 9), 3, 15, [](int i) { return QString::number(150000 + i); }),
            QStringLiteral("PLAIN.CSV"));
        const QString mt4 = writeLines({"2025.07.08,10:00,150.100,150.200,150.000,150.150,120",
                                        "2025.07.08,10:15,150.150,150.300,150.100,150.250,98"},
                                       QStringLiteral("MT4.CSV"));
        session.reset();
        session = std::make_unique<Session>(*dialogs, QStringLiteral(TORVANE_SOURCE_DIR "/data"));
        HeadlessPipeline pipeline(
            *session,
            HeadlessOptions::parse(QStringList{plain, mt4, "--today", "2025/07/09", "--seed", "3"} +
                                   options));
        const auto logged = [&] {
            QSqlQuery q(session->dm.database(session->dm.csq()));
            return q.exec(QStringLiteral("select count(*) from F10YSR")) && q.next()
                       ? q.value(0).toInt()
                       : -1;
        };
        if (firstStart.isEmpty()) {
            try {
                pipeline.run();
                QFAIL("the run went through");
            } catch (const UsageError& e) {
                QVERIFY2(
                    e.text().contains(QStringLiteral("MT4.CSV は MT4 の書き出しファイルです")) &&
                        e.text().contains(QStringLiteral("--shift-hours")) &&
                        e.text().contains(QStringLiteral("--from-zone")),
                    qPrintable(e.text()));
            }
            QVERIFY(dialogs->textQuestions.isEmpty());
            session->openDatabases();
            QCOMPARE(logged(), 0);
            return;
        }
        const QStringList printed = pipeline.run();
        // Asked (and answered with the remembered text) only without an option.
        QCOMPARE(dialogs->textQuestions.size(), options.isEmpty() ? 1 : 0);
        QCOMPARE(printed.filter(QStringLiteral("MSE")).size(), 2);
        QCOMPARE(one(QStringLiteral("select SHM from F01YSK where CNT = 1")), firstStart);
        QCOMPARE(logged(), 2);
        // A given option is for this run: nothing new is remembered.
        QCOMPARE(QSettings(QStringLiteral("torvane"), QStringLiteral("torvane"))
                     .value(QLatin1String(PriceImport::serverTimeKey))
                     .toString(),
                 remembered.isNull() ? QString() : remembered);
    }

    // Each file's summary is passed on as soon as its forecast is done: a later file that stops
    // the run does not hide what an earlier one trained and logged.
    void headlessPrintsEachSummaryWhenItIsDone() {
        const QString good = writeLines(
            bars(at(2025, 7, 8, 9), 3, 15, [](int i) { return QString::number(150000 + i); }),
            QStringLiteral("GOOD.CSV"));
        const QString bad = writeLines({"Date,Time"}, QStringLiteral("BAD.CSV"));
        session.reset();
        session = std::make_unique<Session>(*dialogs, QStringLiteral(TORVANE_SOURCE_DIR "/data"));
        QStringList passedOn;
        try {
            HeadlessPipeline(*session, HeadlessOptions::parse({good, bad, "--today", "2025/07/09",
                                                               "--seed", "3", "--report"}))
                .run([&](const QString& line) { passedOn << line; });
            QFAIL("the run went through");
        } catch (const TorvaneError& e) {
            QVERIFY2(e.text().contains(QStringLiteral("BAD.CSV")), qPrintable(e.text()));
        }
        QCOMPARE(passedOn.size(), 4);
        QVERIFY2(passedOn[0].startsWith(QStringLiteral("最終高値:")), qPrintable(passedOn[0]));
        QVERIFY(passedOn[3].startsWith(QStringLiteral("MSE(平均二乗誤差) ")));
    }

    void headlessPipelineWritesTheTable() {
        session.reset(); // the pipeline does the start-up work itself
        session = std::make_unique<Session>(*dialogs, QStringLiteral(TORVANE_SOURCE_DIR "/data"));
        const QString prices = writeLines(
            {"Date,Time,O,H,L,C,ED,ET",
             bar("2025/02/28", "23:45", "150.1", "", "150.05", "2025/03/01", "00:00"),
             bar("2025/03/01", "00:00", "150.2", "150.0", "150.1", "2025/03/01", "00:15")});
        HeadlessOptions options =
            HeadlessOptions::parse({prices, "--today", "2025/04/30", "--seed", "3", "--table",
                                    dir->filePath("F01YSK.csv")});
        const QStringList printed = HeadlessPipeline(*session, options).run();
        QCOMPARE(Clock::today(), QDate(2025, 4, 30));
        QCOMPARE(printed.size(), 4);
        QVERIFY(printed[0].startsWith(QStringLiteral("最終高値: 1502")));
        QVERIFY(printed[3].startsWith(QStringLiteral("MSE(平均二乗誤差) ")));
        QFile out(dir->filePath("F01YSK.csv"));
        QVERIFY(out.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = out.readAll().split('\n');
        QCOMPARE(lines.size(), 13); // twelve lines and the empty rest after the last CR LF
        QCOMPARE(lines[0], QByteArray("1,2025/02/28,23:45,1501,,15005,,,,,2025/03/01,00:00\r"));
        QCOMPARE(lines[1], QByteArray("2,2025/03/01,00:00,1502,1500,1501,,,,,2025/03/01,00:15\r"));
        // The slots carry the forecast high, low and close within the scaling bounds.
        const QRegularExpression slot(QStringLiteral(
            R"(^(\d+),2025/03/01,(\d\d:\d\d),(\d+),(\d+),(\d+),,,,,2025/03/01,\d\d:\d\d\r$)"));
        for (int k = 2; k < 12; ++k) {
            const QRegularExpressionMatch m = slot.match(QString::fromLatin1(lines[k]));
            QVERIFY2(m.hasMatch(), lines[k].constData());
            QCOMPARE(m.captured(1).toInt(), k + 1);
            for (int price = 3; price <= 5; ++price)
                QVERIFY(m.captured(price).toInt() >= 500 && m.captured(price).toInt() <= 2502);
        }
        QVERIFY(lines[11].startsWith("12,2025/03/01,02:30,"));
    }

    void headlessAsOfOptions_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QDateTime>("asOf");   // invalid: refused
        QTest::addColumn<QString>("refusal"); // what the refusal says
        const QDateTime none;
        QTest::newRow("a moment") << QStringList{"P.CSV", "--as-of", "2025/07/08 10:05"}
                                  << QDateTime(QDate(2025, 7, 8), QTime(10, 5)) << QString();
        QTest::newRow("unpadded, blanks around")
            << QStringList{"P.CSV", "--as-of", " 2025/7/8  9:05 "}
            << QDateTime(QDate(2025, 7, 8), QTime(9, 5)) << QString();
        QTest::newRow("with --today")
            << QStringList{"P.CSV", "--as-of", "2025/07/08 10:05", "--today", "2025/07/08"} << none
            << "--as-of と --today は同時に指定できません";
        QTest::newRow("a date alone") << QStringList{"P.CSV", "--as-of", "2025/07/08"} << none
                                      << "--as-of の日時 '2025/07/08' を読めません";
        QTest::newRow("no day of the calendar")
            << QStringList{"P.CSV", "--as-of", "2025/02/30 10:00"} << none
            << "--as-of の日時 '2025/02/30 10:00' を読めません";
        QTest::newRow("no time of the clock")
            << QStringList{"P.CSV", "--as-of", "2025/07/08 24:00"} << none
            << "--as-of の日時 '2025/07/08 24:00' を読めません";
        QTest::newRow("dashes") << QStringList{"P.CSV", "--as-of", "2025-07-08 10:00"} << none
                                << "--as-of の日時 '2025-07-08 10:00' を読めません";
        QTest::newRow("no value") << QStringList{"P.CSV", "--as-of"} << none << "--as-of";
        QTest::newRow("without a price file")
            << QStringList{"--as-of", "2025/07/08 10:05"} << none
            << "--as-of には価格ファイルが必要です";
        QTest::newRow("with --report")
            << QStringList{"P.CSV", "--as-of", "2025/07/08 10:05", "--report"} << none
            << "--as-of と --report は同時に指定できません";
    }
    void headlessAsOfOptions() {
        QFETCH(QStringList, arguments);
        QFETCH(QDateTime, asOf);
        QFETCH(QString, refusal);
        try {
            const HeadlessOptions options = HeadlessOptions::parse(arguments);
            QVERIFY2(asOf.isValid(), "not refused");
            QCOMPARE(options.asOf, asOf);
            QVERIFY(!options.today.isValid());
        } catch (const UsageError& e) {
            QVERIFY2(!asOf.isValid(), qPrintable(e.text()));
            QVERIFY2(e.text().contains(refusal), qPrintable(e.text()));
            QVERIFY(e.text().contains(HeadlessOptions::usage()));
        }
    }

    // A forecast as of a moment is the forecast made then: the same printed lines and table, bit
    // for bit, as the file cut by hand after its last line ending at or before the moment, run
    // with the clock at the moment. The two-month cut-off follows the moment (the bars of May
    // are kept or dropped by its day), a text price before it is skipped as ever, and whatever
    // comes after it (other prices, another interval, lines the import would refuse) changes
    // nothing.
    void headlessAsOf_data() {
        QTest::addColumn<QString>("moment");
        QTest::addColumn<int>("kept"); // lines of the file up to the moment
        QTest::newRow("at a bar's end, May 7 kept") << "2025/07/07 13:00" << 3 + 16;
        QTest::newRow("between two bar ends, May 7 dropped") << "2025/07/08 11:10" << 3 + 40 + 8;
        QTest::newRow("a minute before a bar's end") << "2025/07/08 18:59" << 3 + 79;
        QTest::newRow("at the end of the last bar before the rest") << "2025/07/08 19:00" << 3 + 80;
    }
    void headlessAsOf() {
        QFETCH(QString, moment);
        QFETCH(int, kept);
        const QStringList prefix = asOfPrefix();
        const QString full = writeLines(prefix + asOfRest(), QStringLiteral("FULL.CSV"));
        const QString cut = writeLines(prefix.mid(0, kept), QStringLiteral("CUT.CSV"));
        const QDateTime then = TextRules::readDateTime(moment);
        Clock::fix(then);
        const QStringList expected = headlessRun({cut}, QStringLiteral("expected.csv"));
        QCOMPARE(expected.size(), 4);
        const QByteArray table = fileBytes(QStringLiteral("expected.csv"));
        // The text price is skipped and its number kept, as the import does.
        const auto numberAt = [&](const char* start) {
            const QRegularExpressionMatch m =
                QRegularExpression(QStringLiteral("\n(\\d+),") + QLatin1String(start) + u',')
                    .match(QString::fromLatin1(table));
            return m.hasMatch() ? m.captured(1).toInt() : -1;
        };
        QVERIFY(numberAt("2025/07/07,10:00") > 0);
        QCOMPARE(numberAt("2025/07/07,10:15"), -1);
        QCOMPARE(numberAt("2025/07/07,10:30"), numberAt("2025/07/07,10:00") + 2);
        for (const QString& file : {full, cut}) {
            Clock::fix(QDateTime(QDate(2025, 7, 9), QTime(12, 0))); // the run fixes its own
            QCOMPARE(headlessRun({file, QStringLiteral("--as-of"), moment},
                                 QStringLiteral("asof.csv")),
                     expected);
            QCOMPARE(fileBytes(QStringLiteral("asof.csv")), table);
            QCOMPARE(Clock::now(), then);
        }
    }

    // A platform export is cut after its conversion: the moment is Japan time, not the
    // server's (in server time every bar would end before it).
    void headlessAsOfCutsAPlatformExportInJapanTime() {
        QStringList mt4;
        for (int i = 0; i < 6; ++i)
            mt4 << QStringLiteral("2025.07.08,%1:%2,150.100,150.2%3,150.000,150.1%3,120")
                       .arg(10 + i / 4)
                       .arg(i % 4 * 15, 2, 10, QChar(u'0'))
                       .arg(i);
        const QString exported = writeLines(mt4, QStringLiteral("MT4.CSV"));
        const QString converted = dir->filePath(QStringLiteral("CONVERTED.CSV"));
        PlatformExport::convertFile(exported, converted, PlatformExport::ServerTime(7));
        const QStringList lines = TextFile::readLines(converted, TextFile::Encoding::BomOrLatin);
        QCOMPARE(lines.size(), 6);
        QCOMPARE(lines[2].section(u',', 6, 7), QStringLiteral("2025/07/08,17:45"));
        const QString moment = QStringLiteral("2025/07/08 17:50");
        Clock::fix(TextRules::readDateTime(moment));
        const QStringList expected =
            headlessRun({writeLines(lines.mid(0, 3), QStringLiteral("CUT.CSV"))},
                        QStringLiteral("expected.csv"));
        Clock::fix(QDateTime(QDate(2025, 7, 9), QTime(12, 0)));
        QCOMPARE(headlessRun({exported, QStringLiteral("--shift-hours"), QStringLiteral("7"),
                              QStringLiteral("--as-of"), moment},
                             QStringLiteral("asof.csv")),
                 expected);
        QCOMPARE(fileBytes(QStringLiteral("asof.csv")), fileBytes(QStringLiteral("expected.csv")));
    }

    // A run as of a moment leaves the forecast log as it found it: it logs no forecast and scores
    // none, though its bars reach the target of a logged one; the same bars imported at that
    // moment do both. A moment before the file's first bar ends is refused, naming both.
    void headlessAsOfLeavesTheLog() {
        const QStringList prefix = asOfPrefix();
        const QString full = writeLines(prefix + asOfRest(), QStringLiteral("FULL.CSV"));
        Clock::fix(QDateTime(QDate(2025, 7, 7), QTime(13, 0)));
        headlessRun({writeLines(prefix.mid(0, 3 + 16), QStringLiteral("EARLY.CSV"))},
                    QStringLiteral("early.csv"));
        const auto log = [&] {
            QStringList rows;
            QSqlQuery q(session->dm.database(session->dm.csq()));
            if (!q.exec(QStringLiteral("select rowid, * from F10YSR order by rowid")))
                return QStringList{q.lastError().text()};
            while (q.next()) {
                QStringList fields;
                for (int i = 0; i < q.record().count(); ++i)
                    fields << cell(q.value(i));
                rows << fields.join(u'|');
            }
            return rows;
        };
        const QStringList before = log();
        QCOMPARE(before.size(), 1);
        const QByteArray database = fileBytes(QStringLiteral("SQDB.DB"));

        headlessRun({full, QStringLiteral("--as-of"), QStringLiteral("2025/07/08 19:00")},
                    QStringLiteral("asof.csv"));
        QCOMPARE(log(), before);
        try {
            headlessRun({full, QStringLiteral("--as-of"), QStringLiteral("2025/05/07 09:14")},
                        QStringLiteral("none.csv"));
            QFAIL("the run went through");
        } catch (const TorvaneError& e) {
            QVERIFY2(e.text().contains(QStringLiteral("FULL.CSV")) &&
                         e.text().contains(QStringLiteral("2025/05/07 09:14")),
                     qPrintable(e.text()));
        }
        QCOMPARE(log(), before);
        QCOMPARE(fileBytes(QStringLiteral("SQDB.DB")), database);

        Clock::fix(QDateTime(QDate(2025, 7, 8), QTime(19, 0)));
        headlessRun({writeLines(prefix, QStringLiteral("LATE.CSV"))}, QStringLiteral("late.csv"));
        const QStringList after = log();
        QCOMPARE(after.size(), 2);
        QVERIFY2(after[0] != before[0], qPrintable(after[0])); // scored
    }

private:
    // A price file for runs as of a moment, 83 lines: a header, a bar of 2025/05/07 and one of
    // 2025/05/08, which the two-month cut-off keeps or drops by the moment's day, then 15-minute
    // bars over 2025/07/07 and 2025/07/08 from 09:00 to 19:00, the sixth of each day with the
    // text price "abc".
    static QStringList asOfPrefix() {
        QStringList lines{
            QStringLiteral("Date,Time,Open,High,Low,Close,EndDate,EndTime"),
            bar("2025/05/07", "09:00", "150011", "150009", "150010", "2025/05/07", "09:15"),
            bar("2025/05/08", "09:00", "150021", "150019", "150020", "2025/05/08", "09:15")};
        const auto close = [](int i) {
            return i == 6 ? QStringLiteral("abc") : QString::number(150000 + (i * 37) % 23 * 5);
        };
        lines << bars(at(2025, 7, 7, 9), 40, 15, close) << bars(at(2025, 7, 8, 9), 40, 15, close);
        return lines;
    }
    // What follows every moment of the tests: prices far off at another interval, and lines the
    // import would refuse if it read them (dates not zero-padded, too few fields).
    static QStringList asOfRest() {
        QStringList lines = bars(at(2025, 7, 9, 0), 6, 60,
                                 [](int i) { return QString::number(900000 + i * 50000); });
        lines << bar("2025/7/9", "7:00", "1", "1", "1", "2025/7/9", "8:00")
              << QStringLiteral("2025/07/09,08:00,1");
        return lines;
    }

    // One headless run, seeded and writing its table, in a session of its own over this
    // folder's SQDB.DB; what it printed.
    QStringList headlessRun(const QStringList& arguments, const QString& table) {
        session.reset();
        session = std::make_unique<Session>(*dialogs, QStringLiteral(TORVANE_SOURCE_DIR "/data"));
        return HeadlessPipeline(*session,
                                HeadlessOptions::parse(arguments +
                                                       QStringList{QStringLiteral("--seed"),
                                                                   QStringLiteral("3"),
                                                                   QStringLiteral("--table"),
                                                                   dir->filePath(table)}))
            .run();
    }
    QByteArray fileBytes(const QString& name) {
        QFile f(dir->filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
    }
};

QTEST_GUILESS_MAIN(TestPrices)
#include "test_prices.moc"
