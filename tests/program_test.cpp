// The show end to end: start-up checks, the scene sequence, the scenes' frames, the command line.
#include <gtest/gtest.h>
#include <ogg/ogg.h>
#include <unistd.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "assets/assets.h"
#include "effects/effects.h"
#include "output/png_writer.h"
#include "program/offline.h"
#include "program/options.h"
#include "show/show.h"
#include "show/startup.h"

namespace {

// The committed data set, loaded once for the whole suite from the checkout.
class ShowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        char cwd[PATH_MAX];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        startFolder_ = cwd;
        ASSERT_EQ(chdir(BRINDLEHOP_SOURCE_DIR), 0);
        store_ = createFrameBufferStore();
        assets_ = new ShowAssets;
        ShowState scratch;
        testing::internal::CaptureStdout();  // the loaders' console lines
        ready_ = prepareShow(&scratch, assets_, frameBuffersOf(store_));
        testing::internal::GetCapturedStdout();
    }
    static void TearDownTestSuite() {
        testing::internal::CaptureStdout();
        releaseShowAssets(assets_);
        testing::internal::GetCapturedStdout();
        delete assets_;
        releaseFrameBufferStore(store_);
        ASSERT_EQ(chdir(startFolder_.c_str()), 0);
    }

    void SetUp() override {
        ASSERT_TRUE(ready_) << "the committed data set does not load";
        buffersStore_ = createFrameBufferStore();
        std::memset(&state_, 0, sizeof state_);
        state_.buffers = frameBuffersOf(buffersStore_);
        state_.assets = assets_;
    }
    void TearDown() override { releaseFrameBufferStore(buffersStore_); }

    void setBins(float s0, float s1 = 0, float s2 = 0) {
        std::memset(state_.spectrum, 0, sizeof state_.spectrum);
        state_.spectrum[0] = s0;
        state_.spectrum[1] = s1;
        state_.spectrum[2] = s2;
    }
    void drawAt(int scene, float t) {
        state_.musicTime = t;
        drawSceneFrame(&state_, scene);
    }
    Pixel pictureAt(int x, int y) const { return state_.buffers.picture[y * kPitch + x]; }
    Pixel screenAt(int x, int y) const { return state_.buffers.screen[y * kPitch + x]; }
    const Image* picture(PictureId id) const { return assets_->pictures[id]; }

    // Scenes the frames were drawn in, replaying script from a start at t = 0.
    std::vector<int> sceneLogOf(const std::vector<ScriptedFrame>& script) {
        std::vector<int> log(script.size() + 8, 0);
        ShowClock clock{nullptr, script.data(), script.size(), 0};
        FrameSink sink{};
        sink.kind = FrameSinkKind::kHeadless;
        sink.sceneLog = log.data();
        sink.sceneLogCapacity = log.size();
        sink.frameLimit = script.size() + 4;
        runScenes(&state_, &clock, &sink);
        log.resize(sink.frames);
        return log;
    }

    // Pixels of the picture that show the overlay's kept pixels: below the key for overlays that
    // keep dark pixels, above it for the others.
    int overlayMatches(PictureId overlay, bool keepsDark) const {
        const Pixel* over = picture(overlay)->pixels;
        int matches = 0;
        for (int i = 0; i < kPicturePixels; ++i) {
            const bool kept = keepsDark ? over[i] < 0x111111u : over[i] > 0x111111u;
            matches += kept && state_.buffers.picture[i] == over[i];
        }
        return matches;
    }

    // The candidate whose kept pixels the picture shows most of.
    PictureId shownOverlay(const std::vector<std::pair<PictureId, bool>>& candidates) const {
        PictureId best = candidates[0].first;
        int bestMatches = -1;
        for (const auto& [id, keepsDark] : candidates) {
            const int matches = overlayMatches(id, keepsDark);
            if (matches > bestMatches) best = id, bestMatches = matches;
        }
        return best;
    }

    // The texture the picture resembles most (mean channel difference).
    PictureId shownTexture(std::initializer_list<PictureId> candidates) const {
        PictureId best = *candidates.begin();
        double bestDistance = 1e30;
        for (PictureId id : candidates) {
            double distance = 0;
            const Pixel* tex = picture(id)->pixels;
            for (int i = 0; i < kPicturePixels; i += 7) {
                const Pixel a = state_.buffers.picture[i], b = tex[i];
                distance += std::abs(int(pixelRed(a)) - int(pixelRed(b))) +
                            std::abs(int(pixelGreen(a)) - int(pixelGreen(b))) +
                            std::abs(int(pixelBlue(a)) - int(pixelBlue(b)));
            }
            if (distance < bestDistance) best = id, bestDistance = distance;
        }
        return best;
    }

    // Where the egg is: the box of pixels that differ from the same frame without the object.
    struct Box {
        int top = 256, bottom = -1, left = 512, right = -1;
        double row() const { return (top + bottom) / 2.0; }
        double column() const { return (left + right) / 2.0; }
    };
    Box eggBox(float t) {
        drawAt(3, t);
        std::vector<Pixel> withEgg(state_.buffers.picture, state_.buffers.picture + kPicturePixels);
        FrameBufferStore* other = createFrameBufferStore();
        const FrameBuffers mine = state_.buffers;
        state_.buffers = frameBuffersOf(other);
        const int32_t objects = assets_->world->NumObj;
        assets_->world->NumObj = 0;
        drawAt(3, t);
        assets_->world->NumObj = objects;
        Box box;
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 512; ++x)
                if (withEgg[y * 512 + x] != state_.buffers.picture[y * 512 + x]) {
                    box.top = std::min(box.top, y), box.bottom = std::max(box.bottom, y);
                    box.left = std::min(box.left, x), box.right = std::max(box.right, x);
                }
        state_.buffers = mine;
        releaseFrameBufferStore(other);
        return box;
    }

    static double meanLevel(const Pixel* pixels, int count) {
        double sum = 0;
        for (int i = 0; i < count; ++i)
            sum += pixelRed(pixels[i]) + pixelGreen(pixels[i]) + pixelBlue(pixels[i]);
        return sum / (3.0 * count);
    }

    static inline std::string startFolder_;
    static inline FrameBufferStore* store_ = nullptr;
    static inline ShowAssets* assets_ = nullptr;
    static inline bool ready_ = false;
    FrameBufferStore* buffersStore_ = nullptr;
    ShowState state_;
};

