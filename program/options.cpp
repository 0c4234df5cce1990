// Parsing of the command line.
#include "program/options.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

bool parseDouble(const char* text, double* out) {
    if (text == nullptr || *text == '\0') return false;
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text, &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(value)) return false;
    *out = value;
    return true;
}

bool parseUnsigned(const char* text, uint32_t low, uint32_t high, uint32_t* out) {
    if (text == nullptr || *text < '0' || *text > '9') return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < low || value > high) return false;
    *out = static_cast<uint32_t>(value);
    return true;
}

bool parseSecondsList(const char* text, std::vector<double>* out) {
    if (text == nullptr || *text == '\0') return false;
    std::string list(text);
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        if (comma == std::string::npos) comma = list.size();
        double seconds = 0.0;
        if (!parseDouble(list.substr(start, comma - start).c_str(), &seconds) || seconds < 0.0)
            return false;
        out->push_back(seconds);
        start = comma + 1;
    }
    return true;
}

bool fail(std::string* error, std::string message) {
    *error = std::move(message);
    return false;
}

// The option table: --help and the manual page are both written from it, and the parser refuses
// any option that is not in it, so the three cannot drift apart.
constexpr OptionDoc kOptionTable[] = {
    {"--window", "", "play in a resizable window instead of the full screen"},
    {"--pixel-format", "NAME",
     "offer only one screen format: rgb32 bgr32 rgb24 bgr24 rgb565 bgr565 rgb555 bgr555"},
    {"--audio-offset", "MS",
     "the sound comes out MS milliseconds later than the device says (Bluetooth); negative "
     "when earlier"},
    {"--data", "DIR",
     "the folder that holds data/ (default: the working folder, else beside the program, else "
     "the installed copy, else the source folder of a build that is not installed)"},
    {"--headless", "", "render on a fixed frame clock, without display or sound"},
    {"--fps", "N", "frames per second of --headless, --capture, --bench (60)"},
    {"--frames", "DIR",
     "with --headless: write every frame to DIR as PNG and print a checksum line per frame"},
    {"--checksums", "",
     "with --headless: print the checksum line of every frame (as --frames does) and write no "
     "picture; in the show on the screen, the line of every frame shown"},
    {"--at", "S,S,...",
     "with --headless: only the frames at these times in seconds (without --frames, their "
     "checksum lines alone)"},
    {"--capture", "FILE",
     "render the show to a video (.mp4 or .mkv) with its music, through ffmpeg"},
    {"--scale", "N",
     "with --capture: enlarge each frame N times (1..8), pixel by pixel (3 gives 1536 x 1152)"},
    {"--codec", "NAME",
     "with --capture: the ffmpeg video encoder (default libx264 at quality 18 in yuv420p; "
     "e.g. ffv1 or libx264rgb for lossless frames in .mkv)"},
    {"--bench", "",
     "time the rendering of every scene, without display or sound: per scene the median and "
     "99th percentile milliseconds per frame and the frames per second they allow (1000 / "
     "median), then the whole show's rendering speed against real time, reckoned from those "
     "medians (the sum of each scene's frames times its median)"},
    {"--bench-frames", "N",
     "with --bench: frames per scene (default: the scene's length at --fps)"},
    {"--until", "S",
     "end a --headless, --capture or --bench run at S seconds of show instead of at the end "
     "(for quick checks)"},
    {"--timings", "",
     "print a timestamped line to stderr at each start-up step and at the first frame (wall "
     "and CPU milliseconds)"},
    {"--version", "", "print the program's name and version"},
    {"--help", "", "this text"},
};

// The exit statuses, listed by --help and the manual page.
constexpr ExitStatusDoc kExitStatusTable[] = {
    {"0", "the show ended, Escape ended it, or --help or --version"},
    {"2", "a bad command line, or a missing or broken data folder"},
    {"3", "the display could not be opened, or was lost while showing"},
    {"4", "output was lost: frames, checksum lines, the video, or --help's text"},
    {"5", "--capture without ffmpeg on the PATH"},
    {"128+N", "a headless or capture run stopped by signal N (SIGINT, SIGTERM)"},
};

}  // namespace

