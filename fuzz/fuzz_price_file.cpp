#include "FuzzText.h"
#include "prices/PriceFile.h"
#include "prices/PriceImport.h"
#include "prices/RowInserter.h"
#include "store/Store.h"
#include "store/TextRules.h"
#include "store/TorvaneError.h"

#include <cstdlib>

namespace {

constexpr qint64 msecsPerMinute = 60000;
constexpr qint64 msecsPerDay = 86400000;

void check(bool ok) {
    if (!ok)
        std::abort();
}

// The fields as a line that quotes every one of them: splitting it must give them back.
QString quoted(const QStringList& fields) {
    QStringList parts;
    for (QString f : fields)
        parts << u'"' + f.replace(u'"', QStringLiteral("\"\"")) + u'"';
    return parts.join(u',');
}

// A moment that can be written as "yyyy/mm/dd hh:nn" and read back: years 1 to 9999.
bool writable(qint64 ms) {
    const QDate first(1, 1, 1), last(9999, 12, 31);
    return ms >= first.toJulianDay() * msecsPerDay && ms < (last.toJulianDay() + 1) * msecsPerDay;
}

qint64 floorToMinute(qint64 ms) {
    return ms - (((ms % msecsPerMinute) + msecsPerMinute) % msecsPerMinute);
}

// A moment written as date and time reads back as the moment without its seconds.
void checkWritten(qint64 ms, const QString& date, const QString& time) {
    check(time.size() == 5 && QTime::fromString(time, QStringLiteral("HH:mm")).isValid());
    if (!writable(ms))
        return;
    qint64 back = 0;
    check(PriceFile::readMoment(date + u' ' + time, &back));
    check(back == floorToMinute(ms));
}

void checkLine(const QString& line) {
    const QStringList f = PriceFile::splitFields(line);
    check(line.isEmpty() == f.isEmpty());
    if (!line.contains(u'"'))
        check(f.join(u',') == line);
    check(f.size() <= line.count(u',') + 1);
    qsizetype total = 0;
    for (const QString& field : f)
        total += field.size();
    check(total + f.size() - 1 <= line.size());
    check(PriceFile::splitFields(quoted(f)) == f);

    for (const QString& field : f) {
        qint64 ms = 0;
        if (PriceFile::readMoment(field, &ms))
            checkWritten(ms, PriceFile::dateText(ms), PriceFile::timeText(ms));
        QString price = field;
        const QString digits = TextRules::ErPeriod(price);
        check(digits == price);
        check(digits.size() == field.size() - (field.contains(u'.') ? 1 : 0));
        check(digits.count(u'.') == std::max<qsizetype>(field.count(u'.') - 1, 0));
        // A price taken as a number holds nothing a statement could read otherwise.
        if (TextRules::isNumericLiteral(digits))
            for (const QChar c : digits)
                check(QStringView(u" \t\f+-.eE0123456789").contains(c));
    }
    if (f.size() >= 8) {
        qint64 ms = 0;
        if (PriceFile::readMoment(f[6] + u' ' + f[7], &ms))
            checkWritten(ms, PriceFile::dateText(ms), PriceFile::timeText(ms));
    }
}

// The slots continue the step between the end date-times of the last two lines.
void checkSlots(const QStringList& lines) {
    std::array<PriceFile::Slot, 10> ahead;
    try {
        ahead = PriceFile::forecastSlots(lines, QStringLiteral("P.CSV"));
    } catch (const TorvaneError& e) {
        check(e.text().startsWith(QStringLiteral("P.CSV ")));
        return;
    }
    check(lines.size() >= 2);
    const QStringList before = PriceFile::splitFields(lines[lines.size() - 2]);
    const QStringList last = PriceFile::splitFields(lines.last());
    check(before.size() >= 8 && last.size() >= 8);
    qint64 end2 = 0, end = 0, start = 0;
    check(PriceFile::readMoment(before[6] + u' ' + before[7], &end2));
    check(PriceFile::readMoment(last[6] + u' ' + last[7], &end));
    check(PriceFile::readMoment(last[0] + u' ' + last[1], &start));
    const qint64 step = end - end2;
    for (qint64 k = 1; k <= 10; ++k) {
        const PriceFile::Slot& slot = ahead[k - 1];
        checkWritten(start + k * step, slot.startDate, slot.startTime);
        checkWritten(end + k * step, slot.endDate, slot.endTime);
    }
}

} // namespace

// The price file's line rules and the ten forecast slots after its last two lines.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QStringList lines = TextFile::splitLines(fuzzText(data, size));
    for (const QString& line : lines)
        checkLine(line);
    checkSlots(lines);
    return 0;
}
