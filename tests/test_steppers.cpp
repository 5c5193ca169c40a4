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
        QTest::newRow("empty down is tomorrow") << "" << Vk::Down << false << "2025/07/10";
        QTest::newRow("up is a day earlier") << "2024/03/01" << Vk::Up << false << "2024/02/29";
        QTest::newRow("short parts are read") << "2024/3/1" << Vk::Down << false << "2024/03/02";
        QTest::newRow("shift down keeps or cuts the day")
            << "2024/01/31" << Vk::Down << true << "2024/02/29";
        QTest::newRow("shift up a month") << "2024/03/31" << Vk::Up << true << "2024/02/29";
        QTest::newRow("year boundary") << "2024/12/31" << Vk::Down << false << "2025/01/01";
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
        Steppers::ucDt(value, Vk::Up, Qt::NoModifier, dialogs);
        QCOMPARE(value, text);
        QCOMPARE(dialogs.messages, QStringList{QStringLiteral("日付を確認してください")});
    }

    void times_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("result");
        QTest::newRow("empty up") << "" << Vk::Up << "00:05";
        QTest::newRow("up past midnight") << "23:55" << Vk::Up << "00:00";
        QTest::newRow("down below 00:05 wraps") << "00:00" << Vk::Down << "23:55";
        QTest::newRow("short parts") << "9:3" << Vk::Down << "08:58";
        QTest::newRow("seconds dropped") << "10:00:30" << Vk::Up << "10:05";
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
        QTest::newRow("empty up") << "" << Vk::Up << "02";
        QTest::newRow("empty down") << "" << Vk::Down << "20";
        QTest::newRow("20 up") << "20" << Vk::Up << "01";
        QTest::newRow("01 down") << "01" << Vk::Down << "20";
        QTest::newRow("7 up") << "7" << Vk::Up << "08";
        QTest::newRow("above 20 up") << "25" << Vk::Up << "01";
        QTest::newRow("largest int up") << "2147483647" << Vk::Up << "01";
        QTest::newRow("smallest int down") << "-2147483648" << Vk::Down << "20";
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
        QVERIFY_THROWS_EXCEPTION(TorvaneError, Steppers::ucTm(time, Vk::Up));
        QCOMPARE(time, QStringLiteral("ab:cd"));
        QString number = QStringLiteral("x");
        QVERIFY_THROWS_EXCEPTION(TorvaneError, Steppers::ucNm(number, Vk::Down));
        QCOMPARE(number, QStringLiteral("x"));
    }
};

QTEST_GUILESS_MAIN(TestSteppers)
#include "test_steppers.moc"
