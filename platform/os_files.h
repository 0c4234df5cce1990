// Files and folders as the operating system names them. Paths are UTF-8 on every system; the
// Windows side hands them to the wide-character calls, so spaces and letters outside ASCII work
// whatever the console's code page.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// Whether path names a place without reference to the working folder: "/x" on POSIX; "C:\x",
// "C:/x", "\\server\share" and "\x" (the current drive's root) on Windows.
bool isAbsolutePath(const std::string& path);

// The working folder, or "" when it cannot be had.
std::string currentFolder();

// Makes folder the working folder; false with the system's reason in *why.
bool enterFolder(const std::string& folder, std::string* why);

// The folder that holds the running program, or "" when it cannot be had.
std::string programFolder();

// The folder that holds path, or "" when path names no folder or only a root ("/", "C:\",
// "\\server\share").
std::string parentFolder(const std::string& path);

// Whether anything (a file, a folder, a link, even a dangling one) has this name. A reason other
// than its absence (a folder that cannot be searched, a loop of links) is kept as an errno value
// in *error when that is 0, so the first one stays.
bool pathExists(const std::string& path, int* error = nullptr);

// What a name stands for, links followed.
enum class PathKind : uint8_t { kAbsent, kRegularFile, kFolder, kOther };
PathKind pathKind(const std::string& path);

// The file a link points to when path is a link (all links followed), else path itself.
std::string followLink(const std::string& path);

// Makes a folder; true when it is made or a folder already has that name, else false with the
// system's reason in *why.
bool makeFolder(const std::string& path, std::string* why);

// Opens an existing file for reading, only when it is a regular file of at most maxBytes: a FIFO,
// a device or a folder is refused before anything could wait on it. Binary mode. Null with the
// reason in *why: "missing", "not a regular file (a FIFO)", "cannot be opened: <strerror>",
// "larger than the limit of 16 MiB (<size> bytes)".
FILE* openRegularFile(const char* path, std::string* why = nullptr,
                      uint64_t maxBytes = UINT64_MAX);

// The words for a limit of bytes in a message: "16 MiB", "1000 bytes".
inline std::string sizeLimitText(uint64_t bytes) {
    if (bytes >= (uint64_t{1} << 20) && bytes % (uint64_t{1} << 20) == 0)
        return std::to_string(bytes >> 20) + " MiB";
    return std::to_string(bytes) + " bytes";
}

// The reason openRegularFile gives for a file over its limit, the same on every system:
// "larger than the limit of 16 MiB (16777217 bytes)".
inline std::string tooLargeText(uint64_t limit, long long size) {
    return "larger than the limit of " + sizeLimitText(limit) + " (" + std::to_string(size) +
           " bytes)";
}

// A new, empty file for reading and writing that no child process inherits and that is deleted
// when closed; null with errno set.
FILE* createTemporaryFile();

// Opens a file for writing, made or emptied (fopen's "wb"), or null with errno set.
FILE* createFile(const char* path);

// Gives the file from the name to, replacing any file of that name in one step: a reader sees
// the old file or the new one, never neither. false with errno set.
bool replaceFile(const char* from, const char* to);

// Removes a file; false with errno set.
bool removeFile(const char* path);

// The size of an open regular file, or -1 with errno set.
int64_t openFileSize(FILE* file);

// What a file was at one moment, to tell later whether anyone wrote to it.
struct FileStamp {
    bool exists = false;
    uint64_t device = 0;
    uint64_t identity = 0;      // inode, or the file index on Windows
    uint64_t size = 0;
    int64_t modifiedNanoseconds = 0;
};

FileStamp stampFile(const char* path);

// Whether two stamps are of the same file, unchanged.
inline bool sameFileUnchanged(const FileStamp& before, const FileStamp& now) {
    return before.exists && now.exists && before.device == now.device &&
           before.identity == now.identity && before.size == now.size &&
           before.modifiedNanoseconds == now.modifiedNanoseconds;
}
