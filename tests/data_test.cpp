// Checks the committed data folder: picture sizes, clean colour keys, seamless tiles, the egg and
// its light, and that the generator still writes exactly these bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#ifdef BRINDLEHOP_HAVE_FREETYPE
#include <ft2build.h>
#include FT_FREETYPE_H
#endif

#include "assets/assets.h"
#include "engine3d/engine3d.h"

namespace {

constexpr uint32_t kKey = 0x111111;

const char* const kWholePictures[] = {
    "colors.jpg",     "1.jpg",          "2.jpg",          "3.jpg",    "4.jpg",
    "5.jpg",          "fraq.jpg",       "frak.jpg",       "frac.jpg", "overlay 01.jpg",
    "overlay 02.jpg", "overlay 03.jpg", "overlay 04.jpg", "hore.jpg", "tex.jpg"};
const char* const kTitleCards[] = {"påske_påske.jpg", "påske_happy.jpg", "påske_ddr.jpg",
                                   "påske_frak.jpg"};
const char* const kCredits[] = {"code.jpg",   "dallik.jpg",  "beer.jpg",
                                "vorrel.jpg", "sonnaby.jpg", "tolvik.jpg"};
const char* const kDarkKept[] = {"1.jpg",          "2.jpg",          "3.jpg",
                                 "overlay 01.jpg", "overlay 02.jpg", "overlay 03.jpg",
                                 "overlay 04.jpg"};
const char* const kLightKept[] = {"4.jpg", "5.jpg", "hore.jpg"};

// Runs a test body with the source tree as working directory, as the show runs beside data/.
class InSourceTree : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = std::filesystem::current_path();
        std::filesystem::current_path(BRINDLEHOP_SOURCE_DIR);
    }
    void TearDown() override { std::filesystem::current_path(saved_); }

private:
    std::filesystem::path saved_;
};

struct ImageDeleter {
    void operator()(Image* image) const { releaseImage(image); }
};
using ImagePtr = std::unique_ptr<Image, ImageDeleter>;

ImagePtr load(const char* name) {
    return ImagePtr(loadImage(name));
}

size_t pixelCount(const Image& image) {
    return static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
}

// Pixels whose whole value lies in a small band around the key: these flicker between kept and
// dropped from one JPEG decoder to the next, so the art must keep clear of them.
size_t nearKey(const Image& image) {
    size_t count = 0;
    for (size_t i = 0; i < pixelCount(image); ++i) {
        count += (image.pixels[i] >= 0x0D0D0D && image.pixels[i] <= 0x151515) ? 1 : 0;
    }
    return count;
}

double channelDistance(Pixel a, Pixel b) {
    return std::abs(static_cast<int>(pixelRed(a)) - static_cast<int>(pixelRed(b))) +
           std::abs(static_cast<int>(pixelGreen(a)) - static_cast<int>(pixelGreen(b))) +
           std::abs(static_cast<int>(pixelBlue(a)) - static_cast<int>(pixelBlue(b)));
}

TEST_F(InSourceTree, EveryPictureLoadsAtTheSizeItsUseNeeds) {
    for (const char* name : kWholePictures) {
        ImagePtr image = load(name);
        ASSERT_NE(image, nullptr) << name;
        EXPECT_EQ(image->width, 512) << name;
        EXPECT_EQ(image->height, 256) << name;
        for (size_t i = 0; i < pixelCount(*image); ++i)
            ASSERT_EQ(image->pixels[i] >> 24, 0u);
    }
    // Cards rest at column 410 of a picture whose last drawn column is 510, and at row 196 of 256.
    for (const char* name : kTitleCards) {
        ImagePtr image = load(name);
        ASSERT_NE(image, nullptr) << name;
        EXPECT_GE(image->width, 90) << name;
        EXPECT_LE(image->width, 101) << name;
        EXPECT_GE(image->height, 40) << name;
        EXPECT_LE(image->height, 60) << name;
    }
    // The show inverts the first 15000 pixels of each credit: exactly the whole card.
    for (const char* name : kCredits) {
        ImagePtr image = load(name);
        ASSERT_NE(image, nullptr) << name;
        EXPECT_EQ(pixelCount(*image), 15000u) << name;
    }
    ImagePtr closing = load("siste.jpg");
    ASSERT_NE(closing, nullptr);
    EXPECT_LE(closing->width, 512);
    EXPECT_LE(closing->height, 320);
    EXPECT_GE(closing->height, 200);
}

