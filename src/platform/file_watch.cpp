#include "platform/file_watch.h"

#include <sys/stat.h>

#include <unordered_map>
#include <utility>

namespace q {

FileWatch::Signature FileWatch::look(const std::string& path) {
    Signature signature;
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return signature;
    signature.exists = true;
    signature.size = static_cast<uint64_t>(status.st_size);
    signature.inode = static_cast<uint64_t>(status.st_ino);
    signature.device = static_cast<uint64_t>(status.st_dev);
    signature.modifiedNs = int64_t{status.st_mtim.tv_sec} * 1000000000 + status.st_mtim.tv_nsec;
    signature.changedNs = int64_t{status.st_ctim.tv_sec} * 1000000000 + status.st_ctim.tv_nsec;
    return signature;
}

void FileWatch::watch(std::vector<std::string> paths) {
    std::unordered_map<std::string, Signature> known;
    for (size_t i = 0; i < paths_.size(); ++i) known.emplace(paths_[i], seen_[i]);
    paths_ = std::move(paths);
    seen_.resize(paths_.size());
    for (size_t i = 0; i < paths_.size(); ++i) {
        const auto found = known.find(paths_[i]);
        seen_[i] = found != known.end() ? found->second : look(paths_[i]);
    }
}

void FileWatch::accept() {
    for (size_t i = 0; i < paths_.size(); ++i) seen_[i] = look(paths_[i]);
    pending_ = false;
}

bool FileWatch::settled(uint32_t nowMs) {
    if (paths_.empty()) return false;
    if (looked_ && nowMs - lastLookMs_ < kWatchIntervalMs) return false;
    looked_ = true;
    lastLookMs_ = nowMs;
    for (size_t i = 0; i < paths_.size(); ++i) {
        const Signature now = look(paths_[i]);
        if (now == seen_[i]) continue;
        seen_[i] = now;
        pending_ = true;
        lastChangeMs_ = nowMs;
    }
    if (!pending_ || nowMs - lastChangeMs_ < kWatchQuietMs) return false;
    pending_ = false;
    return true;
}

}  // namespace q
