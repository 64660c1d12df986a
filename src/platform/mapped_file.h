#pragma once
// A regular file mapped read-only into memory, for readers that go over a
// whole file once. Nothing is copied: the pages are the system's file cache,
// so a large map neither waits for a copy into fresh memory nor holds its text
// twice.
//
// A mapped file that another program cuts short while it is mapped would end
// the process at the first read past its new end. Here those pages read as
// zeros instead, and wasCutShort() says so: a reader checks it when done and
// refuses what it read.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace q {

class MappedFile {
public:
    // Maps path when it is a regular file of 1 to maxBytes bytes and the
    // system allows it; null otherwise (a pipe, an empty file, no room for
    // another mapping), for the caller to read the file instead. Errors such
    // as a missing file are left to that reading to report.
    //
    // With refusal given, a path that names something other than a regular
    // file (a pipe, a device: either may never end) or a file over maxBytes is
    // refused at once: null, with *refusal naming the file and what it is or
    // its size. Nothing is read from it.
    static std::unique_ptr<MappedFile> map(const char* path, uintmax_t maxBytes, std::string* refusal = nullptr);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    std::string_view text() const { return {begin_, size_}; }
    // The file is shorter now than when it was mapped: the bytes past its new
    // end read as zeros (or did, once read).
    bool wasCutShort() const;

private:
    MappedFile(const char* begin, size_t size, int slot, int descriptor)
        : begin_(begin), size_(size), slot_(slot), descriptor_(descriptor) {}
    const char* begin_;
    size_t size_;
    int slot_;        // its entry in the table the bus-error handler looks in
    int descriptor_;  // kept open to ask the file's size again
};

}  // namespace q
