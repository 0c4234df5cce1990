// What the standard streams share on every system.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/os_streams.h"

bool standardOutputWritten() {
    errno = 0;
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
    std::fprintf(stderr, "brindlehop: cannot write to standard output: %s\n",
                 errno != 0 ? std::strerror(errno) : "an earlier write failed");
    return false;
}
