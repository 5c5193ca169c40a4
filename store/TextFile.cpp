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

QString decode(const QByteArray& bytes, Encoding encoding) {
    if (encoding == Encoding::BomOrLatin) {
        if (auto bom = QStringConverter::encodingForData(bytes)) {
            QStringDecoder decoder(*bom); // the default flags drop the byte-order mark
            return decoder.decode(bytes);
        }
        return QString::fromLatin1(bytes);
    }
    QStringDecoder decoder("CP932");
    if (!decoder.isValid())
        throw TorvaneError(QStringLiteral("文字コード CP932 が使えません"));
    return decoder.decode(bytes);
}

QByteArray encodeCp932(const QString& text) {
    QStringEncoder encoder("CP932");
    if (!encoder.isValid())
        throw TorvaneError(QStringLiteral("文字コード CP932 が使えません"));
    return encoder.encode(text);
}

QStringList readLines(const QString& path, Encoding encoding) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw TorvaneError(QStringLiteral("ファイル %1 を開けません: %2").arg(path, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw TorvaneError(QStringLiteral("ファイル %1 を読めません: %2").arg(path, file.errorString()));
    return splitLines(decode(bytes, encoding));
}

} // namespace TextFile
