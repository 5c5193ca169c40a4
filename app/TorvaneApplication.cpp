#include "app/TorvaneApplication.h"

#include "session/Translations.h"
#include "store/TextFile.h"
#include "store/TorvaneError.h"
#include "ui/QtDialogs.h"
#include "ui/UserAction.h"

#include <exception>
#include <new>

TorvaneApplication::TorvaneApplication(int& argc, char** argv) : QApplication(argc, argv) {
    TextFile::failWritesPastTheSizeLimit();
    // The file dialogs and standard buttons in Japanese, like the rest of the window.
    installQtTranslations(*this);
}

bool TorvaneApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const TorvaneError& e) {
        report(e.text());
    } catch (const std::bad_alloc&) {
        // Whatever allocation failed was given up with the action; the stored tables are as
        // the last completed write left them.
        report(outOfMemoryText());
    } catch (const std::exception& e) {
        report(QString::fromUtf8(e.what()));
    }
    return false;
}

void TorvaneApplication::report(const QString& text) {
    if (m_report) {
        m_report->error(text);
        return;
    }
    QtDialogs(activeWindow()).error(text);
}

QString TorvaneApplication::missingDisplay() {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
        !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return {};
    return QStringLiteral("there is no display to show the window on (neither DISPLAY nor "
                          "WAYLAND_DISPLAY is set). Start it from a desktop session, or on a "
                          "virtual screen: xvfb-run -a build/torvane");
#else
    return {};
#endif
}
