// The music of the offline runs, and how far they may run.
#include "program/offline.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "show/scenes.h"

namespace {

// Seconds an offline run may go on past the music (or past 100 s without music).
constexpr double kOverrunSeconds = 10.0;

}  // namespace

// The show's length on the music clock: the last scene ends past 100 s.
constexpr double kShowSeconds = 100.0;

bool openOfflineMusic(OfflineMusic* offline, uint32_t fps) {
    offline->work = SpectrumWork{};
    const bool opened = openMusicStream(&offline->stream, kMusicPath);
    // The frames read the music through the clock, which decodes what each one needs if the
    // thread is behind; so the first frame waits for a few blocks, not for the whole piece.
    if (opened) {
        startMusicDecoder(&offline->stream);
        const std::string warning = shortMusicWarning(offline->stream.music, kMusicPath);
        if (!warning.empty()) std::fprintf(stderr, "%s", warning.c_str());
    }
    createSpectrumWork(&offline->work);
    offline->clock =
        MusicClock{MusicClockMode::kOffline, nullptr,         &offline->stream.music, 0, fps,
                   &offline->work,           &offline->stream};
    return opened;
}

void releaseOfflineMusic(OfflineMusic* offline) {
    releaseSpectrumWork(&offline->work);
    closeMusicStream(&offline->stream);
}

std::string shortMusicWarning(const DecodedMusic& music, const char* path) {
    if (music.frameCount == 0 || music.sampleRate <= 0) return "";
    const double seconds = static_cast<double>(music.frameCount) / music.sampleRate;
    if (seconds >= kShowSeconds) return "";
    // The latest time the clock can show before it falls back to 0 picks the scene that is
    // running when the music loops.
    const float last = static_cast<float>(static_cast<double>(music.frameCount - 1) /
                                          static_cast<double>(music.sampleRate));
    int scene = kSceneCount;
    for (int k = 1; k <= kSceneCount; ++k) {
        if (sceneContinues(k, last, 1.0f)) {
            scene = k;
            break;
        }
    }
    char text[512];
    std::snprintf(text, sizeof text,
                  "brindlehop: warning: %s lasts %.2f s, less than the show's %.0f s: the music "
                  "loops in scene %d, which then never ends (Escape ends the show)\n",
                  path, seconds, kShowSeconds, scene);
    return text;
}

std::string frameLimitNote(const OfflineMusic& offline, double seconds) {
    const DecodedMusic& music = offline.stream.music;
    char text[512];
    if (!shortMusicWarning(music, kMusicPath).empty()) {
        std::snprintf(text, sizeof text,
                      "brindlehop: stopped after %.1f s: the music lasts %.2f s and loops before "
                      "the show's end, so a scene would have run until Escape\n",
                      seconds, static_cast<double>(music.frameCount) / music.sampleRate);
    } else {
        std::snprintf(text, sizeof text,
                      "brindlehop: stopped after %.1f s: the music's lowest band stayed silent, so "
                      "the last scene would have run until Escape\n",
                      seconds);
    }
    return text;
}

uint64_t offlineFrameLimit(const OfflineMusic& offline, const Options& options) {
    const DecodedMusic& music = offline.stream.music;
    const double musicSeconds =
        music.frameCount > 0 ? static_cast<double>(music.frameCount) / music.sampleRate : 0.0;
    const double endSeconds = options.untilSeconds >= 0.0
                                  ? options.untilSeconds
                                  : std::max(musicSeconds, kShowSeconds) + kOverrunSeconds;
    return std::max<uint64_t>(
        1, static_cast<uint64_t>(std::ceil(endSeconds * static_cast<double>(options.fps))));
}
