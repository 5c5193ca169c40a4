#pragma once

#include <QString>

class QFileDevice;

// Why a file could not be opened or written, in Japanese: the system's reasons a user meets
// (no such folder, no permission, a full disk, ...) are named in words; any other reason is
// passed on as the system gives it.
QString fileReason(const QFileDevice& file);
