#include "browser/WindowTargets.h"

#include <QLineEdit>
#include <QStackedWidget>
#include <QTabWidget>
#include <QWidget>

QWidget* WindowTargets::find(const QString& name) const {
    auto* w = m_root->findChild<QWidget*>(name);
    if (!w)
        qWarning("WindowTargets: no control named %s", qPrintable(name));
    return w;
}

void WindowTargets::setText(const QString& field, const QString& value) {
    if (auto* edit = qobject_cast<QLineEdit*>(find(field)))
        edit->setText(value);
}

void WindowTargets::setFocus(const QString& field) {
    if (QWidget* w = find(field))
        w->setFocus(Qt::OtherFocusReason);
}

void WindowTargets::showPage(const QString& page) {
    QWidget* w = find(page);
    if (!w)
        return;
    // The page is the stack's direct child, or the named widget lies inside it.
    QStackedWidget* stack = nullptr;
    for (QWidget* p = w; p->parentWidget(); p = p->parentWidget()) {
        if ((stack = qobject_cast<QStackedWidget*>(p->parentWidget()))) {
            w = p;
            break;
        }
    }
    if (!stack) {
        qWarning("WindowTargets: page %s is not in a page control", qPrintable(page));
        return;
    }
    auto* tabs = qobject_cast<QTabWidget*>(stack->parentWidget());
    if (stack->currentWidget() == w)
        return;
    QWidget* control = tabs ? static_cast<QWidget*>(tabs) : stack;
    control->setFocus(Qt::OtherFocusReason);
    if (tabs)
        tabs->setCurrentWidget(w);
    else
        stack->setCurrentWidget(w);
}
