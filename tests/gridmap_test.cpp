// Tests of the grid texture mapper: grid life cycle, block fill, lookups, generators.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "gridmap/gridmap.h"

namespace {

// Owns a grid for one test: releases the nodes, then deletes the record.
struct GridDeleter {
    void operator()(DeformGrid* grid) const {
        releaseDeformGrid(grid);
        delete grid;
    }
};
using GridPtr = std::unique_ptr<DeformGrid, GridDeleter>;

GridPtr makeGrid(int32_t width, int32_t height) {
    return GridPtr(createDeformGrid(width, height));
}

GridNode& at(DeformGrid* grid, int32_t i, int32_t j) {
    return grid->nodes[i * grid->columns + j];
}

// A texture whose every texel names its own position, and never 0 (0 is the clamped black).
Pixel texelName(int32_t x, int32_t y) {
    return 0x800000u | uint32_t(y) << 10 | uint32_t(x);
}

struct Texture {
    std::vector<Pixel> pixels;
    Image image;
};

Texture makeTexture(int32_t width = 512, int32_t height = 256) {
    Texture texture{std::vector<Pixel>(size_t(width) * height), {}};
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x)
            texture.pixels[size_t(y) * width + x] = texelName(x, y);
    }
    texture.image = {width, height, texture.pixels.data()};
    return texture;
}

constexpr Pixel kUntouched = 0xDEADBEEF;  // never a texel, never black

// A 512 x 256 target filled with the untouched marker.
std::vector<Pixel> makeTarget() {
    return std::vector<Pixel>(kPicturePixels, kUntouched);
}

// The texel a wrapped or clamped lookup of (tu, tv) yields, the obvious way.
Pixel wrappedTexel(const Image& texture, int64_t tu, int64_t tv) {
    const int64_t column = ((tu % 512) + 512) % 512;
    const int64_t row = ((tv % 256) + 256) % 256;
    return texture.pixels[row * texture.width + column];
}

Pixel clampedTexel(const Image& texture, int64_t tu, int64_t tv) {
    if (tu <= 0 || tu >= 512 || tv <= 0 || tv >= 256) return 0;
    return texture.pixels[tv * texture.width + tu];
}

int64_t floorDiv(int64_t n, int64_t d) {
    return n >= 0 ? n / d : -((-n + d - 1) / d);
}

// The slow reference: every pixel of every block is the bilinear interpolation of its corners at
// eighths, floored, computed in 64-bit. Exact while the coordinates stay small.
void referenceMap(std::vector<Pixel>& target, const DeformGrid& grid, const Image& texture,
                  bool clamped) {
    for (int32_t i = 0; i + 1 < grid.rows; ++i) {
        for (int32_t j = 0; j + 1 < grid.columns; ++j) {
            const GridNode& a = grid.nodes[i * grid.columns + j];
            const GridNode& b = grid.nodes[i * grid.columns + j + 1];
            const GridNode& c = grid.nodes[(i + 1) * grid.columns + j];
            const GridNode& d = grid.nodes[(i + 1) * grid.columns + j + 1];
            for (int64_t r = 0; r < 8; ++r) {
                for (int64_t col = 0; col < 8; ++col) {
                    auto interpolate = [&](int64_t pa, int64_t pb, int64_t pc, int64_t pd) {
                        const int64_t n = 64 * pa + 8 * col * (pb - pa) + 8 * r * (pc - pa) +
                                          r * col * (pd - pc - pb + pa);
                        return floorDiv(n, 64);
                    };
                    const int64_t tu = interpolate(a.u, b.u, c.u, d.u);
                    const int64_t tv = interpolate(a.v, b.v, c.v, d.v);
                    target[(8 * i + r) * 512 + 8 * j + col] =
                        clamped ? clampedTexel(texture, tu, tv) : wrappedTexel(texture, tu, tv);
                }
            }
        }
    }
}

// Maps one block at (0, 0) and returns the target.
std::vector<Pixel> mapOneBlock(bool clamped, const Image& texture, GridNode topLeft,
                               GridNode topRight, GridNode bottomLeft, GridNode bottomRight) {
    std::vector<Pixel> target = makeTarget();
    auto map = clamped ? mapBlockClamped : mapBlockWrapped;
    EXPECT_TRUE(map(target.data(), &texture, 0, 0, &topLeft, &topRight, &bottomLeft, &bottomRight));
    return target;
}

Pixel pixelAt(const std::vector<Pixel>& target, int32_t x, int32_t y) {
    return target[y * 512 + x];
}

// ---------------------------------------------------------------- grid life cycle

TEST(DeformGrid, SizesFollowTheBlocks) {
    GridPtr show = makeGrid(512, 256);
    ASSERT_NE(show, nullptr);
    EXPECT_EQ(show->rows, 33);
    EXPECT_EQ(show->columns, 65);
    GridPtr one = makeGrid(8, 8);
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(one->rows, 2);
    EXPECT_EQ(one->columns, 2);
    GridPtr single = makeGrid(7, 7);
    ASSERT_NE(single, nullptr);
    EXPECT_EQ(single->rows, 1);
    EXPECT_EQ(single->columns, 1);
    GridPtr empty = makeGrid(0, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->rows * empty->columns, 1);
}

TEST(DeformGrid, RefusesNegativeAndImpossibleSizes) {
    EXPECT_EQ(createDeformGrid(-1, 256), nullptr);
    EXPECT_EQ(createDeformGrid(512, -8), nullptr);
    EXPECT_EQ(createDeformGrid(INT32_MIN, INT32_MIN), nullptr);
    // More nodes than an int32 can count.
    EXPECT_EQ(createDeformGrid(INT32_MAX, INT32_MAX), nullptr);
}

