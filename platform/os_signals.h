// A request to stop the offline runs after the current frame: SIGINT and SIGTERM on POSIX; Ctrl+C,
// Ctrl+Break and the console window closing on Windows, reported as SIGINT (2) and SIGTERM (15)
// so that the runs end with the same status (128 + the number) on both.
#pragma once

constexpr int kStopInterrupt = 2;   // SIGINT, Ctrl+C
constexpr int kStopTerminate = 15;  // SIGTERM, Ctrl+Break, the console closed, log-off

// Installs the handlers, which only note the request; blocking calls they interrupt return
// early (no restart), so a wait on the encoder can look at it.
void catchStopSignals();

// The signal that asked the run to stop, or 0 when none has.
int stopSignal();

// A write into a pipe whose reader has gone fails with an error instead of ending the process.
void ignoreBrokenPipes();
