// Fuzzes the light file loader, then lights a few vertices with whatever it accepts.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>

#include "engine3d/engine3d.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The console lines would drown the fuzzer; crash reports bypass stdio.
    if (!std::freopen("/dev/null", "w", stdout)) std::abort();
    static char buffer[1 << 16];
    std::setvbuf(stderr, buffer, _IOFBF, sizeof buffer);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Text text = makeText(data, size);
    Light* light = loadLightFromText(text, "fuzz-light.txt");
    releaseText(text);
    if (!light) return 0;
    const Material material{{0.1f, 0.1f, 0.1f}, {0.8f, 0.5f, 0.2f}, {1, 1, 1}, 1, 0.7f, 0.3f, 50};
    const MeshVertex vertices[] = {{{0, 0, 180}, {0, 0, -1}},
                                   {{10, -20, 150}, {0.6f, 0.8f, 0}},
                                   {light->LightPos, {0, 1, 0}},
                                   {{0, 0, 1}, {0, 0, 1}}};
    for (const MeshVertex& v : vertices) {
        ScreenVertex s{};
        lightVertex(Vec3{0, 0, 1}, &material, &v, &s, light, 1, 0);
        for (float c : {s.R, s.G, s.B}) {
            if (!(c >= 0.0f && c <= 1.0f)) std::abort();  // NaN or out of range
        }
    }
    delete light;
    return 0;
}
