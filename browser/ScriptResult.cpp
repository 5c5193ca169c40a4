#include "browser/ScriptResult.h"

#include <QByteArray>

namespace ScriptResult {

QString text(const QString& json) {
    QByteArray bytes = json.toUtf8();
    bytes.replace('+', ' ');
    const QString st = QString::fromUtf8(QByteArray::fromPercentEncoding(bytes));
    const qsizetype i = st.length();
    return i >= 2 ? st.mid(1, i - 2) : QString();
}

} // namespace ScriptResult