std::span<const OptionDoc> optionTable() {
    return kOptionTable;
}

std::span<const ExitStatusDoc> exitStatusTable() {
    return kExitStatusTable;
}

const char* versionText() {
    return "brindlehop " BRINDLEHOP_VERSION;
}

const char* usageText() {
    // Built once from the table: the option and its argument in a column of 24, then the text
    // wrapped at 92 columns under itself.
    static const std::string text = [] {
        constexpr size_t kColumn = 24, kWidth = 92;
        std::string out =
            "Usage: brindlehop [options]\n"
            "\n"
            "Plays the show full screen with its music; Escape ends it.\n"
            "\n";
        for (const OptionDoc& option : kOptionTable) {
            std::string line = std::string("  ") + option.name;
            if (*option.argument != '\0') line.append(" ").append(option.argument);
            line.resize(std::max(kColumn, line.size() + 1), ' ');
            std::string word;
            const std::string words = std::string(option.text) + " ";
            bool first = true;
            for (const char c : words) {
                if (c != ' ') {
                    word += c;
                    continue;
                }
                if (!first && line.size() + 1 + word.size() > kWidth) {
                    out.append(line).append("\n");
                    line.assign(kColumn, ' ');
                    first = true;
                }
                if (!first) line += ' ';
                line += word;
                word.clear();
                first = false;
            }
            out.append(line).append("\n");
        }
        out += "\nExit status:\n";
        for (const ExitStatusDoc& exit : kExitStatusTable) {
            std::string line = std::string("  ") + exit.status;
            line.resize(std::max(kColumn, line.size() + 1), ' ');
            out.append(line).append(exit.meaning).append("\n");
        }
        return out;
    }();
    return text.c_str();
}

