// The command line on POSIX systems: already bytes, as given.
#include "platform/os_arguments.h"

std::vector<std::string> commandLineArguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}
