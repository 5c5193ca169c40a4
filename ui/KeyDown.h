#pragma once

#include <QObject>
#include <Qt>

#include <functional>

class QKeyEvent;
class QWidget;

// Virtual key codes the pages' handlers test for.
namespace Vk {
constexpr int Enter = 13;
constexpr int Escape = 27;
constexpr int Up = 38;
constexpr int Down = 40;
constexpr int F3 = 114;
constexpr int F12 = 123;
} // namespace Vk

// The virtual key code of a pressed key: the codes above, Tab, Backspace, the other arrows,
// Delete, F1 to F12, letters and digits; 0 for any other key.
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
