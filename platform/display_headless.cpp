// The windowless display device: it keeps frames in memory, logs every step and can be told to
// refuse any of them, so the display can be tested and captured without a screen.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "platform/display_device.h"

namespace {

// Padding bytes start with this value, so a write past the end of a row shows up.
constexpr uint8_t kFreshSurfaceByte = 0xCD;

void logCall(DisplayDevice& device, std::string call) {
    device.log.calls.push_back(std::move(call));
}

bool refuse(DisplayDevice& device, const char* why) {
    std::snprintf(device.error, sizeof device.error, "headless device: %s", why);
    return false;
}

// The layout the device reports for a mode of this depth.
DeviceFormat defaultFormat(int32_t bitsPerPixel) {
    if (bitsPerPixel == 32) return DeviceFormat::RGB32;
    if (bitsPerPixel == 24) return DeviceFormat::RGB24;
    return DeviceFormat::RGB565;
}

DevicePixelFormat reportedFormat(const DisplayDevice& device) {
    if (device.options.headless.paletteMode) return {8, 0, 0, 0, false};
    if (device.options.headless.unknownFormat) return {16, 0xF00, 0xF0, 0xF, true};
    return deviceFormatMasks(device.modeFormat);
}

}  // namespace

bool headlessPostMessage(DisplayDevice& device, const DisplayMessage& message) {
    if (device.queueCount == kHeadlessQueueSize) return false;
    device.queue[(device.queueHead + device.queueCount) % kHeadlessQueueSize] = message;
    ++device.queueCount;
    return true;
}

bool headlessStart(DisplayDevice& device) {
    logCall(device, "start");
    if (device.options.headless.failStart) return refuse(device, "set to fail at start");
    device.headlessStarted = true;
    return true;
}

uint32_t headlessCreateWindow(DisplayDevice& device, const char* title, int32_t width,
                              int32_t height) {
    logCall(device, "createWindow " + std::string(title) + " " + std::to_string(width) + "x" +
                        std::to_string(height));
    device.headlessWindow = true;
    return 1;
}

bool headlessTakeScreen(DisplayDevice& device) {
    logCall(device, "takeScreen");
    if (device.options.headless.failTakeScreen) return refuse(device, "the screen is refused");
    if (device.options.headless.activateOnShow) {
        headlessPostMessage(device, {DisplayMessageKind::Activate, 0, 1});
    }
    return true;
}

bool headlessSetMode(DisplayDevice& device, int32_t width, int32_t height, int32_t bitsPerPixel) {
    logCall(device, "setMode " + std::to_string(width) + "x" + std::to_string(height) + "x" +
                        std::to_string(bitsPerPixel));
    const HeadlessSetup& setup = device.options.headless;
    const bool refused = (bitsPerPixel == 32 && setup.refuse32) ||
                         (bitsPerPixel == 24 && setup.refuse24) ||
                         (bitsPerPixel == 16 && setup.refuse16);
    const DeviceFormat only = device.options.onlyFormat;
    if (refused || (only != DeviceFormat::Any &&
                    deviceFormatMasks(only).bitCount != static_cast<uint32_t>(bitsPerPixel))) {
        return refuse(device, "no mode of that depth");
    }
    device.modeWidth = width;
    device.modeHeight = height;
    device.modeFormat = only != DeviceFormat::Any ? only : defaultFormat(bitsPerPixel);
    return true;
}

bool headlessCreateSurfaces(DisplayDevice& device, int32_t backBuffers) {
    logCall(device, "createSurfaces " + std::to_string(backBuffers));
    const HeadlessSetup& setup = device.options.headless;
    if ((backBuffers == 2 && setup.refuseTwoBackBuffers) ||
        (backBuffers == 1 && setup.refuseOneBackBuffer) ||
        (backBuffers == 0 && setup.refuseSingleSurface)) {
        return refuse(device, "the surfaces cannot be built");
    }
    const uint32_t bitCount = reportedFormat(device).bitCount;
    device.headlessPitch =
        device.modeWidth * static_cast<int32_t>(bitCount / 8) + setup.extraPitchBytes;
    device.headlessSurface.assign(
        static_cast<size_t>(device.headlessPitch) * static_cast<size_t>(device.modeHeight),
        kFreshSurfaceByte);
    device.backBuffers = backBuffers;
    return true;
}

bool headlessAttachBackBuffer(DisplayDevice& device) {
    logCall(device, "attachBackBuffer");
    if (device.backBuffers <= 0) return refuse(device, "the surface has no back buffer");
    device.backBufferAttached = true;
    return true;
}

bool headlessQueryFormat(DisplayDevice& device, DevicePixelFormat* format) {
    logCall(device, "queryFormat");
    if (device.options.headless.failFormatQuery) return refuse(device, "the format is unknown");
    *format = reportedFormat(device);
    return true;
}

int32_t headlessSetScreenSaver(DisplayDevice& device, bool enabled) {
    logCall(device, enabled ? "screenSaver on" : "screenSaver off");
    return device.options.headless.failScreenSaver ? 0 : 1;
}

bool headlessPollMessage(DisplayDevice& device, DisplayMessage* message) {
    if (!device.headlessWindow || device.queueCount == 0) return false;
    *message = device.queue[device.queueHead];
    device.queueHead = (device.queueHead + 1) % kHeadlessQueueSize;
    --device.queueCount;
    return true;
}

void headlessHideCursor(DisplayDevice& device) {
    logCall(device, "hideCursor");
}

void headlessSleep(DisplayDevice& device, int32_t milliseconds) {
    logCall(device, "sleep " + std::to_string(milliseconds));
    if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void headlessRestore(DisplayDevice& device) {
    logCall(device, "restore");
}

bool headlessLock(DisplayDevice& device, uint8_t** pixels, int32_t* pitch) {
    logCall(device, "lock");
    if (device.options.headless.failLock) return refuse(device, "the lock failed");
    if (!device.backBufferAttached) return refuse(device, "no back buffer to lock");
    device.headlessLocked = true;
    *pixels = device.headlessSurface.data();
    *pitch = device.headlessPitch;
    return true;
}

void headlessUnlock(DisplayDevice& device) {
    logCall(device, "unlock");
    device.headlessLocked = false;
}

void headlessFlip(DisplayDevice& device) {
    logCall(device, "flip");
    device.log.frame = device.headlessSurface;
    device.log.framePitch = device.headlessPitch;
    ++device.log.flips;
}

void headlessReleaseSurfaces(DisplayDevice& device) {
    logCall(device, "releaseSurfaces");
    device.headlessSurface.clear();
    device.headlessPitch = 0;
    device.backBuffers = -1;
    device.backBufferAttached = false;
}

void headlessRestoreMode(DisplayDevice& device) {
    logCall(device, "restoreMode");
}

void headlessReleaseScreen(DisplayDevice& device) {
    logCall(device, "releaseScreen");
}

void headlessDestroyWindow(DisplayDevice& device) {
    logCall(device, "destroyWindow");
    device.headlessWindow = false;
    device.queueCount = 0;
}

void headlessStop(DisplayDevice& device) {
    logCall(device, "stop");
    device.headlessStarted = false;
}
