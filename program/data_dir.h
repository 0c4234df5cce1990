// Finding the folder that holds data/, so that the loaders' "data/..." paths work from anywhere.
#pragma once

#include <string>

// The folder to run in: the given one (--data) when not empty, else the working folder, else the
// folder of the program or one of its parents, else the installed share folder, else (for a
// build that is not installed) the checkout it was built from. The chosen folder's data/ must
// hold at least one of the show's files. Empty when none does; searched lists every place that
// was looked at.
std::string findDataRoot(const std::string& requested, std::string* searched);

// path as seen from startFolder: unchanged when empty or absolute ("/x"; on Windows also "C:\x"
// and "\\server\share\x") or when startFolder is "" (not known), else startFolder + "/" + path.
std::string anchoredPath(const std::string& path, const std::string& startFolder);
