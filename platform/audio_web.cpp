// Looped playback of the music through Web Audio in a browser, and the player's clock.
// The page (web/page.js) owns the AudioContext, resumed by the click that starts the show, and
// plays what it is handed as consecutive buffers, each starting on the sample where the one
// before it ends. The piece is decoded here while the show runs: the first half second before
// the sound starts, then, frame by frame, what keeps the decoder two seconds ahead of what is
// heard, until all of it has been handed over (the page keeps it and plays the loop from its
// copy).
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
// Each channel's samples as floats, one channel after the other: the page copies them into its
// buffer as they are.
EM_JS(void, webAudioQueue, (const float* planar, double firstFrame, double frames), {
    const channels = [];
    for (let c = 0, at = planar >> 2; c < Module.page.musicChannels(); ++c, at += frames) {
        channels.push(HEAPF32.subarray(at, at + frames));
    }
    Module.page.queueMusic(channels, firstFrame, frames);
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
// Decoded before the sound starts, and kept with the page ahead of what is heard at the least.
constexpr double kLeadSeconds = 0.5;
// How far ahead of what is heard the decoder keeps, once the sound runs. A frame decodes what
// keeps it there: about what the frame plays (735 frames at 60 fps), so the decoding is spread
// evenly over the show rather than crowded into its first seconds, where it cost frames their
// slot on a slow processor.
constexpr double kAheadSeconds = 2.0;
// At most this much is decoded in a frame beyond the lead (4096 frames took about 4 ms on a
// processor slowed four times, in Chromium): the pace at which the decoder first gets ahead,
// nearly three times what a frame plays, and at which it catches up after a pause.
constexpr size_t kFeedFrames = 2048;
// The page is handed the music in pieces of at least this many frames, so that it keeps about
// ten buffers a second, not one a frame.
constexpr size_t kHandOverFrames = 4096;
// And of at most this many: the first half second is one piece. Each is converted here to the
// floats the page's buffers hold, a channel at a time, so the page only copies them: converting
// them in script took about 10 ms of the click's first frame, the script still cold.
constexpr size_t kPieceFrames = 32768;
float piece[kMusicMaxChannels * kPieceFrames];

void reportFailure(const char* text) {
    std::fprintf(stderr, "%s\n", text);
}

size_t framesIn(const MusicStream& stream, double seconds) {
    return static_cast<size_t>(seconds * stream.music.sampleRate);
}

// Decodes up to frame (at least), then hands the page what it has not had yet: once that is a
// piece of kHandOverFrames, or the rest of the music, or the page has less than due.
void feedMusic(AudioPlayer* player, size_t frame, size_t due) {
    MusicStream& stream = player->stream;
    const size_t ready = decodeMusicUntil(&stream, frame);
    if (ready <= player->framesQueued) return;
    if (ready - player->framesQueued < kHandOverFrames && ready < stream.music.frameCount &&
        player->framesQueued >= due) {
        return;
    }
    while (player->framesQueued < ready) {
        const size_t frames = std::min<size_t>(ready - player->framesQueued, kPieceFrames);
        musicFramesAsFloats(&stream.music, player->framesQueued, frames, piece);
        webAudioQueue(piece, static_cast<double>(player->framesQueued),
                      static_cast<double>(frames));
        player->framesQueued += frames;
    }
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
    decodeMusicUntil(&player->stream, framesIn(player->stream, kLeadSeconds));
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
            const size_t lead = framesIn(player->stream, kLeadSeconds);
            feedMusic(player, lead, lead);
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
    // The lead is made up at once when it runs short (a start far into the piece); beyond it
    // the decoder keeps kAheadSeconds ahead, at most kFeedFrames a frame, until the whole piece
    // is with the page.
    MusicStream& stream = player->stream;
    if (player->framesQueued < stream.music.frameCount) {
        const size_t heardFrame = static_cast<size_t>(std::max(clock.lastHeard, 0.0));
        const size_t due = heardFrame + framesIn(stream, kLeadSeconds);
        const size_t decoded = stream.decodedFrames.load(std::memory_order_acquire);
        feedMusic(player,
                  std::max(due, std::min(heardFrame + framesIn(stream, kAheadSeconds),
                                         decoded + kFeedFrames)),
                  due);
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
