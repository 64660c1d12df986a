#include "platform/zip_archive.h"

#include <zip.h>

#include <cstdio>
#include <memory>

namespace q {

namespace {

struct ArchiveCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct MemberCloser {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};
using Archive = std::unique_ptr<zip_t, ArchiveCloser>;

Archive openArchive(const std::string& path, std::string* error) {
    int code = 0;
    Archive archive(zip_open(path.c_str(), ZIP_RDONLY, &code));
    if (!archive) {
        zip_error_t problem;
        zip_error_init_with_code(&problem, code);
        *error = path + ": not a readable zip archive (" + zip_error_strerror(&problem) + ")";
        zip_error_fini(&problem);
    }
    return archive;
}

}  // namespace

bool isZipArchive(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    unsigned char magic[4] = {};
    const size_t read = std::fread(magic, 1, sizeof magic, file);
    std::fclose(file);
    // A local member's header, or the end record of an empty archive.
    return read == 4 && magic[0] == 'P' && magic[1] == 'K' &&
           ((magic[2] == 3 && magic[3] == 4) || (magic[2] == 5 && magic[3] == 6));
}

bool listZipMembers(const std::string& path, std::vector<std::string>* names, std::string* error) {
    names->clear();
    const Archive archive = openArchive(path, error);
    if (!archive) return false;
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* name = zip_get_name(archive.get(), static_cast<zip_uint64_t>(i), 0);
        if (!name) {
            *error = path + ": member " + std::to_string(i) + " has no readable name";
            return false;
        }
        const std::string member = name;
        if (!member.empty() && member.back() != '/') names->push_back(member);
    }
    return true;
}

bool readZipMember(const std::string& path, const std::string& member, uint64_t maxBytes,
                   std::vector<uint8_t>* out, uint64_t* memberBytes, std::string* error) {
    out->clear();
    const Archive archive = openArchive(path, error);
    if (!archive) return false;
    const std::string name = path + ":" + member;
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat(archive.get(), member.c_str(), 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE)) {
        *error = name + ": no such member";
        return false;
    }
    *memberBytes = stat.size;
    std::unique_ptr<zip_file_t, MemberCloser> file(zip_fopen(archive.get(), member.c_str(), 0));
    if (!file) {
        *error = name + ": cannot be read (" + zip_strerror(archive.get()) + ")";
        return false;
    }
    const uint64_t wanted = std::min<uint64_t>(maxBytes, stat.size);
    out->resize(static_cast<size_t>(wanted));
    uint64_t done = 0;
    while (done < wanted) {
        const zip_int64_t got = zip_fread(file.get(), out->data() + done, wanted - done);
        if (got <= 0) {
            *error = name + ": does not inflate (" +
                     (got < 0 ? std::string(zip_file_strerror(file.get())) : std::string("cut short")) + ")";
            out->clear();
            return false;
        }
        done += static_cast<uint64_t>(got);
    }
    return true;
}

bool writeZipArchive(const std::string& path, const std::vector<ZipMember>& members, bool deflate,
                     std::string* error) {
    int code = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!archive) {
        *error = path + ": cannot be written (libzip error " + std::to_string(code) + ")";
        return false;
    }
    for (const ZipMember& member : members) {
        zip_source_t* source = zip_source_buffer(archive, member.bytes.data(), member.bytes.size(), 0);
        const zip_int64_t index = source ? zip_file_add(archive, member.name.c_str(), source, ZIP_FL_OVERWRITE) : -1;
        if (index < 0 ||
            zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), deflate ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0) != 0) {
            if (source && index < 0) zip_source_free(source);
            *error = path + ": cannot add " + member.name + " (" + zip_strerror(archive) + ")";
            zip_discard(archive);
            return false;
        }
    }
    if (zip_close(archive) != 0) {
        *error = path + ": cannot be written (" + zip_strerror(archive) + ")";
        zip_discard(archive);
        return false;
    }
    return true;
}

}  // namespace q
