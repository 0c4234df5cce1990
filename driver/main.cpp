// The entry of the show: the command line, the data folder, and the chosen way to run.
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <cstdio>
#include <string>

#include "driver/data_dir.h"
#include "driver/options.h"
#include "driver/run.h"
#include "driver/std_streams.h"
#include "driver/timings.h"

namespace {

// Paths the user gave are relative to where the program was started, not to the data folder
// it moves into.
void anchorPath(std::string* path, const std::string& startFolder) {
    if (!path->empty() && (*path)[0] != '/') *path = startFolder + "/" + *path;
}

}  // namespace

// Read by LeakSanitizer at start in the sanitizer tree (unused elsewhere). Where there is no
// session bus, SDL's video start-up leaves a buffer inside the system's D-Bus library, which is
// not ours to free; that library alone is exempt, so "no display" still exits with its status.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

int main(int argc, char** argv) {
    openClosedStandardStreams();
    startTimings(false);
    Options options;
    std::string error;
    if (!parseOptions(argc, argv, &options, &error)) {
        std::fprintf(stderr, "brindlehop: %s\nTry 'brindlehop --help' for the list of options.\n",
                     error.c_str());
        return kExitUsage;
    }
    startTimings(options.timings);
    markTiming("command line read");
    // What these print is the whole point of the run: a full or closed output is a failure.
    if (options.help || options.version || options.manualPage) {
        if (options.help)
            std::fputs(usageText(), stdout);
        else if (options.version)
            std::printf("%s\n", versionText());
        else
            std::fputs(manualPage().c_str(), stdout);
        if (standardStreamWasClosed(STDOUT_FILENO)) {
            std::fprintf(stderr, "brindlehop: standard output is closed\n");
            return kExitOutputFailed;
        }
        return standardOutputWritten() ? kExitOk : kExitOutputFailed;
    }

    char cwd[PATH_MAX];
    const std::string startFolder = getcwd(cwd, sizeof cwd) != nullptr ? cwd : ".";
    anchorPath(&options.framesDir, startFolder);
    anchorPath(&options.capturePath, startFolder);

    // The loaders open "data/..." relative to the working folder, so the program runs from the
    // folder that holds data/.
    std::string searched;
    const std::string root = findDataRoot(options.dataDir, &searched);
    if (root.empty()) {
        std::fprintf(stderr, "brindlehop: no data folder found (looked in %s); use --data DIR\n",
                     searched.c_str());
        return kExitUsage;
    }
    if (chdir(root.c_str()) != 0) {
        std::fprintf(stderr, "brindlehop: cannot enter the data folder's parent %s: %s\n",
                     root.c_str(), std::strerror(errno));
        return kExitUsage;
    }

    markTiming("data folder found");
    if (options.headless) return runHeadless(options);
    if (!options.capturePath.empty()) return runCapture(options);
    if (options.bench) return runBench(options);
    return runLive(options);
}
