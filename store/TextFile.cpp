#include "store/TextFile.h"

#include "store/TorvaneError.h"

#include <QDir>
#include <QFileInfo>
#include <QStringEncoder>

#include <cerrno>
#include <csignal>
#include <cstring>

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

namespace {

constexpr qint64 chunkBytes = 1 << 20;

// Whole megabytes, a started one counted: a file one byte over the limit never reads as the limit.
qint64 megabytesUp(qint64 bytes) {
    return (bytes + (1 << 20) - 1) >> 20;
}

} // namespace

void checkReadable(const QString& path, qint64 maxBytes) {
    const QFileInfo info(path);
    if (!info.exists())
        return; // opening it names the reason
    if (!info.isFile())
        throw TorvaneError(
            QStringLiteral("%1 は通常のファイルではないので読めません(装置、パイプ、フォルダなど)")
                .arg(path));
    if (info.size() > maxBytes)
        throw TorvaneError(
            QStringLiteral("ファイル %1 は大きすぎるので読めません(%2 MB、%3 MB まで)")
                .arg(path)
                .arg(megabytesUp(info.size()))
                .arg(maxBytes >> 20));
}

QStringList readLines(const QString& path, Encoding encoding, qint64 maxBytes) {
    checkReadable(path, maxBytes);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw TorvaneError(
            QStringLiteral("ファイル %1 を開けません: %2").arg(path, file.errorString()));
    // Read in pieces up to one byte over the limit: read(n) sets aside n bytes before it reads,
    // and a file that grew since it was looked at still ends at the limit.
    QByteArray bytes;
    bytes.reserve(qsizetype(std::min(file.size(), maxBytes)));
    while (bytes.size() <= maxBytes) {
        const QByteArray piece =
            file.read(std::min<qint64>(chunkBytes, maxBytes + 1 - bytes.size()));
        if (file.error() != QFileDevice::NoError)
            throw TorvaneError(
                QStringLiteral("ファイル %1 を読めません: %2").arg(path, file.errorString()));
        if (piece.isEmpty())
            break;
        bytes += piece;
    }
    if (bytes.size() > maxBytes)
        throw TorvaneError(QStringLiteral("ファイル %1 は大きすぎるので読めません(%2 MB まで)")
                               .arg(path)
                               .arg(maxBytes >> 20));
    return splitLines(decode(bytes, encoding));
}

namespace {

// UTF-16 without a byte-order mark: in a text of Latin letters and digits every other byte is
// zero. Little-endian puts the zeros second.
std::optional<QStringConverter::Encoding> utf16ByZeros(const QByteArray& head) {
    const qsizetype pairs = std::min<qsizetype>(head.size() / 2, 512);
    if (pairs < 2)
        return {};
    qsizetype evenZero = 0, oddZero = 0;
    for (qsizetype i = 0; i < pairs; ++i) {
        evenZero += head[2 * i] == '\0' && head[2 * i + 1] != '\0';
        oddZero += head[2 * i] != '\0' && head[2 * i + 1] == '\0';
    }
    if (oddZero * 10 >= pairs * 9)
        return QStringConverter::Utf16LE;
    if (evenZero * 10 >= pairs * 9)
        return QStringConverter::Utf16BE;
    return {};
}

} // namespace

LineReader::LineReader(const QString& path, Encoding encoding, qint64 maxBytes, bool detectUtf16)
    : m_path(path), m_file(path), m_encoding(encoding), m_detectUtf16(detectUtf16) {
    if (encoding == Encoding::Exchange)
        throw TorvaneError(QStringLiteral("この文字コードは行ごとに読めません"));
    checkReadable(path, maxBytes);
    if (!m_file.open(QIODevice::ReadOnly))
        throw TorvaneError(
            QStringLiteral("ファイル %1 を開けません: %2").arg(path, m_file.errorString()));
}

bool LineReader::fill() {
    if (m_atEnd)
        return false;
    QByteArray bytes = m_file.read(chunkBytes);
    if (m_file.error() != QFileDevice::NoError)
        throw TorvaneError(
            QStringLiteral("ファイル %1 を読めません: %2").arg(m_path, m_file.errorString()));
    if (bytes.isEmpty()) {
        m_atEnd = true;
        return false;
    }
    if (!m_started) {
        m_started = true;
        std::optional<QStringConverter::Encoding> which;
        if (m_encoding == Encoding::BomOrLatin) {
            which = QStringConverter::encodingForData(bytes);
            if (!which && m_detectUtf16)
                which = utf16ByZeros(bytes);
            m_latin = !which;
            if (which)
                m_decoder.emplace(*which); // the default flags drop the byte-order mark
        } else {
            m_decoder.emplace("CP932");
            if (!m_decoder->isValid())
                throw TorvaneError(QStringLiteral("文字コード CP932 が使えません"));
        }
    }
    // The unread rest and the new chunk in a buffer of their own size: removing the read part
    // and appending would keep the capacity the buffer ever had, several chunks' worth.
    QString chunk = m_latin ? QString::fromLatin1(bytes) : QString(m_decoder->decode(bytes));
    if (m_pos < m_buffer.size()) {
        QString rest;
        rest.reserve(m_buffer.size() - m_pos + chunk.size());
        rest += QStringView(m_buffer).mid(m_pos);
        rest += chunk;
        chunk = std::move(rest);
    }
    m_buffer = std::move(chunk);
    m_pos = 0;
    return true;
}

