// The show on a fixed frame clock, with no display and no sound: for tests and previews.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/offline.h"
#include "driver/run.h"
#include "driver/show.h"
#include "driver/startup.h"
#include "driver/timings.h"

int runHeadless(const Options& options) {
    static ShowState state;
    static ShowAssets assets;
    if (!prepareShow(&state, &assets, showBuffers())) return kExitUsage;

    static OfflineMusic offline;
    if (!openOfflineMusic(&offline, options.fps)) std::fprintf(stderr, "Can`t play file\n");
    markTiming("music opened and checked");
    ShowClock clock{&offline.clock, nullptr, 0, 0};

    FrameSink sink{};
    sink.kind = FrameSinkKind::kHeadless;
    sink.fps = options.fps;
    sink.frameLimit = offlineFrameLimit(offline, options);
    const bool stopEarly = options.untilSeconds >= 0.0;
    std::vector<uint64_t> picks;
    if (!options.framesDir.empty()) {
        if (mkdir(options.framesDir.c_str(), 0755) != 0 && errno != EEXIST) {
            std::fprintf(stderr, "brindlehop: cannot make the folder %s\n",
                         options.framesDir.c_str());
            return kExitOutputFailed;
        }
        sink.framesDir = options.framesDir.c_str();
        sink.checksums = stdout;
        for (double seconds : options.atSeconds)
            picks.push_back(static_cast<uint64_t>(std::llround(seconds * options.fps)));
        std::sort(picks.begin(), picks.end());
        if (!picks.empty()) {
            sink.pickFrames = picks.data();
            sink.pickCount = picks.size();
        }
    }

    readShowClock(&clock, &state);
    const ShowEnd end = runScenes(&state, &clock, &sink);
    std::fflush(stdout);
    const double seconds = static_cast<double>(sink.frames) / options.fps;
    const std::string limitNote = frameLimitNote(offline, seconds);  // it needs the music
    releaseOfflineMusic(&offline);

    if (end == ShowEnd::kOutputFailed) return kExitOutputFailed;
    if (end == ShowEnd::kFrameLimit && !stopEarly) std::fputs(limitNote.c_str(), stderr);
    std::fprintf(stderr, "brindlehop: rendered %llu frames (%.2f s of show at %u fps)\n",
                 static_cast<unsigned long long>(sink.frames), seconds, options.fps);
    return kExitOk;
}
