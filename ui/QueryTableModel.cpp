#include "ui/QueryTableModel.h"

#include "store/Query.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTableView>

QueryTableModel::QueryTableModel(Query& query, QVector<Column> columns, QObject* parent)
    : QAbstractTableModel(parent), m_query(query), m_columns(std::move(columns)) {
    connect(&m_query, &Query::reset, this, &QueryTableModel::queryReset);
    connect(&m_query, &Query::currentRowChanged, this, &QueryTableModel::queryRowChanged);
    connect(&m_query, &Query::displayWidthsChanged, this, &QueryTableModel::applyWidths);
    queryReset();
}

int QueryTableModel::fieldOf(int column) const {
    return m_fields.value(column, -1);
}

int QueryTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_query.recordCount();
}

int QueryTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant QueryTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
        return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole) {
        const QVariant v = m_query.valueAt(index.row(), fieldOf(index.column()));
        return v.isNull() ? QVariant(QString()) : v;
    }
    return {};
}

QVariant QueryTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && section >= 0 && section < m_columns.size()) {
        if (role == Qt::DisplayRole) {
            const Column& c = m_columns[section];
            return c.title.isEmpty() ? c.field : c.title;
        }
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignCenter);
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

void QueryTableModel::queryReset() {
    beginResetModel();
    m_fields.clear();
    for (const Column& c : m_columns)
        m_fields << m_query.fieldIndex(c.field);
    endResetModel();
    applyWidths();
    queryRowChanged(m_query.currentRow());
}

void QueryTableModel::queryRowChanged(int row) {
    if (!m_view || m_syncing || !m_view->selectionModel())
        return;
    m_syncing = true;
    const int column = std::max(0, m_view->currentIndex().column());
    if (row >= 0 && row < rowCount())
        m_view->setCurrentIndex(index(row, column));
    m_syncing = false;
}

void QueryTableModel::applyWidths() {
    if (!m_view)
        return;
    const QFontMetrics metrics(m_view->font());
    const int characterWidth = metrics.horizontalAdvance(QLatin1Char('0'));
    for (int c = 0; c < m_columns.size(); ++c) {
        const int width = m_query.displayWidth(fieldOf(c));
        if (width > 0)
            m_view->setColumnWidth(c, width * characterWidth + 8);
    }
}

void QueryTableModel::attach(QTableView* view) {
    m_view = view;
    view->setModel(this);
    view->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    view->horizontalHeader()->setFont(view->font());
    // The titles keep the window font when a row is selected, instead of turning bold.
    view->horizontalHeader()->setHighlightSections(false);
    view->verticalHeader()->setHighlightSections(false);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(view->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (m_syncing || !current.isValid())
                    return;
                m_syncing = true;
                m_query.setCurrentRow(current.row());
                m_syncing = false;
            });
    applyWidths();
    queryRowChanged(m_query.currentRow());
}
