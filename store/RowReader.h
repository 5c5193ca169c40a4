#pragma once

#include "store/TorvaneError.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QString>

// A SELECT read forward only: one row after another, none kept once passed. A statement that
// fails ends the user action with the database's words and the statement; `what`, when given,
// names the reader first.
class RowReader {
public:
    RowReader(const QSqlDatabase& db, const QString& sql, const QString& what = {}) : m_query(db) {
        m_query.setForwardOnly(true);
        if (!m_query.exec(sql)) {
            const QString reason = m_query.lastError().text() + u'\n' + sql.trimmed();
            throw TorvaneError(what.isEmpty() ? reason : what + QStringLiteral(": ") + reason);
        }
        m_record = m_query.record();
    }

    bool next() { return m_query.next(); }
    QVariant value(int column) const { return m_query.value(column); }
    // The columns of the rows, by name and position.
    const QSqlRecord& record() const { return m_record; }
    const QSqlQuery& query() const { return m_query; }

private:
    QSqlQuery m_query;
    QSqlRecord m_record;
};

// Runs a SELECT and hands each row to fn.
template <typename RowFn> void eachRow(const QSqlDatabase& db, const QString& sql, RowFn fn) {
    RowReader rows(db, sql);
    while (rows.next())
        fn(rows.query());
}
