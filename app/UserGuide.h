#pragma once

#include <QString>

class QWidget;

// The user guide docs/guide.md: installed beside the program in share/doc/torvane, or the source
// tree's in a build. Empty when neither is there.
QString userGuidePath();

// The guide in a window of its own, over parent; one window, raised again when it is open.
// False when the guide cannot be found.
bool showUserGuide(QWidget* parent);
