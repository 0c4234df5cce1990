// Decoding an Ogg Vorbis file block by block into memory, after a check of all its pages.
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <system_error>

#include "assets/assets.h"
#include "music/music.h"
#include "platform/os_files.h"
#include "platform/os_threads.h"

// The file's bytes and the decoder reading them; lives while the stream is being decoded.
struct MusicDecoder {
    std::string path;                        // the file, for messages
    std::unique_ptr<unsigned char[]> bytes;  // the whole file, read once
    size_t size = 0;                         // bytes in it
    size_t at = 0;                           // read position of the decoder's callbacks, bytes
    OggVorbis_File vf{};                     // valid once ov_open_callbacks succeeded
    bool vorbisOpen = false;                 // vf must be cleared
};

namespace {

// Longest piece accepted, so a hostile file cannot make us allocate without bound.
constexpr double kMaxMusicSeconds = 30.0 * 60.0;
// Largest file read: 30 minutes of Vorbis at its highest bit rates stays far below.
constexpr size_t kMaxFileBytes = size_t{256} << 20;
// Frames decoded per hold of the lock: about 0.37 s of music at 44100 Hz and under 1 ms of
// work, so a reader that needs the next block never waits long for the thread.
constexpr size_t kBlockFrames = 16384;

bool failOpen(const char* path, const char* what) {
    std::fprintf(stderr, "%s: %s\n", path, what);
    return false;
}

// ---- The decoder reads the file from memory -----------------------------------------------------

size_t readCallback(void* out, size_t size, size_t count, void* source) {
    MusicDecoder* decoder = static_cast<MusicDecoder*>(source);
    if (size == 0) return 0;
    const size_t left = decoder->size - decoder->at;
    const size_t items = std::min(count, left / size);
    std::memcpy(out, decoder->bytes.get() + decoder->at, items * size);
    decoder->at += items * size;
    return items;
}

int seekCallback(void* source, ogg_int64_t offset, int whence) {
    MusicDecoder* decoder = static_cast<MusicDecoder*>(source);
    const ogg_int64_t size = static_cast<ogg_int64_t>(decoder->size);
    ogg_int64_t base = 0;
    if (whence == SEEK_CUR) base = static_cast<ogg_int64_t>(decoder->at);
    if (whence == SEEK_END) base = size;
    if (offset < -base || offset > size - base) return -1;
    decoder->at = static_cast<size_t>(base + offset);
    return 0;
}

long tellCallback(void* source) {
    return static_cast<long>(static_cast<MusicDecoder*>(source)->at);
}

// Reads the whole of a regular file. Anything else (a FIFO, a device, a folder) is refused
// before a read could block on it for ever.
bool readWholeFile(const char* path, MusicDecoder* decoder) {
    std::string why;
    std::FILE* file = openRegularFile(path, &why);
    if (file == nullptr) return failOpen(path, why.c_str());
    const int64_t fileBytes = openFileSize(file);
    bool ok = fileBytes >= 0;
    if (!ok) {
        failOpen(path, std::strerror(errno));
    } else if (static_cast<uint64_t>(fileBytes) > kMaxFileBytes) {
        ok = failOpen(path, "larger than 256 MB; not a music file this show can play");
    }
    if (ok) {
        // Not value-initialised: the read fills it, and zeroing 2 MB first would cost as much.
        const size_t size = static_cast<size_t>(fileBytes);
        decoder->bytes.reset(new unsigned char[size > 0 ? size : 1]);
        // A file that shrank while we read comes up short; the page check will find the cut.
        decoder->size = std::fread(decoder->bytes.get(), 1, size, file);
        if (std::ferror(file)) ok = failOpen(path, "read error");
    }
    std::fclose(file);
    return ok;
}

void freeDecoder(MusicDecoder* decoder) {
    if (decoder == nullptr) return;
    if (decoder->vorbisOpen) ov_clear(&decoder->vf);
    delete decoder;
}

double framesToSeconds(const DecodedMusic& music, size_t frames) {
    return static_cast<double>(frames) / music.sampleRate;
}

// Ends decoding: frees the decoder and, after damage, says so and publishes the whole length,
// whose undecoded rest stays the zeros it was allocated with.
void finishDecoding(MusicStream* stream, const char* damage) {
    MusicDecoder* decoder = stream->decoder;
    const size_t ready = stream->decodedFrames.load(std::memory_order_relaxed);
    if (damage != nullptr) {
        std::fprintf(stderr, "%s: %s at %.2f s of %.2f s; the music is silent from there\n",
                     decoder->path.c_str(), damage, framesToSeconds(stream->music, ready),
                     framesToSeconds(stream->music, stream->music.frameCount));
        stream->damaged.store(true, std::memory_order_relaxed);
        stream->decodedFrames.store(stream->music.frameCount, std::memory_order_release);
    }
    freeDecoder(decoder);
    stream->decoder = nullptr;
}

// Decodes the next block of at most `frames` frames (and at least one packet); call with
// decodeLock held and a decoder present.
void decodeBlock(MusicStream* stream, size_t frames = kBlockFrames) {
    MusicDecoder* decoder = stream->decoder;
    DecodedMusic& music = stream->music;
    const size_t frameBytes = static_cast<size_t>(music.channels) * sizeof(int16_t);
    const size_t start = stream->decodedFrames.load(std::memory_order_relaxed);
    size_t ready = start;
    const size_t blockEnd = std::min(music.frameCount, start + std::min(frames, kBlockFrames));
    while (ready < blockEnd) {
        char* dst = reinterpret_cast<char*>(music.samples) + ready * frameBytes;
        const size_t room = (music.frameCount - ready) * frameBytes;
        const int request = static_cast<int>(std::min<size_t>(room, 65536));
        int section = 0;
        const long got = ov_read(&decoder->vf, dst, request, 0, 2, 1, &section);
        if (got == 0) {
            finishDecoding(stream, "the stream ends early");
            return;
        }
        if (got == OV_HOLE) {
            finishDecoding(stream, "a gap in the stream (lost or damaged data)");
            return;
        }
        if (got < 0) {
            finishDecoding(stream, "corrupt Vorbis data");
            return;
        }
        const vorbis_info* now = ov_info(&decoder->vf, section);
        if (now == nullptr || now->channels != music.channels || now->rate != music.sampleRate) {
            finishDecoding(stream, "the stream changes channels or sample rate");
            return;
        }
        ready += static_cast<size_t>(got) / frameBytes;
        // Release: the samples just written are visible to whoever acquires this count.
        stream->decodedFrames.store(ready, std::memory_order_release);
    }
    if (ready >= music.frameCount) finishDecoding(stream, nullptr);
}

void decodeInBackground(MusicStream* stream) {
    while (!stream->stopWorker.load(std::memory_order_relaxed)) {
        {
            std::lock_guard<std::mutex> hold(stream->decodeLock);
            if (stream->decoder == nullptr) return;
            decodeBlock(stream);
        }
        // A mutex lets whoever unlocks take it straight back, so a reader that waits (the
        // frame that needs its samples now) could wait for the whole piece: the thread stands
        // back until no reader waits.
        do {
            std::this_thread::yield();
        } while (stream->readersWaiting.load(std::memory_order_relaxed) > 0 &&
                 !stream->stopWorker.load(std::memory_order_relaxed));
    }
}

bool openDecoded(MusicStream* stream, MusicDecoder* decoder, const char* path) {
    const ov_callbacks callbacks{readCallback, seekCallback, nullptr, tellCallback};
    if (ov_open_callbacks(decoder, &decoder->vf, nullptr, 0, callbacks) < 0)
        return failOpen(path, "not an Ogg Vorbis file");
    decoder->vorbisOpen = true;
    // The pages are checked before anything plays: a cut or damaged file found only when the
    // decoder reaches the damage would stop the music part-way through the show.
    const std::string damage = checkOggPages(decoder->bytes.get(), decoder->size);
    if (!damage.empty()) {
        std::fprintf(stderr, "%s: %s\n", path, damage.c_str());
        return false;
    }
    const vorbis_info* info = ov_info(&decoder->vf, -1);
    if (info == nullptr) return failOpen(path, "no Vorbis stream information");
    if (info->channels < 1 || info->channels > kMusicMaxChannels) {
        std::fprintf(stderr, "%s: %d channels; only mono and stereo music can be played\n", path,
                     info->channels);
        return false;
    }
    if (info->rate < 1000 || info->rate > 384000) {
        std::fprintf(stderr, "%s: unusable sample rate %ld Hz\n", path, info->rate);
        return false;
    }
    const ogg_int64_t total = ov_pcm_total(&decoder->vf, -1);
    if (total <= 0) return failOpen(path, "contains no audio");
    if (static_cast<double>(total) > kMaxMusicSeconds * static_cast<double>(info->rate))
        return failOpen(path, "longer than 30 minutes");

    DecodedMusic& music = stream->music;
    music.channels = info->channels;
    music.sampleRate = static_cast<int32_t>(info->rate);
    music.frameCount = static_cast<size_t>(total);
    // Zeroed, so that what damage leaves undecoded plays as silence. The pages come from the
    // kernel untouched until the decoder writes them, so this costs nothing up front.
    music.samples = static_cast<int16_t*>(
        std::calloc(music.frameCount * static_cast<size_t>(music.channels), sizeof(int16_t)));
    if (music.samples == nullptr) return failOpen(path, "out of memory for the decoded music");
    return true;
}

// Opens the stream on a decoder that holds the file's bytes, or frees it.
bool openWithBytes(MusicStream* stream, MusicDecoder* decoder, bool read) {
    if (!read || !openDecoded(stream, decoder, decoder->path.c_str())) {
        freeDecoder(decoder);
        closeMusicStream(stream);
        return false;
    }
    // The file's bytes stay with the decoder, which reads them from memory from now on.
    stream->decoder = decoder;
    return true;
}

}  // namespace

