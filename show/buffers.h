// The frame buffers of the show: where each lives, and the process-wide arrays behind them.
#pragma once

#include "effects/pixel.h"

// The buffers one frame is built in. The show uses the process-wide ones (showBuffers); tests
// make their own of the same shape (see FrameBufferStore).
struct FrameBuffers {
    Pixel* screen;       // screenBuffer: 512 x 384 Pixels, the frame that is presented
    Pixel* picture;      // pictureArea: screen + 64 rows, 512 x 256, pitch 512
    Pixel* work;         // workBuffer: 512 x 384 Pixels, the off-screen layer
    const Pixel* black;  // blackBuffer: 512 x 384 Pixels, always 0
    float* depth;        // depthBuffer: 512 x 384 reciprocal depths plus the render's bias
};

// Rows of the target that blitImage may draw into from pictureArea: the rest of screenBuffer.
constexpr int kPictureAreaRows = kScreenHeight - kPictureTop;

// The process-wide buffers, allocated once (zeroed) on first use and kept to the end of the run.
FrameBuffers showBuffers();

// Storage for a set of frame buffers of the show's shape, for tests and tools.
struct FrameBufferStore;
FrameBufferStore* createFrameBufferStore();
FrameBuffers frameBuffersOf(FrameBufferStore* store);
void releaseFrameBufferStore(FrameBufferStore* store);
