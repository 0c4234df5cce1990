// frame_checksums: the checksum line of every frame of the show (or of the --at moments) on the
// offline clock, with no pictures written; what the browser build's headless mode is compared to.
//   frame_checksums [--fps N] [--at S,S,...] [--until S] [--data DIR]
#include <unistd.h>

#include <cstdio>
#include <string>

#include "driver/checksums.h"
#include "driver/data_dir.h"
#include "driver/options.h"
#include "driver/run.h"

int main(int argc, char** argv) {
    Options options;
    std::string error;
    if (!parseChecksumOptions(argc, argv, &options, &error)) {
        std::fprintf(stderr, "frame_checksums: %s\n", error.c_str());
        return kExitUsage;
    }
    std::string searched;
    const std::string root = findDataRoot(options.dataDir, &searched);
    if (root.empty() || chdir(root.c_str()) != 0) {
        std::fprintf(stderr, "frame_checksums: no data folder found (looked in %s)\n",
                     searched.c_str());
        return kExitUsage;
    }
    return runChecksums(options);
}
