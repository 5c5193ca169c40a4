#include "store/TextRules.h"
#include "store/TorvaneError.h"

#include <QTest>

#include <limits>

// The text rules every part of the program reads with, one table of cases each.
class TestTextRules : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void readDate_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDate>("date");
        QTest::newRow("written form") << "2024/05/10" << QDate(2024, 5, 10);
        QTest::newRow("short parts") << "2024/5/1" << QDate(2024, 5, 1);
        QTest::newRow("blanks around") << " 2024/05/10\t" << QDate(2024, 5, 10);
        QTest::newRow("year 1") << "1/01/01" << QDate(1, 1, 1);
        QTest::newRow("no such day") << "2023/02/29" << QDate();
        QTest::newRow("leap day") << "2024/02/29" << QDate(2024, 2, 29);
        QTest::newRow("month 13") << "2024/13/01" << QDate();
        QTest::newRow("dashes") << "2025-04-30" << QDate();
        QTest::newRow("dots") << "10.05.2024" << QDate();
        QTest::newRow("five-digit year") << "20240/05/10" << QDate();
        QTest::newRow("three-digit day") << "2024/05/010" << QDate();
        QTest::newRow("sign") << "+2024/05/10" << QDate();
        QTest::newRow("time after it") << "2024/05/10 10:00" << QDate();
        QTest::newRow("full-width digits") << QString::fromUtf8("２０２４/05/10") << QDate();
        QTest::newRow("empty") << "" << QDate();
    }
    void readDate() {
        QFETCH(QString, text);
        QFETCH(QDate, date);
        QCOMPARE(TextRules::readDate(text), date);
        if (date.isValid())
            QCOMPARE(TextRules::readDate(TextRules::dateText(date)), date);
    }

    void readTime_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QTime>("time");
        QTest::newRow("hh:nn") << "09:30" << QTime(9, 30);
        QTest::newRow("h:n") << "9:5" << QTime(9, 5);
        QTest::newRow("seconds") << "23:59:59" << QTime(23, 59, 59);
        QTest::newRow("blanks around") << " 10:00 " << QTime(10, 0);
        QTest::newRow("hour 24") << "24:00" << QTime();
        QTest::newRow("minute 60") << "10:60" << QTime();
        QTest::newRow("second 60") << "10:00:60" << QTime();
        QTest::newRow("three-digit minute") << "10:000" << QTime();
        QTest::newRow("no minutes") << "10" << QTime();
        QTest::newRow("dot") << "10.30" << QTime();
        QTest::newRow("empty") << "" << QTime();
    }
    void readTime() {
        QFETCH(QString, text);
        QFETCH(QTime, time);
        QCOMPARE(TextRules::readTime(text), time);
    }

    void readDateTime_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("moment");
        QTest::newRow("date and time")
            << "2024/05/10 10:05" << QDateTime(QDate(2024, 5, 10), QTime(10, 5));
        QTest::newRow("with seconds")
            << "2024/05/10 10:05:30" << QDateTime(QDate(2024, 5, 10), QTime(10, 5, 30));
        QTest::newRow("date alone") << "2024/05/10" << QDateTime(QDate(2024, 5, 10), QTime(0, 0));
        QTest::newRow("time alone") << "10:05" << QDateTime(QDate(1899, 12, 30), QTime(10, 5));
        QTest::newRow("bad time") << "2024/05/10 25:00" << QDateTime();
        QTest::newRow("bad date") << "2024/02/30 10:00" << QDateTime();
        QTest::newRow("words") << "tomorrow" << QDateTime();
        QTest::newRow("empty") << "" << QDateTime();
    }
    void readDateTime() {
        QFETCH(QString, text);
        QFETCH(QDateTime, moment);
        QCOMPARE(TextRules::readDateTime(text), moment);
    }

    void integerOrError_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("readable");
        QTest::addColumn<qint64>("value");
        QTest::newRow("plain") << "150" << true << qint64(150);
        QTest::newRow("signed") << "-7" << true << qint64(-7);
        QTest::newRow("plus") << "+7" << true << qint64(7);
        QTest::newRow("blanks around") << " 12 " << true << qint64(12);
        QTest::newRow("beyond 32 bits") << "4294967296" << true << qint64(4294967296LL);
        QTest::newRow("decimal") << "1.5" << false << qint64(0);
        QTest::newRow("letters") << "12a" << false << qint64(0);
        QTest::newRow("empty") << "" << false << qint64(0);
    }
    void integerOrError() {
        QFETCH(QString, text);
        QFETCH(bool, readable);
        QFETCH(qint64, value);
        if (!readable) {
            QVERIFY_THROWS_EXCEPTION(TorvaneError, TextRules::integerOf(text));
            QVERIFY_THROWS_EXCEPTION(TorvaneError, TextRules::intOf(text));
            try {
                TextRules::intOf(text);
            } catch (const TorvaneError& e) {
                QCOMPARE(e.text(), QStringLiteral("'%1' は正しい整数ではありません").arg(text));
            }
            return;
        }
        QCOMPARE(TextRules::integerOf(text), value);
        if (value > std::numeric_limits<int>::max())
            QVERIFY_THROWS_EXCEPTION(TorvaneError, TextRules::intOf(text));
        else
            QCOMPARE(qint64(TextRules::intOf(text)), value);
    }

    void storedInteger_data() {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<std::optional<qint64>>("expected");
        QTest::newRow("integer") << QVariant(qint64(150123)) << std::optional<qint64>(150123);
        QTest::newRow("integer text")
            << QVariant(QStringLiteral("-42")) << std::optional<qint64>(-42);
        QTest::newRow("text of a whole real")
            << QVariant(QStringLiteral("11284348.0")) << std::optional<qint64>(11284348);
        QTest::newRow("text with a fraction")
            << QVariant(QStringLiteral("1.5")) << std::optional<qint64>();
        QTest::newRow("text beyond 64 bits")
            << QVariant(QStringLiteral("1e300")) << std::optional<qint64>();
        QTest::newRow("text") << QVariant(QStringLiteral("abc")) << std::optional<qint64>();
        QTest::newRow("NULL") << QVariant() << std::optional<qint64>();
    }

    void storedInteger() {
        QFETCH(QVariant, stored);
        QFETCH(std::optional<qint64>, expected);
        QCOMPARE(TextRules::storedInteger(stored), expected);
    }

    void boundValue_data() {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<bool>("text");
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("bindable");
        QTest::addColumn<QVariant>("value");
        QTest::newRow("empty number is NULL") << "" << false << 0 << true << QVariant();
        QTest::newRow("empty text is NULL") << "" << true << 5 << true << QVariant();
        QTest::newRow("text kept") << "abc" << true << 5 << true << QVariant(QStringLiteral("abc"));
        QTest::newRow("text cut") << "abcdef" << true << 3 << true
                                  << QVariant(QStringLiteral("abc"));
        QTest::newRow("text cut to nothing")
            << "abc" << true << 0 << true << QVariant(QStringLiteral(""));
        QTest::newRow("integer") << " 150 " << false << 0 << true << QVariant(qlonglong(150));
        QTest::newRow("big integer")
            << "9007199254740993" << false << 0 << true << QVariant(qlonglong(9007199254740993LL));
        QTest::newRow("real") << "1.5" << false << 0 << true << QVariant(1.5);
        QTest::newRow("exponent") << "1e3" << false << 0 << true << QVariant(1000.0);
        QTest::newRow("beyond a double")
            << QStringLiteral("1%1").arg(QString(400, u'0')) << false << 0 << true
            << QVariant(std::numeric_limits<double>::infinity());
        QTest::newRow("word in a number column") << "abc" << false << 0 << false << QVariant();
        QTest::newRow("full-width digits")
            << QString::fromUtf8("１５０") << false << 0 << false << QVariant();
    }
    void boundValue() {
        QFETCH(QString, raw);
        QFETCH(bool, text);
        QFETCH(int, length);
        QFETCH(bool, bindable);
        QFETCH(QVariant, value);
        QVariant out;
        QCOMPARE(TextRules::boundValue(raw, text, length, out), bindable);
        if (!bindable)
            return;
        QCOMPARE(out.isNull(), value.isNull());
        QCOMPARE(out, value);
        QCOMPARE(out.typeId(), value.typeId());
    }
};

QTEST_GUILESS_MAIN(TestTextRules)
#include "test_textrules.moc"
