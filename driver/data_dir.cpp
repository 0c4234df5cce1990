// Finding the folder that holds data/.
#include "driver/data_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include "driver/asset_table.h"

namespace {

// Whether path is there; a reason other than its absence (a folder that cannot be searched, a
// loop of links) is kept in *error, the first one only.
bool exists(const std::string& path, int* error) {
    struct stat info;
    if (lstat(path.c_str(), &info) == 0) return true;
    if (errno != ENOENT && *error == 0) *error = errno;
    return false;
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

std::string programFolder() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return {};
    path[length] = '\0';
    std::string folder(path);
    const size_t slash = folder.rfind('/');
    return slash == std::string::npos ? std::string() : folder.substr(0, slash);
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
            const size_t slash = folder.rfind('/');
            folder =
                slash == std::string::npos || slash == 0 ? std::string() : folder.substr(0, slash);
        }
        candidates.emplace_back(BRINDLEHOP_SHARE_DIR);
        // A build that was never installed runs from anywhere: its checkout is the last resort.
        if (programFolder() != BRINDLEHOP_BIN_DIR) candidates.emplace_back(BRINDLEHOP_SOURCE_ROOT);
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
