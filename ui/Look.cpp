#include "ui/Look.h"

#include <QApplication>
#include <QFontDatabase>
#include <QMessageBox>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

QStringList windowFontFamilies() {
    // IPAGothic shares the line height of "ＭＳ ゴシック" (one em), so captions fit the 25-pixel
    // buttons; the Noto families are a third taller and would be cut.
    return {QStringLiteral("ＭＳ ゴシック"),    QStringLiteral("MS Gothic"),
            QStringLiteral("IPAGothic"),        QStringLiteral("Noto Sans Mono CJK JP"),
            QStringLiteral("Noto Sans CJK JP"), QStringLiteral("VL Gothic"),
            QStringLiteral("TakaoGothic")};
}

QFont windowFont() {
    const QStringList installed = QFontDatabase::families();
    QStringList families;
    for (const QString& family : windowFontFamilies())
        if (installed.contains(family, Qt::CaseInsensitive))
            families << family;
    QFont font = QApplication::font();
    // The whole chain, so that a glyph one family lacks comes from the next, never as a box.
    if (!families.isEmpty())
        font.setFamilies(families);
    font.setStyleHint(QFont::TypeWriter);
    font.setPixelSize(23);
    return font;
}

namespace {

QPalette darkPalette() {
    const QColor window(0x20, 0x20, 0x20);
    const QColor base(0x2b, 0x2b, 0x2b);
    const QColor text(0xf0, 0xf0, 0xf0);
    const QColor disabledText(0x80, 0x80, 0x80);
    const QColor accent(0x00, 0x78, 0xd7);

    QPalette p;
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, QColor(0x33, 0x33, 0x33));
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, disabledText);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(0x33, 0x33, 0x33));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::red);
    p.setColor(QPalette::Light, QColor(0x4a, 0x4a, 0x4a));
    p.setColor(QPalette::Midlight, QColor(0x3c, 0x3c, 0x3c));
    p.setColor(QPalette::Mid, QColor(0x2a, 0x2a, 0x2a));
    p.setColor(QPalette::Dark, QColor(0x18, 0x18, 0x18));
    p.setColor(QPalette::Shadow, Qt::black);
    p.setColor(QPalette::Highlight, accent);
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(0x4c, 0xc2, 0xff));
    p.setColor(QPalette::LinkVisited, QColor(0xb0, 0x8c, 0xff));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabledText);
    p.setColor(QPalette::Disabled, QPalette::Highlight, QColor(0x40, 0x40, 0x40));
    return p;
}

} // namespace

void applyDarkLook(QApplication& app) {
    if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion"))) {
        QApplication::setStyle(style);
        QApplication::setPalette(darkPalette());
    } else {
        QMessageBox::warning(nullptr, QStringLiteral("Torvane"),
                             QStringLiteral("ｽﾀｲﾙ \"Windows10 Dark\" を適用できません"));
    }
    app.setFont(windowFont());
}