TEST(DeformGrid, ReleaseEmptiesTheRecordAndIgnoresNull) {
    releaseDeformGrid(nullptr);
    GridPtr grid = makeGrid(512, 256);
    releaseDeformGrid(grid.get());
    EXPECT_EQ(grid->rows, 0);
    EXPECT_EQ(grid->columns, 0);
    EXPECT_EQ(grid->nodes, nullptr);
    releaseDeformGrid(grid.get());  // a second release is harmless

    // An emptied grid is left alone by the generators and draws nothing.
    gridSetPlane(grid.get(), 512, 256, 0, 0);
    gridAddCosineRipple(grid.get(), 0.5f, 3.0f);
    Texture texture = makeTexture();
    std::vector<Pixel> target = makeTarget();
    EXPECT_TRUE(mapGridWrapped(target.data(), grid.get(), &texture.image));
    EXPECT_EQ(target, makeTarget());
}

// ---------------------------------------------------------------- refusing bad input

TEST(GridMapper, TextureMustCoverTheLookup) {
    Texture fits = makeTexture(512, 256);
    Texture wide = makeTexture(600, 300);
    Texture narrow = makeTexture(511, 256);
    Texture short_ = makeTexture(512, 255);
    EXPECT_TRUE(textureFitsMapper(&fits.image));
    EXPECT_TRUE(textureFitsMapper(&wide.image));
    EXPECT_FALSE(textureFitsMapper(&narrow.image));
    EXPECT_FALSE(textureFitsMapper(&short_.image));
    EXPECT_FALSE(textureFitsMapper(nullptr));
    Image noPixels{512, 256, nullptr};
    EXPECT_FALSE(textureFitsMapper(&noPixels));

    GridPtr grid = makeGrid(512, 256);
    gridSetPlane(grid.get(), 512, 256, 0, 0);
    GridNode node{0, 0};
    const std::vector<const Image*> refused = {nullptr, &narrow.image, &short_.image, &noPixels};
    for (const Image* bad : refused) {
        std::vector<Pixel> target = makeTarget();
        EXPECT_FALSE(mapGridWrapped(target.data(), grid.get(), bad));
        EXPECT_FALSE(mapGridClamped(target.data(), grid.get(), bad));
        EXPECT_FALSE(mapBlockWrapped(target.data(), bad, 0, 0, &node, &node, &node, &node));
        EXPECT_FALSE(mapBlockClamped(target.data(), bad, 0, 0, &node, &node, &node, &node));
        EXPECT_EQ(target, makeTarget()) << "nothing is drawn with a refused texture";
    }
}

TEST(GridMapper, RefusesNullTargetsGridsAndOutOfRowBlocks) {
    Texture texture = makeTexture();
    GridPtr grid = makeGrid(512, 256);
    gridSetPlane(grid.get(), 512, 256, 0, 0);
    std::vector<Pixel> target = makeTarget();
    GridNode node{3, 3};
    EXPECT_FALSE(mapGridWrapped(nullptr, grid.get(), &texture.image));
    EXPECT_FALSE(mapGridClamped(target.data(), nullptr, &texture.image));
    EXPECT_FALSE(mapBlockWrapped(nullptr, &texture.image, 0, 0, &node, &node, &node, &node));
    EXPECT_FALSE(
        mapBlockWrapped(target.data(), &texture.image, 0, 0, &node, nullptr, &node, &node));
    // A block must lie within one 512-Pixel row and below the target's start.
    EXPECT_FALSE(
        mapBlockWrapped(target.data(), &texture.image, 505, 0, &node, &node, &node, &node));
    EXPECT_FALSE(mapBlockClamped(target.data(), &texture.image, -1, 0, &node, &node, &node, &node));
    EXPECT_FALSE(mapBlockClamped(target.data(), &texture.image, 0, -8, &node, &node, &node, &node));
    EXPECT_EQ(target, makeTarget());
    EXPECT_TRUE(
        mapBlockWrapped(target.data(), &texture.image, 504, 248, &node, &node, &node, &node));
    EXPECT_EQ(pixelAt(target, 511, 255), texelName(3, 3));
    EXPECT_EQ(pixelAt(target, 503, 255), kUntouched);

    // A grid wider than 65 nodes would run past the 512-Pixel rows of the target.
    GridPtr wide = makeGrid(1024, 256);
    gridSetPlane(wide.get(), 1024, 256, 0, 0);
    std::vector<Pixel> untouched = makeTarget();
    EXPECT_FALSE(mapGridWrapped(untouched.data(), wide.get(), &texture.image));
    EXPECT_FALSE(mapGridClamped(untouched.data(), wide.get(), &texture.image));
    EXPECT_EQ(untouched, makeTarget());
}

TEST(GridMapper, SingleNodeGridDrawsNothing) {
    Texture texture = makeTexture();
    GridPtr grid = makeGrid(7, 7);
    gridSetPlane(grid.get(), 0, 0, 5, 5);
    std::vector<Pixel> target = makeTarget();
    EXPECT_TRUE(mapGridWrapped(target.data(), grid.get(), &texture.image));
    EXPECT_TRUE(mapGridClamped(target.data(), grid.get(), &texture.image));
    EXPECT_EQ(target, makeTarget());
}

// ---------------------------------------------------------------- mapping

TEST(GridMapper, IdentityPlaneMapsOneToOne) {
    Texture texture = makeTexture();
    GridPtr grid = makeGrid(512, 256);
    gridSetPlane(grid.get(), 512, 256, 0, 0);
    for (int32_t i = 0; i < grid->rows; ++i) {
        for (int32_t j = 0; j < grid->columns; ++j) {
            ASSERT_EQ(at(grid.get(), i, j).u, 8 * j);
            ASSERT_EQ(at(grid.get(), i, j).v, 8 * i);
        }
    }
    std::vector<Pixel> wrapped = makeTarget();
    std::vector<Pixel> clamped = makeTarget();
    ASSERT_TRUE(mapGridWrapped(wrapped.data(), grid.get(), &texture.image));
    ASSERT_TRUE(mapGridClamped(clamped.data(), grid.get(), &texture.image));
    for (int32_t y = 0; y < 256; ++y) {
        for (int32_t x = 0; x < 512; ++x) {
            ASSERT_EQ(pixelAt(wrapped, x, y), texelName(x, y)) << x << "," << y;
            const Pixel expected = (x == 0 || y == 0) ? 0 : texelName(x, y);
            ASSERT_EQ(pixelAt(clamped, x, y), expected) << x << "," << y;
        }
    }
}

