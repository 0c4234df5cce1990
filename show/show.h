// The frame cycle: the six scene loops on the music clock, and where each finished frame goes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "show/music_clock.h"
#include "show/scenes.h"

// One frame of a scripted clock: the time and the bass bins a test wants the show to see.
struct ScriptedFrame {
    float musicTime;  // seconds
    float bins[8];    // spectrum bins 0..7; the rest read 0
};

// Where each frame's time and spectrum come from.
struct ShowClock {
    MusicClock* music;            // the live or offline music clock; unused while scripted
    const ScriptedFrame* script;  // tests: frames to replay instead, or null
    size_t scriptLength;          // frames in script
    size_t scriptNext;            // next frame of script; past the end the last one repeats
};

// Where a finished frame goes.
enum class FrameSinkKind : uint8_t {
    kDisplay,   // presentFrame: the screen (Escape or a close request ends the run there)
    kHeadless,  // nowhere, or PNG files and checksum lines
    kCapture,   // a video: raw frames into the encoder's pipe
};

struct VideoPipe;  // output/video.h

// Bytes of a frame file's path with its terminating zero: the system's longest path.
constexpr size_t kFramePathCapacity = 4096;
// Longest --frames folder: leaves room for "/frame_" and 20 digits of frame number, ".png" and
// the writer's temporary suffix, so no two frames ever share a truncated name.
constexpr size_t kFramesDirMaxLength = kFramePathCapacity - 64;

struct FrameSink {
    FrameSinkKind kind;          // display or headless
    uint32_t fps;                // headless: frames per second of the offline clock
    const char* framesDir;       // headless: folder for PNG frames, or null for none
    const uint64_t* pickFrames;  // headless: sorted frame numbers to write, or null for every one
    size_t pickCount;            // entries in pickFrames
    size_t pickNext;             // first entry of pickFrames not yet written
    uint64_t frameLimit;         // headless, capture: stop after this many frames (0: no limit)
    FILE* checksums;             // one line per written or shown frame, or null
    VideoPipe* video;            // capture: the running encoder
    int* sceneLog;               // tests: the scene of each frame, or null
    size_t sceneLogCapacity;     // entries sceneLog can hold
    uint64_t frames;             // frames delivered so far
    bool failed;                 // a frame could not be written; the run stops
    bool stopOnSignal;           // headless, capture: end after the frame when a stop signal came
    const bool* endRequested;    // display: true once Escape or a close request closed it, or null
};

// How the scene loops ended.
enum class ShowEnd : uint8_t {
    kFinished,      // the last scene's condition failed, or Escape ended it: the show is over
    kFrameLimit,    // the headless frame limit was reached first
    kOutputFailed,  // a frame could not be written
    kInterrupted,   // SIGINT or SIGTERM arrived; the frame under way was delivered first
};

// Refreshes musicTime and spectrum for the next frame from the clock.
void readShowClock(ShowClock* clock, ShowState* state);

// The frames runScenes would deliver on this clock from this state, up to frameLimit (0: no
// limit), found from the clock and the scene conditions alone, without drawing. The clock and
// state are left as they were. Offline or scripted clocks only: a live clock cannot be replayed
// (0). A clock that never moves (an empty script) gives frameLimit.
uint64_t countShowFrames(const ShowState& state, const ShowClock& clock, uint64_t frameLimit);

// Runs the six scene loops in order, each while its condition holds on the previous frame's
// clock; every pass reads the clock, draws, hands the frame to the sink, and tidies up.
ShowEnd runScenes(ShowState* state, ShowClock* clock, FrameSink* sink);