ScriptedFrame at(float t, float s0 = 0, float s1 = 0) {
    return {t, {s0, s1, 0, 0, 0, 0, 0, 0}};
}

TEST_F(ShowTest, EachEndTimeKeepsItsSceneForOneMoreFrame) {
    const std::vector<ScriptedFrame> script = {
        at(5),  at(19),    at(19.5f), at(38),    at(38.5f), at(50),  at(57),       at(57.25f),
        at(77), at(77.5f), at(96),    at(96.5f), at(99),    at(101), at(102, 0.2f)};
    const std::vector<int> expected = {1, 1, 1, 2, 2, 3, 3, 3, 4, 4, 5, 5, 6, 6, 6};
    EXPECT_EQ(sceneLogOf(script), expected);
}

TEST_F(ShowTest, LongStallSkipsWholeScenes) {
    // The last frame of scene 1 already sees t = 60; scenes 2 and 3 then run no frame at all,
    // and after 100 s a non-zero lowest bin ends the show without a frame of scene 6.
    const std::vector<ScriptedFrame> script = {at(5), at(60), at(61), at(200, 0.5f)};
    const std::vector<int> expected = {1, 1, 4, 4};
    EXPECT_EQ(sceneLogOf(script), expected);
}

TEST_F(ShowTest, LastSceneWaitsForSoundInTheLowestBin) {
    std::vector<ScriptedFrame> script = {at(5), at(150), at(150), at(151)};
    script.push_back(at(300, 0.01f));
    std::vector<int> log = sceneLogOf(script);
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[2], 6);  // t = 150 with silence: the last scene goes on
    EXPECT_EQ(log[4], 6);  // the first sound ends it after this frame
}

TEST_F(ShowTest, ShowFadesInFromBlack) {
    setBins(0);
    enterScene(&state_, 1);
    drawAt(1, 0.0f);
    for (int i = 0; i < kPicturePixels; ++i)
        ASSERT_EQ(state_.buffers.picture[i], 0u) << i;

    // The fade level is trunc(255 - 64 t), never below 0: checked against the same quiet frame
    // built by hand with that level (no beat, so no inversion and no overlay yet).
    FrameBufferStore* store = createFrameBufferStore();
    Pixel* expected = frameBuffersOf(store).picture;
    DeformGrid* grid = assets_->mainGrid;
    for (auto [t, level] : {std::pair{2.0f, 127u}, {3.96875f, 1u}, {4.0f, 0u}, {0.5f, 223u}}) {
        gridSetPlane(grid, 512, 256, int32_t(30.0 * t), 0);
        gridAddCrossWaves(grid, 0.25f, 0.3f, t, t, 50);
        gridAddAxisWaves(grid, 0.3f, 0.2f, t, t, 40);
        mapGridWrapped(expected, grid, picture(kColors));
        crossFade(expected, state_.buffers.black, level);
        blur2x2(expected);
        drawAt(1, t);
        EXPECT_TRUE(std::equal(expected, expected + kPicturePixels, state_.buffers.picture))
            << "t = " << t;
    }
    releaseFrameBufferStore(store);
}

TEST_F(ShowTest, FirstSceneInvertsOnStrongBassThenLaysTheOverlayOn) {
    // Pixels deep inside the overlay's dark shapes.
    const Pixel* over = picture(kOverlay1)->pixels;
    std::vector<int> inside;
    for (int y = 0; y < 254; ++y)
        for (int x = 0; x < 510; ++x) {
            bool dark = true;
            for (int k = 0; k < 9 && dark; ++k)
                dark = over[(y + k / 3) * 512 + x + k % 3] < 0x111111;
            if (dark) inside.push_back(y * 512 + x);
        }
    ASSERT_GT(inside.size(), 100u);

    enterScene(&state_, 1);
    setBins(2.9f / 30);  // below the threshold of 3: no beat, so no overlay yet
    drawAt(1, 10.0f);
    EXPECT_EQ(state_.beatCounter, 0);
    const double quiet = meanLevel(state_.buffers.picture, kPicturePixels);
    setBins(3.1f / 30);
    drawAt(1, 10.0f);
    EXPECT_EQ(state_.beatCounter, 1);
    int stillDark = 0;
    for (int i : inside)
        stillDark += state_.buffers.picture[i] < 0x202020;
    // The overlay came after the inversion (the other way round they would all be near white);
    // the running blur drags some colour in from the left along each row.
    EXPECT_GT(stillDark, int(inside.size() * 9 / 10));
    // Later frames without a beat keep the overlay and are not inverted.
    setBins(0);
    drawAt(1, 10.0f);
    EXPECT_EQ(state_.beatCounter, 1);
    EXPECT_GT(overlayMatches(kOverlay1, true), 0);
    EXPECT_LT(std::abs(meanLevel(state_.buffers.picture, kPicturePixels) - quiet), 40);
}

