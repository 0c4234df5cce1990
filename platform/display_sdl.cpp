// The display device on a real screen, over SDL2: one window, a streaming texture in the mode's
// own pixel layout, and a vsynced present scaled by a whole factor.
#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/display_device.h"
#include "platform/display_loss.h"

namespace {

bool fail(DisplayDevice& device, const char* what) {
    std::snprintf(device.error, sizeof device.error, "%s: %s", what, SDL_GetError());
    return false;
}

// The layout offered for a mode of this depth; Any when the depth is not on offer. Without a
// chosen layout only 32 bits are offered, which every desktop shows without conversion.
DeviceFormat offeredFormat(const DisplayDevice& device, int32_t bitsPerPixel) {
    const DeviceFormat only = device.options.onlyFormat;
    const DeviceFormat format = only != DeviceFormat::Any ? only : DeviceFormat::RGB32;
    return deviceFormatMasks(format).bitCount == static_cast<uint32_t>(bitsPerPixel)
               ? format
               : DeviceFormat::Any;
}

// Where the frame goes in an output of outWidth × outHeight: scaled by the largest whole factor
// that fits, so every source pixel becomes the same square block, and centred. An output smaller
// than the frame gets the frame shrunk to fit, keeping its shape.
SDL_Rect frameRectangle(int outWidth, int outHeight, int width, int height) {
    int drawnWidth = width;
    int drawnHeight = height;
    const int factor = std::min(outWidth / width, outHeight / height);
    if (factor >= 1) {
        drawnWidth = width * factor;
        drawnHeight = height * factor;
    } else if (outWidth * height <= outHeight * width) {
        drawnWidth = outWidth;
        drawnHeight = outWidth * height / width;
    } else {
        drawnHeight = outHeight;
        drawnWidth = outHeight * width / height;
    }
    return {(outWidth - drawnWidth) / 2, (outHeight - drawnHeight) / 2, drawnWidth, drawnHeight};
}

}  // namespace

uint32_t sdlPixelFormatOf(DeviceFormat format) {
    switch (format) {
        case DeviceFormat::RGB32:
            return SDL_PIXELFORMAT_RGB888;
        case DeviceFormat::BGR32:
            return SDL_PIXELFORMAT_BGR888;
        // SDL names 24-bit layouts by byte order in memory, not by masks of a little-endian
        // value: bytes blue, green, red are its BGR24.
        case DeviceFormat::RGB24:
            return SDL_PIXELFORMAT_BGR24;
        case DeviceFormat::BGR24:
            return SDL_PIXELFORMAT_RGB24;
        case DeviceFormat::RGB565:
            return SDL_PIXELFORMAT_RGB565;
        case DeviceFormat::BGR565:
            return SDL_PIXELFORMAT_BGR565;
        case DeviceFormat::RGB555:
            return SDL_PIXELFORMAT_RGB555;
        case DeviceFormat::BGR555:
            return SDL_PIXELFORMAT_BGR555;
        case DeviceFormat::Any:
            break;
    }
    return SDL_PIXELFORMAT_UNKNOWN;
}

bool liveStart(DisplayDevice& device) {
    // Whole-factor scaling with nearest sampling keeps every pixel a sharp square.
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return fail(device, "cannot start SDL video");
    // Without a display server SDL falls back to drawing off screen, where nobody would see
    // the show; that only counts as a screen when it was asked for by name.
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* asked = SDL_getenv("SDL_VIDEODRIVER");
    if (driver != nullptr && std::strcmp(driver, "offscreen") == 0 &&
        (asked == nullptr || std::strstr(asked, "offscreen") == nullptr)) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        std::snprintf(device.error, sizeof device.error,
                      "no screen to show on: no display server was found");
        return false;
    }
    catchDisplayLoss(driver);
    device.liveStarted = true;
    return true;
}

