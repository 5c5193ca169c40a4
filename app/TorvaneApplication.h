#pragma once

#include <QApplication>
#include <QString>

class Dialogs;

// The program's application object. Its notify is the one default error handler: an error
// thrown from any event handler ends that event's action, its text goes to the error report and
// the program runs on.
class TorvaneApplication : public QApplication {
    Q_OBJECT
public:
    TorvaneApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Where errors are reported; the main window registers its dialogs here. Without one a
    // plain message box shows the error.
    void setErrorReport(Dialogs* dialogs) { m_report = dialogs; }
    Dialogs* errorReport() const { return m_report; }

    // The window needs a screen. Empty when there is one (or a platform is chosen explicitly),
    // otherwise the reason in words, so the program can say so before the toolkit aborts.
    static QString missingDisplay();

private:
    void report(const QString& text);

    Dialogs* m_report = nullptr;
};
