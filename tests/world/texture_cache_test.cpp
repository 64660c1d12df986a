// The scene's material texture cache and map loading: where a material's image
// is looked for, one texture per byte-exact name, failures not cached, one
// summary line for missing images, and a map that fails to load leaves nothing
// behind.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <set>
#include <string>
#include <tuple>

#include "map/material_image.h"
#include "map_test_files.h"
#include "gpu/recording/recording_device.h"
#include "image/image.h"
#include "recording_device_fixture.h"
#include "render/globals.h"
#include "render/grid_texture.h"
#include "render/image_decode_queue.h"
#include "world/scene.h"

namespace q {
namespace {

class TextureCache : public test::RecordingDeviceTest {
protected:
    void SetUp() override {
        RecordingDeviceTest::SetUp();
        scene.device = &device;
    }
    std::string writeImage(const std::string& name) {
        Image image;
        image.width = image.height = 4;
        image.rgba.assign(4 * 4 * 4, 200);
        const std::string path = files.path(name);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::string error;
        EXPECT_TRUE(writeJpeg(path.c_str(), image, 90, &error)) << error;
        return path;
    }

    // bbb.proc with the given text, beside a collision file of one empty leaf.
    void writeMap(const std::string& proc) {
        files.write("bbb.proc", proc);
        files.write("bbb.cm", "CM \"1.00\"\ncollisionModel \"worldMap\" { nodes { ( -1 0 ) } }\n");
    }
    // The texture the scene gave a surface of a map it loaded.
    const gpu::Texture* textureOf(const MapData* map, const Surface& surface) const {
        return scene.meshOf(map)->textures[static_cast<size_t>(surface.material)];
    }
    // Loads bbb; *lines gets what the load wrote to stderr.
    MapData* loadWrittenMap(std::string* lines, std::string* error) {
        testing::internal::CaptureStderr();
        MapData* map = scene.loadMap(files.path("bbb").c_str(), error);
        *lines = testing::internal::GetCapturedStderr();
        return map;
    }

