#pragma once

#include <QString>

#include <optional>

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
    // A one-line answer typed by the user, offered with initial; nothing when cancelled. Unless
    // overridden it is answered OK with the offered text.
    virtual std::optional<QString> askText(const QString& text, const QString& initial) {
        (void)text;
        return initial;
    }
    // Where to save a file, suggesting suggestedName and its filter ("画像 (*.png)"); empty means
    // cancelled, which is the answer unless overridden.
    virtual QString saveFile(const QString& suggestedName, const QString& filter) {
        (void)suggestedName;
        (void)filter;
        return {};
    }

    // The text a dialog shows: a text of more than maxShown characters (a whole line of a broken
    // file quoted in an error) is cut there, since laying out or printing megabytes helps no one.
    static constexpr qsizetype maxShown = 2000;
    static QString shownText(const QString& text);
};

// Console answers: messages and errors go to standard error, questions are answered Yes.
class ConsoleDialogs : public Dialogs {
public:
    void message(const QString& text) override;
    bool confirm(const QString& text) override;
    void error(const QString& text) override;
    QString openFile() override { return {}; }
    std::optional<QString> askText(const QString& text, const QString& initial) override;
};
