// The music back end: Ogg Vorbis decoded into memory, played looped through SDL2, and its clock.
//
// Usage (start-up, per frame, shutdown):
//
//   AudioPlayer player;                          // lives as long as the show
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

#include <cstddef>
#include <cstdint>
#include <mutex>

#include "platform/audio_fft.h"

// A whole piece of music decoded into memory.
struct DecodedMusic {
    int16_t* samples;   // interleaved signed 16-bit PCM, channels per frame; owned, null when empty
    size_t frameCount;  // frames (one sample per channel) in samples
    int32_t channels;   // 1 (mono) or 2 (stereo, left first)
    int32_t sampleRate;  // frames per second of the file, e.g. 44100
};

// One callback's stamp: where the stream stood and when, on the monotonic clock.
struct PlayStamp {
    uint64_t framesQueued;  // frames handed to the device before this callback's buffer, unwrapped
    double time;            // monotonic seconds at which the callback started
    bool valid;             // false until the first callback
};

// The arithmetic of the heard position; pure, so it can be driven by synthetic stamps.
struct PlayClock {
    double sampleRate;     // frames per second of the stream, > 0
    double latencyFrames;  // device buffer plus one callback buffer, frames between queue and ear
    double periodFrames;   // frames per callback; extrapolation stops one period past a stamp
    double offsetFrames;   // user correction, frames; positive when the sound comes out later
    double lastHeard;      // last value playClockHeard returned, unwrapped frames, starts at 0
};

// The music player: device, decoded stream, clock. Not copyable once opened (the callback holds
// its address); one per process.
struct AudioPlayer {
    uint32_t device = 0;            // SDL audio device id; 0 when no device is open
    bool audioInitialised = false;  // the SDL audio subsystem is up and must be shut down
    bool messageBoxes = true;       // show failures in a message box too (tests turn this off)
    double offsetMs = 0.0;          // user latency correction in milliseconds (--audio-offset)
    DecodedMusic music{};           // the stream; empty when loading failed
    bool streamReady = false;       // the device is open at the music's format, music decoded
    bool playing = false;           // playMusicLooped has started the device or the silent clock
    double silentStart = 0.0;       // monotonic seconds when the silent clock started
    PlayClock clock{};              // heard-position arithmetic, main thread only
    std::mutex stampLock;           // guards stamp between the audio callback and the main thread
    PlayStamp stamp{};              // written by the callback under stampLock
    uint64_t framesQueued = 0;      // callback only: frames handed to the device, unwrapped
    SpectrumWork spectrumWork{};    // FFT plan and scratch for musicSpectrum
};

// ---- Decoding -----------------------------------------------------------------------------------

// Decodes a whole Ogg Vorbis file into music; false with a message on stderr naming the file and
// the fault (missing, not Vorbis, corrupt, more than two channels, empty, too long).
bool decodeMusicFile(DecodedMusic* music, const char* path);

// Frees the samples and empties the record; safe on an empty record.
void releaseDecodedMusic(DecodedMusic* music);

// Bytes of a 16-bit position: frames × channels × 2.
uint64_t musicFramesToBytes(const DecodedMusic* music, uint64_t frames);

// Seconds of a byte position as a 32-bit float: bytes / (rate × channels × 2), worked in double.
float musicBytesToSecondsOf(const DecodedMusic* music, uint64_t bytes);

// ---- The play clock (pure) ----------------------------------------------------------------------

// Sets up clock arithmetic for a stream at sampleRate with the device's buffer and callback sizes.
void initPlayClock(PlayClock* clock, double sampleRate, uint32_t deviceBufferFrames,
                   uint32_t callbackFrames, double offsetMs);

// The unwrapped frame being heard at monotonic time now, given the latest callback stamp:
// never negative, never less than the previous answer, at most one period past the stamp.
double playClockHeard(PlayClock* clock, const PlayStamp& stamp, double now);

// The heard position as a byte offset into the looping music: whole frames, wrapped at its end.
uint64_t musicHeardBytes(const DecodedMusic* music, double heardFrames);

// Seconds on the process's monotonic clock (steady_clock); only differences mean anything.
double monotonicSeconds();

// ---- The player ---------------------------------------------------------------------------------

// Starts the audio subsystem and opens the default output device at 44100 Hz stereo, paused.
// On failure: "No Init" on stderr and in a message box captioned "Error"; returns false.
bool openAudio(AudioPlayer* player, double offsetMs);

// Decodes the file and readies the device for it (reopened when the rate or channels differ).
// On failure (no device, unreadable or non-Vorbis file): "Can`t play file" on stderr and in a
// message box captioned "Error"; returns false and the player stays without a stream.
bool loadMusicStream(AudioPlayer* player, const char* path);

// Starts looped playback, or with no stream the silent clock, which counts monotonic time from now.
void playMusicLooped(AudioPlayer* player);

// The heard position in bytes of 16-bit PCM, wrapped to the loop; with no stream, the silent
// clock's time in bytes of 44100 Hz stereo. 0 before playMusicLooped.
uint64_t musicPositionBytes(AudioPlayer* player);

// Seconds of a byte position, in the stream's format (or 44100 Hz stereo with no stream).
float musicBytesToSeconds(const AudioPlayer* player, uint64_t bytes);

// Spectrum of the 1024 frames from the byte position on (see spectrum.h); leaves out untouched
// when there is no stream, so it stays at whatever it last held.
void musicSpectrum(AudioPlayer* player, uint64_t bytes, float out[kSpectrumBins]);

// Stops playback and frees the decoded stream; safe to repeat.
void releaseMusicStream(AudioPlayer* player);

// Closes the device and the audio subsystem; safe to repeat.
void closeAudio(AudioPlayer* player);
