// Writing frames as PNG files (zlib deflate, no filtering), and the checksum of a frame.
#include "output/png_writer.h"

#include <zlib.h>

#include <cstdio>
#include <vector>

#include "platform/os_files.h"

namespace {

constexpr char kPartialSuffix[] = ".partial";  // the name a PNG has while it is being written

void putBigEndian(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value >> 24));
    out.push_back(static_cast<uint8_t>(value >> 16));
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

void putChunk(std::vector<uint8_t>& out, const char type[4], const std::vector<uint8_t>& data) {
    putBigEndian(out, static_cast<uint32_t>(data.size()));
    const size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    const uInt crcLength = static_cast<uInt>(out.size() - typeAt);
    putBigEndian(out, static_cast<uint32_t>(crc32(0, out.data() + typeAt, crcLength)));
}

}  // namespace

std::vector<uint8_t> encodePng(const std::vector<uint8_t>& rows, int width, int height,
                               int channels, int level) {
    uLongf packedSize = compressBound(static_cast<uLong>(rows.size()));
    std::vector<uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, rows.data(), static_cast<uLong>(rows.size()),
                  level) != Z_OK)
        return {};
    packed.resize(packedSize);

    std::vector<uint8_t> header;
    putBigEndian(header, static_cast<uint32_t>(width));
    putBigEndian(header, static_cast<uint32_t>(height));
    // 8 bits, RGB (2) or RGBA (6), deflate, no filter, no interlace.
    const uint8_t colourType = channels == 4 ? 6 : 2;
    header.insert(header.end(), {8, colourType, 0, 0, 0});

    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> file(kSignature, kSignature + 8);
    putChunk(file, "IHDR", header);
    putChunk(file, "IDAT", packed);
    putChunk(file, "IEND", {});
    return file;
}

bool writePng(const char* path, const Pixel* pixels, int width, int height) {
    // Each row: filter byte 0 (none), then red, green, blue per pixel.
    std::vector<uint8_t> raw;
    raw.reserve(static_cast<size_t>(height) * (1 + 3 * static_cast<size_t>(width)));
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);
        for (int x = 0; x < width; ++x) {
            const Pixel p = pixels[static_cast<size_t>(y) * width + x];
            raw.push_back(static_cast<uint8_t>(pixelRed(p)));
            raw.push_back(static_cast<uint8_t>(pixelGreen(p)));
            raw.push_back(static_cast<uint8_t>(pixelBlue(p)));
        }
    }
    const std::vector<uint8_t> file = encodePng(raw, width, height, 3, 6);
    if (file.empty()) return false;

    // A full disk or an interrupted run must not leave a truncated picture under the frame's
    // name: the file gets its name only once every byte is on disk.
    char partial[4096 + sizeof kPartialSuffix];
    const int length = std::snprintf(partial, sizeof partial, "%s%s", path, kPartialSuffix);
    if (length < 0 || static_cast<size_t>(length) >= sizeof partial) return false;
    FILE* out = createFile(partial);
    if (out == nullptr) return false;
    const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    const bool closed = std::fclose(out) == 0;
    if (written && closed && replaceFile(partial, path)) return true;
    removeFile(partial);
    return false;
}

uint32_t frameChecksum(const Pixel* pixels, int count) {
    // Bytes in little-endian order whatever the host, so checksums travel between machines.
    uLong crc = crc32(0, nullptr, 0);
    uint8_t bytes[4 * 256];
    for (int i = 0; i < count;) {
        int n = 0;
        for (; n < 256 && i < count; ++n, ++i) {
            const Pixel p = pixels[i];
            bytes[4 * n] = static_cast<uint8_t>(p);
            bytes[4 * n + 1] = static_cast<uint8_t>(p >> 8);
            bytes[4 * n + 2] = static_cast<uint8_t>(p >> 16);
            bytes[4 * n + 3] = static_cast<uint8_t>(p >> 24);
        }
        crc = crc32(crc, bytes, static_cast<uInt>(4 * n));
    }
    return static_cast<uint32_t>(crc);
}
