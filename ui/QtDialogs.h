#pragma once

#include "store/Dialogs.h"

class QWidget;

// The window's dialogs: message boxes centred on the screen, the "確認" question, the open-file
// dialog OpD with its one filter "ﾃｷｽﾄ|*.CSV", a one-line input and the save dialog.
class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }

    void message(const QString& text) override;
    bool confirm(const QString& text) override;
    void error(const QString& text) override;
    QString openFile() override;
    std::optional<QString> askText(const QString& text, const QString& initial) override;
    QString saveFile(const QString& suggestedName, const QString& filter) override;

private:
    QWidget* m_parent;
};
