// The pixel layouts a device can offer, and the hand-over of each device step to its back end.
#include <cstring>

#include "platform/display_device.h"

namespace {

struct FormatRow {
    DeviceFormat format;
    const char* name;
    DevicePixelFormat masks;
};

constexpr FormatRow kFormats[] = {
    {DeviceFormat::RGB32, "rgb32", {32, 0xFF0000, 0xFF00, 0xFF, true}},
    {DeviceFormat::BGR32, "bgr32", {32, 0xFF, 0xFF00, 0xFF0000, true}},
    {DeviceFormat::RGB24, "rgb24", {24, 0xFF0000, 0xFF00, 0xFF, true}},
    {DeviceFormat::BGR24, "bgr24", {24, 0xFF, 0xFF00, 0xFF0000, true}},
    {DeviceFormat::RGB565, "rgb565", {16, 0xF800, 0x7E0, 0x1F, true}},
    {DeviceFormat::BGR565, "bgr565", {16, 0x1F, 0x7E0, 0xF800, true}},
    {DeviceFormat::RGB555, "rgb555", {16, 0x7C00, 0x3E0, 0x1F, true}},
    {DeviceFormat::BGR555, "bgr555", {16, 0x1F, 0x3E0, 0x7C00, true}},
};

bool headless(const DisplayDevice& device) {
    return device.options.device == DisplayDeviceKind::Headless;
}

}  // namespace

DevicePixelFormat deviceFormatMasks(DeviceFormat format) {
    for (const FormatRow& row : kFormats) {
        if (row.format == format) return row.masks;
    }
    return {};
}

bool parseDeviceFormat(const char* name, DeviceFormat* format) {
    for (const FormatRow& row : kFormats) {
        if (std::strcmp(row.name, name) == 0) {
            *format = row.format;
            return true;
        }
    }
    return false;
}

const char* deviceFormatName(DeviceFormat format) {
    for (const FormatRow& row : kFormats) {
        if (row.format == format) return row.name;
    }
    return "any";
}

bool deviceStart(DisplayDevice& device) {
    return headless(device) ? headlessStart(device) : liveStart(device);
}

uint32_t deviceCreateWindow(DisplayDevice& device, const char* title, int32_t width,
                            int32_t height) {
    return headless(device) ? headlessCreateWindow(device, title, width, height)
                            : liveCreateWindow(device, title, width, height);
}

bool deviceTakeScreen(DisplayDevice& device) {
    return headless(device) ? headlessTakeScreen(device) : liveTakeScreen(device);
}

bool deviceSetMode(DisplayDevice& device, int32_t width, int32_t height, int32_t bitsPerPixel) {
    return headless(device) ? headlessSetMode(device, width, height, bitsPerPixel)
                            : liveSetMode(device, width, height, bitsPerPixel);
}

bool deviceCreateSurfaces(DisplayDevice& device, int32_t backBuffers) {
    return headless(device) ? headlessCreateSurfaces(device, backBuffers)
                            : liveCreateSurfaces(device, backBuffers);
}

bool deviceAttachBackBuffer(DisplayDevice& device) {
    return headless(device) ? headlessAttachBackBuffer(device) : liveAttachBackBuffer(device);
}

bool deviceQueryFormat(DisplayDevice& device, DevicePixelFormat* format) {
    return headless(device) ? headlessQueryFormat(device, format) : liveQueryFormat(device, format);
}

int32_t deviceSetScreenSaver(DisplayDevice& device, bool enabled) {
    return headless(device) ? headlessSetScreenSaver(device, enabled)
                            : liveSetScreenSaver(device, enabled);
}

bool devicePollMessage(DisplayDevice& device, DisplayMessage* message) {
    return headless(device) ? headlessPollMessage(device, message)
                            : livePollMessage(device, message);
}

void deviceHideCursor(DisplayDevice& device) {
    headless(device) ? headlessHideCursor(device) : liveHideCursor(device);
}

void deviceSleep(DisplayDevice& device, int32_t milliseconds) {
    headless(device) ? headlessSleep(device, milliseconds) : liveSleep(device, milliseconds);
}

void deviceRestore(DisplayDevice& device) {
    headless(device) ? headlessRestore(device) : liveRestore(device);
}

bool deviceLock(DisplayDevice& device, uint8_t** pixels, int32_t* pitch) {
    return headless(device) ? headlessLock(device, pixels, pitch) : liveLock(device, pixels, pitch);
}

void deviceUnlock(DisplayDevice& device) {
    headless(device) ? headlessUnlock(device) : liveUnlock(device);
}

void deviceFlip(DisplayDevice& device) {
    headless(device) ? headlessFlip(device) : liveFlip(device);
}

void deviceReleaseSurfaces(DisplayDevice& device) {
    headless(device) ? headlessReleaseSurfaces(device) : liveReleaseSurfaces(device);
}

void deviceRestoreMode(DisplayDevice& device) {
    headless(device) ? headlessRestoreMode(device) : liveRestoreMode(device);
}

void deviceReleaseScreen(DisplayDevice& device) {
    headless(device) ? headlessReleaseScreen(device) : liveReleaseScreen(device);
}

void deviceDestroyWindow(DisplayDevice& device) {
    headless(device) ? headlessDestroyWindow(device) : liveDestroyWindow(device);
}

void deviceStop(DisplayDevice& device) {
    headless(device) ? headlessStop(device) : liveStop(device);
}
