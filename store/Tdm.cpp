#include "store/Tdm.h"

#include "store/TorvaneError.h"

#include <QAtomicInt>
#include <QSqlError>

namespace {
QAtomicInt instances;
} // namespace

Tdm::Tdm(QObject* parent) : QObject(parent) {
    const int n = instances.fetchAndAddRelaxed(1);
    m_csq = QStringLiteral("csq#%1").arg(n);
    m_csm = QStringLiteral("csm#%1").arg(n);
    QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_csq);
    QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_csm);
    for (Query* q : {&qw, &qst, &qq, &qb, &qe, &qf1, &qf2, &qi})
        q->setConnection(m_csq);
    for (Query* q : {&qd, &qm, &q1h, &q4h, &qd1})
        q->setConnection(m_csm);
    reconnectMemory();
}

Tdm::~Tdm() {
    for (Query* q : {&qw, &qst, &qq, &qd, &qm, &q1h, &q4h, &qd1, &qb, &qe, &qf1, &qf2, &qi})
        q->close();
    for (const QString& name : {m_csq, m_csm}) {
        {
            QSqlDatabase db = QSqlDatabase::database(name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }
}

QString Tdm::connectionOf(const QString& selector) const {
    if (selector == QLatin1String("csq"))
        return m_csq;
    if (selector == QLatin1String("csm"))
        return m_csm;
    return {};
}

QSqlDatabase Tdm::database(const QString& connection) const {
    return QSqlDatabase::database(connection, false);
}

void Tdm::closeQueriesOn(const QString& connection) {
    for (Query* q : {&qw, &qst, &qq, &qd, &qm, &q1h, &q4h, &qd1, &qb, &qe, &qf1, &qf2, &qi})
        if (q->connection() == connection)
            q->close();
}

void Tdm::connectFile(const QString& path) {
    closeQueriesOn(m_csq);
    QSqlDatabase db = database(m_csq);
    db.close();
    db.setDatabaseName(path);
    if (!db.open())
        throw TorvaneError(
            QStringLiteral("データベース %1 を開けません: %2").arg(path, db.lastError().text()));
}

QString Tdm::filePath() const {
    return database(m_csq).databaseName();
}

void Tdm::reconnectMemory() {
    closeQueriesOn(m_csm);
    QSqlDatabase db = database(m_csm);
    db.close();
    db.setDatabaseName(QStringLiteral(":memory:"));
    if (!db.open())
        throw TorvaneError(
            QStringLiteral("メモリ上のデータベースを開けません: %1").arg(db.lastError().text()));
}
