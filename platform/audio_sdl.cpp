// Looped playback of the decoded music through an SDL2 audio device, and the player's clock.
#include <SDL.h>
#include <SDL_syswm.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/audio.h"
#include "platform/audio_box.h"
#include "platform/os_clock.h"

namespace {

constexpr int kDeviceRate = 44100;        // the rate the device is first opened at
constexpr int kDeviceChannels = 2;        // stereo until the music says otherwise
constexpr Uint16 kCallbackFrames = 1024;  // about 23 ms a buffer at 44100 Hz
// The silent clock reports bytes as if 44100 Hz stereo 16-bit were playing.
constexpr double kSilentBytesPerSecond = 44100.0 * 2 * 2;

// Whether a box owned by the show's window can reach a person: not when the window belongs to a
// video driver without a screen (dummy, offscreen), which has no system window to own a box.
// (SDL's Windows box would then read that driver's window data as its own, and crash.)
bool boxCanBeAnswered(const AudioPlayer* player) {
    if (player->messageOwner == nullptr) return true;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    return SDL_GetWindowWMInfo(player->messageOwner, &info) == SDL_TRUE;
}

void reportFailure(const AudioPlayer* player, const char* text) {
    std::fprintf(stderr, "%s\n", text);
    if (player->messageBoxes && boxCanBeAnswered(player)) {
        // Without a display the box cannot appear; stderr already carries the text.
        SDL_MessageBoxButtonData ok;
        const SDL_MessageBoxData box = audioFailureBox(player, text, &ok);
        int pressed = 0;
        (void)SDL_ShowMessageBox(&box, &pressed);
    }
}

// Runs on SDL's audio thread: stamps the callback, then copies the next frames, wrapping at the
// end.
void fillAudio(void* userdata, Uint8* stream, int len) {
    AudioPlayer* player = static_cast<AudioPlayer*>(userdata);
    const double now = monotonicSeconds();
    const DecodedMusic& music = player->stream.music;
    if (music.samples == nullptr || music.frameCount == 0 || len <= 0) {
        std::memset(stream, 0, static_cast<size_t>(len > 0 ? len : 0));
        return;
    }
    const size_t frameBytes = static_cast<size_t>(music.channels) * sizeof(int16_t);
    const size_t frames = static_cast<size_t>(len) / frameBytes;
    {
        std::lock_guard<std::mutex> hold(player->stampLock);
        player->stamp = PlayStamp{player->framesQueued, now, true};
    }
    // Only decoded frames are played; the decoder keeps well ahead, so a frame not yet decoded
    // (a machine too busy to decode ~1% of real time) plays as silence rather than be waited on.
    const size_t ready = player->stream.decodedFrames.load(std::memory_order_acquire);
    size_t at = static_cast<size_t>(player->framesQueued % music.frameCount);
    size_t done = 0;
    while (done < frames) {
        const size_t run = std::min(music.frameCount - at, frames - done);
        const size_t playable = ready > at ? std::min(run, ready - at) : 0;
        std::memcpy(stream + done * frameBytes,
                    music.samples + at * static_cast<size_t>(music.channels),
                    playable * frameBytes);
        std::memset(stream + (done + playable) * frameBytes, 0, (run - playable) * frameBytes);
        done += run;
        at = 0;
    }
    // A partial frame at the end (never seen in practice) stays silent.
    std::memset(stream + frames * frameBytes, 0, static_cast<size_t>(len) - frames * frameBytes);
    player->framesQueued += frames;
}

// Opens the default output paused at the given format, which SDL converts to the hardware's.
bool openDevice(AudioPlayer* player, int rate, int channels) {
    SDL_AudioSpec want{};
    want.freq = rate;
    want.format = AUDIO_S16SYS;
    want.channels = static_cast<Uint8>(channels);
    want.samples = kCallbackFrames;
    want.callback = fillAudio;
    want.userdata = player;
    SDL_AudioSpec have{};
    const SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (id == 0) {
        std::fprintf(stderr, "audio: cannot open an output device: %s\n", SDL_GetError());
        return false;
    }
    player->device = id;
    // SDL gives one callback buffer of have.samples frames and keeps about as much queued again.
    initPlayClock(&player->clock, rate, have.samples, have.samples, player->offsetMs);
    return true;
}

}  // namespace

