#pragma once
// Directories named relative to where the viewer was started must still be
// found after --dir moves the working directory to the map.

#include <string>

namespace q {

// A name for the directory path (relative to the working directory) that
// keeps reaching it whatever the working directory becomes: its absolute path
// where that leaves room for the names below it within the system's limit on
// a path; or else, however deep the directory lies, a path through a
// descriptor held open on it for the rest of the run (/proc/self/fd/N). An
// absolute path, or one that cannot be opened, is returned as it stands (the
// option checks have named what is wrong with it).
std::string reachableDirectory(const std::string& path);

}  // namespace q
