#include "records/RecordField.h"

#include "store/Keys.h"
#include "ui/FocusChange.h"

#include <QFocusEvent>
#include <QKeyEvent>

RecordField::RecordField(const QString& objectName, QWidget* parent) : QLineEdit(parent) {
    setObjectName(objectName);
}

void RecordField::setIme(Ime ime) {
    m_ime = ime;
    switch (ime) {
    case Ime::None:
        setInputMethodHints(Qt::ImhNone);
        setProperty("imeMode", QString());
        break;
    case Ime::Off:
        setInputMethodHints(Qt::ImhLatinOnly | Qt::ImhNoPredictiveText);
        setProperty("imeMode", QStringLiteral("off"));
        break;
    case Ime::HalfKatakana:
        // No input method on Linux takes a half-width katakana request; the wish is kept on
        // the field for platforms that can honour it.
        setInputMethodHints(Qt::ImhNone);
        setProperty("imeMode", QStringLiteral("halfKatakana"));
        break;
    }
}

void RecordField::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    if (isControlFocusChange(event))
        Q_EMIT entered();
}

void RecordField::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    if (isControlFocusChange(event))
        Q_EMIT left();
}

void RecordField::keyPressEvent(QKeyEvent* event) {
    const int key = Vk::fromQt(event->key());
    if (key != 0) {
        const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
        if (key == Vk::Enter && enterMovesOn)
            moveFocus(true);
        else if (key == Vk::Escape && escapeMovesBack)
            moveFocus(false);
        Q_EMIT keyDown(key, modifiers);
    }
    QLineEdit::keyPressEvent(event);
}
