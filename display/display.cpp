// Opening and closing the display, presenting a frame, and the display window's procedure.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "display/display.h"

DisplayState displayState;

namespace {

// Mode depths in order of preference: 32 bits need no packing, 16 bits lose the most.
constexpr int32_t kModeDepths[] = {32, 24, 16};
// Back buffers asked for, in order: two let the next frame be drawn while one waits for the
// vertical blank; a lone surface (0) can be created but cannot be presented to.
constexpr int32_t kBackBufferCounts[] = {2, 1, 0};
// Largest width or height accepted, far above any screen; it keeps a row's byte count in range.
constexpr int32_t kMaxModeSide = 16384;

// Leaves the reason in the device's error text; returns the result openDisplay fails with.
__attribute__((format(printf, 1, 2))) int32_t openFails(const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(displayState.device.error, sizeof displayState.device.error, format, arguments);
    va_end(arguments);
    return 0;
}

// Ends the run right away: the display is already closed, and nothing else is released.
void endProcess(int32_t status) {
    std::fflush(nullptr);
    std::_Exit(status);
}

void endRun() {
    closeDisplay();
    void (*exitProcess)(int32_t) = displayState.device.options.exitProcess;
    (exitProcess != nullptr ? exitProcess : endProcess)(0);
}

}  // namespace

void setDisplayOptions(const DisplayOptions& options) {
    displayState = DisplayState{};
    displayState.device.options = options;
}

int32_t openDisplay(const char* title, int32_t width, int32_t height) {
    DisplayState& state = displayState;
    DisplayDevice& device = state.device;
    device.error[0] = '\0';
    if (title == nullptr) title = "";
    state.width = width;
    state.height = height;
    if (width <= 0 || height <= 0 || width > kMaxModeSide || height > kMaxModeSide) {
        return openFails("invalid display size %dx%d", width, height);
    }

    if (!deviceStart(device)) return 0;
    state.deviceStarted = true;
    // A missing window shows up as a failure to take the screen for it.
    state.window = deviceCreateWindow(device, title, width, height);
    if (!deviceTakeScreen(device)) return 0;

    bool modeSet = false;
    for (int32_t depth : kModeDepths) {
        modeSet = deviceSetMode(device, width, height, depth);
        if (modeSet) break;
    }
    if (!modeSet) return 0;

    for (int32_t backBuffers : kBackBufferCounts) {
        state.surfacesCreated = deviceCreateSurfaces(device, backBuffers);
        if (state.surfacesCreated) break;
    }
    if (!state.surfacesCreated) return 0;
    if (!deviceAttachBackBuffer(device)) return 0;
    state.backBufferAttached = true;

    DevicePixelFormat format;
    if (!deviceQueryFormat(device, &format)) return 0;
    if (!format.isRgb) {
        return openFails("the display mode (%u bits per pixel) is not an RGB mode",
                         format.bitCount);
    }
    state.converter =
        choosePixelConverter(format.bitCount, format.redMask, format.greenMask, format.blueMask);
    if (state.converter == nullptr) {
        return openFails("no converter for %u bits per pixel with masks 0x%X 0x%X 0x%X",
                         format.bitCount, format.redMask, format.greenMask, format.blueMask);
    }

    deviceSetScreenSaver(device, false);
    device.error[0] = '\0';  // refusals on the way to the accepted mode are no failure
    return 1;
}

int32_t presentFrame(const Pixel* source) {
    DisplayState& state = displayState;
    DisplayDevice& device = state.device;

    // The window procedure may close the display and end the run from in here.
    DisplayMessage message;
    while (state.window != 0 && devicePollMessage(device, &message)) {
        displayWindowProc(state.window, message);
    }

    if (state.appActive == 0) {
        deviceSleep(device, 1);
        return 1;
    }
    // A display that did not open fully has nothing to draw into; the show runs on unseen,
    // without spinning the processor.
    if (!state.backBufferAttached || state.converter == nullptr || source == nullptr) {
        deviceSleep(device, 1);
        return 0;
    }

    deviceRestore(device);
    uint8_t* destination = nullptr;
    int32_t pitch = 0;
    if (!deviceLock(device, &destination, &pitch)) return 0;
    const Pixel* sourceRow = source;
    for (int32_t row = 0; row < state.height; ++row) {
        state.converter(sourceRow, destination, state.width);
        sourceRow += state.width;
        destination += pitch;
    }
    deviceUnlock(device);
    deviceFlip(device);
    deviceSleep(device, 0);
    return 1;
}

int32_t closeDisplay() {
    DisplayState& state = displayState;
    DisplayDevice& device = state.device;
    if (state.surfacesCreated) {
        deviceReleaseSurfaces(device);
        state.surfacesCreated = false;
        state.backBufferAttached = false;
    }
    if (state.deviceStarted) {
        deviceRestoreMode(device);
        deviceReleaseScreen(device);
    }
    if (state.window != 0) {
        deviceDestroyWindow(device);
        state.window = 0;
    }
    if (state.deviceStarted) {
        deviceStop(device);
        state.deviceStarted = false;
    }
    state.converter = nullptr;
    state.appActive = 0;
    // The screen saver goes back on whatever it was before the display opened.
    return deviceSetScreenSaver(device, true);
}

const char* displayError() {
    return displayState.device.error;
}

int32_t displayWindowProc(uint32_t window, const DisplayMessage& message) {
    (void)window;  // there is only one display window
    switch (message.kind) {
        case DisplayMessageKind::Close:
            endRun();
            return 0;
        case DisplayMessageKind::KeyDown:
            if (message.key == kKeyEscape) endRun();
            return 0;  // other keys are swallowed
        case DisplayMessageKind::Activate:
            displayState.appActive = message.active;
            return 0;
        case DisplayMessageKind::Cursor:
            deviceHideCursor(displayState.device);
            return 0;
        case DisplayMessageKind::Other:
            break;
    }
    return 0;
}
