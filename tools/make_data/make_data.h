// The records and operations shared by the data generator: canvases, masks, lettering, JPEG output.
#pragma once

// Usage (how main.cpp builds one picture):
//
//   Canvas card = makeCanvas(100, 56, kCardYellow);
//   Lettering font = openLettering(kBoldFont);
//   Mask word = letteringMask(card.width, card.height, font, "PÅSKE", 50, 38, 30, kSmooth);
//   paintMask(card, dilateMask(word, 2), kInk);
//   writeJpeg(card, outputDir + "/påske_påske.jpg", 92, kFullChroma);
//
// Everything here is deterministic: no clocks, no random state outside the seeds passed in,
// so the same build writes the same bytes on every run.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A colour of three 0..255 channels, the way the pictures are stored.
struct Rgb {
    uint8_t r;
    uint8_t g;
    uint8_t b;
};

// A picture being painted: top row first, three bytes per pixel (red, green, blue).
struct Canvas {
    int width;                 // columns, > 0
    int height;                // rows, > 0
    std::vector<uint8_t> rgb;  // width * height * 3 bytes
};

// How much of each pixel a shape or lettering covers, 0.0 (none) to 1.0 (all).
struct Mask {
    int width;                    // columns, same as the canvas it is painted on
    int height;                   // rows
    std::vector<float> coverage;  // width * height values in 0..1
};

// Whether shapes and lettering get soft (antialiased) or hard (all-or-nothing) edges. Overlays
// cut by a colour key need hard edges: a soft edge is a ring of in-between values right at the key.
enum EdgeMode { kHard, kSmooth };

// JPEG chroma layout: full resolution (4:4:4) keeps colour edges where they are drawn; halved
// (4:2:0) is fine for smooth textures.
enum ChromaMode { kFullChroma, kHalfChroma };

// A picture with how much of each pixel it covers, for formats that keep transparency.
struct Icon {
    Canvas picture;              // the colours; pixels with alpha 0 are don't-care
    std::vector<uint8_t> alpha;  // width * height values, 0 (clear) to 255 (opaque)
};

// A FreeType face opened on one font file; owned through openLettering/closeLettering.
struct Lettering {
    void* library;  // FT_Library
    void* face;     // FT_Face
};

// A point inside a shape, in pixel coordinates (x right, y down; pixel centres at +0.5).
using ShapeTest = std::function<bool(double x, double y)>;

constexpr const char* kBoldFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
constexpr const char* kCondensedFont =
    "/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed-Bold.ttf";

// --- canvas.cpp ---

// A canvas of the given size filled with one colour.
Canvas makeCanvas(int width, int height, Rgb fill);

// Sets one pixel; coordinates outside the canvas are ignored.
void putPixel(Canvas& canvas, int x, int y, Rgb colour);

// Reads one pixel (coordinates must lie inside).
Rgb getPixel(const Canvas& canvas, int x, int y);

// The coverage of a shape over the box [x0, x1) x [y0, y1), clipped to the mask; hard edges
// sample each pixel centre once, smooth edges average a 4x4 grid of samples.
Mask shapeMask(int width, int height, const ShapeTest& inside, int x0, int y0, int x1, int y1,
               EdgeMode edges);

// An empty mask of the given size.
Mask emptyMask(int width, int height);

// The mask grown by a disc of the given radius in pixels (each pixel takes the largest coverage
// within the radius).
Mask dilateMask(const Mask& mask, int radius);

// Adds b to a, pixel by pixel, saturating at 1.
void addMask(Mask& a, const Mask& b);

// Takes b out of a, pixel by pixel, down to 0.
void subtractMask(Mask& a, const Mask& b);

// Blends the colour over the canvas by the mask's coverage.
void paintMask(Canvas& canvas, const Mask& mask, Rgb colour);

// Shape tests. Angles in radians, clockwise on screen.
bool insideEllipse(double x, double y, double cx, double cy, double rx, double ry, double angle);
// An egg of the given height, narrow end up (before turning by the angle).
bool insideEgg(double x, double y, double cx, double cy, double height, double angle);
bool insidePolygon(double x, double y, const std::vector<double>& xy);
// A star of `points` tips between the inner and outer radius.
bool insideStar(double x, double y, double cx, double cy, double outer, double inner, int points,
                double angle);

