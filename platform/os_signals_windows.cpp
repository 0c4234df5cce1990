// Stop requests on Windows: the console's control events, noted by a handler that runs on a
// thread of its own, and an event that wakes any wait on the encoder.
#include <atomic>

#include "platform/os_signals.h"
#include "platform/os_windows.h"

namespace {

std::atomic<int> requested{0};  // kStopInterrupt or kStopTerminate, 0 until one arrives

BOOL WINAPI noteControlEvent(DWORD event) {
    const bool closing =
        event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT;
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && !closing) return FALSE;
    int expected = 0;
    requested.compare_exchange_strong(expected,
                                      event == CTRL_C_EVENT ? kStopInterrupt : kStopTerminate);
    SetEvent(stopRequestEvent());
    // The process ends as soon as this returns from a closing event; until then, and for a few
    // seconds at most, the frame cycle finishes its frame and the run cleans up and exits.
    if (closing) Sleep(10000);
    return TRUE;
}

}  // namespace

HANDLE stopRequestEvent() {
    static const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return event;
}

void catchStopSignals() {
    stopRequestEvent();
    SetConsoleCtrlHandler(noteControlEvent, TRUE);
}

int stopSignal() {
    return requested.load();
}

// A write into a pipe whose reader has gone fails with an error here anyway.
void ignoreBrokenPipes() {}
