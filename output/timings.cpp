// Start-up timings: timestamped lines on stderr, printed only under --timings.
#include "output/timings.h"

#include <cstdio>

#include "platform/os_clock.h"

namespace {

struct Timings {
    bool print = false;      // --timings was given
    double startWall = 0.0;  // monotonic seconds at startTimings
};
Timings timings;

}  // namespace

void startTimings(bool print) {
    if (timings.startWall == 0.0) timings.startWall = monotonicSeconds();
    timings.print = print;
}

void markTiming(const char* what) {
    if (!timings.print) return;
    const double wall = monotonicSeconds() - timings.startWall;
    const double cpu = processCpuSeconds();
    std::fprintf(stderr, "brindlehop: timing +%.1f ms wall, %.1f ms CPU: %s\n", wall * 1e3,
                 cpu * 1e3, what);
}
