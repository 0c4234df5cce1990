// The 3D scene: a rippled, bass-blurred backdrop, a keyed picture over it, and the egg in front.
#include "effects/effects.h"
#include "show/music_clock.h"
#include "show/scenes.h"

void drawEggSceneFrame(ShowState* state) {
    const float t = state->musicTime;
    const double s0 = state->spectrum[0];
    const double s1 = state->spectrum[1];
    FrameBuffers& buffers = state->buffers;
    ShowAssets* assets = state->assets;

    // The backdrop drifts 30 texels a second along u and 10 along v, one texel per pixel,
    // rippled from the centre, and takes one to four blur passes by the bass.
    gridSetPlane(assets->mainGrid, 512, 256, truncToInt32(30.0 * t), truncToInt32(10.0 * t));
    gridAddNodes(assets->mainGrid, assets->eggRipple);  // gridAddCosineRipple(0.5, 3), made once
    mapGridWrapped(buffers.work, assets->mainGrid, assets->pictures[kTex]);
    blur2x2(buffers.work);
    if (beat(state->spectrum[0], 1)) blur2x2(buffers.work);
    if (beat(state->spectrum[0], 2)) blur2x2(buffers.work);
    if (beat(state->spectrum[0], 3)) blur2x2(buffers.work);
    // The backdrop copied into the picture with the overlay's pixels above 0x111111 laid over it,
    // in one pass.
    overlayAboveKey(buffers.picture, buffers.work, assets->pictures[kHore]->pixels, 0x111111);

    // The egg sits 180 units away, pushed along x by bin 1 and along y by bin 0, and spins a
    // radian a second about z and a tenth of that about x and y. Its pose is rebuilt from the
    // identity every frame, so nothing accumulates.
    SceneObject& egg = assets->world->Objects[0];
    matIdentity(&egg.PosMatrix);
    matTranslate(&egg.PosMatrix, static_cast<float>(50 * s1), static_cast<float>(-30 - 50 * s0),
                 180);
    matIdentity(&egg.RotMatrix);
    const float tilt = static_cast<float>(0.1 * t);
    matRotate(&egg.RotMatrix, tilt, tilt, t);
    renderWorld(buffers.picture, buffers.depth, assets->world);

    drawTitleCard(state, kCardPaaske, 41, false);
}
