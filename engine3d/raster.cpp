// The z-buffered Gouraud triangle rasterizer: triangles cut into depth-tested spans.
#include <utility>

#include "engine3d/engine3d.h"
#include "engine3d/exact_float.h"

namespace {

// Edge columns are 16.16 fixed point. They are held in unsigned words so that stepping and the
// shifts into place wrap like the hardware instead of overflowing a signed type; read back as
// signed, the running value is exact because it always lies between the edge's two ends.
using Fixed16 = uint32_t;
constexpr int kFractionBits = 16;

constexpr int32_t kLastRow = 256;          // the first row below it ends the triangle
constexpr int32_t kFirstColumn = 1;        // spans starting left of it are dropped
constexpr int32_t kLastColumn = 510;       // spans ending right of it are dropped
constexpr int32_t kMaxCoordinate = 32767;  // a column shifted into 16.16 must fit 32 bits

struct Edge {
    Fixed16 column, columnStep;
    float depth, depthStep;  // reciprocal depth plus the render's bias
    float r, g, b;           // 0..1
    float rStep, gStep, bStep;
};

Fixed16 toFixed(int32_t column) {
    return static_cast<Fixed16>(column) << kFractionBits;
}

// Whole column of a 16.16 value: the arithmetic shift rounds toward minus infinity.
int32_t wholeColumn(Fixed16 column) {
    return static_cast<int32_t>(column) >> kFractionBits;
}

// A corner of the triangle with its reciprocal depth 1 / Z in double, divided out once for the
// up to three edges and restarts that use it.
struct Corner {
    const ScreenVertex& v;
    double reciprocalZ;
};

Corner cornerOf(const ScreenVertex& v) {
    return {v, 1.0 / v.Z};
}

// The per-row steps from corner p to q over h > 0 rows. The column step is taken in 64 bits: for
// ends up to 32767 apart it is the 32-bit quotient exactly, and wider edges still walk true.
void setSteps(Edge& e, const Corner& pc, const Corner& qc, int32_t h) {
    const ScreenVertex& p = pc.v;
    const ScreenVertex& q = qc.v;
    int64_t wide = (int64_t{q.X} - p.X) * (int64_t{1} << kFractionBits);
    e.columnStep = static_cast<Fixed16>(wide / h);
    e.depthStep = float((qc.reciprocalZ - pc.reciprocalZ) / h);
    e.rStep = float((double(q.R) - p.R) / h);
    e.gStep = float((double(q.G) - p.G) / h);
    e.bStep = float((double(q.B) - p.B) / h);
}

void startAt(Edge& e, const Corner& pc, float bias) {
    const ScreenVertex& p = pc.v;
    e.column = toFixed(p.X);
    e.depth = float(pc.reciprocalZ + bias);
    e.r = p.R;
    e.g = p.G;
    e.b = p.B;
}

// The long edge at row A.Y + k, computed afresh from A rather than carried from the upper half.
void restartAt(Edge& e, const Corner& ac, int32_t k, float bias) {
    const ScreenVertex& a = ac.v;
    e.column = static_cast<Fixed16>(int64_t{static_cast<int32_t>(toFixed(a.X))} +
                                    int64_t{static_cast<int32_t>(e.columnStep)} * k);
    e.depth = float((ac.reciprocalZ + double(k) * e.depthStep) + bias);
    e.r = float(a.R + double(k) * e.rStep);
    e.g = float(a.G + double(k) * e.gStep);
    e.b = float(a.B + double(k) * e.bStep);
}

void step(Edge& e) {
    e.column += e.columnStep;
    e.depth += e.depthStep;
    e.r += e.rStep;
    e.g += e.gStep;
    e.b += e.bStep;
}

// An edge colour on the 0..255 scale, truncated. In-range colours truncate as they are; the
// clamp only keeps wild input away from an undefined float-to-int conversion.
int32_t colourByte(float c) {
    double v = double(c) * 255.0;
    if (!(v > 0.0)) return 0;
    if (v >= 255.0) return 255;
    return static_cast<int32_t>(v);
}

// float(double(difference) / n) for a colour difference of at most 255 either way over a span of
// 1..509 columns, by one product with 1.0 / n instead of a division per channel. The float is the
// same: difference / n is never a float rounding midpoint (that would need a denominator of 2^17
// or more), and stays at least 2^-34 of its size away from every midpoint, far beyond the 2^-52
// the product's two roundings can move it. The engine test checks every pair.
constexpr int32_t kLongestSpan = 509;
static_assert(kLastColumn - kFirstColumn <= kLongestSpan, "colourStep is exact up to 509 columns");
float colourStep(int32_t difference, double perColumn) {
    return float(double(difference) * perColumn);
}

int32_t clampByte(int32_t v) {
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}

// drawDepthSpan, inlined into the row walk: the egg's spans are short, and a call with thirteen
// arguments for each was a few per cent of its render.
__attribute__((always_inline)) inline void depthSpan(Pixel* target, float* depth, int32_t x1,
                                                     int32_t x2, int32_t y, float w1, float w2,
                                                     int32_t r1, int32_t g1, int32_t b1, int32_t r2,
                                                     int32_t g2, int32_t b2) {
    if (x1 == x2) return;
    if (x1 > x2) {
        std::swap(x1, x2);
        std::swap(w1, w2);
        std::swap(r1, r2);
        std::swap(g1, g2);
        std::swap(b1, b2);
    }
    // Spans are dropped whole rather than clipped: the outermost columns are never drawn.
    if (x1 < kFirstColumn || x2 > kLastColumn || y > kLastRow) return;
    // Rows above the target pile onto row 0; each such span is still depth-tested on its own.
    if (y < 0) y = 0;
    // In-range colours keep the running channels within -1..256 after at most 509 float
    // steps, so every truncation below is a byte.
    r1 = clampByte(r1), g1 = clampByte(g1), b1 = clampByte(b1);
    r2 = clampByte(r2), g2 = clampByte(g2), b2 = clampByte(b2);
    int32_t n = x2 - x1;
    float wStep = float((double(w2) - w1) / n);
    const double perColumn = 1.0 / n;
    float rStep = colourStep(r2 - r1, perColumn);
    float gStep = colourStep(g2 - g1, perColumn);
    float bStep = colourStep(b2 - b1, perColumn);
    float w = w1;
    float r = float(r1), g = float(g1), b = float(b1);
    Pixel* pixels = target + y * kPitch;
    float* depths = depth + y * kPitch;
    for (int32_t x = x1; x < x2; ++x) {
        // Strictly greater: at equal depth the pixel drawn first stays.
        if (w > depths[x]) {
            pixels[x] = (static_cast<Pixel>(static_cast<int32_t>(r)) << 16) |
                        (static_cast<Pixel>(static_cast<int32_t>(g)) << 8) |
                        static_cast<Pixel>(static_cast<int32_t>(b));
            depths[x] = w;
        }
        w += wStep;
        r += rStep;
        g += gStep;
        b += bStep;
    }
}

// Walks rows from..to-1 between the long and the short edge. Rows whose span would be dropped
// cost only the edge steps (the depth and colour sums must still advance row by row to stay
// exact). Returns false once a row lies below the target, which ends the triangle.
bool walkRows(Pixel* target, float* depth, Edge& longEdge, Edge& shortEdge, int32_t from,
              int32_t to) {
    for (int32_t y = from; y < to; ++y) {
        if (y > kLastRow) return false;
        int32_t x1 = wholeColumn(longEdge.column);
        int32_t x2 = wholeColumn(shortEdge.column);
        int32_t left = x1 < x2 ? x1 : x2;
        int32_t right = x1 < x2 ? x2 : x1;
        if (left != right && left >= kFirstColumn && right <= kLastColumn) {
            depthSpan(target, depth, x1, x2, y, longEdge.depth, shortEdge.depth,
                      colourByte(longEdge.r), colourByte(longEdge.g), colourByte(longEdge.b),
                      colourByte(shortEdge.r), colourByte(shortEdge.g), colourByte(shortEdge.b));
        }
        step(longEdge);
        step(shortEdge);
    }
    return true;
}

bool inRange(const ScreenVertex& v) {
    return v.X >= -kMaxCoordinate && v.X <= kMaxCoordinate && v.Y >= -kMaxCoordinate &&
           v.Y <= kMaxCoordinate;
}

}  // namespace

