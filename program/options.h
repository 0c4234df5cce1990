// The command line of the show: what a run should do, and where its output goes.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Everything the command line can set. With no options the run is the show as it always was:
// full screen, the music through the sound card, data found beside the program.
struct Options {
    bool help = false;              // --help: print the usage and stop
    bool version = false;           // --version: print the name and version and stop
    bool manualPage = false;        // --help-man (not listed): print the manual page and stop
    bool window = false;            // --window: a resizable window instead of the full screen
    std::string pixelFormat;        // --pixel-format NAME: offer only this device format ("" = any)
    std::string dataDir;            // --data DIR: the folder that holds data/ ("" = search)
    double audioOffsetMs = 0.0;     // --audio-offset MS: added to the device latency, milliseconds
    bool headless = false;          // --headless: offline clock, no display, no sound
    uint32_t fps = 60;              // --fps N: frames per second of the offline clock, 1..1000
    std::string framesDir;          // --frames DIR: write frames there as PNG ("" = none)
    std::vector<double> atSeconds;  // --at S,S,...: only the frames at these times (seconds)
    std::string capturePath;        // --capture FILE: render to a video through ffmpeg
    uint32_t scale = 1;             // --scale N: nearest-neighbour enlargement of captured frames
    std::string codec;              // --codec NAME: ffmpeg video encoder of --capture ("" = x264)
    bool bench = false;             // --bench: time every scene on the offline clock
    uint32_t benchFrames = 0;       // --bench-frames N: frames per scene for --bench (0 = default)
    double untilSeconds = -1.0;     // --until S: end a headless, capture or bench run at S seconds
                                    // of show (< 0: run to the end)
    bool checksums = false;         // --checksums: a checksum line per headless frame, no PNG
    bool timings = false;           // --timings: timestamped start-up lines on stderr
};

// One entry of the option table that --help and the manual page are written from.
struct OptionDoc {
    const char* name;      // "--fps"
    const char* argument;  // what follows it, "N"; "" for a switch
    const char* text;      // what it does: one paragraph, wrapped when printed
};

// Every option in the order --help and the manual page list them.
std::span<const OptionDoc> optionTable();

// One exit status of the program, as --help and the manual page list it.
struct ExitStatusDoc {
    const char* status;   // "4", or "128+N"
    const char* meaning;  // when the program ends with it
};

// Every exit status, lowest first.
std::span<const ExitStatusDoc> exitStatusTable();

// Reads argv into options; false with a message in error when an option is unknown or malformed.
bool parseOptions(int argc, char** argv, Options* options, std::string* error);

// The usage text printed by --help.
const char* usageText();

// The manual page (section 6, roff) written from the option table; --help-man prints it.
std::string manualPage();

// "brindlehop 1.2.3": what --version prints, without the line end.
const char* versionText();
