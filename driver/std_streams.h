// The standard descriptors 0 to 2: kept open from the first moment, whatever the caller left.
#pragma once

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed, so that no file, pipe or
// display connection opened later takes one of their numbers and receives stray console text.
// Call first thing in main.
void openClosedStandardStreams();

// Whether descriptor fd (0, 1 or 2) was closed when openClosedStandardStreams ran: its output
// then goes nowhere.
bool standardStreamWasClosed(int fd);

// Flushes standard output and says whether everything written to it arrived; when not, says so
// on stderr with the system's reason.
bool standardOutputWritten();
