#pragma once

#include "store/Query.h"

#include <QObject>
#include <QSqlDatabase>

// The data module: the two connections and every query object of the program.
// csq is the database file, csm a private in-memory database.
class Tdm : public QObject {
    Q_OBJECT
public:
    explicit Tdm(QObject* parent = nullptr);
    ~Tdm() override;

    // Connection names of csq and csm for QSqlDatabase::database(); unique per instance.
    const QString& csq() const { return m_csq; }
    const QString& csm() const { return m_csm; }
    // "csq" or "csm" to the connection name; empty for anything else.
    QString connectionOf(const QString& selector) const;
    QSqlDatabase database(const QString& connection) const;

    // Opens csq on the given file, creating it when missing; throws TorvaneError on failure.
    void connectFile(const QString& path);
    // Drops the in-memory database and starts an empty one.
    void reconnectMemory();
    QString filePath() const;

    Query qw{QStringLiteral("qw"), QString()};
    Query qst{QStringLiteral("qst"), QString()};
    Query qq{QStringLiteral("qq"), QString()};
    Query qd{QStringLiteral("qd"), QString()};
    Query qm{QStringLiteral("qm"), QString()};
    Query q1h{QStringLiteral("q1h"), QString()};
    Query q4h{QStringLiteral("q4h"), QString()};
    Query qd1{QStringLiteral("qd1"), QString()};
    Query qb{QStringLiteral("qb"), QString()};
    Query qe{QStringLiteral("qe"), QString()};
    Query qf1{QStringLiteral("qf1"), QString()};
    Query qf2{QStringLiteral("qf2"), QString()};
    Query qi{QStringLiteral("qi"), QString()};

private:
    void closeQueriesOn(const QString& connection);

    QString m_csq;
    QString m_csm;
};
