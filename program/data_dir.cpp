// Finding the folder that holds data/.
#include "program/data_dir.h"

#include <cstring>
#include <vector>

#include "platform/os_files.h"
#include "show/asset_table.h"

namespace {

// Whether path is there; a reason other than its absence (a folder that cannot be searched, a
// loop of links) is kept in *error, the first one only.
bool exists(const std::string& path, int* error) {
    return pathExists(path, error);
}

// A data folder is known by any of the show's files: one with some of them missing is still
// taken, so that start-up can say which are missing instead of that there is no folder at all.
// When none is found, *error holds why a file could not be looked at (0: they are all absent).
bool holdsData(const std::string& root, int* error) {
    const std::string base = (root.empty() ? std::string(".") : root) + "/";
    *error = 0;
    for (const char* path : {kMusicPath, kScenePath, kLightPath}) {
        if (exists(base + path, error)) return true;
    }
    for (const PictureEntry& entry : kPictureTable) {
        const std::string latin1 = latin1Spelling(entry.name);
        if (exists(base + "data/" + entry.name, error) ||
            (!latin1.empty() && exists(base + "data/" + latin1, error)))
            return true;
    }
    return false;
}

}  // namespace

std::string findDataRoot(const std::string& requested, std::string* searched) {
    std::vector<std::string> candidates;
    if (!requested.empty()) {
        candidates.push_back(requested);
    } else {
        candidates.emplace_back(".");
        // Beside the program; a build tree keeps it two folders below the checkout.
        std::string folder = programFolder();
        for (int up = 0; up < 3 && !folder.empty(); ++up) {
            candidates.push_back(folder);
            folder = parentFolder(folder);
        }
        // (Empty where the build has no such place, as on Windows, whose copies keep their data
        // beside the program.)
        const std::string shareFolder = BRINDLEHOP_SHARE_DIR;
        const std::string sourceRoot = BRINDLEHOP_SOURCE_ROOT;
        if (!shareFolder.empty()) candidates.push_back(shareFolder);
        // A build that was never installed runs from anywhere: its checkout is the last resort.
        if (!sourceRoot.empty() && programFolder() != BRINDLEHOP_BIN_DIR)
            candidates.push_back(sourceRoot);
    }
    searched->clear();
    for (const std::string& candidate : candidates) {
        int error = 0;
        if (holdsData(candidate, &error)) return candidate;
        if (!searched->empty()) searched->append(", ");
        searched->append(candidate).append("/data");
        if (error != 0) searched->append(" (").append(std::strerror(error)).append(")");
    }
    return {};
}

std::string anchoredPath(const std::string& path, const std::string& startFolder) {
    if (path.empty() || isAbsolutePath(path)) return path;
    // (A working folder that cannot be named leaves the path as it is, relative to it.)
    if (startFolder.empty()) return path;
    return startFolder + "/" + path;
}
