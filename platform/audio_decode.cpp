// Decoding a whole Ogg Vorbis file into interleaved 16-bit samples in memory.
#include <vorbis/vorbisfile.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/audio.h"

namespace {

// Longest piece accepted, so a hostile file cannot make us allocate without bound.
constexpr double kMaxMusicSeconds = 30.0 * 60.0;
// Consecutive holes (lost pages) tolerated before the file counts as corrupt.
constexpr int kMaxHoles = 64;

bool failDecode(const char* path, const char* what) {
    std::fprintf(stderr, "%s: %s\n", path, what);
    return false;
}

// Grows music->samples to hold at least `frames` frames.
bool reserveFrames(DecodedMusic* music, size_t* capacity, size_t frames) {
    if (frames <= *capacity) {
        return true;
    }
    size_t grown = *capacity < 65536 ? 65536 : *capacity * 2;
    if (grown < frames) {
        grown = frames;
    }
    const size_t bytes = grown * static_cast<size_t>(music->channels) * sizeof(int16_t);
    void* more = std::realloc(music->samples, bytes);
    if (more == nullptr) {
        return false;
    }
    music->samples = static_cast<int16_t*>(more);
    *capacity = grown;
    return true;
}

bool decodeOpened(DecodedMusic* music, OggVorbis_File* vf, const char* path) {
    const vorbis_info* info = ov_info(vf, -1);
    if (info == nullptr) {
        return failDecode(path, "no Vorbis stream information");
    }
    if (info->channels < 1 || info->channels > 2) {
        std::fprintf(stderr, "%s: %d channels; only mono and stereo music can be played\n", path,
                     info->channels);
        return false;
    }
    if (info->rate < 1000 || info->rate > 384000) {
        std::fprintf(stderr, "%s: unusable sample rate %ld Hz\n", path, info->rate);
        return false;
    }
    music->channels = info->channels;
    music->sampleRate = static_cast<int32_t>(info->rate);
    const size_t maxFrames =
        static_cast<size_t>(kMaxMusicSeconds * static_cast<double>(info->rate));
    const size_t frameBytes = static_cast<size_t>(music->channels) * sizeof(int16_t);

    size_t capacity = 0;
    const ogg_int64_t total = ov_pcm_total(vf, -1);
    if (total > 0 && static_cast<uint64_t>(total) <= maxFrames &&
        !reserveFrames(music, &capacity, static_cast<size_t>(total))) {
        return failDecode(path, "out of memory for the decoded music");
    }
    int holes = 0;
    for (;;) {
        // Room for at least 4096 more frames before each read.
        if (!reserveFrames(music, &capacity, music->frameCount + 4096)) {
            return failDecode(path, "out of memory for the decoded music");
        }
        char* dst = reinterpret_cast<char*>(music->samples) + music->frameCount * frameBytes;
        const size_t room = (capacity - music->frameCount) * frameBytes;
        const int request = static_cast<int>(room < 65536 ? room : 65536);
        int section = 0;
        const long got = ov_read(vf, dst, request, 0, 2, 1, &section);
        if (got == 0) {
            break;
        }
        if (got == OV_HOLE) {
            if (++holes > kMaxHoles) {
                return failDecode(path, "too many gaps in the Ogg stream (corrupt file)");
            }
            continue;
        }
        if (got < 0) {
            return failDecode(path, "corrupt Vorbis data");
        }
        holes = 0;
        const vorbis_info* now = ov_info(vf, section);
        if (now == nullptr || now->channels != music->channels || now->rate != info->rate) {
            return failDecode(path, "the stream changes channels or sample rate part-way");
        }
        music->frameCount += static_cast<size_t>(got) / frameBytes;
        if (music->frameCount > maxFrames) {
            return failDecode(path, "longer than 30 minutes");
        }
    }
    if (music->frameCount == 0) {
        return failDecode(path, "contains no audio");
    }
    return true;
}

}  // namespace

bool decodeMusicFile(DecodedMusic* music, const char* path) {
    *music = DecodedMusic{};
    FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        std::fprintf(stderr, "%s: cannot open: %s\n", path, std::strerror(errno));
        return false;
    }
    OggVorbis_File vf;
    if (ov_open_callbacks(file, &vf, nullptr, 0, OV_CALLBACKS_DEFAULT) < 0) {
        // On failure the caller still owns the file.
        std::fclose(file);
        return failDecode(path, "not an Ogg Vorbis file");
    }
    const bool ok = decodeOpened(music, &vf, path);
    ov_clear(&vf);  // closes the file
    if (!ok) {
        releaseDecodedMusic(music);
    }
    return ok;
}

void releaseDecodedMusic(DecodedMusic* music) {
    std::free(music->samples);
    *music = DecodedMusic{};
}

uint64_t musicFramesToBytes(const DecodedMusic* music, uint64_t frames) {
    return frames * static_cast<uint64_t>(music->channels) * 2u;
}

float musicBytesToSecondsOf(const DecodedMusic* music, uint64_t bytes) {
    const double bytesPerSecond = static_cast<double>(music->sampleRate) * music->channels * 2.0;
    if (bytesPerSecond <= 0.0) {
        return 0.0f;
    }
    return static_cast<float>(static_cast<double>(bytes) / bytesPerSecond);
}