TEST(GridMapper, WideTextureUsesItsWidthAsPitch) {
    Texture texture = makeTexture(700, 300);
    GridPtr grid = makeGrid(512, 256);
    gridSetPlane(grid.get(), 512, 256, 0, 0);
    std::vector<Pixel> target = makeTarget();
    ASSERT_TRUE(mapGridClamped(target.data(), grid.get(), &texture.image));
    EXPECT_EQ(pixelAt(target, 37, 201), texelName(37, 201));
    EXPECT_EQ(pixelAt(target, 511, 255), texelName(511, 255));
}

TEST(GridMapper, BlockInterpolatesAtEighths) {
    Texture texture = makeTexture();
    for (bool clamped : {false, true}) {
        // Four equal corners: one texel everywhere.
        std::vector<Pixel> flat =
            mapOneBlock(clamped, texture.image, {9, 4}, {9, 4}, {9, 4}, {9, 4});
        for (int32_t y = 0; y < 8; ++y) {
            for (int32_t x = 0; x < 8; ++x)
                EXPECT_EQ(pixelAt(flat, x, y), texelName(9, 4));
        }
        // Only the block is written.
        EXPECT_EQ(pixelAt(flat, 8, 0), kUntouched);
        EXPECT_EQ(pixelAt(flat, 0, 8), kUntouched);

        // A one-to-one block offset by (8, 8): pixel (c, r) samples texel (c + 8, r + 8).
        std::vector<Pixel> unit =
            mapOneBlock(clamped, texture.image, {8, 8}, {16, 8}, {8, 16}, {16, 16});
        for (int32_t r = 0; r < 8; ++r) {
            for (int32_t c = 0; c < 8; ++c)
                EXPECT_EQ(pixelAt(unit, c, r), texelName(c + 8, r + 8));
        }

        // A twisted block: the far corners stop 7/8 of the way there.
        std::vector<Pixel> twisted =
            mapOneBlock(clamped, texture.image, {0, 0}, {3, 1}, {-2, 5}, {7, -4});
        EXPECT_EQ(pixelAt(twisted, 7, 0), clamped ? 0 : texelName(2, 0));    // row 0 is outside
        EXPECT_EQ(pixelAt(twisted, 0, 7), clamped ? 0 : texelName(510, 4));  // (-2, 4)
        EXPECT_EQ(pixelAt(twisted, 7, 7), clamped ? 0 : texelName(5, 253));  // (5, -3)
    }
    // The corners (0, 0), (8, 0), (0, 8), (8, 8) sample (c, r), wrapped.
    std::vector<Pixel> unit = mapOneBlock(false, texture.image, {0, 0}, {8, 0}, {0, 8}, {8, 8});
    EXPECT_EQ(pixelAt(unit, 5, 3), texelName(5, 3));
    EXPECT_EQ(pixelAt(unit, 0, 0), texelName(0, 0));
}

TEST(GridMapper, WrappedLookupRepeatsEveryTextureSpan) {
    Texture texture = makeTexture();
    auto flat = [&](int32_t u, int32_t v) {
        return pixelAt(mapOneBlock(false, texture.image, {u, v}, {u, v}, {u, v}, {u, v}), 3, 3);
    };
    EXPECT_EQ(flat(-1, 7), texelName(511, 7));
    EXPECT_EQ(flat(512, 7), texelName(0, 7));
    EXPECT_EQ(flat(7, 256), texelName(7, 0));
    EXPECT_EQ(flat(7, -1), texelName(7, 255));
    EXPECT_EQ(flat(-513, -257), texelName(511, 255));
}

TEST(GridMapper, ClampedLookupBlacksOutRowZeroColumnZeroAndBeyond) {
    Texture texture = makeTexture();
    auto flat = [&](int32_t u, int32_t v) {
        return pixelAt(mapOneBlock(true, texture.image, {u, v}, {u, v}, {u, v}, {u, v}), 3, 3);
    };
    EXPECT_EQ(flat(511, 255), texelName(511, 255));
    EXPECT_EQ(flat(1, 1), texelName(1, 1));
    EXPECT_EQ(flat(512, 7), 0u);
    EXPECT_EQ(flat(7, 256), 0u);
    EXPECT_EQ(flat(0, 7), 0u);
    EXPECT_EQ(flat(7, 0), 0u);
    EXPECT_EQ(flat(-1, 7), 0u);
    EXPECT_EQ(flat(7, -300), 0u);
}

TEST(GridMapper, HalfTexelBelowZeroFloorsToMinusOne) {
    Texture texture = makeTexture();
    // From u = 0 to u = -1 across the block: column 4 lies at -0.5 texel (-32768 in 16.16).
    std::vector<Pixel> target = mapOneBlock(false, texture.image, {0, 9}, {-1, 9}, {0, 9}, {-1, 9});
    EXPECT_EQ(pixelAt(target, 0, 0), texelName(0, 9));
    EXPECT_EQ(pixelAt(target, 4, 0), texelName(511, 9));
    std::vector<Pixel> clamped = mapOneBlock(true, texture.image, {1, 9}, {0, 9}, {1, 9}, {0, 9});
    // From u = 1 down to 0: 0.875 texel already floors to column 0, which is outside.
    EXPECT_EQ(pixelAt(clamped, 0, 0), texelName(1, 9));
    EXPECT_EQ(pixelAt(clamped, 1, 0), 0u);
}

