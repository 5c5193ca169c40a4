#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

class Store;

// Page 8's operations: the list of exchangeable tables (F09CSV in qi), the export of a listed
// table to its CSV file and the import back, and the storing of list rows edited in the grid.
class CsvExchange {
public:
    explicit CsvExchange(Store& store) : m_store(store) {}

    // 1: open the list, 2: export the table of the list's current row, 3: import it.
    static constexpr int csvOpenList = 1;
    static constexpr int csvExport = 2;
    static constexpr int csvImport = 3;
    void uq8C(int op);

    // The CNT a new list row gets: the largest CNT plus one, 1 for an empty list.
    int nextListCnt();
    // Stores a list row edited in the grid and reopens the list. row is a row of qi, updated
    // under its CNT with the edited fields changed; -1 inserts a new row of the edited fields.
    // A row the database refuses (a locked or read-only file, a text in a number column) is an
    // error naming the reason; the list is left as it was.
    void storeListRow(int row, const QHash<QString, QString>& edits);

    // The fields of one CSV line for a table of n columns: fields 1 to n-1 end at the next
    // comma (empty once no comma is left), the rest of the line, commas and all, is field n.
    static QStringList splitFields(QString line, int n);

    // Writes table (in the database of selector, "csq" or "csm") to path in the exchange
    // format: no header, catalogue column order, CP932, CR LF, NULL as an empty field, rows in
    // CNT order. Returns how many fields hold a comma or a line break; unwritable, when given,
    // receives the number of characters CP932 cannot hold, written as "?".
    static int writeTable(Store& store, const QString& table, const QString& selector,
                          const QString& path, qsizetype* unwritable = nullptr);

    // Counts of the last import, for its closing message.
    int lastImported() const { return m_imported; }
    int lastSkipped() const { return m_skipped; }
    // Rows of the last import with an empty CNT, and with a CNT an earlier row carries.
    int lastWithoutCount() const { return m_withoutCount; }
    int lastRepeatedCount() const { return m_repeatedCount; }
    // Fields of the last export that hold a comma or a line break.
    int lastBrokenFields() const { return m_brokenFields; }
    // Characters of the last export that CP932 cannot hold.
    qsizetype lastUnwritable() const { return m_unwritable; }

private:
    void openList();
    void exportTable();
    void importTable();
    // The table of the list's current row with its file path; refuses a row naming no
    // catalogued table that its database holds.
    struct Target {
        QString table;
        QString selector; // "csq" or "csm"
        QString folder;   // PAS, as the list row holds it
        QString path;
    };
    Target currentTarget();

    Store& m_store;
    int m_imported = 0;
    int m_skipped = 0;
    int m_withoutCount = 0;
    int m_repeatedCount = 0;
    int m_brokenFields = 0;
    qsizetype m_unwritable = 0;
};
