#include "records/Steppers.h"
#include "store/Clock.h"
#include "store/TorvaneError.h"
#include "support/TestDialogs.h"

#include <QTest>

class TestSteppers : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { Clock::fix(QDateTime(QDate(2025, 7, 9), QTime(10, 15))); }
    void cleanupTestCase() { Clock::release(); }

    void dates_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("shift");
        QTest::addColumn<QString>("result");
        QTest::newRow("empty down is tomorrow") << "" << 40 << false << "2025/07/10";
        QTest::newRow("up is a day earlier") << "2024/03/01" << 38 << false << "2024/02/29";
        QTest::newRow("short parts are read") << "2024/3/1" << 40 << false << "2024/03/02";
        QTest::newRow("shift down keeps or cuts the day")
            << "2024/01/31" << 40 << true << "2024/02/29";
        QTest::newRow("shift up a month") << "2024/03/31" << 38 << true << "2024/02/29";
        QTest::newRow("year boundary") << "2024/12/31" << 40 << false << "2025/01/01";
        QTest::newRow("other key does nothing") << "2024/03/01" << 13 << false << "2024/03/01";
    }
    void dates() {
        QFETCH(QString, text);
        QFETCH(int, key);
        QFETCH(bool, shift);
        QFETCH(QString, result);
        TestDialogs dialogs;
        Steppers::ucDt(text, key, shift ? Qt::ShiftModifier : Qt::NoModifier, dialogs);
        QCOMPARE(text, result);
        QVERIFY(dialogs.messages.isEmpty());
    }

    void unreadableDateIsKept_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("letters") << "abc";
        QTest::newRow("no such day") << "2024/02/30";
        QTest::newRow("time") << "10:15";
        QTest::newRow("step before year 1") << "1/1/1";
        QTest::newRow("year 0") << "0000/01/01";
    }
    void unreadableDateIsKept() {
        QFETCH(QString, text);
        TestDialogs dialogs;
        QString value = text;
        Steppers::ucDt(value, 38, Qt::NoModifier, dialogs);
        QCOMPARE(value, text);
        QCOMPARE(dialogs.messages, QStringList{QStringLiteral("日付を確認してください")});
    }

    void times_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("result");
        QTest::newRow("empty up") << "" << 38 << "00:05";
        QTest::newRow("up past midnight") << "23:55" << 38 << "00:00";
        QTest::newRow("down below 00:05 wraps") << "00:00" << 40 << "23:55";
        QTest::newRow("short parts") << "9:3" << 40 << "08:58";
        QTest::newRow("seconds dropped") << "10:00:30" << 38 << "10:05";
    }
    void times() {
        QFETCH(QString, text);
        QFETCH(int, key);
        QFETCH(QString, result);
        Steppers::ucTm(text, key);
        QCOMPARE(text, result);
    }

    void numbers_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("result");
        QTest::newRow("empty up") << "" << 38 << "02";
        QTest::newRow("empty down") << "" << 40 << "20";
        QTest::newRow("20 up") << "20" << 38 << "01";
        QTest::newRow("01 down") << "01" << 40 << "20";
        QTest::newRow("7 up") << "7" << 38 << "08";
        QTest::newRow("above 20 up") << "25" << 38 << "01";
        QTest::newRow("largest int up") << "2147483647" << 38 << "01";
        QTest::newRow("smallest int down") << "-2147483648" << 40 << "20";
    }
    void numbers() {
        QFETCH(QString, text);
        QFETCH(int, key);
        QFETCH(QString, result);
        Steppers::ucNm(text, key);
        QCOMPARE(text, result);
    }

    void unreadableTimeAndNumberThrowAndKeepText() {
        QString time = QStringLiteral("ab:cd");
        QVERIFY_THROWS_EXCEPTION(TorvaneError, Steppers::ucTm(time, 38));
        QCOMPARE(time, QStringLiteral("ab:cd"));
        QString number = QStringLiteral("x");
        QVERIFY_THROWS_EXCEPTION(TorvaneError, Steppers::ucNm(number, 40));
        QCOMPARE(number, QStringLiteral("x"));
    }
};

QTEST_GUILESS_MAIN(TestSteppers)
#include "test_steppers.moc"
