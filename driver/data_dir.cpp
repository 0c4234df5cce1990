// Finding the folder that holds data/.
#include "driver/data_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <vector>

namespace {

bool holdsData(const std::string& root) {
    struct stat info;
    const std::string probe = (root.empty() ? std::string(".") : root) + "/data/colors.jpg";
    return stat(probe.c_str(), &info) == 0 && S_ISREG(info.st_mode);
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
    }
    searched->clear();
    for (const std::string& candidate : candidates) {
        if (holdsData(candidate)) return candidate;
        if (!searched->empty()) searched->append(", ");
        searched->append(candidate).append("/data");
    }
    return {};
}
