// Standard descriptors that the caller left closed are opened on /dev/null.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/os_streams.h"

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

bool writesToTerminal(FILE* stream) {
    return isatty(fileno(stream)) == 1;
}
