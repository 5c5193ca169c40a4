#include "csv/CsvPage.h"

#include "csv/CsvListModel.h"
#include "session/Session.h"
#include "store/Dialogs.h"
#include "store/TorvaneError.h"
#include "ui/UserAction.h"

#include <QAbstractItemDelegate>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

CsvPage::CsvPage(Session& session, Dialogs& dialogs, QWidget* parent)
    : PageFrame(QStringLiteral("i01L"), QStringLiteral("9 CSVﾌｧｲﾙに書出と読込"), 100, 40, parent),
      m_session(session), m_dialogs(dialogs),
      m_write(new QPushButton(QStringLiteral("CSV書出"), header())),
      m_read(new QPushButton(QStringLiteral("CSV読込"), header())),
      m_info(new QLabel(QStringLiteral("現在行のﾃｰﾌﾞﾙ内容をCSVﾌｧｲﾙに書出(CSVﾌｧｲﾙから読込)します"),
                        header())),
      m_grid(new QTableView) {
    setObjectName(QStringLiteral("its"));
    header()->setObjectName(QStringLiteral("i0P"));
    footer()->setObjectName(QStringLiteral("i1P"));
    m_write->setObjectName(QStringLiteral("i03wtB"));
    m_write->setGeometry(568, 8, 100, 25);
    m_read->setObjectName(QStringLiteral("i04rdB"));
    m_read->setGeometry(712, 8, 100, 25);
    for (QPushButton* button : {m_write, m_read})
        button->setAutoDefault(true); // Enter presses the focused button
    m_info->setObjectName(QStringLiteral("i02infL"));
    m_info->move(8, 64);
    m_info->adjustSize();

    m_grid->setObjectName(QStringLiteral("iG"));
    setMainView(m_grid);
    m_model = new CsvListModel(session.dm.qi,
                               {{QStringLiteral("CNT"), {}},
                                {QStringLiteral("PNO"), {}},
                                {QStringLiteral("PNM"), QStringLiteral("ﾍﾟｰｼﾞ名")},
                                {QStringLiteral("TBN"), QStringLiteral("ﾃｰﾌﾞﾙ名")},
                                {QStringLiteral("PAS"), QStringLiteral("ﾊﾟｽ")},
                                {QStringLiteral("CSV"), QStringLiteral("CSVﾌｧｲﾙ名")},
                                {QStringLiteral("TYO"), QStringLiteral("摘要")}},
                               this);
    m_model->attach(m_grid);
    m_grid->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                            QAbstractItemView::AnyKeyPressed);
    m_grid->installEventFilter(this);

    // A row is stored when the grid leaves it. The list is reopened after the selection change
    // has finished, never inside it.
    connect(m_grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current, const QModelIndex& previous) {
                if (!previous.isValid() || previous.row() != m_model->pendingRow() ||
                    current.row() == previous.row())
                    return;
                const int target = current.isValid() ? current.row() : -1;
                QTimer::singleShot(0, this, [this, target] { storePending(target); });
            });
    // A new row that is left without anything typed into it goes away again.
    connect(m_grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (m_model->hasNewRow() && m_model->pendingRow() < 0 &&
                    current.row() != m_model->rowCount() - 1)
                    QTimer::singleShot(0, this, [this] {
                        if (m_model->hasNewRow() && m_model->pendingRow() < 0)
                            m_model->discard();
                    });
            });

    connect(m_write, &QPushButton::clicked, this,
            [this] { runAction(m_dialogs, [this] { uq8C(CsvExchange::csvExport); }); });
    connect(m_read, &QPushButton::clicked, this, [this] {
        // A table read in now could replace the prices a job has not finished with.
        if (m_session.refusesWhileBusy(QStringLiteral("CSV読込できません")))
            return;
        if (runAction(m_dialogs, [this] { uq8C(CsvExchange::csvImport); }))
            Q_EMIT tableWritten();
    });
}

void CsvPage::uq8C(int op) {
    // A refused row stays for the user to mend; the table is not exchanged meanwhile.
    if ((op == CsvExchange::csvExport || op == CsvExchange::csvImport) && !storePending())
        return;
    m_session.csv.uq8C(op);
}

bool CsvPage::storePending(int target) {
    const int row = m_model->pendingRow();
    if (row < 0)
        return true;
    const QHash<QString, QString> edits = m_model->edits();
    const bool isNew = m_model->hasNewRow();
    if (target < 0)
        target = row;
    if (!runAction(m_dialogs, [&] { m_session.csv.storeListRow(isNew ? -1 : row, edits); })) {
        // The row keeps what was typed, and the grid goes back to it, as a register page
        // keeps its panel.
        const int column = std::max(0, m_grid->currentIndex().column());
        m_grid->setCurrentIndex(m_model->index(row, column));
        return false;
    }
    Query& qi = m_session.dm.qi;
    qi.setCurrentRow(std::min(target, qi.recordCount() - 1));
    Q_EMIT tableWritten();
    return true;
}

void CsvPage::hideEvent(QHideEvent* event) {
    // Another page or closing the window leaves the row as well.
    commitEditor();
    storePending();
    PageFrame::hideEvent(event);
}

void CsvPage::commitEditor() {
    // The cell being typed into belongs to the row: its text goes in before the row is stored.
    if (QWidget* editor = m_grid->indexWidget(m_grid->currentIndex()))
        Q_EMIT m_grid->itemDelegate()->commitData(editor);
}

bool CsvPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_grid || event->type() != QEvent::KeyPress)
        return PageFrame::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    const int row = m_grid->currentIndex().row();
    if (m_grid->hasFocus()) { // not while a cell editor has the keys
        if (key->key() == Qt::Key_Down && key->modifiers() == Qt::NoModifier &&
            row == m_model->rowCount() - 1 && !m_model->hasNewRow()) {
            // Down on the last row starts a new row with the next CNT.
            if (!storePending())
                return true;
            const int column = std::max(0, m_grid->currentIndex().column());
            if (!runAction(m_dialogs, [this] {
                    m_model->appendRow(QString::number(m_session.csv.nextListCnt()));
                }))
                return true;
            m_grid->setCurrentIndex(m_model->index(m_model->rowCount() - 1, column));
            return true;
        }
        if (key->key() == Qt::Key_Escape && (m_model->pendingRow() >= 0 || m_model->hasNewRow())) {
            m_model->discard();
            return true;
        }
    }
    // Up on the first row or Down on the last cannot move the grid, yet the user leaves the
    // row: it is stored as a move would store it. This is how a lone new row in an empty list
    // is stored.
    const bool up = key->key() == Qt::Key_Up, down = key->key() == Qt::Key_Down;
    if (key->modifiers() == Qt::NoModifier && row >= 0 &&
        ((up && row == 0) || (down && row == m_model->rowCount() - 1))) {
        commitEditor();
        if (row == m_model->pendingRow()) {
            storePending();
            return true;
        }
    }
    return PageFrame::eventFilter(watched, event);
}
