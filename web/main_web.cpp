// The entry of the show in a browser: the page passes its URL parameters as a command line, and
// the data files sit in data/ of the in-memory file system.
#include <cstdio>
#include <string>

#include "driver/checksums.h"
#include "driver/options.h"
#include "driver/run.h"

int main(int argc, char** argv) {
    Options options;
    std::string error;
    // The page asks for a checksum run with --headless first.
    const bool checksums = argc > 1 && std::string(argv[1]) == "--headless";
    if (!(checksums ? parseChecksumOptions(argc, argv, &options, &error)
                    : parseOptions(argc, argv, &options, &error))) {
        std::fprintf(stderr, "brindlehop: %s\n", error.c_str());
        return kExitUsage;
    }
    if (options.headless) return runChecksums(options);
    if (options.bench) return runBench(options);
    return runLive(options);
}
