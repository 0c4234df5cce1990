// The display device: the few steps the display needs from a screen, over SDL2 or over no window.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// The eight pixel layouts a device can offer. Names follow the bit masks of the value as read
// from memory in little-endian order: RGB24 has red in 0xFF0000 (bytes blue, green, red), BGR24
// has red in 0xFF (bytes red, green, blue); 16-bit values are little-endian words.
enum class DeviceFormat : int32_t {
    Any,  // no restriction: the device offers its own default for each depth
    RGB32,
    BGR32,
    RGB24,
    BGR24,
    RGB565,
    BGR565,
    RGB555,
    BGR555,
};

// Bit count and channel masks of a pixel layout, as a device reports them.
struct DevicePixelFormat {
    uint32_t bitCount = 0;   // bits per pixel: 32, 24, 16 (8 for a palette mode)
    uint32_t redMask = 0;    // bits of red within the little-endian pixel value
    uint32_t greenMask = 0;  // bits of green
    uint32_t blueMask = 0;   // bits of blue
    bool isRgb = false;      // false for palette and other non-RGB layouts
};

// What comes in through the display window.
enum class DisplayMessageKind : int32_t {
    Close,     // the window was asked to close
    KeyDown,   // a key went down; `key` says which
    Activate,  // the application became active or inactive; `active` says which
    Cursor,    // the pointer is over the window and wants a shape
    Other,     // anything else; handled by doing nothing
};

constexpr int32_t kKeyEscape = 0x1B;  // key code of Escape in DisplayMessage::key

struct DisplayMessage {
    DisplayMessageKind kind = DisplayMessageKind::Other;
    int32_t key = 0;     // KeyDown: key code, kKeyEscape for Escape (SDL key codes otherwise)
    int32_t active = 0;  // Activate: nonzero when the application is now the active one
};

// Which device openDisplay drives.
enum class DisplayDeviceKind : int32_t {
    Screen,    // an SDL2 window on the real screen
    Headless,  // no window: frames are kept in memory, for tests and capture
};

// How the windowless device behaves; each flag makes one step refuse or differ.
struct HeadlessSetup {
    bool failStart = false;             // the device cannot be brought up at all
    bool failTakeScreen = false;        // exclusive use of the screen is refused
    bool refuse32 = false;              // no 32-bit mode
    bool refuse24 = false;              // no 24-bit mode
    bool refuse16 = false;              // no 16-bit mode
    bool refuseTwoBackBuffers = false;  // a chain of two back buffers cannot be built
    bool refuseOneBackBuffer = false;   // a chain of one back buffer cannot be built
    bool refuseSingleSurface = false;   // not even a lone surface can be built
    bool failFormatQuery = false;       // the pixel-format query fails
    bool paletteMode = false;           // the mode is an 8-bit palette mode (not RGB)
    bool unknownFormat = false;         // the mode is 16-bit 4-4-4, which no converter takes
    bool failLock = false;              // every lock of the back buffer fails
    bool activateOnShow = true;         // the window reports itself active when shown
    bool failScreenSaver = false;       // the screen-saver switch reports failure
    int32_t extraPitchBytes = 0;        // bytes of padding after each row of the back buffer
};

// What the windowless device saw: every step in order, and the last frame it showed.
struct HeadlessLog {
    std::vector<std::string> calls;  // one entry per device step, e.g. "setMode 512x384x32"
    std::vector<uint8_t> frame;      // the back buffer as of the last flip, `framePitch` per row
    int32_t framePitch = 0;          // bytes per row of `frame`
    int32_t flips = 0;               // number of flips since the options were set
};

// Chosen before the display opens; the program fills it from the command line.
struct DisplayOptions {
    DisplayDeviceKind device = DisplayDeviceKind::Screen;
    bool windowed = false;                        // a resizable window instead of the whole screen
    DeviceFormat onlyFormat = DeviceFormat::Any;  // offer only this layout (and so only its depth)
    HeadlessSetup headless;                       // used when device is Headless
    void (*exitProcess)(int32_t status) =
        nullptr;  // ends the run on Escape; nullptr: end the process
};

