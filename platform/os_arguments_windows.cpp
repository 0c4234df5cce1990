// The command line on Windows, read from its wide form.
#include "platform/os_arguments.h"
#include "platform/os_windows.h"

#include <shellapi.h>

std::vector<std::string> commandLineArguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> args;
    for (int i = 0; i < count; ++i)
        args.push_back(utf8Text(wide[i]));
    LocalFree(wide);
    return args;
}
