#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/file_watch.h"

namespace q {
namespace {

TEST(FileWatch, SettlesOnceAfterTheFilesStayUnchangedAndNotBefore) {
    const std::string dir = ::testing::TempDir() + "quorvane_watch_" + std::to_string(::getpid());
    std::filesystem::create_directories(dir);
    const std::string proc = dir + "/m.proc", source = dir + "/m.map";
    std::ofstream(proc) << "one";
    FileWatch watch;
    watch.watch({proc, source});  // the map source is not there yet
    uint32_t now = 1000;
    EXPECT_FALSE(watch.settled(now));  // nothing changed
    std::ofstream(proc) << "two, longer";
    EXPECT_FALSE(watch.settled(now += kWatchIntervalMs));  // seen, not yet quiet
    std::ofstream(proc) << "three, longer still";  // still being written
    for (int i = 0; i < 2; ++i) EXPECT_FALSE(watch.settled(now += kWatchIntervalMs));
    EXPECT_TRUE(watch.settled(now += kWatchIntervalMs));   // quiet for kWatchQuietMs
    EXPECT_FALSE(watch.settled(now += kWatchIntervalMs));  // once

    // A file appearing is a change; accept() takes the files as read.
    std::ofstream(source) << "Version 2";
    EXPECT_FALSE(watch.settled(now += kWatchIntervalMs));
    watch.accept();
    for (int i = 0; i < 4; ++i) EXPECT_FALSE(watch.settled(now += kWatchIntervalMs));
    std::filesystem::remove_all(dir);  // files removed are a change too
    EXPECT_FALSE(watch.settled(now += kWatchIntervalMs));
    EXPECT_TRUE(watch.settled(now += 2 * kWatchQuietMs));
}

}  // namespace
}  // namespace q
