// The music player: the decoded music played looped through the sound device, and its clock.
//
// Usage (start-up, per frame, shutdown):
//
//   AudioPlayer player;                          // lives as long as the show
//   player.messageOwner = showWindow;            // failure boxes stay in front of the show
//   openAudio(&player, offsetMs);                // "No Init" on failure; the show goes on
//   loadMusicStream(&player, "data/tolvik_tune.ogg");  // "Can`t play file" on failure
//   playMusicLooped(&player);                    // silent clock when there is no stream
//   uint64_t bytes = musicPositionBytes(&player);           // each frame
//   float seconds = musicBytesToSeconds(&player, bytes);
//   musicSpectrum(&player, bytes, spectrum);
//   releaseMusicStream(&player);                 // at the end
//   closeAudio(&player);
//
// Positions count what is heard, not what has been handed to the device: the play clock stamps
// each device callback with a monotonic time, takes off the device's buffered latency and counts
// forward between callbacks, so it moves smoothly every frame and steps back only at the loop.
#pragma once

#include <cstdint>
#include <mutex>

#include "music/music.h"

struct SDL_Window;

// The music player: device, decoded stream, clock. Not copyable once opened (the callback holds
// its address); one per process.
struct AudioPlayer {
    uint32_t device = 0;            // SDL audio device id; 0 when no device is open
    bool audioInitialised = false;  // the SDL audio subsystem is up and must be shut down
    bool messageBoxes = true;       // show failures in a message box too (tests turn this off)
    double offsetMs = 0.0;          // user latency correction in milliseconds (--audio-offset)
    MusicStream stream;             // the music; its record is empty when loading failed
    bool streamReady = false;       // the device is open at the music's format, music decoding
    bool playing = false;           // playMusicLooped has started the device or the silent clock
    double silentStart = 0.0;       // monotonic seconds when the silent clock started
    PlayClock clock{};              // heard-position arithmetic, main thread only
    std::mutex stampLock;           // guards stamp between the audio callback and the main thread
    PlayStamp stamp{};              // written by the callback under stampLock
    uint64_t framesQueued = 0;      // callback only: frames handed to the device, unwrapped
    SpectrumWork spectrumWork{};    // FFT plan and scratch for musicSpectrum

    // The show's window, owner of the failure boxes so they cannot hide behind it; null before
    // the display opens, when a box stands alone.
    SDL_Window* messageOwner = nullptr;
};

// ---- The player ---------------------------------------------------------------------------------

// Starts the audio subsystem and opens the default output device at 44100 Hz stereo, paused.
// On failure: "No Init" on stderr and in a message box captioned "Error"; returns false.
bool openAudio(AudioPlayer* player, double offsetMs);

// Opens the music, decodes its first second, readies the device for it (reopened when the rate
// or channels differ) and starts the background decoder for the rest. On failure (no device, a
// missing, non-regular, damaged or non-Vorbis file): "Can`t play file" on stderr and in a
// message box captioned "Error"; returns false and the player stays without a stream.
bool loadMusicStream(AudioPlayer* player, const char* path);

// Starts looped playback, or with no stream the silent clock, which counts monotonic time from now.
void playMusicLooped(AudioPlayer* player);

// The heard position in bytes of 16-bit PCM, wrapped to the loop; with no stream, the silent
// clock's time in bytes of 44100 Hz stereo. 0 before playMusicLooped.
uint64_t musicPositionBytes(AudioPlayer* player);

// Seconds of a byte position, in the stream's format (or 44100 Hz stereo with no stream).
float musicBytesToSeconds(const AudioPlayer* player, uint64_t bytes);

// Spectrum of the 1024 frames from the byte position on (see music/fft.h); leaves out untouched
// when there is no stream, so it stays at whatever it last held.
void musicSpectrum(AudioPlayer* player, uint64_t bytes, float out[kSpectrumBins]);

// Stops playback and frees the decoded stream; safe to repeat.
void releaseMusicStream(AudioPlayer* player);

// Closes the device and the audio subsystem; safe to repeat.
void closeAudio(AudioPlayer* player);
