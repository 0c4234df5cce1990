// The capture run: the show on the offline clock, frame by frame into ffmpeg, with the music.
#include <cstdio>

#include "output/video.h"
#include "platform/os_clock.h"
#include "platform/os_files.h"
#include "platform/os_process.h"
#include "platform/os_signals.h"
#include "program/offline.h"
#include "program/run.h"
#include "show/show.h"
#include "show/startup.h"

int runCapture(const Options& options) {
    if (findProgram("ffmpeg", environmentValue("PATH")).empty()) {
        std::fprintf(stderr,
                     "brindlehop: --capture needs ffmpeg, which is not on the PATH.\n"
                     "  %s\n",
                     encoderInstallHint());
        return kExitNoEncoder;
    }
    // A vanished ffmpeg must show up as a failed write with a message, not kill the show.
    ignoreBrokenPipes();
    catchStopSignals();

    static ShowState state;
    static ShowAssets assets;
    if (!prepareShow(&state, &assets, showBuffers())) return kExitUsage;

    static OfflineMusic offline;
    const bool withMusic = openOfflineMusic(&offline, options.fps);
    if (!withMusic) std::fprintf(stderr, "brindlehop: no music; the video will be silent\n");
    ShowClock clock{&offline.clock, nullptr, 0, 0};
    readShowClock(&clock, &state);

    FrameSink sink{};
    sink.kind = FrameSinkKind::kCapture;
    sink.stopOnSignal = true;
    sink.fps = options.fps;
    sink.frameLimit = offlineFrameLimit(offline, options);
    // Counted first, so the video's length is known to ffmpeg and to the progress line.
    const uint64_t frames = countShowFrames(state, clock, sink.frameLimit);

    VideoSettings settings{options.capturePath.c_str(),
                           withMusic ? kMusicPath : nullptr,
                           options.fps,
                           options.scale,
                           options.codec.c_str(),
                           frames};
    static VideoPipe video;
    ShowEnd end = ShowEnd::kOutputFailed;
    bool closed = false;
    if (openVideoPipe(&video, settings)) {
        sink.video = &video;
        const double start = monotonicSeconds();
        end = runScenes(&state, &clock, &sink);
        // A stop signal may also have cut a wait on a full pipe short, which reads as a failed
        // frame.
        if (end != ShowEnd::kFinished && end != ShowEnd::kFrameLimit && stopSignal() != 0) {
            // The encoder was told a length the video will not reach: its file would hold the
            // music past the last picture, so it is stopped and the file removed.
            stopEncoder(&video, 5.0);
            closeVideoPipe(&video);
            std::fprintf(stderr, "\nbrindlehop: stopped by signal %d after %llu frames\n",
                         stopSignal(), static_cast<unsigned long long>(video.framesWritten));
            removeUnfinishedVideo(video);
            releaseOfflineMusic(&offline);
            return 128 + stopSignal();
        }
        closed = closeVideoPipe(&video);
        if (end != ShowEnd::kOutputFailed && closed) closed = finishVideoFile(&video);
        if (end == ShowEnd::kFrameLimit && options.untilSeconds < 0.0)
            std::fputs(
                frameLimitNote(offline, static_cast<double>(video.framesWritten) / options.fps)
                    .c_str(),
                stderr);
        if (end != ShowEnd::kOutputFailed && closed)
            std::fprintf(stderr, "brindlehop: wrote %s: %llu frames (%.2f s at %u fps) in %.1f s\n",
                         options.capturePath.c_str(),
                         static_cast<unsigned long long>(video.framesWritten),
                         static_cast<double>(video.framesWritten) / options.fps, options.fps,
                         monotonicSeconds() - start);
    }
    releaseOfflineMusic(&offline);
    if (end != ShowEnd::kOutputFailed && closed) return kExitOk;
    removeUnfinishedVideo(video);
    return kExitOutputFailed;
}
