// The entry of the show in a browser: the page passes its URL parameters as a command line, and
// the data files sit in data/ of the in-memory file system.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/offline.h"
#include "driver/options.h"
#include "driver/run.h"
#include "driver/show.h"
#include "driver/startup.h"

namespace {

// The show on the offline clock with a checksum line per frame (or per --at moment) on stdout,
// which the page turns into one console line each; no PNG files in a browser.
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

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string error;
    if (!parseOptions(argc, argv, &options, &error)) {
        std::fprintf(stderr, "brindlehop: %s\n", error.c_str());
        return kExitUsage;
    }
    if (options.headless) return runChecksums(options);
    if (options.bench) return runBench(options);
    return runLive(options);
}
