#pragma once

#include "browser/BrowserTargets.h"

class QWidget;

// The browser's targets in a real window: fields and pages found under root by objectName, pages
// switched through the QTabWidget (or QStackedWidget) that holds them.
class WindowTargets : public BrowserTargets {
public:
    explicit WindowTargets(QWidget* root) : m_root(root) {}

    void setText(const QString& field, const QString& value) override;
    void setFocus(const QString& field) override;
    // Before switching, the focus goes to the page control itself, as the window's own tab
    // switching does: otherwise the stacked layout hands it to the new page's last focused field
    // and that field's entry handler runs (an empty b105rz2E would reopen the browser at once).
    void showPage(const QString& page) override;

private:
    QWidget* find(const QString& name) const;

    QWidget* m_root;
};