TEST_F(ShowTest, SecondSceneStepsItsOverlayOncePerBeatFrame) {
    const std::vector<std::pair<PictureId, bool>> overlays = {
        {kOverlay2, true}, {kOverlay3, true}, {kOverlay4, false}, {kOverlay5, false}};
    enterScene(&state_, 2);
    setBins(0);
    drawAt(2, 25.0f);
    EXPECT_EQ(shownOverlay(overlays), kOverlay2);
    // Any of bins 0, 1, 2 at 30 x s >= 3 advances the counter by one, all three together too;
    // at 4 it starts again.
    const PictureId expected[] = {kOverlay3, kOverlay4, kOverlay5, kOverlay2, kOverlay3};
    const float beats[][3] = {
        {0.2f, 0, 0}, {0, 0.2f, 0}, {0, 0, 0.2f}, {0.2f, 0.2f, 0.2f}, {0.1f, 0, 0}};
    for (int i = 0; i < 5; ++i) {
        setBins(beats[i][0], beats[i][1], beats[i][2]);
        drawAt(2, 25.0f);
        EXPECT_EQ(shownOverlay(overlays), expected[i]) << "beat " << i;
    }
    setBins(0.099f, 0.099f, 0.099f);  // 2.97: no beat
    drawAt(2, 25.0f);
    EXPECT_EQ(shownOverlay(overlays), kOverlay3);
}

TEST_F(ShowTest, FourthSceneCountsOverlaysAndTexturesAndInvertsOnlyOnTheHardestBeats) {
    const std::vector<std::pair<PictureId, bool>> overlays = {
        {kOverlay01, true}, {kOverlay02, true}, {kOverlay03, true}, {kOverlay04, true}};
    enterScene(&state_, 4);
    auto bins = [&](std::initializer_list<std::pair<int, float>> set) {
        std::memset(state_.spectrum, 0, sizeof state_.spectrum);
        for (auto [bin, value] : set)
            state_.spectrum[bin] = value;
    };
    bins({});
    drawAt(4, 65.0f);
    EXPECT_EQ(shownTexture({kFraq, kFrak, kFrac}), kFraq);
    EXPECT_EQ(shownOverlay(overlays), kOverlay01);
    // Bins 3, 5 and 6 at 30 x s >= 3 step the texture: 1, 2, then back to 0.
    const PictureId textures[] = {kFrak, kFrac, kFraq};
    const int textureBins[] = {3, 5, 6};
    for (int i = 0; i < 3; ++i) {
        bins({{textureBins[i], 0.1f}});
        drawAt(4, 65.0f);
        EXPECT_EQ(shownTexture({kFraq, kFrak, kFrac}), textures[i]) << i;
        EXPECT_EQ(shownOverlay(overlays), kOverlay01);
    }
    // Bins 0, 1 and 2 at 30 x s >= 4 step the overlay; 3.9 does not.
    bins({{1, 3.9f / 30}});
    drawAt(4, 65.0f);
    EXPECT_EQ(shownOverlay(overlays), kOverlay01);
    const PictureId expected[] = {kOverlay02, kOverlay03, kOverlay04, kOverlay01};
    const int overlayBins[] = {0, 1, 2, 1};
    for (int i = 0; i < 4; ++i) {
        bins({{overlayBins[i], 4.1f / 30}});
        drawAt(4, 65.0f);
        EXPECT_EQ(shownOverlay(overlays), expected[i]) << i;
    }
    // 30 x s0 >= 8 inverts the frame after the overlay: its black shapes turn white.
    bins({{0, 7.9f / 30}});
    drawAt(4, 65.0f);
    EXPECT_GT(overlayMatches(kOverlay02, true), 1000);
    bins({{0, 8.1f / 30}});
    drawAt(4, 65.0f);
    EXPECT_EQ(overlayMatches(kOverlay03, true), 0);
    int white = 0;
    const Pixel* over = picture(kOverlay03)->pixels;
    for (int i = 0; i < kPicturePixels; ++i)
        white += over[i] < 0x111111 && state_.buffers.picture[i] == 0xFFFFFF - over[i];
    EXPECT_GT(white, 1000);
}

TEST_F(ShowTest, LastSceneRunsToOneHundredSecondsEvenWithSound) {
    const std::vector<ScriptedFrame> script = {at(5), at(99, 0.5f), at(99.5f, 0.5f), at(101, 0.5f)};
    const std::vector<int> expected = {1, 1, 6, 6};
    EXPECT_EQ(sceneLogOf(script), expected);
}

TEST_F(ShowTest, TitleCardSlidesInRestsAndSlidesOut) {
    EXPECT_EQ(titleCardColumn(21.0f, 21), 513);
    EXPECT_EQ(titleCardColumn(21.5f, 21), 457);
    EXPECT_EQ(titleCardColumn(22.0f, 21), 401);
    EXPECT_EQ(titleCardColumn(22.01f, 21), 410);
    EXPECT_EQ(titleCardColumn(33.99f, 21), 410);
    EXPECT_EQ(titleCardColumn(34.0f, 21), 401);
    EXPECT_EQ(titleCardColumn(34.5f, 21), 457);
    EXPECT_EQ(titleCardColumn(35.0f, 21), 513);
    // Truncated toward zero, not rounded: 490.59... and 434.59...
    EXPECT_EQ(titleCardColumn(21.2f, 21), 490);
    EXPECT_EQ(titleCardColumn(34.3f, 21), 434);

    // Drawn last in scene 2, at row 196 from column 401, its first row skipped (blitImage).
    const Image* card = picture(kCardDdr);
    setBins(0);
    enterScene(&state_, 2);
    drawAt(2, 22.0f);
    for (int r = 1; r < card->height && 196 + r < 256; ++r)
        for (int c = 0; c < card->width && 401 + c <= 510; ++c)
            ASSERT_EQ(pictureAt(401 + c, 196 + r), card->pixels[r * card->width + c]) << r << c;
}

