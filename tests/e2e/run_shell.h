#pragma once
// Runs a shell command for the end-to-end tests: its exit code and what it
// wrote to stdout and stderr together; and reads a whole number out of the
// JSON the viewer writes.

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace q {

struct Result {
    int exitCode = -1;
    std::string output;  // stdout and stderr together
};

inline Result runShell(const std::string& command) {
    Result result;
    std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return result;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) result.output.append(chunk, n);
    const int status = ::pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// The whole number after the first "key": in text; -1 when there is none.
inline long long jsonInteger(const std::string& text, const char* key) {
    const std::string tag = std::string("\"") + key + "\":";
    const size_t at = text.find(tag);
    return at == std::string::npos ? -1 : std::strtoll(text.c_str() + at + tag.size(), nullptr, 10);
}

}  // namespace q
