#pragma once

#include <QLineEdit>

class QKeyEvent;

// An edit field of an entry panel. It reports focus arrivals and departures between controls
// of the window (not those caused by a message box or by switching programs) and every key
// with its virtual key code (Vk), then lets the line edit handle the key as usual.
class RecordField : public QLineEdit {
    Q_OBJECT
public:
    // Input method of the field: untouched, off, or half-width katakana.
    enum class Ime { None, Off, HalfKatakana };

    RecordField(const QString& objectName, QWidget* parent = nullptr);

    void setIme(Ime ime);
    Ime ime() const { return m_ime; }

    // Enter moves to the next control and Escape to the previous one, unless the page takes
    // the key over for this field.
    bool enterMovesOn = true;
    bool escapeMovesBack = true;

    // The next (or previous) control in the window's tab order takes the focus.
    void moveFocus(bool next) { focusNextPrevChild(next); }

Q_SIGNALS:
    void entered();
    void left();
    void keyDown(int key, Qt::KeyboardModifiers modifiers);

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    Ime m_ime = Ime::None;
};