TEST(GridMapper, MatchesSlowReferenceOnRandomGrids) {
    Texture texture = makeTexture(530, 260);
    std::mt19937 random(20240607);
    std::uniform_int_distribution<int32_t> coordinate(-1500, 1500);
    std::uniform_int_distribution<int32_t> jitter(-40, 40);
    for (int round = 0; round < 24; ++round) {
        // Whole show-sized grids and smaller ones, whose untouched area is checked too.
        const bool whole = round % 3 == 0;
        const int32_t width =
            whole ? 512 : 8 * std::uniform_int_distribution<int32_t>(1, 64)(random);
        const int32_t height =
            whole ? 256 : 8 * std::uniform_int_distribution<int32_t>(1, 32)(random);
        GridPtr grid = makeGrid(width, height);
        // A rough plane plus noise: neighbours differ a little or, sometimes, a lot.
        const int32_t baseU = coordinate(random), baseV = coordinate(random);
        const bool wild = round % 4 == 1;
        for (int32_t i = 0; i < grid->rows; ++i) {
            for (int32_t j = 0; j < grid->columns; ++j) {
                at(grid.get(), i, j) =
                    wild ? GridNode{coordinate(random), coordinate(random)}
                         : GridNode{baseU + 8 * j + jitter(random), baseV + 8 * i + jitter(random)};
            }
        }
        for (bool clamped : {false, true}) {
            std::vector<Pixel> fast = makeTarget();
            std::vector<Pixel> slow = makeTarget();
            ASSERT_TRUE((clamped ? mapGridClamped : mapGridWrapped)(fast.data(), grid.get(),
                                                                    &texture.image));
            referenceMap(slow, *grid, texture.image, clamped);
            ASSERT_EQ(fast, slow) << "round " << round << (clamped ? " clamped" : " wrapped");
        }
    }
}

TEST(GridMapper, HugeCoordinatesWrapWithoutTrouble) {
    // Corner differences whose 16.16 forms overflow: the arithmetic wraps like 32-bit registers.
    // Both sides of the block are 2^15 + 8 texels apart, which wraps to -2^15 + 8 in 16.16 steps:
    // the sampled column moves by -4095 a pixel instead of 4097, and -4095 = 1 - 8 * 512.
    Texture texture = makeTexture();
    const int32_t far = 32768 + 8;
    std::vector<Pixel> target =
        mapOneBlock(false, texture.image, {0, 3}, {far, 3}, {0, 3}, {far, 3});
    for (int32_t c = 0; c < 8; ++c)
        EXPECT_EQ(pixelAt(target, c, 0), texelName(c, 3));
    // Extremes everywhere must merely draw something, never misbehave.
    std::vector<Pixel> extreme =
        mapOneBlock(true, texture.image, {INT32_MAX, INT32_MIN}, {INT32_MIN, INT32_MAX},
                    {INT32_MAX, 0}, {0, INT32_MIN});
    EXPECT_NE(pixelAt(extreme, 7, 7), kUntouched);
}

TEST(GridMapper, WholeGridsMatchTheirBlocksAtAnyCoordinates) {
    // The grid mappers take shortcuts by node size: small nodes let a block's rows advance by
    // a constant step, larger ones need each row's own step, and beyond 2^15 texels the 16.16
    // arithmetic wraps. Every size must give what mapping the grid block by block gives.
    Texture texture = makeTexture(512, 256);
    Texture wide = makeTexture(600, 256);  // a pitch that is no power of two
    std::mt19937 random(20261207);
    const int32_t reaches[] = {1 << 13, (1 << 14) - 1, 1 << 14, 1 << 15, 1 << 16, INT32_MAX};
    for (int round = 0; round < 24; ++round) {
        const int32_t reach = reaches[round % 6];
        std::uniform_int_distribution<int32_t> coordinate(-reach, reach);
        std::uniform_int_distribution<int32_t> jitter(-40, 40);
        GridPtr grid = makeGrid(512, 256);
        // Mostly near-plane grids sitting right at the reach, some wholly random.
        const int32_t baseU = reach - 600, baseV = -reach + 300;
        const bool wild = round % 4 == 3;
        for (int32_t i = 0; i < grid->rows; ++i) {
            for (int32_t j = 0; j < grid->columns; ++j) {
                at(grid.get(), i, j) =
                    wild ? GridNode{coordinate(random), coordinate(random)}
                         : GridNode{baseU + 8 * j + jitter(random), baseV + 8 * i + jitter(random)};
            }
        }
        for (const Image* image : {&texture.image, &wide.image}) {
            for (bool clamped : {false, true}) {
                std::vector<Pixel> whole = makeTarget();
                std::vector<Pixel> blocks = makeTarget();
                ASSERT_TRUE(
                    (clamped ? mapGridClamped : mapGridWrapped)(whole.data(), grid.get(), image));
                for (int32_t i = 0; i + 1 < grid->rows; ++i) {
                    for (int32_t j = 0; j + 1 < grid->columns; ++j) {
                        ASSERT_TRUE((clamped ? mapBlockClamped : mapBlockWrapped)(
                            blocks.data(), image, 8 * j, 8 * i, &at(grid.get(), i, j),
                            &at(grid.get(), i, j + 1), &at(grid.get(), i + 1, j),
                            &at(grid.get(), i + 1, j + 1)));
                    }
                }
                ASSERT_EQ(whole, blocks)
                    << "round " << round << ", reach " << reach
                    << (clamped ? " clamped" : " wrapped") << ", width " << image->width;
            }
        }
    }
}

