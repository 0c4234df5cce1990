// The process-wide frame buffers of the show.
#include "show/buffers.h"

#include <cstddef>

#include "effects/effects.h"

// Every effect's reach past a picture stays inside the buffer the picture lies in: pictureArea
// has the 64 bottom rows of screenBuffer below it, workBuffer's picture 128 rows of its own.
static_assert(kPicturePixels + kMaxEffectReach <= (kScreenHeight - kPictureTop) * kPitch);

struct FrameBufferStore {
    Pixel* screen;
    Pixel* work;
    Pixel* black;
    float* depth;
};

FrameBufferStore* createFrameBufferStore() {
    const size_t pixels = kScreenPixels;
    auto* store = new FrameBufferStore;
    // Value-initialised: every buffer starts black, and the depth buffer at 0.0.
    store->screen = new Pixel[pixels]();
    store->work = new Pixel[pixels]();
    store->black = new Pixel[pixels]();
    store->depth = new float[kScreenPixels]();
    return store;
}

FrameBuffers frameBuffersOf(FrameBufferStore* store) {
    return {store->screen, store->screen + kPictureTop * kPitch, store->work, store->black,
            store->depth};
}

void releaseFrameBufferStore(FrameBufferStore* store) {
    if (store == nullptr) return;
    delete[] store->screen;
    delete[] store->work;
    delete[] store->black;
    delete[] store->depth;
    delete store;
}

FrameBuffers showBuffers() {
    static FrameBufferStore* store = createFrameBufferStore();
    return frameBuffersOf(store);
}
