#pragma once
// Zip archives, read through libzip. An archive's directory is read once when
// it is opened; its members are then read through handles of its own, each
// used by one thread at a time and kept for the next read, so the image
// workers read members of one archive at the same time without opening it
// (and reading its directory) again for every member.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <sys/types.h>

struct zip;

namespace q {

// Whether a file may be an asset archive by its name alone: .zip, or .pk
// followed by at most one character (.pk3, .pk4), in any letter case.
bool hasArchiveName(const std::string& path);

// Whether the file is a regular file beginning as a zip archive does (its
// content, not its name). Opened without blocking and checked to be a regular
// file before anything is read: a pipe or a device is never read.
bool isZipArchive(const std::string& path);

class ZipArchive {
public:
    // Reads the archive's directory. Null with "<archive>: <what is wrong>"
    // when it does not read (not a regular file, not a zip archive, damaged).
    static std::shared_ptr<const ZipArchive> open(const std::string& path, std::string* error);
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    const std::string& path() const { return path_; }
    // The names of the members that are files (not folders), in the archive's order.
    const std::vector<std::string>& members() const { return members_; }

    // How much of a member is read:
    //   Head      its first maxBytes bytes (all of it, checked, when it is shorter);
    //   Checked   the same, the member inflated on to its end and its
    //             checksum compared (the bytes past maxBytes are not kept);
    //   Whole     all of it, checked, when it has at most maxBytes bytes; a
    //             longer one is not inflated at all (out is left empty).
    enum class Reading { Head, Checked, Whole };

    // Reads a member as `how` says, and gives its whole size in *memberBytes.
    // False with "<archive>:<member>: <what is wrong>" (no such member, a
    // stream that does not inflate, a wrong checksum, a method other than
    // stored and deflated, the archive file changed since its directory was
    // read). Safe to call from several threads at once.
    bool read(const std::string& member, uint64_t maxBytes, Reading how, std::vector<uint8_t>* out,
              uint64_t* memberBytes, std::string* error) const;

    // The file at path() is still the one whose directory was read: the same
    // file, size and modification time.
    bool unchanged() const;

    // How many times any archive's directory has been read in this process
    // (each open, and each further handle a reading thread needed).
    static uint64_t directoriesRead();

private:
    struct Identity {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        int64_t modifiedNs = 0;
        bool operator==(const Identity&) const = default;
    };
    ZipArchive() = default;
    zip* openHandle(Identity* identity, std::string* error) const;
    zip* takeHandle(std::string* error) const;
    void giveBack(zip* handle) const;

    std::string path_;
    Identity identity_;
    std::vector<std::string> members_;
    mutable std::mutex mutex_;
    mutable std::vector<zip*> idle_;  // handles no thread is reading through; under mutex_
};

// Writes an archive of the given members, each stored or deflated (the tests'
// and benchmarks' archives). False with "<archive>: <what is wrong>".
struct ZipMember {
    std::string name;
    std::vector<uint8_t> bytes;
};
bool writeZipArchive(const std::string& path, const std::vector<ZipMember>& members, bool deflate,
                     std::string* error);

}  // namespace q
