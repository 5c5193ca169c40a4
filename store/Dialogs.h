#pragma once

#include <QString>

// The dialogs the logic needs of the user. The window answers them with real message boxes,
// the headless command on the console, tests with a recording double.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Modal message with one OK button.
    virtual void message(const QString& text) = 0;
    // Yes/no question titled "確認"; Yes is the default, Escape answers No.
    virtual bool confirm(const QString& text) = 0;
    // The text of an error that ended a user action.
    virtual void error(const QString& text) = 0;
    // The price-file dialog; an empty result means cancelled.
    virtual QString openFile() = 0;
};

// Console answers: messages and errors go to standard error, questions are answered Yes.
class ConsoleDialogs : public Dialogs {
public:
    void message(const QString& text) override;
    bool confirm(const QString& text) override;
    void error(const QString& text) override;
    QString openFile() override { return {}; }
};