struct SDL_Window;
struct SDL_Renderer;
struct SDL_Texture;

constexpr int32_t kHeadlessQueueSize = 16;  // messages the windowless device can hold

// The device record: its options, what it has created, and the reason of its last failure.
struct DisplayDevice {
    DisplayOptions options;
    char error[256] = {};  // why the last step failed; empty when none did

    // The mode and the surfaces.
    int32_t modeWidth = 0;                        // pixels, 0 before a mode is set
    int32_t modeHeight = 0;                       // rows
    DeviceFormat modeFormat = DeviceFormat::Any;  // layout of the mode that was accepted
    int32_t backBuffers = -1;  // back buffers in the surface chain; -1 when no surface exists
    bool backBufferAttached = false;

    // The live device: a window over SDL2, or the page's canvas in a browser.
    bool liveStarted = false;
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    bool textureLost = false;  // the renderer's device was reset; the texture must be remade
    std::vector<uint8_t> canvasSurface;  // in a browser: the back buffer, RGBA rows of 4 × width

    // The windowless device.
    bool headlessStarted = false;
    bool headlessWindow = false;
    bool headlessLocked = false;
    std::vector<uint8_t> headlessSurface;  // the back buffer, modeHeight rows of headlessPitch
    int32_t headlessPitch = 0;             // bytes per row of headlessSurface
    std::array<DisplayMessage, kHeadlessQueueSize> queue{};  // messages not yet fetched
    int32_t queueHead = 0;                                   // index of the oldest message
    int32_t queueCount = 0;                                  // messages waiting
    HeadlessLog log;
};

// Bit count and masks of a layout; DeviceFormat::Any gives a zero record.
DevicePixelFormat deviceFormatMasks(DeviceFormat format);

// Reads a layout name ("rgb32", "bgr32", "rgb24", "bgr24", "rgb565", "bgr565", "rgb555",
// "bgr555"); false for any other name.
bool parseDeviceFormat(const char* name, DeviceFormat* format);

// The lower-case name of a layout, "any" for DeviceFormat::Any.
const char* deviceFormatName(DeviceFormat format);

// Queues a message on the windowless device's window; false when the queue is full.
bool headlessPostMessage(DisplayDevice& device, const DisplayMessage& message);

// The steps, in the order the display uses them. Each returns false on failure and leaves
// the reason in device.error.

// Brings up the video system.
bool deviceStart(DisplayDevice& device);
// Creates the display window, not yet shown; returns its id, 0 on failure.
uint32_t deviceCreateWindow(DisplayDevice& device, const char* title, int32_t width,
                            int32_t height);
// Takes the screen for the window and shows it.
bool deviceTakeScreen(DisplayDevice& device);
// Sets a width × height mode of bitsPerPixel (32, 24 or 16).
bool deviceSetMode(DisplayDevice& device, int32_t width, int32_t height, int32_t bitsPerPixel);
// Creates the visible surface with a chain of backBuffers (2 or 1), or alone when 0.
bool deviceCreateSurfaces(DisplayDevice& device, int32_t backBuffers);
// Finds the back buffer of the chain; fails for a lone surface.
bool deviceAttachBackBuffer(DisplayDevice& device);
// Reports the pixel layout of the visible surface.
bool deviceQueryFormat(DisplayDevice& device, DevicePixelFormat* format);
// Switches the screen saver on or off; nonzero when the switch took effect.
int32_t deviceSetScreenSaver(DisplayDevice& device, bool enabled);
// Fetches the next message for the window; false when none is waiting.
bool devicePollMessage(DisplayDevice& device, DisplayMessage* message);
// Hides the mouse pointer over the window.
void deviceHideCursor(DisplayDevice& device);
// Waits `milliseconds` (0: gives up the rest of the time slice).
void deviceSleep(DisplayDevice& device, int32_t milliseconds);
// Brings back surface memory that was lost while another program had the screen.
void deviceRestore(DisplayDevice& device);
// Opens the back buffer for writing: its first byte and its bytes per row.
bool deviceLock(DisplayDevice& device, uint8_t** pixels, int32_t* pitch);
// Closes the back buffer after writing.
void deviceUnlock(DisplayDevice& device);
// Shows the back buffer, waiting for the vertical blank.
void deviceFlip(DisplayDevice& device);
// Releases the visible surface and its chain.
void deviceReleaseSurfaces(DisplayDevice& device);
// Gives the desktop its own mode back.
void deviceRestoreMode(DisplayDevice& device);
// Gives up exclusive use of the screen.
void deviceReleaseScreen(DisplayDevice& device);
// Destroys the display window.
void deviceDestroyWindow(DisplayDevice& device);
// Shuts the video system down.
void deviceStop(DisplayDevice& device);

