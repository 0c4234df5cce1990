// Opening a data file for reading, only when it is a regular file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "assets/assets.h"

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

std::string sizeLimitText(uint64_t bytes) {
    if (bytes >= (uint64_t{1} << 20) && bytes % (uint64_t{1} << 20) == 0)
        return std::to_string(bytes >> 20) + " MiB";
    return std::to_string(bytes) + " bytes";
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
        return fail(why, "larger than the limit of " + sizeLimitText(maxBytes) + " (" +
                             std::to_string(static_cast<long long>(info.st_size)) + " bytes)");
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
