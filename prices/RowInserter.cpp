#include "prices/RowInserter.h"

#include "store/Store.h"
#include "store/TextRules.h"
#include "store/TorvaneError.h"

#include <QSqlError>

RowInserter::RowInserter(Store& store)
    : m_query(store.dm().database(store.dm().connectionOf(store.reg().stdb))) {
    store.ucSql(Store::sqlBoundInsert);
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

bool RowInserter::insert(const QString* values, int count) {
    for (int k = 0; k < m_text.size(); ++k) {
        QVariant value;
        if (!TextRules::boundValue(k < count ? values[k] : QString(), m_text[k], m_length[k],
                                   value))
            return false;
        m_query.bindValue(m_names[k], value);
    }
    return m_query.exec();
}
