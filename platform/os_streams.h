// The standard streams: kept open from the first moment, whatever the caller left, and written
// byte for byte (no newline translation), so output is the same on every system.
#pragma once

#include <cstdio>

constexpr int kStandardInput = 0;
constexpr int kStandardOutput = 1;
constexpr int kStandardError = 2;

// Opens the null device on each of the standard streams 0, 1 and 2 that is closed, so that no
// file, pipe or display connection opened later takes one of their numbers and receives stray
// console text; on Windows a program started from a console without one of its own attaches to
// its parent's first. Call first thing in main.
void openClosedStandardStreams();

// Whether stream fd (0, 1 or 2) was closed when openClosedStandardStreams ran: its output then
// goes nowhere.
bool standardStreamWasClosed(int fd);

// Whether the stream writes to a terminal (a console window on Windows).
bool writesToTerminal(FILE* stream);

// Flushes standard output and says whether everything written to it arrived; when not, says so
// on stderr with the system's reason.
bool standardOutputWritten();
