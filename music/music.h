// The music: an Ogg Vorbis file checked and decoded into memory, its spectrum, and the arithmetic
// of the heard position.
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

#include "music/fft.h"

// Music of more channels than this is refused when it is opened.
constexpr int32_t kMusicMaxChannels = 2;

// A whole piece of music decoded into memory.
struct DecodedMusic {
    int16_t* samples;   // interleaved signed 16-bit PCM, channels per frame; owned, null when empty
    size_t frameCount;  // frames (one sample per channel) in samples
    int32_t channels;   // 1 (mono) or 2 (stereo, left first)
    int32_t sampleRate;  // frames per second of the file, e.g. 44100
};

struct MusicDecoder;  // the file's bytes and the Vorbis decoder state (decode.cpp)

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

// Frames [first, first + count) as floats (sample / 32768, exact), one channel after the other:
// channel c's at out + c × count. The caller has checked the frames are decoded and out holds
// channels × count floats.
void musicFramesAsFloats(const DecodedMusic* music, size_t first, size_t count, float* out);

// ---- The play clock (pure) ----------------------------------------------------------------------

// Sets up clock arithmetic for a stream at sampleRate with the device's buffer and callback sizes.
void initPlayClock(PlayClock* clock, double sampleRate, uint32_t deviceBufferFrames,
                   uint32_t callbackFrames, double offsetMs);

// The unwrapped frame being heard at monotonic time now, given the latest callback stamp:
// never negative, never less than the previous answer, at most one period past the stamp.
double playClockHeard(PlayClock* clock, const PlayStamp& stamp, double now);

// The heard position as a byte offset into the looping music: whole frames, wrapped at its end.
uint64_t musicHeardBytes(const DecodedMusic* music, double heardFrames);
