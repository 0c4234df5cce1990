// The ways to run the show: live on the screen, headless on a fixed frame clock.
#pragma once

#include "driver/options.h"

// Exit statuses of the program.
constexpr int kExitOk = 0;            // the show ended, or Escape, or --help
constexpr int kExitUsage = 2;         // a bad command line, or missing or broken data
constexpr int kExitNoDisplay = 3;     // the display could not be opened
constexpr int kExitOutputFailed = 4;  // headless output could not be written

// The show on the screen with its music, as it always was; returns the exit status.
int runLive(const Options& options);

// The show on the offline clock with no display and no sound; frames to PNG and checksums to
// stdout when asked. Returns the exit status.
int runHeadless(const Options& options);