bool openAudio(AudioPlayer* player, double offsetMs) {
    player->offsetMs = offsetMs;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        std::fprintf(stderr, "audio: cannot start SDL audio: %s\n", SDL_GetError());
        reportFailure(player, "No Init");
        return false;
    }
    player->audioInitialised = true;
    if (!openDevice(player, kDeviceRate, kDeviceChannels)) {
        reportFailure(player, "No Init");
        return false;
    }
    return true;
}

bool loadMusicStream(AudioPlayer* player, const char* path) {
    releaseMusicStream(player);  // a second load replaces the first
    if (player->device == 0 || !openMusicStream(&player->stream, path)) {
        reportFailure(player, "Can`t play file");
        return false;
    }
    const DecodedMusic& music = player->stream.music;
    if (music.sampleRate != kDeviceRate || music.channels != kDeviceChannels) {
        SDL_CloseAudioDevice(player->device);
        player->device = 0;
        if (!openDevice(player, music.sampleRate, music.channels)) {
            closeMusicStream(&player->stream);
            reportFailure(player, "Can`t play file");
            return false;
        }
    }
    // The first second is there before the device starts; the thread decodes the rest far
    // faster than it plays (about 2 ms of work per second of music).
    decodeMusicUntil(&player->stream, static_cast<size_t>(music.sampleRate));
    startMusicDecoder(&player->stream);
    // Without a plan the spectrum reads all zero, which the show survives.
    (void)createSpectrumWork(&player->spectrumWork);
    player->streamReady = true;
    return true;
}

void playMusicLooped(AudioPlayer* player) {
    if (player->playing) {
        return;
    }
    player->playing = true;
    if (player->streamReady) {
        // The device is paused, so the callback is not running: a fresh pass from frame 0.
        player->framesQueued = 0;
        player->stamp = PlayStamp{};
        player->clock.lastHeard = 0.0;
        SDL_PauseAudioDevice(player->device, 0);
    } else {
        player->silentStart = monotonicSeconds();
    }
}

uint64_t musicPositionBytes(AudioPlayer* player) {
    if (!player->playing) {
        return 0;
    }
    if (!player->streamReady) {
        const double seconds = monotonicSeconds() - player->silentStart;
        // Whole stereo frames, so the byte count stays block-aligned like a real stream's.
        return static_cast<uint64_t>(seconds * kSilentBytesPerSecond / 4.0) * 4u;
    }
    PlayStamp stamp;
    {
        std::lock_guard<std::mutex> hold(player->stampLock);
        stamp = player->stamp;
    }
    const double heard = playClockHeard(&player->clock, stamp, monotonicSeconds());
    return musicHeardBytes(&player->stream.music, heard);
}

float musicBytesToSeconds(const AudioPlayer* player, uint64_t bytes) {
    if (!player->streamReady) {
        return static_cast<float>(static_cast<double>(bytes) / kSilentBytesPerSecond);
    }
    return musicBytesToSecondsOf(&player->stream.music, bytes);
}

void musicSpectrum(AudioPlayer* player, uint64_t bytes, float out[kSpectrumBins]) {
    if (!player->streamReady) {
        return;
    }
    const uint64_t frame = bytes / (static_cast<uint64_t>(player->stream.music.channels) * 2u);
    musicStreamSpectrum(&player->stream, static_cast<size_t>(frame), out, &player->spectrumWork);
}

void releaseMusicStream(AudioPlayer* player) {
    if (player->device != 0) {
        // Pausing and then taking the device lock waits out a callback that is still copying.
        SDL_PauseAudioDevice(player->device, 1);
        SDL_LockAudioDevice(player->device);
        player->streamReady = false;
        closeMusicStream(&player->stream);
        SDL_UnlockAudioDevice(player->device);
    } else {
        player->streamReady = false;
        closeMusicStream(&player->stream);
    }
    releaseSpectrumWork(&player->spectrumWork);
    player->playing = false;
}

SDL_MessageBoxData audioFailureBox(const AudioPlayer* player, const char* text,
                                   SDL_MessageBoxButtonData* button) {
    *button = SDL_MessageBoxButtonData{SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 0, "OK"};
    return SDL_MessageBoxData{
        SDL_MESSAGEBOX_ERROR, player->messageOwner, "Error", text, 1, button, nullptr};
}

void closeAudio(AudioPlayer* player) {
    if (player->device != 0) {
        SDL_CloseAudioDevice(player->device);
        player->device = 0;
    }
    if (player->audioInitialised) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        player->audioInitialised = false;
    }
}
