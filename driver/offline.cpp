// The music of the offline runs, and how far they may run.
#include "driver/offline.h"

#include <algorithm>
#include <cmath>

namespace {

// Seconds an offline run may go on past the music (or past 100 s without music).
constexpr double kOverrunSeconds = 10.0;

}  // namespace

bool openOfflineMusic(OfflineMusic* offline, uint32_t fps) {
    offline->music = DecodedMusic{};
    offline->work = SpectrumWork{};
    const bool decoded = decodeMusicFile(&offline->music, kMusicPath);
    createSpectrumWork(&offline->work);
    offline->clock =
        MusicClock{MusicClockMode::kOffline, nullptr, &offline->music, 0, fps, &offline->work};
    return decoded;
}

void releaseOfflineMusic(OfflineMusic* offline) {
    releaseSpectrumWork(&offline->work);
    releaseDecodedMusic(&offline->music);
}

uint64_t offlineFrameLimit(const OfflineMusic& offline, const Options& options) {
    const DecodedMusic& music = offline.music;
    const double musicSeconds =
        music.frameCount > 0 ? static_cast<double>(music.frameCount) / music.sampleRate : 0.0;
    const double endSeconds = options.untilSeconds >= 0.0
                                  ? options.untilSeconds
                                  : std::max(musicSeconds, 100.0) + kOverrunSeconds;
    return std::max<uint64_t>(
        1, static_cast<uint64_t>(std::ceil(endSeconds * static_cast<double>(options.fps))));
}
