#pragma once

#include <QString>
#include <QWidget>

// What the browser page needs of its embedded web view: navigate, run a script whose result
// arrives later, and close. Keeping the page behind this lets its logic run without a browser
// engine.
class WebView : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;

    // Opens the address as given; the view comes into being on the first navigation and again
    // after closeView().
    virtual void navigate(const QString& address) = 0;
    // Runs the script in the current page; scriptResult follows later, on the same thread.
    virtual void runScript(const QString& script) = 0;
    // Releases the page: the view shows nothing until the next navigation.
    virtual void closeView() = 0;

Q_SIGNALS:
    // aResult is the engine's result code (0 when it reports none); json is the script's value
    // as JSON text, "null" when the script yields nothing.
    void scriptResult(int aResult, const QString& json);
};
