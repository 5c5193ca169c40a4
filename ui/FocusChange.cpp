#include "ui/FocusChange.h"

#include <QFocusEvent>

bool isControlFocusChange(const QFocusEvent* event) {
    return event->reason() != Qt::ActiveWindowFocusReason &&
           event->reason() != Qt::PopupFocusReason;
}
