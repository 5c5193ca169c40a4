#pragma once

#include "store/Keys.h"

#include <QObject>
#include <Qt>

#include <functional>

class QKeyEvent;
class QWidget;

// The virtual key code of a pressed key (Vk::fromQt).
int virtualKeyCode(const QKeyEvent& event);

// A control's key-down event: the handler gets the virtual key code and the shift state of each
// key with a code pressed in the control, before the control handles the key itself, as usual.
// The handler cannot swallow the key.
using KeyDownHandler = std::function<void(int key, Qt::KeyboardModifiers shift)>;
void onKeyDown(QWidget* control, KeyDownHandler handler);

class KeyDownFilter : public QObject {
    Q_OBJECT
public:
    KeyDownFilter(QWidget* control, KeyDownHandler handler);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_control;
    KeyDownHandler m_handler;
};
