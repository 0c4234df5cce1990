// Looped playback of the music through Web Audio in a browser, and the player's clock.
// The page (web/page.js) owns the AudioContext, resumed by the click that starts the show, and
// plays what it is handed as consecutive buffers, each starting on the sample where the one
// before it ends. The piece is decoded here a block at a time while the show runs: the first
// half second before the sound starts, then a block per frame until all of it has been handed
// over (the page keeps it and plays the loop from its copy).
#include <emscripten.h>

#include <algorithm>
#include <cstdio>

#include "platform/audio.h"
#include "platform/os_clock.h"

// clang-format off
EM_JS(int, webAudioAvailable, (), { return Module.page && Module.page.audioReady() ? 1 : 0; });
EM_JS(int, webAudioStart, (int channels, int rate, double frameCount), {
    return Module.page.startMusic(channels, rate, frameCount) ? 1 : 0;
});
EM_JS(void, webAudioQueue, (const int16_t* samples, double firstFrame, double frames), {
    const channels = Module.page.musicChannels();
    Module.page.queueMusic(HEAP16.subarray(samples >> 1, (samples >> 1) + frames * channels),
                           firstFrame, frames);
});
EM_JS(int, webAudioFailed, (), { return Module.page.musicFailed() ? 1 : 0; });
EM_JS(void, webMusicUnavailable, (), { if (Module.page) Module.page.musicUnavailable(); });
EM_JS(double, webAudioHeardSeconds, (), { return Module.page.heardSeconds(); });
EM_JS(double, webStartSeconds, (), { return Module.page ? Module.page.startSeconds() : 0; });
EM_JS(void, webAudioStop, (), { if (Module.page) Module.page.stopMusic(); });
// Until the visitor clicks, the page shows its start screen. Everything before the first frame
// is done by then (the pictures loaded and checked, the music opened and its first half second
// decoded), so the click starts the sound and the frames at once.
EM_JS(void, webWaitForStart, (), {
    Asyncify.handleSleep((wakeUp) => Module.page.waitForStart(wakeUp));
});
// clang-format on

namespace {

// The silent clock reports bytes as if 44100 Hz stereo 16-bit were playing.
constexpr double kSilentBytesPerSecond = 44100.0 * 2 * 2;
// Decoded before the sound starts, and kept decoded ahead of what is heard at the least.
constexpr double kLeadSeconds = 0.5;
// At most this much is decoded in a frame once the lead is there: about 4 ms of a frame's 16.7
// on a processor slowed four times (measured in Chromium), so it never costs a frame its slot.
// Still five times what a frame at 60 fps plays, so the whole piece is with the page 18 s into
// the show.
constexpr size_t kFeedFrames = 4096;

void reportFailure(const char* text) {
    std::fprintf(stderr, "%s\n", text);
}

size_t leadFrames(const MusicStream& stream) {
    return static_cast<size_t>(kLeadSeconds * stream.music.sampleRate);
}

// Decodes up to frame (at least), then hands the page whatever it has not had yet.
void feedMusic(AudioPlayer* player, size_t frame) {
    MusicStream& stream = player->stream;
    const size_t ready = decodeMusicUntil(&stream, frame);
    if (ready <= player->framesQueued) return;
    webAudioQueue(stream.music.samples + player->framesQueued * stream.music.channels,
                  static_cast<double>(player->framesQueued),
                  static_cast<double>(ready - player->framesQueued));
    player->framesQueued = ready;
}

// The page's sound never started (no output device, or the browser holds it back): the show
// goes on without the music, on the silent clock, from where it stands.
void fallBackToSilence(AudioPlayer* player) {
    const float seconds = musicBytesToSecondsOf(
        &player->stream.music, musicHeardBytes(&player->stream.music, player->clock.lastHeard));
    std::fprintf(stderr, "audio: the browser's sound did not start; the show plays silently\n");
    webAudioStop();
    player->streamReady = false;
    closeMusicStream(&player->stream);
    releaseSpectrumWork(&player->spectrumWork);
    player->silentStart = monotonicSeconds() - seconds;
}

}  // namespace

bool openAudio(AudioPlayer* player, double offsetMs) {
    player->offsetMs = offsetMs;
    if (webAudioAvailable() == 0) {
        std::fprintf(stderr, "audio: the page has no sound output; the show plays silently\n");
        reportFailure("No Init");
        return false;
    }
    player->audioInitialised = true;
    player->device = 1;
    return true;
}

bool loadMusicStream(AudioPlayer* player, const char* path) {
    releaseMusicStream(player);  // a second load replaces the first
    if (player->device == 0 || !openMusicStream(&player->stream, path)) {
        reportFailure("Can`t play file");
        webMusicUnavailable();
        return false;
    }
    // The first of it is ready before the click; the context's own clock stands in for
    // callback stamps: no device buffer, no period.
    decodeMusicUntil(&player->stream, leadFrames(player->stream));
    initPlayClock(&player->clock, player->stream.music.sampleRate, 0, 0, player->offsetMs);
    (void)createSpectrumWork(&player->spectrumWork);
    player->streamReady = true;
    return true;
}

void playMusicLooped(AudioPlayer* player) {
    if (player->playing) return;
    webWaitForStart();
    player->playing = true;
    if (player->streamReady) {
        player->clock.lastHeard = 0.0;
        player->framesQueued = 0;
        const DecodedMusic& music = player->stream.music;
        if (webAudioStart(music.channels, music.sampleRate,
                          static_cast<double>(music.frameCount)) != 0) {
            feedMusic(player, leadFrames(player->stream));
            return;
        }
        reportFailure("Can`t play file");
        webMusicUnavailable();
        player->streamReady = false;
        closeMusicStream(&player->stream);
    }
    player->silentStart = monotonicSeconds() - webStartSeconds();
}

uint64_t musicPositionBytes(AudioPlayer* player) {
    if (!player->playing) return 0;
    if (player->streamReady && webAudioFailed() != 0) fallBackToSilence(player);
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
    // The lead is made up at once when it runs short (a start far into the piece); otherwise
    // one block a frame, until the whole piece is with the page.
    MusicStream& stream = player->stream;
    if (player->framesQueued < stream.music.frameCount) {
        const size_t heardFrame = static_cast<size_t>(std::max(clock.lastHeard, 0.0));
        feedMusic(player, std::max(heardFrame + leadFrames(stream),
                                   static_cast<size_t>(player->framesQueued) + kFeedFrames));
    }
    return musicHeardBytes(&stream.music, clock.lastHeard);
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
