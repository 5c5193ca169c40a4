#pragma once

#include "store/Dialogs.h"

#include <QStringList>

// Records what the program says and answers its questions as a test tells it to.
class TestDialogs : public Dialogs {
public:
    QStringList messages;
    QStringList errors;
    QStringList questions;
    bool answer = true;
    QString fileToOpen;

    void message(const QString& text) override { messages << text; }
    bool confirm(const QString& text) override {
        questions << text;
        return answer;
    }
    void error(const QString& text) override { errors << text; }
    QString openFile() override { return fileToOpen; }
    void clear() {
        messages.clear();
        errors.clear();
        questions.clear();
    }
};