// The SDL pixel format (an SDL_PIXELFORMAT_ value) that stores a layout; 0 for Any.
uint32_t sdlPixelFormatOf(DeviceFormat format);

// The two back ends behind the steps above: live, on a real screen (display_sdl.cpp natively,
// display_web.cpp in a browser), and headless, with no window.
bool liveStart(DisplayDevice& device);
uint32_t liveCreateWindow(DisplayDevice& device, const char* title, int32_t width, int32_t height);
bool liveTakeScreen(DisplayDevice& device);
bool liveSetMode(DisplayDevice& device, int32_t width, int32_t height, int32_t bitsPerPixel);
bool liveCreateSurfaces(DisplayDevice& device, int32_t backBuffers);
bool liveAttachBackBuffer(DisplayDevice& device);
bool liveQueryFormat(DisplayDevice& device, DevicePixelFormat* format);
int32_t liveSetScreenSaver(DisplayDevice& device, bool enabled);
bool livePollMessage(DisplayDevice& device, DisplayMessage* message);
void liveHideCursor(DisplayDevice& device);
void liveSleep(DisplayDevice& device, int32_t milliseconds);
void liveRestore(DisplayDevice& device);
bool liveLock(DisplayDevice& device, uint8_t** pixels, int32_t* pitch);
void liveUnlock(DisplayDevice& device);
void liveFlip(DisplayDevice& device);
void liveReleaseSurfaces(DisplayDevice& device);
void liveRestoreMode(DisplayDevice& device);
void liveReleaseScreen(DisplayDevice& device);
void liveDestroyWindow(DisplayDevice& device);
void liveStop(DisplayDevice& device);

bool headlessStart(DisplayDevice& device);
uint32_t headlessCreateWindow(DisplayDevice& device, const char* title, int32_t width,
                              int32_t height);
bool headlessTakeScreen(DisplayDevice& device);
bool headlessSetMode(DisplayDevice& device, int32_t width, int32_t height, int32_t bitsPerPixel);
bool headlessCreateSurfaces(DisplayDevice& device, int32_t backBuffers);
bool headlessAttachBackBuffer(DisplayDevice& device);
bool headlessQueryFormat(DisplayDevice& device, DevicePixelFormat* format);
int32_t headlessSetScreenSaver(DisplayDevice& device, bool enabled);
bool headlessPollMessage(DisplayDevice& device, DisplayMessage* message);
void headlessHideCursor(DisplayDevice& device);
void headlessSleep(DisplayDevice& device, int32_t milliseconds);
void headlessRestore(DisplayDevice& device);
bool headlessLock(DisplayDevice& device, uint8_t** pixels, int32_t* pitch);
void headlessUnlock(DisplayDevice& device);
void headlessFlip(DisplayDevice& device);
void headlessReleaseSurfaces(DisplayDevice& device);
void headlessRestoreMode(DisplayDevice& device);
void headlessReleaseScreen(DisplayDevice& device);
void headlessDestroyWindow(DisplayDevice& device);
void headlessStop(DisplayDevice& device);
