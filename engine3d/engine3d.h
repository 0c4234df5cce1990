// The 3D engine: matrices, the scene and light files, the world, the lit mesh renderer, the
// z-buffered Gouraud rasterizer and the wireframe and point renderers.
//
// Usage, as the show's 3D scene calls it:
//
//   World* world = createWorld(1, 1);                          // at start-up
//   if (SceneObject* egg = loadScene("data/eggz.txt")) { world->Objects[0] = *egg; delete egg; }
//   if (Light* lamp = loadLight("data/lys.txt")) { world->Lights[0] = *lamp; delete lamp; }
//
//   SceneObject& obj = world->Objects[0];                      // every frame
//   matIdentity(&obj.PosMatrix);
//   matTranslate(&obj.PosMatrix, 50 * s1, -30 - 50 * s0, 180);
//   matIdentity(&obj.RotMatrix);
//   matRotate(&obj.RotMatrix, 0.1 * t, 0.1 * t, t);
//   renderWorld(pictureArea, depthBuffer, world);              // advances the depth bias too
#pragma once

#include <cstdint>

#include "assets/assets.h"
#include "effects/pixel.h"

// ---------------------------------------------------------------------------------------------
// Records

// A point or direction.
struct Vec3 {
    float x, y, z;  // any unit; the engine looks from the origin along +z
};

// 4x4 transform, row-major (element 4 * row + column), for column vectors:
//   x' = m[0] x + m[1] y + m[2] z + m[3]   (translation in m[3], m[7], m[11];
//   y' = m[4] x + m[5] y + m[6] z + m[7]    the bottom row stays 0 0 0 1)
//   z' = m[8] x + m[9] y + m[10] z + m[11]
struct Matrix4 {
    float m[16];
};

// A projected, lit vertex as the rasterizer takes it.
struct ScreenVertex {
    int32_t X;  // column in the target; the rasterizer draws triangles within -32767..32767
    int32_t Y;  // row in the target; same range
    float R;    // lit red, 0.0..1.0
    float G;    // lit green, 0.0..1.0
    float B;    // lit blue, 0.0..1.0
    float Z;    // eye-space depth (the projection's divisor), > 0; the rasterizer uses 1/Z
};

struct MeshVertex {
    Vec3 Pos;     // position (object space in Verts, eye space in XVerts)
    Vec3 Normal;  // unit vertex normal, or (0, 0, 0) where none is defined
};

struct MeshFace {
    int32_t V0, V1, V2;  // indices into the mesh's Verts, 0..NumVerts-1, in file order
    int32_t Drawn;       // 1 when the last render kept the face (1 after loading)
    int32_t MatId;       // index into the object's Materials, or -1 for "no material" (blue)
    Vec3 Normal;         // unit face normal (P2-P0) x (P1-P0), or (0, 0, 0) for a zero-area face
};

// Per vertex and render: whether the vertex is projected and lit yet, and by which material.
struct LitMark {
    int32_t Lit;    // 0 or 1
    int32_t MatId;  // MatId of the face that lit the vertex
};

struct Material {
    float AmbColor[3];  // ambient r, g, b, normally 0..1
    float DifColor[3];  // diffuse r, g, b, normally 0..1
    float SpeColor[3];  // specular r, g, b, normally 0..1
    float AmbCoef;      // ambient weight (read from the file as an integer)
    float DifCoef;      // diffuse weight
    float SpeCoef;      // specular weight
    float Shininess;    // specular exponent, always 50.0 after loading
};

struct Mesh {
    int32_t NumFaces;           // >= 0
    int32_t NumVerts;           // >= 0
    MeshVertex* Verts;          // NumVerts placed vertices with normals
    MeshVertex* XVerts;         // NumVerts, the renderer's transformed vertices
    ScreenVertex* ScreenVerts;  // NumVerts, the renderer's projected and lit vertices
    MeshFace* Faces;            // NumFaces triangles
    LitMark* LitMarks;          // NumVerts, the renderer's per-render marks
};

// One object of a scene file; owns its meshes and materials.
struct SceneObject {
    int32_t NumMesh;      // >= 0
    int32_t NumMat;       // >= 0
    Mesh* Meshes;         // NumMesh meshes
    Material* Materials;  // NumMat materials
    Matrix4 RotMatrix;    // spin, applied to the vertices first
    Matrix4 PosMatrix;    // placement, applied second
    Matrix4 ObjMatrix;    // PosMatrix x RotMatrix, rebuilt by every render
};

