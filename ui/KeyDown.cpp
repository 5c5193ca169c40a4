#include "ui/KeyDown.h"

#include <QKeyEvent>
#include <QWidget>

int virtualKeyCode(const QKeyEvent& event) {
    return Vk::fromQt(event.key());
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
