// The standard streams on Windows. The windowed program (brindlehop.exe) has no console of its
// own: started from one, it writes to its parent's console; started from the desktop, its streams
// go to the null device. The console program (brindlehop.com) has the console cmd gives it.
// Either way the streams are binary, so lines end in "\n" as on POSIX.
#include <fcntl.h>
#include <io.h>

#include <cstdint>
#include <cstdio>

#include "platform/os_streams.h"
#include "platform/os_windows.h"

namespace {

unsigned closedAtStart = 0;  // bit fd set when stream fd was closed at start

constexpr DWORD kStandardHandles[3] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};

bool handleUsable(HANDLE handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
           GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

bool builtWindowed() {
    const auto* base = reinterpret_cast<const unsigned char*>(GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    return nt->OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_GUI;
}

FILE* streamOf(int fd) {
    return fd == 0 ? stdin : fd == 1 ? stdout : stderr;
}

// Points C stream fd at the named device ("CONOUT$", "NUL", ...).
void reopenOn(int fd, const wchar_t* device) {
    FILE* stream = streamOf(fd);
    if (_wfreopen(device, fd == 0 ? L"rb" : L"wb", stream) == nullptr) return;
    const intptr_t handle = _get_osfhandle(_fileno(stream));
    if (handle != -1) SetStdHandle(kStandardHandles[fd], reinterpret_cast<HANDLE>(handle));
}

}  // namespace

void openClosedStandardStreams() {
    bool missing[3];
    bool anyMissing = false;
    for (int fd = 0; fd <= 2; ++fd) {
        missing[fd] = !handleUsable(GetStdHandle(kStandardHandles[fd])) ||
                      _get_osfhandle(_fileno(streamOf(fd))) == -1;
        anyMissing = anyMissing || missing[fd];
    }
    // Only the windowed program borrows its parent's console; a console program's missing
    // stream was closed on purpose.
    const bool console = anyMissing && builtWindowed() && AttachConsole(ATTACH_PARENT_PROCESS);
    for (int fd = 0; fd <= 2; ++fd) {
        if (missing[fd]) {
            if (console) {
                reopenOn(fd, fd == 0 ? L"CONIN$" : L"CONOUT$");
            } else {
                reopenOn(fd, L"NUL");
                closedAtStart |= 1u << fd;
            }
        }
        _setmode(_fileno(streamOf(fd)), _O_BINARY);
    }
    // Paths and the title cards' names are UTF-8.
    if (GetConsoleWindow() != nullptr) SetConsoleOutputCP(CP_UTF8);
}

bool standardStreamWasClosed(int fd) {
    return fd >= 0 && fd <= 2 && (closedAtStart & (1u << fd)) != 0;
}

bool writesToTerminal(FILE* stream) {
    // _isatty says yes for the null device too; a console answers to its mode.
    const intptr_t handle = _get_osfhandle(_fileno(stream));
    DWORD mode = 0;
    return handle != -1 && GetConsoleMode(reinterpret_cast<HANDLE>(handle), &mode) != 0;
}
