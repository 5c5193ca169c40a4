#pragma once

#include <QAbstractTableModel>
#include <QPointer>
#include <QStringList>
#include <QVector>

class Query;
class QTableView;

// Shows a query in a grid. The grid's columns are named fields of the query with their titles;
// the grid's current row and the query's current row follow each other both ways, and each
// column is as wide as its field's display width in characters of the grid font.
class QueryTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    struct Column {
        QString field;
        QString title; // empty: the field name is shown
    };

    QueryTableModel(Query& query, QVector<Column> columns, QObject* parent = nullptr);

    Query& query() const { return m_query; }
    const QVector<Column>& columns() const { return m_columns; }
    // Binds a view: current row both ways, column widths, centred titles in the window font.
    void attach(QTableView* view);
    // Field index in the query of a grid column, -1 when the query lacks it.
    int fieldOf(int column) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    void queryReset();
    void queryRowChanged(int row);
    void applyWidths();

    Query& m_query;
    QVector<Column> m_columns;
    QVector<int> m_fields;
    QPointer<QTableView> m_view;
    bool m_syncing = false;
};
