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

FILE* openRegularFile(const char* path, std::string* why) {
    if (!path) return fail(why, "no path");
    // Without O_NONBLOCK, opening a FIFO that nobody writes to waits for ever, before the type
    // can be looked at. The type is taken from the open descriptor, so nothing can be swapped in
    // between the check and the reads.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return fail(why, "missing");
        return fail(why, std::string("cannot be opened: ") + std::strerror(errno));
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
