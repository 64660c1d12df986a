// A short soak: bench/soak.sh walks the demo building with a random script
// through the viewer built with these tests. The long run (100000 frames) is
// the same script, run by hand.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace q {
namespace {

TEST(SoakEndToEnd, ShortRandomWalkEndsWithFinitePositionsAndFlatMemory) {
    const std::string log = testing::TempDir() + "soak_e2e.log";
    // Under AddressSanitizer freed memory is held back in a quarantine that
    // grows with every free (the GL driver frees plenty each frame); without
    // it, resident memory shows what the viewer keeps.
    const char* asan = std::getenv("ASAN_OPTIONS");
    const std::string command = std::string("ASAN_OPTIONS='") + (asan ? asan : "") +
                                ":quarantine_size_mb=0' QUORVANE_BIN='" + QUORVANE_BINARY + "' MAPGEN_BIN='" + MAPGEN_BINARY +
                                "' SOAK_SEED=7 '" + QUORVANE_SOURCE_DIR + "/bench/soak.sh' 600 200 >'" + log +
                                "' 2>&1";
    const int status = std::system(command.c_str());
    std::ifstream in(log);
    const std::string output{std::istreambuf_iterator<char>(in), {}};
    std::remove(log.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
    EXPECT_NE(output.find("soak: 600 of 600 frames"), std::string::npos) << output;
    EXPECT_NE(output.find("soak: passed"), std::string::npos) << output;
}

}  // namespace
}  // namespace q
