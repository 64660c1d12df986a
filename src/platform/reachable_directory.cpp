#include "platform/reachable_directory.h"

#include <fcntl.h>

#include <climits>
#include <filesystem>
#include <system_error>

namespace q {

std::string reachableDirectory(const std::string& path) {
    if (path.empty() || path.front() == '/') return path;
    // Half the limit is left for the material and file names joined below it.
    std::error_code noWorkingDirectory;
    const std::filesystem::path whole = path == "." ? std::filesystem::current_path(noWorkingDirectory)
                                                    : std::filesystem::absolute(path, noWorkingDirectory);
    const std::string absolute = whole.string();
    if (!noWorkingDirectory && absolute.size() < PATH_MAX / 2) return absolute;
    // Deliberately never closed: the name is used until the run ends.
    const int descriptor = ::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) return path;
    return "/proc/self/fd/" + std::to_string(descriptor);
}

}  // namespace q
