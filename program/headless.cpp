// The show on a fixed frame clock, with no display and no sound: for tests and previews.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "output/timings.h"
#include "platform/os_files.h"
#include "platform/os_signals.h"
#include "platform/os_streams.h"
#include "program/offline.h"
#include "program/run.h"
#include "show/show.h"
#include "show/startup.h"

namespace {

// The --at times whose frames the run did not reach (frame >= framesDone), as "150 s, 200 s".
std::string unreachedTimes(const Options& options, uint64_t framesDone) {
    std::string names;
    for (double seconds : options.atSeconds) {
        if (static_cast<uint64_t>(std::llround(seconds * options.fps)) < framesDone) continue;
        char text[64];
        std::snprintf(text, sizeof text, "%s%g s", names.empty() ? "" : ", ", seconds);
        names += text;
    }
    return names;
}

}  // namespace

int runHeadless(const Options& options) {
    if (options.framesDir.size() > kFramesDirMaxLength) {
        std::fprintf(stderr,
                     "brindlehop: the --frames folder's path is too long (%zu bytes, at most "
                     "%zu)\n",
                     options.framesDir.size(), kFramesDirMaxLength);
        return kExitUsage;
    }
    // The checksum lines are the output (with --frames, half of it): into a closed stdout they
    // would be lost.
    const bool checksumLines =
        options.checksums || !options.framesDir.empty() || !options.atSeconds.empty();
    if (checksumLines && standardStreamWasClosed(kStandardOutput)) {
        std::fprintf(stderr,
                     "brindlehop: standard output is closed, so the checksum lines would be "
                     "lost\n");
        return kExitOutputFailed;
    }
    catchStopSignals();

    static ShowState state;
    static ShowAssets assets;
    if (!prepareShow(&state, &assets, showBuffers())) return kExitUsage;

    static OfflineMusic offline;
    if (!openOfflineMusic(&offline, options.fps)) std::fprintf(stderr, "Can`t play file\n");
    markTiming("music opened and checked");
    ShowClock clock{&offline.clock, nullptr, 0, 0};

    FrameSink sink{};
    sink.kind = FrameSinkKind::kHeadless;
    sink.stopOnSignal = true;
    sink.fps = options.fps;
    sink.frameLimit = offlineFrameLimit(offline, options);
    const bool stopEarly = options.untilSeconds >= 0.0;
    std::vector<uint64_t> picks;
    if (!options.framesDir.empty()) {
        std::string why;
        if (!makeFolder(options.framesDir, &why)) {
            std::fprintf(stderr, "brindlehop: cannot make the folder %s: %s\n",
                         options.framesDir.c_str(), why.c_str());
            return kExitOutputFailed;
        }
        sink.framesDir = options.framesDir.c_str();
    }
    if (checksumLines) sink.checksums = stdout;
    for (double seconds : options.atSeconds)
        picks.push_back(static_cast<uint64_t>(std::llround(seconds * options.fps)));
    std::sort(picks.begin(), picks.end());
    if (!picks.empty()) {
        sink.pickFrames = picks.data();
        sink.pickCount = picks.size();
    }

    readShowClock(&clock, &state);
    const ShowEnd end = runScenes(&state, &clock, &sink);
    // A failed checksum line has said so already.
    const bool outputWritten = end == ShowEnd::kOutputFailed || standardOutputWritten();
    const double seconds = static_cast<double>(sink.frames) / options.fps;
    const std::string limitNote = frameLimitNote(offline, seconds);  // it needs the music
    releaseOfflineMusic(&offline);

    if (end == ShowEnd::kOutputFailed || !outputWritten) return kExitOutputFailed;
    if (end == ShowEnd::kInterrupted) {
        std::fprintf(stderr,
                     "brindlehop: stopped by signal %d after %llu frames (%.2f s of show)\n",
                     stopSignal(), static_cast<unsigned long long>(sink.frames), seconds);
        return 128 + stopSignal();
    }
    if (end == ShowEnd::kFrameLimit && !stopEarly) std::fputs(limitNote.c_str(), stderr);
    std::fprintf(stderr, "brindlehop: rendered %llu frames (%.2f s of show at %u fps)\n",
                 static_cast<unsigned long long>(sink.frames), seconds, options.fps);
    if (!picks.empty() && picks.back() >= sink.frames) {
        std::fprintf(
            stderr,
            "brindlehop: the run ended at %.2f s, before --at %s: no frame was written for them\n",
            seconds, unreachedTimes(options, sink.frames).c_str());
        return kExitOutputFailed;
    }
    return kExitOk;
}
