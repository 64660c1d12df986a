// The picture itself, held still against reference screenshots of the demo map:
// the scripted demo walk, a run that collects the frustum lines while turning,
// and a run that draws every copy and the terrain. Any change to how the viewer
// draws (the device, the lighting, the passes) must leave these pictures as
// they were. The references were quantised to steps of 3 (each channel off by
// at most 1) to keep them small; the tolerance below absorbs that.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "image/image.h"
#include "image/image_png_read.h"

namespace q {
namespace {

constexpr int kChannelTolerance = 2;        // of 255
constexpr double kDifferingShareLimit = 0.001;  // of all pixels

struct PictureRun {
    const char* name;
    std::string script;
    std::string options;
};

std::string quoted(const std::string& s) { return "'" + s + "'"; }

// Pixels of which some channel differs by more than the tolerance.
size_t differingPixels(const Image& a, const Image& b) {
    size_t differing = 0;
    for (size_t i = 0; i + 3 < a.rgba.size(); i += 4) {
        for (size_t c = 0; c < 3; ++c) {
            if (std::abs(int{a.rgba[i + c]} - int{b.rgba[i + c]}) > kChannelTolerance) {
                ++differing;
                break;
            }
        }
    }
    return differing;
}

TEST(PictureEndToEnd, DemoWalkFrustumLinesAndEverythingMatchTheReferences) {
    const std::string dir = ::testing::TempDir() + "quorvane_picture_" + std::to_string(::getpid());
    std::filesystem::remove_all(dir);
    ASSERT_EQ(std::system((quoted(MAPGEN_BINARY) + " demo " + quoted(dir) + " >/dev/null 2>&1").c_str()), 0);

    const std::string data = std::string(QUORVANE_SOURCE_DIR) + "/tests/data/picture/";
    const PictureRun runs[] = {
        {"demo_walk", std::string(QUORVANE_SOURCE_DIR) + "/scripts/demo-walk.txt", ""},
        {"hold_f", data + "hold_f.txt", ""},
        {"everything", data + "everything.txt", "--start 0 800 -7000 --look 0 0.1"},
    };
    for (const PictureRun& run : runs) {
        SCOPED_TRACE(run.name);
        const std::string shot = dir + "/" + run.name + ".png";
        const std::string command = quoted(QUORVANE_BINARY) + " --headless --tick-ms 16 --dir " + quoted(dir) +
                                    " --input " + quoted(run.script) + " --screenshot " + quoted(shot) + " " +
                                    run.options + " >/dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;

        Image taken, reference;
        std::string error;
        ASSERT_TRUE(loadPng(shot.c_str(), &taken, &error)) << error;
        ASSERT_TRUE(loadPng((data + run.name + ".png").c_str(), &reference, &error)) << error;
        ASSERT_EQ(taken.width, reference.width);
        ASSERT_EQ(taken.height, reference.height);
        const size_t pixels = size_t{taken.width} * taken.height;
        EXPECT_LE(differingPixels(taken, reference), static_cast<size_t>(kDifferingShareLimit * pixels))
            << "the picture changed; the run's screenshot is kept at " << shot;
    }
    if (!::testing::Test::HasFailure()) std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace q
