// A lost display on X11: Xlib's fatal-error handlers replaced with the show's own.
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "platform/display_loss.h"

namespace {

// Xlib's handler types, spelled out rather than taken from its header, whose macros (Status,
// Bool, None) would leak into this file.
using XlibIoErrorHandler = int (*)(void* display);
using XlibErrorHandler = int (*)(void* display, void* event);

// The exit status of a show whose display went away, the same as one that never had a display.
constexpr int kDisplayLostStatus = 3;

// Xlib calls this when the connection to the X server breaks (the server ended or the show's
// client was killed); it must not return. Xlib's own would print a raw error and exit with 1.
int displayConnectionLost(void*) {
    std::fprintf(stderr, "brindlehop: lost the connection to the display; the show ends\n");
    std::fflush(nullptr);
    _exit(kDisplayLostStatus);
}

// Xlib calls this for a request the server refused that SDL did not expect, such as drawing
// into a window another program has destroyed.
int displayRequestRefused(void*, void* event) {
    // XErrorEvent: type, display, resource id, serial, then error, request and minor codes.
    struct RefusedRequest {
        int type;
        void* display;
        unsigned long resource;
        unsigned long serial;
        unsigned char errorCode;
        unsigned char requestCode;
        unsigned char minorCode;
    };
    const RefusedRequest* refused = static_cast<const RefusedRequest*>(event);
    std::fprintf(stderr,
                 "brindlehop: the display refused a request (X error %u on request %u, resource "
                 "0x%lx); was the window closed by another program? The show ends\n",
                 refused->errorCode, refused->requestCode, refused->resource);
    std::fflush(nullptr);
    _exit(kDisplayLostStatus);
}

}  // namespace

// SDL loads Xlib itself, so the functions are looked up in the copy it loaded.
void catchDisplayLoss(const char* driver) {
    if (driver == nullptr || std::strcmp(driver, "x11") != 0) return;
    void* xlib = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
    if (xlib == nullptr) return;
    using SetIoHandler = XlibIoErrorHandler (*)(XlibIoErrorHandler);
    using SetHandler = XlibErrorHandler (*)(XlibErrorHandler);
    auto setIoHandler = reinterpret_cast<SetIoHandler>(dlsym(xlib, "XSetIOErrorHandler"));
    auto setHandler = reinterpret_cast<SetHandler>(dlsym(xlib, "XSetErrorHandler"));
    if (setIoHandler != nullptr) setIoHandler(displayConnectionLost);
    if (setHandler != nullptr) setHandler(displayRequestRefused);
    dlclose(xlib);  // drops only this lookup's reference; SDL keeps the library loaded
}

#if defined(__SANITIZE_ADDRESS__)
#define BRINDLEHOP_LEAK_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BRINDLEHOP_LEAK_CHECKED 1
#endif
#endif

#ifdef BRINDLEHOP_LEAK_CHECKED
namespace {
int keepLoaded(dl_phdr_info* info, size_t, void*) {
    if (info->dlpi_name != nullptr && info->dlpi_name[0] != '\0')
        dlopen(info->dlpi_name, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
    return 0;
}
}  // namespace

void keepLibrariesForLeakCheck() { dl_iterate_phdr(keepLoaded, nullptr); }
#else
void keepLibrariesForLeakCheck() {}
#endif
