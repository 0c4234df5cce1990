// The entry of the show in a browser: the page passes its URL parameters as a command line, and
// the data files sit in data/ of the in-memory file system.
#include <cstdio>
#include <string>

#include "driver/options.h"
#include "driver/run.h"

int main(int argc, char** argv) {
    Options options;
    std::string error;
    if (!parseOptions(argc, argv, &options, &error)) {
        std::fprintf(stderr, "brindlehop: %s\n", error.c_str());
        return kExitUsage;
    }
    if (options.headless) return runHeadless(options);
    if (options.bench) return runBench(options);
    return runLive(options);
}