bool openMusicStream(MusicStream* stream, const char* path) {
    closeMusicStream(stream);
    auto* decoder = new MusicDecoder;
    decoder->path = path;
    return openWithBytes(stream, decoder, readWholeFile(path, decoder));
}

bool openMusicStreamFromBytes(MusicStream* stream, const unsigned char* bytes, size_t size,
                              const char* name) {
    closeMusicStream(stream);
    auto* decoder = new MusicDecoder;
    decoder->path = name;
    const bool fits = size <= kMaxFileBytes;
    if (fits) {
        decoder->bytes.reset(new unsigned char[size > 0 ? size : 1]);
        if (size > 0) std::memcpy(decoder->bytes.get(), bytes, size);
        decoder->size = size;
    } else {
        failOpen(name, "larger than 256 MB; not a music file this show can play");
    }
    return openWithBytes(stream, decoder, fits);
}

size_t decodeMusicUntil(MusicStream* stream, size_t frame) {
    const size_t want = std::min(frame, stream->music.frameCount);
    const size_t ready = stream->decodedFrames.load(std::memory_order_acquire);
    if (ready >= want) return ready;
    stream->readersWaiting.fetch_add(1, std::memory_order_relaxed);
    {
        std::lock_guard<std::mutex> hold(stream->decodeLock);
        // Only as far as asked, so a reader that keeps a small lead (the page decodes on its
        // frame loop) pays for that lead and not for a whole block each time.
        while (stream->decoder != nullptr) {
            const size_t decoded = stream->decodedFrames.load(std::memory_order_relaxed);
            if (decoded >= want) break;
            decodeBlock(stream, want - decoded);
        }
    }
    stream->readersWaiting.fetch_sub(1, std::memory_order_relaxed);
    return stream->decodedFrames.load(std::memory_order_acquire);
}

