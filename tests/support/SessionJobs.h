#pragma once

#include "session/Session.h"

#include <QTest>

// The window trains off its thread: an import through it returns while the training runs.
// Waits, answering events, until the session's job and the forecast after it have ended.
inline bool jobsEnded(const Session& session, int timeoutMs = 120000) {
    return QTest::qWaitFor([&session] { return !session.busy(); }, timeoutMs);
}
