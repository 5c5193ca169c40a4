#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

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

// Reads a whole file; throws TorvaneError naming the file when it cannot be read.
QStringList readLines(const QString& path, Encoding encoding);

} // namespace TextFile
