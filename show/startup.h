// Start-up steps shared by every way of running the show.
#pragma once

#include "show/scenes.h"

// Loading, steps 1 to 7: world, pictures, grid, scene and light files (with their console
// lines), the check of all of it, the credit inversion and the cleared depth buffer. false after
// printing every problem to stderr, in which case the show must not start.
bool prepareShow(ShowState* state, ShowAssets* assets, FrameBuffers buffers);
