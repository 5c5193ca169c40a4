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

    // The tables: F01YSK price bars with averages and forecast (worked on in csm; csq has it too),
    // F02W1H/F03W4H/F04WD1 one-hour, four-hour and daily bars (csm), F05PMF professional
    // opinions, F06EVR event results, F07EVL the event list, F08EVK event categories, F09CSV the
    // tables the CSV page exchanges; AAATBN and AAATST are the catalogue of tables and columns.
    Query qw{QStringLiteral("qw"), QString()};   // scratch: catalogue lookups and table counts
    Query qst{QStringLiteral("qst"), QString()}; // the AAATST column rows of the table in stnm
    Query qq{QStringLiteral("qq"), QString()};   // a register's largest CNT
    Query qd{QStringLiteral("qd"), QString()};   // F01YSK on csm: page 4's grid, chart, training
    Query qm{QStringLiteral("qm"), QString()};   // the table a CSV export or event look-up reads
    Query q1h{QStringLiteral("q1h"), QString()}; // F02W1H, the one-hour bars
    Query q4h{QStringLiteral("q4h"), QString()}; // F03W4H, the four-hour bars
    Query qd1{QStringLiteral("qd1"), QString()}; // F04WD1, the daily bars
    Query qb{QStringLiteral("qb"), QString()};   // F05PMF, page 2's grid
    Query qe{QStringLiteral("qe"), QString()};   // F06EVR, page 5's grid
    Query qf1{QStringLiteral("qf1"), QString()}; // F07EVL, page 6's event list
    Query qf2{QStringLiteral("qf2"), QString()}; // F08EVK, page 6's categories
    Query qi{QStringLiteral("qi"), QString()};   // F09CSV, page 8's list

private:
    void closeQueriesOn(const QString& connection);

    QString m_csq;
    QString m_csm;
};
