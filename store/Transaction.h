#pragma once

#include "store/SqliteResult.h"
#include "store/TorvaneError.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

// SQLite's reason in words the user can act on where it is a full disk; its own text otherwise.
// A failed commit carries no result code in Qt, only the text.
inline QString diskFaultReason(const QSqlError& error) {
    const int code = SqliteResult::primaryCode(error);
    const QString text = error.text();
    if (code == SqliteResult::full || text.contains(QLatin1String("database or disk is full")))
        return QStringLiteral("ディスクの空き容量がありません(%1)").arg(text);
    if (code == SqliteResult::ioerr)
        return QStringLiteral("ディスクの読み書きに失敗しました(%1)").arg(text);
    return text;
}

// After a write that failed on a full disk or an I/O error SQLite may leave the rollback for
// later, with the database file half written beside a hot journal. One read makes it roll back
// now; if even that fails the connection is opened afresh, which rolls back as well. The files
// on disk are then whole before the user reads the message. An in-memory database has no
// journal and must not be reopened.
inline void settleAfterFailure(QSqlDatabase db) {
    const QString name = db.databaseName();
    if (!db.isOpen() || name.isEmpty() || name == QLatin1String(":memory:"))
        return;
    {
        QSqlQuery probe(db);
        if (probe.exec(QStringLiteral("select count(*) from sqlite_master")))
            return;
    }
    db.close();
    if (db.open()) {
        QSqlQuery probe(db);
        probe.exec(QStringLiteral("select count(*) from sqlite_master"));
    }
}

// A transaction on one connection that is rolled back unless commit() was called, so a write of
// many rows either lands whole or not at all, and runs at the speed of one commit.
class Transaction {
public:
    // Deferred takes the file's write lock at the first write. Immediate takes it at once, so
    // that what is read inside stays true until the commit: no other program writes between.
    enum class Kind { Deferred, Immediate };

    explicit Transaction(QSqlDatabase db, Kind kind = Kind::Deferred) : m_db(std::move(db)) {
        if (kind == Kind::Immediate) {
            QSqlQuery begin(m_db);
            if (!begin.exec(QStringLiteral("begin immediate")))
                throw TorvaneError(QStringLiteral("トランザクションを開始できません: %1")
                                       .arg(diskFaultReason(begin.lastError())));
            return;
        }
        if (!m_db.transaction())
            throw TorvaneError(QStringLiteral("トランザクションを開始できません: %1")
                                   .arg(m_db.lastError().text()));
    }
    ~Transaction() {
        if (m_done)
            return;
        m_db.rollback();
        settleAfterFailure(m_db);
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // Every query run inside must be finished first, or SQLite refuses the commit.
    void commit() {
        if (!m_db.commit()) {
            const QSqlError error = m_db.lastError();
            throw TorvaneError(QStringLiteral("トランザクションを確定できません(%1): %2")
                                   .arg(m_db.databaseName(), diskFaultReason(error)));
        }
        m_done = true;
    }

private:
    QSqlDatabase m_db;
    bool m_done = false;
};