    Scene scene;
    test::MapFiles files;
};

std::string surfaceText(const std::string& material) {
    return "/* surface 0 */ { \"" + material +
           "\" /* numVerts = */ 3 /* numIndexes = */ 3\n"
           "( 0 0 0 0 0 0 0 1 ) ( 1 0 0 1 0 0 0 1 ) ( 0 1 0 0 1 0 0 1 )\n0 1 2\n}\n";
}

TEST_F(TextureCache, OneEntryPerExactNameAndFailuresAreTriedAgain) {
    writeImage("wall.jpg");
    writeImage("Wall.jpg");
    const std::string wall = files.path("wall"), upper = files.path("Wall");
    gpu::Texture* first = scene.getTexture(wall.c_str());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(scene.getTexture(wall.c_str()), first);
    EXPECT_EQ(scene.textures.size(), 1u);
    EXPECT_STREQ(scene.textures[0].name, wall.c_str());
    EXPECT_EQ(scene.textures[0].file, wall + ".jpg");

    gpu::Texture* other = scene.getTexture(upper.c_str());  // differs only in case
    ASSERT_NE(other, nullptr);
    EXPECT_NE(other, first);
    EXPECT_EQ(scene.textures.size(), 2u);

    const std::string later = files.path("later");
    EXPECT_EQ(scene.getTexture(later.c_str()), nullptr);
    EXPECT_EQ(scene.textures.size(), 2u);  // a failure is not cached...
    writeImage("later.jpg");
    EXPECT_NE(scene.getTexture(later.c_str()), nullptr);  // ...so it is tried again
    EXPECT_EQ(scene.textures.size(), 3u);

    const std::string tooLong = "/" + std::string(130, 'x');  // cannot be named in an entry
    EXPECT_EQ(scene.getTexture(tooLong.c_str()), nullptr);
    EXPECT_EQ(scene.textures.size(), 3u);
}

TEST_F(TextureCache, ImagesAreFoundByExtensionOrderDirectoryOrderAndWithoutCase) {
    const std::string map = files.path("map"), shared = files.path("shared"), more = files.path("more");
    writeImage("map/a.png");
    writeImage("map/a.jpg");          // .jpg before .png
    writeImage("map/b.dds");
    writeImage("shared/b.jpg");       // the map's directory before --textures, whatever the extension
    writeImage("more/c.tga");         // only in the second --textures directory
    writeImage("shared/d.png");
    writeImage("more/d.jpg");         // the first --textures directory first
    writeImage("map/TEXTURES/Base/Wall.JPG");  // written where case does not count
    const std::vector<std::string> dirs{shared, more};
    using P = std::filesystem::path;
    auto found = [&](const std::string& material) { return findMaterialImage(material, map, dirs).value_or("none"); };
    EXPECT_EQ(found("a"), (P(map) / "a.jpg").string());
    EXPECT_EQ(found("b"), (P(map) / "b.dds").string());
    EXPECT_EQ(found("c"), (P(more) / "c.tga").string());
    EXPECT_EQ(found("d"), (P(shared) / "d.png").string());
    EXPECT_EQ(found("textures/base/wall"), (P(map) / "TEXTURES/Base/Wall.JPG").string());
    EXPECT_EQ(found("e"), "none");
    EXPECT_EQ(found("textures/base"), "none");  // a directory is not an image
    // Directories match only the parts before the last, files only the last:
    // a directory spelled like the image, or a file like a directory, is passed over.
    std::filesystem::create_directories(map + "/WALL2.JPG");
    writeImage("map/wall2.Jpg");
    EXPECT_EQ(found("wall2"), (P(map) / "wall2.Jpg").string());
    files.write("map/GEN", "a file, not the directory");
    writeImage("map/gen/Stone.jpg");
    EXPECT_EQ(found("Gen/stone"), (P(map) / "gen/Stone.jpg").string());

    // A directory listed once is read again when it changes.
    EXPECT_EQ(found("textures/base/floor"), "none");
    writeImage("map/TEXTURES/Base/FLOOR.png");
    EXPECT_EQ(found("textures/base/floor"), (P(map) / "TEXTURES/Base/FLOOR.png").string());

    // Through the scene: a map in its own directory, an image in a --textures
    // directory under another case.
    writeImage("shared/Rock/GRANITE.jpg");
    files.write("map/m.proc", "mapProcFile003\nmodel { /* name = */ \"_area0\" /* numSurfaces = */ 1\n" + surfaceText("rock/granite") + "}\n");
    files.write("map/m.cm", "CM \"1.00\"\ncollisionModel \"worldMap\" { nodes { ( -1 0 ) } }\n");
    scene.textureDirs = dirs;
    std::string error;
    MapData* loaded = scene.loadMap((P(map) / "m").c_str(), &error);
    ASSERT_NE(loaded, nullptr) << error;
    EXPECT_NE(textureOf(loaded, loaded->areas[0].surfaceGroups[0].surfaces[0]), nullptr);
    ASSERT_EQ(scene.textures.size(), 1u);
    EXPECT_EQ(scene.textures[0].file, (P(shared) / "Rock/GRANITE.jpg").string());
}

TEST_F(TextureCache, LoadMapSharesTexturesAndSumsUpMissingImagesInOneLine) {
    writeImage("stone.jpg");
    const std::string stone = files.path("stone");
    std::string proc = "mapProcFile003\nmodel { /* name = */ \"_area0\" /* numSurfaces = */ 9\n";
    proc += surfaceText(stone) + surfaceText(stone);
    for (char c = 'a'; c <= 'g'; ++c) proc += surfaceText(files.path(std::string("gone_") + c));
    proc += "}\n";
    writeMap(proc);

    std::string error, lines;
    MapData* map = loadWrittenMap(&lines, &error);
    ASSERT_NE(map, nullptr) << error;
    ASSERT_EQ(scene.maps.size(), 1u);
    EXPECT_EQ(scene.maps[0].get(), map);

    const auto& surfaces = map->areas[0].surfaceGroups[0].surfaces;
    ASSERT_EQ(surfaces.size(), 9u);
    EXPECT_NE(textureOf(map, surfaces[0]), nullptr);
    EXPECT_EQ(textureOf(map, surfaces[1]), textureOf(map, surfaces[0]));
    EXPECT_EQ(scene.textures.size(), 1u);
    for (size_t i = 2; i < 9; ++i) EXPECT_EQ(textureOf(map, surfaces[i]), nullptr);

    // One line for the whole map, the first five names, then "...", and the
    // option that draws them as a grid.
    const std::string expected = "7 of 8 material images missing: " + files.path("gone_a") + ", " +
                                 files.path("gone_b") + ", " + files.path("gone_c") + ", " +
                                 files.path("gone_d") + ", " + files.path("gone_e") + " ...";
    EXPECT_NE(lines.find(expected), std::string::npos) << lines;
    EXPECT_NE(lines.find("--untextured grid"), std::string::npos) << lines;
    EXPECT_EQ(lines.find("gone_f"), std::string::npos) << lines;
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 1) << lines;
}

// What the map's light passes read is loaded with the map: each material's
// normal and specular map and each light's image and falloff image, each
// image once however many name it; one named but not found is left null (the
// vertex normal, a round light) and named in one line, with no stand-in.
TEST_F(TextureCache, NormalSpecularAndLightImagesLoadOnceEachWithTheMap) {
    for (const char* name : {"textures/wall_d.jpg", "textures/wall_n.jpg", "textures/wall_s.jpg", "textures/fall.jpg",
                             "textures/shape.jpg"})
        writeImage(name);
    std::filesystem::create_directories(files.dir() / "materials");
    files.write("materials/m.mtr", "textures/wall { diffusemap textures/wall_d bumpmap textures/wall_n\n"
                                   "  specularmap textures/wall_s }\n"
                                   "textures/floor { bumpmap textures/wall_n }\n"
                                   "lights/spot { lightFalloffImage textures/fall { map textures/shape } }\n"
                                   "lights/gone { { map textures/gone_shape } }\n");
    files.write("bbb.map", "{\n\"classname\" \"worldspawn\"\n}\n"
                           "{\n\"classname\" \"light\"\n\"origin\" \"0 0 0\"\n\"texture\" \"lights/spot\"\n}\n"
                           "{\n\"classname\" \"light\"\n\"origin\" \"0 0 0\"\n\"texture\" \"lights/gone\"\n}\n");
    writeMap("mapProcFile003\nmodel { /* name = */ \"_area0\" /* numSurfaces = */ 2\n" + surfaceText("textures/wall") +
             surfaceText("textures/floor") + "}\n");
    scene.assetDirs = {files.dir().string()};
    std::string error, lines;
    MapData* map = loadWrittenMap(&lines, &error);
    ASSERT_NE(map, nullptr) << error;
    const MapMesh& mesh = *scene.meshOf(map);
    ASSERT_EQ(map->lights.size(), 2u);
    ASSERT_EQ(mesh.normalMaps.size(), 2u);
    EXPECT_NE(mesh.normalMaps[0], nullptr);
    EXPECT_EQ(mesh.normalMaps[1], mesh.normalMaps[0]);
    EXPECT_NE(mesh.specularMaps[0], nullptr);
    EXPECT_EQ(mesh.specularMaps[1], nullptr);
    EXPECT_NE(mesh.specularMaps[0], mesh.normalMaps[0]);
    ASSERT_EQ(mesh.lightImages.size(), 2u);
    EXPECT_NE(mesh.lightImages[0], nullptr);
    EXPECT_NE(mesh.lightFalloffs[0], nullptr);
    EXPECT_NE(mesh.lightImages[0], mesh.lightFalloffs[0]);
    EXPECT_EQ(mesh.lightImages[1], nullptr);
    EXPECT_EQ(mesh.lightFalloffs[1], nullptr);
    EXPECT_EQ(scene.textures.size(), 5u);  // the wall's image, its two maps, the light's two
    EXPECT_NE(lines.find("1 of 5 normal, specular and light images missing: textures/gone_shape"), std::string::npos)
        << lines;
}

TEST_F(TextureCache, UnusableImagesAreNamedAndTheGridStandsInWhenAsked) {
    writeImage("fine.jpg");
    // A 4 x 4 TGA with three bytes of pixels, and a DDS file of an unknown compression.
    files.write("cut.tga", std::string("\0\0\2\0\0\0\0\0\0\0\0\0\4\0\4\0\x18\x20", 18) + "abc");
    files.write("odd.dds", "DDS " + std::string(124, '\0'));
    std::string proc = "mapProcFile003\nmodel { /* name = */ \"_area0\" /* numSurfaces = */ 4\n";
    for (const char* name : {"fine", "cut", "odd", "gone"}) proc += surfaceText(files.path(name));
    writeMap(proc + "}\n");

    std::string error, lines;
    MapData* plain = loadWrittenMap(&lines, &error);
    ASSERT_NE(plain, nullptr) << error;
    const auto& surfaces = plain->areas[0].surfaceGroups[0].surfaces;
    EXPECT_NE(textureOf(plain, surfaces[0]), nullptr);
    for (size_t i = 1; i < 4; ++i) EXPECT_EQ(textureOf(plain, surfaces[i]), nullptr) << i;
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 2) << lines;
    EXPECT_NE(lines.find("1 of 4 material images missing: " + files.path("gone")), std::string::npos) << lines;
    EXPECT_NE(lines.find("2 material images could not be used, their surfaces are drawn untextured: " +
                         files.path("cut.tga") + ": truncated TGA data"),
              std::string::npos)
        << lines;
    EXPECT_NE(lines.find(files.path("odd.dds") + ": "), std::string::npos) << lines;

