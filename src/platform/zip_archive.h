#pragma once
// Zip archives, read through libzip: the names of their members and the bytes
// of one member (stored or deflated). Every call opens the archive anew, so
// the image workers read members of one archive at the same time.

#include <cstdint>
#include <string>
#include <vector>

namespace q {

// Whether the file begins as a zip archive does (its content, not its name).
bool isZipArchive(const std::string& path);

// The names of the archive's members that are files (not folders), in the
// archive's order. False with "<archive>: <what is wrong>" when it does not read.
bool listZipMembers(const std::string& archive, std::vector<std::string>* names, std::string* error);

// The first maxBytes bytes of a member (all of it when it is shorter), and its
// whole size in *memberBytes. False with "<archive>:<member>: <what is wrong>"
// when the archive or the member does not read (a damaged archive, a member
// that does not inflate, a method other than stored and deflated).
bool readZipMember(const std::string& archive, const std::string& member, uint64_t maxBytes,
                   std::vector<uint8_t>* out, uint64_t* memberBytes, std::string* error);

// Writes an archive of the given members, each stored or deflated (the tests'
// and benchmarks' archives). False with "<archive>: <what is wrong>".
struct ZipMember {
    std::string name;
    std::vector<uint8_t> bytes;
};
bool writeZipArchive(const std::string& path, const std::vector<ZipMember>& members, bool deflate,
                     std::string* error);

}  // namespace q
