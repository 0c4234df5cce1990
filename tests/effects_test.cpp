// Tests of the frame buffer effects: worked examples, and every operation against a slow
// per-channel model on random pictures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "effects/effects.h"

namespace {

using Buffer = std::vector<Pixel>;

// ---- Slow, obvious models ----

uint32_t channel(Pixel p, int shift) {
    return (p >> shift) & 0xFFu;
}

Pixel pack(uint32_t red, uint32_t green, uint32_t blue) {
    return (red << 16) | (green << 8) | blue;
}

Pixel modelAverage(const std::vector<Pixel>& pixels) {
    uint32_t sums[3] = {0, 0, 0};
    for (Pixel p : pixels) {
        for (int c = 0; c < 3; ++c)
            sums[c] += channel(p, 16 - 8 * c);
    }
    const uint32_t n = uint32_t(pixels.size());
    return pack(sums[0] / n, sums[1] / n, sums[2] / n);
}

// Box average at every index in scan order, each written over its box (2 x 2 is the blur).
void modelBoxBlur(Buffer& b, uint32_t width, uint32_t height) {
    for (size_t i = 0; i < size_t(kPicturePixels); ++i) {
        std::vector<Pixel> box;
        for (uint32_t k = 0; k < height; ++k) {
            for (uint32_t l = 0; l < width; ++l)
                box.push_back(b.at(i + k * kPitch + l));
        }
        const Pixel average = modelAverage(box);
        for (uint32_t k = 0; k < height; ++k) {
            for (uint32_t l = 0; l < width; ++l)
                b.at(i + k * kPitch + l) = average;
        }
    }
}

void modelMosaic(Buffer& b, uint32_t width, uint32_t height) {
    for (uint32_t y = 0; y < 256; y += height) {
        for (uint32_t x = 0; x < 512; x += width) {
            std::vector<Pixel> block;
            for (uint32_t k = 0; k < height; ++k) {
                for (uint32_t l = 0; l < width; ++l)
                    block.push_back(b.at((y + k) * 512 + x + l));
            }
            const Pixel average = modelAverage(block);
            for (uint32_t k = 0; k < height; ++k) {
                for (uint32_t l = 0; l < width; ++l)
                    b.at((y + k) * 512 + x + l) = average;
            }
        }
    }
}

// Byte-by-byte long subtraction of two words, borrows carried upwards, the top borrow lost.
Pixel modelSubtract(uint32_t from, Pixel p) {
    uint32_t result = 0;
    int borrow = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        int d = int(channel(from, shift)) - int(channel(p, shift)) - borrow;
        borrow = d < 0;
        result |= uint32_t(d & 0xFF) << shift;
    }
    return result;
}

// Per channel (a * wa + b * wb) >> 8, top byte 0.
Pixel modelWeigh(Pixel a, uint32_t wa, Pixel b, uint32_t wb) {
    Pixel out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        out |= ((channel(a, shift) * wa + channel(b, shift) * wb) >> 8) << shift;
    }
    return out;
}

// ---- Random pictures ----

// Mostly values that sit near the key 0x111111 and the 17 of the red key, plus any 32-bit word:
// uniform random pixels would almost never fall below the key or be a strong red.
Pixel mixedPixel(std::mt19937& rng) {
    auto byteNear17 = [&] { return uint32_t(14 + rng() % 7); };
    switch (rng() % 5) {
        case 0:
            return Pixel(rng());
        case 1:
            return Pixel(rng() & 0xFFFFFFu);
        case 2:
            return Pixel(0x111111u + (rng() % 7) - 3);
        case 3:
            return pack(byteNear17(), byteNear17(), byteNear17()) | (rng() % 2 ? 0 : rng() << 24);
        default:
            return pack(byteNear17(), rng() & 0xFF, rng() & 0xFF);
    }
}

Buffer randomBuffer(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    Buffer b(size);
    for (Pixel& p : b)
        p = mixedPixel(rng);
    return b;
}

// Random patches of one colour, so that chains of equal averages run long.
Buffer patchyBuffer(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    Buffer b(size);
    Pixel colour = 0;
    for (size_t i = 0; i < size; ++i) {
        if (rng() % 200 == 0) colour = Pixel(rng());
        b[i] = colour;
    }
    return b;
}

