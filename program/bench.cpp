// The bench run: every scene's frames timed on the offline clock, with no display or sound.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "program/offline.h"
#include "program/run.h"
#include "show/show.h"
#include "show/startup.h"

namespace {

// Where each scene lies on the music's clock, in seconds (the ends as the scene loops test them).
struct SceneSpan {
    double start, end;
};
constexpr SceneSpan kSceneSpans[kSceneCount] = {{0, 19},  {19, 38}, {38, 57},
                                                {57, 77}, {77, 96}, {96, 100}};

// Sets the clock to t seconds as the offline clock would show it: the time of the sample there
// and the spectrum from it; plain t and a flat spectrum without music.
void setClockAt(ShowState* state, MusicStream* stream, SpectrumWork* work, double t) {
    const DecodedMusic& music = stream->music;
    if (music.samples == nullptr || music.frameCount == 0) {
        state->musicTime = static_cast<float>(t);
        return;
    }
    const uint64_t sample = static_cast<uint64_t>(t * music.sampleRate) % music.frameCount;
    state->musicTime = musicBytesToSecondsOf(&music, musicFramesToBytes(&music, sample));
    musicStreamSpectrum(stream, static_cast<size_t>(sample), state->spectrum, work);
}

// The value below which share of the sorted samples lie (nearest rank).
double percentile(const std::vector<double>& sorted, double share) {
    const size_t rank = static_cast<size_t>(std::ceil(share * static_cast<double>(sorted.size())));
    return sorted[std::min(sorted.size(), std::max<size_t>(rank, 1)) - 1];
}

}  // namespace

int runBench(const Options& options) {
    static ShowState state;
    static ShowAssets assets;
    if (!prepareShow(&state, &assets, showBuffers())) return kExitUsage;
    static OfflineMusic offline;
    if (!openOfflineMusic(&offline, options.fps))
        std::fprintf(stderr, "brindlehop: no music; the scenes see a silent spectrum\n");
    // All of it before timing starts, so the decoder's thread does not share the cores with it.
    decodeMusicUntil(&offline.stream, offline.stream.music.frameCount);

    std::printf(
        "bench: each scene's frames at even steps over its time, %u fps unless "
        "--bench-frames; fps = 1000 / median\n",
        options.fps);
    uint64_t showFrames = 0;  // frames of the scenes run at --fps
    // Their estimated drawing time, from each scene's median, as printed: a mean would follow
    // every pause the machine's other work causes.
    double showRenderSeconds = 0;
    std::vector<double> times;
    for (int scene = 1; scene <= kSceneCount; ++scene) {
        SceneSpan span = kSceneSpans[scene - 1];
        if (options.untilSeconds >= 0.0) {
            if (span.start >= options.untilSeconds) break;
            span.end = std::min(span.end, options.untilSeconds);
        }
        const double length = span.end - span.start;
        const uint64_t framesAtFps = static_cast<uint64_t>(std::llround(length * options.fps));
        const size_t frames = options.benchFrames != 0
                                  ? options.benchFrames
                                  : static_cast<size_t>(std::max<uint64_t>(framesAtFps, 1));
        times.assign(frames, 0.0);

        enterScene(&state, scene);
        for (size_t i = 0; i < frames; ++i) {
            setClockAt(&state, &offline.stream, &offline.work,
                       span.start + length * static_cast<double>(i) / static_cast<double>(frames));
            const auto begin = std::chrono::steady_clock::now();
            drawSceneFrame(&state, scene);
            finishSceneFrame(&state, scene);
            const auto end = std::chrono::steady_clock::now();
            times[i] = std::chrono::duration<double, std::milli>(end - begin).count();
        }
        std::sort(times.begin(), times.end());
        const double median = percentile(times, 0.5);
        // A browser's clock counts in steps of 0.1 ms, so a short scene's median can be 0 there.
        char fps[32] = "fps past the clock's resolution";
        if (median > 0.0) std::snprintf(fps, sizeof fps, "%.0f fps", 1000.0 / median);
        std::printf("scene %d: %zu frames, median %.3f ms, p99 %.3f ms, %s\n", scene, frames,
                    median, percentile(times, 0.99), fps);
        std::fflush(stdout);
        showFrames += framesAtFps;
        showRenderSeconds += static_cast<double>(framesAtFps) * median / 1000.0;
    }
    const double showSeconds = static_cast<double>(showFrames) / options.fps;
    std::printf("whole show: %llu frames in %.2f s, %.1fx real time\n",
                static_cast<unsigned long long>(showFrames), showRenderSeconds,
                showRenderSeconds > 0 ? showSeconds / showRenderSeconds : 0.0);
    releaseOfflineMusic(&offline);
    return kExitOk;
}
