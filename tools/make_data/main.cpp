// make_data: writes the show's pictures, egg and light into a data directory, the same bytes
// on every run; or the program's icons. Usage: make_data <output data dir>
//                                            make_data --icons <output dir>
#include <cstdio>
#include <cstring>

#include "tools/make_data/make_data.h"

namespace {

// Textures are smooth, so halved chroma costs nothing; overlays and cards keep full chroma so
// that colour edges, and with them the key cuts, stay where they were drawn.
constexpr int kTextureQuality = 92;
constexpr int kOverlayQuality = 95;
constexpr int kCardQuality = 93;

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--icons") == 0) {
        // The desktop's icon sizes: menus, launchers, and the software centre.
        for (const int size : {48, 128, 256})
            writePng(makeIcon(size),
                     std::string(argv[2]) + "/brindlehop_" + std::to_string(size) + ".png");
        return 0;
    }
    if (argc != 2) {
        std::fprintf(stderr,
                     "usage: make_data <output data dir>\n       make_data --icons <output dir>\n");
        return 2;
    }
    const std::string dir = argv[1];
    const auto at = [&](const char* name) { return dir + "/" + name; };

    Lettering bold = openLettering(kBoldFont);
    Lettering narrow = openLettering(kCondensedFont);

    writeJpeg(makeColorsTexture(), at("colors.jpg"), kTextureQuality, kHalfChroma);
    writeJpeg(makeMarbleTexture(), at("tex.jpg"), kTextureQuality, kHalfChroma);
    writeJpeg(makeMandelbrot(), at("fraq.jpg"), kTextureQuality, kHalfChroma);
    writeJpeg(makeJulia(), at("frak.jpg"), kTextureQuality, kHalfChroma);
    writeJpeg(makeBurningShip(), at("frac.jpg"), kTextureQuality, kHalfChroma);

    writeJpeg(makeMeadowOverlay(bold), at("1.jpg"), kOverlayQuality, kFullChroma);
    writeJpeg(makeEggRowOverlay(), at("2.jpg"), kOverlayQuality, kFullChroma);
    writeJpeg(makeHatchingOverlay(), at("3.jpg"), kOverlayQuality, kFullChroma);
    writeJpeg(makeFlowerOverlay(), at("4.jpg"), kOverlayQuality, kFullChroma);
    writeJpeg(makeHopOverlay(bold), at("5.jpg"), kOverlayQuality, kFullChroma);
    writeJpeg(makeFrameOverlay(), at("overlay 01.jpg"), kOverlayQuality, kFullChroma);
    writeJpeg(makeScopeOverlay(), at("overlay 02.jpg"), kOverlayQuality, kFullChroma);
    writeJpeg(makeEggGridOverlay(), at("overlay 03.jpg"), kOverlayQuality, kFullChroma);
    writeJpeg(makeRabbitOverlay(), at("overlay 04.jpg"), kOverlayQuality, kFullChroma);
    writeJpeg(makeGardenOverlay(), at("hore.jpg"), kOverlayQuality, kFullChroma);

    writeJpeg(makeTitleCard(bold, "PÅSKE", "", {255, 214, 70}, {60, 30, 90}), at("påske_påske.jpg"),
              kCardQuality, kFullChroma);
    writeJpeg(makeTitleCard(bold, "HAPPY", "PÅSKE", {255, 150, 190}, {50, 20, 60}),
              at("påske_happy.jpg"), kCardQuality, kFullChroma);
    writeJpeg(makeTitleCard(bold, "DANS", "PÅSKE", {120, 220, 255}, {20, 30, 80}),
              at("påske_ddr.jpg"), kCardQuality, kFullChroma);
    writeJpeg(makeTitleCard(bold, "FRAKTAL", "PÅSKE", {170, 240, 130}, {20, 60, 30}),
              at("påske_frak.jpg"), kCardQuality, kFullChroma);

    writeJpeg(makeCreditCard(narrow, "graphics", "dallik", {255, 200, 80}), at("dallik.jpg"),
              kCardQuality, kFullChroma);
    writeJpeg(makeCreditCard(narrow, "code", "kvisthare", {120, 220, 255}), at("code.jpg"),
              kCardQuality, kFullChroma);
    writeJpeg(makeCreditCard(narrow, "3d & egg", "sonnaby", {255, 130, 170}), at("sonnaby.jpg"),
              kCardQuality, kFullChroma);
    writeJpeg(makeCreditCard(narrow, "music", "tolvik", {170, 255, 140}), at("tolvik.jpg"),
              kCardQuality, kFullChroma);
    writeJpeg(makeCreditCard(narrow, "catering", "beer", {255, 180, 60}), at("beer.jpg"),
              kCardQuality, kFullChroma);
    writeJpeg(makeCreditCard(narrow, "design", "vorrel", {210, 160, 255}), at("vorrel.jpg"),
              kCardQuality, kFullChroma);

    writeJpeg(makeClosingPicture(bold), at("siste.jpg"), kCardQuality, kFullChroma);

    writeTextFile(makeEggScene(), at("eggz.txt"));
    writeTextFile(makeEggLight(), at("lys.txt"));

    closeLettering(narrow);
    closeLettering(bold);
    return 0;
}