constexpr size_t kPicture = size_t(kPicturePixels);

// Runs pass(target, source) on one buffer holding both, overlapping at several offsets either
// way round, and expects what model(source pixel, target pixel) gives applied pixel by pixel in
// index order: what the operation reads when its buffers overlap.
template <typename Pass, typename Model>
void expectPixelByPixelWhenOverlapping(Pass pass, Model model, uint32_t seed) {
    for (size_t offset : {0, 1, 7, 8, 9}) {
        for (bool sourceFirst : {true, false}) {
            Buffer b = randomBuffer(kPicture + 16, seed + uint32_t(offset));
            Buffer expected = b;
            const size_t t = sourceFirst ? offset : 0, s = sourceFirst ? 0 : offset;
            pass(b.data() + t, b.data() + s);
            for (size_t i = 0; i < kPicture; ++i)
                expected[t + i] = model(expected[s + i], expected[t + i]);
            ASSERT_EQ(b, expected) << offset << " " << sourceFirst;
        }
    }
}

// ---- Blits and copies ----

// Image pixel (c, r) lands on (x + c, y + r) when r >= 1 and the target pixel lies in rows
// 1..min(383, rows - 1) and columns 0..510.
Buffer modelBlit(Buffer target, int32_t rows, int32_t x, int32_t y, const Image& image) {
    for (int64_t r = 1; r < image.height; ++r) {
        for (int64_t c = 0; c < image.width; ++c) {
            const int64_t tr = y + r, tc = x + c;
            if (tr >= 1 && tr <= 383 && tr < rows && tc >= 0 && tc <= 510) {
                target[tr * 512 + tc] = image.pixels[r * image.width + c];
            }
        }
    }
    return target;
}

TEST(Blit, Examples) {
    Buffer pixels(9);
    for (size_t i = 0; i < 9; ++i)
        pixels[i] = Pixel(0x10 + i);
    Image image{3, 3, pixels.data()};
    Buffer target(384 * 512, 0xAAu);

    blitImage(target.data(), 384, 0, 0, &image);  // rows 1 and 2, columns 0 to 2: six pixels
    Buffer expected(384 * 512, 0xAAu);
    for (int r = 1; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            expected[r * 512 + c] = pixels[r * 3 + c];
    }
    EXPECT_EQ(target, expected);

    for (int32_t x : {511, 512, 513}) {
        blitImage(target.data(), 384, x, 10, &image);  // column 511 is never written
        EXPECT_EQ(target, expected) << x;
    }

    Buffer tall(10 * 3);
    for (size_t i = 0; i < tall.size(); ++i)
        tall[i] = Pixel(0x100 + i);
    Image tallImage{3, 10, tall.data()};
    blitImage(target.data(), 384, 100, -5, &tallImage);  // row 5 would land on row 0: skipped
    EXPECT_EQ(target[100], 0xAAu);
    EXPECT_EQ(target[512 + 100], tall[6 * 3]);

    Image flat{3, 1, pixels.data()};
    const Buffer before = target;
    blitImage(target.data(), 384, 50, 50,
              &flat);  // one row: nothing left once the first is skipped
    EXPECT_EQ(target, before);
}

TEST(Blit, BadImagesDrawNothing) {
    Buffer pixels(16, 0x123456u);
    Buffer target(384 * 512, 0);
    const Buffer before = target;
    blitImage(target.data(), 384, 0, 0, nullptr);
    Image noPixels{4, 4, nullptr};
    blitImage(target.data(), 384, 0, 0, &noPixels);
    Image zeroWide{0, 4, pixels.data()};
    blitImage(target.data(), 384, 0, 0, &zeroWide);
    Image negative{4, -4, pixels.data()};
    blitImage(target.data(), 384, 0, 0, &negative);
    Image fine{4, 4, pixels.data()};
    blitImage(target.data(), 0, 0, 0, &fine);
    blitImage(target.data(), 384, INT32_MIN, INT32_MIN, &fine);
    Image huge{INT32_MAX, INT32_MAX, pixels.data()};
    blitImage(target.data(), 384, 500, 384, &huge);  // y + height would overflow 32 bits
    EXPECT_EQ(target, before);
}

