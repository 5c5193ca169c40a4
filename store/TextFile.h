#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Whole-file text reading and writing for the program's CSV files.
namespace TextFile {

enum class Encoding {
    Cp932,     // Shift_JIS as Windows writes it: catalogue and exchanged CSV files
    BomOrLatin // UTF-8/UTF-16 when a byte-order mark says so, otherwise 8-bit (price files)
};

// Splits at CR, LF or CR LF; a line break at the very end adds no empty line.
QStringList splitLines(const QString& text);
QString decode(const QByteArray& bytes, Encoding encoding);
QByteArray encodeCp932(const QString& text);

// Reads a whole file; throws TorvaneError naming the file when it cannot be read.
QStringList readLines(const QString& path, Encoding encoding);

} // namespace TextFile
