// Lettering through FreeType: UTF-8 text rendered into coverage masks.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "tools/make_data/make_data.h"

namespace {

FT_Face faceOf(const Lettering& lettering) {
    return static_cast<FT_Face>(lettering.face);
}

// Decodes UTF-8 into code points; the texts are ours, so a malformed byte is simply skipped.
std::vector<uint32_t> codePoints(const std::string& text) {
    std::vector<uint32_t> points;
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int extra = 0;
        uint32_t point = lead;
        if (lead >= 0xF0) {
            extra = 3, point = lead & 0x07u;
        } else if (lead >= 0xE0) {
            extra = 2, point = lead & 0x0Fu;
        } else if (lead >= 0xC0) {
            extra = 1, point = lead & 0x1Fu;
        } else if (lead >= 0x80) {
            ++i;
            continue;
        }
        ++i;
        for (int k = 0; k < extra && i < text.size(); ++k, ++i) {
            point = (point << 6) | (static_cast<unsigned char>(text[i]) & 0x3Fu);
        }
        points.push_back(point);
    }
    return points;
}

void loadGlyph(FT_Face face, uint32_t point, EdgeMode edges) {
    const FT_Int32 flags =
        edges == kHard ? FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME : FT_LOAD_RENDER;
    if (FT_Load_Char(face, point, flags) != 0) {
        std::fprintf(stderr, "make_data: the font has no glyph for U+%04X\n", point);
        std::exit(1);
    }
}

}  // namespace

Lettering openLettering(const char* fontPath) {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    if (FT_Init_FreeType(&library) != 0) {
        std::fprintf(stderr, "make_data: FreeType could not start\n");
        std::exit(1);
    }
    if (FT_New_Face(library, fontPath, 0, &face) != 0) {
        std::fprintf(
            stderr,
            "make_data: cannot open the font %s (packages fonts-dejavu-core, fonts-dejavu-extra)\n",
            fontPath);
        std::exit(1);
    }
    return {library, face};
}

void closeLettering(Lettering& lettering) {
    FT_Done_Face(faceOf(lettering));
    FT_Done_FreeType(static_cast<FT_Library>(lettering.library));
    lettering = {nullptr, nullptr};
}

int letteringWidth(const Lettering& lettering, const std::string& text, int pixelSize) {
    FT_Face face = faceOf(lettering);
    FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixelSize));
    long advance = 0;
    for (uint32_t point : codePoints(text)) {
        loadGlyph(face, point, kSmooth);
        advance += face->glyph->advance.x;
    }
    return static_cast<int>(advance >> 6);  // 26.6 fixed point to whole pixels
}

Mask letteringMask(int width, int height, const Lettering& lettering, const std::string& text,
                   int x, int baseline, int pixelSize, EdgeMode edges) {
    Mask mask = emptyMask(width, height);
    FT_Face face = faceOf(lettering);
    FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixelSize));
    long penX = static_cast<long>(x) << 6;  // 26.6 fixed point, as FreeType advances
    for (uint32_t point : codePoints(text)) {
        loadGlyph(face, point, edges);
        const FT_GlyphSlot glyph = face->glyph;
        const FT_Bitmap& bitmap = glyph->bitmap;
        const int left = static_cast<int>(penX >> 6) + glyph->bitmap_left;
        const int top = baseline - glyph->bitmap_top;
        for (unsigned row = 0; row < bitmap.rows; ++row) {
            for (unsigned col = 0; col < bitmap.width; ++col) {
                const unsigned char* line = bitmap.buffer + static_cast<long>(row) * bitmap.pitch;
                float value = 0.0f;
                if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
                    value = ((line[col >> 3] >> (7 - (col & 7))) & 1) ? 1.0f : 0.0f;
                } else {
                    value = static_cast<float>(line[col]) / 255.0f;
                }
                const int px = left + static_cast<int>(col);
                const int py = top + static_cast<int>(row);
                if (px < 0 || py < 0 || px >= width || py >= height) continue;
                float& cell = mask.coverage[static_cast<size_t>(py) * width + px];
                cell = std::min(1.0f, cell + value);
            }
        }
        penX += glyph->advance.x;
    }
    return mask;
}

Mask centredLettering(int width, int height, const Lettering& lettering, const std::string& text,
                      int centreX, int baseline, int pixelSize, EdgeMode edges) {
    const int textWidth = letteringWidth(lettering, text, pixelSize);
    return letteringMask(width, height, lettering, text, centreX - textWidth / 2, baseline,
                         pixelSize, edges);
}
