// The ways to run the show: live on the screen, headless on a fixed frame clock, into a video,
// or timed scene by scene.
#pragma once

#include "program/options.h"

// Exit statuses of the program.
constexpr int kExitOk = 0;            // the show ended, or Escape, or --help
constexpr int kExitUsage = 2;         // a bad command line, or missing or broken data
constexpr int kExitNoDisplay = 3;     // the display could not be opened, or was lost while showing
constexpr int kExitOutputFailed = 4;  // headless, capture, --help or --version output was lost
constexpr int kExitNoEncoder = 5;     // --capture without ffmpeg on the PATH
// A headless or capture run stopped by SIGINT or SIGTERM exits with 128 + the signal's number.

// The show on the screen with its music, as it always was; returns the exit status.
int runLive(const Options& options);

// The show on the offline clock with no display and no sound; frames to PNG and checksums to
// stdout when asked. Returns the exit status.
int runHeadless(const Options& options);

// The show on the offline clock into a video with its music through ffmpeg (--capture).
// Returns the exit status.
int runCapture(const Options& options);

// Times the frames of every scene on the offline clock and prints the figures (--bench).
// Returns the exit status.
int runBench(const Options& options);
