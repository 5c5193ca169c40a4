#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

class QDateTime;
class QSqlQuery;
class RowReader;

class Query;

#include <functional>
#include <vector>

// One column of a query's result, kept compactly: while every value has one kind (integer,
// real or text, NULLs of one type) the cells are plain numbers or one pool of characters;
// otherwise each cell is a variant. Integers take 32 bits while they fit and texts one byte a
// character while they are Latin-1 (dates, times, prices). Reads give back the variants the
// database delivered.
class StoredColumn {
public:
    void append(const QVariant& value);
    QVariant value(qsizetype row) const;
    // After the last append: the room kept for further cells goes.
    void finish();

private:
    enum class Kind { Unset, Integer, Real, Text, Variant };
    bool sameKind(const QVariant& value) const;
    void toVariants();
    void appendInteger(qint64 value);
    void appendText(const QString& text);

    Kind m_kind = Kind::Unset;
    bool m_nullTypeSet = false;
    QMetaType m_nullType;
    qsizetype m_count = 0;
    std::vector<bool> m_null;
    bool m_wide = false;              // an integer needed 64 bits: all are in m_integers
    std::vector<qint32> m_narrow;     // the integers while each fits in 32 bits
    std::vector<qint64> m_integers;
    std::vector<double> m_reals;
    bool m_latin = true;              // every text so far is Latin-1: they are in m_latinPool
    QByteArray m_latinPool;           // the texts one after the other, a byte a character
    QString m_pool;                   // the same once a text is not Latin-1
    std::vector<quint32> m_ends;      // where each text ends in the pool
    std::vector<QVariant> m_variants; // cells of mixed kinds
};

// One value of the current row, with the typed reads the pages use.
class Field {
public:
    Field(const Query& query, int index) : m_query(query), m_index(index) {}
    QVariant value() const;
    bool isNull() const;
    QString asString() const;     // NULL reads as the empty text
    int asInteger() const;        // NULL reads as 0; text that is no integer is an error
    double asFloat() const;       // NULL reads as 0
    QDateTime asDateTime() const; // "yyyy/mm/dd", "hh:nn" or both joined by a blank
    QString name() const;

private:
    const Query& m_query;
    int m_index;
};

// A query object: an SQL text run on one of the data module's connections, its result held in
// memory with a current row. Grids follow it through its signals.
class Query : public QObject {
    Q_OBJECT
public:
    Query(const QString& name, const QString& connection, QObject* parent = nullptr);

    const QString& name() const { return m_name; }
    const QString& connection() const { return m_connection; }
    void setConnection(const QString& connection) { m_connection = connection; }
    const QString& sql() const { return m_sql; }
    void setSql(const QString& sql) { m_sql = sql; }

    // Runs the SELECT and stands on the first row; a failure throws TorvaneError.
    void open();
    // Runs the SELECT as open() does but keeps nothing: each row's values go to row as they
    // come, for a reader that passes once over a large result. The rows held are untouched.
    void stream(const std::function<void(const QSqlQuery&)>& row) const;
    void close();
    bool isOpen() const { return m_open; }

    void first();
    void next();
    void prior();
    void last();
    // Moves by n rows; a move past either end stops on the end row and sets eof/bof.
    void moveBy(int n);
    bool eof() const { return m_eof; }
    bool bof() const { return m_bof; }
    int recordCount() const { return m_rowCount; }
    int currentRow() const { return m_row; }
    void setCurrentRow(int row);

    int fieldCount() const { return int(m_names.size()); }
    const QStringList& fieldNames() const { return m_names; }
    int fieldIndex(const QString& name) const; // -1 when absent
    Field field(int index) const;
    Field field(const QString& name) const; // throws for an unknown name
    Field operator[](const QString& name) const { return field(name); }
    QVariant valueAt(int row, int column) const;
    // A stored value as text, as fields read it: NULL empty, a whole real without its point.
    static QString textOf(const QVariant& value);

    int displayWidth(int column) const;
    void setDisplayWidth(int column, int characters);

Q_SIGNALS:
    // The result set was replaced or dropped.
    void reset();
    // The current row moved.
    void currentRowChanged(int row);
    // Column widths changed.
    void displayWidthsChanged();

private:
    friend class Field;
    void moveTo(int row);
    RowReader run() const;

    QString m_name;
    QString m_connection;
    QString m_sql;
    bool m_open = false;
    QStringList m_names;
    std::vector<StoredColumn> m_columns;
    int m_rowCount = 0;
    QVector<int> m_widths;
    int m_row = -1;
    bool m_eof = true;
    bool m_bof = true;
};
