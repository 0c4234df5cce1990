// Stop requests on POSIX systems: a flag set from a signal handler, read by the frame cycle.
#include <signal.h>

#include "platform/os_signals.h"

namespace {

volatile sig_atomic_t requested = 0;  // the signal number, 0 until one arrives

// Only stores the number: everything else happens in the frame cycle, outside the handler.
void noteSignal(int signalNumber) {
    requested = signalNumber;
}

}  // namespace

void catchStopSignals() {
    struct sigaction action {};
    action.sa_handler = noteSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int stopSignal() {
    return requested;
}

void ignoreBrokenPipes() {
    signal(SIGPIPE, SIG_IGN);
}
