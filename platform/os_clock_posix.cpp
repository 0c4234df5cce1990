// The process's clocks and pauses on POSIX systems.
#include <time.h>

#include "platform/os_clock.h"

double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void sleepSeconds(double seconds) {
    if (seconds <= 0.0) return;
    const auto whole = static_cast<time_t>(seconds);
    timespec pause{whole, static_cast<long>((seconds - static_cast<double>(whole)) * 1e9)};
    nanosleep(&pause, nullptr);
}
