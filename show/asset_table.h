// The material of the show: the 26 pictures, the grid of the moving backgrounds, the 3D world.
#pragma once

#include <string>

#include "effects/pixel.h"
#include "engine3d/engine3d.h"
#include "gridmap/gridmap.h"

// The pictures, in the order they are loaded.
enum PictureId : int {
    kColors,
    kOverlay1,
    kOverlay2,
    kOverlay3,
    kOverlay4,
    kOverlay5,
    kFraq,
    kFrak,
    kFrac,
    kOverlay01,
    kOverlay02,
    kOverlay03,
    kOverlay04,
    kHore,
    kTex,
    kCardPaaske,
    kCardHappy,
    kCardDdr,
    kCardFrak,
    kCreditCode,
    kCreditDallik,
    kCreditBeer,
    kCreditVorrel,
    kCreditSonnaby,
    kCreditTolvik,
    kSiste,
    kPictureCount
};

// What a picture is used as, and so what it must be.
enum class PictureUse : int {
    kWhole,   // texture or overlay: exactly 512 x 256
    kCredit,  // credit card: at least 15000 pixels, the first 15000 inverted at load
    kPlaced,  // placed with blitImage: any size
};

struct PictureEntry {
    const char* name;  // file name in data/ (UTF-8)
    PictureUse use;
};

// The asset table, indexed by PictureId.
extern const PictureEntry kPictureTable[kPictureCount];

// The music of the show, which every way of running it opens.
constexpr const char* kMusicPath = "data/tolvik_tune.ogg";

// The egg scene's backdrop ripple, gridAddCosineRipple's frequency and amplitude.
constexpr float kEggRippleFrequency = 0.5f;
constexpr float kEggRippleAmplitude = 3.0f;

// The 3D object and its light.
constexpr const char* kScenePath = "data/eggz.txt";
constexpr const char* kLightPath = "data/lys.txt";

// The name with its å as the single Latin-1 byte 0xE5, as archives made on other systems store
// the title cards; "" when the name has no å.
std::string latin1Spelling(const char* name);

// Room for the reason a picture did not load.
constexpr int kProblemSize = 256;

// The credit pictures in the order they are inverted at load.
extern const PictureId kCreditInversionOrder[6];

// Everything loaded at start-up and kept for the whole run.
struct ShowAssets {
    Image* pictures[kPictureCount];  // decoded pictures; null where loading failed
    DeformGrid* mainGrid;            // 65 x 33 nodes for the 512 x 256 picture
    DeformGrid* eggRipple;           // the egg scene's cosine ripple, the same every frame
    World* world;                    // one object slot and one light slot
    bool sceneLoaded;                // the scene file gave an object (copied into slot 0)
    bool lightLoaded;                // the light file gave a light (copied into slot 0)
    char pictureProblems[kPictureCount][kProblemSize];  // why a picture is null; "" if loaded
};

// Start-up, steps 1 to 5: world, pictures, grid, scene file, light file, with the loaders'
// console lines. A title card missing under its UTF-8 name is looked for under its Latin-1 one.
// Nothing is checked here; see checkShowAssets.
void loadShowAssets(ShowAssets* assets);

// Every problem with the loaded material, one line each ("" when all is well): a picture missing,
// not a regular file or damaged (with the reason), a whole picture that is not 512 x 256, a
// credit under 15000 pixels, a scene or light file that did not load.
std::string checkShowAssets(const ShowAssets* assets);

// Frees everything loadShowAssets made (the show itself keeps it to the end; tests and tools let
// it go). The world's release prints its console lines.
void releaseShowAssets(ShowAssets* assets);

// Start-up, step 6: the credit pictures become negatives of themselves (their first 15000 pixels).
void invertCreditPictures(ShowAssets* assets);
