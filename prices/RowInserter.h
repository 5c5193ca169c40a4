#pragma once

#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <QVector>

class Store;

// A prepared INSERT of the current table (stdb, stnm) built from the catalogue, for writing many
// rows fast. Each row is given as raw texts in catalogue order and stored exactly as its quoted
// form would store it: an empty text as NULL, a text cut to the column's length, a number
// unchanged; a value that is no number in a numeric column makes that row's insert fail.
class RowInserter {
public:
    explicit RowInserter(Store& store);

    int columnCount() const { return int(m_text.size()); }
    // Inserts one row; false when it failed, like a statement dropped by the runner.
    bool insert(const QString* values, int count);
    // Ends the prepared statement, before the transaction around the inserts is committed.
    void finish() { m_query.finish(); }

    // Whether a value can stand in a numeric column: a decimal number with an optional sign,
    // point and exponent, blanks around it. Other texts (digits other than 0-9 among them)
    // would break the statement; this is the numeric test of the quoted form without its cost.
    static bool isNumber(QStringView text);
    // The value a numeric literal stands for: an integer when it is one, else a real.
    static QVariant numberOf(const QString& literal);

private:
    QSqlQuery m_query;
    QVector<bool> m_text;
    QVector<int> m_length;
    QStringList m_names;
};
