#pragma once

#include "store/TextFile.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

// Fuzz input as the program would see it: half the runs as CP932 bytes, half as UTF-8.
inline QString fuzzText(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    if (size > 0 && (data[0] & 1))
        return TextFile::decode(bytes.mid(1), TextFile::Encoding::Cp932);
    return QString::fromUtf8(bytes.mid(size > 0 ? 1 : 0));
}
