#pragma once

#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <QVector>

class Store;

// A prepared INSERT of the current table (stdb, stnm) built from the catalogue, for writing many
// rows fast. Each row is given as raw texts in catalogue order and stored exactly as its quoted
// form would store it (TextRules::boundValue); a value that is no number in a numeric column
// makes that row's insert fail.
class RowInserter {
public:
    explicit RowInserter(Store& store);

    int columnCount() const { return int(m_text.size()); }
    // Inserts one row; false when it failed, like a statement dropped by the runner.
    bool insert(const QString* values, int count);
    // Ends the prepared statement, before the transaction around the inserts is committed.
    void finish() { m_query.finish(); }

private:
    QSqlQuery m_query;
    QVector<bool> m_text;
    QVector<int> m_length;
    QStringList m_names;
};