    // Under --untextured grid the missing and the unusable get a grid each,
    // in their material's own tint.
    scene.untexturedGrid = true;
    MapData* grid = loadWrittenMap(&lines, &error);
    ASSERT_NE(grid, nullptr) << error;
    const auto& gridded = grid->areas[0].surfaceGroups[0].surfaces;
    EXPECT_EQ(textureOf(grid, gridded[0]), textureOf(plain, surfaces[0]));
    const std::set<const gpu::Texture*> standIns{textureOf(grid, gridded[1]), textureOf(grid, gridded[2]), textureOf(grid, gridded[3])};
    EXPECT_EQ(standIns.size(), 3u);
    EXPECT_EQ(standIns.count(nullptr), 0u);
    EXPECT_EQ(standIns.count(textureOf(grid, gridded[0])), 0u);
    EXPECT_NE(lines.find("drawn with a grey grid: "), std::string::npos) << lines;
    const std::vector<uint32_t>& texels = gpu::RecordingDevice::texels(textureOf(grid, gridded[3]));
    ASSERT_FALSE(texels.empty());
    const std::set<uint32_t> shades(texels.begin(), texels.end());
    EXPECT_GE(shades.size(), 2u);  // lines and cells
    const GridTint tint = gridTint(files.path("gone"));
    const auto tinted = [](uint32_t grey, uint8_t by) { return grey * by / 255; };
    const uint32_t cell = 0xFFu << 24 | tinted(0x80, tint.red) << 16 | tinted(0x80, tint.green) << 8 | tinted(0x80, tint.blue);
    EXPECT_EQ(shades.count(cell), 1u);  // 0xAARRGGBB

