#include "app/UserGuide.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
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

namespace {

QString headingAnchor(const QString& heading) {
    // As Markdown renderers derive it: lower case, letters, digits, marks, '-' and '_' kept,
    // blanks as '-', every other sign dropped ("6.2 2ﾌﾟﾛ目: プロの予想" → "62-2ﾌﾟﾛ目-プロの予想").
    QString anchor;
    for (const QChar c : heading.toLower()) {
        if (c.isLetterOrNumber() || c.isMark() || c == u'-' || c == u'_')
            anchor += c;
        else if (c == u' ')
            anchor += u'-';
    }
    return anchor;
}

// Qt's Markdown reader gives headings no anchors: name each heading as the guide's "#…" links
// do, so that they scroll to their section.
void nameHeadings(QTextDocument* document) {
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() == 0)
            continue;
        QTextCursor cursor(block);
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        QTextCharFormat named;
        named.setAnchor(true);
        named.setAnchorNames({headingAnchor(block.text())});
        cursor.mergeCharFormat(named);
    }
}

} // namespace

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
        nameHeadings(text->document());
        auto* layout = new QVBoxLayout(window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(text);
    }
    window->show();
    window->raise();
    window->activateWindow();
    return true;
}
