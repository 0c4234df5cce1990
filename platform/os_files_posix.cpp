// Files and folders on POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/os_files.h"

namespace {

const char* kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    return "not a file";
}

FILE* fail(std::string* why, const std::string& reason) {
    if (why) *why = reason;
    return nullptr;
}

}  // namespace

bool isAbsolutePath(const std::string& path) {
    return !path.empty() && path[0] == '/';
}

std::string currentFolder() {
    char folder[PATH_MAX];
    return getcwd(folder, sizeof folder) != nullptr ? folder : "";
}

bool enterFolder(const std::string& folder, std::string* why) {
    if (chdir(folder.c_str()) == 0) return true;
    if (why) *why = std::strerror(errno);
    return false;
}

std::string programFolder() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return {};
    path[length] = '\0';
    std::string folder(path);
    const size_t slash = folder.rfind('/');
    return slash == std::string::npos ? std::string() : folder.substr(0, slash);
}

std::string parentFolder(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0) return {};
    return path.substr(0, slash);
}

bool pathExists(const std::string& path, int* error) {
    struct stat info;
    if (lstat(path.c_str(), &info) == 0) return true;
    if (error != nullptr && errno != ENOENT && *error == 0) *error = errno;
    return false;
}

PathKind pathKind(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return PathKind::kAbsent;
    if (S_ISREG(info.st_mode)) return PathKind::kRegularFile;
    return S_ISDIR(info.st_mode) ? PathKind::kFolder : PathKind::kOther;
}

std::string followLink(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    char* real = realpath(path.c_str(), nullptr);
    if (real == nullptr) return path;
    std::string target(real);
    std::free(real);
    return target;
}

bool makeFolder(const std::string& path, std::string* why) {
    if (mkdir(path.c_str(), 0755) == 0) return true;
    const int error = errno;
    struct stat info;
    if (error == EEXIST && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return true;
    if (why) *why = error == EEXIST ? "not a folder" : std::strerror(error);
    return false;
}

FILE* openRegularFile(const char* path, std::string* why, uint64_t maxBytes) {
    if (!path) return fail(why, "no path");
    // Without O_NONBLOCK, opening a FIFO that nobody writes to waits for ever, before the type
    // can be looked at. The type is taken from the open descriptor, so nothing can be swapped in
    // between the check and the reads.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT) return fail(why, "missing");
        // Some kinds cannot be opened at all (a socket gives ENXIO): their kind is the reason.
        struct stat info;
        if (stat(path, &info) == 0 && !S_ISREG(info.st_mode))
            return fail(why, std::string("not a regular file (") + kindOf(info.st_mode) + ")");
        return fail(why, std::string("cannot be opened: ") + std::strerror(error));
    }
    struct stat info;
    if (fstat(fd, &info) != 0) {
        const int error = errno;
        close(fd);
        return fail(why, std::strerror(error));
    }
    if (!S_ISREG(info.st_mode)) {
        close(fd);
        return fail(why, std::string("not a regular file (") + kindOf(info.st_mode) + ")");
    }
    if (info.st_size < 0 || static_cast<uint64_t>(info.st_size) > maxBytes) {
        close(fd);
        return fail(why, tooLargeText(maxBytes, static_cast<long long>(info.st_size)));
    }
    // Reads of a regular file never block; the flag goes anyway, so the stream behaves as one
    // from fopen.
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    FILE* stream = fdopen(fd, "rb");
    if (!stream) {
        const int error = errno;
        close(fd);
        return fail(why, std::strerror(error));
    }
    return stream;
}

FILE* createTemporaryFile() {
    FILE* file = std::tmpfile();
    if (file != nullptr) fcntl(fileno(file), F_SETFD, FD_CLOEXEC);
    return file;
}

FILE* createFile(const char* path) {
    return std::fopen(path, "wb");
}

bool replaceFile(const char* from, const char* to) {
    return std::rename(from, to) == 0;
}

bool removeFile(const char* path) {
    return std::remove(path) == 0;
}

int64_t openFileSize(FILE* file) {
    struct stat info {};
    if (fstat(fileno(file), &info) != 0) return -1;
    return static_cast<int64_t>(info.st_size);
}

FileStamp stampFile(const char* path) {
    FileStamp stamp;
    struct stat info {};
    if (stat(path, &info) != 0) return stamp;
    stamp.exists = true;
    stamp.device = static_cast<uint64_t>(info.st_dev);
    stamp.identity = static_cast<uint64_t>(info.st_ino);
    stamp.size = static_cast<uint64_t>(info.st_size);
    stamp.modifiedNanoseconds =
        static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    return stamp;
}
