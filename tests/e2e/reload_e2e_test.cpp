// A map rewritten under the running viewer, as a compile does: first with
// another map (read again: one line says so), then cut short (the old map
// stays, one report, the viewer keeps running).

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace q {
namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

size_t occurrences(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

// Waits up to timeoutMs for the log to hold `what` count times.
bool waitFor(const std::string& log, const std::string& what, size_t count, int timeoutMs) {
    for (int waited = 0; waited < timeoutMs; waited += 50) {
        if (occurrences(readAll(log), what) >= count) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

TEST(ReloadEndToEnd, AnotherMapIsReadAgainAFileCutShortKeepsTheOldMap) {
    const std::string dir = ::testing::TempDir() + "quorvane_reload_e2e_" + std::to_string(::getpid());
    std::filesystem::remove_all(dir);
    const std::string mapgen = std::string("'") + MAPGEN_BINARY + "' ";
    ASSERT_EQ(std::system((mapgen + "tworooms --name site '" + dir + "' >/dev/null 2>&1").c_str()), 0);
    ASSERT_EQ(std::system((mapgen + "corridor 3 --name other '" + dir + "' >/dev/null 2>&1").c_str()), 0);
    const std::string log = dir + "/viewer.log";

    const pid_t viewer = ::fork();
    ASSERT_GE(viewer, 0);
    if (viewer == 0) {
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, 1);
        ::dup2(out, 2);
        ::execl(QUORVANE_BINARY, QUORVANE_BINARY, "--headless", "--dir", dir.c_str(), "--map", "site", "--frames",
                "100000000", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    auto alive = [&] { return ::waitpid(viewer, nullptr, WNOHANG) == 0; };
    // Running: the map is read and frames are being drawn.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ASSERT_TRUE(alive()) << readAll(log);

    // Both files replaced by the other map's, one after the other.
    std::filesystem::copy_file(dir + "/other.proc", dir + "/site.proc", std::filesystem::copy_options::overwrite_existing);
    std::filesystem::copy_file(dir + "/other.cm", dir + "/site.cm", std::filesystem::copy_options::overwrite_existing);
    EXPECT_TRUE(waitFor(log, "quorvane: reloaded site (4 areas)", 1, 20000)) << readAll(log);

    std::filesystem::resize_file(dir + "/site.proc", 1000);
    EXPECT_TRUE(waitFor(log, "was not reloaded", 1, 20000)) << readAll(log);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_TRUE(alive());
    const std::string text = readAll(log);
    EXPECT_EQ(occurrences(text, "quorvane: reloaded"), 1u) << text;
    EXPECT_EQ(occurrences(text, "The map site was not reloaded; the one read before stays: site.proc:"), 1u) << text;

    ::kill(viewer, SIGTERM);
    ::waitpid(viewer, nullptr, 0);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace q
