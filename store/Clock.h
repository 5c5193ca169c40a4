#pragma once

#include <QDate>
#include <QDateTime>

// The one source of today's date and the present time. Tests and the headless command fix it.
class Clock {
public:
    static QDateTime now();
    static QDate today() { return now().date(); }
    static void fix(const QDateTime& moment);
    static void release();
};
