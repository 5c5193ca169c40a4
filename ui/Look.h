#pragma once

#include <QFont>
#include <QStringList>

class QApplication;

// The program's look: Fusion with a dark palette, and the window font.

// Japanese fixed-pitch families in order of preference; the first one installed is used.
QStringList windowFontFamilies();
// "ＭＳ ゴシック" at 23 pixels, or the first installed family of windowFontFamilies().
QFont windowFont();
// Applies the dark style and the window font to the whole application. Reports in a message
// box when the style is missing and goes on with the default look.
void applyDarkLook(QApplication& app);
