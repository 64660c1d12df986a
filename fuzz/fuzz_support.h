#pragma once
// What the reader targets share: the fuzzed bytes as a file on disk (the map
// readers take file names), the one message shape every refused file must
// get, and a way to stop at once on a broken promise so the fuzzer keeps the
// input.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace q::fuzz {

// Stops the run with the reason on stderr; the fuzzer saves the input.
[[noreturn]] inline void broken(const char* what, const std::string& detail) {
    std::fprintf(stderr, "fuzz check failed: %s: %s\n", what, detail.c_str());
    std::abort();
}

// A file of this process's own in memory-backed storage when there is one.
inline std::string scratchPath(const char* extension) {
    const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(dir) + "/quorvane-fuzz-" + std::to_string(getpid()) + extension;
}

inline void writeFile(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) broken("cannot write the scratch file", path);
    if (size && std::fwrite(data, 1, size, f) != size) broken("cannot write the scratch file", path);
    std::fclose(f);
}

// "<file>:<line>: <message>" with a line number of at least 1.
inline bool hasFileLineShape(const std::string& message, const std::string& file) {
    if (message.compare(0, file.size(), file) != 0 || message.size() < file.size() + 4) return false;
    size_t i = file.size();
    if (message[i++] != ':') return false;
    const size_t digits = i;
    while (i < message.size() && message[i] >= '0' && message[i] <= '9') ++i;
    if (i == digits || message[digits] == '0') return false;
    return message.compare(i, 2, ": ") == 0 && message.size() > i + 2;
}

}  // namespace q::fuzz