uint32_t liveCreateWindow(DisplayDevice& device, const char* title, int32_t width, int32_t height) {
    const bool windowed = device.options.windowed;
    const Uint32 flags =
        SDL_WINDOW_HIDDEN | (windowed ? SDL_WINDOW_RESIZABLE : SDL_WINDOW_FULLSCREEN_DESKTOP);
    // The whole-screen window is made at the desktop's own size, so that it covers the screen
    // even where no window manager carries out the full-screen request.
    int windowWidth = width * 2;
    int windowHeight = height * 2;
    SDL_DisplayMode desktop;
    if (!windowed && SDL_GetDesktopDisplayMode(0, &desktop) == 0) {
        windowWidth = desktop.w;
        windowHeight = desktop.h;
    }
    device.window = SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                     windowWidth, windowHeight, flags);
    if (device.window == nullptr) {
        fail(device, "cannot create the window");
        return 0;
    }
    return SDL_GetWindowID(device.window);
}

bool liveTakeScreen(DisplayDevice& device) {
    if (device.window == nullptr) return fail(device, "no window to show");
    device.renderer = SDL_CreateRenderer(device.window, -1, SDL_RENDERER_PRESENTVSYNC);
    if (device.renderer == nullptr) device.renderer = SDL_CreateRenderer(device.window, -1, 0);
    if (device.renderer == nullptr) return fail(device, "cannot create a renderer");
    SDL_ShowWindow(device.window);
    SDL_ShowCursor(SDL_DISABLE);
    SDL_SetRenderDrawColor(device.renderer, 0, 0, 0, 255);
    SDL_RenderClear(device.renderer);
    SDL_RenderPresent(device.renderer);
    return true;
}

bool liveSetMode(DisplayDevice& device, int32_t width, int32_t height, int32_t bitsPerPixel) {
    const DeviceFormat format = offeredFormat(device, bitsPerPixel);
    if (format == DeviceFormat::Any) {
        std::snprintf(device.error, sizeof device.error, "no %dx%d mode at %d bits per pixel",
                      width, height, bitsPerPixel);
        return false;
    }
    // The desktop keeps its own mode; the frame is scaled onto it at present time.
    device.modeWidth = width;
    device.modeHeight = height;
    device.modeFormat = format;
    return true;
}

bool liveCreateSurfaces(DisplayDevice& device, int32_t backBuffers) {
    device.texture =
        SDL_CreateTexture(device.renderer, sdlPixelFormatOf(device.modeFormat),
                          SDL_TEXTUREACCESS_STREAMING, device.modeWidth, device.modeHeight);
    if (device.texture == nullptr) return fail(device, "cannot create the frame texture");
    device.backBuffers = backBuffers;
    return true;
}

bool liveAttachBackBuffer(DisplayDevice& device) {
    if (device.backBuffers <= 0) {
        std::snprintf(device.error, sizeof device.error, "the surface has no back buffer");
        return false;
    }
    device.backBufferAttached = true;
    return true;
}

bool liveQueryFormat(DisplayDevice& device, DevicePixelFormat* format) {
    Uint32 sdlFormat = SDL_PIXELFORMAT_UNKNOWN;
    if (SDL_QueryTexture(device.texture, &sdlFormat, nullptr, nullptr, nullptr) != 0) {
        return fail(device, "cannot query the frame texture");
    }
    *format = {};
    for (int32_t i = static_cast<int32_t>(DeviceFormat::RGB32);
         i <= static_cast<int32_t>(DeviceFormat::BGR555); ++i) {
        const DeviceFormat candidate = static_cast<DeviceFormat>(i);
        if (sdlPixelFormatOf(candidate) == sdlFormat) *format = deviceFormatMasks(candidate);
    }
    return true;
}

int32_t liveSetScreenSaver(DisplayDevice&, bool enabled) {
    if (enabled) {
        SDL_EnableScreenSaver();
    } else {
        SDL_DisableScreenSaver();
    }
    return (SDL_IsScreenSaverEnabled() == SDL_TRUE) == enabled ? 1 : 0;
}

