// The command line as UTF-8, whatever the system's code page.
#pragma once

#include <string>
#include <vector>

// The program's arguments, argv[0] first: argv itself on POSIX; on Windows the wide command
// line, so that a path with letters outside the code page arrives whole.
std::vector<std::string> commandLineArguments(int argc, char** argv);
