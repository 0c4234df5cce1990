// The music back end: Ogg Vorbis decoded into memory, played looped through SDL2, and its clock.
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
//
// The music is decoded as it is needed, not before the show starts: a MusicStream checks the
// whole file's pages first (cheap, and it finds truncation and damage before anything plays),
// then decodes block by block. Whoever reads samples first asks decodeMusicUntil for them, so
// the same record works on one thread (a browser build) and with a background decoder:
//
//   MusicStream stream;
//   openMusicStream(&stream, path);           // format, length and page check; decodes nothing
//   startMusicDecoder(&stream);               // optional: a thread decodes the rest
//   decodeMusicUntil(&stream, frame + 1024);  // before reading samples below frame + 1024
//   closeMusicStream(&stream);
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "platform/audio_fft.h"

// A whole piece of music decoded into memory.
struct DecodedMusic {
    int16_t* samples;   // interleaved signed 16-bit PCM, channels per frame; owned, null when empty
    size_t frameCount;  // frames (one sample per channel) in samples
    int32_t channels;   // 1 (mono) or 2 (stereo, left first)
    int32_t sampleRate;  // frames per second of the file, e.g. 44100
};

struct MusicDecoder;  // the file's bytes and the Vorbis decoder state (audio_decode.cpp)

// A piece of music decoded a block at a time into a buffer with room for all of it. Samples
// below decodedFrames are final; the rest are zero until decoded. Not copyable or movable.
struct MusicStream {
    DecodedMusic music{};  // format and full length; samples sized for frameCount frames, zeroed
    std::atomic<size_t> decodedFrames{0};  // frames written so far; stored with release after
                                           // the samples, so an acquire load covers them
    std::atomic<bool> damaged{false};    // decoding found damage; the rest of the piece is silence
    std::mutex decodeLock;               // held while a block is decoded, by a caller or the thread
    std::atomic<int> readersWaiting{0};  // callers waiting for decodeLock; the thread stands back
    MusicDecoder* decoder = nullptr;     // null once the piece is decoded or the stream closed
    std::thread worker;                  // the background decoder, when started
    std::atomic<bool> stopWorker{false};  // asks the background decoder to stop

    // A stream left open at exit (an early return, Escape) must not end the process with a
    // running thread; the samples stay, as the audio callback may still be reading them.
    ~MusicStream() {
        stopWorker.store(true, std::memory_order_relaxed);
        if (worker.joinable()) worker.join();
    }
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

// ---- Decoding -----------------------------------------------------------------------------------

// Opens a regular file, checks every Ogg page of it (checksum, sequence, granule order, the end
// of stream) and reads the Vorbis headers and length; decodes nothing. false with a message on
// stderr naming the file and the fault (missing, not a regular file, damaged or truncated, not
// Vorbis, more than two channels, empty, too long), the stream then empty.
bool openMusicStream(MusicStream* stream, const char* path);

// As openMusicStream, on a file's bytes already in memory (copied); name stands for the file in
// messages.
bool openMusicStreamFromBytes(MusicStream* stream, const unsigned char* bytes, size_t size,
                              const char* name);

// Decodes until at least min(frame, frameCount) frames are ready; returns the frames ready.
// Safe to call from any thread, alongside the background decoder. Damage found on the way is
// reported once on stderr with the file named; the rest of the piece then stays silent.
size_t decodeMusicUntil(MusicStream* stream, size_t frame);

// Starts a thread that decodes the rest of the piece in blocks; nothing when all is decoded.
void startMusicDecoder(MusicStream* stream);

// Stops and joins the background decoder, frees the decoder and the samples; safe to repeat.
void closeMusicStream(MusicStream* stream);

// The spectrum of the 1024 frames from startFrame (wrapping at the loop), decoding first
// whatever of them is not decoded yet, so it never reads a sample that is still to come.
void musicStreamSpectrum(MusicStream* stream, size_t startFrame, float out[kSpectrumBins],
                         SpectrumWork* work);

// Checks the Ogg pages of a whole file in memory; "" when intact, else what is wrong and where.
std::string checkOggPages(const unsigned char* bytes, size_t size);

// Decodes a whole Ogg Vorbis file into music; false with a message on stderr naming the file and
// the fault (as openMusicStream, and damage found while decoding).
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

// Spectrum of the 1024 frames from the byte position on (see spectrum.h); leaves out untouched
// when there is no stream, so it stays at whatever it last held.
void musicSpectrum(AudioPlayer* player, uint64_t bytes, float out[kSpectrumBins]);

// Stops playback and frees the decoded stream; safe to repeat.
void releaseMusicStream(AudioPlayer* player);

// Closes the device and the audio subsystem; safe to repeat.
void closeAudio(AudioPlayer* player);
