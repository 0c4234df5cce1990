// The progress line of long offline renders.
#include "output/progress.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>

#include "platform/os_clock.h"
#include "platform/os_streams.h"

namespace {

constexpr double kTerminalInterval = 0.1;  // seconds between redraws in place
constexpr double kLogInterval = 2.0;       // seconds between plain lines in a log
constexpr int kBarWidth = 24;              // characters between the brackets

// Writes seconds as m:ss, or h:mm:ss from an hour on.
void formatDuration(char* text, size_t size, double seconds) {
    const uint64_t whole = seconds > 0.0 ? static_cast<uint64_t>(seconds + 0.5) : 0;
    if (whole >= 3600)
        std::snprintf(text, size, "%" PRIu64 ":%02u:%02u", whole / 3600,
                      static_cast<unsigned>(whole / 60 % 60), static_cast<unsigned>(whole % 60));
    else
        std::snprintf(text, size, "%u:%02u", static_cast<unsigned>(whole / 60),
                      static_cast<unsigned>(whole % 60));
}

void drawProgress(ProgressBar* bar, uint64_t done, double now, bool last) {
    char text[256];
    formatProgress(text, sizeof text, bar->label, done, bar->total, now - bar->startSeconds,
                   bar->terminal);
    if (bar->terminal) {
        // The trailing spaces wipe what a longer earlier line left behind.
        std::fprintf(bar->out, "\r%s   %s", text, last ? "\n" : "");
        bar->drawn = !last;
    } else {
        std::fprintf(bar->out, "%s\n", text);
    }
    std::fflush(bar->out);
}

}  // namespace

const char* formatProgress(char* text, size_t size, const char* label, uint64_t done,
                           uint64_t total, double elapsed, bool withBar) {
    char spent[32];
    char left[32];
    formatDuration(spent, sizeof spent, elapsed);
    // The rate so far predicts the rest; nothing is known before the first frame.
    if (done > 0 && total >= done)
        formatDuration(left, sizeof left,
                       elapsed / static_cast<double>(done) * static_cast<double>(total - done));
    else
        std::snprintf(left, sizeof left, "?");
    char drawing[kBarWidth + 4] = "";
    if (withBar) {
        const uint64_t filled = total > 0 ? std::min<uint64_t>(done, total) * kBarWidth / total : 0;
        drawing[0] = '[';
        for (int i = 0; i < kBarWidth; ++i)
            drawing[1 + i] = static_cast<uint64_t>(i) < filled ? '#' : '-';
        drawing[kBarWidth + 1] = ']';
        drawing[kBarWidth + 2] = ' ';
        drawing[kBarWidth + 3] = '\0';
    }
    std::snprintf(text, size, "%s %s%" PRIu64 "/%" PRIu64 " frames  %s elapsed  %s left", label,
                  drawing, done, total, spent, left);
    return text;
}

void startProgress(ProgressBar* bar, FILE* out, const char* label, uint64_t total) {
    bar->out = out;
    bar->label = label;
    bar->total = total;
    bar->terminal = writesToTerminal(out);
    bar->startSeconds = monotonicSeconds();
    bar->nextDrawSeconds = bar->startSeconds + (bar->terminal ? 0.0 : kLogInterval);
    bar->drawn = false;
}

void updateProgress(ProgressBar* bar, uint64_t done) {
    const double now = monotonicSeconds();
    if (now < bar->nextDrawSeconds) return;
    bar->nextDrawSeconds = now + (bar->terminal ? kTerminalInterval : kLogInterval);
    drawProgress(bar, done, now, false);
}

void finishProgress(ProgressBar* bar, uint64_t done) {
    drawProgress(bar, done, monotonicSeconds(), true);
}
