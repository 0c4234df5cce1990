// Checksums of the show's frames on the offline clock, without writing any picture: the lines
// by which a build on another platform (the browser) is compared with this one.
#pragma once

#include <string>

#include "driver/options.h"

// The show on the offline clock at options.fps, one "frame N t T scene S crc32 X" line per frame
// (or per --at moment, up to --until) on stdout, as --headless --frames prints them. Returns the
// exit status.
int runChecksums(const Options& options);

// Reads a checksum run's command line: always headless, and --at needs no --frames since nothing
// is written. False with a message in error as parseOptions gives it.
bool parseChecksumOptions(int argc, char** argv, Options* options, std::string* error);
