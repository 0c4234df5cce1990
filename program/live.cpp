// The show on the screen with its music.
#include <cstdio>
#include <string>

#include "display/display.h"
#include "output/timings.h"
#include "program/offline.h"
#include "program/run.h"
#include "show/show.h"
#include "show/startup.h"

namespace {

// Set by the display when Escape or a close request has closed it; the frame loop then ends, so
// the music decoder and the sound stop before the process does.
bool endRequested = false;

void requestEnd(int32_t) {
    endRequested = true;
}

bool displayOptionsFrom(const Options& options, DisplayOptions* display) {
    display->windowed = options.window;
    if (options.pixelFormat.empty()) return true;
    if (parseDeviceFormat(options.pixelFormat.c_str(), &display->onlyFormat)) return true;
    std::fprintf(stderr,
                 "brindlehop: unknown pixel format \"%s\" (rgb32 bgr32 rgb24 bgr24 rgb565 "
                 "bgr565 rgb555 bgr555)\n",
                 options.pixelFormat.c_str());
    return false;
}

}  // namespace

int runLive(const Options& options) {
    DisplayOptions displayOptions;
    if (!displayOptionsFrom(options, &displayOptions)) return kExitUsage;

    static ShowState state;
    static ShowAssets assets;
    if (!prepareShow(&state, &assets, showBuffers())) return kExitUsage;

    endRequested = false;
    displayOptions.exitProcess = requestEnd;
    setDisplayOptions(displayOptions);
    if (!openDisplay("Brindlehop", 512, 384)) {
        std::fprintf(stderr,
                     "brindlehop: cannot open the display: %s\n"
                     "  To render without a screen: brindlehop --headless --frames DIR\n"
                     "  (or --capture show.mp4 for a video with the music).\n",
                     displayError());
        closeDisplay();
        return kExitNoDisplay;
    }

    // The music starts last, so the show's clock begins with the first frame on screen. Its
    // failures only show a message: the show then runs on a silent clock.
    markTiming("display open");
    static AudioPlayer player;
    // Failure boxes belong to the show's window, or they could open hidden behind it.
    player.messageOwner = displayState.device.window;
    openAudio(&player, options.audioOffsetMs);
    if (loadMusicStream(&player, kMusicPath)) {
        const std::string warning = shortMusicWarning(player.stream.music, kMusicPath);
        if (!warning.empty()) std::fprintf(stderr, "%s", warning.c_str());
    }
    playMusicLooped(&player);
    markTiming("music playing");
    MusicClock music{MusicClockMode::kLive, &player, nullptr, 0, 0, nullptr};
    ShowClock clock{&music, nullptr, 0, 0};
    readShowClock(&clock, &state);

    FrameSink sink{};
    sink.kind = FrameSinkKind::kDisplay;
    sink.endRequested = &endRequested;
    if (options.checksums) sink.checksums = stdout;
    runScenes(&state, &clock, &sink);

    // The decoder thread and the sound device's thread end here, before the process does.
    releaseMusicStream(&player);
    closeAudio(&player);
    markTiming("music and sound stopped");
    // The screen saver's switch reports success as non-zero, which a shell would read as a
    // failure; the show's normal end is status 0.
    closeDisplay();
    return kExitOk;
}