struct Light {
    float LightColor[3];  // r, g, b: the file's integers / 255, not clamped
    Vec3 LightPos;        // position, eye space
    int32_t Radius;       // reach; lighting reads it as unsigned 32-bit
};

// The root record the renderer draws: objects and lights by value, and the eye.
struct World {
    int32_t NumObj;        // object slots
    int32_t NumLight;      // light slots
    SceneObject* Objects;  // NumObj objects, zeroed at creation (an empty object draws nothing)
    Light* Lights;         // NumLight lights, zeroed at creation
    Matrix4 WorldMatA;     // identity; not used in rendering
    Matrix4 WorldMatB;     // identity; not used in rendering
    Matrix4 WorldMatC;     // identity; not used in rendering
    Vec3 Eye;              // eye for culling and lighting, (0, 0, 1) at creation
};

// Bounds the loaders accept. Counts beyond them are taken for a damaged file.
constexpr int32_t kMaxSceneMeshes = 4096;
constexpr int32_t kMaxSceneMaterials = 4096;
constexpr int32_t kMaxMeshVerts = 1 << 20;
constexpr int32_t kMaxMeshFaces = 1 << 20;

// Depth buffer: reciprocal depth plus the render's bias, 512 x 384 floats, larger is nearer.
constexpr int kDepthValues = 0x30000;
static_assert(kDepthValues == kScreenPixels);

// ---------------------------------------------------------------------------------------------
// Matrices and vectors (math.cpp). Arithmetic in double from the float inputs; every stored
// element is rounded to float once. In-place updates multiply on the right: m = m x X.

// m becomes the identity.
void matIdentity(Matrix4* m);
// dst = src (source first).
void matCopy(const Matrix4* src, Matrix4* dst);
// out = a x b; out must be a third matrix.
void matMultiply(const Matrix4* a, const Matrix4* b, Matrix4* out);
// out = a x b with a's fourth column taken as zero; out must be a third matrix.
void matMultiplyLinear(const Matrix4* a, const Matrix4* b, Matrix4* out);
// m = m x R(ax, ay, az), angles in radians (R turns by -az about z, -ay about y, -ax about x).
void matRotate(Matrix4* m, float ax, float ay, float az);
// m = m x T(x, y, z).
void matTranslate(Matrix4* m, float x, float y, float z);
// m = m x S(x, y, z).
void matScale(Matrix4* m, float x, float y, float z);
// Writes the translation elements 3, 7, 11; nothing else changes.
void matSetTranslation(Matrix4* m, float x, float y, float z);
// Scales each row of the 3x3 block to unit length; a zero row stays zero.
void matNormalizeRows(Matrix4* m);
// Writes the 3x3 block of the (unnormalised) quaternion's inverse rotation; the rest stays.
void matFromQuaternion(Matrix4* m, float x, float y, float z, float w);
// out = m applied to the point (x, y, z, 1).
void matTransformPoint(const Matrix4* m, Vec3* out, float x, float y, float z);
// out[0..2] = m applied to the point p, out[3..5] = the 3x3 block applied to the direction n.
void matTransformPointAndNormal(const Matrix4* m, float* out, float px, float py, float pz,
                                float nx, float ny, float nz);
// The 3x3 block applied to (x, y, z).
Vec3 matRotateVector(const Matrix4* m, float x, float y, float z);
// out = the 3x3 block of m applied to (x, y, z).
void rotateVectorBy(float x, float y, float z, Vec3* out, const Matrix4* m);
// out = (x, y, z, 1) times m read transposed (translation taken from elements 12..14).
void matTransformPointTransposed(float x, float y, float z, Vec3* out, const Matrix4* m);
// ax bx + ay by + az bz.
float dot3(float ax, float ay, float az, float bx, float by, float bz);

// ---------------------------------------------------------------------------------------------
// Scene files (scene_loader.cpp). Console lines go to stdout; a damaged file is refused with a
// message on stderr naming the file and the fault.

// Reads a scene file into a new SceneObject (owned arrays, identity matrices); nullptr when the
// file is missing or damaged. Delete the record after copying it; its arrays go with the copy.
SceneObject* loadScene(const char* path);
// As loadScene, from a text already in memory; path only names it in messages.
SceneObject* loadSceneFromText(const Text& text, const char* path);
// Sets every vertex normal to the normalised sum of its faces' (P1-P0) x (P2-P0).
void computeVertexNormals(SceneObject* object);
// Sets every face normal to the normalised (P2-P0) x (P1-P0).
void computeFaceNormals(SceneObject* object);

