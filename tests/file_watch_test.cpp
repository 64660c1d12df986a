#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/file_watch.h"

namespace q {
namespace {

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

TEST(FileWatch, SettlesOnceAfterTheFilesStayUnchangedAndNotBefore) {
    const std::string dir = ::testing::TempDir() + "quorvane_watch_" + std::to_string(::getpid());
    std::filesystem::create_directories(dir);
    const std::string proc = dir + "/m.proc", source = dir + "/m.map";
    writeFile(proc, "one");
    FileWatch watch;
    watch.watch({proc, source});  // the map source is not there yet

    uint32_t now = 1000;
    EXPECT_FALSE(watch.settled(now));  // nothing changed
    writeFile(proc, "two, longer");
    EXPECT_FALSE(watch.settled(now += 100));  // between looks: not even looked at
    EXPECT_FALSE(watch.settled(now += kWatchIntervalMs));  // seen, not yet quiet
    writeFile(proc, "three, longer still");  // still being written
    EXPECT_FALSE(watch.settled(now += kWatchIntervalMs));
    EXPECT_FALSE(watch.settled(now += kWatchIntervalMs));
    EXPECT_TRUE(watch.settled(now += kWatchIntervalMs));  // quiet for kWatchQuietMs
    EXPECT_FALSE(watch.settled(now += kWatchIntervalMs));  // once

    // A file appearing is a change; accept() takes the files as read.
    writeFile(source, "Version 2");
    EXPECT_FALSE(watch.settled(now += kWatchIntervalMs));
    watch.accept();
    for (int i = 0; i < 4; ++i) EXPECT_FALSE(watch.settled(now += kWatchIntervalMs));
    // A file removed is a change too.
    std::filesystem::remove(source);
    EXPECT_FALSE(watch.settled(now += kWatchIntervalMs));
    EXPECT_TRUE(watch.settled(now += 2 * kWatchQuietMs));

    FileWatch nothing;
    EXPECT_FALSE(nothing.settled(now));
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace q
