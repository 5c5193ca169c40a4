#pragma once

#include <QString>
#include <stdexcept>

// The one error type of the core: it ends the user's action and its text is shown to the user.
class TorvaneError : public std::runtime_error {
public:
    explicit TorvaneError(const QString& text)
        : std::runtime_error(text.toStdString()), m_text(text) {}
    const QString& text() const noexcept { return m_text; }

private:
    QString m_text;
};

// The text shown when memory ran out during a user action.
inline QString outOfMemoryText() {
    return QStringLiteral("メモリが足りません");
}