TEST(GridMapper, ClampedGridsOnTheTextureMatchTheirBlocks) {
    // Blocks wholly inside columns 1..511 and rows 1..255 may skip the clamping: nodes around
    // the texture's edges (0 and 1, 511 and 512, 255 and 256), with blocks folded over and
    // squeezed flat there, must still black out exactly what the block mapper does.
    Texture texture = makeTexture(512, 256);
    std::mt19937 random(20261208);
    std::uniform_int_distribution<int32_t> jitter(-9, 9);
    for (int round = 0; round < 16; ++round) {
        GridPtr grid = makeGrid(512, 256);
        for (int32_t i = 0; i < grid->rows; ++i) {
            for (int32_t j = 0; j < grid->columns; ++j)
                at(grid.get(), i, j) = GridNode{8 * j + jitter(random), 8 * i + jitter(random)};
        }
        std::vector<Pixel> whole = makeTarget();
        std::vector<Pixel> blocks = makeTarget();
        ASSERT_TRUE(mapGridClamped(whole.data(), grid.get(), &texture.image));
        for (int32_t i = 0; i + 1 < grid->rows; ++i) {
            for (int32_t j = 0; j + 1 < grid->columns; ++j) {
                ASSERT_TRUE(mapBlockClamped(blocks.data(), &texture.image, 8 * j, 8 * i,
                                            &at(grid.get(), i, j), &at(grid.get(), i, j + 1),
                                            &at(grid.get(), i + 1, j),
                                            &at(grid.get(), i + 1, j + 1)));
            }
        }
        ASSERT_EQ(whole, blocks) << "round " << round;
    }
}

// ---------------------------------------------------------------- generators

struct NodeCheck {
    int32_t i, j, u, v;
};

// Expected nodes and whole-grid sums for a generator run on a 65 x 33 grid of zeros.
void expectNodes(const DeformGrid* grid, std::initializer_list<NodeCheck> checks, int64_t sumU,
                 int64_t sumV) {
    for (const NodeCheck& c : checks) {
        const GridNode& node = grid->nodes[c.i * grid->columns + c.j];
        EXPECT_EQ(node.u, c.u) << "node (" << c.i << ", " << c.j << ")";
        EXPECT_EQ(node.v, c.v) << "node (" << c.i << ", " << c.j << ")";
    }
    int64_t totalU = 0, totalV = 0;
    for (int32_t n = 0; n < grid->rows * grid->columns; ++n) {
        totalU += grid->nodes[n].u;
        totalV += grid->nodes[n].v;
    }
    EXPECT_EQ(totalU, sumU);
    EXPECT_EQ(totalV, sumV);
}

GridPtr zeroGrid() {
    GridPtr grid = makeGrid(512, 256);
    gridSetPlane(grid.get(), 0, 0, 0, 0);
    return grid;
}

TEST(GridGenerators, PlaneStepsAreSummedInSinglePrecision) {
    GridPtr grid = makeGrid(512, 256);
    gridSetPlane(grid.get(), 437, 256, 10, 0);  // step 6.828125
    expectNodes(grid.get(), {{0, 0, 10, 0}, {0, 3, 30, 0}, {5, 40, 283, 40}, {32, 64, 447, 256}},
                489093, 274560);
    // The first scene's zoomed, scrolled plane at t = 7.3, s0 = 0.05.
    gridSetPlane(grid.get(), 504, 249, 219, 0);
    expectNodes(grid.get(), {{0, 3, 242, 0}, {16, 33, 478, 124}, {32, 63, 715, 249}}, 1009371,
                266045);
    gridSetPlane(grid.get(), -300, 1000, -7, 5);
    expectNodes(grid.get(), {{0, 3, -21, 5}, {12, 31, -152, 380}, {32, 64, -307, 1005}}, -335775,
                1082445);

    // One node across or down: the step is never taken.
    GridPtr column = makeGrid(7, 64);
    gridSetPlane(column.get(), 999, 64, 4, 0);
    EXPECT_EQ(at(column.get(), 8, 0).u, 4);
    EXPECT_EQ(at(column.get(), 8, 0).v, 64);
}

TEST(GridGenerators, AxisAndCrossWavesSwapTheirAxes) {
    GridPtr axis = zeroGrid();
    gridAddAxisWaves(axis.get(), 0.3f, 0.2f, 0.0f, 0.0f, 40.0f);
    // u by column: 40 sin 1.5 = 39.899 and 40 sin 3 = 5.6; v by row: 40 sin 1 = 33.66.
    for (int32_t i : {0, 5, 32}) {
        EXPECT_EQ(at(axis.get(), i, 0).u, 0);
        EXPECT_EQ(at(axis.get(), i, 5).u, 39);
        EXPECT_EQ(at(axis.get(), i, 10).u, 5);
    }
    for (int32_t j : {0, 5, 64})
        EXPECT_EQ(at(axis.get(), 5, j).v, 33);

    // With equal phases the cross waves are the axis waves with u and v exchanged.
    GridPtr cross = zeroGrid();
    gridAddCrossWaves(cross.get(), 0.3f, 0.2f, 0.0f, 0.0f, 40.0f);
    for (int32_t n = 0; n < 65 * 33; ++n) {
        ASSERT_EQ(cross->nodes[n].u, axis->nodes[n].v);
        ASSERT_EQ(cross->nodes[n].v, axis->nodes[n].u);
    }

    // phaseU belongs to u and phaseV to v in both: 40 sin 1.5 = 39, 40 sin(-0.5) = -19.18.
    for (auto add : {gridAddAxisWaves, gridAddCrossWaves}) {
        GridPtr grid = zeroGrid();
        add(grid.get(), 0.0f, 0.0f, 1.5f, -0.5f, 40.0f);
        EXPECT_EQ(at(grid.get(), 17, 23).u, 39);
        EXPECT_EQ(at(grid.get(), 17, 23).v, -19);
    }
}

