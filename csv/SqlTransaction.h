#pragma once

#include "store/TorvaneError.h"

#include <QSqlDatabase>
#include <QSqlError>

// One transaction on a connection: begun on construction, rolled back on destruction unless
// commit() ran, so an error or an exception part-way leaves the tables as they were.
class SqlTransaction {
public:
    explicit SqlTransaction(QSqlDatabase db) : m_db(std::move(db)) {
        if (!m_db.transaction())
            throw TorvaneError(QStringLiteral("トランザクションを開始できません: %1")
                                   .arg(m_db.lastError().text()));
    }
    ~SqlTransaction() {
        if (!m_committed)
            m_db.rollback();
    }
    SqlTransaction(const SqlTransaction&) = delete;
    SqlTransaction& operator=(const SqlTransaction&) = delete;

    void commit() {
        if (!m_db.commit())
            throw TorvaneError(
                QStringLiteral("変更を確定できません: %1").arg(m_db.lastError().text()));
        m_committed = true;
    }

private:
    QSqlDatabase m_db;
    bool m_committed = false;
};