// The target buffer holds exactly `rows` rows, so the sanitizer sees any write below them.
TEST(Blit, MatchesModelAtAllEdgesAndNeverLeavesTheTarget) {
    std::mt19937 rng(7);
    for (int trial = 0; trial < 200; ++trial) {
        const int32_t rows = std::vector<int32_t>{1, 2, 3, 100, 320, 383, 384, 400}[rng() % 8];
        const int32_t width = 1 + int32_t(rng() % 600);
        const int32_t height = 1 + int32_t(rng() % 450);
        const int32_t x = int32_t(rng() % 1200) - 650;
        const int32_t y = int32_t(rng() % 900) - 470;
        Buffer pixels = randomBuffer(size_t(width) * height, trial);
        Image image{width, height, pixels.data()};
        Buffer target = randomBuffer(size_t(rows) * 512, 1000 + trial);
        const Buffer expected = modelBlit(target, rows, x, y, image);
        blitImage(target.data(), rows, x, y, &image);
        ASSERT_EQ(target, expected)
            << width << "x" << height << " at " << x << "," << y << " into " << rows << " rows";
    }
}

TEST(Blit, PictureAreaCardBelowTheScreen) {
    // A 150-row card at y = 196 of pictureArea: rows 320 and on would be past the screen.
    Buffer pixels = randomBuffer(200 * 150, 3);
    Image card{200, 150, pixels.data()};
    Buffer area = randomBuffer(320 * 512, 4);
    const Buffer expected = modelBlit(area, 320, 300, 196, card);
    blitImage(area.data(), 320, 300, 196, &card);
    EXPECT_EQ(area, expected);
    EXPECT_EQ(area[319 * 512 + 300], pixels[123 * 200]);
}

TEST(Copies, CopyAndFoldMatchModels) {
    const Buffer source = randomBuffer(kPicture, 11);
    Buffer target = randomBuffer(kPicture, 12);
    copyPicture(target.data(), source.data());
    EXPECT_EQ(target, source);

    Buffer folded = randomBuffer(kPicture + kFoldTopHalfReach, 13);
    Buffer expected = folded;
    for (size_t k = 0; k < 65536; ++k) {
        expected[131072 - k] = expected[k];
        expected[k] = 0;
    }
    const Pixel middle = folded[65536];
    foldTopHalf(folded.data());
    EXPECT_EQ(folded, expected);
    EXPECT_EQ(folded[65536], middle);
}

// ---- Colour keys ----

TEST(Keys, Examples) {
    const Buffer source = {0x10FFFFu, 0x111110u, 0x111111u, 0x120000u};
    Buffer target(kPicture, 0xABCDEFu);
    Buffer padded(kPicture, 0);
    std::copy(source.begin(), source.end(), padded.begin());
    copyBelowKey(target.data(), padded.data(), 0x111111u);
    EXPECT_EQ(target[0], 0x10FFFFu);
    EXPECT_EQ(target[1], 0x111110u);
    EXPECT_EQ(target[2], 0xABCDEFu);
    EXPECT_EQ(target[3], 0xABCDEFu);

    const Buffer reds = {0x120000u, 0x110000u, 0x121100u, 0x120011u};
    std::copy(reds.begin(), reds.end(), padded.begin());
    std::fill(target.begin(), target.end(), 0xABCDEFu);
    copyUnlessRedKey(target.data(), padded.data());
    EXPECT_EQ(target[0], 0xABCDEFu);
    EXPECT_EQ(target[1], 0x110000u);
    EXPECT_EQ(target[2], 0x121100u);
    EXPECT_EQ(target[3], 0x120011u);
}

