// Files and folders on Windows, through the wide-character calls: paths are UTF-8 in the
// program and UTF-16 for the system, so no code page gets in the way.
#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/os_files.h"
#include "platform/os_windows.h"

namespace {

FILE* fail(std::string* why, const std::string& reason) {
    if (why) *why = reason;
    return nullptr;
}

bool isSlash(char c) {
    return c == '/' || c == '\\';
}

}  // namespace

std::wstring wideText(const std::string& text) {
    if (text.empty()) return {};
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                           static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) {
        // Not UTF-8: a name spelt in Latin-1 (a title card's "p\xE5ske"), whose bytes are the
        // first 256 code points.
        std::wstring wide;
        for (char c : text)
            wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
        return wide;
    }
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                        wide.data(), length);
    return wide;
}

std::string utf8Text(const std::wstring& text) {
    if (text.empty()) return {};
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    if (length <= 0) return {};
    std::string narrow(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(),
                        length, nullptr, nullptr);
    return narrow;
}

int errnoFromSystemError(DWORD error) {
    int number = EIO;
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
            number = ENOENT;
            break;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            number = EACCES;
            break;
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS:
            number = EEXIST;
            break;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            number = ENOSPC;
            break;
        case ERROR_WRITE_PROTECT:
            number = EROFS;
            break;
        case ERROR_FILENAME_EXCED_RANGE:
            number = ENAMETOOLONG;
            break;
        case ERROR_INVALID_NAME:
        case ERROR_INVALID_PARAMETER:
            number = EINVAL;
            break;
        case ERROR_DIRECTORY:
            number = ENOTDIR;
            break;
        case ERROR_BROKEN_PIPE:
        case ERROR_NO_DATA:
        case ERROR_PIPE_NOT_CONNECTED:
            number = EPIPE;
            break;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            number = ENOMEM;
            break;
        default:
            break;
    }
    errno = number;
    return number;
}

bool isAbsolutePath(const std::string& path) {
    if (path.empty()) return false;
    // "\x" and "/x" start at the current drive's root, "\\server\share" at a server's.
    if (isSlash(path[0])) return true;
    const char drive = path[0];
    const bool letter = (drive >= 'A' && drive <= 'Z') || (drive >= 'a' && drive <= 'z');
    // "C:x" is relative to drive C's own working folder, so it is not absolute.
    return letter && path.size() >= 3 && path[1] == ':' && isSlash(path[2]);
}

std::string currentFolder() {
    const DWORD length = GetCurrentDirectoryW(0, nullptr);
    if (length == 0) return {};
    std::wstring folder(length, L'\0');
    const DWORD written = GetCurrentDirectoryW(length, folder.data());
    if (written == 0 || written >= length) return {};
    folder.resize(written);
    return utf8Text(folder);
}

bool enterFolder(const std::string& folder, std::string* why) {
    if (SetCurrentDirectoryW(wideText(folder).c_str())) return true;
    if (why) *why = std::strerror(errnoFromSystemError(GetLastError()));
    return false;
}

std::string programFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const std::string folder = utf8Text(path);
    const size_t slash = folder.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : folder.substr(0, slash);
}

std::string parentFolder(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    if (slash == std::string::npos || slash == 0 || (slash == 2 && path[1] == ':')) return {};
    const std::string parent = path.substr(0, slash);
    // "\\server\share" is the root of a share.
    if (parent.size() > 2 && isSlash(parent[0]) && isSlash(parent[1])) {
        const size_t server = parent.find_first_of("\\/", 2);
        if (server == std::string::npos ||
            parent.find_first_of("\\/", server + 1) == std::string::npos)
            return {};
    }
    return parent;
}