// ---------------------------------------------------------------------------------------------
// Lights and the world (light_world.cpp)

// Reads a light file into a new Light; nullptr when the file is missing or damaged.
Light* loadLight(const char* path);
// As loadLight, from a text already in memory; path only names it in messages.
Light* loadLightFromText(const Text& text, const char* path);
// A new World with zeroed object and light slots; nullptr for a negative count.
World* createWorld(int32_t numObj, int32_t numLight);
// Releases the world's objects and slot arrays and empties it; the record stays the caller's.
void FreeWorld(World* world);
// Frees one object's mesh and material arrays and zeroes its counts.
void releaseSceneObject(SceneObject* object);
// Sets every field of the light to zero.
void clearLight(Light* light);

// ---------------------------------------------------------------------------------------------
// The mesh renderer (render.cpp). The depth bias is the renderer's own process-wide state.

// Draws every object of world into target (pitch 512, rows 0..256) against depth (0x30000
// floats), culling, lighting and projecting, then advances the depth bias.
void renderWorld(Pixel* target, float* depth, World* world);
// Every vertex of Verts through m into XVerts, last first: the position with the translation,
// the normal by the 3x3 part only (not renormalised).
void transformMeshVertices(Mesh* mesh, const Matrix4* m);
// Perspective divide: X = trunc(x / z * focal) + 256, Y = trunc(y / z * focal) + 194, Z = z.
// Leaves R, G, B alone. Results beyond +-2^30 are held there (far off the target).
void projectVertex(int32_t focal, ScreenVertex* screen, const MeshVertex& vertex);
// Writes the vertex colour R, G, B (each 0..1, never NaN) from the material and the lights.
void lightVertex(const Vec3& eye, const Material* material, const MeshVertex* vertex,
                 ScreenVertex* screen, const Light* lights, int32_t lightCount, int32_t matId);
// Adds 1 to the depth bias; past 65536 clears depth (0x30000 floats) and returns it to 0.
void advanceDepthBias(float* depth);
// The bias every depth stored by the current render carries.
float currentDepthBias();
// Returns the bias to 0 (start of the program; tests).
void resetDepthBias();

// ---------------------------------------------------------------------------------------------
// The rasterizer (raster.cpp)

// Fills the triangle a, b, c into target (pitch 512, rows 0..256) against depth with Gouraud
// colours, rows above the target landing on row 0. Draws nothing when a coordinate lies
// outside -32767..32767.
void drawGouraudTriangle(Pixel* target, float* depth, const ScreenVertex& a, const ScreenVertex& b,
                         const ScreenVertex& c);
// Fills columns x1..x2-1 (ends in either order) of row y (< 0 means 0, > 256 nothing) where
// the interpolated depth beats the stored one; dropped whole unless both ends lie in 1..510.
// Colours are 0..255 (clamped to it).
void drawDepthSpan(Pixel* target, float* depth, int32_t x1, int32_t x2, int32_t y, float w1,
                   float w2, int32_t r1, int32_t g1, int32_t b1, int32_t r2, int32_t g2,
                   int32_t b2);
// Exchanges two integers.
void swapInts(int32_t& p, int32_t& q);
// Exchanges two floats.
void swapFloats(float& p, float& q);
// Exchanges two bytes.
void swapBytes(uint8_t& p, uint8_t& q);

// ---------------------------------------------------------------------------------------------
// Wireframe and point renderers (wireframe.cpp): one colour, no lighting, culling or depth.

// Draws the three edges of every face of object into target (512 x 256).
void renderObjectWireframe(Pixel* target, SceneObject* object, Pixel colour);
// Plots every vertex of object into target (512 x 256).
void renderObjectPoints(Pixel* target, SceneObject* object, Pixel colour);
// Draws the line p -> q (X and Y only) with ends clamped to columns 0..510, rows 1..254; the
// end q is not drawn.
void drawLine(Pixel* target, const ScreenVertex& p, const ScreenVertex& q, Pixel colour);
// Sets the pixel at p when it lies in the 512 x 256 target.
void plotPoint(Pixel* target, const ScreenVertex& p, Pixel colour);