TEST(Keys, MatchModelsOnRandomPictures) {
    for (uint32_t seed = 0; seed < 4; ++seed) {
        const Buffer source = randomBuffer(kPicture, 20 + seed);
        const Buffer base = randomBuffer(kPicture, 30 + seed);
        const Buffer start = randomBuffer(kPicture, 40 + seed);
        for (uint32_t key : {0x111111u, 0u, 0xFFFFFFFFu, 0x80000000u, 0x11110Fu}) {
            Buffer below = start, above = start, unless = start;
            Buffer belowModel = start, aboveModel = start, unlessModel = start;
            copyBelowKey(below.data(), source.data(), key);
            copyAboveKey(above.data(), source.data(), key);
            copyUnlessKey(unless.data(), source.data(), int32_t(key));
            for (size_t i = 0; i < kPicture; ++i) {
                if (uint64_t(source[i]) < uint64_t(key)) belowModel[i] = source[i];
                if (uint64_t(source[i]) > uint64_t(key)) aboveModel[i] = source[i];
                if (source[i] != key) unlessModel[i] = source[i];
            }
            ASSERT_EQ(below, belowModel) << key;
            ASSERT_EQ(above, aboveModel) << key;
            ASSERT_EQ(unless, unlessModel) << key;
        }

        Buffer red = start, redModel = start;
        copyUnlessRedKey(red.data(), source.data());
        Buffer overlay = start, overlayModel = start;
        overlayNonZero(overlay.data(), base.data(), source.data());
        for (size_t i = 0; i < kPicture; ++i) {
            const Pixel s = source[i];
            if (!(channel(s, 16) > 17 && channel(s, 8) < 17 && channel(s, 0) < 17)) redModel[i] = s;
            overlayModel[i] = s != 0 ? s : base[i];
        }
        EXPECT_EQ(red, redModel);
        EXPECT_EQ(overlay, overlayModel);
    }
}

// The 3D scene's one pass over backdrop and overlay gives what its two passes give, also when the
// target is the base or the overlay.
TEST(Keys, OverlayAboveKeyIsACopyThenAKeyedCopy) {
    for (uint32_t key : {0x111111u, 0u, 0xFFFFFFFFu, 0x800000u}) {
        const Buffer base = randomBuffer(kPicture, 60);
        const Buffer over = randomBuffer(kPicture, 61);
        Buffer fused = randomBuffer(kPicture, 62), twoPasses = fused;
        overlayAboveKey(fused.data(), base.data(), over.data(), key);
        copyPicture(twoPasses.data(), base.data());
        copyAboveKey(twoPasses.data(), over.data(), key);
        ASSERT_EQ(fused, twoPasses) << key;

        Buffer baseAndTarget = base, baseAndTargetTwice = base;
        overlayAboveKey(baseAndTarget.data(), baseAndTarget.data(), over.data(), key);
        copyAboveKey(baseAndTargetTwice.data(), over.data(), key);
        ASSERT_EQ(baseAndTarget, baseAndTargetTwice) << key;

        Buffer overAndTarget = over;
        overlayAboveKey(overAndTarget.data(), base.data(), overAndTarget.data(), key);
        ASSERT_EQ(overAndTarget, base) << key;
    }
}

TEST(Keys, OverlayOntoItsOwnOverlayKeepsTheBase) {
    // base is stored before over is read, so an overlay that is also the target has no say.
    const Buffer base = randomBuffer(kPicture, 50);
    Buffer overAndTarget = randomBuffer(kPicture, 51);
    overlayNonZero(overAndTarget.data(), base.data(), overAndTarget.data());
    EXPECT_EQ(overAndTarget, base);
}

// ---- Inversion ----

TEST(Invert, ExamplesAndModels) {
    Buffer target(kPicture, 0x000020u);
    subtractFromGrey(target.data(), 0x10);
    EXPECT_EQ(target[0], 0x100FF0u);  // the blue borrow reaches green

    const Buffer start = randomBuffer(kPicture, 60);
    Buffer inverted = start, grey = start, grey255 = start, grey300 = start, white = start;
    invertPicture(inverted.data());
    subtractFromGrey(grey.data(), 0x40);
    subtractFromGrey(grey255.data(), 255);
    subtractFromGrey(grey300.data(), 300);
    whitenNonZero(white.data());
    for (size_t i = 0; i < kPicture; ++i) {
        ASSERT_EQ(inverted[i], modelSubtract(0xFFFFFFu, start[i])) << i;
        ASSERT_EQ(grey[i], modelSubtract(0x404040u, start[i])) << i;
        ASSERT_EQ(grey300[i], modelSubtract((300u << 16) | (300u << 8) | 300u, start[i])) << i;
        ASSERT_EQ(white[i], start[i] != 0 ? 0xFFFFFFu : 0u) << i;
    }
    EXPECT_EQ(grey255, inverted);
}

