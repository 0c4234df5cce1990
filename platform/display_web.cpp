// The screen steps of the display device in a browser: the live back end's entry points, drawn on
// the page's canvas. The page (web/page.js) scales the canvas, handles full screen and queues keys.
#include <emscripten.h>

#include <cstdio>
#include <cstring>

#include "platform/display_device.h"

// clang-format off
EM_JS(int, webCanvasReady, (), { return Module.page && Module.page.canvasReady() ? 1 : 0; });
EM_JS(int, webNextKey, (), { return Module.page ? Module.page.nextKey() : 0; });
EM_JS(void, webShowFrame, (const uint8_t* rgba, int width, int height), {
    Module.page.showFrame(HEAPU8.subarray(rgba, rgba + width * height * 4), width, height);
});
// The one point where the frame loop hands control back to the browser: it resumes on the next
// animation frame (or soon after, when the tab is hidden and animation frames stop). The page
// calls wakeUp from its own callback rather than from a promise, so the exit that ends a run
// there (Escape) is caught by the page instead of surfacing as an unhandled rejection.
EM_JS(void, webWaitForNextFrame, (), {
    Asyncify.handleSleep((wakeUp) => Module.page.nextFrame(wakeUp));
});
// clang-format on

namespace {

bool fail(DisplayDevice& device, const char* what) {
    std::snprintf(device.error, sizeof device.error, "%s", what);
    return false;
}

// Every frame goes out as RGBA bytes: red in the low byte, and an opaque alpha byte.
constexpr DeviceFormat kCanvasFormat = DeviceFormat::BGR32;
constexpr uint32_t kOpaque = 0xFF000000u;

// The canvas reports itself active once, at the first poll after it is taken.
bool activationPending = false;

}  // namespace

uint32_t sdlPixelFormatOf(DeviceFormat) {
    return 0;
}

bool liveStart(DisplayDevice& device) {
    if (webCanvasReady() == 0) return fail(device, "the page has no canvas for the show");
    device.liveStarted = true;
    return true;
}

uint32_t liveCreateWindow(DisplayDevice&, const char*, int32_t, int32_t) {
    return 1;
}

bool liveTakeScreen(DisplayDevice&) {
    activationPending = true;
    return true;
}

bool liveSetMode(DisplayDevice& device, int32_t width, int32_t height, int32_t bitsPerPixel) {
    if (bitsPerPixel != 32) return fail(device, "the canvas takes 32-bit pixels only");
    device.modeWidth = width;
    device.modeHeight = height;
    device.modeFormat = kCanvasFormat;
    return true;
}

bool liveCreateSurfaces(DisplayDevice& device, int32_t backBuffers) {
    device.canvasSurface.assign(static_cast<size_t>(device.modeWidth) * device.modeHeight * 4, 0);
    device.backBuffers = backBuffers;
    return true;
}

bool liveAttachBackBuffer(DisplayDevice& device) {
    if (device.backBuffers <= 0) return fail(device, "a lone surface has no back buffer");
    device.backBufferAttached = true;
    return true;
}

bool liveQueryFormat(DisplayDevice&, DevicePixelFormat* format) {
    *format = deviceFormatMasks(kCanvasFormat);
    return true;
}

int32_t liveSetScreenSaver(DisplayDevice&, bool) {
    return 1;
}

// The canvas is shown and active from the start; Escape is the only key the show reads (F for
// full screen stays in the page).
bool livePollMessage(DisplayDevice& device, DisplayMessage* message) {
    if (!device.liveStarted) return false;
    if (activationPending) {
        activationPending = false;
        *message = {DisplayMessageKind::Activate, 0, 1};
        return true;
    }
    const int key = webNextKey();
    if (key == 0) return false;
    *message = {DisplayMessageKind::KeyDown, key == 27 ? kKeyEscape : key, 0};
    return true;
}

void liveHideCursor(DisplayDevice&) {}

void liveSleep(DisplayDevice&, int32_t milliseconds) {
    if (milliseconds > 0) emscripten_sleep(static_cast<unsigned>(milliseconds));
}

void liveRestore(DisplayDevice&) {}

bool liveLock(DisplayDevice& device, uint8_t** pixels, int32_t* pitch) {
    if (device.canvasSurface.empty() || !device.backBufferAttached) {
        std::snprintf(device.error, sizeof device.error, "no back buffer to lock");
        return false;
    }
    *pixels = device.canvasSurface.data();
    *pitch = device.modeWidth * 4;
    return true;
}

void liveUnlock(DisplayDevice&) {}

void liveFlip(DisplayDevice& device) {
    // The converter leaves the top byte 0, which the canvas would take as transparent.
    uint8_t* bytes = device.canvasSurface.data();
    const size_t count = device.canvasSurface.size() / 4;
    for (size_t i = 0; i < count; ++i) {
        uint32_t value;
        std::memcpy(&value, bytes + 4 * i, 4);
        value |= kOpaque;
        std::memcpy(bytes + 4 * i, &value, 4);
    }
    webShowFrame(bytes, device.modeWidth, device.modeHeight);
    webWaitForNextFrame();
}

void liveReleaseSurfaces(DisplayDevice& device) {
    device.canvasSurface.clear();
    device.backBuffers = -1;
    device.backBufferAttached = false;
}

void liveRestoreMode(DisplayDevice&) {}

void liveReleaseScreen(DisplayDevice&) {}

void liveDestroyWindow(DisplayDevice&) {}

void liveStop(DisplayDevice& device) {
    device.liveStarted = false;
}