    // The tint comes from the name alone: the same in every run, apart for
    // names side by side.
    EXPECT_EQ(gridTint("textures/base/wall"), (GridTint{160, 166, 255}));
    std::set<std::tuple<uint8_t, uint8_t, uint8_t>> tints;
    for (const char* name : {"textures/base/wall", "textures/base/wall2", "textures/base/floor", "a", "b"}) {
        const GridTint t = gridTint(name);
        EXPECT_GE(std::min({t.red, t.green, t.blue}), 128) << name;  // the grid still reads
        tints.emplace(t.red, t.green, t.blue);
    }
    EXPECT_EQ(tints.size(), 5u);
}

TEST_F(TextureCache, ImagesDecodedAheadOfTheReadReachTheirOwnSurfaces) {
    // More images than are decoded ahead, each named twice (the second time in
    // reverse order), one of them damaged.
    constexpr int kImages = 20, kDamaged = 5;
    std::string proc = "mapProcFile003\nmodel { /* name = */ \"_area0\" /* numSurfaces = */ 40\n";
    for (int i = 0; i < kImages; ++i) {
        Image image{2, 2, std::vector<uint8_t>(16, uint8_t(i * 12))};
        std::string error;
        const std::string path = files.path("image" + std::to_string(i) + ".png");
        ASSERT_TRUE(writePng(path.c_str(), image, &error)) << error;
        if (i == kDamaged) files.write("image5.png", "\x89PNG\r\n\x1a\n and then nothing");
        proc += surfaceText(files.path("image" + std::to_string(i)));
    }
    for (int i = kImages - 1; i >= 0; --i) proc += surfaceText(files.path("image" + std::to_string(i)));
    writeMap(proc + "}\n");

    std::string error, lines;
    MapData* map = loadWrittenMap(&lines, &error);
    ASSERT_NE(map, nullptr) << error;
    const auto& surfaces = map->areas[0].surfaceGroups[0].surfaces;
    for (int i = 0; i < kImages; ++i) {
        const gpu::Texture* texture = textureOf(map, surfaces[i]);
        EXPECT_EQ(textureOf(map, surfaces[2 * kImages - 1 - i]), texture) << i;
        if (i == kDamaged) {
            EXPECT_EQ(texture, nullptr);
            continue;
        }
        ASSERT_NE(texture, nullptr) << i;
        const uint32_t grey = uint32_t(i * 12);
        EXPECT_EQ(gpu::RecordingDevice::texels(texture)[0], grey << 24 | grey << 16 | grey << 8 | grey) << i;
    }
    EXPECT_EQ(scene.textures.size(), size_t{kImages - 1});
    EXPECT_NE(lines.find("1 material image could not be used, its surfaces are drawn untextured: " +
                         files.path("image5.png") + ": "),
              std::string::npos)
        << lines;

    // A map that fails while images are queued makes none of their textures.
    scene.textures.clear();
    files.write("bbb.proc", proc + "} broken");
    files.write("bbb.cm", "nodes {\n ( 7 0 ) }\n");
    EXPECT_EQ(scene.loadMap(files.path("bbb").c_str(), &error), nullptr);
    EXPECT_EQ(device.liveTextures(), 0u);
}

