// Start-up timings: timestamped lines on stderr, printed only under --timings.
#pragma once

// Notes the start of the run (the first thing main does) and whether lines are printed.
void startTimings(bool print);

// Prints "brindlehop: timing +W ms wall, C ms CPU: what" when timings are on: wall time since
// startTimings, and the process's CPU time since it was launched (loading included).
void markTiming(const char* what);
