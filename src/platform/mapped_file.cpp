#include "platform/mapped_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <mutex>

namespace q {

namespace {

// The mappings in use, as the bus-error handler sees them. A handful is
// plenty: a map's two files are read one after the other. When all are taken
// the next file is read instead of mapped.
constexpr int kSlots = 8;
struct Slot {
    std::atomic<char*> begin{nullptr};
    std::atomic<size_t> length{0};  // rounded up to whole pages
    std::atomic<bool> cut{false};
};
Slot g_slots[kSlots];
size_t g_pageSize = 4096;
int g_slotsInUse = 0;
struct sigaction g_previous;
std::mutex g_table;  // guards taking and giving back slots; never taken by the handler

// A read past the end of a file that shrank while mapped. Within one of our
// mappings, the rest of that mapping from the faulting page on becomes zero
// pages and the read is made again, now finding zeros; anything else goes to
// the action that was there before ours, by putting it back and letting the
// read fault again. mmap here is a plain system call on this platform, which
// is what makes it usable in a handler.
void onBusError(int, siginfo_t* info, void*) {
    char* const address = static_cast<char*>(info->si_addr);
    for (Slot& slot : g_slots) {
        char* const begin = slot.begin.load(std::memory_order_acquire);
        const size_t length = slot.length.load(std::memory_order_acquire);
        if (!begin || address < begin || address >= begin + length) continue;
        const size_t offset = static_cast<size_t>(address - begin) & ~(g_pageSize - 1);
        void* zeros = mmap(begin + offset, length - offset, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
        if (zeros == MAP_FAILED) break;
        slot.cut.store(true, std::memory_order_release);
        return;
    }
    sigaction(SIGBUS, &g_previous, nullptr);
    // A signal sent by a program rather than raised by a read would not come
    // again by itself: send it once more, for after this handler returns.
    if (info->si_code <= 0) raise(SIGBUS);
}

int takeSlot(char* begin, size_t length) {
    std::lock_guard<std::mutex> lock(g_table);
    int free = -1;
    for (int i = 0; i < kSlots && free < 0; ++i)
        if (!g_slots[i].begin.load()) free = i;
    if (free < 0) return -1;
    if (g_slotsInUse == 0) {
        struct sigaction action {};
        action.sa_sigaction = onBusError;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        if (sigaction(SIGBUS, &action, &g_previous) != 0) return -1;
    }
    ++g_slotsInUse;
    g_slots[free].cut.store(false);
    g_slots[free].length.store(length);
    g_slots[free].begin.store(begin, std::memory_order_release);
    return free;
}

void giveSlotBack(int slot) {
    std::lock_guard<std::mutex> lock(g_table);
    g_slots[slot].begin.store(nullptr, std::memory_order_release);
    g_slots[slot].length.store(0);
    if (--g_slotsInUse == 0) sigaction(SIGBUS, &g_previous, nullptr);
}

const char* fileKind(mode_t mode) {
    if (S_ISFIFO(mode)) return "a named pipe";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a file";
}

size_t wholePages(size_t bytes) { return (bytes + g_pageSize - 1) & ~(g_pageSize - 1); }

}  // namespace

std::unique_ptr<MappedFile> MappedFile::map(const char* path, uintmax_t maxBytes, std::string* refusal) {
    // Not waiting for a writer when path is a named pipe.
    const int descriptor = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) return nullptr;
    struct stat status {};
    if (fstat(descriptor, &status) != 0) {
        close(descriptor);
        return nullptr;
    }
    const auto fileSize = static_cast<uintmax_t>(status.st_size);
    if (refusal && !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode)) {
        *refusal = std::string(path) + ": is " + fileKind(status.st_mode) +
                   ", not a regular file (map files are read from regular files only)";
    } else if (refusal && S_ISREG(status.st_mode) && fileSize > maxBytes) {
        *refusal = std::string(path) + ": is " + std::to_string(fileSize) + " bytes; a map file may have at most " +
                   std::to_string(maxBytes) + " bytes";
    }
    if (!S_ISREG(status.st_mode) || status.st_size <= 0 || fileSize > maxBytes) {
        close(descriptor);
        return nullptr;
    }
    const long page = sysconf(_SC_PAGESIZE);
    if (page > 0) g_pageSize = static_cast<size_t>(page);
    const size_t size = static_cast<size_t>(status.st_size);
    // Populated at once: one call fills the page tables instead of a fault
    // every few pages while reading.
    void* memory = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, descriptor, 0);
    if (memory == MAP_FAILED) {
        close(descriptor);
        return nullptr;
    }
    char* const begin = static_cast<char*>(memory);
    const int slot = takeSlot(begin, wholePages(size));
    if (slot < 0) {
        munmap(memory, size);
        close(descriptor);
        return nullptr;
    }
    return std::unique_ptr<MappedFile>(new MappedFile(begin, size, slot, descriptor));
}

MappedFile::~MappedFile() {
    giveSlotBack(slot_);
    munmap(const_cast<char*>(begin_), size_);
    close(descriptor_);
}

bool MappedFile::wasCutShort() const {
    // A read past the new end, or an end inside the last page that no read
    // could notice (the system zeroes the rest of that page).
    if (g_slots[slot_].cut.load(std::memory_order_acquire)) return true;
    struct stat status {};
    return fstat(descriptor_, &status) != 0 || static_cast<uintmax_t>(status.st_size) < size_;
}

}  // namespace q
