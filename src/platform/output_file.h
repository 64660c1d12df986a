#pragma once
// Files the viewer writes (traces, screenshots). What a path names is
// replaced only by a complete new file: the bytes go to a temporary file in
// the same directory, renamed over the path once everything is written. A run
// that fails, or a write that fails, removes only that temporary file, so
// nothing the run did not create is ever truncated or removed. A path that
// names nothing yet is created at once and written in place (it can be
// followed while it grows), and removed again on failure. A path naming a
// character device or a pipe (/dev/stdout, a pipe to another program) is
// written straight into, since neither can be replaced by a rename.

#include <sys/types.h>

#include <cstdio>
#include <optional>
#include <string>

namespace q {

// Which file a path names, however it is named (links, "..", another
// spelling): the same device and inode is the same file.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool regularFile = false;
    bool operator==(const FileIdentity&) const = default;
};
// Follows symbolic links; empty when nothing is there.
std::optional<FileIdentity> identifyFile(const std::string& path);

class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    // A file never committed is discarded.
    ~OutputFile() { discard(); }

    // prepare, then create.
    bool open(const std::string& path, std::string* error) { return prepare(path, error) && create(error); }
    // Finds where path leads (its links followed) and what it names now, and
    // holds its directory open, so a later change of the working directory
    // does not move the file and a relative path stays relative however deep
    // the working directory is. Creates nothing: a run checks first that the
    // path names none of the files it reads (names()), and creates the
    // output only once it knows them.
    bool prepare(const std::string& path, std::string* error);
    // Makes the file: in place when the path names nothing, else the
    // temporary file beside it; a device or pipe is opened for writing.
    bool create(std::string* error);
    bool isOpen() const { return file_ != nullptr; }
    // Whether path (relative to the working directory now) names the file
    // this output writes: the same file, however named, or the same name in
    // the same directory, there yet or not. False before prepare, and for a
    // device or pipe, which is written into and never replaced.
    bool names(const std::string& path) const;
    const std::string& path() const { return path_; }
    std::FILE* stream() const { return file_; }
    // The file the path named when it was opened, if any (what commit replaces).
    const std::optional<FileIdentity>& replaced() const { return replaced_; }

    // Flushes and closes the file and puts it in the path's place. False with
    // a message naming the path when a write failed; the temporary file is then
    // removed and whatever the path named is left as it was.
    bool commit(std::string* error);
    // Removes the temporary file; the path is left as it was.
    void discard();

private:
    std::string path_;              // as given, for messages
    int directory_ = -1;            // where the temporary file and the final name are
    std::string name_;              // the final name in that directory
    std::string device_;            // a character device or pipe the path leads to, written straight into
    std::string temporaryName_;     // what discard() removes; empty when writing into a device or pipe
    bool inPlace_ = false;          // temporaryName_ is the final name, made by this run
    std::FILE* file_ = nullptr;
    std::optional<FileIdentity> replaced_;
};

}  // namespace q
