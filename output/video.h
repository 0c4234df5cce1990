// Writing the show as a video: raw frames piped into ffmpeg, muxed with the music.
//
// Usage:
//
//   VideoSettings settings{"show.mp4", "data/tolvik_tune.ogg", 60, 3, "", frameCount};
//   VideoPipe video{};
//   if (!openVideoPipe(&video, settings)) return kExitOutputFailed;  // before the frame cycle
//   writeVideoFrame(&video, buffers.screen);   // every frame; false once ffmpeg is gone
//   closeVideoPipe(&video);                    // waits for ffmpeg; false when it failed
//
// Frames go to ffmpeg as they are in memory: a 0x00RRGGBB Pixel is the bytes B, G, R, 0 on a
// little-endian machine, ffmpeg's "bgr0" raw format. Enlargement happens here, not in ffmpeg, so
// every pixel of a lossless video is a pixel of the show.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "effects/pixel.h"
#include "output/progress.h"
#include "platform/os_process.h"

// What to encode and how.
struct VideoSettings {
    const char* path;       // the video file, ending in .mp4 or .mkv; replaced once it is whole
    const char* musicPath;  // the music to lay under the frames, or null for a silent video
    uint32_t fps;           // frames per second, 1..1000
    uint32_t scale;         // nearest-neighbour enlargement, 1..8
    const char* codec;      // ffmpeg video encoder, or "" for libx264 at quality 18 in yuv420p
    uint64_t frames;        // frames that will be written; the video lasts frames / fps seconds
};

// A running ffmpeg and the pipe into it.
struct VideoPipe {
    ChildProcess encoder{};      // ffmpeg and the pipe into its standard input
    uint32_t scale = 1;          // enlargement of each frame, 1..8
    Pixel* scaled = nullptr;     // (512 scale) x (384 scale) Pixels, owned; null at scale 1
    size_t frameBytes = 0;       // bytes of one frame as written
    uint64_t framesWritten = 0;  // frames ffmpeg has taken
    ProgressBar progress{};      // the console line, out of the frames of the settings
    double stallSeconds = 30.0;  // seconds a frame may wait on a full pipe before the encoder
                                 // counts as stuck
    const char* path = nullptr;  // the video file of the settings
    std::string finalPath;       // where the finished video goes: path, or the file it links to
    std::string partialPath;     // what ffmpeg writes, renamed to finalPath when it is whole;
                                 // empty when ffmpeg writes to path itself (a device, a FIFO)
    std::FILE* encoderLog = nullptr;  // ffmpeg's standard error: its error lines, if any
};

// ffmpeg's command line for the settings, program name first. The container follows the
// extension of settings.path; the video is written to output (settings.path when null).
std::vector<std::string> ffmpegArguments(const VideoSettings& settings,
                                         const char* output = nullptr);

// Enlarges the 512 x 384 screen scale times into out ((512 scale) x (384 scale) Pixels), every
// pixel becoming a scale x scale square.
void scaleFrame(Pixel* out, const Pixel* screen, uint32_t scale);

// Starts ffmpeg on a pipe and allocates the enlargement buffer; false with a message on stderr.
// A regular (or new) video file is written under a temporary name in its folder, so whatever
// was at settings.path stays until finishVideoFile.
bool openVideoPipe(VideoPipe* video, const VideoSettings& settings);

// Sends one 512 x 384 frame (enlarged if asked) and advances the progress line; false with a
// message on stderr when ffmpeg no longer takes frames, or took nothing for stallSeconds (it is
// then killed), and false without one when a stop signal interrupts a wait. Allocates nothing.
bool writeVideoFrame(VideoPipe* video, const Pixel* screen);

// Ends the input, waits for ffmpeg, passes on its error lines and frees the buffer; false with a
// message on stderr when ffmpeg failed or reported an error (it exits 0 after failing to write
// the end of a file). Safe to repeat.
bool closeVideoPipe(VideoPipe* video);

// Gives a finished video its name (renames the temporary file over the target); false with a
// message on stderr when that fails.
bool finishVideoFile(VideoPipe* video);

// Ends the input and asks ffmpeg to stop (SIGTERM; on Windows the ended input is the request),
// ends it outright when it has not ended after graceSeconds, then reaps it; for a run that will
// not finish its video.
void stopEncoder(VideoPipe* video, double graceSeconds);

// Removes the temporary file of an unfinished run, if the encoder made one, and says so on
// stderr; the file at the target is left as it was.
void removeUnfinishedVideo(const VideoPipe& video);