bool LineReader::next(QString& line) {
    qsizetype scanned = 0; // characters of the buffer already searched for a line break
    while (true) {
        if (m_skipLf && m_pos < m_buffer.size()) {
            if (m_buffer.at(m_pos) == u'\n')
                ++m_pos;
            m_skipLf = false;
        }
        const qsizetype n = m_buffer.size();
        for (qsizetype i = m_pos + scanned; i < n; ++i) {
            const QChar c = m_buffer.at(i);
            if (c != u'\r' && c != u'\n')
                continue;
            line = m_buffer.mid(m_pos, i - m_pos);
            m_pos = i + 1;
            if (c == u'\r') {
                if (m_pos < n) {
                    if (m_buffer.at(m_pos) == u'\n')
                        ++m_pos;
                } else {
                    m_skipLf = true;
                }
            }
            ++m_lines;
            return true;
        }
        scanned = n - m_pos;
        if (scanned > maxLineChars)
            throw TorvaneError(
                QStringLiteral("ファイル %1 の %2 行目が長すぎます(%3 文字を超えています)。")
                    .arg(m_path)
                    .arg(m_lines + 1)
                    .arg(maxLineChars));
        if (!fill()) {
            // The reader may live on after its last line: the buffer goes now.
            if (m_pos >= m_buffer.size()) {
                m_buffer = QString();
                m_pos = 0;
                return false;
            }
            line = m_buffer.mid(m_pos);
            m_buffer = QString();
            m_pos = 0;
            ++m_lines;
            return true;
        }
    }
}

QString cutToLength(const QString& text, qsizetype length) {
    if (length < 0)
        length = 0;
    if (text.size() <= length)
        return text;
    if (length > 0 && text.at(length - 1).isHighSurrogate())
        --length;
    return text.left(length);
}

QString systemReason(int error, const QString& fallback) {
    switch (error) {
    case ENOSPC:
        return QStringLiteral("ディスクの空き容量がありません(No space left on device)");
    case EDQUOT:
        return QStringLiteral("ディスクの使用量の上限に達しました(Disk quota exceeded)");
    case EFBIG:
        return QStringLiteral("ファイルが大きすぎます(File too large)");
    case EACCES:
    case EPERM:
        return QStringLiteral("書き込む権限がありません(Permission denied)");
    case EROFS:
        return QStringLiteral("読み取り専用のファイルシステムです(Read-only file system)");
    case ENOENT:
        return QStringLiteral("フォルダがありません(No such file or directory)");
    case EIO:
        return QStringLiteral("装置の入出力エラーです(Input/output error)");
    default:
        break;
    }
    if (error != 0)
        return QString::fromLocal8Bit(std::strerror(error));
    return fallback;
}

void openForWriting(QSaveFile& file) {
    refuseSpecialTarget(file.fileName());
    errno = 0;
    if (!file.open(QIODevice::WriteOnly)) {
        const int error = errno;
        throw TorvaneError(QStringLiteral("ファイル %1 を作成できません: %2")
                               .arg(file.fileName(), systemReason(error, file.errorString())));
    }
}

void write(QSaveFile& file, const QByteArray& bytes) {
    errno = 0;
    if (file.write(bytes) != bytes.size()) {
        const int error = errno;
        file.cancelWriting();
        throw TorvaneError(
            QStringLiteral("ファイル %1 に書き込めません。元のファイルはそのままです: %2")
                .arg(file.fileName(), systemReason(error, file.errorString())));
    }
}

void commit(QSaveFile& file) {
    errno = 0;
    // Flushed first, so that the system's reason for a full disk is the one reported.
    const bool flushed = file.flush();
    const int flushError = errno;
    if (flushed && file.commit())
        return;
    const int error = flushError ? flushError : errno;
    file.cancelWriting();
    throw TorvaneError(
        QStringLiteral("ファイル %1 に書き込めません。元のファイルはそのままです: %2")
            .arg(file.fileName(), systemReason(error, file.errorString())));
}

QString resolvedPath(const QString& path) {
    QFileInfo info(path);
    // A link, even one that points nowhere yet, is written through to its target.
    for (int hops = 0; info.isSymLink() && hops < 40; ++hops)
        info = QFileInfo(info.absoluteDir(), info.symLinkTarget());
    if (info.exists())
        return info.canonicalFilePath();
    const QString folder = info.absoluteDir().canonicalPath();
    return QDir::cleanPath((folder.isEmpty() ? info.absolutePath() : folder) + u'/' +
                           info.fileName());
}

void refuseDatabaseTarget(const QString& path, const QString& dbPath) {
    if (dbPath.isEmpty())
        return;
    const QString target = resolvedPath(path);
    const QString db = resolvedPath(dbPath);
    for (const QString& suffix :
         {QString(), QStringLiteral("-journal"), QStringLiteral("-wal"), QStringLiteral("-shm")})
        if (target == db + suffix)
            throw TorvaneError(
                QStringLiteral(
                    "%1 はデータベースのファイル %2 なので書き出せません。"
                    "書き出すとﾃｰﾌﾞﾙがすべて失われます。別のファイル名を指定してください。")
                    .arg(path, QFileInfo(dbPath).fileName() + suffix));
}

void refuseSpecialTarget(const QString& path) {
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        throw TorvaneError(
            QStringLiteral("%1 は通常のファイルではないので書けません(装置、パイプ、フォルダなど)。"
                           "別のファイル名を指定してください。")
                .arg(path));
}

void refuseOutputTarget(const QString& path, const QString& dbPath) {
    refuseDatabaseTarget(path, dbPath);
    refuseSpecialTarget(path);
}

void failWritesPastTheSizeLimit() {
    std::signal(SIGXFSZ, SIG_IGN);
}

} // namespace TextFile
