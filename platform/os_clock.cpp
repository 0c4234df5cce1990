// The monotonic clock, the same on every system.
#include <chrono>

#include "platform/os_clock.h"

double monotonicSeconds() {
    using Seconds = std::chrono::duration<double>;
    return std::chrono::duration_cast<Seconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
