#include "csv/CsvListModel.h"

#include "store/Query.h"

CsvListModel::CsvListModel(Query& query, QVector<Column> columns, QObject* parent)
    : QueryTableModel(query, std::move(columns), parent) {
    // A reopened query shows the stored rows: whatever was held belongs to the old result.
    connect(this, &QAbstractItemModel::modelAboutToBeReset, this, &CsvListModel::clearEdits);
}

int CsvListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : query().recordCount() + (m_newRow ? 1 : 0);
}

QVariant CsvListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return QueryTableModel::data(index, role);
    if (index.row() == m_row) {
        const auto edited = m_edits.constFind(columns().at(index.column()).field);
        if (edited != m_edits.cend())
            return *edited;
    }
    if (m_newRow && index.row() == m_row)
        return QString();
    const QVariant value = QueryTableModel::data(index, role);
    // Cells are edited as text, so that a number column can be emptied as well.
    return role == Qt::EditRole ? QVariant(value.toString()) : value;
}

Qt::ItemFlags CsvListModel::flags(const QModelIndex& index) const {
    return QueryTableModel::flags(index) | (index.isValid() ? Qt::ItemIsEditable : Qt::NoItemFlags);
}

bool CsvListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole || index.row() >= rowCount())
        return false;
    if (index.row() != m_row) {
        if (m_touched)
            return false; // the page stores a row before another one is edited
        clearEdits();
        m_row = index.row();
    }
    const QString text = value.toString();
    if (data(index, Qt::EditRole).toString() == text)
        return true;
    m_edits.insert(columns().at(index.column()).field, text);
    m_touched = true;
    Q_EMIT dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
    return true;
}

void CsvListModel::appendRow(const QString& cnt) {
    if (m_newRow || m_touched)
        return;
    const int row = query().recordCount();
    beginInsertRows({}, row, row);
    clearEdits();
    m_newRow = true;
    m_row = row;
    if (!columns().isEmpty())
        m_edits.insert(columns().first().field, cnt);
    endInsertRows();
}

void CsvListModel::discard() {
    if (m_newRow) {
        beginRemoveRows({}, m_row, m_row);
        clearEdits();
        endRemoveRows();
        return;
    }
    const int row = m_row;
    clearEdits();
    if (row >= 0 && row < rowCount())
        Q_EMIT dataChanged(index(row, 0), index(row, columnCount() - 1));
}

void CsvListModel::clearEdits() {
    m_row = -1;
    m_newRow = false;
    m_touched = false;
    m_edits.clear();
}
