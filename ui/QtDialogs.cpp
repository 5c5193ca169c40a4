#include "ui/QtDialogs.h"

#include "store/KeptSettings.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

namespace {

void centreOnScreen(QWidget& box) {
    box.adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = box.frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        box.move(frame.topLeft());
    }
}

// The next dialog of the same kind opens in the folder of the file chosen now.
QString keptFolder(const char* key, const QString& chosen) {
    KeptSettings::setValue(key, QFileInfo(chosen).absolutePath());
    return chosen;
}

void showBox(QWidget* parent, QMessageBox::Icon icon, const QString& text) {
    QMessageBox box(icon, QStringLiteral("Torvane"), QtDialogs::shownText(text), QMessageBox::Ok,
                    parent);
    centreOnScreen(box);
    box.exec();
}

} // namespace

void QtDialogs::message(const QString& text) {
    showBox(m_parent, QMessageBox::NoIcon, text);
}

void QtDialogs::error(const QString& text) {
    showBox(m_parent, QMessageBox::Critical, text);
}

bool QtDialogs::confirm(const QString& text) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("確認"), shownText(text),
                    QMessageBox::NoButton, m_parent);
    QPushButton* yes = box.addButton(QStringLiteral("はい(&Y)"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("いいえ(&N)"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    centreOnScreen(box);
    box.exec();
    return box.clickedButton() == yes;
}

QString QtDialogs::openFile() {
    QFileDialog dialog(m_parent);
    dialog.setObjectName(QStringLiteral("OpD"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // "ﾃｷｽﾄ|*.CSV". Qt's own dialog matches name filters without regard to letter case unless
    // QDir::CaseSensitive is set, so *.CSV also finds file.csv on Linux.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFilter(QDir::AllEntries | QDir::AllDirs | QDir::NoDotAndDotDot);
    dialog.setNameFilter(QStringLiteral("ﾃｷｽﾄ (*.CSV)"));
    if (const QString folder = KeptSettings::existingFolder(KeptSettings::openFolder);
        !folder.isEmpty())
        dialog.setDirectory(folder);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return keptFolder(KeptSettings::openFolder, dialog.selectedFiles().constFirst());
}

std::optional<QString> QtDialogs::askText(const QString& text, const QString& initial) {
    QInputDialog dialog(m_parent);
    dialog.setWindowTitle(QStringLiteral("入力"));
    dialog.setLabelText(shownText(text));
    dialog.setTextValue(initial);
    dialog.setOkButtonText(QStringLiteral("OK"));
    dialog.setCancelButtonText(QStringLiteral("キャンセル"));
    centreOnScreen(dialog);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

QString QtDialogs::saveFile(const QString& suggestedName, const QString& filter) {
    QFileDialog dialog(m_parent);
    dialog.setObjectName(QStringLiteral("SvD"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilter(filter);
    if (const QString folder = KeptSettings::existingFolder(KeptSettings::saveFolder);
        !folder.isEmpty())
        dialog.setDirectory(folder);
    dialog.selectFile(suggestedName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return keptFolder(KeptSettings::saveFolder, dialog.selectedFiles().constFirst());
}
