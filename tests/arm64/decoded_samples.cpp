// Decodes a Vorbis file to the 16-bit samples the show plays, or compares two such decodings.
//   decoded_samples MUSIC.ogg > samples.raw      interleaved little-endian int16, as ov_read gives
//   decoded_samples --compare A.raw B.raw        "samples N differing D max-difference M"
// Built once against each libvorbis whose output is to be bounded; the comparison fails (status
// 1) when the two decodings are not the same length.
#include <vorbis/vorbisfile.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int decode(const char* path) {
    OggVorbis_File vf;
    if (ov_fopen(path, &vf) != 0) {
        std::fprintf(stderr, "%s: not a Vorbis file\n", path);
        return 2;
    }
    static char buffer[65536];
    int section = 0;
    for (;;) {
        const long got = ov_read(&vf, buffer, sizeof buffer, 0, 2, 1, &section);
        if (got == 0) break;
        if (got < 0) {
            std::fprintf(stderr, "%s: damaged stream (%ld)\n", path, got);
            ov_clear(&vf);
            return 2;
        }
        if (std::fwrite(buffer, 1, size_t(got), stdout) != size_t(got)) return 4;
    }
    ov_clear(&vf);
    return std::fflush(stdout) == 0 ? 0 : 4;
}

bool readSample(std::FILE* file, int32_t* sample) {
    unsigned char bytes[2];
    if (std::fread(bytes, 1, 2, file) != 2) return false;
    *sample = int16_t(uint16_t(bytes[0] | bytes[1] << 8));
    return true;
}

int compare(const char* pathA, const char* pathB) {
    std::FILE* a = std::fopen(pathA, "rb");
    std::FILE* b = std::fopen(pathB, "rb");
    if (a == nullptr || b == nullptr) {
        std::fprintf(stderr, "cannot open %s\n", a == nullptr ? pathA : pathB);
        return 2;
    }
    long long samples = 0, differing = 0;
    int32_t maxDifference = 0;
    int32_t x, y;
    bool moreA, moreB;
    while ((moreA = readSample(a, &x)) & (moreB = readSample(b, &y))) {
        ++samples;
        const int32_t d = std::abs(x - y);
        if (d != 0) ++differing;
        if (d > maxDifference) maxDifference = d;
    }
    std::fclose(a);
    std::fclose(b);
    std::printf("samples %lld differing %lld max-difference %d\n", samples, differing, maxDifference);
    if (moreA != moreB) {
        std::fprintf(stderr, "%s is longer than %s\n", moreA ? pathA : pathB, moreA ? pathB : pathA);
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2) return decode(argv[1]);
    if (argc == 4 && std::strcmp(argv[1], "--compare") == 0) return compare(argv[2], argv[3]);
    std::fprintf(stderr, "usage: decoded_samples MUSIC.ogg > RAW | decoded_samples --compare A B\n");
    return 2;
}
