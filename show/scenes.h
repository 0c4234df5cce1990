// The six scenes of the show: what each frame of each scene draws, and when each scene ends.
#pragma once

#include <cstdint>

#include "music/fft.h"
#include "show/asset_table.h"
#include "show/buffers.h"

constexpr int kSceneCount = 6;

// What the scenes read and keep between frames.
struct ShowState {
    FrameBuffers buffers;           // where the frames are built
    ShowAssets* assets;             // pictures, grid and world, loaded at start-up
    float musicTime;                // seconds of music heard, refreshed once per frame
    float spectrum[kSpectrumBins];  // bass first; scenes test bins 0, 1, 2, 3, 5 and 6
    int32_t beatCounter;            // overlay choice of scenes 1, 2 and 4
    int32_t textureCounter;         // texture choice of scene 4
    bool pictureClearOwed;          // scene 3 or 5 finished a frame; see finishSceneFrame
};

// True while scene (1..6) runs on: its end time not passed, read as 32-bit floats; the last
// scene also goes on while the lowest bin is exactly 0 (the music has not yet ended).
bool sceneContinues(int scene, float musicTime, float lowestBin);

// What happens once as a scene (1..6) begins: its counters start at 0; before the credits the
// work layer's picture and pictureArea are cleared.
void enterScene(ShowState* state, int scene);

// Draws one frame of scene (1..6) into the buffers, from musicTime and spectrum.
void drawSceneFrame(ShowState* state, int scene);

// What happens after a frame of scene (1..6) is presented: scenes 3 and 5 clear the picture,
// and scene 3 the 5000 pixels below it. The picture itself is cleared when the next frame is
// drawn, and only if that frame is of another scene: scenes 3 and 5 draw over all of it first.
void finishSceneFrame(ShowState* state, int scene);

// value truncated toward zero, saturated at the 32-bit range (NaN gives 0).
int32_t truncToInt32(double value);

// Column of a title card with window start a at time t (a <= t <= a + 14), before the beat
// rule of scene 5: sliding in, resting at 410, sliding out.
int32_t titleCardColumn(float t, int32_t a);

// Draws a title card with window start a (seconds) if t lies in its window; with restOnBeatOnly
// the resting card shows only on frames with a bass beat (30 x s0 >= 1.5), so it flashes.
void drawTitleCard(ShowState* state, PictureId card, int32_t a, bool restOnBeatOnly);

// The 3D scene's frame (scene 3), in scene3d.cpp.
void drawEggSceneFrame(ShowState* state);
