// Standard descriptors that the caller left closed are opened on /dev/null.
#include "driver/std_streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

unsigned closedAtStart = 0;  // bit fd set when descriptor fd was closed at start

}  // namespace

void openClosedStandardStreams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // open takes the lowest free number, which is fd: the lower ones are open by now.
        const int opened = open("/dev/null", O_RDWR);
        if (opened < 0) continue;
        if (opened != fd) {
            dup2(opened, fd);
            close(opened);
        }
        closedAtStart |= 1u << fd;
    }
}

bool standardStreamWasClosed(int fd) {
    return fd >= 0 && fd <= 2 && (closedAtStart & (1u << fd)) != 0;
}

bool standardOutputWritten() {
    errno = 0;
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
    std::fprintf(stderr, "brindlehop: cannot write to standard output: %s\n",
                 errno != 0 ? std::strerror(errno) : "an earlier write failed");
    return false;
}