void startMusicDecoder(MusicStream* stream) {
    // A page served without cross-origin isolation has no threads, and a failed start would
    // abort there (no exceptions): the readers decode what they need themselves.
    if (!kThreadsAvailable) return;
    if (stream->worker.joinable()) return;
    {
        std::lock_guard<std::mutex> hold(stream->decodeLock);
        if (stream->decoder == nullptr) return;
    }
    stream->stopWorker.store(false, std::memory_order_relaxed);
    try {
        stream->worker = std::thread(decodeInBackground, stream);
    } catch (const std::system_error&) {
        // Without a thread the readers decode what they need themselves.
    }
}

void closeMusicStream(MusicStream* stream) {
    stream->stopWorker.store(true, std::memory_order_relaxed);
    if (stream->worker.joinable()) stream->worker.join();
    std::lock_guard<std::mutex> hold(stream->decodeLock);
    freeDecoder(stream->decoder);
    stream->decoder = nullptr;
    releaseDecodedMusic(&stream->music);
    stream->decodedFrames.store(0, std::memory_order_relaxed);
    stream->damaged.store(false, std::memory_order_relaxed);
    stream->stopWorker.store(false, std::memory_order_relaxed);
}

void musicStreamSpectrum(MusicStream* stream, size_t startFrame, float out[kSpectrumBins],
                         SpectrumWork* work) {
    const DecodedMusic& music = stream->music;
    if (music.samples == nullptr || music.frameCount == 0) return;
    const size_t start = startFrame % music.frameCount;
    // The block runs to start + 1024, or wraps to frames below start, decoded before it.
    decodeMusicUntil(stream, start + kSpectrumSize);
    computeSpectrum(music.samples, music.frameCount, music.channels, start, out, work);
}

bool decodeMusicFile(DecodedMusic* music, const char* path) {
    *music = DecodedMusic{};
    MusicStream stream;
    if (!openMusicStream(&stream, path)) return false;
    decodeMusicUntil(&stream, stream.music.frameCount);
    const bool whole = !stream.damaged.load(std::memory_order_relaxed);
    if (whole) {
        *music = stream.music;
        stream.music = DecodedMusic{};  // the samples now belong to the caller
    }
    closeMusicStream(&stream);
    return whole;
}

void releaseDecodedMusic(DecodedMusic* music) {
    std::free(music->samples);
    *music = DecodedMusic{};
}

uint64_t musicFramesToBytes(const DecodedMusic* music, uint64_t frames) {
    return frames * static_cast<uint64_t>(music->channels) * 2u;
}

void musicFramesAsFloats(const DecodedMusic* music, size_t first, size_t count, float* out) {
    const size_t channels = static_cast<size_t>(music->channels);
    const int16_t* samples = music->samples + first * channels;
    for (size_t c = 0; c < channels; ++c) {
        float* channel = out + c * count;
        for (size_t i = 0; i < count; ++i)
            channel[i] = static_cast<float>(samples[i * channels + c]) * (1.0f / 32768.0f);
    }
}

float musicBytesToSecondsOf(const DecodedMusic* music, uint64_t bytes) {
    const double bytesPerSecond = static_cast<double>(music->sampleRate) * music->channels * 2.0;
    if (bytesPerSecond <= 0.0) {
        return 0.0f;
    }
    return static_cast<float>(static_cast<double>(bytes) / bytesPerSecond);
}
