#pragma once
// Runs the viewer as a process of its own, its output discarded, and times it
// from the spawn to its exit; the start-up benchmarks' numerator.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "figure.h"

extern char** environ;

namespace q::bench {

using Clock = std::chrono::steady_clock;

inline double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The viewer with these arguments; its seconds, or -1 when it fails.
inline double timeViewer(const std::string& viewer, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), viewer);
    std::vector<char*> argv;
    for (std::string& w : arguments) argv.push_back(w.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = Clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, viewer.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return secondsSince(start);
}

// Takes --viewer=... and --dir=... out of the command line, both made absolute;
// false, after printing "usage: " and `usage`, when either is missing.
inline bool takeViewerAndDir(int* argc, char** argv, const char* usage, std::string* viewer, std::string* dir) {
    const char* viewerOption = takeOption(argc, argv, "--viewer");
    const char* dirOption = takeOption(argc, argv, "--dir");
    if (!viewerOption || !dirOption) {
        std::fprintf(stderr, "usage: %s\n", usage);
        return false;
    }
    *viewer = std::filesystem::absolute(viewerOption).string();
    *dir = std::filesystem::absolute(dirOption).string();
    return true;
}

}  // namespace q::bench
