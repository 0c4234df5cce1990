// The process's clocks and pauses.
#pragma once

// Seconds on the process's monotonic clock; only differences mean anything.
double monotonicSeconds();

// Seconds of CPU time the process has used since it started (every thread).
double processCpuSeconds();

// Sleeps for about seconds (at least the system's timer step); returns early on a stop signal
// where the system lets signals interrupt a sleep.
void sleepSeconds(double seconds);