void swapInts(int32_t& p, int32_t& q) {
    int32_t t = p;
    p = q;
    q = t;
}

void swapFloats(float& p, float& q) {
    float t = p;
    p = q;
    q = t;
}

void swapBytes(uint8_t& p, uint8_t& q) {
    uint8_t t = p;
    p = q;
    q = t;
}

void drawDepthSpan(Pixel* target, float* depth, int32_t x1, int32_t x2, int32_t y, float w1,
                   float w2, int32_t r1, int32_t g1, int32_t b1, int32_t r2, int32_t g2,
                   int32_t b2) {
    depthSpan(target, depth, x1, x2, y, w1, w2, r1, g1, b1, r2, g2, b2);
}

void drawGouraudTriangle(Pixel* target, float* depth, const ScreenVertex& a, const ScreenVertex& b,
                         const ScreenVertex& c) {
    // Beyond these bounds a column no longer fits 16.16 in 32 bits, and rows this far off the
    // target would only cost time; such triangles come from vertices near the eye plane.
    if (!inRange(a) || !inRange(b) || !inRange(c)) return;
    const ScreenVertex* top = &a;
    const ScreenVertex* mid = &b;
    const ScreenVertex* bottom = &c;
    // Three compare-exchanges; equal rows keep their order.
    if (mid->Y > bottom->Y) std::swap(mid, bottom);
    if (top->Y > bottom->Y) std::swap(top, bottom);
    if (top->Y > mid->Y) std::swap(top, mid);
    if (top->Y == bottom->Y) return;
    const Corner A = cornerOf(*top);
    const Corner B = cornerOf(*mid);
    const Corner C = cornerOf(*bottom);

    float bias = currentDepthBias();
    Edge longEdge;
    Edge shortEdge;
    setSteps(longEdge, A, C, C.v.Y - A.v.Y);
    if (B.v.Y != A.v.Y) {
        setSteps(shortEdge, A, B, B.v.Y - A.v.Y);
        startAt(longEdge, A, bias);
        startAt(shortEdge, A, bias);
        if (!walkRows(target, depth, longEdge, shortEdge, A.v.Y, B.v.Y)) return;
    }
    if (C.v.Y != B.v.Y) {
        setSteps(shortEdge, B, C, C.v.Y - B.v.Y);
        restartAt(longEdge, A, B.v.Y - A.v.Y, bias);
        startAt(shortEdge, B, bias);
        walkRows(target, depth, longEdge, shortEdge, B.v.Y, C.v.Y);
    }
}
