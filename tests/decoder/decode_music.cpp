// Decodes a piece of music with the show's own decoding code and either writes its samples or
// compares them with samples written before (by a build against another libvorbis).
//
//   decode_music MUSIC OUT.pcm                              writes 16-bit PCM, native order
//   decode_music MUSIC REF.pcm MAX_DIFFERING MAX_STEP      compares with REF.pcm
//
// The comparison prints how many samples differ and by how many steps at most, and fails when
// the lengths differ or either figure is above its bound.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>

#include "music/music.h"

namespace {

int writeSamples(const DecodedMusic& music, const char* path) {
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
    FILE* out = std::fopen(path, "wb");
    const size_t count = music.frameCount * static_cast<size_t>(music.channels);
    const bool written = out && std::fwrite(music.samples, sizeof(int16_t), count, out) == count;
    if (!out || std::fclose(out) != 0 || !written) {
        std::fprintf(stderr, "%s: cannot write the samples\n", path);
        return 1;
    }
    std::printf("%zu samples written to %s\n", count, path);
    return 0;
}

int compareSamples(const DecodedMusic& music, const char* path, long maxDiffering, long maxStep) {
    const size_t count = music.frameCount * static_cast<size_t>(music.channels);
    std::error_code error;
    const auto bytes = std::filesystem::file_size(path, error);
    if (error || bytes != count * sizeof(int16_t)) {
        std::fprintf(stderr, "%s: %zu samples expected\n", path, count);
        return 1;
    }
    std::unique_ptr<int16_t[]> reference(new int16_t[count]);
    FILE* in = std::fopen(path, "rb");
    const bool read = in && std::fread(reference.get(), sizeof(int16_t), count, in) == count;
    if (in) std::fclose(in);
    if (!read) {
        std::fprintf(stderr, "%s: cannot read the samples\n", path);
        return 1;
    }
    long differing = 0;
    long step = 0;
    for (size_t i = 0; i < count; ++i) {
        const long d = std::labs(long{music.samples[i]} - long{reference[i]});
        differing += d != 0;
        if (d > step) step = d;
    }
    std::printf("%ld of %zu samples differ from %s, by at most %ld (bounds %ld, %ld)\n", differing,
                count, path, step, maxDiffering, maxStep);
    return differing <= maxDiffering && step <= maxStep ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 5) {
        std::fprintf(stderr,
                     "usage: decode_music MUSIC OUT.pcm | MUSIC REF.pcm MAX_DIFFERING MAX_STEP\n");
        return 2;
    }
    DecodedMusic music{};
    if (!decodeMusicFile(&music, argv[1])) return 1;
    const int status = argc == 3
                           ? writeSamples(music, argv[2])
                           : compareSamples(music, argv[2], std::atol(argv[3]), std::atol(argv[4]));
    releaseDecodedMusic(&music);
    return status;
}
