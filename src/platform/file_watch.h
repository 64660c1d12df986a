#pragma once
// Notices when a set of files has changed and then stayed unchanged for a
// while: a map compiler writes its files over some time, and a map read while
// they are being written would be cut short. Each file is looked at with one
// stat a few times a second; between looks, and when nothing changed, it costs
// nothing and allocates nothing.

#include <cstdint>
#include <string>
#include <vector>

namespace q {

constexpr uint32_t kWatchIntervalMs = 250;  // how often the files are looked at
constexpr uint32_t kWatchQuietMs = 500;     // how long they must stay unchanged

class FileWatch {
public:
    // The files as they are now are the ones already read. A file that does not
    // exist is watched too: its appearing is a change. Called again (a new
    // list after a reload), a file watched already keeps what was last seen
    // of it, so a change made while the reload read is still noticed.
    void watch(std::vector<std::string> paths);
    bool watching() const { return !paths_.empty(); }
    // True once after the files changed and then stayed as they were for
    // kWatchQuietMs; nowMs is any millisecond clock that only goes forward.
    bool settled(uint32_t nowMs);
    // Forgets a pending change: the files as they are now count as read.
    void accept();

private:
    struct Signature {
        bool exists = false;
        uint64_t size = 0, inode = 0, device = 0;
        int64_t modifiedNs = 0, changedNs = 0;
        bool operator==(const Signature&) const = default;
    };
    static Signature look(const std::string& path);

    std::vector<std::string> paths_;
    std::vector<Signature> seen_;
    uint32_t lastLookMs_ = 0;
    uint32_t lastChangeMs_ = 0;
    bool looked_ = false;
    bool pending_ = false;
};

}  // namespace q