bool pathExists(const std::string& path, int* error) {
    if (GetFileAttributesW(wideText(path).c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    const int reason = errnoFromSystemError(GetLastError());
    if (error != nullptr && reason != ENOENT && *error == 0) *error = reason;
    return false;
}

PathKind pathKind(const std::string& path) {
    HANDLE file = CreateFileW(wideText(path).c_str(), 0,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return PathKind::kAbsent;
    PathKind kind = PathKind::kOther;
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info))
        kind = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::kFolder
                                                                       : PathKind::kRegularFile;
    CloseHandle(file);
    return kind;
}

// Links are rare here and replacing one replaces the link, which is what a user expects of it.
std::string followLink(const std::string& path) {
    return path;
}

bool makeFolder(const std::string& path, std::string* why) {
    const std::wstring wide = wideText(path);
    if (CreateDirectoryW(wide.c_str(), nullptr)) return true;
    const DWORD error = GetLastError();
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (error == ERROR_ALREADY_EXISTS && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return true;
    if (why)
        *why = error == ERROR_ALREADY_EXISTS ? "not a folder"
                                             : std::strerror(errnoFromSystemError(error));
    return false;
}

FILE* openRegularFile(const char* path, std::string* why, uint64_t maxBytes) {
    if (!path) return fail(why, "no path");
    // Folders open too (backup semantics), so that one is named as a folder rather than as a
    // file that cannot be opened. Opening never waits, whatever the name is.
    HANDLE file = CreateFileW(wideText(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const int error = errnoFromSystemError(GetLastError());
        if (error == ENOENT) return fail(why, "missing");
        return fail(why, std::string("cannot be opened: ") + std::strerror(error));
    }
    // The type is taken from the open handle, so nothing can be swapped in between.
    const char* kind = nullptr;
    switch (GetFileType(file)) {
        case FILE_TYPE_DISK: {
            BY_HANDLE_FILE_INFORMATION info{};
            if (!GetFileInformationByHandle(file, &info))
                kind = "not a file";
            else if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
                kind = "a folder";
            break;
        }
        case FILE_TYPE_PIPE:
            kind = "a pipe";
            break;
        case FILE_TYPE_CHAR:
            kind = "a character device";
            break;
        default:
            kind = "not a file";
            break;
    }
    if (kind != nullptr) {
        CloseHandle(file);
        return fail(why, std::string("not a regular file (") + kind + ")");
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size) || static_cast<uint64_t>(size.QuadPart) > maxBytes) {
        CloseHandle(file);
        return fail(why, tooLargeText(maxBytes, static_cast<long long>(size.QuadPart)));
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(file);
        return fail(why, std::strerror(EMFILE));
    }
    FILE* stream = _fdopen(fd, "rb");
    if (!stream) {
        const int error = errno;
        _close(fd);
        return fail(why, std::strerror(error));
    }
    return stream;
}

FILE* createTemporaryFile() {
    wchar_t folder[MAX_PATH + 1];
    wchar_t name[MAX_PATH + 1];
    if (GetTempPathW(MAX_PATH + 1, folder) == 0 ||
        GetTempFileNameW(folder, L"bhp", 0, name) == 0) {
        errnoFromSystemError(GetLastError());
        return nullptr;
    }
    // Not inheritable (no security attributes), and gone once closed.
    HANDLE file = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        errnoFromSystemError(GetLastError());
        DeleteFileW(name);
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDWR | _O_BINARY);
    if (fd < 0) {
        CloseHandle(file);
        errno = EMFILE;
        return nullptr;
    }
    FILE* stream = _fdopen(fd, "w+b");
    if (stream == nullptr) _close(fd);
    return stream;
}

FILE* createFile(const char* path) {
    const std::wstring wide = wideText(path);
    if (wide.empty()) {
        errno = EINVAL;
        return nullptr;
    }
    return _wfopen(wide.c_str(), L"wb");
}

bool replaceFile(const char* from, const char* to) {
    // A plain rename refuses to replace a file here; this replaces it in one step.
    if (MoveFileExW(wideText(from).c_str(), wideText(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    errnoFromSystemError(GetLastError());
    return false;
}

bool removeFile(const char* path) {
    if (DeleteFileW(wideText(path).c_str())) return true;
    errnoFromSystemError(GetLastError());
    return false;
}

int64_t openFileSize(FILE* file) {
    const intptr_t handle = _get_osfhandle(_fileno(file));
    LARGE_INTEGER size{};
    if (handle == -1 || !GetFileSizeEx(reinterpret_cast<HANDLE>(handle), &size)) {
        errno = EBADF;
        return -1;
    }
    return static_cast<int64_t>(size.QuadPart);
}

FileStamp stampFile(const char* path) {
    FileStamp stamp;
    HANDLE file = CreateFileW(wideText(path).c_str(), 0,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return stamp;
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileInformationByHandle(file, &info)) {
        stamp.exists = true;
        stamp.device = info.dwVolumeSerialNumber;
        stamp.identity = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
        stamp.size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
        const uint64_t ticks = (static_cast<uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                               info.ftLastWriteTime.dwLowDateTime;
        stamp.modifiedNanoseconds = static_cast<int64_t>(ticks * 100);
    }
    CloseHandle(file);
    return stamp;
}
