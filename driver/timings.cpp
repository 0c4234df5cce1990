// Start-up timings: timestamped lines on stderr, printed only under --timings.
#include "driver/timings.h"

#include <time.h>

#include <cstdio>

namespace {

struct Timings {
    bool print = false;      // --timings was given
    double startWall = 0.0;  // monotonic seconds at startTimings
};
Timings timings;

double clockSeconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace

void startTimings(bool print) {
    if (timings.startWall == 0.0) timings.startWall = clockSeconds(CLOCK_MONOTONIC);
    timings.print = print;
}

void markTiming(const char* what) {
    if (!timings.print) return;
    const double wall = clockSeconds(CLOCK_MONOTONIC) - timings.startWall;
    const double cpu = clockSeconds(CLOCK_PROCESS_CPUTIME_ID);
    std::fprintf(stderr, "brindlehop: timing +%.1f ms wall, %.1f ms CPU: %s\n", wall * 1e3,
                 cpu * 1e3, what);
}
