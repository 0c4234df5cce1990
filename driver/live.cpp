// The show on the screen with its music.
#include <cstdio>

#include "display/display.h"
#include "driver/run.h"
#include "driver/show.h"
#include "driver/startup.h"

namespace {

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
    static AudioPlayer player;
    openAudio(&player, options.audioOffsetMs);
    loadMusicStream(&player, kMusicPath);
    playMusicLooped(&player);
    MusicClock music{MusicClockMode::kLive, &player, nullptr, 0, 0, nullptr};
    ShowClock clock{&music, nullptr, 0, 0};
    readShowClock(&clock, &state);

    FrameSink sink{};
    sink.kind = FrameSinkKind::kDisplay;
    runScenes(&state, &clock, &sink);

    releaseMusicStream(&player);
    closeAudio(&player);
    // The screen saver's switch reports success as non-zero, which a shell would read as a
    // failure; the show's normal end is status 0.
    closeDisplay();
    return kExitOk;
}
