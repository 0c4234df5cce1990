// The show's frame checksums on the offline clock, with no pictures written.
#include "driver/checksums.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "driver/offline.h"
#include "driver/run.h"
#include "driver/show.h"
#include "driver/startup.h"

int runChecksums(const Options& options) {
    static ShowState state;
    static ShowAssets assets;
    if (!prepareShow(&state, &assets, showBuffers())) return kExitUsage;

    static OfflineMusic offline;
    if (!openOfflineMusic(&offline, options.fps)) std::fprintf(stderr, "Can`t play file\n");
    ShowClock clock{&offline.clock, nullptr, 0, 0};

    FrameSink sink{};
    sink.kind = FrameSinkKind::kHeadless;
    sink.fps = options.fps;
    sink.frameLimit = offlineFrameLimit(offline, options);
    sink.checksums = stdout;
    std::vector<uint64_t> picks;
    for (double seconds : options.atSeconds)
        picks.push_back(static_cast<uint64_t>(std::llround(seconds * options.fps)));
    std::sort(picks.begin(), picks.end());
    if (!picks.empty()) {
        sink.pickFrames = picks.data();
        sink.pickCount = picks.size();
    }

    readShowClock(&clock, &state);
    const ShowEnd end = runScenes(&state, &clock, &sink);
    std::fflush(stdout);
    releaseOfflineMusic(&offline);
    std::fprintf(stderr, "brindlehop: rendered %llu frames (%.2f s of show at %u fps)\n",
                 static_cast<unsigned long long>(sink.frames),
                 static_cast<double>(sink.frames) / options.fps, options.fps);
    return end == ShowEnd::kOutputFailed ? kExitOutputFailed : kExitOk;
}

bool parseChecksumOptions(int argc, char** argv, Options* options, std::string* error) {
    // --frames only lets --at through; runChecksums never writes a picture.
    std::vector<char*> args(argv, argv + argc);
    char headless[] = "--headless";
    char frames[] = "--frames";
    char nowhere[] = "/nonexistent";
    args.push_back(headless);
    args.push_back(frames);
    args.push_back(nowhere);
    if (!parseOptions(static_cast<int>(args.size()), args.data(), options, error)) return false;
    options->framesDir.clear();
    return true;
}
