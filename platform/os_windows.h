// Helpers shared by the Windows implementations of the platform interfaces; included only by
// platform/*_windows.cpp.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

// UTF-8 to the system's UTF-16 and back. Bytes that are not UTF-8 are read as Latin-1.
std::wstring wideText(const std::string& text);
std::string utf8Text(const std::wstring& text);

// The errno value nearest to a system error code, so messages read as on POSIX; also stored
// in errno.
int errnoFromSystemError(DWORD error);

// The manual-reset event that a stop request (Ctrl+C, the console closing) sets, for waits that
// must end on one.
HANDLE stopRequestEvent();
