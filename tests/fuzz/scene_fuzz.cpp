// Fuzzes the scene file loader, then draws whatever it accepts with every renderer.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "engine3d/engine3d.h"

namespace {

// The loader's console lines would drown the fuzzer; its refusals are buffered, and crash
// reports go straight to the file descriptor, so nothing of value is lost.
void quietConsole() {
    if (!std::freopen("/dev/null", "w", stdout)) std::abort();
    static char buffer[1 << 16];
    std::setvbuf(stderr, buffer, _IOFBF, sizeof buffer);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    quietConsole();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::vector<Pixel> target(kScreenPixels);
    static std::vector<float> depth(kDepthValues);
    Text text = makeText(data, size);
    SceneObject* object = loadSceneFromText(text, "fuzz-scene.txt");
    releaseText(text);
    if (!object) return 0;
    for (int32_t i = 0; i < object->NumMesh; ++i) {
        const Mesh& mesh = object->Meshes[i];
        for (int32_t k = 0; k < mesh.NumFaces; ++k) {
            const MeshFace& f = mesh.Faces[k];
            if (f.V0 < 0 || f.V0 >= mesh.NumVerts || f.V1 < 0 || f.V1 >= mesh.NumVerts ||
                f.V2 < 0 || f.V2 >= mesh.NumVerts || f.MatId < -1 || f.MatId >= object->NumMat) {
                std::abort();  // the loader must refuse such a face
            }
        }
    }
    World* world = createWorld(1, 1);
    world->Objects[0] = *object;
    world->Lights[0] = Light{{1, 1, 1}, {0, 50, 0}, 300};
    SceneObject& obj = world->Objects[0];
    matTranslate(&obj.PosMatrix, 0, -30, 180);
    matRotate(&obj.RotMatrix, 0.3f, 0.2f, 1.0f);
    renderWorld(target.data(), depth.data(), world);
    renderObjectWireframe(target.data(), &obj, 0xFFFFFF);
    renderObjectPoints(target.data(), &obj, 0xFF00FF);
    for (uint32_t p : target) {
        if (p > 0xFFFFFF) std::abort();  // a pixel with its top byte set: a colour overflowed
    }
    FreeWorld(world);
    delete world;
    delete object;
    return 0;
}