TEST_F(InSourceTree, OverlaysCutCleanlyAtTheKey) {
    for (const char* name : kDarkKept) {
        ImagePtr image = load(name);
        ASSERT_NE(image, nullptr) << name;
        size_t kept = 0;
        for (size_t i = 0; i < pixelCount(*image); ++i)
            kept += image->pixels[i] < kKey ? 1 : 0;
        EXPECT_LT(nearKey(*image), 131u) << name;  // under 0.1 % of the picture
        EXPECT_GT(kept, 6000u) << name;            // there is art to see ...
        EXPECT_LT(kept, 60000u) << name;           // ... and texture around it
    }
    for (const char* name : kLightKept) {
        ImagePtr image = load(name);
        ASSERT_NE(image, nullptr) << name;
        size_t kept = 0;
        for (size_t i = 0; i < pixelCount(*image); ++i)
            kept += image->pixels[i] > kKey ? 1 : 0;
        EXPECT_LT(nearKey(*image), 131u) << name;
        EXPECT_GT(kept, 6000u) << name;
        EXPECT_LT(kept, 60000u) << name;
    }
}

TEST_F(InSourceTree, CreditsAreStoredAsNegativesOfBrightLetteringOnBlack) {
    for (const char* name : kCredits) {
        ImagePtr image = load(name);
        ASSERT_NE(image, nullptr) << name;
        size_t black = 0, bright = 0;
        for (size_t i = 0; i < pixelCount(*image); ++i) {
            const Pixel shown = 0xFFFFFFu - image->pixels[i];  // what the show makes of it
            black += shown < 0x202020 ? 1 : 0;
            bright += pixelRed(shown) + pixelGreen(shown) + pixelBlue(shown) > 450 ? 1 : 0;
        }
        EXPECT_GT(black, pixelCount(*image) / 2) << name;
        EXPECT_GT(bright, 300u) << name;
    }
}

TEST_F(InSourceTree, WrappedTexturesTileWithoutASeam) {
    for (const char* name : {"colors.jpg", "tex.jpg"}) {
        ImagePtr image = load(name);
        ASSERT_NE(image, nullptr) << name;
        const Pixel* p = image->pixels;
        // Mean step between neighbours inside the picture, and across the two wrap seams.
        double inside = 0, seam = 0;
        for (int y = 0; y < 256; ++y) {
            inside += channelDistance(p[y * 512 + 255], p[y * 512 + 256]);
            seam += channelDistance(p[y * 512 + 511], p[y * 512]);
        }
        for (int x = 0; x < 512; ++x) {
            inside += channelDistance(p[127 * 512 + x], p[128 * 512 + x]);
            seam += channelDistance(p[255 * 512 + x], p[x]);
        }
        EXPECT_LT(seam, 2.0 * inside + 768 * 3) << name;
    }
}

TEST_F(InSourceTree, FractalsAreRichInColour) {
    for (const char* name : {"fraq.jpg", "frak.jpg", "frac.jpg"}) {
        ImagePtr image = load(name);
        ASSERT_NE(image, nullptr) << name;
        std::vector<bool> seen(512, false);  // 8 levels per channel
        for (size_t i = 0; i < pixelCount(*image); ++i) {
            const Pixel q = image->pixels[i];
            seen[(pixelRed(q) >> 5) * 64 + (pixelGreen(q) >> 5) * 8 + (pixelBlue(q) >> 5)] = true;
        }
        size_t colours = 0;
        for (bool s : seen)
            colours += s ? 1 : 0;
        EXPECT_GE(colours, 40u) << name;
    }
}

