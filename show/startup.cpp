// Start-up: loading and checking the material, before anything is shown or heard.
#include "show/startup.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "effects/effects.h"
#include "output/timings.h"
#include "platform/os_files.h"

bool prepareShow(ShowState* state, ShowAssets* assets, FrameBuffers buffers) {
    std::memset(state, 0, sizeof *state);
    std::memset(assets, 0, sizeof *assets);
    state->buffers = buffers;
    state->assets = assets;

    loadShowAssets(assets);
    markTiming("pictures, scene and light loaded");
    // Every asset is checked before the display opens, so a broken data folder gives one clear
    // list of what is wrong instead of a show with holes (or a crash) in it.
    const std::string problems = checkShowAssets(assets);
    if (!problems.empty()) {
        std::fflush(stdout);
        const std::string folder = currentFolder();
        const char* where = folder.empty() ? "." : folder.c_str();
        const char* slash = std::strcmp(where, "/") == 0 ? "" : "/";
        std::fprintf(stderr, "brindlehop: the data folder %s%sdata is not usable:\n%s", where,
                     slash, problems.c_str());
        return false;
    }
    invertCreditPictures(assets);
    fillWords(buffers.depth, 0, kScreenPixels);
    markTiming("material checked and prepared");
    return true;
}
