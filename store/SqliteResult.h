#pragma once

#include <QSqlError>
#include <QString>

// SQLite's primary result codes, read from the driver's native error code (its low byte carries
// the primary code of an extended one).
namespace SqliteResult {

constexpr int busy = 5, locked = 6, nomem = 7, readonly = 8, ioerr = 10, corrupt = 11, full = 13,
              cantopen = 14, tooBig = 18, constraint = 19, mismatch = 20, notadb = 26;

// The primary code of the error; -1 when it carries none (a failed commit in Qt carries only
// its text).
inline int primaryCode(const QSqlError& error) {
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok) & 0xff;
    return ok ? code : -1;
}

} // namespace SqliteResult
