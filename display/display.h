// The display: the screen device and its window, frame presentation, and the pixel converters.
//
// How the show uses it:
//
//   DisplayOptions options;                  // from the command line: --window, --pixel-format
//   options.windowed = true;
//   setDisplayOptions(options);
//   if (!openDisplay("Brindlehop", 512, 384)) std::fprintf(stderr, "%s\n", displayError());
//   while (showRuns) {
//       drawFrame(screenBuffer);
//       presentFrame(screenBuffer);          // Escape or a close request ends the process here
//   }
//   return closeDisplay();                   // nonzero when the screen saver is back on
#pragma once

#include <cstdint>

#include "effects/pixel.h"
#include "platform/display_device.h"

// Converts `count` Pixels into `count` destination pixels of 4, 3 or 2 bytes each, packed
// without gaps; writes nothing beyond them. The destination need not be aligned.
using PixelConverter = void (*)(const Pixel* source, uint8_t* destination, int32_t count);

// Everything the open display holds. One exists for the process, because the window
// procedure has to reach it; all empty until openDisplay runs.
struct DisplayState {
    int32_t width = 0;                   // mode width in pixels; converted pixels per row
    int32_t height = 0;                  // mode height in pixels; converted rows per frame
    bool deviceStarted = false;          // the video system is up
    uint32_t window = 0;                 // id of the display window, 0 when there is none
    bool surfacesCreated = false;        // the visible surface (and its chain) exists
    bool backBufferAttached = false;     // frames can be written to the back buffer
    PixelConverter converter = nullptr;  // row converter for the visible surface's layout
    int32_t appActive = 0;               // nonzero while the application is the active one
    DisplayDevice device;                // the device, its options and its log
};

extern DisplayState displayState;

// Chooses the device and how it shows frames; takes effect at the next openDisplay. Call it
// while the display is closed: it resets the device record, the windowless log included.
void setDisplayOptions(const DisplayOptions& options);

// Takes the screen in a width × height mode (32, 24 or 16 bits per pixel, in that order of
// preference) with a window for input; 1 when ready, 0 at the first step that fails, with what
// was created so far left for closeDisplay.
int32_t openDisplay(const char* title, int32_t width, int32_t height);

// Handles the window's pending messages, then shows `source` (width × height Pixels, pitch
// width) while the application is active; 1 when shown or skipped for inactivity, 0 when the
// back buffer could not be locked or the display is not open.
int32_t presentFrame(const Pixel* source);

// Releases whatever openDisplay created and switches the screen saver on; nonzero when that
// switch succeeded.
int32_t closeDisplay();

// Why the last device step failed, for the user; "" when nothing failed.
const char* displayError();

// Reacts to one message of the display window: Escape or a close request closes the display
// and ends the process with status 0; activation gates presentation; the pointer stays hidden.
int32_t displayWindowProc(uint32_t window, const DisplayMessage& message);

// The converter for a layout of bitCount bits with these masks; nullptr when none matches
// exactly.
PixelConverter choosePixelConverter(uint32_t bitCount, uint32_t redMask, uint32_t greenMask,
                                    uint32_t blueMask);

// 0x00RRGGBB, all 32 bits copied (the top byte too).
void convertRGB32(const Pixel* source, uint8_t* destination, int32_t count);
// 0x00BBGGRR: red and blue exchanged, top byte 0.
void convertBGR32(const Pixel* source, uint8_t* destination, int32_t count);
// Bytes blue, green, red.
void convertRGB24(const Pixel* source, uint8_t* destination, int32_t count);
// Bytes red, green, blue.
void convertBGR24(const Pixel* source, uint8_t* destination, int32_t count);
// Little-endian 16-bit words, red 0xF800, green 0x7E0, blue 0x1F.
void convertRGB565(const Pixel* source, uint8_t* destination, int32_t count);
// Little-endian 16-bit words, red 0x1F, green 0x7E0, blue 0xF800.
void convertBGR565(const Pixel* source, uint8_t* destination, int32_t count);
// Little-endian 16-bit words, red 0x7C00, green 0x3E0, blue 0x1F, bit 15 clear.
void convertRGB555(const Pixel* source, uint8_t* destination, int32_t count);
// Little-endian 16-bit words, red 0x1F, green 0x3E0, blue 0x7C00, bit 15 clear.
void convertBGR555(const Pixel* source, uint8_t* destination, int32_t count);
