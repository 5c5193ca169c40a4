#pragma once

#include "store/TorvaneError.h"

#include <QSqlDatabase>
#include <QSqlError>

// A transaction on one connection that is rolled back unless commit() was called, so a write of
// many rows either lands whole or not at all, and runs at the speed of one commit.
class Transaction {
public:
    explicit Transaction(QSqlDatabase db) : m_db(std::move(db)) {
        if (!m_db.transaction())
            throw TorvaneError(QStringLiteral("トランザクションを開始できません: %1")
                                   .arg(m_db.lastError().text()));
    }
    ~Transaction() {
        if (!m_done)
            m_db.rollback();
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // Every query run inside must be finished first, or SQLite refuses the commit.
    void commit() {
        if (!m_db.commit())
            throw TorvaneError(QStringLiteral("トランザクションを確定できません: %1")
                                   .arg(m_db.lastError().text()));
        m_done = true;
    }

private:
    QSqlDatabase m_db;
    bool m_done = false;
};
