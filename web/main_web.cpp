// The entry of the show in a browser: the page passes its URL parameters as a command line, and
// the data files sit in data/ of the in-memory file system.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "output/timings.h"
#include "program/options.h"
#include "program/run.h"

namespace {

int runShow(int argc, char** argv) {
    Options options;
    std::string error;
    if (!parseOptions(argc, argv, &options, &error)) {
        std::fprintf(stderr, "brindlehop: %s\n", error.c_str());
        return kExitUsage;
    }
    startTimings(options.timings);
    markTiming("command line read");
    if (options.headless) return runHeadless(options);
    if (options.bench) return runBench(options);
    return runLive(options);
}

}  // namespace

// The frame loop hands control back to the browser between frames, so main is resumed from the
// browser's event loop rather than called from the runtime; a value returned from there goes
// nowhere and the page would never hear that the show ended. exit() says so in every case.
int main(int argc, char** argv) {
    std::exit(runShow(argc, argv));
}
