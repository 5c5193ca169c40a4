#include "ui/PageControl.h"

#include <QApplication>
#include <QKeyEvent>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOption>
#include <QTabBar>

#include <algorithm>

namespace {

// The pages are 896 pixels wide in the 904-pixel page control: the frame around them takes
// four pixels a side, where the window style's own frame takes two.
class PageFrameStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    QRect subElementRect(SubElement element, const QStyleOption* option,
                         const QWidget* widget) const override {
        QRect r = QProxyStyle::subElementRect(element, option, widget);
        if (element == SE_TabWidgetTabContents && option) {
            r.setLeft(std::max(r.left(), option->rect.left() + 4));
            r.setRight(std::min(r.right(), option->rect.right() - 4));
        }
        return r;
    }
};

} // namespace

PageControl::PageControl(QWidget* parent) : QTabWidget(parent) {
    // The window's style underneath, whichever it is.
    auto* frameStyle = new PageFrameStyle(QStyleFactory::create(QApplication::style()->name()));
    frameStyle->setParent(this);
    setStyle(frameStyle);
    // A click on a tab focuses the tab row before the page changes.
    tabBar()->setFocusPolicy(Qt::StrongFocus);
    // A control that answered losing the focus by taking it back must not keep it: the page
    // change would hand it on to the new page's controls.
    connect(tabBar(), &QTabBar::tabBarClicked, this, [this] {
        if (!tabBar()->hasFocus())
            tabBar()->setFocus(Qt::MouseFocusReason);
    });
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