bool livePollMessage(DisplayDevice& device, DisplayMessage* message) {
    if (!device.liveStarted) return false;
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_QUIT) {
            *message = {DisplayMessageKind::Close, 0, 0};
            return true;
        }
        if (event.type == SDL_KEYDOWN) {
            const SDL_Keycode key = event.key.keysym.sym;
            *message = {DisplayMessageKind::KeyDown, key == SDLK_ESCAPE ? kKeyEscape : key, 0};
            return true;
        }
        if (event.type == SDL_RENDER_DEVICE_RESET) device.textureLost = true;
        if (event.type != SDL_WINDOWEVENT) continue;
        switch (event.window.event) {
            case SDL_WINDOWEVENT_CLOSE:
                *message = {DisplayMessageKind::Close, 0, 0};
                return true;
            // A window that has just been shown on the whole screen is the active one, even
            // where no window manager hands out focus.
            case SDL_WINDOWEVENT_SHOWN:
            case SDL_WINDOWEVENT_FOCUS_GAINED:
                *message = {DisplayMessageKind::Activate, 0, 1};
                return true;
            case SDL_WINDOWEVENT_FOCUS_LOST:
                *message = {DisplayMessageKind::Activate, 0, 0};
                return true;
            case SDL_WINDOWEVENT_ENTER:
                *message = {DisplayMessageKind::Cursor, 0, 0};
                return true;
            default:
                break;
        }
    }
    return false;
}

void liveHideCursor(DisplayDevice&) {
    SDL_ShowCursor(SDL_DISABLE);
}

void liveSleep(DisplayDevice&, int32_t milliseconds) {
    SDL_Delay(static_cast<Uint32>(milliseconds));
}

// A streaming texture is rewritten whole every frame, so its content never needs bringing
// back; only a reset of the renderer's device takes the texture itself away.
void liveRestore(DisplayDevice& device) {
    if (!device.textureLost || device.backBuffers < 0) return;
    if (device.texture != nullptr) SDL_DestroyTexture(device.texture);
    device.texture =
        SDL_CreateTexture(device.renderer, sdlPixelFormatOf(device.modeFormat),
                          SDL_TEXTUREACCESS_STREAMING, device.modeWidth, device.modeHeight);
    device.textureLost = device.texture == nullptr;
}

bool liveLock(DisplayDevice& device, uint8_t** pixels, int32_t* pitch) {
    if (device.texture == nullptr || !device.backBufferAttached) {
        std::snprintf(device.error, sizeof device.error, "no back buffer to lock");
        return false;
    }
    void* memory = nullptr;
    int bytesPerRow = 0;
    if (SDL_LockTexture(device.texture, nullptr, &memory, &bytesPerRow) != 0) {
        return fail(device, "cannot lock the frame texture");
    }
    *pixels = static_cast<uint8_t*>(memory);
    *pitch = bytesPerRow;
    return true;
}

void liveUnlock(DisplayDevice& device) {
    SDL_UnlockTexture(device.texture);
}

void liveFlip(DisplayDevice& device) {
    int outWidth = 0;
    int outHeight = 0;
    SDL_GetRendererOutputSize(device.renderer, &outWidth, &outHeight);
    const SDL_Rect target =
        frameRectangle(outWidth, outHeight, device.modeWidth, device.modeHeight);
    SDL_SetRenderDrawColor(device.renderer, 0, 0, 0, 255);
    SDL_RenderClear(device.renderer);
    SDL_RenderCopy(device.renderer, device.texture, nullptr, &target);
    SDL_RenderPresent(device.renderer);
}

void liveReleaseSurfaces(DisplayDevice& device) {
    if (device.texture != nullptr) SDL_DestroyTexture(device.texture);
    device.texture = nullptr;
    device.backBuffers = -1;
    device.backBufferAttached = false;
}

// The desktop's mode was never changed: the whole-screen window covers it at its own size.
void liveRestoreMode(DisplayDevice&) {}

void liveReleaseScreen(DisplayDevice& device) {
    if (device.renderer != nullptr) SDL_DestroyRenderer(device.renderer);
    device.renderer = nullptr;
}

void liveDestroyWindow(DisplayDevice& device) {
    if (device.window != nullptr) SDL_DestroyWindow(device.window);
    device.window = nullptr;
}

void liveStop(DisplayDevice& device) {
    keepLibrariesForLeakCheck();
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    device.liveStarted = false;
}
