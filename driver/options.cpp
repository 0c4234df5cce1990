// Parsing of the command line.
#include "driver/options.h"

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

}  // namespace

const char* usageText() {
    return "Usage: brindlehop [options]\n"
           "\n"
           "Plays the show full screen with its music; Escape ends it.\n"
           "\n"
           "  --window              play in a resizable window instead of the full screen\n"
           "  --pixel-format NAME   offer only one screen format: rgb32 bgr32 rgb24 bgr24\n"
           "                        rgb565 bgr565 rgb555 bgr555\n"
           "  --audio-offset MS     the sound comes out MS milliseconds later than the device\n"
           "                        says (Bluetooth); negative when earlier\n"
           "  --data DIR            the folder that holds data/ (default: the working folder,\n"
           "                        else beside the program, else the installed copy, else\n"
           "                        the source folder of a build that is not installed)\n"
           "  --headless            render on a fixed frame clock, without display or sound\n"
           "  --fps N               frames per second of --headless, --capture, --bench (60)\n"
           "  --frames DIR          with --headless: write every frame to DIR as PNG and print\n"
           "                        a checksum line per frame\n"
           "  --at S,S,...          with --frames: only the frames at these times in seconds\n"
           "  --capture FILE        render the show to a video (.mp4 or .mkv) with its music,\n"
           "                        through ffmpeg\n"
           "  --scale N             with --capture: enlarge each frame N times (1..8), pixel\n"
           "                        by pixel (3 gives 1536 x 1152)\n"
           "  --codec NAME          with --capture: the ffmpeg video encoder (default libx264 at\n"
           "                        quality 18 in yuv420p; e.g. ffv1 or libx264rgb for lossless\n"
           "                        frames in .mkv)\n"
           "  --bench               time the rendering of every scene, without display or sound:\n"
           "                        per scene the median and 99th percentile milliseconds per\n"
           "                        frame and the frames per second they allow (1000 / median),\n"
           "                        then the whole show's rendering speed against real time\n"
           "  --bench-frames N      with --bench: frames per scene (default: the scene's length\n"
           "                        at --fps)\n"
           "  --until S             end a --headless, --capture or --bench run at S seconds of\n"
           "                        show instead of at the end (for quick checks)\n"
           "  --help                this text\n";
}

bool parseOptions(int argc, char** argv, Options* options, std::string* error) {
    auto value = [&](int& i) -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        const char* v = nullptr;
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            options->help = true;
        } else if (std::strcmp(arg, "--window") == 0) {
            options->window = true;
        } else if (std::strcmp(arg, "--headless") == 0) {
            options->headless = true;
        } else if (std::strcmp(arg, "--bench") == 0) {
            options->bench = true;
        } else if (std::strcmp(arg, "--pixel-format") == 0) {
            if ((v = value(i)) == nullptr) return fail(error, "--pixel-format needs a name");
            options->pixelFormat = v;
        } else if (std::strcmp(arg, "--data") == 0) {
            if ((v = value(i)) == nullptr) return fail(error, "--data needs a folder");
            options->dataDir = v;
        } else if (std::strcmp(arg, "--frames") == 0) {
            if ((v = value(i)) == nullptr) return fail(error, "--frames needs a folder");
            options->framesDir = v;
        } else if (std::strcmp(arg, "--capture") == 0) {
            if ((v = value(i)) == nullptr) return fail(error, "--capture needs a file name");
            options->capturePath = v;
            const std::string name(v);
            const std::string ending = name.size() >= 4 ? name.substr(name.size() - 4) : "";
            if (ending != ".mp4" && ending != ".mkv")
                return fail(error, "--capture needs a file name ending in .mp4 or .mkv");
        } else if (std::strcmp(arg, "--audio-offset") == 0) {
            if (!parseDouble(value(i), &options->audioOffsetMs) ||
                std::fabs(options->audioOffsetMs) > 10000.0)
                return fail(error, "--audio-offset needs milliseconds between -10000 and 10000");
        } else if (std::strcmp(arg, "--fps") == 0) {
            if (!parseUnsigned(value(i), 1, 1000, &options->fps))
                return fail(error, "--fps needs a whole number from 1 to 1000");
        } else if (std::strcmp(arg, "--scale") == 0) {
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
    if (!options->atSeconds.empty() && options->framesDir.empty())
        return fail(error, "--at needs --frames DIR");
    if (!options->framesDir.empty() && !options->headless)
        return fail(error, "--frames needs --headless");
    const bool capture = !options->capturePath.empty();
    if (int(options->headless) + int(capture) + int(options->bench) > 1)
        return fail(error, "choose one of --headless, --capture and --bench");
    if ((options->scale != 1 || !options->codec.empty()) && !capture)
        return fail(error, "--scale and --codec need --capture");
    if (options->benchFrames != 0 && !options->bench)
        return fail(error, "--bench-frames needs --bench");
    if (options->untilSeconds >= 0.0 && !options->headless && !capture && !options->bench)
        return fail(error, "--until needs --headless, --capture or --bench");
    return true;
}
