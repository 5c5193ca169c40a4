#pragma once

class QMenu;
class QPoint;
class QWidget;

// Shows menu at the global position and waits for it. The menu is a little wider than the style
// asks: the style shortens a caption that does not fit ("画像…保存"), and a glyph taken from a
// fallback font can measure narrower than it draws.
void showContextMenu(QMenu& menu, const QPoint& globalPos);

// Everyday entry without the hints: the context menu of each panel offers "ﾋﾝﾄを表示", on by
// default, kept with the other settings. Off, the boxes "F3ｷｰで修正" and "↓↑ｷｰで選択出来ます" and
// the jump to the browser on entering an empty conclusion stay away.
void offerHintsSwitch(QWidget* panel);
