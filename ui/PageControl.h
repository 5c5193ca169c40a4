#pragma once

#include <QTabWidget>

// The page control pc. Changing pages gives the focus to the tabs themselves, not to the new
// page's first control: a register grid that receives the focus answers with a message box, so
// a plain page change must not hand it the focus.
class PageControl : public QTabWidget {
    Q_OBJECT
public:
    explicit PageControl(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