TEST(Invert, LeadingPixelsOfASmallPicture) {
    // A 200 x 100 picture in a buffer of its exact size: rows 0 to 74 invert, 75 to 99 stay.
    const Buffer start = randomBuffer(200 * 100, 70);
    Buffer picture = start;
    invertLeadingPixels(picture.data());
    for (size_t i = 0; i < picture.size(); ++i) {
        ASSERT_EQ(picture[i], i < 75 * 200 ? 0xFFFFFFu - start[i] : start[i]) << i;
    }
    Buffer exact = randomBuffer(size_t(kLeadingPixels), 71);
    const Buffer exactStart = exact;
    invertLeadingPixels(exact.data());
    EXPECT_EQ(exact.back(), 0xFFFFFFu - exactStart.back());
}

TEST(Keys, RedKeyOverlappingBuffersGoesPixelByPixel) {
    expectPixelByPixelWhenOverlapping(
        copyUnlessRedKey,
        [](Pixel source, Pixel target) {
            const bool key =
                channel(source, 16) > 17 && channel(source, 8) < 17 && channel(source, 0) < 17;
            return key ? target : source;
        },
        52);
}

// ---- Fades and blends ----

TEST(Fades, Examples) {
    Buffer target(kPicture, 0x12345678u);
    const Buffer black(kPicture, 0);
    crossFade(target.data(), black.data(), 0);
    EXPECT_EQ(target, Buffer(kPicture, 0x12345678u));  // level 0 keeps even the top bytes

    std::fill(target.begin(), target.end(), 0xC8C8C8u);
    crossFade(target.data(), black.data(), 128);
    EXPECT_EQ(target[0], 0x636363u);  // 200 * 127 / 256 = 99

    std::fill(target.begin(), target.end(), 0xFFFFFFu);
    crossFade(target.data(), black.data(), 255);
    EXPECT_EQ(target[0], 0u);

    Buffer source(kPicture, 0);
    alphaBlendLowByte(target.data(), source.data());
    EXPECT_EQ(target[0], 0u);
    std::fill(target.begin(), target.end(), 0xFFFFFFu);
    alphaBlendLowByte(target.data(), source.data());
    EXPECT_EQ(target[0], 0xFFFFFFu);
    std::fill(source.begin(), source.end(), 0x0000FFu);
    alphaBlendLowByte(target.data(), source.data());
    EXPECT_EQ(target[0], 0x0000FEu);
}

TEST(Fades, MatchModelsOnRandomPictures) {
    const Buffer start = randomBuffer(kPicture, 80);
    const Buffer other = randomBuffer(kPicture, 81);
    for (uint32_t level : {1u, 2u, 64u, 128u, 200u, 254u, 255u, 256u, 1000u, 0xFFFFFFFFu}) {
        Buffer faded = start;
        crossFade(faded.data(), other.data(), level);
        const uint32_t w = level > 255 ? 255 : level;
        for (size_t i = 0; i < kPicture; ++i) {
            ASSERT_EQ(faded[i], modelWeigh(other[i], w, start[i], 255 - w)) << level << " " << i;
        }
    }
    // The blend, with some source pixels 0 (kept target) and some with only a top byte (blended).
    Buffer source = other;
    for (size_t i = 0; i < kPicture; i += 7)
        source[i] = i % 2 == 0 ? 0 : 0xFF000000u;
    Buffer blended = start;
    alphaBlendLowByte(blended.data(), source.data());
    for (size_t i = 0; i < kPicture; ++i) {
        const uint32_t alpha = source[i] & 0xFF;
        const Pixel expected =
            source[i] == 0 ? start[i] : modelWeigh(source[i], alpha, start[i], 255 - alpha);
        ASSERT_EQ(blended[i], expected) << i;
    }
}

