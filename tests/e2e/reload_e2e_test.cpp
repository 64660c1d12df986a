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
#include <iterator>
#include <string>
#include <thread>

#include "map_test_files.h"
#include "image/image.h"
#include "run_shell.h"

namespace q {
namespace {

std::string logText(const std::string& log) {
    std::ifstream in(log);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

size_t occurrences(const std::string& log, const std::string& what) {
    const std::string text = logText(log);
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

// Waits up to 20 s for the log to hold `what` once.
bool appears(const std::string& log, const std::string& what) {
    for (int waited = 0; waited < 20000 && occurrences(log, what) == 0; waited += 50)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return occurrences(log, what) > 0;
}

TEST(ReloadEndToEnd, AnotherMapIsReadAgainAFileCutShortKeepsTheOldMap) {
    namespace fs = std::filesystem;
    const std::string dir = ::testing::TempDir() + "quorvane_reload_e2e_" + std::to_string(::getpid());
    fs::remove_all(dir);
    const std::string mapgen = std::string("'") + MAPGEN_BINARY + "' ";
    ASSERT_EQ(std::system((mapgen + "tworooms --name site '" + dir + "' >/dev/null 2>&1").c_str()), 0);
    ASSERT_EQ(std::system((mapgen + "corridor 3 --name other '" + dir + "' >/dev/null 2>&1").c_str()), 0);
    const std::string log = dir + "/viewer.log";
    const std::string trace = dir + "/trace.jsonl";
    const pid_t viewer = ::fork();
    ASSERT_GE(viewer, 0);
    if (viewer == 0) {
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, 2);
        ::execl(QUORVANE_BINARY, QUORVANE_BINARY, "--headless", "--dir", dir.c_str(), "--map", "site", "--frames",
                "100000000", "--trace", trace.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    auto alive = [&] { return ::waitpid(viewer, nullptr, WNOHANG) == 0; };
    // The files are changed only once the map is read and a frame is drawn: a
    // change made while the viewer still loads (a slow, busy machine) is part
    // of what it reads, not a change to reload.
    auto framesDrawn = [&] {
        std::error_code missing;
        const uintmax_t bytes = fs::file_size(trace, missing);
        return !missing && bytes > 0;
    };
    for (int waited = 0; waited < 20000 && !framesDrawn(); waited += 50)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(framesDrawn()) << "no frame drawn: " << logText(log);
    ASSERT_TRUE(alive());

    // Both files replaced by the other map's, one after the other.
    fs::copy_file(dir + "/other.proc", dir + "/site.proc", fs::copy_options::overwrite_existing);
    fs::copy_file(dir + "/other.cm", dir + "/site.cm", fs::copy_options::overwrite_existing);
    EXPECT_TRUE(appears(log, "quorvane: reloaded site (4 areas)")) << logText(log);
    fs::resize_file(dir + "/site.proc", 1000);
    EXPECT_TRUE(appears(log, "The map site was not reloaded; the one read before stays: site.proc:"));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_TRUE(alive());
    EXPECT_EQ(occurrences(log, "quorvane: reloaded"), 1u);
    EXPECT_EQ(occurrences(log, "was not reloaded"), 1u);
    ::kill(viewer, SIGTERM);
    ::waitpid(viewer, nullptr, 0);
    fs::remove_all(dir);
}

// F5 reads the map with every place the first load used: the map's folder
// (--dir), --textures and --assets, all named relative to where the viewer
// was started; the scripted run's other files (--input, --trace,
// --screenshot) stay where they were named.
TEST(ReloadEndToEnd, AReloadFindsEveryImageTheFirstLoadFound) {
    test::MapFiles files;
    for (const char* dir : {"root/maps/textures", "tex/textures", "base/materials", "base/images"})
        std::filesystem::create_directories(files.path(dir));
    std::string proc = "mapProcFile003\nmodel { /* name = */ \"_area0\" /* numSurfaces = */ 3\n";
    for (const char* material : {"textures/beside", "textures/shared", "textures/defined"})
        proc += std::string("/* surface 0 */ { \"") + material +
                "\" /* numVerts = */ 3 /* numIndexes = */ 3\n"
                "( 0 0 0 0 0 0 0 1 ) ( 1 0 0 1 0 0 0 1 ) ( 0 1 0 0 1 0 0 1 )\n0 1 2\n}\n";
    files.write("root/maps/m.proc", proc + "}\n");
    files.write("root/maps/m.cm", "CM \"1.00\"\ncollisionModel \"worldMap\" { nodes { ( -1 0 ) } }\n");
    files.write("base/materials/b.mtr", "textures/defined { diffusemap images/defined_d }\n");
    Image image;
    image.width = image.height = 2;
    image.rgba.assign(16, 90);
    std::string error;
    for (const char* png : {"root/maps/textures/beside.png", "tex/textures/shared.png", "base/images/defined_d.png"})
        ASSERT_TRUE(writePng(files.path(png).c_str(), image, &error)) << error;
    files.write("walk.txt", "2* 0 0\n0 0 F5\n2* 0 0\n");

    const Result run = runShell("cd '" + files.path("") + "' && '" + QUORVANE_BINARY +
                                "' --headless --dir root/maps --map m --textures tex --assets base --input walk.txt "
                                "--trace t.jsonl --screenshot s.png --no-watch");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("quorvane: reloaded m (1 area)"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("missing"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("could not be used"), std::string::npos) << run.output;
    EXPECT_TRUE(std::filesystem::is_regular_file(files.path("s.png")));
    EXPECT_EQ(occurrences(files.path("t.jsonl"), "\"frame\""), 5u);
}

}  // namespace
}  // namespace q