TEST_F(ShowTest, HappyCardRestsOnlyOnBassBeats) {
    const Image* card = picture(kCardHappy);
    enterScene(&state_, 5);
    auto cardShown = [&] {
        return pictureAt(415, 200) == card->pixels[4 * card->width + 5] &&
               pictureAt(420, 205) == card->pixels[9 * card->width + 10];
    };
    setBins(0.04f);  // 30 x 0.04 = 1.2 < 1.5
    drawAt(5, 85.0f);
    EXPECT_FALSE(cardShown());
    finishSceneFrame(&state_, 5);
    setBins(0.06f);  // 1.8 >= 1.5
    drawAt(5, 85.0f);
    EXPECT_TRUE(cardShown());
    // The slides show on every frame, beat or not.
    finishSceneFrame(&state_, 5);
    setBins(0);
    drawAt(5, 80.5f);  // sliding in, at column 457
    EXPECT_EQ(pictureAt(457 + 5, 196 + 4), card->pixels[4 * card->width + 5]);
}

TEST_F(ShowTest, CreditsFlashOnTheBeatAndMeltAway) {
    const Image* dallik = picture(kCreditDallik);
    enterScene(&state_, 5);
    setBins(0, 0.2f);  // 30 x s1 = 6: the credit is drawn
    drawAt(5, 78.0f);
    int sharp = 0;
    for (int r = 1; r < dallik->height; ++r)
        for (int c = 0; c < dallik->width; ++c)
            sharp += pictureAt(170 + c, 80 + r) == dallik->pixels[r * dallik->width + c];
    EXPECT_EQ(sharp, (dallik->height - 1) * dallik->width);
    std::vector<Pixel> flash(state_.buffers.picture, state_.buffers.picture + kPicturePixels);
    finishSceneFrame(&state_, 5);

    // Without a beat nothing new is drawn: the frame shows the layer as the last frame's blur
    // left it, smeared right and down, and dims only slowly.
    setBins(0, 0.05f);
    std::vector<Pixel> blurred(state_.buffers.work, state_.buffers.work + kPicturePixels);
    drawAt(5, 78.1f);
    std::vector<Pixel> shown(state_.buffers.picture, state_.buffers.picture + kPicturePixels);
    EXPECT_EQ(shown, blurred);
    EXPECT_NE(shown, flash);
    EXPECT_GT(meanLevel(shown.data(), kPicturePixels),
              0.8 * meanLevel(flash.data(), kPicturePixels));

    // Outside its window a credit never appears, beat or not.
    enterScene(&state_, 5);
    setBins(0, 0.2f);
    drawAt(5, 95.5f);
    EXPECT_EQ(meanLevel(state_.buffers.picture, kPicturePixels), 0.0);
}

TEST_F(ShowTest, EachCreditHasItsWindowAndWasInvertedAtLoad) {
    struct Window {
        PictureId credit;
        float start;
        const char* name;
    };
    const Window windows[] = {
        {kCreditDallik, 77, "dallik.jpg"},   {kCreditCode, 80, "code.jpg"},
        {kCreditSonnaby, 83, "sonnaby.jpg"}, {kCreditTolvik, 86, "tolvik.jpg"},
        {kCreditBeer, 89, "beer.jpg"},       {kCreditVorrel, 92, "vorrel.jpg"}};
    auto shows = [&](PictureId id) {
        const Image* credit = picture(id);
        for (int r = 1; r < credit->height; ++r)
            for (int c = 0; c < credit->width; ++c)
                if (pictureAt(170 + c, 80 + r) != credit->pixels[r * credit->width + c])
                    return false;
        return true;
    };
    for (const Window& window : windows) {
        for (float t : {window.start + 0.5f, window.start + 2.5f}) {
            enterScene(&state_, 5);
            setBins(0, 0.2f);
            drawAt(5, t);
            EXPECT_TRUE(shows(window.credit)) << window.name << " at " << t;
        }
        // The picture on screen is the negative of the file: inverted at load.
        Image* file = loadImage(window.name);
        ASSERT_NE(file, nullptr);
        const Image* shown = picture(window.credit);
        for (int i = 0; i < kLeadingPixels; ++i)
            ASSERT_EQ(shown->pixels[i], 0xFFFFFFu - file->pixels[i]) << window.name << " " << i;
        releaseImage(file);
    }
    // At a shared boundary both are drawn, the later one on top.
    enterScene(&state_, 5);
    setBins(0, 0.2f);
    drawAt(5, 86.0f);
    EXPECT_TRUE(shows(kCreditTolvik));
}

TEST_F(ShowTest, LastPictureLeavesFirstRowAndLastColumnBlack) {
    const Image* siste = picture(kSiste);
    // After the credits' last frame, whose picture is grey to the edges: their clear must
    // still reach the first frame of the last scene.
    enterScene(&state_, 5);
    std::fill(state_.buffers.work, state_.buffers.work + kPicturePixels, 0x808080u);
    setBins(0);
    drawAt(5, 95.9f);
    ASSERT_EQ(pictureAt(511, 100), 0x808080u);
    finishSceneFrame(&state_, 5);
    enterScene(&state_, 6);
    drawAt(6, 98.0f);
    for (int x = 0; x < 512; ++x)
        EXPECT_EQ(pictureAt(x, 0), 0u);
    for (int y = 0; y < 256; ++y)
        EXPECT_EQ(pictureAt(511, y), 0u);
    EXPECT_EQ(pictureAt(5, 7), siste->pixels[7 * siste->width + 5]);
    EXPECT_EQ(pictureAt(300, 200), siste->pixels[200 * siste->width + 300]);
    // Taller than the picture: its rows run on into the screen's bottom border, never past it.
    if (siste->height > 256) {
        EXPECT_EQ(screenAt(9, 64 + 257), siste->pixels[257 * siste->width + 9]);
    }
}