TEST(Fades, OverlappingBuffersGoPixelByPixel) {
    expectPixelByPixelWhenOverlapping(
        [](Pixel* target, const Pixel* other) { crossFade(target, other, 100); },
        [](Pixel other, Pixel target) { return modelWeigh(other, 100, target, 155); }, 82);
    expectPixelByPixelWhenOverlapping(
        alphaBlendLowByte,
        [](Pixel source, Pixel target) {
            const uint32_t alpha = source & 0xFF;
            return source == 0 ? target : modelWeigh(source, alpha, target, 255 - alpha);
        },
        90);
}

// ---- Fill ----

TEST(Fill, WritesExactlyCountWords) {
    std::vector<float> depth(10, 5.0f);
    fillWords(depth.data(), 0, 8);
    EXPECT_EQ(depth[7], 0.0f);
    EXPECT_EQ(depth[8], 5.0f);
    std::vector<uint32_t> words(5, 7);
    fillWords(words.data(), -1, 5);
    EXPECT_EQ(words, std::vector<uint32_t>(5, 0xFFFFFFFFu));
    fillWords(words.data(), 3, 0);
    fillWords(words.data(), 3, -4);
    EXPECT_EQ(words, std::vector<uint32_t>(5, 0xFFFFFFFFu));
}

// ---- Blur and mosaic ----

TEST(Blur, Examples) {
    Buffer b(kPicture + kBlur2x2Reach, 0);
    averageQuad(b.data(), 3, 2, 0, 0, 0, 0xFF);
    for (size_t i : {2 * 512 + 3, 2 * 512 + 4, 3 * 512 + 3, 3 * 512 + 4})
        EXPECT_EQ(b[i], 0x3Fu);
    averageQuad(b.data(), 0, 0, 0xFF010203u, 0xFF010203u, 0xFF010203u, 0xFF010203u);
    EXPECT_EQ(b[513], 0x010203u);

    std::fill(b.begin(), b.end(), 0);
    b[0] = 0xFC;
    blur2x2(b.data());
    EXPECT_EQ(b[0], 0x3Fu);  // step (0, 0)
    EXPECT_EQ(b[1], 0x1Fu);  // step (1, 0) averages 0x3F, 0, 0x3F, 0 ...
    EXPECT_EQ(b[2], 0x0Fu);  // ... and the colour trails off to the right
    // Step (511, 0) wraps round: its top-right pixel is (0, 1), which step (0, 0) set to 0x3F,
    // so it writes (0x3F + 0) / 4 = 0x0F into (0, 1) and (0, 2). Step (0, 1) then averages 0x0F
    // twice, (1, 1) = 0x1F from step (1, 0) and 0: 0x0F. Step (1, 1): (2 * 0x0F + 0x0F) / 4 = 11.
    EXPECT_EQ(b[511], 0x0Fu);
    EXPECT_EQ(b[512], 0x0Fu);
    EXPECT_EQ(b[513], 11u);

    Buffer uniform(kPicture + kBlur2x2Reach, 0x2468ACu);
    blur2x2(uniform.data());
    EXPECT_EQ(uniform, Buffer(kPicture + kBlur2x2Reach, 0x2468ACu));
}

// The buffer ends exactly at the blur's reach, so the sanitizer sees any access beyond it.
TEST(Blur, MatchesTheRunningModelBitForBit) {
    for (uint32_t seed = 0; seed < 3; ++seed) {
        Buffer b = seed == 2 ? patchyBuffer(kPicture + kBlur2x2Reach, 90)
                             : randomBuffer(kPicture + kBlur2x2Reach, 90 + seed);
        Buffer model = b;
        for (int pass = 0; pass < 2; ++pass) {  // the second pass starts from a blurred row 256
            blur2x2(b.data());
            modelBoxBlur(model, 2, 2);
            ASSERT_EQ(b, model) << "seed " << seed << " pass " << pass;
        }
    }
}

