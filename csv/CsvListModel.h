#pragma once

#include "ui/QueryTableModel.h"

#include <QHash>

// The list grid of page 8, editable in place. Edits of one row are held here until the page
// stores the row when the grid leaves it; a new row can be appended at the end.
class CsvListModel : public QueryTableModel {
    Q_OBJECT
public:
    CsvListModel(Query& query, QVector<Column> columns, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    // Appends an empty row whose first column reads the given CNT.
    void appendRow(const QString& cnt);
    bool hasNewRow() const { return m_newRow; }
    // The row holding edits not yet stored, -1 when there is none.
    int pendingRow() const { return m_touched ? m_row : -1; }
    // The held edits by field name; the row stays shown until the query is reopened.
    QHash<QString, QString> edits() const { return m_edits; }
    // Drops the held edits and a new row.
    void discard();

private:
    void clearEdits();

    int m_row = -1;        // the row the edits belong to
    bool m_newRow = false; // whether that row is the appended one
    bool m_touched = false;
    QHash<QString, QString> m_edits;
};