// Grids wider than the column tables of the fast loops: a plain node-by-node pass as reference.
TEST(GridGenerators, WideGridsMatchAPlainPass) {
    GridPtr grid = makeGrid(8 * 300, 40);  // 301 columns, 6 rows
    const int32_t rows = grid->rows, columns = grid->columns;
    std::vector<GridNode> expected(size_t(rows) * columns);
    auto expectGrid = [&](const char* what) {
        for (size_t n = 0; n < expected.size(); ++n) {
            ASSERT_EQ(grid->nodes[n].u, expected[n].u) << what << " node " << n;
            ASSERT_EQ(grid->nodes[n].v, expected[n].v) << what << " node " << n;
        }
    };
    auto trunc = [](double value) { return int32_t(value); };

    gridSetPlane(grid.get(), 2999, -77, -40, 9);
    const float stepU = float(2999.0 / (columns - 1)), stepV = float(-77.0 / (rows - 1));
    float accV = 0.0f;
    for (int32_t i = 0; i < rows; ++i) {
        float accU = 0.0f;
        for (int32_t j = 0; j < columns; ++j) {
            expected[i * columns + j] = {trunc(-40.0 + accU), trunc(9.0 + accV)};
            accU = float(double(accU) + stepU);
        }
        accV = float(double(accV) + stepV);
    }
    expectGrid("plane");

    gridAddAxisWaves(grid.get(), 0.3f, 0.2f, 1.0f, 2.0f, 30.0f);
    gridAddCrossWaves(grid.get(), 0.1f, 0.7f, 0.5f, 1.5f, 20.0f);
    for (int32_t i = 0; i < rows; ++i) {
        for (int32_t j = 0; j < columns; ++j) {
            GridNode& node = expected[i * columns + j];
            node.u += trunc(30.0 * std::sin(j * double(0.3f) + 1.0));
            node.v += trunc(30.0 * std::sin(i * double(0.2f) + 2.0));
            node.u += trunc(20.0 * std::sin(i * double(0.7f) + 0.5));
            node.v += trunc(20.0 * std::sin(j * double(0.1f) + 1.5));
        }
    }
    expectGrid("waves");

    gridAddGrowingSine(grid.get(), 1.5f);
    float rowFactor = 0.0f;
    for (int32_t i = 0; i < rows; ++i) {
        float angle = 0.0f;
        for (int32_t j = 0; j < columns; ++j) {
            const float sine = float(80.0 * std::sin(angle));
            expected[i * columns + j].u += trunc(sine);
            expected[i * columns + j].v += trunc(double(sine) * rowFactor);
            angle = float(double(angle) + double(0.0490625f));
        }
        rowFactor = float(rowFactor + 1.5 * std::sin(double(0.098125f)));
    }
    expectGrid("growing sine");
}

TEST(GridGenerators, CosineRippleAboutTheIntegerCentre) {
    GridPtr grid = zeroGrid();
    gridAddCosineRipple(grid.get(), 0.5f, 3.0f);
    // Row 16 through the centre: 8.51 truncates to 8 and -8.51 to -8, not -9.
    expectNodes(grid.get(),
                {{16, 42, 8, 0},
                 {16, 22, -8, 0},
                 {16, 35, 0, 0},
                 {16, 37, -12, 0},
                 {16, 32, 0, 0},
                 {0, 0, -54, -27},
                 {5, 40, 20, -28},
                 {20, 10, -12, 2}},
                0, 0);
    for (int32_t j = 0; j < 65; ++j)
        EXPECT_EQ(at(grid.get(), 16, j).v, 0);

    GridPtr wide = zeroGrid();
    gridAddCosineRipple(wide.get(), 0.03f, 10.0f);  // corner: k = 4.7721577
    expectNodes(wide.get(), {{0, 0, -152, -76}, {32, 64, 152, 76}, {12, 33, 9, -39}}, 0, 0);
}

// The ripples work out each distinct distance's factor once; every node must still get the factor
// of its own distance, on the show's grid, on grids too wide for the table of known distances,
// and with grid sizes whose centre is off the middle.
TEST(GridGenerators, RipplesMatchANodeByNodePass) {
    std::mt19937 random(17);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const int32_t sizes[][2] = {{512, 256}, {8 * 300, 8 * 100}, {40, 8 * 70}, {8, 8}, {24, 0}};
    for (const auto& size : sizes) {
        for (int trial = 0; trial < 4; ++trial) {
            const float frequency = trial == 0 ? 0.5f : unit(random) * 2.0f;
            const float phase = unit(random) * 7.0f;
            const float amplitude = trial == 0 ? 3.0f : (unit(random) - 0.5f) * 40.0f;
            GridPtr cosine = makeGrid(size[0], size[1]);
            GridPtr raised = makeGrid(size[0], size[1]);
            gridSetPlane(cosine.get(), 0, 0, 0, 0);
            gridSetPlane(raised.get(), 0, 0, 0, 0);
            gridAddCosineRipple(cosine.get(), frequency, amplitude);
            gridAddRaisedRipple(raised.get(), frequency, phase, amplitude);
            for (int32_t i = 0; i < cosine->rows; ++i) {
                for (int32_t j = 0; j < cosine->columns; ++j) {
                    const int32_t dx = j - cosine->columns / 2, dy = i - cosine->rows / 2;
                    const double r = std::sqrt(double(int64_t{dx} * dx + int64_t{dy} * dy));
                    const float k = float(amplitude * std::cos(r * frequency));
                    const float ring = float(amplitude * (std::cos(r * frequency - phase) + 1.0));
                    ASSERT_EQ(at(cosine.get(), i, j).u, int32_t(dx * double(k))) << i << "," << j;
                    ASSERT_EQ(at(cosine.get(), i, j).v, int32_t(dy * double(k))) << i << "," << j;
                    ASSERT_EQ(at(raised.get(), i, j).u, int32_t(dx * double(ring)));
                    ASSERT_EQ(at(raised.get(), i, j).v, int32_t(dy * double(ring)));
                }
            }
        }
    }
}

