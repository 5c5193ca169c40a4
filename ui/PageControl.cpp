#include "ui/PageControl.h"

#include <QKeyEvent>
#include <QTabBar>

PageControl::PageControl(QWidget* parent) : QTabWidget(parent) {
    // A click on a tab focuses the tab row before the page changes.
    tabBar()->setFocusPolicy(Qt::StrongFocus);
}

void PageControl::keyPressEvent(QKeyEvent* event) {
    // Ctrl+Tab, Ctrl+Shift+Tab, Ctrl+PageUp/PageDown: the tab row takes the focus first, so the
    // switch does not carry it into the next page.
    const bool switching = (event->modifiers() & Qt::ControlModifier) &&
                           (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab ||
                            event->key() == Qt::Key_PageUp || event->key() == Qt::Key_PageDown);
    if (switching)
        tabBar()->setFocus(Qt::TabFocusReason);
    QTabWidget::keyPressEvent(event);
}
