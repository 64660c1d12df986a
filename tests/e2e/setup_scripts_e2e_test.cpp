// ./run and ./test with their slow parts stood in for: cmake, ctest,
// dpkg-query and the viewer are scripts here that write down how they were
// called, so nothing is installed, built or opened.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace q {
namespace {

namespace fs = std::filesystem;

std::string readAll(const fs::path& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(SetUpScripts, RunInstallsOnlyTheViewersNeedsAndWithoutADisplayRunsHeadlessForWindowedToo) {
    const fs::path root = fs::path(::testing::TempDir()) / ("quorvane_setup_" + std::to_string(::getpid()));
    fs::remove_all(root);
    for (const char* file : {"run", "test", "scripts/install-deps", "scripts/sanitizer-env", "scripts/demo-walk.txt"}) {
        fs::create_directories((root / file).parent_path());
        fs::copy_file(fs::path(QUORVANE_SOURCE_DIR) / file, root / file);
    }
    const std::string r = root.string();
    const std::string fakes = "mkdir -p '" + r + "/bin' '" + r + "/build/release' && cd '" + r + "' && " +
                              "printf '#!/bin/sh\\necho \"$3\" >> queried; printf \"install ok installed\"\\n' > bin/dpkg-query && " +
                              "printf '#!/bin/sh\\n' | tee bin/cmake bin/ctest >/dev/null && " +
                              "printf '#!/bin/sh\\necho \"$@\" > ../../viewer-args\\n' > build/release/quorvane && " +
                              "chmod +x bin/* build/release/quorvane";
    ASSERT_EQ(std::system(fakes.c_str()), 0);
    const std::string env = "cd '" + r + "' && rm -f queried && env -u DISPLAY -u WAYLAND_DISPLAY PATH=\"$PWD/bin:$PATH\" ";

    ASSERT_EQ(std::system((env + "./run --windowed --frames 5 > said 2>&1").c_str()), 0) << readAll(root / "said");
    EXPECT_EQ(readAll(root / "said"), "No display found: running headless instead of a window (scripted walk, "
                                      "screenshot in build/demo/screenshot.png).\n");
    EXPECT_EQ(readAll(root / "viewer-args"), "--headless --input " + r +
                                                 "/scripts/demo-walk.txt --screenshot screenshot.png --summary --frames 5\n");
    const std::string forViewer = readAll(root / "queried");
    EXPECT_NE(forViewer.find("libsdl2-dev\n"), std::string::npos) << forViewer;
    for (const char* testOnly : {"clang\n", "libgtest-dev\n", "libbenchmark-dev\n", "xvfb\n", "evilwm\n"})
        EXPECT_EQ(forViewer.find(testOnly), std::string::npos) << testOnly;

    ASSERT_EQ(std::system((env + "./test >/dev/null 2>&1").c_str()), 0);
    const std::string forTests = readAll(root / "queried");
    for (const char* needed : {"libsdl2-dev\n", "clang\n", "libgtest-dev\n", "libbenchmark-dev\n", "xvfb\n"})
        EXPECT_NE(forTests.find(needed), std::string::npos) << needed;
    fs::remove_all(root);
}

}  // namespace
}  // namespace q
