// SIGINT and SIGTERM as a request to stop the offline runs after the current frame.
#pragma once

// Installs handlers for SIGINT and SIGTERM that only note the signal; blocking calls they
// interrupt return EINTR (no restart), so a wait on the encoder can look at the request.
void catchStopSignals();

// The signal that asked the run to stop, or 0 when none has.
int stopSignal();
