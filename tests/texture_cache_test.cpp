// The scene's material texture cache and map loading: one texture per
// byte-exact name, failures not cached, one summary line for missing images,
// and a map that fails to load leaves nothing behind.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "map_test_files.h"
#include "platform/gpu/recording/recording_device.h"
#include "platform/image.h"
#include "render/globals.h"
#include "world/scene.h"

namespace q {
namespace {

class TextureCache : public testing::Test {
protected:
    void SetUp() override {
        previous_ = g_device;
        g_device = &device;
        scene.device = &device;
    }
    void TearDown() override {
        scene.release();
        g_device = previous_;
    }
    std::string writeImage(const std::string& name) {
        Image image;
        image.width = image.height = 4;
        image.rgba.assign(4 * 4 * 4, 200);
        const std::string path = files.path(name);
        std::string error;
        EXPECT_TRUE(writeJpeg(path.c_str(), image, 90, &error)) << error;
        return path;
    }

    gpu::RecordingDevice device;
    Scene scene;
    test::MapFiles files;

private:
    gpu::Device* previous_ = nullptr;
};

TEST_F(TextureCache, OneEntryPerExactNameAndFailuresAreTriedAgain) {
    const std::string wall = writeImage("wall.jpg");
    const std::string upper = writeImage("Wall.jpg");
    gpu::Texture* first = scene.getTexture(wall.c_str());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(scene.getTexture(wall.c_str()), first);
    EXPECT_EQ(scene.textures.size(), 1u);
    EXPECT_STREQ(scene.textures[0].name, wall.c_str());

    gpu::Texture* other = scene.getTexture(upper.c_str());  // differs only in case
    ASSERT_NE(other, nullptr);
    EXPECT_NE(other, first);
    EXPECT_EQ(scene.textures.size(), 2u);

    const std::string later = files.path("later.jpg");
    EXPECT_EQ(scene.getTexture(later.c_str()), nullptr);
    EXPECT_EQ(scene.textures.size(), 2u);  // a failure is not cached...
    writeImage("later.jpg");
    EXPECT_NE(scene.getTexture(later.c_str()), nullptr);  // ...so it is tried again
    EXPECT_EQ(scene.textures.size(), 3u);

    const std::string tooLong = "/" + std::string(130, 'x') + ".jpg";  // cannot be named in an entry
    EXPECT_EQ(scene.getTexture(tooLong.c_str()), nullptr);
    EXPECT_EQ(scene.textures.size(), 3u);
}

std::string surfaceText(const std::string& material) {
    return "/* surface 0 */ { \"" + material +
           "\" /* numVerts = */ 3 /* numIndexes = */ 3\n"
           "( 0 0 0 0 0 0 0 1 ) ( 1 0 0 1 0 0 0 1 ) ( 0 1 0 0 1 0 0 1 )\n0 1 2\n}\n";
}

TEST_F(TextureCache, LoadMapSharesTexturesAndSumsUpMissingImagesInOneLine) {
    writeImage("stone.jpg");
    const std::string stone = files.path("stone");
    std::string proc = "mapProcFile003\nmodel { /* name = */ \"_area0\" /* numSurfaces = */ 9\n";
    proc += surfaceText(stone) + surfaceText(stone);
    for (char c = 'a'; c <= 'g'; ++c) proc += surfaceText(files.path(std::string("gone_") + c));
    proc += "}\n";
    files.write("bbb.proc", proc);
    files.write("bbb.cm", "CM \"1.00\"\ncollisionModel \"worldMap\" { nodes { ( -1 0 ) } }\n");

    std::string error;
    testing::internal::CaptureStderr();
    MapData* map = scene.loadMap(files.path("bbb").c_str(), &error);
    const std::string lines = testing::internal::GetCapturedStderr();
    ASSERT_NE(map, nullptr) << error;
    ASSERT_EQ(scene.maps.size(), 1u);
    EXPECT_EQ(scene.maps[0], map);

    const auto& surfaces = map->areas[0].surfaceGroups[0].surfaces;
    ASSERT_EQ(surfaces.size(), 9u);
    EXPECT_NE(surfaces[0].texture, nullptr);
    EXPECT_EQ(surfaces[1].texture, surfaces[0].texture);
    EXPECT_EQ(scene.textures.size(), 1u);
    for (size_t i = 2; i < 9; ++i) EXPECT_EQ(surfaces[i].texture, nullptr);

    // One line for the whole map, the first five names, then "...".
    const std::string expected = "7 of 8 material images missing: " + files.path("gone_a.jpg") + ", " +
                                 files.path("gone_b.jpg") + ", " + files.path("gone_c.jpg") + ", " +
                                 files.path("gone_d.jpg") + ", " + files.path("gone_e.jpg") + " ...";
    EXPECT_NE(lines.find(expected), std::string::npos) << lines;
    EXPECT_EQ(lines.find("gone_f"), std::string::npos) << lines;
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 1) << lines;
}

TEST_F(TextureCache, FailedLoadsNameTheFileAndKeepNothing) {
    std::string error;
    EXPECT_EQ(scene.loadMap(files.path("bbb").c_str(), &error), nullptr);
    EXPECT_EQ(error, "cannot open " + files.dir().string() + "/bbb.proc: No such file or directory");

    // The area-portal file loads, the collision file is broken: the surfaces
    // already on the device go again.
    files.write("bbb.proc", "mapProcFile003\nmodel { /* name = */ _area0 /* numSurfaces = */ 1\n" +
                                surfaceText("nothing") + "}\n");
    files.write("bbb.cm", "nodes {\n ( 7 0 ) }\n");
    EXPECT_EQ(scene.loadMap(files.path("bbb").c_str(), &error), nullptr);
    EXPECT_EQ(error, files.path("bbb.cm") + ":2: expected an axis of 0, 1, 2 or a negative leaf mark, found 7");
    EXPECT_TRUE(scene.maps.empty());
    EXPECT_EQ(device.liveBuffers(), 0u);

    files.write("bbb.cm", "");
    EXPECT_EQ(scene.loadMap(files.path("bbb").c_str(), &error), nullptr);
    EXPECT_NE(error.find("bbb.cm:1: expected a collision file, found an empty file"), std::string::npos) << error;

    const std::string longName(123, 'n');
    EXPECT_EQ(scene.loadMap(longName.c_str(), &error), nullptr);
    EXPECT_NE(error.find("longer than 122 characters"), std::string::npos) << error;
}

}  // namespace
}  // namespace q
