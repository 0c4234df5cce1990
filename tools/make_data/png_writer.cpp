// Writing a canvas with its coverage as an 8-bit RGBA PNG, for the icon.
#include <cstdio>
#include <cstdlib>

#include "output/png_writer.h"
#include "tools/make_data/make_data.h"

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
    // Level 9: the icons are committed, so they are made once and kept small.
    const std::vector<uint8_t> file = encodePng(raw, picture.width, picture.height, 4, 9);
    if (file.empty()) {
        std::fprintf(stderr, "make_data: cannot compress %s\n", path.c_str());
        std::exit(1);
    }

    FILE* out = std::fopen(path.c_str(), "wb");
    const bool written =
        out != nullptr && std::fwrite(file.data(), 1, file.size(), out) == file.size();
    if (out == nullptr || std::fclose(out) != 0 || !written) {
        std::fprintf(stderr, "make_data: cannot write %s\n", path.c_str());
        std::exit(1);
    }
}
