// The entry of the show: the command line, the data folder, and the chosen way to run.
#include <cstdio>
#include <string>
#include <vector>

#include "output/timings.h"
#include "platform/os_arguments.h"
#include "platform/os_files.h"
#include "platform/os_streams.h"
#include "program/data_dir.h"
#include "program/options.h"
#include "program/run.h"

// Read by LeakSanitizer at start in the sanitizer tree (unused elsewhere). Two system libraries
// keep buffers of their own past shutdown, which are not ours to free: where there is no session
// bus, SDL's video start-up leaves one inside D-Bus (so "no display" still exits with its
// status), and Mesa's GLX (Debian 13's) keeps its screen records after SDL closes the display.
// Those libraries alone are exempt.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\nleak:libGLX_mesa.so\n";
}

int main(int argc, char** argv) {
    openClosedStandardStreams();
    startTimings(false);
    // UTF-8 on every system, so paths outside the code page reach the options whole.
    std::vector<std::string> args = commandLineArguments(argc, argv);
    std::vector<char*> argPointers;
    for (std::string& arg : args)
        argPointers.push_back(arg.data());
    argPointers.push_back(nullptr);
    Options options;
    std::string error;
    if (!parseOptions(static_cast<int>(args.size()), argPointers.data(), &options, &error)) {
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
        if (standardStreamWasClosed(kStandardOutput)) {
            std::fprintf(stderr, "brindlehop: standard output is closed\n");
            return kExitOutputFailed;
        }
        return standardOutputWritten() ? kExitOk : kExitOutputFailed;
    }

    // Paths the user gave are relative to where the program was started, not to the data
    // folder it moves into.
    const std::string startFolder = currentFolder();
    options.framesDir = anchoredPath(options.framesDir, startFolder);
    options.capturePath = anchoredPath(options.capturePath, startFolder);

    // The loaders open "data/..." relative to the working folder, so the program runs from the
    // folder that holds data/.
    std::string searched;
    const std::string root = findDataRoot(options.dataDir, &searched);
    if (root.empty()) {
        std::fprintf(stderr, "brindlehop: no data folder found (looked in %s); use --data DIR\n",
                     searched.c_str());
        return kExitUsage;
    }
    std::string why;
    if (!enterFolder(root, &why)) {
        std::fprintf(stderr, "brindlehop: cannot enter the data folder's parent %s: %s\n",
                     root.c_str(), why.c_str());
        return kExitUsage;
    }

    markTiming("data folder found");
    if (options.headless) return runHeadless(options);
    if (!options.capturePath.empty()) return runCapture(options);
    if (options.bench) return runBench(options);
    return runLive(options);
}
