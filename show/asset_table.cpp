// The asset table of the show, and its loading and checking at start-up.
#include "show/asset_table.h"

#include <cstdio>
#include <cstring>

#include "effects/effects.h"
#include "platform/os_files.h"

// The letter å of the four title cards is written in UTF-8, as today's file systems store it
// (the pictures once had the single Latin-1 byte 0xE5 there).
const PictureEntry kPictureTable[kPictureCount] = {
    {"colors.jpg", PictureUse::kWhole},
    {"1.jpg", PictureUse::kWhole},
    {"2.jpg", PictureUse::kWhole},
    {"3.jpg", PictureUse::kWhole},
    {"4.jpg", PictureUse::kWhole},
    {"5.jpg", PictureUse::kWhole},
    {"fraq.jpg", PictureUse::kWhole},
    {"frak.jpg", PictureUse::kWhole},
    {"frac.jpg", PictureUse::kWhole},
    {"overlay 01.jpg", PictureUse::kWhole},
    {"overlay 02.jpg", PictureUse::kWhole},
    {"overlay 03.jpg", PictureUse::kWhole},
    {"overlay 04.jpg", PictureUse::kWhole},
    {"hore.jpg", PictureUse::kWhole},
    {"tex.jpg", PictureUse::kWhole},
    {"p\xC3\xA5ske_p\xC3\xA5ske.jpg", PictureUse::kPlaced},
    {"p\xC3\xA5ske_happy.jpg", PictureUse::kPlaced},
    {"p\xC3\xA5ske_ddr.jpg", PictureUse::kPlaced},
    {"p\xC3\xA5ske_frak.jpg", PictureUse::kPlaced},
    {"code.jpg", PictureUse::kCredit},
    {"dallik.jpg", PictureUse::kCredit},
    {"beer.jpg", PictureUse::kCredit},
    {"vorrel.jpg", PictureUse::kCredit},
    {"sonnaby.jpg", PictureUse::kCredit},
    {"tolvik.jpg", PictureUse::kCredit},
    {"siste.jpg", PictureUse::kPlaced},
};

const PictureId kCreditInversionOrder[6] = {kCreditDallik, kCreditCode,    kCreditBeer,
                                            kCreditVorrel, kCreditSonnaby, kCreditTolvik};

namespace {

bool inDataFolder(const std::string& name) {
    std::string path = "data/";
    path += name;
    return pathExists(path);
}

// The picture under its own name, else, when no file has that name, under its Latin-1 one.
Image* loadPicture(const char* name, std::string* why) {
    Image* image = loadImage(name, why);
    const std::string latin1 = latin1Spelling(name);
    if (image || latin1.empty() || inDataFolder(name) || !inDataFolder(latin1)) return image;
    return loadImage(latin1.c_str(), why);
}

// A report line for a file that did not load: the reason, when it lies in the file itself.
std::string fileProblem(const char* path) {
    std::string why;
    FILE* stream = openRegularFile(path, &why, kMaxTextFileBytes);
    if (stream) std::fclose(stream);
    // Built up piece by piece: GCC 12 warns falsely (-Wrestrict) on a chain of string additions.
    std::string line;
    if (!stream) line.append(" (").append(why).append(")");
    return line;
}

}  // namespace

std::string latin1Spelling(const char* name) {
    std::string spelling;
    bool changed = false;
    for (const char* c = name; *c != '\0'; ++c) {
        if (c[0] == '\xC3' && c[1] == '\xA5') {
            spelling.push_back('\xE5');
            changed = true;
            ++c;
        } else {
            spelling.push_back(*c);
        }
    }
    return changed ? spelling : std::string();
}

void loadShowAssets(ShowAssets* assets) {
    assets->world = createWorld(1, 1);
    for (int i = 0; i < kPictureCount; ++i) {
        std::string why;
        assets->pictures[i] = loadPicture(kPictureTable[i].name, &why);
        std::snprintf(assets->pictureProblems[i], kProblemSize, "%s",
                      assets->pictures[i] ? "" : why.c_str());
    }
    assets->mainGrid = createDeformGrid(kPictureWidth, kPictureHeight);
    // The ripple moves each node by an amount that depends on the node alone: worked out here
    // once, on a plane of zeros, and added to every frame's plane.
    assets->eggRipple = createDeformGrid(kPictureWidth, kPictureHeight);
    gridSetPlane(assets->eggRipple, 0, 0, 0, 0);
    gridAddCosineRipple(assets->eggRipple, kEggRippleFrequency, kEggRippleAmplitude);

    // The world's slots take whole copies of the loaded records; the arrays they point to are
    // shared, not duplicated, and live as long as the world.
    SceneObject* object = loadScene(kScenePath);
    assets->sceneLoaded = object != nullptr;
    if (object != nullptr) {
        assets->world->Objects[0] = *object;
        delete object;
    }
    Light* light = loadLight(kLightPath);
    assets->lightLoaded = light != nullptr;
    if (light != nullptr) {
        assets->world->Lights[0] = *light;
        delete light;
    }
}

std::string checkShowAssets(const ShowAssets* assets) {
    std::string problems;
    auto report = [&](const std::string& line) { problems += "  " + line + "\n"; };
    for (int i = 0; i < kPictureCount; ++i) {
        const PictureEntry& entry = kPictureTable[i];
        const Image* image = assets->pictures[i];
        const std::string path = std::string("data/") + entry.name;
        if (image == nullptr) {
            report(path + ": " + assets->pictureProblems[i]);
        } else if (entry.use == PictureUse::kWhole &&
                   (image->width != kPictureWidth || image->height != kPictureHeight)) {
            report(path + ": is " + std::to_string(image->width) + " x " +
                   std::to_string(image->height) + " pixels, must be 512 x 256");
        } else if (entry.use == PictureUse::kCredit &&
                   static_cast<int64_t>(image->width) * image->height < kLeadingPixels) {
            report(path + ": has " +
                   std::to_string(static_cast<int64_t>(image->width) * image->height) +
                   " pixels, a credit picture needs at least 15000");
        }
    }
    if (assets->mainGrid == nullptr || assets->eggRipple == nullptr)
        report("the texture grid could not be allocated");
    if (!assets->sceneLoaded) {
        report(std::string(kScenePath) + ": the 3D object did not load" + fileProblem(kScenePath));
    }
    if (!assets->lightLoaded) {
        report(std::string(kLightPath) + ": the light did not load" + fileProblem(kLightPath));
    }
    return problems;
}

void releaseShowAssets(ShowAssets* assets) {
    for (Image*& picture : assets->pictures) {
        releaseImage(picture);
        picture = nullptr;
    }
    releaseDeformGrid(assets->mainGrid);
    delete assets->mainGrid;
    assets->mainGrid = nullptr;
    releaseDeformGrid(assets->eggRipple);
    delete assets->eggRipple;
    assets->eggRipple = nullptr;
    FreeWorld(assets->world);
    delete assets->world;
    assets->world = nullptr;
}

void invertCreditPictures(ShowAssets* assets) {
    for (PictureId id : kCreditInversionOrder)
        invertLeadingPixels(assets->pictures[id]->pixels);
}
