#include "records/EventMath.h"
#include "records/RegisterTable.h"
#include "store/TorvaneError.h"

#include <QTest>

class TestEventMath : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The texts as the page hands them over, their first decimal point already removed.
    void differences_data() {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("result");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("percent");
        QTest::newRow("0.3 against 0.5") << "03"
                                         << "05" << 2 << 40;
        QTest::newRow("1.5 against 1.2") << "15"
                                         << "12" << -3 << -25;
        QTest::newRow("-0.1 against 0.2") << "-01"
                                          << "02" << 3 << 150;
        QTest::newRow("half a yen near 145 yen truncates to 0%") << "145500"
                                                                 << "146000" << 500 << 0;
        QTest::newRow("negative percentage truncates toward zero") << "146000"
                                                                   << "145500" << -500 << 0;
        QTest::newRow("a third truncates down") << "1"
                                                << "3" << 2 << 66;
        QTest::newRow("a negative third truncates up") << "4"
                                                       << "3" << -1 << -33;
        QTest::newRow("largest product that fits") << "0"
                                                   << "21474836" << 21474836 << 100;
    }
    void differences() {
        QFETCH(QString, base);
        QFETCH(QString, result);
        const EventMath::Difference d =
            EventMath::difference(base, result, QStringLiteral("結果値"));
        QTEST(d.value, "value");
        QTEST(d.percent, "percent");
    }

    void differenceErrors_data() {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("zero announced value") << "03"
                                              << "0"
                                              << "結果値が0";
        QTest::newRow("unreadable base") << "0,3"
                                         << "05"
                                         << "0,3";
        QTest::newRow("unreadable result") << "03"
                                           << "abc"
                                           << "abc";
        QTest::newRow("empty base") << ""
                                    << "05"
                                    << "''";
        QTest::newRow("difference beyond 32 bits") << "-2147483648"
                                                   << "2147483647"
                                                   << "大きすぎ";
        QTest::newRow("product beyond 32 bits") << "0"
                                                << "21474837"
                                                << "大きすぎ";
    }
    void differenceErrors() {
        QFETCH(QString, base);
        QFETCH(QString, result);
        QFETCH(QString, mentions);
        try {
            EventMath::difference(base, result, QStringLiteral("結果値"));
            QFAIL("no error reported");
        } catch (const TorvaneError& e) {
            QVERIFY2(e.text().contains(mentions), qPrintable(e.text()));
        }
    }

    void bounds_data() {
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("time");
        QTest::addColumn<QString>("beforeDate");
        QTest::addColumn<QString>("beforeTime");
        QTest::addColumn<QString>("afterDate");
        QTest::addColumn<QString>("afterTime");
        QTest::newRow("evening") << "2024/05/10"
                                 << "21:30"
                                 << "2024/05/10"
                                 << "21:30"
                                 << "2024/05/10"
                                 << "22:00";
        QTest::newRow("midnight belongs to the day before") << "2024/05/10"
                                                            << "00:00"
                                                            << "2024/05/09"
                                                            << "24:00"
                                                            << "2024/05/10"
                                                            << "01:00";
        QTest::newRow("next hour after 23 is the next day") << "2024/05/10"
                                                            << "23:30"
                                                            << "2024/05/10"
                                                            << "23:30"
                                                            << "2024/05/11"
                                                            << "00:00";
        QTest::newRow("month end") << "2024/05/31"
                                   << "23:05"
                                   << "2024/05/31"
                                   << "23:05"
                                   << "2024/06/01"
                                   << "00:00";
        QTest::newRow("morning hour gets its zero") << "2024/05/10"
                                                    << "08:15"
                                                    << "2024/05/10"
                                                    << "08:15"
                                                    << "2024/05/10"
                                                    << "09:00";
    }
    void bounds() {
        QFETCH(QString, date);
        QFETCH(QString, time);
        const EventMath::Bound before = EventMath::beforeBound(date, time);
        const EventMath::Bound after = EventMath::afterBound(date, time);
        QTEST(before.date, "beforeDate");
        QTEST(before.time, "beforeTime");
        QTEST(after.date, "afterDate");
        QTEST(after.time, "afterTime");
    }

    void unreadableBoundsAreReported() {
        QVERIFY_THROWS_EXCEPTION(TorvaneError, EventMath::afterBound("2024/05/10", "9:30"));
        QVERIFY_THROWS_EXCEPTION(TorvaneError, EventMath::beforeBound("2024/5/", "00:00"));
        QVERIFY_THROWS_EXCEPTION(TorvaneError, EventMath::afterBound("10.05.2024", "23:10"));
        // The date is only read where a day has to be added or taken away.
        QCOMPARE(EventMath::afterBound("10.05.2024", "21:10").date, QStringLiteral("10.05.2024"));
    }

    // The price look-up says which field it cannot read, in words the user can act on.
    void unreadableBoundsNameTheField_data() {
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("time");
        QTest::addColumn<QString>("words");
        QTest::newRow("empty time") << "2024/05/10"
                                    << ""
                                    << "時間 ''";
        QTest::newRow("letters for the time") << "2024/05/10"
                                              << "ab:00"
                                              << "時間 'ab:00'";
        QTest::newRow("unreadable date at midnight") << "2024/5/"
                                                     << "00:00"
                                                     << "発表日 '2024/5/'";
        QTest::newRow("unreadable date before midnight") << "x"
                                                         << "23:10"
                                                         << "発表日 'x'";
    }
    void unreadableBoundsNameTheField() {
        QFETCH(QString, date);
        QFETCH(QString, time);
        QFETCH(QString, words);
        try {
            EventMath::beforeBound(date, time);
            EventMath::afterBound(date, time);
            QFAIL("the look-up went through");
        } catch (const TorvaneError& e) {
            QVERIFY2(e.text().contains(words), qPrintable(e.text()));
            QVERIFY2(!e.text().contains(QStringLiteral("整数")), qPrintable(e.text()));
        }
    }

    void filtersDoubleQuotes() {
        QCOMPARE(RegisterTables::categoryFilter(QStringLiteral("O'Neil")),
                 QStringLiteral(" where EKB = 'O''Neil' order by cnt "));
        QCOMPARE(RegisterTables::eventNameFilter(QStringLiteral("a'; drop table F06EVR; --")),
                 QStringLiteral(" where  ENW =  'a''; drop table F06EVR; --' order by cnt "));
    }
};

QTEST_GUILESS_MAIN(TestEventMath)
#include "test_eventmath.moc"
