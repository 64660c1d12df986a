#include "platform/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

namespace q {

namespace {

// The directory part and the last part of a path; "." for a bare name.
void splitPath(const std::string& path, std::string* directory, std::string* name) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        *directory = ".";
        *name = path;
    } else {
        *directory = slash == 0 ? "/" : path.substr(0, slash);
        *name = path.substr(slash + 1);
    }
}

// The path a chain of symbolic links ends at (the same path when it is none);
// the last link may point at a file not there yet. False on a loop.
bool followLinks(std::string path, std::string* out) {
    for (int hop = 0; hop < 40; ++hop) {
        struct stat status {};
        if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
            *out = path;
            return true;
        }
        std::vector<char> target(PATH_MAX + 1);
        const ssize_t length = readlink(path.c_str(), target.data(), target.size() - 1);
        if (length < 0) return false;
        const std::string next(target.data(), static_cast<size_t>(length));
        std::string directory, name;
        splitPath(path, &directory, &name);
        path = next.starts_with('/') ? next : directory + "/" + next;
    }
    errno = ELOOP;
    return false;
}

std::string temporaryNameFor(const std::string& name, int attempt) {
    static std::atomic<unsigned> counter{0};
    return "." + name + "." + std::to_string(getpid()) + "-" + std::to_string(counter++) + "-" +
           std::to_string(attempt) + ".part";
}

}  // namespace

std::optional<FileIdentity> identifyFile(const std::string& path) {
    struct stat status {};
    if (path.empty() || stat(path.c_str(), &status) != 0) return std::nullopt;
    return FileIdentity{status.st_dev, status.st_ino, S_ISREG(status.st_mode)};
}

bool OutputFile::prepare(const std::string& path, std::string* error) {
    discard();
    path_ = path;
    device_.clear();
    replaced_.reset();
    auto fail = [&](const std::string& what) {
        *error = path + ": " + what;
        discard();
        return false;
    };
    std::string target;
    if (!followLinks(path, &target)) return fail(std::string("cannot follow its links (") + std::strerror(errno) + ")");
    std::string directory;
    splitPath(target, &directory, &name_);
    if (name_.empty() || name_ == "." || name_ == "..") return fail("expected a file name, not a directory");

    struct stat status {};
    if (stat(target.c_str(), &status) == 0) {
        replaced_ = FileIdentity{status.st_dev, status.st_ino, S_ISREG(status.st_mode)};
        if (S_ISDIR(status.st_mode)) return fail("is a directory, not a file");
        if (S_ISCHR(status.st_mode) || S_ISFIFO(status.st_mode)) {
            device_ = target;
            return true;
        }
        if (!S_ISREG(status.st_mode)) return fail("is neither a regular file, a character device nor a pipe");
    }
    directory_ = ::open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    // A directory the run may not write into is named now, not after the map is read.
    if (directory_ < 0 || faccessat(directory_, ".", W_OK | X_OK, AT_EACCESS) != 0)
        return fail("cannot create a file in '" + directory + "' (" + std::strerror(errno) + ")");
    return true;
}

bool OutputFile::create(std::string* error) {
    auto fail = [&](const std::string& what) {
        *error = path_ + ": " + what;
        discard();
        return false;
    };
    if (!device_.empty()) {
        // A pipe with no reader would wait for one for ever: refused at once.
        const int descriptor = ::open(device_.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (descriptor < 0) return fail(std::string("cannot write to it (") + std::strerror(errno) + ")");
        fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
        file_ = fdopen(descriptor, "wb");
        if (!file_) {
            close(descriptor);
            return fail("cannot write to it (out of memory)");
        }
        return true;
    }
    if (directory_ < 0) return fail("nothing was prepared to write");
    // What the path names now (it may have changed since prepare).
    struct stat status {};
    const bool exists = fstatat(directory_, name_.c_str(), &status, 0) == 0;
    if (exists && !S_ISREG(status.st_mode)) return fail("is no longer a regular file");
    replaced_.reset();
    if (exists) replaced_ = FileIdentity{status.st_dev, status.st_ino, true};
    int descriptor = -1;
    // A path that names nothing yet is made at once and written in place, so
    // that it can be followed while it grows; it is the run's own, removed
    // again if the run fails.
    if (!exists) {
        descriptor = openat(directory_, name_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor >= 0) {
            temporaryName_ = name_;
            inPlace_ = true;
        } else if (errno != EEXIST) {
            return fail("cannot create it (" + std::string(std::strerror(errno)) + ")");
        }
    }
    for (int attempt = 0; descriptor < 0 && attempt < 100; ++attempt) {
        temporaryName_ = temporaryNameFor(name_, attempt);
        descriptor = openat(directory_, temporaryName_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor < 0 && errno != EEXIST) break;
    }
    if (descriptor < 0) {
        const std::string why = std::strerror(errno);
        temporaryName_.clear();
        return fail("cannot create a file beside it (" + why + ")");
    }
    // The new file keeps the permissions of the one it replaces.
    if (exists) fchmod(descriptor, status.st_mode & 07777);
    file_ = fdopen(descriptor, "wb");
    if (!file_) {
        close(descriptor);
        return fail("cannot write to it (out of memory)");
    }
    return true;
}

bool OutputFile::names(const std::string& path) const {
    std::string target;
    if (path.empty() || !device_.empty() || !followLinks(path, &target)) return false;
    const std::optional<FileIdentity> there = identifyFile(target);
    if (there && replaced_ && *there == *replaced_) return true;
    if (directory_ < 0) return false;
    // The same name in the same directory is the same file, there yet or not.
    std::string directory, name;
    splitPath(target, &directory, &name);
    struct stat named {}, ours {};
    return name == name_ && stat(directory.c_str(), &named) == 0 && fstat(directory_, &ours) == 0 &&
           named.st_dev == ours.st_dev && named.st_ino == ours.st_ino;
}

bool OutputFile::commit(std::string* error) {
    if (!file_) {
        *error = path_ + ": nothing was written (the file was not open)";
        return false;
    }
    const bool written = std::fflush(file_) == 0 && std::ferror(file_) == 0;
    const int writeErrno = errno;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!written || !closed) {
        *error = path_ + ": could not be written whole (" +
                 std::strerror(!written ? writeErrno : errno) + "); " +
                 (temporaryName_.empty() ? "it may hold part of it" : inPlace_ ? "it is removed" : "what was there before is kept");
        discard();
        return false;
    }
    if (!temporaryName_.empty() && !inPlace_ &&
        renameat(directory_, temporaryName_.c_str(), directory_, name_.c_str()) != 0) {
        *error = path_ + ": could not be put in place (" + std::strerror(errno) + ")";
        discard();
        return false;
    }
    temporaryName_.clear();
    discard();
    return true;
}

void OutputFile::discard() {
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (!temporaryName_.empty()) unlinkat(directory_, temporaryName_.c_str(), 0);
    temporaryName_.clear();
    inPlace_ = false;
    if (directory_ >= 0) close(directory_);
    directory_ = -1;
}

}  // namespace q
