#include "store/Keys.h"

#include <Qt>

namespace Vk {

int fromQt(int key) {
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return Enter;
    case Qt::Key_Escape:
        return Escape;
    case Qt::Key_Up:
        return Up;
    case Qt::Key_Down:
        return Down;
    case Qt::Key_Left:
        return Left;
    case Qt::Key_Right:
        return Right;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return Tab;
    case Qt::Key_Backspace:
        return Backspace;
    case Qt::Key_Delete:
        return Delete;
    default:
        break;
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12)
        return F1 + (key - Qt::Key_F1);
    // Letters and digits have the same codes in both systems.
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9))
        return key;
    return 0;
}

} // namespace Vk
