#include "ui/KeyDown.h"

#include <QKeyEvent>
#include <QWidget>

int virtualKeyCode(const QKeyEvent& event) {
    const int key = event.key();
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return Vk::Enter;
    case Qt::Key_Escape:
        return Vk::Escape;
    case Qt::Key_Up:
        return Vk::Up;
    case Qt::Key_Down:
        return Vk::Down;
    case Qt::Key_Left:
        return 37;
    case Qt::Key_Right:
        return 39;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return 9;
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Delete:
        return 46;
    default:
        break;
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12)
        return 112 + (key - Qt::Key_F1);
    // Letters and digits have the same codes in both systems.
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9))
        return key;
    return 0;
}

KeyDownFilter::KeyDownFilter(QWidget* control, KeyDownHandler handler)
    : QObject(control), m_control(control), m_handler(std::move(handler)) {
    control->installEventFilter(this);
}

bool KeyDownFilter::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_control && event->type() == QEvent::KeyPress) {
        const auto& key = static_cast<const QKeyEvent&>(*event);
        if (const int code = virtualKeyCode(key))
            m_handler(code, key.modifiers());
    }
    return false;
}

void onKeyDown(QWidget* control, KeyDownHandler handler) {
    new KeyDownFilter(control, std::move(handler));
}