// The egg and the light, loaded as the show loads them, in a world of one object and one light.
class EggScene : public InSourceTree {
protected:
    void SetUp() override {
        InSourceTree::SetUp();
        world_ = createWorld(1, 1);
        SceneObject* egg = loadScene("data/eggz.txt");
        Light* light = loadLight("data/lys.txt");
        ASSERT_NE(egg, nullptr);
        ASSERT_NE(light, nullptr);
        world_->Objects[0] = *egg;
        world_->Lights[0] = *light;
        delete egg;
        delete light;
    }
    void TearDown() override {
        FreeWorld(world_);
        delete world_;
        InSourceTree::TearDown();
    }
    World* world_ = nullptr;
};

TEST_F(EggScene, EggIsOneClosedMeshOfBandedTriangles) {
    const SceneObject& egg = world_->Objects[0];
    ASSERT_EQ(egg.NumMesh, 1);
    EXPECT_GE(egg.NumMat, 2);
    EXPECT_LE(egg.NumMat, 3);
    const Mesh& mesh = egg.Meshes[0];
    EXPECT_GE(mesh.NumFaces, 1000);
    EXPECT_LE(mesh.NumFaces, 3000);
    std::vector<int> facesOfMaterial(static_cast<size_t>(egg.NumMat), 0);
    // Closed and consistently wound: every edge, taken by the positions of its ends (band edges
    // repeat a ring of vertices), is walked once in each direction.
    using Key = std::tuple<float, float, float, float, float, float>;
    std::map<Key, int> edges;
    for (int f = 0; f < mesh.NumFaces; ++f) {
        const MeshFace& face = mesh.Faces[f];
        const int v[3] = {face.V0, face.V1, face.V2};
        for (int k = 0; k < 3; ++k)
            ASSERT_TRUE(v[k] >= 0 && v[k] < mesh.NumVerts) << f;
        ASSERT_TRUE(face.MatId >= 0 && face.MatId < egg.NumMat) << f;
        ++facesOfMaterial[static_cast<size_t>(face.MatId)];
        // The renderer keeps faces whose normal turns to the eye: it must point out of the egg,
        // which is convex around its origin.
        const Vec3 p = mesh.Verts[face.V0].Pos;
        ASSERT_GT(face.Normal.x * p.x + face.Normal.y * p.y + face.Normal.z * p.z, 0.0f) << f;
        for (int k = 0; k < 3; ++k) {
            const Vec3 a = mesh.Verts[v[k]].Pos;
            const Vec3 b = mesh.Verts[v[(k + 1) % 3]].Pos;
            ++edges[Key{a.x, a.y, a.z, b.x, b.y, b.z}];
        }
    }
    for (const auto& [key, count] : edges) {
        const auto& [ax, ay, az, bx, by, bz] = key;
        ASSERT_EQ(count, 1);
        const auto reverse = edges.find(Key{bx, by, bz, ax, ay, az});
        ASSERT_NE(reverse, edges.end());
        ASSERT_EQ(reverse->second, 1);
    }
    for (int count : facesOfMaterial)
        EXPECT_GT(count, mesh.NumFaces / 10);
}

TEST_F(EggScene, LightStandsInFrontAboveAndReachesPastTheEgg) {
    const Light& light = world_->Lights[0];
    const Mesh& mesh = world_->Objects[0].Meshes[0];
    EXPECT_LT(light.LightPos.z, 150.0f);  // between the eye and the egg at z = 180
    EXPECT_LT(light.LightPos.y, -30.0f);  // above it: y grows down the screen
    double farthest = 0;
    for (int i = 0; i < mesh.NumVerts; ++i) {
        const Vec3 p = mesh.Verts[i].Pos;
        farthest =
            std::max(farthest, std::hypot(p.x - light.LightPos.x, p.y - 30.0 - light.LightPos.y,
                                          p.z + 180.0 - light.LightPos.z) +
                                   60.0);
    }
    EXPECT_GT(static_cast<double>(light.Radius), farthest);
    for (float c : light.LightColor)
        EXPECT_GT(c, 0.8f);
}

