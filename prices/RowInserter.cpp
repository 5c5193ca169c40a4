#include "prices/RowInserter.h"

#include "store/Store.h"
#include "store/TextFile.h"
#include "store/TorvaneError.h"

#include <QSqlError>

RowInserter::RowInserter(Store& store)
    : m_query(store.dm().database(store.dm().connectionOf(store.reg().stdb))) {
    store.ucSql(4);
    Query& qst = store.dm().qst;
    for (qst.first(); !qst.eof(); qst.next()) {
        m_text << Store::isTextType(qst.field(QStringLiteral("KT")).asString());
        m_length << std::max(0, qst.field(QStringLiteral("LN")).asInteger());
        // Bound by name: binding by position costs Qt a formatted name per value.
        m_names << QStringLiteral(":p") + QString::number(m_names.size());
    }
    qst.close();
    if (m_text.isEmpty() || !m_query.prepare(store.reg().sqw))
        throw TorvaneError(QStringLiteral("%1 への追加文を準備できません: %2")
                               .arg(store.reg().stnm, m_query.lastError().text()));
}

namespace {

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\f';
}
bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

} // namespace

bool RowInserter::isNumber(QStringView text) {
    qsizetype i = 0, n = text.size();
    while (i < n && isBlank(text[i]))
        ++i;
    while (n > i && isBlank(text[n - 1]))
        --n;
    if (i < n && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    qsizetype digits = 0;
    while (i < n && isDigit(text[i]))
        ++i, ++digits;
    if (i < n && text[i] == u'.') {
        ++i;
        while (i < n && isDigit(text[i]))
            ++i, ++digits;
    }
    if (digits == 0)
        return false;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        if (i < n && (text[i] == u'+' || text[i] == u'-'))
            ++i;
        qsizetype exponent = 0;
        while (i < n && isDigit(text[i]))
            ++i, ++exponent;
        if (exponent == 0)
            return false;
    }
    return i == n;
}

QVariant RowInserter::numberOf(const QString& literal) {
    const QString t = literal.trimmed();
    bool ok = false;
    const qlonglong i = t.toLongLong(&ok);
    if (ok)
        return i;
    return t.toDouble();
}

bool RowInserter::insert(const QString* values, int count) {
    for (int k = 0; k < m_text.size(); ++k) {
        const QString value = k < count ? values[k] : QString();
        if (value.isEmpty()) {
            m_query.bindValue(m_names[k], QVariant());
        } else if (m_text[k]) {
            m_query.bindValue(m_names[k], TextFile::cutToLength(value, m_length[k]));
        } else {
            if (!isNumber(value))
                return false;
            m_query.bindValue(m_names[k], numberOf(value));
        }
    }
    return m_query.exec();
}
