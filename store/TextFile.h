#pragma once

#include <QByteArray>
#include <QFile>
#include <QSaveFile>
#include <QString>
#include <QStringDecoder>
#include <QStringList>

#include <optional>

// Whole-file text reading and writing for the program's CSV files.
namespace TextFile {

enum class Encoding {
    Cp932,      // Shift_JIS as Windows writes it: catalogue and exchanged CSV files
    BomOrLatin, // UTF-8/UTF-16 when a byte-order mark says so, otherwise 8-bit (price files)
    // Exchanged CSV files: UTF-8/UTF-16 when a byte-order mark says so, UTF-8 when the bytes are
    // UTF-8 holding kana, kanji or other characters from U+0800 on (which CP932 text in
    // practice never is), otherwise CP932.
    Exchange
};

// Splits at CR, LF or CR LF; a line break at the very end adds no empty line.
QStringList splitLines(const QString& text);
QString decode(const QByteArray& bytes, Encoding encoding);
// Characters CP932 cannot hold become "?"; unencodable, when given, receives their number.
QByteArray encodeCp932(const QString& text, qsizetype* unencodable = nullptr);

// The longest files read, in bytes: beyond these a file cannot be what the program reads, and
// reading it would only exhaust the memory.
constexpr qint64 maxCatalogueBytes = 16LL << 20;
constexpr qint64 maxCsvBytes = 256LL << 20;
constexpr qint64 maxPriceBytes = 2LL << 30;
// The longest line a price file or a platform export may hold, in characters.
constexpr qsizetype maxLineChars = 16 << 20;

// Refuses, with an error naming the file, what is no regular file (a device, a FIFO, a folder)
// or is larger than maxBytes; a missing file is refused as one that cannot be opened.
void checkReadable(const QString& path, qint64 maxBytes);

// Reads a whole file; throws TorvaneError naming the file when it cannot be read.
QStringList readLines(const QString& path, Encoding encoding, qint64 maxBytes = maxCsvBytes);

// Reads a file line by line, so that memory follows the longest line rather than the file.
// Lines split as splitLines does. Encoding::Exchange needs the whole file and is not offered.
class LineReader {
public:
    // detectUtf16: text without a byte-order mark whose every other byte is zero reads as
    // UTF-16 (platform exports are written so).
    LineReader(const QString& path, Encoding encoding, qint64 maxBytes = maxPriceBytes,
               bool detectUtf16 = false);
    // The next line into line; false at the end. Throws TorvaneError naming the file when it
    // cannot be read or a line is longer than maxLineChars.
    bool next(QString& line);
    // Lines read so far.
    qsizetype lineCount() const { return m_lines; }
    const QString& path() const { return m_path; }

private:
    bool fill();

    QString m_path;
    QFile m_file;
    Encoding m_encoding;
    bool m_detectUtf16;
    bool m_started = false;
    bool m_atEnd = false;
    bool m_latin = false;
    std::optional<QStringDecoder> m_decoder;
    QString m_buffer;
    qsizetype m_pos = 0;
    bool m_skipLf = false; // the last chunk ended in CR: a LF that follows belongs to it
    qsizetype m_lines = 0;
};

// text cut to at most length characters, never between the halves of a surrogate pair.
QString cutToLength(const QString& text, qsizetype length);

// Why the last file operation failed, in Japanese, from the system's error number: a full disk
// says that no space is left on the device. fallback is used when the system gave no number.
QString systemReason(int error, const QString& fallback);

// Writing through QSaveFile: the old file is replaced only once the new one is complete, so a
// failed write leaves it as it was. Each throws TorvaneError naming the file and the system's
// reason; openForWriting refuses what is no regular file.
void openForWriting(QSaveFile& file);
void write(QSaveFile& file, const QByteArray& bytes);
void commit(QSaveFile& file);

// The path a write to path lands on: links followed, relative parts resolved; for a file that
// does not exist yet its folder's real path and its name.
QString resolvedPath(const QString& path);
// Refuses, with an error naming it, an output path that lands on the database file at dbPath
// or its journal files.
void refuseDatabaseTarget(const QString& path, const QString& dbPath);
// Refuses, with an error naming it, an existing output that is no regular file (a device, a
// FIFO, a folder; a link is followed): writing would replace it by a file.
void refuseSpecialTarget(const QString& path);
// The one rule for every file the program writes, checked before anything is said or written:
// neither the database nor its journals, nor anything but a regular file.
void refuseOutputTarget(const QString& path, const QString& dbPath);

// A write past the process's file-size limit (ulimit -f) fails with "File too large", which
// the writers report, instead of the signal that would end the program.
void failWritesPastTheSizeLimit();

} // namespace TextFile
