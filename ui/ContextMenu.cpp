#include "ui/ContextMenu.h"

#include "store/KeptSettings.h"

#include <QAction>
#include <QMenu>
#include <QWidget>

void showContextMenu(QMenu& menu, const QPoint& globalPos) {
    menu.setMinimumWidth(menu.sizeHint().width() + 2 * menu.fontMetrics().height());
    menu.exec(globalPos);
}

void offerHintsSwitch(QWidget* panel) {
    panel->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(panel, &QWidget::customContextMenuRequested, panel, [panel](const QPoint& at) {
        QMenu menu(panel);
        menu.setObjectName(QStringLiteral("hintsMenu"));
        QAction* hints = menu.addAction(QStringLiteral("ﾋﾝﾄを表示(&H)"));
        hints->setObjectName(QStringLiteral("hintsAction"));
        hints->setCheckable(true);
        hints->setChecked(KeptSettings::hintsOn());
        QObject::connect(hints, &QAction::toggled, &KeptSettings::setHintsOn);
        showContextMenu(menu, panel->mapToGlobal(at));
    });
}