TEST(GridGenerators, ARippleMadeOnceAndAddedEqualsTheGenerator) {
    // A radial ripple does not depend on the nodes it moves: made once on zeros and added to
    // each plane, it must give the generator's grid, also where the sums wrap.
    GridPtr ripple = zeroGrid();
    gridAddCosineRipple(ripple.get(), 0.5f, 3);
    const int32_t offsets[][2] = {{0, 0}, {1359, 453}, {-700, 90}, {INT32_MAX, INT32_MIN + 1}};
    for (const auto& offset : offsets) {
        GridPtr direct = makeGrid(512, 256);
        GridPtr added = makeGrid(512, 256);
        gridSetPlane(direct.get(), 512, 256, offset[0], offset[1]);
        gridAddCosineRipple(direct.get(), 0.5f, 3);
        gridSetPlane(added.get(), 512, 256, offset[0], offset[1]);
        ASSERT_TRUE(gridAddNodes(added.get(), ripple.get()));
        for (int32_t n = 0; n < direct->rows * direct->columns; ++n) {
            ASSERT_EQ(added->nodes[n].u, direct->nodes[n].u) << n;
            ASSERT_EQ(added->nodes[n].v, direct->nodes[n].v) << n;
        }
    }
    // Grids that do not match are refused and left alone.
    GridPtr smaller = makeGrid(256, 256);
    gridSetPlane(smaller.get(), 0, 0, 5, 5);
    EXPECT_FALSE(gridAddNodes(smaller.get(), ripple.get()));
    EXPECT_EQ(smaller->nodes[0].u, 5);
    EXPECT_FALSE(gridAddNodes(nullptr, ripple.get()));
    EXPECT_FALSE(gridAddNodes(smaller.get(), nullptr));
    GridPtr empty = makeGrid(512, 256);
    releaseDeformGrid(empty.get());
    EXPECT_FALSE(gridAddNodes(empty.get(), ripple.get()));
    EXPECT_FALSE(gridAddNodes(ripple.get(), empty.get()));
}

TEST(GridGenerators, RaisedRippleAndDirectionalShift) {
    GridPtr raised = zeroGrid();
    gridAddRaisedRipple(raised.get(), 0.4f, 1.3f, 2.5f);
    expectNodes(raised.get(),
                {{16, 32, 0, 0}, {0, 0, -152, -76}, {5, 40, 9, -12}, {20, 10, -66, 12}}, 0, 0);

    GridPtr shifted = zeroGrid();
    gridAddDirectionalShift(shifted.get(), 0.7f, 1.5f);
    expectNodes(shifted.get(),
                {{16, 32, 0, 0}, {0, 0, 34, 41}, {5, 40, 13, 15}, {16, 33, 0, 1}, {12, 31, 3, 4}},
                39038, 46542);
}

TEST(GridGenerators, RadialSineAndZoomAboutTheHalfCentre) {
    GridPtr sine = zeroGrid();
    gridAddRadialSine(sine.get(), 2.5f);
    expectNodes(sine.get(),
                {{0, 0, 77, 39}, {5, 40, 17, -26}, {12, 33, -1, 11}, {32, 64, -41, -20}}, -1019,
                435);

    GridPtr zoom = zeroGrid();
    gridAddRadialZoom(zoom.get(), 0.07f);
    expectNodes(zoom.get(), {{0, 0, -82, -42}, {20, 10, -35, 5}, {32, 64, 77, 38}}, -2524, -1794);
}

TEST(GridGenerators, TangentWarpAndGrowingSine) {
    GridPtr warp = zeroGrid();
    gridAddTangentWarp(warp.get());
    expectNodes(warp.get(),
                {{0, 0, 0, 0},
                 {5, 40, -205, 180},
                 {16, 33, -85, -341},
                 {12, 33, -20, 0},
                 {12, 31, -20, 0},
                 {12, 32, 0, 0}},
                -482392, 2784626);

    GridPtr growing = zeroGrid();
    gridAddGrowingSine(growing.get(), 0.75f);
    expectNodes(growing.get(),
                {{0, 0, 0, 0}, {5, 40, 73, 27}, {16, 33, 79, 93}, {20, 10, 37, 55}, {32, 64, 0, 0}},
                106425, 125488);
    for (int32_t j = 0; j < 65; ++j)
        EXPECT_EQ(at(growing.get(), 0, j).v, 0) << "row 0 keeps v";
}

TEST(GridGenerators, DecayingWavesPinTheirFirstAndLastRows) {
    GridPtr grid = zeroGrid();
    gridAddDecayingWaves(grid.get(), 0.3f, 0.2f, 7.3f, 7.3f, 4.0f, 100);
    expectNodes(grid.get(),
                {{11, 40, 0, 0},
                 {12, 33, -1, 96},
                 {13, 0, -2, 4},
                 {13, 7, -2, 2},
                 {31, 50, 11, 4},
                 {32, 64, 13, 256}},
                -1625, 24855);
    for (int32_t j = 0; j < 65; ++j) {
        EXPECT_EQ(at(grid.get(), 12, j).v, 96);
        EXPECT_EQ(at(grid.get(), 32, j).v, 256);
        for (int32_t i = 0; i < 12; ++i) {
            ASSERT_EQ(at(grid.get(), i, j).u, 0);
            ASSERT_EQ(at(grid.get(), i, j).v, 0);
        }
    }

    // Starting on the last row: the start-row pin wins over the bottom pin.
    GridPtr last = zeroGrid();
    gridAddDecayingWaves(last.get(), 0.3f, 0.2f, 0.0f, 0.0f, 4.0f, 32 * 8 + 5);
    EXPECT_EQ(at(last.get(), 32, 10).v, 256);
    GridPtr lastOfShort = makeGrid(512, 200);  // 26 rows
    gridSetPlane(lastOfShort.get(), 0, 0, 0, 0);
    gridAddDecayingWaves(lastOfShort.get(), 0.3f, 0.2f, 0.0f, 0.0f, 4.0f, 25 * 8);
    EXPECT_EQ(at(lastOfShort.get(), 25, 10).v, 200);
}