// Hue, saturation, value (all 0..1) to a colour.
Rgb hsv(double hue, double saturation, double value);

// A smooth periodic palette: a + b cos(2 pi (c t + d)) per channel, t any real.
Rgb cosinePalette(double t, const double a[3], const double b[3], const double c[3],
                  const double d[3]);

// Every pixel becomes 255 minus itself: credit cards are stored as their negative.
void invertCanvas(Canvas& canvas);

// --- lettering.cpp ---

// Opens a font file; exits with a message naming the file when it cannot.
Lettering openLettering(const char* fontPath);

// Releases the face and the library.
void closeLettering(Lettering& lettering);

// Width in pixels of the text (UTF-8) at the given pixel size.
int letteringWidth(const Lettering& lettering, const std::string& text, int pixelSize);

// The coverage of the text (UTF-8) with its baseline starting at (x, baseline).
Mask letteringMask(int width, int height, const Lettering& lettering, const std::string& text,
                   int x, int baseline, int pixelSize, EdgeMode edges);

// The same, centred on column centreX.
Mask centredLettering(int width, int height, const Lettering& lettering, const std::string& text,
                      int centreX, int baseline, int pixelSize, EdgeMode edges);

// --- jpeg_writer.cpp ---

// Writes the canvas as a baseline JPEG of the given quality (1..100); exits with a message
// naming the file when it cannot be written.
void writeJpeg(const Canvas& canvas, const std::string& path, int quality, ChromaMode chroma);

// --- png_writer.cpp ---

// Writes the icon as an 8-bit RGBA PNG; exits with a message naming the file when it cannot.
void writePng(const Icon& icon, const std::string& path);

// --- icon.cpp ---

// The program's icon, size x size: an egg painted with the plasma and marble textures.
Icon makeIcon(int size);

// --- textures.cpp ---

// "colors.jpg": a plasma that tiles at 512 x 256.
Canvas makeColorsTexture();
// "tex.jpg": a marbled backdrop that tiles at 512 x 256.
Canvas makeMarbleTexture();
// "fraq.jpg", "frak.jpg", "frac.jpg": Mandelbrot, Julia and burning-ship views, 512 x 256.
Canvas makeMandelbrot();
Canvas makeJulia();
Canvas makeBurningShip();

// --- overlays.cpp ---

// Overlays that keep their dark pixels: black art on a light ground.
Canvas makeMeadowOverlay(const Lettering& font);  // "1.jpg"
Canvas makeEggRowOverlay();                       // "2.jpg"
Canvas makeHatchingOverlay();                     // "3.jpg"
Canvas makeFrameOverlay();                        // "overlay 01.jpg"
Canvas makeScopeOverlay();                        // "overlay 02.jpg"
Canvas makeEggGridOverlay();                      // "overlay 03.jpg"
Canvas makeRabbitOverlay();                       // "overlay 04.jpg"
// Overlays that keep their light pixels: light art on black.
Canvas makeFlowerOverlay();                    // "4.jpg"
Canvas makeHopOverlay(const Lettering& font);  // "5.jpg"
Canvas makeGardenOverlay();                    // "hore.jpg"

// --- cards.cpp ---

// A title card about 100 x 56 with the given words (one or two lines).
Canvas makeTitleCard(const Lettering& font, const std::string& top, const std::string& bottom,
                     Rgb ground, Rgb ink);
// A 150 x 100 credit card (role above, handle below), already stored as its negative.
Canvas makeCreditCard(const Lettering& font, const std::string& role, const std::string& handle,
                      Rgb tint);
// "siste.jpg": the closing picture.
Canvas makeClosingPicture(const Lettering& font);

// --- egg_mesh.cpp ---

// The text of "eggz.txt": one banded egg mesh and its materials.
std::string makeEggScene();
// The text of "lys.txt": the point light of the egg scene.
std::string makeEggLight();

// Writes text to a file; exits with a message naming the file when it cannot.
void writeTextFile(const std::string& text, const std::string& path);
