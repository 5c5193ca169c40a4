#pragma once

#include "store/Dialogs.h"

#include <QString>

#include <cstdio>
#include <ctime>
#include <sys/resource.h>

// What every benchmark shares: quiet dialogs and the process's own clock and memory.
namespace bench {

// Answers every question Yes and keeps quiet, so that only the operations are timed; errors
// still reach standard error.
class SilentDialogs : public Dialogs {
public:
    void message(const QString&) override {}
    bool confirm(const QString&) override { return true; }
    void error(const QString& text) override { std::fprintf(stderr, "%s\n", qPrintable(text)); }
    QString openFile() override { return {}; }
};

// Processor time of this process in milliseconds: the machine is shared, so wall time is noisy.
inline double cpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// The process's peak resident memory so far, in kilobytes.
inline long peakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace bench
