// The frame cycle: the scene loops, the clock each frame reads, and the frame's way out.
#include "show/show.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstring>
#include <string>

#include "display/display.h"
#include "output/png_writer.h"
#include "output/timings.h"
#include "output/video.h"
#include "platform/os_signals.h"

namespace {

bool frameLimitReached(const FrameSink* sink, ShowEnd* end) {
    if (sink->stopOnSignal && stopSignal() != 0) {
        *end = ShowEnd::kInterrupted;
        return true;
    }
    if (sink->frameLimit == 0 || sink->frames < sink->frameLimit) return false;
    *end = ShowEnd::kFrameLimit;
    return true;
}

// One checksum line: the frame's number, its music time, its scene and the CRC of its pixels.
void printChecksumLine(std::FILE* out, uint64_t frame, float musicTime, int scene, uint32_t crc) {
    std::fprintf(out, "frame %" PRIu64 " t %.6f scene %d crc32 %08x\n", frame,
                 static_cast<double>(musicTime), scene, crc);
}

// Hands one finished frame on; false when the run must stop.
bool deliverFrame(FrameSink* sink, const ShowState* state, int scene, ShowEnd* end) {
    if (sink->sceneLog != nullptr && sink->frames < sink->sceneLogCapacity)
        sink->sceneLog[sink->frames] = scene;
    const uint64_t frame = sink->frames++;
    if (sink->kind == FrameSinkKind::kDisplay) {
        presentFrame(state->buffers.screen);
        // The line of the frame now on the screen, so that a test can tell which one it holds.
        if (sink->checksums != nullptr) {
            printChecksumLine(sink->checksums, frame, state->musicTime, scene,
                              frameChecksum(state->buffers.screen, kScreenPixels));
            std::fflush(sink->checksums);
        }
        return sink->endRequested == nullptr || !*sink->endRequested;
    }
    if (sink->kind == FrameSinkKind::kCapture) {
        if (!writeVideoFrame(sink->video, state->buffers.screen)) {
            sink->failed = true;
            *end = ShowEnd::kOutputFailed;
            return false;
        }
        return !frameLimitReached(sink, end);
    }
    bool write = sink->framesDir != nullptr || sink->checksums != nullptr;
    if (sink->pickFrames != nullptr) {
        while (sink->pickNext < sink->pickCount && sink->pickFrames[sink->pickNext] < frame)
            ++sink->pickNext;
        write = sink->pickNext < sink->pickCount && sink->pickFrames[sink->pickNext] == frame;
    }
    if (write) {
        const uint32_t crc = frameChecksum(state->buffers.screen, kScreenPixels);
        if (sink->framesDir != nullptr) {
            char path[kFramePathCapacity];
            const int length = std::snprintf(path, sizeof path, "%s/frame_%06" PRIu64 ".png",
                                             sink->framesDir, frame);
            if (length < 0 || static_cast<size_t>(length) >= sizeof path ||
                !writePng(path, state->buffers.screen, kScreenWidth, kScreenHeight)) {
                std::fprintf(stderr, "brindlehop: cannot write %s\n", path);
                sink->failed = true;
                *end = ShowEnd::kOutputFailed;
                return false;
            }
        }
        if (sink->checksums != nullptr) {
            // Each line is flushed with its frame, so whatever stops the run leaves a line for
            // every PNG on disk, and a full or closed output is seen at the first line.
            printChecksumLine(sink->checksums, frame, state->musicTime, scene, crc);
            if (std::fflush(sink->checksums) != 0 || std::ferror(sink->checksums)) {
                std::fprintf(stderr, "brindlehop: cannot write the checksum lines: %s\n",
                             std::strerror(errno));
                sink->failed = true;
                *end = ShowEnd::kOutputFailed;
                return false;
            }
        }
    }
    return !frameLimitReached(sink, end);
}

}  // namespace

void readShowClock(ShowClock* clock, ShowState* state) {
    if (clock->script == nullptr) {
        updateMusicClock(clock->music, &state->musicTime, state->spectrum);
        return;
    }
    if (clock->scriptLength == 0) return;  // an empty script leaves the clock where it was
    const size_t at = std::min(clock->scriptNext, clock->scriptLength - 1);
    const ScriptedFrame& frame = clock->script[at];
    state->musicTime = frame.musicTime;
    std::memset(state->spectrum, 0, sizeof state->spectrum);
    std::memcpy(state->spectrum, frame.bins, sizeof frame.bins);
    ++clock->scriptNext;
}

uint64_t countShowFrames(const ShowState& state, const ShowClock& clock, uint64_t frameLimit) {
    if (clock.script == nullptr && clock.music->mode != MusicClockMode::kOffline) return 0;
    // An empty script never moves the clock: the show would run until the limit, or forever.
    if (clock.script != nullptr && clock.scriptLength == 0) return frameLimit;
    // Copies, so the replay moves neither the caller's clock nor its spectrum; the offline
    // clock's FFT scratch is shared, which is harmless on one thread.
    ShowState probe = state;
    ShowClock replay = clock;
    MusicClock music{};
    if (clock.script == nullptr) {
        music = *clock.music;
        replay.music = &music;
    }
    uint64_t frames = 0;
    for (int scene = 1; scene <= kSceneCount; ++scene) {
        while (sceneContinues(scene, probe.musicTime, probe.spectrum[0])) {
            readShowClock(&replay, &probe);
            ++frames;
            if (clock.script == nullptr) ++music.frameNumber;
            if (frameLimit != 0 && frames >= frameLimit) return frames;
        }
    }
    return frames;
}

ShowEnd runScenes(ShowState* state, ShowClock* clock, FrameSink* sink) {
    ShowEnd end = ShowEnd::kFinished;
    for (int scene = 1; scene <= kSceneCount; ++scene) {
        enterScene(state, scene);
        // The test sees the previous frame's clock; a scene whose end has already passed runs
        // no frame at all, and a time exactly at the end still gets one more frame.
        while (sceneContinues(scene, state->musicTime, state->spectrum[0])) {
            readShowClock(clock, state);
            drawSceneFrame(state, scene);
            const bool goOn = deliverFrame(sink, state, scene, &end);
            if (sink->frames == 1) markTiming("first frame out");
            finishSceneFrame(state, scene);
            if (clock->script == nullptr && clock->music->mode == MusicClockMode::kOffline)
                ++clock->music->frameNumber;
            if (!goOn) return end;
        }
    }
    return end;
}
