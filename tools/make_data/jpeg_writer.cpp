// JPEG output through libjpeg, and plain text output.
#include <cstdio>
#include <cstdlib>
// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

#include "tools/make_data/make_data.h"

void writeJpeg(const Canvas& canvas, const std::string& path, int quality, ChromaMode chroma) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "make_data: cannot write %s\n", path.c_str());
        std::exit(1);
    }
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = static_cast<JDIMENSION>(canvas.width);
    info.image_height = static_cast<JDIMENSION>(canvas.height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    // Slow integer DCT: exact and the same on every machine, unlike the float variant.
    info.dct_method = JDCT_ISLOW;
    info.optimize_coding = TRUE;
    if (chroma == kFullChroma) {
        for (int c = 0; c < 3; ++c) {
            info.comp_info[c].h_samp_factor = 1;
            info.comp_info[c].v_samp_factor = 1;
        }
    }
    jpeg_start_compress(&info, TRUE);
    for (int y = 0; y < canvas.height; ++y) {
        JSAMPROW row = const_cast<JSAMPROW>(&canvas.rgb[static_cast<size_t>(y) * canvas.width * 3]);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    if (std::fclose(file) != 0) {
        std::fprintf(stderr, "make_data: cannot finish %s\n", path.c_str());
        std::exit(1);
    }
}

void writeTextFile(const std::string& text, const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(text.data(), 1, text.size(), file) != text.size() ||
        std::fclose(file) != 0) {
        std::fprintf(stderr, "make_data: cannot write %s\n", path.c_str());
        std::exit(1);
    }
}
