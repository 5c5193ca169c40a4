#include "app/UserGuide.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

QString userGuidePath() {
    const QString installed =
        QDir(QCoreApplication::applicationDirPath())
            .absoluteFilePath(QStringLiteral("../" TORVANE_INSTALLED_DOC_DIR "/guide.md"));
    if (QFileInfo::exists(installed))
        return QDir::cleanPath(installed);
    const QString source = QStringLiteral(TORVANE_GUIDE_DIR "/guide.md");
    return QFileInfo::exists(source) ? source : QString();
}

bool showUserGuide(QWidget* parent) {
    const QString path = userGuidePath();
    if (path.isEmpty())
        return false;
    auto* window = parent->findChild<QDialog*>(QStringLiteral("guideWindow"));
    if (!window) {
        window = new QDialog(parent);
        window->setObjectName(QStringLiteral("guideWindow"));
        window->setWindowTitle(QStringLiteral("Torvane 利用の手引き"));
        window->resize(900, 700);
        auto* text = new QTextBrowser(window);
        text->setObjectName(QStringLiteral("guideText"));
        text->setOpenExternalLinks(true);
        // The .md suffix makes the browser read it as Markdown, pictures relative to the file.
        text->setSource(QUrl::fromLocalFile(path));
        auto* layout = new QVBoxLayout(window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(text);
    }
    window->show();
    window->raise();
    window->activateWindow();
    return true;
}
