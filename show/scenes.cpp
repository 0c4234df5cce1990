// The 2D scenes of the show, the title cards and the scene sequence.
//
// Notation in the comments: t is musicTime, sK is spectrum bin K. Expressions are worked in
// double from the float inputs and passed on as 32-bit floats; trunc() truncates toward zero.
#include "show/scenes.h"

#include <climits>
#include <cstring>

#include "effects/effects.h"
#include "show/music_clock.h"

namespace {

constexpr uint32_t kKey = 0x111111;       // every colour key of the show
constexpr int32_t kCardRow = 196;         // title cards sit at this row of pictureArea
constexpr int32_t kCardWindow = 14;       // seconds from a card's first to its last frame
constexpr int32_t kClearBelowEgg = 5000;  // pixels below pictureArea the egg scene clears

// The end time of each scene, in seconds of music.
constexpr float kSceneEnd[kSceneCount] = {19.0f, 38.0f, 57.0f, 77.0f, 96.0f, 100.0f};

const Pixel* pixelsOf(const ShowState* state, PictureId id) {
    return state->assets->pictures[id]->pixels;
}

// Scenes 1 and 2 share their moving background: a plane that scrolls left at 30 texels per
// second and zooms in with the bass, rippled by two wave generators.
void drawWavyColours(ShowState* state) {
    const float t = state->musicTime;
    const double s0 = state->spectrum[0];
    const double s1 = state->spectrum[1];
    DeformGrid* grid = state->assets->mainGrid;
    gridSetPlane(grid, truncToInt32(512 - 150 * s0), truncToInt32(256 - 130 * s0),
                 truncToInt32(30.0 * t), 0);
    gridAddCrossWaves(grid, 0.25f, 0.3f, t, t, static_cast<float>(140 * s1 + 50));
    gridAddAxisWaves(grid, 0.3f, 0.2f, t, t, static_cast<float>(140 * s1 + 40));
    mapGridWrapped(state->buffers.picture, grid, state->assets->pictures[kColors]);
}

void drawSceneOne(ShowState* state) {
    const float t = state->musicTime;
    Pixel* picture = state->buffers.picture;
    drawWavyColours(state);
    if (beat(state->spectrum[0], 3)) {
        invertPicture(picture);
        ++state->beatCounter;
    }
    // The overlay comes after the inversion, so its dark pixels stay dark on inverted frames.
    if (state->beatCounter >= 1) copyBelowKey(picture, pixelsOf(state, kOverlay1), kKey);
    if (t <= 4) {
        // Fade in from black over the first 3.97 seconds; level 0 leaves the picture alone.
        const int32_t level = truncToInt32(255 - 64.0 * t);
        crossFade(picture, state->buffers.black, level < 0 ? 0u : static_cast<uint32_t>(level));
    }
    blur2x2(picture);
}

void drawSceneTwo(ShowState* state) {
    const float* s = state->spectrum;
    Pixel* picture = state->buffers.picture;
    drawWavyColours(state);
    // Any of the three bass bins advances the overlay once, however many pass together.
    if (beat(s[1], 3) || beat(s[0], 3) || beat(s[2], 3)) {
        if (++state->beatCounter >= 4) state->beatCounter = 0;
    }
    switch (state->beatCounter) {
        case 0:
            copyBelowKey(picture, pixelsOf(state, kOverlay2), kKey);
            break;
        case 1:
            copyBelowKey(picture, pixelsOf(state, kOverlay3), kKey);
            break;
        case 2:
            copyAboveKey(picture, pixelsOf(state, kOverlay4), kKey);
            break;
        default:
            copyAboveKey(picture, pixelsOf(state, kOverlay5), kKey);
            break;
    }
    drawTitleCard(state, kCardDdr, 21, false);
}

void drawSceneFour(ShowState* state) {
    const float t = state->musicTime;
    const float* s = state->spectrum;
    Pixel* picture = state->buffers.picture;
    DeformGrid* grid = state->assets->mainGrid;
    static constexpr PictureId kTextures[3] = {kFraq, kFrak, kFrac};
    static constexpr PictureId kOverlays[4] = {kOverlay01, kOverlay02, kOverlay03, kOverlay04};

    gridSetPlane(grid, 512, 256, 0, 0);
    if (beat(s[0], 4) || beat(s[1], 4) || beat(s[2], 4)) ++state->beatCounter;
    if (beat(s[6], 3) || beat(s[3], 3) || beat(s[5], 3)) ++state->textureCounter;
    if (state->beatCounter >= 4) state->beatCounter = 0;
    if (state->textureCounter >= 3) state->textureCounter = 0;
    // The bass raises the wave frequencies.
    const double s1 = s[1];
    gridAddCrossWaves(grid, static_cast<float>(4 * s1 + 0.3), static_cast<float>(4 * s1 + 0.2), t,
                      t, 8);
    gridAddAxisWaves(grid, 0.2f, 0.1f, t, t, 4);
    mapGridClamped(picture, grid, state->assets->pictures[kTextures[state->textureCounter]]);
    copyBelowKey(picture, pixelsOf(state, kOverlays[state->beatCounter]), kKey);
    if (beat(s[0], 8)) invertPicture(picture);
    drawTitleCard(state, kCardFrak, 60, false);
}

// The credits: each picture flashes up sharp on a beat inside its window, then melts away in
// the work layer, which keeps its contents and is blurred once per frame after being shown.
void drawSceneFive(ShowState* state) {
    struct Credit {
        PictureId picture;
        int32_t start, end;
    };
    static constexpr Credit kCredits[6] = {
        {kCreditDallik, 77, 80}, {kCreditCode, 80, 83}, {kCreditSonnaby, 83, 86},
        {kCreditTolvik, 86, 89}, {kCreditBeer, 89, 92}, {kCreditVorrel, 92, 95},
    };
    const float t = state->musicTime;
    Pixel* work = state->buffers.work;
    for (const Credit& credit : kCredits) {
        if (beat(state->spectrum[1], 3) && t >= credit.start && t <= credit.end)
            blitImage(work, kScreenHeight, 170, 80, state->assets->pictures[credit.picture]);
    }
    copyPicture(state->buffers.picture, work);
    blur2x2(work);
    drawTitleCard(state, kCardHappy, 80, true);
}

void drawSceneSix(ShowState* state) {
    // Drawn every frame and never cleared; blitImage leaves the first row and column 511 black.
    blitImage(state->buffers.picture, kPictureAreaRows, 0, 0, state->assets->pictures[kSiste]);
}

}  // namespace

