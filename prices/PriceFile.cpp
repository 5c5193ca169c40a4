#include "prices/PriceFile.h"

#include "store/TextRules.h"

#include "store/TorvaneError.h"

#include <QRegularExpression>

#include <algorithm>
#include <initializer_list>

namespace PriceFile {

namespace {
constexpr qint64 msecsPerDay = 86400000;
} // namespace

QStringList splitFields(const QString& line) {
    QStringList fields;
    const qsizetype n = line.size();
    if (n == 0)
        return fields;
    if (!line.contains(u'"'))
        return line.split(u',');
    qsizetype i = 0;
    while (true) {
        QString field;
        if (i < n && line.at(i) == u'"') {
            ++i;
            while (i < n) {
                if (line.at(i) == u'"') {
                    if (i + 1 < n && line.at(i + 1) == u'"') {
                        field += u'"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += line.at(i++);
            }
        }
        const qsizetype comma = line.indexOf(u',', i);
        const qsizetype end = comma < 0 ? n : comma;
        field += QStringView(line).mid(i, end - i);
        fields << field;
        if (comma < 0)
            break;
        i = comma + 1;
    }
    return fields;
}

QString cutoffDate(const QDate& today) {
    return TextRules::dateText(today.addMonths(-2));
}

bool readMoment(const QString& text, qint64* msecs) {
    static const QRegularExpression layout(QStringLiteral(
        R"(^\s*(\d{1,4})/(\d{1,2})/(\d{1,2})(?:\s+(\d{1,2}):(\d{1,2})(?::(\d{1,2})(?:\.(\d{1,3}))?)?)?\s*$)"));
    const QRegularExpressionMatch m = layout.match(text);
    if (!m.hasMatch())
        return false;
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    if (!date.isValid())
        return false;
    int ms = 0;
    if (m.hasCaptured(4)) {
        const QString fraction = m.captured(7).leftJustified(3, u'0');
        const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt(),
                         fraction.toInt());
        if (!time.isValid())
            return false;
        ms = time.msecsSinceStartOfDay();
    }
    *msecs = date.toJulianDay() * msecsPerDay + ms;
    return true;
}

QString dateText(qint64 msecs) {
    const qint64 day =
        msecs >= 0 ? msecs / msecsPerDay : -((-msecs + msecsPerDay - 1) / msecsPerDay);
    return TextRules::dateText(QDate::fromJulianDay(day));
}

QString timeText(qint64 msecs) {
    qint64 ms = msecs % msecsPerDay;
    if (ms < 0)
        ms += msecsPerDay;
    return QTime::fromMSecsSinceStartOfDay(int(ms)).toString(QStringLiteral("HH:mm"));
}

TorvaneError fewFields(const QString& name, qsizetype line, qsizetype count) {
    return TorvaneError(QStringLiteral("%1 の %2 行目の項目が8個未満です(%3個)。")
                            .arg(name)
                            .arg(line + 1)
                            .arg(count));
}

namespace {

bool digitsAt(const QString& s, std::initializer_list<int> positions) {
    for (const int p : positions)
        if (!s.at(p).isDigit() || s.at(p).unicode() > '9')
            return false;
    return true;
}

bool isPaddedDate(const QString& s) {
    return s.size() == 10 && s.at(4) == u'/' && s.at(7) == u'/' &&
           digitsAt(s, {0, 1, 2, 3, 5, 6, 8, 9});
}

bool isPaddedTime(const QString& s) {
    return (s.size() == 5 || (s.size() == 8 && s.at(5) == u':' && digitsAt(s, {6, 7}))) &&
           s.at(2) == u':' && digitsAt(s, {0, 1, 3, 4});
}

} // namespace

void checkDateForms(const QStringList& fields, const QString& name, qsizetype line) {
    static const QRegularExpression looseDate(
        QStringLiteral(R"(^\s*\d{1,4}[/-]\d{1,2}[/-]\d{1,2}\s*$)"));
    static const QRegularExpression looseTime(
        QStringLiteral(R"(^\s*\d{1,2}:\d{1,2}(:\d{1,2})?\s*$)"));
    struct Check {
        int index;
        bool date;
        const char16_t* what;
    };
    static constexpr Check checks[] = {{0, true, u"開始日付"},
                                       {1, false, u"開始時刻"},
                                       {6, true, u"終了日付"},
                                       {7, false, u"終了時刻"}};
    for (const Check& c : checks) {
        if (c.index >= fields.size())
            break;
        const QString& f = fields[c.index];
        if (c.date ? isPaddedDate(f) : isPaddedTime(f))
            continue;
        if (!(c.date ? looseDate : looseTime).match(f).hasMatch())
            continue;
        throw TorvaneError(
            QStringLiteral("%1 の %2 行目の%3 '%4' は %5 の形ではありません。日付は yyyy/mm/dd、"
                           "時刻は hh:nn で、月日時分を2桁にしてください(表計算ソフトで保存し直す"
                           "と 2026/10/1 や 7:00 の形になることがあります)。")
                .arg(name)
                .arg(line + 1)
                .arg(QString::fromUtf16(c.what), f,
                     c.date ? QStringLiteral("yyyy/mm/dd") : QStringLiteral("hh:nn")));
    }
    // In form, but no day of the calendar or no time a clock shows (2025/13/01, 24:00): the
    // training would refuse the bar after the import had kept it.
    for (const auto& [date, what] : {std::pair{0, u"開始日時"}, std::pair{6, u"終了日時"}}) {
        if (date + 1 >= fields.size())
            break;
        const QString& d = fields[date];
        const QString& t = fields[date + 1];
        if (!isPaddedDate(d) || !isPaddedTime(t) ||
            (TextRules::readDate(d).isValid() && TextRules::readTime(t).isValid()))
            continue;
        throw TorvaneError(
            QStringLiteral("%1 の %2 行目の%3 '%4 %5' は正しい日付時刻ではありません。日付は暦に"
                           "ある日、時刻は 00:00 から 23:59 で書いてください(24:00 は翌日の "
                           "00:00 です)。")
                .arg(name)
                .arg(line + 1)
                .arg(QString::fromUtf16(what), d, t));
    }
}

bool isRecentLooseDate(const QString& date, const QString& cutoff) {
    static const QRegularExpression looseDate(
        QStringLiteral(R"(^\s*(\d{1,4})[/-](\d{1,2})[/-](\d{1,2})\s*$)"));
    const QRegularExpressionMatch m = looseDate.match(date);
    if (!m.hasMatch())
        return false;
    const QDate day(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    const QDate from = QDate::fromString(cutoff, QStringLiteral("yyyy/MM/dd"));
    return day.isValid() && from.isValid() && day >= from;
}

void importRow(QStringList& f, qint64 counter, std::array<QString, 12>& row) {
    row[0] = QString::number(counter);
    row[1] = f[0];
    row[2] = f[1];
    row[3] = TextRules::ErPeriod(f[3]);
    row[4] = TextRules::ErPeriod(f[4]);
    row[5] = TextRules::ErPeriod(f[5]);
    for (int k = 6; k <= 9; ++k)
        row[k].clear();
    row[10] = f[6];
    row[11] = f[7];
}

int decimalsOf(const QString& price) {
    const qsizetype point = price.indexOf(u'.');
    return point < 0 ? 0 : int(price.size() - point - 1);
}

std::optional<double> extremeCandidate(const QString& price) {
    if (price.isEmpty() || !TextRules::isNumericLiteral(price))
        return std::nullopt;
    return price.trimmed().toDouble();
}

bool minuteOf(const QString& date, const QString& time, qint64* minutes) {
    if (!isPaddedDate(date) || !isPaddedTime(time))
        return false;
    const std::optional<qint64> moment = TextRules::momentOf(date, time);
    if (!moment)
        return false;
    *minutes = *moment / 60;
    return true;
}

QString ImportedRange::text() const {
    QString step;
    if (stepMinutes <= 0)
        step = QStringLiteral("不明");
    else if (stepMinutes % 1440 == 0)
        step = QStringLiteral("%1日").arg(stepMinutes / 1440);
    else if (stepMinutes % 60 == 0)
        step = QStringLiteral("%1時間").arg(stepMinutes / 60);
    else
        step = QStringLiteral("%1分").arg(stepMinutes);
    return QStringLiteral("読込 %1本  %2 ～ %3  間隔 %4").arg(bars).arg(firstStart, lastEnd, step);
}

std::array<Slot, 10> forecastSlots(const QStringList& lines, const QString& name) {
    const qsizetype n = lines.size();
    return forecastSlots(n >= 2 ? lines[n - 2] : QString(), n >= 1 ? lines[n - 1] : QString(), n,
                         name);
}

std::array<Slot, 10> forecastSlots(const QString& beforeLast, const QString& lastLine, qsizetype n,
                                   const QString& name) {
    if (n < 2)
        throw TorvaneError(
            QStringLiteral("%1 の行数が2行未満です(%2行)。予測の間隔を求められません。")
                .arg(name)
                .arg(n));
    const auto fieldsOf = [&](qsizetype li, const QString& line) {
        const QStringList f = splitFields(line);
        if (f.size() < 8)
            throw fewFields(name, li, f.size());
        return f;
    };
    const auto momentOf = [&](qsizetype li, const QString& date, const QString& time,
                              const QString& what) {
        qint64 ms = 0;
        const QString text = date + u' ' + time;
        if (!readMoment(text, &ms))
            throw TorvaneError(QStringLiteral("%1 の %2 行目の%3 '%4' を日付時刻として読めません。")
                                   .arg(name)
                                   .arg(li + 1)
                                   .arg(what, text));
        return ms;
    };
    const QString endWord = QStringLiteral("終了日時");
    const QStringList before = fieldsOf(n - 2, beforeLast);
    const qint64 dt2 = momentOf(n - 2, before[6], before[7], endWord);
    const QStringList last = fieldsOf(n - 1, lastLine);
    qint64 dt = momentOf(n - 1, last[6], last[7], endWord);
    qint64 start = momentOf(n - 1, last[0], last[1], QStringLiteral("開始日時"));
    const qint64 step = dt - dt2;

    // The slots are stored as "yyyy/mm/dd": a year past 9999 would be cut to a date that is none.
    qint64 earliest = 0, latest = 0;
    readMoment(QStringLiteral("0001/01/01 00:00"), &earliest);
    readMoment(QStringLiteral("9999/12/31 23:59"), &latest);
    std::array<Slot, 10> ahead;
    for (Slot& slot : ahead) {
        start += step;
        dt += step;
        if (std::max(start, dt) > latest || std::min(start, dt) < earliest)
            throw TorvaneError(
                QStringLiteral("%1 の %2 行目の次の予測の日付時刻が 0001/01/01 から 9999/12/31 の"
                               "外になります。最終行の日付時刻を確認してください。")
                    .arg(name)
                    .arg(n));
        slot = {dateText(start), timeText(start), dateText(dt), timeText(dt)};
    }
    return ahead;
}

} // namespace PriceFile
