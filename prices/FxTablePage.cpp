#include "prices/FxTablePage.h"

#include "ui/QueryTableModel.h"
#include "session/Session.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableView>

FxTablePage::FxTablePage(Session& session, Dialogs& dialogs, QWidget* parent)
    : PageFrame(QStringLiteral("d01ttL"), QStringLiteral("4 FX表"), 40, 40, parent),
      m_importInfo(new QLabel(footer())), m_grid(new QTableView(this)) {
    (void)dialogs;
    header()->setObjectName(QStringLiteral("d0P"));
    footer()->setObjectName(QStringLiteral("d1P"));
    m_importInfo->setObjectName(QStringLiteral("d11ifL"));
    m_importInfo->setGeometry(8, 8, 880, 25);
    m_grid->setObjectName(QStringLiteral("dG"));
    m_model = new QueryTableModel(session.dm.qd,
                                  {{QStringLiteral("SYMD"), QStringLiteral("S年月日")},
                                   {QStringLiteral("SHM"), QStringLiteral("S時分")},
                                   {QStringLiteral("HV"), QStringLiteral("高値")},
                                   {QStringLiteral("LV"), QStringLiteral("安値")},
                                   {QStringLiteral("CV"), QStringLiteral("終値")},
                                   {QStringLiteral("M75"), QStringLiteral("75MA")},
                                   {QStringLiteral("M1H"), QStringLiteral("1HMA")},
                                   {QStringLiteral("M4H"), QStringLiteral("4HMA")},
                                   {QStringLiteral("M1D"), QStringLiteral("日足MA")},
                                   {QStringLiteral("LYMD"), QStringLiteral("L年月日")},
                                   {QStringLiteral("LHM"), QStringLiteral("L時分")},
                                   {QStringLiteral("CNT"), QString()}},
                                  this);
    m_model->attach(m_grid);
    // Only the listed columns: no row-number column in front of them.
    m_grid->verticalHeader()->hide();
    setMainView(m_grid);
}

void FxTablePage::setImportInfo(const QString& text) {
    m_importInfo->setText(text);
}