TEST(GridGenerators, DecayingWavesOutsideTheGridTouchNothing) {
    GridPtr plane = makeGrid(512, 256);
    gridSetPlane(plane.get(), 512, 256, 0, 0);
    GridPtr grid = makeGrid(512, 256);
    for (int32_t startY : {-1, -8, -100, INT32_MIN, 33 * 8, INT32_MAX}) {
        gridSetPlane(grid.get(), 512, 256, 0, 0);
        gridAddDecayingWaves(grid.get(), 0.3f, 0.2f, 1.0f, 1.0f, 50.0f, startY);
        for (int32_t n = 0; n < 65 * 33; ++n) {
            ASSERT_EQ(grid->nodes[n].u, plane->nodes[n].u) << "startY " << startY;
            ASSERT_EQ(grid->nodes[n].v, plane->nodes[n].v) << "startY " << startY;
        }
    }
}

TEST(GridGenerators, EveryAdditiveGeneratorAddsTwiceWhenAppliedTwice) {
    const std::vector<void (*)(DeformGrid*)> generators = {
        [](DeformGrid* g) { gridAddAxisWaves(g, 0.3f, 0.2f, 7.3f, 7.3f, 54.0f); },
        [](DeformGrid* g) { gridAddCrossWaves(g, 0.25f, 0.3f, 7.3f, 7.3f, 64.0f); },
        [](DeformGrid* g) { gridAddRadialSine(g, 2.5f); },
        [](DeformGrid* g) { gridAddRadialZoom(g, 0.07f); },
        [](DeformGrid* g) { gridAddTangentWarp(g); },
        [](DeformGrid* g) { gridAddGrowingSine(g, 0.75f); },
        [](DeformGrid* g) { gridAddCosineRipple(g, 0.5f, 3.0f); },
        [](DeformGrid* g) { gridAddRaisedRipple(g, 0.4f, 1.3f, 2.5f); },
        [](DeformGrid* g) { gridAddDirectionalShift(g, 0.7f, 1.5f); },
        [](DeformGrid* g) { gridAddDecayingWaves(g, 0.3f, 0.2f, 7.3f, 7.3f, 4.0f, 100); },
    };
    for (size_t n = 0; n < generators.size(); ++n) {
        GridPtr once = makeGrid(512, 256);
        GridPtr twice = makeGrid(512, 256);
        gridSetPlane(once.get(), 504, 249, 219, 0);
        gridSetPlane(twice.get(), 504, 249, 219, 0);
        generators[n](once.get());
        generators[n](twice.get());
        generators[n](twice.get());
        for (int32_t i = 0; i < 33; ++i) {
            for (int32_t j = 0; j < 65; ++j) {
                const GridNode plane{int32_t(219 + j * 7.875), int32_t(i * 7.78125)};
                const GridNode& a = at(once.get(), i, j);
                const GridNode& b = at(twice.get(), i, j);
                ASSERT_EQ(b.u - plane.u, 2 * (a.u - plane.u)) << "generator " << n;
                // The decaying waves pin v in their first and last rows instead of adding to it.
                const bool pinned = n == generators.size() - 1 && (i == 12 || i == 32);
                if (pinned) {
                    ASSERT_EQ(b.v, a.v);
                } else {
                    ASSERT_EQ(b.v - plane.v, 2 * (a.v - plane.v)) << "generator " << n;
                }
            }
        }
    }
}

TEST(GridGenerators, OutOfRangeDisplacementsSaturateAndNaNAddsNothing) {
    GridPtr grid = zeroGrid();
    gridAddAxisWaves(grid.get(), 0.0f, 0.0f, 1.0f, -1.0f, 1e30f);
    EXPECT_EQ(at(grid.get(), 3, 3).u, INT32_MAX);
    EXPECT_EQ(at(grid.get(), 3, 3).v, INT32_MIN);
    // Adding to a saturated node wraps around, as 32-bit coordinates do.
    gridAddAxisWaves(grid.get(), 0.0f, 0.0f, 1.0f, 1.0f, 1.0f);  // sin 1 = 0.84: adds 0
    gridAddAxisWaves(grid.get(), 0.0f, 0.0f, 1.5f, 1.5f, 2.0f);  // 2 sin 1.5 = 1.99: adds 1
    EXPECT_EQ(at(grid.get(), 3, 3).u, INT32_MIN);
    EXPECT_EQ(at(grid.get(), 3, 3).v, INT32_MIN + 1);

    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    GridPtr plane = makeGrid(512, 256);
    gridSetPlane(plane.get(), 512, 256, 0, 0);
    GridPtr broken = makeGrid(512, 256);
    gridSetPlane(broken.get(), 512, 256, 0, 0);
    gridAddCrossWaves(broken.get(), nan, nan, nan, nan, nan);
    gridAddCosineRipple(broken.get(), nan, 3.0f);
    gridAddRadialSine(broken.get(), nan);
    gridAddDirectionalShift(broken.get(), inf, 1.0f);  // sin and cos of infinity are NaN
    for (int32_t n = 0; n < 65 * 33; ++n) {
        ASSERT_EQ(broken->nodes[n].u, plane->nodes[n].u);
        ASSERT_EQ(broken->nodes[n].v, plane->nodes[n].v);
    }

    // Wide grids reach beyond the tangent's pole at column 96: huge pushes, all defined.
    GridPtr wide = makeGrid(4096, 2048);
    gridSetPlane(wide.get(), 0, 0, 0, 0);
    gridAddTangentWarp(wide.get());
    gridAddRadialZoom(wide.get(), 1e20f);
    EXPECT_EQ(at(wide.get(), 0, 0).u, INT32_MIN);  // far up-left: pushed toward minus infinity
}

}  // namespace