// Memory bounded: an image too large for the limit, or one that would take the
// map past its budget of decoded pixels, is refused from its header and named;
// what a worker's decoding throws is that image's failure.
TEST_F(TextureCache, ImagesOverTheLimitOrTheBudgetAreRefusedBeforeDecoding) {
    for (const char* name : {"a", "b", "c"}) writeImage(std::string(name) + ".jpg");  // 4 x 4: 64 bytes each
    // Only a header: 9000 x 9000 pixels claimed, nothing to decode them from.
    files.write("huge.png", std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\x23\x28\0\0\x23\x28\x08\x06\0\0\0", 29) +
                                std::string(8, '\0'));
    // A frame header of 9000 x 9000 behind 1.3 MiB of markers: found all the same.
    std::ifstream small(files.path("a.jpg"), std::ios::binary);
    const std::string jpeg{std::istreambuf_iterator<char>(small), {}};
    std::string markers;
    for (int i = 0; i < 20; ++i) markers += "\xff\xef\xff\xff" + std::string(65533, '\0');
    std::string deep = jpeg.substr(0, 2) + markers + jpeg.substr(2);
    const size_t frame = deep.find("\xff\xc0") + 5;
    deep.replace(frame, 4, "\x23\x28\x23\x28");
    files.write("deep.jpg", deep);
    // A stray byte after its first segment hides the size from the header;
    // the decoder reads past it, and the decoded size is charged.
    const size_t second = 4 + (uint8_t(jpeg[4]) << 8 | uint8_t(jpeg[5]));
    files.write("loose.jpg", jpeg.substr(0, second) + '\0' + jpeg.substr(second));
    std::string proc = "mapProcFile003\nmodel { /* name = */ \"_area0\" /* numSurfaces = */ 6\n";
    for (const char* name : {"huge", "a", "b", "c", "deep", "loose"}) proc += surfaceText(files.path(name));
    writeMap(proc + "}\n");
    scene.imageLimits = {8192, 150};  // two of the small images fit
    std::string lines, error;
    ASSERT_NE(loadWrittenMap(&lines, &error), nullptr) << error;
    EXPECT_NE(lines.find("4 material images could not be used"), std::string::npos) << lines;
    EXPECT_NE(lines.find("deep.jpg: image too large (9000 x 9000)"), std::string::npos) << lines;
    EXPECT_NE(lines.find("loose.jpg: its 4 x 4 pixels would take the map's images past their budget"),
              std::string::npos) << lines;
    EXPECT_NE(lines.find("huge.png: image too large (9000 x 9000): at most 8192 pixels a side (--max-image-size)"),
              std::string::npos) << lines;
    EXPECT_NE(lines.find("c.jpg: its 4 x 4 pixels would take the map's images past their budget"), std::string::npos)
        << lines;
    EXPECT_EQ(scene.textures.size(), 2u);

    ImageDecodeQueue queue(false, [](ImageFileHead&& head, TextureImage* out, std::string* why) -> bool {
        if (head.path.ends_with("b.jpg")) throw std::bad_alloc();
        return loadImageBody(std::move(head), out, why);
    });
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
        ImageFileHead head;
        ASSERT_TRUE(readImageHead(files.path(name).c_str(), 16, &head, &error)) << error;
        queue.add(std::move(head));
    }
    TextureImage image;
    EXPECT_TRUE(queue.takeNext(&image, &error)) << error;
    EXPECT_FALSE(queue.takeNext(&image, &error));
    EXPECT_EQ(error, files.path("b.jpg") + ": not enough memory to decode it");
    EXPECT_TRUE(queue.takeNext(&image, &error)) << error;
    EXPECT_EQ(image.width, 4u);
}

