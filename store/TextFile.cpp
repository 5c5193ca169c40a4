#include "store/TextFile.h"

#include "store/TorvaneError.h"

#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>

namespace TextFile {

QStringList splitLines(const QString& text) {
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c == u'\r' || c == u'\n') {
            lines << text.mid(start, i - start);
            if (c == u'\r' && i + 1 < n && text.at(i + 1) == u'\n')
                ++i;
            start = i + 1;
        }
    }
    if (start < n)
        lines << text.mid(start);
    return lines;
}

namespace {

// The text of bytes that are valid UTF-8 with at least one character from U+0800 on; a null
// text otherwise.
QString wideUtf8(const QByteArray& bytes) {
    QStringDecoder decoder(QStringConverter::Utf8);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return {};
    for (const QChar c : std::as_const(text))
        if (c.unicode() >= 0x800)
            return text;
    return {};
}

} // namespace

QString decode(const QByteArray& bytes, Encoding encoding) {
    if (encoding != Encoding::Cp932) {
        if (auto bom = QStringConverter::encodingForData(bytes)) {
            QStringDecoder decoder(*bom); // the default flags drop the byte-order mark
            return decoder.decode(bytes);
        }
        if (encoding == Encoding::BomOrLatin)
            return QString::fromLatin1(bytes);
        if (QString text = wideUtf8(bytes); !text.isNull())
            return text;
    }
    QStringDecoder decoder("CP932");
    if (!decoder.isValid())
        throw TorvaneError(QStringLiteral("文字コード CP932 が使えません"));
    return decoder.decode(bytes);
}

QByteArray encodeCp932(const QString& text, qsizetype* unencodable) {
    QStringEncoder encoder("CP932");
    QStringDecoder decoder("CP932");
    if (!encoder.isValid() || !decoder.isValid())
        throw TorvaneError(QStringLiteral("文字コード CP932 が使えません"));
    if (unencodable)
        *unencodable = 0;
    // The converter's error flag misses some substitutions, so a text is known to be written
    // faithfully only when its bytes read back as the same text.
    QByteArray bytes = encoder.encode(text);
    if (QString(decoder.decode(bytes)) == text)
        return bytes;
    // Character by character: the substitute bytes of a character CP932 lacks would read back
    // as something else, so it becomes "?".
    bytes.clear();
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n;) {
        const qsizetype width =
            text.at(i).isHighSurrogate() && i + 1 < n && text.at(i + 1).isLowSurrogate() ? 2 : 1;
        const QStringView one = QStringView(text).mid(i, width);
        const QByteArray encoded = encoder.encode(one);
        if (QString(decoder.decode(encoded)) == one) {
            bytes += encoded;
        } else {
            bytes += '?';
            if (unencodable)
                ++*unencodable;
        }
        i += width;
    }
    return bytes;
}

QStringList readLines(const QString& path, Encoding encoding) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw TorvaneError(
            QStringLiteral("ファイル %1 を開けません: %2").arg(path, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw TorvaneError(
            QStringLiteral("ファイル %1 を読めません: %2").arg(path, file.errorString()));
    return splitLines(decode(bytes, encoding));
}

} // namespace TextFile