int32_t truncToInt32(double value) {
    // Saturating, so no clock or level, however wild, can make the conversion undefined.
    if (!(value > -2147483648.0)) return value != value ? 0 : INT32_MIN;
    if (value >= 2147483647.0) return INT32_MAX;
    return static_cast<int32_t>(value);
}

int32_t titleCardColumn(float t, int32_t a) {
    const int32_t b = a + kCardWindow;
    if (t <= a + 1) return truncToInt32((a - static_cast<double>(t)) * 112 + 513);
    if (t >= b - 1) return truncToInt32(401 - (b - 1 - static_cast<double>(t)) * 112);
    return 410;  // not 401: the card moves 9 pixels right as it comes to rest
}

void drawTitleCard(ShowState* state, PictureId card, int32_t a, bool restOnBeatOnly) {
    const float t = state->musicTime;
    if (t < a || t > a + kCardWindow) return;
    const bool resting = t > a + 1 && t < a + kCardWindow - 1;
    if (resting && restOnBeatOnly && !beat(state->spectrum[0], 1.5)) return;
    blitImage(state->buffers.picture, kPictureAreaRows, titleCardColumn(t, a), kCardRow,
              state->assets->pictures[card]);
}

bool sceneContinues(int scene, float musicTime, float lowestBin) {
    const bool inTime = musicTime <= kSceneEnd[scene - 1];
    return scene == kSceneCount ? inTime || lowestBin == 0.0f : inTime;
}

void enterScene(ShowState* state, int scene) {
    if (scene == 1 || scene == 2 || scene == 4) state->beatCounter = 0;
    if (scene == 4) state->textureCounter = 0;
    if (scene == 5) {
        std::memset(state->buffers.work, 0, sizeof(Pixel) * kPicturePixels);
        std::memset(state->buffers.picture, 0, sizeof(Pixel) * kPicturePixels);
    }
}

void drawSceneFrame(ShowState* state, int scene) {
    // The clear scenes 3 and 5 owe their picture after each frame. Their own next frames
    // write every pixel of it before reading any (the keyed backdrop, the copy of the work
    // layer), so only another scene's frame needs it done.
    if (state->pictureClearOwed) {
        state->pictureClearOwed = false;
        if (scene != 3 && scene != 5)
            std::memset(state->buffers.picture, 0, sizeof(Pixel) * kPicturePixels);
    }
    switch (scene) {
        case 1:
            drawSceneOne(state);
            break;
        case 2:
            drawSceneTwo(state);
            break;
        case 3:
            drawEggSceneFrame(state);
            break;
        case 4:
            drawSceneFour(state);
            break;
        case 5:
            drawSceneFive(state);
            break;
        default:
            drawSceneSix(state);
            break;
    }
}

void finishSceneFrame(ShowState* state, int scene) {
    // The egg scene also wipes what the renderer, a tall card or earlier blurs left just below
    // the picture: screen rows 320 to 328 and the first 392 pixels of row 329.
    if (scene == 3) {
        std::memset(state->buffers.picture + kPicturePixels, 0, sizeof(Pixel) * kClearBelowEgg);
    }
    // Both clear the picture itself; drawSceneFrame does that when it is needed.
    if (scene == 3 || scene == 5) state->pictureClearOwed = true;
}
