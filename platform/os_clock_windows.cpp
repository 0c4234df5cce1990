// The process's clocks and pauses on Windows.
#include <cmath>
#include <cstdint>

#include "platform/os_clock.h"
#include "platform/os_windows.h"

double processCpuSeconds() {
    FILETIME created{}, ended{}, kernel{}, user{};
    if (!GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user)) return 0.0;
    const auto ticks = [](const FILETIME& time) {
        return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    return static_cast<double>(ticks(kernel) + ticks(user)) * 1e-7;  // 100 ns steps
}

void sleepSeconds(double seconds) {
    if (seconds <= 0.0) return;
    // The stop request ends the pause, as a signal ends nanosleep on POSIX.
    WaitForSingleObject(stopRequestEvent(), static_cast<DWORD>(std::ceil(seconds * 1000.0)));
}
