// Writing a canvas with its coverage as an 8-bit RGBA PNG, for the icon.
#include <zlib.h>

#include <cstdio>
#include <cstdlib>

#include "tools/make_data/make_data.h"

namespace {

void putBigEndian(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

void putChunk(std::vector<uint8_t>& out, const char type[4], const std::vector<uint8_t>& data) {
    putBigEndian(out, static_cast<uint32_t>(data.size()));
    const size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    putBigEndian(out, static_cast<uint32_t>(
                          crc32(0, out.data() + typeAt, static_cast<uInt>(out.size() - typeAt))));
}

}  // namespace

void writePng(const Icon& icon, const std::string& path) {
    const Canvas& picture = icon.picture;
    // Each row: filter byte 0 (none), then red, green, blue, alpha per pixel.
    std::vector<uint8_t> raw;
    for (int y = 0; y < picture.height; ++y) {
        raw.push_back(0);
        for (int x = 0; x < picture.width; ++x) {
            const size_t at = static_cast<size_t>(y) * picture.width + x;
            raw.insert(raw.end(), &picture.rgb[3 * at], &picture.rgb[3 * at] + 3);
            raw.push_back(icon.alpha[at]);
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 9) !=
        Z_OK) {
        std::fprintf(stderr, "make_data: cannot compress %s\n", path.c_str());
        std::exit(1);
    }
    packed.resize(packedSize);

    std::vector<uint8_t> header;
    putBigEndian(header, static_cast<uint32_t>(picture.width));
    putBigEndian(header, static_cast<uint32_t>(picture.height));
    header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, no filter, no interlace
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> file(kSignature, kSignature + 8);
    putChunk(file, "IHDR", header);
    putChunk(file, "IDAT", packed);
    putChunk(file, "IEND", {});

    FILE* out = std::fopen(path.c_str(), "wb");
    const bool written =
        out != nullptr && std::fwrite(file.data(), 1, file.size(), out) == file.size();
    if (out == nullptr || std::fclose(out) != 0 || !written) {
        std::fprintf(stderr, "make_data: cannot write %s\n", path.c_str());
        std::exit(1);
    }
}
