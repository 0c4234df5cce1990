// A progress line on the console for long offline renders: frames done, time spent, time left.
//
// Usage:
//
//   ProgressBar bar;
//   startProgress(&bar, stderr, "capture", totalFrames);
//   updateProgress(&bar, framesDone);   // every frame; draws at most 10 times a second
//   finishProgress(&bar, framesDone);   // the last state, and a line end
//
// On a terminal the line is redrawn in place; into a file or pipe a plain line is written every
// few seconds instead, so logs stay readable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct ProgressBar {
    FILE* out;               // where the line goes, usually stderr
    const char* label;       // first word of the line, e.g. "capture"
    uint64_t total;          // frames the run will make, > 0 for a time estimate
    bool terminal;           // out is a terminal: redraw in place with a bar
    double startSeconds;     // monotonic seconds at startProgress
    double nextDrawSeconds;  // monotonic seconds before which updateProgress draws nothing
    bool drawn;              // something is on the current terminal line
};

// Starts timing; draws nothing yet.
void startProgress(ProgressBar* bar, FILE* out, const char* label, uint64_t total);

// Redraws the line for done frames if the last drawing is old enough (0.1 s on a terminal, 2 s
// otherwise). Allocates nothing.
void updateProgress(ProgressBar* bar, uint64_t done);

// Draws the final state for done frames and ends the line.
void finishProgress(ProgressBar* bar, uint64_t done);

// The line's text for done of total frames after elapsed seconds, with a bar when withBar:
// e.g. "capture [#####-----] 120/480 frames  0:02 elapsed  0:06 left". Returns text.
const char* formatProgress(char* text, size_t size, const char* label, uint64_t done,
                           uint64_t total, double elapsed, bool withBar);
