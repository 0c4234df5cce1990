// A display that goes away while the show runs.
#pragma once

// For SDL's video driver (SDL_GetCurrentVideoDriver()): on X11, replaces Xlib's handlers (which
// print a raw error and exit with 1) with the show's own, which say so and exit with the status
// of a show that had no display. Elsewhere SDL reports a lost display itself.
void catchDisplayLoss(const char* driver);

// In a leak-checked build, keeps every library loaded now loaded to the end: LeakSanitizer follows
// pointers held in loaded libraries, and the GL driver that SDL unloads at shutdown keeps buffers
// reachable only from its own data. Does nothing in other builds and on other systems.
void keepLibrariesForLeakCheck();