TEST_F(EggScene, EggRendersWholeAndLitAtAThirdOfThePictureHeight) {
    constexpr Pixel kMarker = 0x123456;
    std::vector<Pixel> screen(kScreenPixels, 0);
    std::vector<float> depth(kDepthValues, 0.0f);
    Pixel* picture = screen.data() + kPictureTop * kPitch;
    SceneObject& egg = world_->Objects[0];
    for (double t : {38.5, 41.0, 44.0, 47.5, 50.0, 53.5, 56.5}) {
        std::fill(picture, picture + kPicturePixels, kMarker);
        matIdentity(&egg.PosMatrix);
        matTranslate(&egg.PosMatrix, 0.0f, -30.0f, 180.0f);
        matIdentity(&egg.RotMatrix);
        matRotate(&egg.RotMatrix, static_cast<float>(0.1 * t), static_cast<float>(0.1 * t),
                  static_cast<float>(t));
        renderWorld(picture, depth.data(), world_);
        int top = 256, bottom = -1, holes = 0, dark = 0, covered = 0;
        for (int y = 0; y < 256; ++y) {
            int left = -1, right = -1;
            for (int x = 0; x < 512; ++x) {
                const Pixel p = picture[y * 512 + x];
                if (p == kMarker) continue;
                if (left < 0) left = x;
                right = x;
                ++covered;
                dark += pixelRed(p) + pixelGreen(p) + pixelBlue(p) < 90 ? 1 : 0;
            }
            if (left < 0) continue;
            top = std::min(top, y);
            bottom = y;
            // The egg is convex, so its outline on a row is one unbroken run.
            for (int x = left; x <= right; ++x)
                holes += picture[y * 512 + x] == kMarker ? 1 : 0;
        }
        const int height = bottom - top + 1;
        EXPECT_GE(height, 60) << "t = " << t;   // about a third of the 256 rows, whichever
        EXPECT_LE(height, 110) << "t = " << t;  // way the egg is turned
        EXPECT_EQ(holes, 0) << "t = " << t;
        EXPECT_LT(dark, covered / 20) << "t = " << t;
        EXPECT_NEAR((top + bottom) / 2.0, 127.0, 12.0) << "t = " << t;  // y = -30 at z = 180
    }
}

std::vector<char> fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The pictures with lettering in them, which depend on FreeType's rasterizers.
const char* const kLettered[] = {
    "1.jpg",          "5.jpg",      "påske_påske.jpg", "påske_happy.jpg", "påske_ddr.jpg",
    "påske_frak.jpg", "code.jpg",   "dallik.jpg",      "beer.jpg",        "vorrel.jpg",
    "sonnaby.jpg",    "tolvik.jpg", "siste.jpg"};

// "" under the FreeType that lettered the committed pictures (2.12, Debian 12), else the name of
// the one in use. FreeType 2.13 (Debian 13) draws hard-edged glyphs a few pixels differently.
std::string otherFreeType() {
#ifdef BRINDLEHOP_HAVE_FREETYPE
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0) return "a FreeType that does not start";
    FT_Int major = 0, minor = 0, patch = 0;
    FT_Library_Version(library, &major, &minor, &patch);
    FT_Done_FreeType(library);
    if (major == 2 && minor == 12) return "";
    return "FreeType " + std::to_string(major) + "." + std::to_string(minor) + "." +
           std::to_string(patch);
#else
    return "an unknown FreeType";
#endif
}

// What a lettered picture shows, when its bytes cannot be compared: the same size, and the same
// pixels but for a few glyph edges (at most 0.1 % of pixels off by more than 16 in a channel,
// mean difference under 0.5). A lost, moved or resized word changes thousands.
void expectSamePicture(const std::vector<char>& made, const std::vector<char>& committed,
                       const std::string& name) {
    std::string why;
    Image* a = decodeImage(reinterpret_cast<const uint8_t*>(made.data()), made.size(),
                           kMaxImagePixels, &why);
    Image* b = decodeImage(reinterpret_cast<const uint8_t*>(committed.data()), committed.size(),
                           kMaxImagePixels, &why);
    EXPECT_NE(a, nullptr) << name << ": " << why;
    EXPECT_NE(b, nullptr) << name << ": " << why;
    if (a && b) {
        EXPECT_EQ(a->width, b->width) << name;
        EXPECT_EQ(a->height, b->height) << name;
    }
    if (a && b && a->width == b->width && a->height == b->height) {
        const int64_t count = int64_t{a->width} * a->height;
        int64_t off = 0;
        double sum = 0;
        for (int64_t i = 0; i < count; ++i) {
            int worst = 0;
            for (int shift : {0, 8, 16}) {
                const int d = std::abs(static_cast<int>((a->pixels[i] >> shift) & 0xFF) -
                                       static_cast<int>((b->pixels[i] >> shift) & 0xFF));
                worst = std::max(worst, d);
                sum += d;
            }
            off += worst > 16 ? 1 : 0;
        }
        EXPECT_LE(off * 1000, count) << name << ": " << off << " pixels differ";
        EXPECT_LT(sum / static_cast<double>(count * 3), 0.5) << name;
    }
    releaseImage(a);
    releaseImage(b);
}

