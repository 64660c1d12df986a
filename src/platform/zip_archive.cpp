#include "platform/zip_archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace q {

namespace {

struct MemberCloser {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};

std::atomic<uint64_t> g_directoriesRead{0};

// The end record of an archive without members is its shortest form.
constexpr off_t kSmallestArchive = 22;

// Opens path for reading without blocking (a pipe with no writer, a device)
// and without becoming its controlling terminal; -1 with errno set.
int openWithoutBlocking(const std::string& path) {
    return ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}

}  // namespace

bool hasArchiveName(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".zip" || (extension.starts_with(".pk") && extension.size() <= 4);
}

bool isZipArchive(const std::string& path) {
    const int fd = openWithoutBlocking(path);
    if (fd < 0) return false;
    struct stat status;
    unsigned char magic[4] = {};
    // Only a regular file of an archive's least size is read: the files of
    // /proc (the kernel's log among them) say they hold nothing.
    const bool read = fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size >= kSmallestArchive &&
                      ::pread(fd, magic, sizeof magic, 0) == static_cast<ssize_t>(sizeof magic);
    ::close(fd);
    // A local member's header, or the end record of an empty archive.
    return read && magic[0] == 'P' && magic[1] == 'K' &&
           ((magic[2] == 3 && magic[3] == 4) || (magic[2] == 5 && magic[3] == 6));
}

std::shared_ptr<const ZipArchive> ZipArchive::open(const std::string& path, std::string* error) {
    std::shared_ptr<ZipArchive> archive(new ZipArchive);
    archive->path_ = path;
    zip_t* handle = archive->openHandle(&archive->identity_, error);
    if (!handle) return nullptr;
    const zip_int64_t count = zip_get_num_entries(handle, 0);
    archive->members_.reserve(static_cast<size_t>(std::max<zip_int64_t>(count, 0)));
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* name = zip_get_name(handle, static_cast<zip_uint64_t>(i), 0);
        if (!name) {
            *error = path + ": member " + std::to_string(i) + " has no readable name";
            zip_discard(handle);
            return nullptr;
        }
        const size_t length = std::strlen(name);
        if (length && name[length - 1] != '/') archive->members_.emplace_back(name, length);
    }
    archive->idle_.push_back(handle);
    return archive;
}

ZipArchive::~ZipArchive() {
    for (zip_t* handle : idle_) zip_discard(handle);
}

zip_t* ZipArchive::openHandle(Identity* identity, std::string* error) const {
    const int fd = openWithoutBlocking(path_);
    if (fd < 0) {
        *error = path_ + ": cannot open (" + std::strerror(errno) + ")";
        return nullptr;
    }
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        *error = path_ + ": not a regular file";
        ::close(fd);
        return nullptr;
    }
    if (status.st_size < kSmallestArchive) {
        // libzip would take an empty file for an archive without members.
        *error = path_ + ": not a readable zip archive (" + std::to_string(status.st_size) + " bytes)";
        ::close(fd);
        return nullptr;
    }
    *identity = {status.st_dev, status.st_ino, status.st_size,
                 int64_t{status.st_mtim.tv_sec} * 1000000000 + status.st_mtim.tv_nsec};
    int code = 0;
    zip_t* handle = zip_fdopen(fd, ZIP_RDONLY, &code);  // takes fd only when it opens
    if (!handle) {
        ::close(fd);
        zip_error_t problem;
        zip_error_init_with_code(&problem, code);
        *error = path_ + ": not a readable zip archive (" + zip_error_strerror(&problem) + ")";
        zip_error_fini(&problem);
        return nullptr;
    }
    g_directoriesRead.fetch_add(1, std::memory_order_relaxed);
    return handle;
}

zip_t* ZipArchive::takeHandle(std::string* error) const {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!idle_.empty()) {
            zip_t* handle = idle_.back();
            idle_.pop_back();
            return handle;
        }
    }
    // Every handle is being read through: this thread reads the directory
    // again into one of its own, which must be of the same file.
    Identity identity;
    zip_t* handle = openHandle(&identity, error);
    if (handle && !(identity == identity_)) {
        zip_discard(handle);
        *error = path_ + ": changed since its directory was read";
        return nullptr;
    }
    return handle;
}

void ZipArchive::giveBack(zip_t* handle) const {
    std::lock_guard<std::mutex> lock(mutex_);
    idle_.push_back(handle);
}

bool ZipArchive::unchanged() const {
    struct stat status;
    if (::stat(path_.c_str(), &status) != 0) return false;
    const Identity now{status.st_dev, status.st_ino, status.st_size,
                       int64_t{status.st_mtim.tv_sec} * 1000000000 + status.st_mtim.tv_nsec};
    return now == identity_;
}

uint64_t ZipArchive::directoriesRead() { return g_directoriesRead.load(std::memory_order_relaxed); }

bool ZipArchive::read(const std::string& member, uint64_t maxBytes, Reading how, std::vector<uint8_t>* out,
                      uint64_t* memberBytes, std::string* error) const {
    out->clear();
    const std::string name = path_ + ":" + member;
    // A handle reads through its own buffer, and its directory would no
    // longer say where the members are: a changed archive is read again by
    // the next load, never through the directory of the file it was.
    if (!unchanged()) {
        *error = name + ": the archive changed since its directory was read";
        return false;
    }
    zip_t* handle = takeHandle(error);
    if (!handle) return false;
    // Given back once the member read through it is closed (declared after
    // this, so closed first): another thread may take it at once.
    struct GiveBack {
        const ZipArchive* archive;
        zip_t* handle;
        ~GiveBack() { archive->giveBack(handle); }
    } const held{this, handle};
    auto fail = [&](const std::string& what) {
        *error = name + ": " + what;
        out->clear();
        return false;
    };
    const zip_int64_t index = zip_name_locate(handle, member.c_str(), 0);
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (index < 0 || zip_stat_index(handle, static_cast<zip_uint64_t>(index), 0, &stat) != 0 ||
        !(stat.valid & ZIP_STAT_SIZE))
        return fail("no such member");
    *memberBytes = stat.size;
    if (how == Reading::Whole && stat.size > maxBytes) return true;
    std::unique_ptr<zip_file_t, MemberCloser> file(zip_fopen_index(handle, static_cast<zip_uint64_t>(index), 0));
    if (!file) {
        const std::string why = zip_strerror(handle);
        zip_error_clear(handle);
        return fail("cannot be read (" + why + ")");
    }
    const uint64_t wanted = std::min<uint64_t>(maxBytes, stat.size);
    out->resize(static_cast<size_t>(wanted));
    uint64_t done = 0;
    while (done < wanted) {
        const zip_int64_t got = zip_fread(file.get(), out->data() + done, wanted - done);
        if (got <= 0)
            return fail("does not inflate (" +
                        (got < 0 ? std::string(zip_file_strerror(file.get())) : std::string("cut short")) + ")");
        done += static_cast<uint64_t>(got);
    }
    if (how != Reading::Head || done == stat.size) {
        // libzip compares the checksum once the member has been read to its end
        // (a head that is the whole member is checked too).
        std::array<uint8_t, 65536> rest;
        for (;;) {
            const zip_int64_t got = zip_fread(file.get(), rest.data(), rest.size());
            if (got == 0) break;
            if (got < 0) return fail("does not inflate (" + std::string(zip_file_strerror(file.get())) + ")");
        }
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