bool parseOptions(int argc, char** argv, Options* options, std::string* error) {
    auto value = [&](int& i) -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    // Given at all, even at their default value: each is read by one kind of run only.
    bool fpsGiven = false, audioOffsetGiven = false, scaleGiven = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        const char* v = nullptr;
        if (std::strcmp(arg, "-h") == 0) arg = "--help";
        const bool known =
            std::any_of(std::begin(kOptionTable), std::end(kOptionTable),
                        [&](const OptionDoc& o) { return std::strcmp(o.name, arg) == 0; }) ||
            std::strcmp(arg, "--help-man") == 0;
        if (!known) {
            return fail(error, std::string("unknown option ") + argv[i]);
        } else if (std::strcmp(arg, "--help") == 0) {
            options->help = true;
        } else if (std::strcmp(arg, "--version") == 0) {
            options->version = true;
        } else if (std::strcmp(arg, "--help-man") == 0) {
            options->manualPage = true;
        } else if (std::strcmp(arg, "--window") == 0) {
            options->window = true;
        } else if (std::strcmp(arg, "--headless") == 0) {
            options->headless = true;
        } else if (std::strcmp(arg, "--bench") == 0) {
            options->bench = true;
        } else if (std::strcmp(arg, "--checksums") == 0) {
            options->checksums = true;
        } else if (std::strcmp(arg, "--timings") == 0) {
            options->timings = true;
        } else if (std::strcmp(arg, "--pixel-format") == 0) {
            if ((v = value(i)) == nullptr || *v == '\0')
                return fail(error, "--pixel-format needs a name");
            options->pixelFormat = v;
        } else if (std::strcmp(arg, "--data") == 0) {
            // An empty name would mean "search", which is what leaving the option out does.
            if ((v = value(i)) == nullptr || *v == '\0')
                return fail(error, "--data needs a folder");
            options->dataDir = v;
        } else if (std::strcmp(arg, "--frames") == 0) {
            if ((v = value(i)) == nullptr || *v == '\0')
                return fail(error, "--frames needs a folder");
            options->framesDir = v;
        } else if (std::strcmp(arg, "--capture") == 0) {
            if ((v = value(i)) == nullptr) return fail(error, "--capture needs a file name");
            options->capturePath = v;
            const std::string name(v);
            const std::string ending = name.size() >= 4 ? name.substr(name.size() - 4) : "";
            if (ending != ".mp4" && ending != ".mkv")
                return fail(error, "--capture needs a file name ending in .mp4 or .mkv");
            // "show/.mp4" is an ending without a name: it would make a hidden file.
            const size_t slash = name.rfind('/');
            if (name.size() - (slash == std::string::npos ? 0 : slash + 1) == 4)
                return fail(error,
                            "--capture needs a name before " + ending + ", e.g. show" + ending);
        } else if (std::strcmp(arg, "--audio-offset") == 0) {
            audioOffsetGiven = true;
            if (!parseDouble(value(i), &options->audioOffsetMs) ||
                std::fabs(options->audioOffsetMs) > 10000.0)
                return fail(error, "--audio-offset needs milliseconds between -10000 and 10000");
        } else if (std::strcmp(arg, "--fps") == 0) {
            fpsGiven = true;
            if (!parseUnsigned(value(i), 1, 1000, &options->fps))
                return fail(error, "--fps needs a whole number from 1 to 1000");
        } else if (std::strcmp(arg, "--scale") == 0) {
            scaleGiven = true;
            if (!parseUnsigned(value(i), 1, 8, &options->scale))
                return fail(error, "--scale needs a whole number from 1 to 8");
        } else if (std::strcmp(arg, "--bench-frames") == 0) {
            if (!parseUnsigned(value(i), 1, 1000000, &options->benchFrames))
                return fail(error, "--bench-frames needs a whole number from 1 to 1000000");
        } else if (std::strcmp(arg, "--codec") == 0) {
            if ((v = value(i)) == nullptr || *v == '\0' || *v == '-')
                return fail(error, "--codec needs an ffmpeg encoder name, e.g. ffv1");
            options->codec = v;
        } else if (std::strcmp(arg, "--until") == 0) {
            if (!parseDouble(value(i), &options->untilSeconds) || options->untilSeconds <= 0.0 ||
                options->untilSeconds > 1e6)
                return fail(error, "--until needs seconds above 0, e.g. --until 2.5");
        } else if (std::strcmp(arg, "--at") == 0) {
            if (!parseSecondsList(value(i), &options->atSeconds))
                return fail(error, "--at needs seconds separated by commas, e.g. --at 1.5,20");
        } else {
            return fail(error, std::string("unknown option ") + arg);
        }
    }
    if (!options->atSeconds.empty() && !options->headless)
        return fail(error, "--at needs --headless");
    if (!options->framesDir.empty() && !options->headless)
        return fail(error, "--frames needs --headless");
    const bool capture = !options->capturePath.empty();
    if (int(options->headless) + int(capture) + int(options->bench) > 1)
        return fail(error, "choose one of --headless, --capture and --bench");
    if (options->checksums && (capture || options->bench))
        return fail(error, "--checksums needs --headless or the show on the screen");
    if ((scaleGiven || !options->codec.empty()) && !capture)
        return fail(error, "--scale and --codec need --capture");
    if (options->benchFrames != 0 && !options->bench)
        return fail(error, "--bench-frames needs --bench");
    if (options->untilSeconds >= 0.0 && !options->headless && !capture && !options->bench)
        return fail(error, "--until needs --headless, --capture or --bench");
    // Options that one kind of run does not read are refused rather than silently ignored.
    const char* offline = options->headless ? "--headless"
                          : capture         ? "--capture"
                          : options->bench  ? "--bench"
                                            : nullptr;
    const char* liveOnly = options->window                 ? "--window"
                           : !options->pixelFormat.empty() ? "--pixel-format"
                           : audioOffsetGiven              ? "--audio-offset"
                                                           : nullptr;
    if (offline != nullptr && liveOnly != nullptr)
        return fail(error, std::string(liveOnly) + " is for the show on the screen; " + offline +
                               " does not use it");
    if (fpsGiven && offline == nullptr)
        return fail(error, "--fps needs --headless, --capture or --bench");
    return true;
}