// Exactly the committed bytes, file by file. Under another FreeType than the one that made them,
// the lettered pictures are compared by what they show, and every other file still by its bytes.
TEST_F(InSourceTree, GeneratorWritesExactlyTheCommittedFiles) {
    const std::filesystem::path tool = std::filesystem::path(BRINDLEHOP_BINARY_DIR) / "make_data";
    if (!std::filesystem::exists(tool)) GTEST_SKIP() << "make_data is not built in this tree";
    char pattern[] = "/tmp/brindlehop_data_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::filesystem::path out = pattern;
    // Built up piece by piece: GCC 12 warns falsely (-Wrestrict) on a chain of string additions.
    std::string command = "\"";
    command += tool.string();
    command += "\" \"";
    command += out.string();
    command += "\"";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string other = otherFreeType();
    size_t compared = 0;
    for (const auto& entry : std::filesystem::directory_iterator(out)) {
        const std::filesystem::path committed =
            std::filesystem::path("data") / entry.path().filename();
        const std::vector<char> made = fileBytes(entry.path());
        const std::vector<char> kept = fileBytes(committed);
        const std::string name = entry.path().filename().string();
        const bool lettered =
            std::find(std::begin(kLettered), std::end(kLettered), name) != std::end(kLettered);
        if (made != kept && lettered && !other.empty()) {
            std::printf("%s: made by %s, compared by what it shows\n", name.c_str(), other.c_str());
            expectSamePicture(made, kept, name);
        } else {
            EXPECT_EQ(made, kept) << committed;
        }
        ++compared;
    }
    EXPECT_EQ(compared, 28u);  // 26 pictures, the egg and the light
    std::filesystem::remove_all(out);
}

// Width, height, bit depth and colour type from a PNG's header; zeros when it is not a PNG.
std::tuple<uint32_t, uint32_t, int, int> pngHeader(const std::vector<char>& file) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(file[i]); };
    if (file.size() < 33 || std::string(file.data() + 12, 4) != "IHDR") return {0, 0, 0, 0};
    const auto be32 = [&](size_t i) {
        return uint32_t{byte(i)} << 24 | uint32_t{byte(i + 1)} << 16 | uint32_t{byte(i + 2)} << 8 |
               byte(i + 3);
    };
    return {be32(16), be32(20), byte(24), byte(25)};
}

TEST_F(InSourceTree, GeneratorWritesTheCommittedIcons) {
    const std::filesystem::path tool = std::filesystem::path(BRINDLEHOP_BINARY_DIR) / "make_data";
    if (!std::filesystem::exists(tool)) GTEST_SKIP() << "make_data is not built in this tree";
    char pattern[] = "/tmp/brindlehop_icons_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::filesystem::path out = pattern;
    std::string command = "\"";
    command += tool.string();
    command += "\" --icons \"";
    command += out.string();
    command += "\"";
    ASSERT_EQ(std::system(command.c_str()), 0);
    for (const uint32_t size : {48u, 128u, 256u}) {
        const std::string name = "brindlehop_" + std::to_string(size) + ".png";
        const std::vector<char> made = fileBytes(out / name);
        EXPECT_EQ(made, fileBytes(std::filesystem::path("packaging/icons") / name)) << name;
        // A square RGBA picture of the size its folder in the icon theme will claim.
        EXPECT_EQ(pngHeader(made), std::make_tuple(size, size, 8, 6)) << name;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out),
                            std::filesystem::directory_iterator()),
              3);
    std::filesystem::remove_all(out);
}

}  // namespace