TEST_F(ShowTest, BassAddsBlurPassesToTheEggBackdrop) {
    setBins(0);
    drawAt(3, 45.0f);
    std::vector<Pixel> onePass(state_.buffers.work, state_.buffers.work + kScreenPixels);
    // The same backdrop blurred twice more must equal the frame whose bass asks for three.
    FrameBufferStore* other = createFrameBufferStore();
    state_.buffers = frameBuffersOf(other);
    setBins(2.5f / 30);
    drawAt(3, 45.0f);
    std::vector<Pixel> threePasses(state_.buffers.work, state_.buffers.work + kScreenPixels);
    blur2x2(onePass.data());
    blur2x2(onePass.data());
    EXPECT_EQ(onePass, threePasses);
    releaseFrameBufferStore(other);
}

TEST_F(ShowTest, EggStandsInFrontOfTheBackdropAndMovesWithTheBass) {
    setBins(0);
    const Box still = eggBox(45.0f);
    ASSERT_GE(still.bottom, 0) << "no egg drawn";
    // At silence the egg sits at (0, -30, 180): its centre projects to column 256, row 127.
    EXPECT_NEAR(still.row(), 194 - 30 * 400 / 180.0, 12);
    EXPECT_NEAR(still.column(), 256, 12);
    EXPECT_GT(still.bottom - still.top, 256 / 5);
    EXPECT_LT(still.bottom - still.top, 256 / 2);
    // Bin 1 pushes it 50 units per unit along x, bin 0 the same upwards: 0.18 moves it 9 units,
    // 20 pixels at this depth.
    setBins(0, 0.18f);
    const Box right = eggBox(45.0f);
    EXPECT_NEAR(right.column() - still.column(), 20, 3);
    EXPECT_NEAR(right.row(), still.row(), 3);
    setBins(0.18f);
    const Box up = eggBox(45.0f);
    EXPECT_NEAR(still.row() - up.row(), 20, 3);
    EXPECT_NEAR(up.column(), still.column(), 3);
}

TEST_F(ShowTest, RowsBelowThePictureGetOnlyWhatSpillsIntoThem) {
    // The blur of scene 1 writes screen row 320 and the first pixel of row 321.
    setBins(0);
    enterScene(&state_, 1);
    drawAt(1, 10.0f);
    int written = 0;
    for (int x = 0; x < 512; ++x)
        written += screenAt(x, 320) != 0;
    EXPECT_GT(written, 400);
    EXPECT_NE(screenAt(0, 321), 0u);
    for (int i = 321 * 512 + 1; i < kScreenPixels; ++i)
        ASSERT_EQ(state_.buffers.screen[i], 0u);
    // The egg scene's tidy-up wipes rows 320 to 328 and 392 pixels of row 329, and no more.
    for (int i = 320 * 512; i < kScreenPixels; ++i)
        state_.buffers.screen[i] = 0x123456;
    drawAt(3, 45.0f);
    finishSceneFrame(&state_, 3);
    for (int i = 320 * 512; i < 329 * 512 + 392; ++i)
        ASSERT_EQ(state_.buffers.screen[i], 0u) << i;
    EXPECT_EQ(screenAt(392, 329), 0x123456u);
    EXPECT_EQ(screenAt(0, 383), 0x123456u);
    // The picture's own clear is left to the next frame, which draws over all of it: that
    // frame is the one drawn on a cleared picture.
    drawAt(3, 45.5f);
    std::vector<Pixel> next(state_.buffers.screen, state_.buffers.screen + kScreenPixels);
    finishSceneFrame(&state_, 3);
    std::fill(state_.buffers.picture, state_.buffers.picture + kPicturePixels, 0u);
    state_.pictureClearOwed = false;
    drawAt(3, 45.5f);
    EXPECT_TRUE(std::equal(next.begin(), next.end(), state_.buffers.screen));
}

TEST_F(ShowTest, StartUpRefusesBrokenData) {
    // A data folder with one good picture only: every other asset is listed as a problem.
    char folder[] = "/tmp/brindlehop-data-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string data = std::string(folder) + "/data";
    ASSERT_EQ(mkdir(data.c_str(), 0755), 0);
    char cwd[PATH_MAX];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    const std::string copy = "cp data/tex.jpg '" + data + "/colors.jpg' && cp data/tex.jpg '" +
                             data + "/code.jpg' && printf 'Radius: 5\\n' > '" + data + "/lys.txt'";
    ASSERT_EQ(std::system(copy.c_str()), 0);
    ASSERT_EQ(chdir(folder), 0);
    ShowState state;
    ShowAssets assets;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const bool ready = prepareShow(&state, &assets, state_.buffers);
    releaseShowAssets(&assets);
    testing::internal::GetCapturedStdout();
    const std::string problems = testing::internal::GetCapturedStderr();
    ASSERT_EQ(chdir(cwd), 0);
    std::system((std::string("rm -rf '") + folder + "'").c_str());
    EXPECT_FALSE(ready);
    EXPECT_EQ(problems.find("data/colors.jpg"), std::string::npos);
    EXPECT_NE(problems.find("data/1.jpg: missing"), std::string::npos) << problems;
    EXPECT_EQ(problems.find("data/code.jpg"), std::string::npos);  // 512 x 256 is fine for a credit
    EXPECT_NE(problems.find("data/tolvik.jpg: missing"), std::string::npos);
    EXPECT_NE(problems.find("data/eggz.txt"), std::string::npos);
    EXPECT_NE(problems.find("data/lys.txt"), std::string::npos);
}