// What a fake decoder holds, counted as the queue counts it: an image's file
// bytes and pixels while it decodes, its pixels until the test has taken it.
struct HeldCount {
    static constexpr int64_t kCap = 700;
    static constexpr int64_t kHandedOver = 100;  // a small image's pixels
    static inline std::mutex mutex;
    static inline int64_t held = 0;
    static inline int violations = 0;

    static bool decode(ImageFileHead&& head, TextureImage* out, std::string*) {
        const int64_t file = static_cast<int64_t>(head.fileBytes), pixels = static_cast<int64_t>(head.decodedBytes());
        {
            std::lock_guard<std::mutex> lock(mutex);
            // The image the taker was just handed may still be counted here.
            const bool fits = file + pixels <= kCap ? held + file + pixels <= kCap + kHandedOver : held <= kHandedOver;
            if (!fits) ++violations;
            held += file + pixels;
        }
        out->width = head.width;
        out->height = head.height;
        out->levelCount = 1;
        out->bytes.assign(static_cast<size_t>(pixels), 7);
        std::lock_guard<std::mutex> lock(mutex);
        held -= file;
        return true;
    }
};

TEST_F(TextureCache, DecodeQueueHoldsNoMoreThanItsCapAndLetsALargerImageThroughAlone) {
    ImageDecodeQueue queue(false, HeldCount::decode, HeldCount::kCap);
    // Every image has 100 bytes of pixels; the small files hold 200 bytes
    // while decoding (three fit under the cap), the large one 2100.
    std::vector<uint64_t> fileBytes(24, 100);
    fileBytes[9] = 2000;
    for (const uint64_t bytes : fileBytes) {
        ImageFileHead head;
        head.path = "fake";
        head.width = head.height = 5;
        head.fileBytes = head.bytesNeeded = bytes;
        queue.add(std::move(head));
    }
    for (size_t taken = 0; taken < fileBytes.size(); ++taken) {
        TextureImage image;
        std::string error;
        ASSERT_TRUE(queue.takeNext(&image, &error)) << error;
        std::lock_guard<std::mutex> lock(HeldCount::mutex);
        HeldCount::held -= static_cast<int64_t>(image.bytes.size());
    }
    std::lock_guard<std::mutex> lock(HeldCount::mutex);
    EXPECT_EQ(HeldCount::violations, 0);
    EXPECT_EQ(HeldCount::held, 0);
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

    // Maps kept in deep folders load: no limit but the system's own on the name.
    const std::string deep = std::string(120, 'd') + "/" + std::string(150, 'e');
    std::filesystem::create_directories(files.path(deep));
    files.write(deep + "/bbb.proc", "mapProcFile003\nmodel { /* name = */ _area0 /* numSurfaces = */ 1\n" +
                                        surfaceText("nothing") + "}\n");
    files.write(deep + "/bbb.cm", "CM \"1.00\"\ncollisionModel \"worldMap\" { nodes { ( -1 0 ) } }\n");
    EXPECT_NE(scene.loadMap(files.path(deep + "/bbb").c_str(), &error), nullptr) << error;
}

}  // namespace
}  // namespace q
