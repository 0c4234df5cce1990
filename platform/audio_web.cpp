// Looped playback of the decoded music through Web Audio in a browser, and the player's clock.
// The page (web/page.js) owns the AudioContext, made on the click that starts the show.
#include <emscripten.h>

#include <algorithm>
#include <cstdio>

#include "platform/audio.h"

// clang-format off
EM_JS(int, webAudioAvailable, (), { return Module.page && Module.page.audioReady() ? 1 : 0; });
EM_JS(int, webAudioPlay, (const int16_t* samples, double frames, int channels, int rate), {
    return Module.page.playMusic(HEAP16.subarray(samples >> 1, (samples >> 1) + frames * channels),
                                 channels, rate) ? 1 : 0;
});
EM_JS(double, webAudioHeardSeconds, (), { return Module.page.heardSeconds(); });
EM_JS(void, webAudioStop, (), { if (Module.page) Module.page.stopMusic(); });
// clang-format on

namespace {

// The silent clock reports bytes as if 44100 Hz stereo 16-bit were playing.
constexpr double kSilentBytesPerSecond = 44100.0 * 2 * 2;

void reportFailure(const char* text) {
    std::fprintf(stderr, "%s\n", text);
}

}  // namespace

bool openAudio(AudioPlayer* player, double offsetMs) {
    player->offsetMs = offsetMs;
    if (webAudioAvailable() == 0) {
        std::fprintf(stderr, "audio: this browser offers no Web Audio; the show plays silently\n");
        reportFailure("No Init");
        return false;
    }
    player->audioInitialised = true;
    player->device = 1;
    return true;
}

bool loadMusicStream(AudioPlayer* player, const char* path) {
    releaseMusicStream(player);  // a second load replaces the first
    // Web Audio plays one buffer of the whole piece, so all of it is decoded before it starts;
    // damage found on the way leaves the rest silent, as natively.
    if (player->device == 0 || !openMusicStream(&player->stream, path)) {
        reportFailure("Can`t play file");
        return false;
    }
    decodeMusicUntil(&player->stream, player->stream.music.frameCount);
    // The context's own clock stands in for callback stamps: no device buffer, no period.
    initPlayClock(&player->clock, player->stream.music.sampleRate, 0, 0, player->offsetMs);
    (void)createSpectrumWork(&player->spectrumWork);
    player->streamReady = true;
    return true;
}

void playMusicLooped(AudioPlayer* player) {
    if (player->playing) return;
    player->playing = true;
    if (player->streamReady) {
        player->clock.lastHeard = 0.0;
        const DecodedMusic& music = player->stream.music;
        if (webAudioPlay(music.samples, static_cast<double>(music.frameCount), music.channels,
                         music.sampleRate) != 0)
            return;
        reportFailure("Can`t play file");
        player->streamReady = false;
    }
    player->silentStart = monotonicSeconds();
}

uint64_t musicPositionBytes(AudioPlayer* player) {
    if (!player->playing) return 0;
    if (!player->streamReady) {
        const double seconds = monotonicSeconds() - player->silentStart;
        // Whole stereo frames, so the byte count stays block-aligned like a real stream's.
        return static_cast<uint64_t>(seconds * kSilentBytesPerSecond / 4.0) * 4u;
    }
    // The page gives the unwrapped heard time; the offset and the hold against stepping back
    // are the native clock's.
    PlayClock& clock = player->clock;
    const double heard = webAudioHeardSeconds() * clock.sampleRate - clock.offsetFrames;
    clock.lastHeard = std::max(heard, clock.lastHeard);
    return musicHeardBytes(&player->stream.music, clock.lastHeard);
}

float musicBytesToSeconds(const AudioPlayer* player, uint64_t bytes) {
    if (!player->streamReady) {
        return static_cast<float>(static_cast<double>(bytes) / kSilentBytesPerSecond);
    }
    return musicBytesToSecondsOf(&player->stream.music, bytes);
}

void musicSpectrum(AudioPlayer* player, uint64_t bytes, float out[kSpectrumBins]) {
    if (!player->streamReady) return;
    const uint64_t frame = bytes / (static_cast<uint64_t>(player->stream.music.channels) * 2u);
    musicStreamSpectrum(&player->stream, static_cast<size_t>(frame), out, &player->spectrumWork);
}

void releaseMusicStream(AudioPlayer* player) {
    webAudioStop();
    player->streamReady = false;
    closeMusicStream(&player->stream);
    releaseSpectrumWork(&player->spectrumWork);
    player->playing = false;
}

void closeAudio(AudioPlayer* player) {
    webAudioStop();
    player->device = 0;
    player->audioInitialised = false;
}
