// Finding the folder that holds data/.
#include "driver/data_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <vector>

#include "driver/asset_table.h"

namespace {

bool exists(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

// A data folder is known by any of the show's files: one with some of them missing is still
// taken, so that start-up can say which are missing instead of that there is no folder at all.
bool holdsData(const std::string& root) {
    const std::string base = (root.empty() ? std::string(".") : root) + "/";
    for (const char* path : {kMusicPath, kScenePath, kLightPath}) {
        if (exists(base + path)) return true;
    }
    for (const PictureEntry& entry : kPictureTable) {
        const std::string latin1 = latin1Spelling(entry.name);
        if (exists(base + "data/" + entry.name) ||
            (!latin1.empty() && exists(base + "data/" + latin1)))
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
        if (holdsData(candidate)) return candidate;
        if (!searched->empty()) searched->append(", ");
        searched->append(candidate).append("/data");
    }
    return {};
}
