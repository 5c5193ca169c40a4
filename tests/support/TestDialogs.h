#pragma once

#include "store/Dialogs.h"

#include <QStringList>

#include <optional>

// Records what the program says and answers its questions as a test tells it to.
class TestDialogs : public Dialogs {
public:
    QStringList messages;
    QStringList errors;
    QStringList questions;
    bool answer = true;
    QString fileToOpen;
    QString fileToSave;
    // The names the save dialog was asked to offer.
    QStringList suggestedNames;
    // Typed questions as asked, with the text each offered.
    QStringList textQuestions;
    QStringList textOffered;
    // The typed answer; unset answers OK with the offered text. cancelText presses Cancel.
    std::optional<QString> textAnswer;
    bool cancelText = false;

    void message(const QString& text) override { messages << text; }
    bool confirm(const QString& text) override {
        questions << text;
        return answer;
    }
    void error(const QString& text) override { errors << text; }
    QString openFile() override { return fileToOpen; }
    std::optional<QString> askText(const QString& text, const QString& initial) override {
        textQuestions << text;
        textOffered << initial;
        if (cancelText)
            return std::nullopt;
        return textAnswer ? *textAnswer : initial;
    }
    QString saveFile(const QString& suggestedName, const QString&) override {
        suggestedNames << suggestedName;
        return fileToSave;
    }
    void clear() {
        textQuestions.clear();
        textOffered.clear();
        messages.clear();
        errors.clear();
        questions.clear();
    }
};
