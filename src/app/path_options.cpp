#include "app/path_options.h"

#include <filesystem>
#include <system_error>

namespace q {

namespace {

namespace fs = std::filesystem;

enum class Kind { Missing, Directory, Other };

Kind kindOf(const fs::path& path) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (error || !fs::exists(status)) return Kind::Missing;
    return fs::is_directory(status) ? Kind::Directory : Kind::Other;
}

bool fail(std::string* error, const char* option, const char* expected, const std::string& name, const char* problem) {
    *error = std::string(option) + " expects " + expected + ": '" + name + "' " + problem;
    return false;
}

bool checkDirectory(const char* option, const char* expected, const std::string& name, std::string* error) {
    switch (kindOf(name)) {
        case Kind::Missing: return fail(error, option, expected, name, "does not exist");
        case Kind::Other: return fail(error, option, expected, name, "is not a directory");
        case Kind::Directory: return true;
    }
    return true;
}

// A file the run writes: its directory must be there already.
bool checkOutputFile(const char* option, const std::string& name, std::string* error) {
    const char* expected = "a file in an existing directory";
    if (kindOf(name) == Kind::Directory) return fail(error, option, expected, name, "is a directory");
    const fs::path parent = fs::path(name).parent_path();
    if (parent.empty()) return true;  // the working directory
    switch (kindOf(parent)) {
        case Kind::Missing: return fail(error, option, expected, parent.string(), "does not exist");
        case Kind::Other: return fail(error, option, expected, parent.string(), "is not a directory");
        case Kind::Directory: return true;
    }
    return true;
}

}  // namespace

bool checkPathOptions(const Options& options, std::string* error) {
    if (!options.dir.empty() && !checkDirectory("--dir", "a directory holding the map", options.dir, error))
        return false;
    for (const std::string& dir : options.textureDirs)
        if (!checkDirectory("--textures", "a directory of images", dir, error)) return false;
    for (const std::string& path : options.assetDirs)
        if (kindOf(path) == Kind::Missing) return fail(error, "--assets", "an asset folder or zip archive", path, "does not exist");
    if (!options.inputFile.empty()) {
        const char* expected = "an input script file";
        switch (kindOf(options.inputFile)) {
            case Kind::Missing: return fail(error, "--input", expected, options.inputFile, "does not exist");
            case Kind::Directory: return fail(error, "--input", expected, options.inputFile, "is a directory");
            case Kind::Other: break;
        }
    }
    if (!options.screenshotFile.empty() && !checkOutputFile("--screenshot", options.screenshotFile, error))
        return false;
    if (!options.traceFile.empty() && !checkOutputFile("--trace", options.traceFile, error)) return false;
    return true;
}

}  // namespace q
