#pragma once

#include "store/Dialogs.h"
#include "store/Registers.h"
#include "store/Tdm.h"

#include <QSqlError>
#include <QString>
#include <QStringList>

// The data store's operations: statement runner, database opening, catalogue lookup and loader,
// statement builder and table creation. They read and write the shared working registers.
class Store {
public:
    Store(Registers& reg, Tdm& dm, Dialogs& dialogs, QString catalogueDir);

    Registers& reg() { return m_reg; }
    Tdm& dm() { return m_dm; }
    Dialogs& dialogs() { return m_dialogs; }
    const QString& catalogueDir() const { return m_catalogueDir; }

    // 1: run sqw on csq, 2: on csm. A failing statement is dropped without a word.
    static constexpr int execFile = 1;
    static constexpr int execMemory = 2;
    void uexSql(int op);
    // execFile for "csq", execMemory for anything else.
    static int execOn(const QString& selector);
    // The outcome of the last statement uexSql ran, for callers that must not lose what the
    // user typed when a write fails; the database's reason when it failed.
    bool lastStatementOk() const { return m_lastStatementOk; }
    const QString& lastStatementError() const { return m_lastStatementError; }
    // Whether the last failure was a fault of the database rather than of the statement's row.
    bool lastStatementFault() const { return m_lastStatementFault; }
    // Opens SQDB.DB in the current directory and a fresh in-memory database, loads the
    // catalogue when the database has none (or an empty one), and ensures every application
    // table. A file that is no database, or whose catalogue tables lack their columns, ends it
    // with one message before anything is written into the file; so does a table that cannot be
    // created.
    void uqCdb();
    // 1: column rows of stnm into qst; 2: catalogue lookup; 3: catalogue loader.
    static constexpr int tstColumns = 1;
    static constexpr int tstLookup = 2;
    static constexpr int tstLoad = 3;
    void uqTst(int op);
    // Builds into sqw, over the columns of stnm and the values in sa[11...]: 1 select, 2 insert,
    // 3 update, 4/5 parameterised insert/update, 6 create; 7 quotes sa[9] for the column qst
    // stands on. Other numbers do nothing.
    static constexpr int sqlSelect = 1;
    static constexpr int sqlInsert = 2;
    static constexpr int sqlUpdate = 3;
    static constexpr int sqlBoundInsert = 4;
    static constexpr int sqlBoundUpdate = 5;
    static constexpr int sqlCreate = 6;
    static constexpr int sqlQuoteValue = 7;
    void ucSql(int op);
    // 1: quoted form for a numeric column, 2: for a text column cut to length.
    static constexpr int nulNumber = 1;
    static constexpr int nulText = 2;
    static void ucNul(QString& text, int op, int length = 0);
    // 1: ensure every application table, 2: create stnm if missing, 3: drop stnm.
    static constexpr int ctblEnsureAll = 1;
    static constexpr int ctblCreate = 2;
    static constexpr int ctblDrop = 3;
    void uqCtbl(int op);
    // Adds the catalogue rows of every table the catalogue files name beyond the first nine
    // (F01YSK to F09CSV) and the database's catalogue lacks, so a database from an earlier
    // version gains the newer tables; says once what it added. Rows the database already holds
    // are left as they are; nothing happens without the files. A failure (a lock, a full disk,
    // a read-only file) is said with its reason and start-up goes on without those tables.
    void addMissingCatalogueTables();

    // The rowid of the row of table (in the database file) that row of query shows, found by its
    // stored values; -1 when the query has no such row. Rows without a CNT, or sharing one, are
    // told apart so.
    qint64 rowIdOf(const QString& table, const Query& query, int row);
    // Whether that row can be updated by its CNT alone: its CNT is set and no other row of the
    // table carries it.
    bool countIsUnique(const QString& table, const Query& query, int row);

    // Whether the last lookup (uqTst 2) found stnm in the catalogue.
    bool lastLookupFound() const { return m_lastLookupFound; }
    // Whether a table is catalogued; no message.
    bool isCatalogued(const QString& table);
    // Whether the database of the selector ("csq"/"csm") holds the table.
    bool tableExists(const QString& selector, const QString& table);

    // The values list of one catalogue-file line: fields quoted where quoteField(i) says so,
    // an empty field NULL, the text after the last comma always quoted.
    static QStringList catalogueValues(QString line, int columns, bool (*quoteField)(int));

    // With the column rows of a table in qst (uqTst 1, or any statement built from them): the
    // first column that takes numbers whose value in values (catalogue order, CNT first) is
    // neither empty nor a number; -1 when every value fits.
    int refusedNumber(const QStringList& values);
    // What the user reads when a column that takes numbers got text.
    static QString numberNeeded(const QString& what);
    // SQLite's result codes that are faults of the database file or the machine (a full disk, a
    // lock, an I/O error, a broken file) rather than of the row a statement carries.
    static bool isDatabaseFault(const QSqlError& error);
    // The database's reason for error in Japanese where it is one the user can act on (a full
    // disk above all), with SQLite's own text.
    static QString databaseReason(const QSqlError& error);
    // The one message for a SQDB.DB the program cannot use: the file, why, and what to do.
    static QString unusableDatabase(const QString& path, const QString& why);

    static bool isTextType(const QString& kt);
    static QString sqlText(const QString& text); // 'text' with quotes doubled

    // Stands for a value that is no number, so that the statement cannot run.
    static inline const QString notANumber = QStringLiteral("<not a number>");

    // The box before the catalogue is loaded into the database file at database.
    static QString catalogueMessage(const QString& database);

private:
    // A table of the catalogue files that start-up adds: its tbl.csv values, its id there and
    // its tblstrc.csv rows, as values lists.
    struct LaterTable {
        QStringList values;
        QString tbid;
        QList<QStringList> columns;
    };
    QList<LaterTable> missingLaterTables(const QString& tbl, const QString& tblstrc);
    // Writes their catalogue rows; returns what was added, for the user.
    QStringList addLaterTables(QList<LaterTable> missing);
    // A column the catalogue files give one of the program's own tables beyond the first nine,
    // missing from the database's catalogue: its tblstrc.csv values, the table's name and its
    // id in the database.
    struct LaterColumn {
        QStringList values;
        QString table;
        qint64 tbid;
    };
    QList<LaterColumn> missingLaterColumns(const QString& tbl, const QString& tblstrc);
    // Adds them to their tables and the catalogue, and sets what they say of the rows already
    // there; returns what was added, for the user.
    QStringList addLaterColumns(const QList<LaterColumn>& missing);
    bool lookup();
    // Throws the unusable-file message when SQDB.DB is no database or its catalogue tables
    // lack their columns; returns whether the catalogue must be (re)loaded.
    bool catalogueNeedsLoading();
    void loadCatalogue();
    // The builders behind ucSql; each returns the statement text.
    void quoteValue();
    QString quotedSlot(int slot);
    QString selectSql();
    QString insertSql();
    QString updateSql();
    QString boundInsertSql();
    QString boundUpdateSql();
    QString createSql();

    Registers& m_reg;
    Tdm& m_dm;
    Dialogs& m_dialogs;
    QString m_catalogueDir;
    bool m_lastLookupFound = false;
    bool m_lastStatementOk = true;
    QString m_lastStatementError;
    bool m_lastStatementFault = false;
};

// The directory of tbl.csv and tblstrc.csv: the installed share/torvane next to the program
// when there is one, otherwise the source tree's data folder the build was made from.
QString defaultCatalogueDir();