// The blur as its definition reads, square by square in scan order: fast enough to check many
// pictures, where modelBoxBlur checks a few.
void literalBlur(Buffer& b) {
    for (size_t i = 0; i < kPicture; ++i) {
        const size_t square[4] = {i, i + 1, i + 512, i + 513};
        uint32_t average = 0;
        for (int shift = 0; shift < 24; shift += 8) {
            uint32_t sum = 0;
            for (size_t at : square)
                sum += channel(b.at(at), shift);
            average |= (sum / 4) << shift;
        }
        for (size_t at : square)
            b.at(at) = average;
    }
}

// Every channel, the top byte too, at 0 or 255: the largest weighted sums the unrolled chain
// builds, and chains that stay saturated or empty for long runs.
TEST(Blur, SaturatedAndEmptyChannelsMatchTheDefinition) {
    for (uint32_t seed = 0; seed < 4; ++seed) {
        std::mt19937 rng(200 + seed);
        Buffer b(kPicture + kBlur2x2Reach);
        for (Pixel& p : b) {
            p = 0;
            for (int shift = 0; shift < 32; shift += 8)
                p |= (rng() % (seed + 2) != 0 ? 0xFFu : 0u) << shift;
        }
        if (seed == 3) std::fill(b.begin(), b.end(), 0xFFFFFFFFu);
        Buffer model = b;
        for (int pass = 0; pass < 2; ++pass) {
            blur2x2(b.data());
            literalBlur(model);
            ASSERT_EQ(b, model) << "seed " << seed << " pass " << pass;
        }
    }
}

// One white pixel on black, at every column position within a group of eight at both ends of a
// row and in the middle, and in the first, second, last rows and the row past the picture: a
// step that took the wrong h or carried the wrong A between groups, rows or the wrapping
// column 511 shows up as a differing pixel.
TEST(Blur, SinglePixelAtEveryColumnPhaseMatchesTheDefinition) {
    for (size_t y : {0, 1, 100, 254, 255, 256}) {
        for (size_t x = 0; x < 512; ++x) {
            if (x >= 18 && x < 250) continue;
            if (x >= 262 && x < 494) continue;
            Buffer b(kPicture + kBlur2x2Reach, 0);
            b.at(y * 512 + x) = 0xFFFFFFu;
            Buffer model = b;
            blur2x2(b.data());
            literalBlur(model);
            ASSERT_EQ(b, model) << "pixel (" << x << ", " << y << ")";
        }
    }
}

// The show's buffers start wherever the screen's rows do: at every offset within a 32-byte group
// the blur gives the definition's pixels and leaves the pixels before its buffer alone.
TEST(Blur, AnyBufferAlignmentMatchesTheDefinition) {
    for (size_t offset = 0; offset < 8; ++offset) {
        Buffer whole = randomBuffer(offset + kPicture + kBlur2x2Reach, 96 + offset);
        Buffer model(whole.begin() + offset, whole.end());
        const Buffer before(whole.begin(), whole.begin() + offset);
        blur2x2(whole.data() + offset);
        literalBlur(model);
        ASSERT_TRUE(std::equal(model.begin(), model.end(), whole.begin() + offset)) << offset;
        ASSERT_TRUE(std::equal(before.begin(), before.end(), whole.begin())) << offset;
    }
}

TEST(Blur, ReachEndsAtIndex131584) {
    Buffer b = randomBuffer(kPicture + kBlur2x2Reach + 64, 95);
    const Buffer start = b;
    blur2x2(b.data());
    EXPECT_NE(b[131584], start[131584]);
    EXPECT_TRUE(std::equal(b.begin() + 131585, b.end(), start.begin() + 131585));
}

