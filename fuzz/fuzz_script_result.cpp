#include "FuzzText.h"
#include "browser/ScriptResult.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QUrl>

#include <cstdlib>

namespace {

void check(bool ok) {
    if (!ok)
        std::abort();
}

// The value as the web view hands it over: JSON text of a string.
QString jsonOf(const QString& value) {
    const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

} // namespace

// The address script's result: what the page decodes from it is the text the script encoded.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = fuzzText(data, size);

    // Whatever comes back is decoded without fault; without percent signs only "+" changes.
    const QString raw = ScriptResult::text(text);
    if (!text.contains(u'%')) {
        QString expected = text.size() >= 2 ? text.mid(1, text.size() - 2) : QString();
        check(raw == expected.replace(u'+', u' '));
    }

    // encodeURIComponent(): everything but unreserved characters escaped, "+" included.
    check(ScriptResult::text(jsonOf(QString::fromLatin1(QUrl::toPercentEncoding(text)))) == text);

    // encodeURI(): the reserved characters of an address stay as they are, so "+" is a space.
    const QString address =
        QString::fromLatin1(QUrl::toPercentEncoding(text, QByteArrayLiteral(";,/?:@&=+$#!'()*")));
    QString expected = text;
    check(ScriptResult::text(jsonOf(address)) == expected.replace(u'+', u' '));
    return 0;
}