// Runs the program from folder with args; its exit status, and what it wrote to stderr.
int runProgram(const std::string& folder, const std::string& args, std::string* errors,
               const std::string& program = BRINDLEHOP_BINARY_DIR "/brindlehop") {
    const std::string log = "/tmp/brindlehop-program-test-" + std::to_string(getpid()) + ".log";
    // The time limit turns a start-up that waits for ever into a failure (status 124).
    const std::string command = "cd '" + folder + "' && timeout 120 '" + program + "' " + args +
                                " >/dev/null 2>'" + log + "'";
    const int status = std::system(command.c_str());
    std::FILE* in = std::fopen(log.c_str(), "r");
    errors->clear();
    if (in != nullptr) {
        char line[512];
        while (std::fgets(line, sizeof line, in) != nullptr)
            *errors += line;
        std::fclose(in);
    }
    std::remove(log.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Program, FindsItsDataFromAnyFolderAndSaysWhenThereIsNone) {
    if (access(BRINDLEHOP_BINARY_DIR "/brindlehop", X_OK) != 0)
        GTEST_SKIP() << "the brindlehop program is not built";
    std::string errors;
    // From /tmp, with nothing there: the data is found beside the program (its build tree).
    EXPECT_EQ(runProgram("/tmp", "--headless --fps 2 --until 0.5", &errors), 0) << errors;
    // A folder without data/ given on purpose is refused with exit status 2.
    EXPECT_EQ(runProgram("/tmp", "--data /nonexistent --headless", &errors), 2);
    EXPECT_NE(errors.find("no data folder found"), std::string::npos) << errors;
    // A data/ that cannot be looked into is named with the system's reason.
    char pattern[] = "/tmp/brindlehop-loop-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string loop = std::string(pattern) + "/data";
    ASSERT_EQ(symlink("data", loop.c_str()), 0);
    EXPECT_EQ(runProgram("/tmp", "--data " + std::string(pattern) + " --headless", &errors), 2);
    EXPECT_NE(errors.find(loop + " (Too many levels of symbolic links)"), std::string::npos)
        << errors;
    // A copy of the program two folders below a data folder (a build tree inside the checkout)
    // takes that one, not the checkout it was built from: here it has only the light.
    ASSERT_EQ(unlink(loop.c_str()), 0);
    ASSERT_EQ(mkdir(loop.c_str(), 0755), 0);
    const std::string tree = std::string(pattern) + "/build/bin";
    const std::string copy = "mkdir -p " + tree +
                             " && cp '" BRINDLEHOP_SOURCE_DIR "/data/lys.txt' " + loop +
                             " && cp '" BRINDLEHOP_BINARY_DIR "/brindlehop' " + tree;
    ASSERT_EQ(std::system(copy.c_str()), 0);
    EXPECT_EQ(runProgram(std::string(pattern) + "/build", "--headless --until 0.5", &errors,
                         tree + "/brindlehop"),
              2);
    EXPECT_NE(errors.find(loop + " is not usable"), std::string::npos) << errors;
    std::system(("rm -rf " + std::string(pattern)).c_str());
    EXPECT_EQ(runProgram("/tmp", "--fps 0", &errors), 2);
    EXPECT_NE(errors.find("--fps"), std::string::npos) << errors;
}

// A copy of the committed data folder in a temporary folder, removed at the end.
class DataCopy : public ::testing::Test {
protected:
    void SetUp() override {
        if (access(BRINDLEHOP_BINARY_DIR "/brindlehop", X_OK) != 0)
            GTEST_SKIP() << "the brindlehop program is not built";
        char pattern[] = "/tmp/brindlehop-copy-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        const std::string copy = "cp -R '" BRINDLEHOP_SOURCE_DIR "/data' '" + root_ + "/'";
        ASSERT_EQ(std::system(copy.c_str()), 0);
    }
    void TearDown() override {
        if (!root_.empty()) std::system(("rm -rf '" + root_ + "'").c_str());
    }
    std::string in(const std::string& name) const { return root_ + "/data/" + name; }
    int run(std::string* errors) const {
        return runProgram("/tmp", "--data '" + root_ + "' --headless --fps 2 --until 0.5", errors);
    }
    std::string root_;
};

TEST_F(DataCopy, DamagedOrUnreadableMusicPlaysTheSilentClockToTheEnd) {
    const std::string music = in("tolvik_tune.ogg");
    // Cut short, as a broken download leaves it: half the piece decodes, the rest is missing.
    const std::string cut =
        "head -c 891208 '" BRINDLEHOP_SOURCE_DIR "/data/tolvik_tune.ogg' > '" + music + "'";
    ASSERT_EQ(std::system(cut.c_str()), 0);
    std::string errors;
    const std::string args = "--data '" + root_ + "' --headless --fps 4";
    EXPECT_EQ(runProgram("/tmp", "--timings " + args, &errors), 0) << errors;
    EXPECT_NE(errors.find("Can`t play file"), std::string::npos) << errors;
    EXPECT_NE(errors.find("data/tolvik_tune.ogg: truncated"), std::string::npos) << errors;
    // The silent clock runs the scenes through to the last one's limit: 110 s at 4 fps.
    EXPECT_NE(errors.find("rendered 440 frames"), std::string::npos) << errors;
    EXPECT_NE(errors.find("first frame out"), std::string::npos) << errors;

    // A FIFO in place of the music is refused at once (a plain open would wait for a writer).
    ASSERT_EQ(std::remove(music.c_str()), 0);
    ASSERT_EQ(mkfifo(music.c_str(), 0600), 0);
    EXPECT_EQ(runProgram("/tmp", "--until 2 " + args, &errors), 0) << errors;
    EXPECT_NE(errors.find("data/tolvik_tune.ogg: not a regular file (a FIFO)"), std::string::npos)
        << errors;
    EXPECT_NE(errors.find("Can`t play file"), std::string::npos) << errors;

    // A socket cannot even be opened; it is named for what it is.
    ASSERT_EQ(std::remove(music.c_str()), 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(music.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, music.c_str(), music.size());
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(listener);
    EXPECT_EQ(runProgram("/tmp", "--until 2 " + args, &errors), 0) << errors;
    EXPECT_NE(errors.find("data/tolvik_tune.ogg: not a regular file (a socket)"), std::string::npos)
        << errors;
}

TEST_F(DataCopy, ShortMusicIsNamedWithTheSceneWhereTheShowLoops) {
    // The first half of the piece (about 53 s), ended cleanly: cut at a page start and the page
    // before it marked as the stream's last (flag 4 in byte 5), with its checksum made anew.
    const std::string music = in("tolvik_tune.ogg");
    std::vector<unsigned char> bytes;
    if (std::FILE* in = std::fopen(music.c_str(), "rb")) {
        int c;
        while ((c = std::fgetc(in)) != EOF)
            bytes.push_back(static_cast<unsigned char>(c));
        std::fclose(in);
    }
    std::vector<size_t> pages;
    for (size_t i = 0; i + 4 <= bytes.size() / 2; ++i)
        if (std::memcmp(bytes.data() + i, "OggS", 4) == 0) pages.push_back(i);
    ASSERT_GE(pages.size(), 4u);
    const size_t last = pages[pages.size() - 2];
    bytes.resize(pages.back());
    ogg_page page;
    page.header = bytes.data() + last;
    page.header_len = 27 + bytes[last + 26];
    page.body = page.header + page.header_len;
    page.body_len = static_cast<long>(bytes.size() - last) - page.header_len;
    page.header[5] |= 4;
    ogg_page_checksum_set(&page);
    std::FILE* out = std::fopen(music.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), out);
    std::fclose(out);

    std::string errors;
    EXPECT_EQ(runProgram("/tmp", "--data '" + root_ + "' --headless --fps 4", &errors), 0)
        << errors;
    EXPECT_EQ(errors.find("Can`t play file"), std::string::npos) << errors;
    EXPECT_NE(errors.find("warning: data/tolvik_tune.ogg lasts 5"), std::string::npos) << errors;
    EXPECT_NE(errors.find("loops in scene 3,"), std::string::npos) << errors;
    EXPECT_NE(errors.find("stopped after 110.0 s: the music lasts 5"), std::string::npos) << errors;
}

TEST(ShortMusic, NamesItsLengthAndTheSceneWhereTheShowLoops) {
    const DecodedMusic none{};
    EXPECT_EQ(shortMusicWarning(none, "m.ogg"), "");
    const struct {
        size_t frames;
        const char* length;
        int scene;
    } cases[] = {{44100 * 10, "10.00 s", 1},        {44100 * 19, "19.00 s", 1},
                 {44100 * 19 + 2, "19.00 s", 2},    {44100 * 50, "50.00 s", 3},
                 {44100 * 96 + 4410, "96.10 s", 6}, {44100 * 100 - 1, "100.00 s", 6}};
    for (const auto& c : cases) {
        const DecodedMusic music{nullptr, c.frames, 2, 44100};
        const std::string warning = shortMusicWarning(music, "data/m.ogg");
        EXPECT_NE(warning.find("data/m.ogg lasts " + std::string(c.length)), std::string::npos)
            << warning;
        EXPECT_NE(warning.find("loops in scene " + std::to_string(c.scene) + ","),
                  std::string::npos)
            << warning;
    }
    EXPECT_EQ(shortMusicWarning(DecodedMusic{nullptr, 44100 * 100, 2, 44100}, "m.ogg"), "");
    // An offline run that hits its limit blames the short piece, not the lowest band.
    static OfflineMusic offline;
    offline.stream.music = DecodedMusic{nullptr, 44100 * 50, 2, 44100};
    std::string note = frameLimitNote(offline, 110.0);
    EXPECT_NE(note.find("the music lasts 50.00 s and loops"), std::string::npos) << note;
    offline.stream.music = DecodedMusic{nullptr, 44100 * 120, 2, 44100};
    note = frameLimitNote(offline, 130.0);
    EXPECT_NE(note.find("lowest band stayed silent"), std::string::npos) << note;
    offline.stream.music = DecodedMusic{};
}

TEST_F(DataCopy, DamagedOrIrregularFilesAreRefusedByName) {
    std::string errors;
    ASSERT_EQ(run(&errors), 0) << errors;
    // The first 700 bytes of a picture: libjpeg would show grey where the rest should be.
    ASSERT_EQ(truncate(in("tex.jpg").c_str(), 700), 0);
    EXPECT_EQ(run(&errors), 2);
    EXPECT_NE(errors.find("data/tex.jpg: Premature end of JPEG file"), std::string::npos) << errors;

    // A FIFO in place of a picture or of the scene file: refused at once, not waited on.
    ASSERT_EQ(unlink(in("tex.jpg").c_str()), 0);
    ASSERT_EQ(mkfifo(in("tex.jpg").c_str(), 0644), 0);
    ASSERT_EQ(unlink(in("eggz.txt").c_str()), 0);
    ASSERT_EQ(mkfifo(in("eggz.txt").c_str(), 0644), 0);
    EXPECT_EQ(run(&errors), 2);
    EXPECT_NE(errors.find("data/tex.jpg: not a regular file (a FIFO)"), std::string::npos)
        << errors;
    EXPECT_NE(
        errors.find("data/eggz.txt: the 3D object did not load (not a regular file (a FIFO))"),
        std::string::npos)
        << errors;
}

TEST_F(DataCopy, AFolderMissingSomeFilesIsKnownAndTheyAreListed) {
    ASSERT_EQ(unlink(in("colors.jpg").c_str()), 0);
    ASSERT_EQ(unlink(in("lys.txt").c_str()), 0);
    std::string errors;
    EXPECT_EQ(run(&errors), 2);
    EXPECT_EQ(errors.find("no data folder found"), std::string::npos) << errors;
    EXPECT_NE(errors.find(root_ + "/data is not usable"), std::string::npos) << errors;
    EXPECT_NE(errors.find("data/colors.jpg: missing"), std::string::npos) << errors;
    EXPECT_NE(errors.find("data/lys.txt: the light did not load (missing)"), std::string::npos)
        << errors;
    EXPECT_EQ(errors.find("data/1.jpg"), std::string::npos) << errors;
}

TEST_F(DataCopy, TitleCardsAreFoundUnderTheirLatin1Names) {
    for (const char* card : {"ddr", "frak", "happy"}) {
        const std::string utf8 = in(std::string("p\xC3\xA5ske_") + card + ".jpg");
        const std::string latin1 = in(std::string("p\xE5ske_") + card + ".jpg");
        ASSERT_EQ(std::rename(utf8.c_str(), latin1.c_str()), 0) << utf8;
    }
    const std::string utf8 = in("p\xC3\xA5ske_p\xC3\xA5ske.jpg");
    ASSERT_EQ(std::rename(utf8.c_str(), in("p\xE5ske_p\xE5ske.jpg").c_str()), 0);
    std::string errors;
    EXPECT_EQ(run(&errors), 0) << errors;
    // Under neither name: missing, named as the table spells it.
    ASSERT_EQ(unlink(in("p\xE5ske_ddr.jpg").c_str()), 0);
    EXPECT_EQ(run(&errors), 2);
    EXPECT_NE(errors.find("data/p\xC3\xA5ske_ddr.jpg: missing"), std::string::npos) << errors;
}

TEST(Options, ReadsEveryOptionAndRefusesNonsense) {
    const char* live[] = {"brindlehop", "--window",       "--pixel-format", "rgb565",    "--data",
                          "/x",         "--audio-offset", "-120",           "--version", "--help"};
    Options options;
    std::string error;
    ASSERT_TRUE(parseOptions(10, const_cast<char**>(live), &options, &error)) << error;
    EXPECT_TRUE(options.window);
    EXPECT_EQ(options.pixelFormat, "rgb565");
    EXPECT_EQ(options.dataDir, "/x");
    EXPECT_EQ(options.audioOffsetMs, -120);
    EXPECT_TRUE(options.version);
    EXPECT_TRUE(options.help);

    const char* headless[] = {"brindlehop", "--headless", "--fps", "30",
                              "--frames",   "out",        "--at",  "1.5,20"};
    Options offline;
    ASSERT_TRUE(parseOptions(8, const_cast<char**>(headless), &offline, &error)) << error;
    EXPECT_TRUE(offline.headless);
    EXPECT_EQ(offline.fps, 30u);
    EXPECT_EQ(offline.framesDir, "out");
    EXPECT_EQ(offline.atSeconds, (std::vector<double>{1.5, 20}));

    for (std::vector<const char*> bad : {std::vector<const char*>{"b", "--fps", "0"},
                                         {"b", "--fps", "12x"},
                                         {"b", "--at", "1,,2"},
                                         {"b", "--frames"},
                                         {"b", "--at", "3"},
                                         {"b", "--bench", "--at", "3"},
                                         {"b", "--loud"},
                                         // Options the chosen run would ignore are refused.
                                         {"b", "--headless", "--pixel-format", "rgb565"},
                                         {"b", "--window", "--bench"},
                                         {"b", "--capture", "v.mp4", "--audio-offset", "0"},
                                         {"b", "--fps", "30"}}) {
        Options o;
        EXPECT_FALSE(
            parseOptions(static_cast<int>(bad.size()), const_cast<char**>(bad.data()), &o, &error))
            << bad[1];
        EXPECT_FALSE(error.empty());
    }
}

TEST(SceneArithmetic, TruncationGoesTowardZeroAndSaturates) {
    EXPECT_EQ(truncToInt32(-8.51), -8);
    EXPECT_EQ(truncToInt32(0.64), 0);
    EXPECT_EQ(truncToInt32(1e12), INT32_MAX);
    EXPECT_EQ(truncToInt32(-1e12), INT32_MIN);
    EXPECT_EQ(truncToInt32(std::nan("")), 0);
}

TEST(FrameOutput, ChecksumIsCrc32OfLittleEndianBytes) {
    const Pixel pixels[2] = {0x00636261, 0x00000064};  // "abc\0d\0\0\0"
    // CRC-32 of the 8 bytes 61 62 63 00 64 00 00 00, as zlib and PNG compute it.
    EXPECT_EQ(frameChecksum(pixels, 2), 0x5F6E3F20u);
}

}  // namespace