TEST(BoxBlur, MatchesModelAndTwoByTwoIsTheBlur) {
    const Buffer start = randomBuffer(kPicture + kMaxEffectReach, 100);
    Buffer box = start, blur = start;
    boxBlur(box.data(), 2, 2);
    blur2x2(blur.data());
    EXPECT_EQ(box, blur);

    // Sizes 1 x 64 and 64 x 1 touch the far ends of the reach in each direction.
    for (auto [w, h] : {std::pair{1u, 1u}, {3u, 2u}, {5u, 7u}, {64u, 1u}, {1u, 64u}}) {
        Buffer fast(kPicture + (h - 1) * 512 + (w - 1));
        std::copy(start.begin(), start.begin() + fast.size(), fast.begin());
        Buffer model = fast;
        boxBlur(fast.data(), w, h);
        modelBoxBlur(model, w, h);
        ASSERT_EQ(fast, model) << w << "x" << h;
    }

    for (auto [w, h] : {std::pair{0u, 2u}, {2u, 0u}, {65u, 2u}, {2u, 65u}, {0xFFFFFFFFu, 1u}}) {
        Buffer untouched = start;
        boxBlur(untouched.data(), w, h);
        ASSERT_EQ(untouched, start) << w << "x" << h;
    }
}

TEST(Mosaic, Examples) {
    Buffer blocks(kPicture);
    for (size_t i = 0; i < kPicture; ++i)
        blocks[i] = Pixel((i / 2 % 256) * 0x10101 ^ (i / 1024));
    const Buffer even = blocks;  // 2 x 2 blocks of one colour each
    mosaic2x2(blocks.data());
    EXPECT_EQ(blocks, even);

    Buffer whole = randomBuffer(kPicture, 110);
    Buffer model = whole;
    modelMosaic(model, 512, 256);
    mosaicBlocks(whole.data(), 512, 256);
    EXPECT_EQ(whole, model);
    EXPECT_EQ(whole, Buffer(kPicture, whole[0]));

    Buffer ones = randomBuffer(kPicture, 111);
    const Buffer start = ones;
    mosaicBlocks(ones.data(), 1, 1);
    for (size_t i = 0; i < kPicture; ++i)
        ASSERT_EQ(ones[i], start[i] & 0xFFFFFFu);
}

// Pixels up to the end of the last block: the picture, or more when blocks run past it.
size_t mosaicEnd(uint32_t w, uint32_t h) {
    const size_t rows = (256 + h - 1) / h * h, columns = (512 + w - 1) / w * w;
    return std::max(kPicture, (rows - 1) * 512 + columns);
}

TEST(Mosaic, MatchesModelWithBlocksRunningPastTheEdges) {
    const Buffer start = randomBuffer(kPicture + kMaxEffectReach, 120);
    Buffer two(start.begin(), start.begin() + kPicture);
    Buffer twoModel = two;
    mosaic2x2(two.data());
    modelMosaic(twoModel, 2, 2);
    EXPECT_EQ(two, twoModel);

    // Each buffer ends where the last block does.
    for (auto [w, h] : {std::pair{3u, 5u},
                        {7u, 3u},
                        {64u, 63u},
                        {63u, 64u},
                        {100u, 100u},
                        {512u, 1u},
                        {1u, 256u},
                        {2u, 2u}}) {
        Buffer fast(start.begin(), start.begin() + mosaicEnd(w, h));
        Buffer model = fast;
        mosaicBlocks(fast.data(), w, h);
        modelMosaic(model, w, h);
        ASSERT_EQ(fast, model) << w << "x" << h;
    }
    // Refused: a zero size, more than the picture, or blocks ending too far past it.
    for (auto [w, h] : {std::pair{0u, 5u}, {5u, 0u}, {513u, 1u}, {1u, 257u}, {200u, 200u}}) {
        Buffer untouched = start;
        mosaicBlocks(untouched.data(), w, h);
        ASSERT_EQ(untouched, start) << w << "x" << h;
    }
}

TEST(Smear, MatchesModelAndIgnoresBadColumns) {
    const Buffer start = randomBuffer(kPicture, 130);
    for (int32_t column : {-1, 0, 1, 200, 511, 512, INT32_MIN, INT32_MAX}) {
        Buffer fast = start, model = start;
        smearColumns(fast.data(), column);
        if (column > 0 && column <= 511) {
            for (int y = 0; y < 256; ++y) {
                for (int x = 0; x < column; ++x)
                    model[y * 512 + x] = start[y * 512 + column] & 0xFFFFFF;
            }
        }
        ASSERT_EQ(fast, model) << column;
    }
}

}  // namespace
