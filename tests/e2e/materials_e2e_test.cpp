// A map in the usual asset layout (ROOT/maps/m.proc beside ROOT/materials and
// ROOT/textures), plus a base root given with --assets: --info names each
// material's definition and the image its definition names.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "map_test_files.h"
#include "image/image.h"
#include "platform/zip_archive.h"

namespace q {
namespace {

std::string run(const std::string& command, int* exitCode) {
    std::string out;
    std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return out;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) out.append(chunk, n);
    const int status = ::pclose(pipe);
    *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

TEST(MaterialsEndToEnd, InfoNamesDefinitionsAndTheImagesTheyName) {
    test::MapFiles files;
    for (const char* dir : {"game/maps", "game/materials", "game/textures", "base/materials", "base/dds/textures"})
        std::filesystem::create_directories(files.path(dir));
    std::string proc = "mapProcFile003\nmodel { /* name = */ \"_area0\" /* numSurfaces = */ 3\n";
    for (const char* material : {"textures/wall", "textures/floor", "textures/bare"})
        proc += std::string("/* surface 0 */ { \"") + material +
                "\" /* numVerts = */ 3 /* numIndexes = */ 3\n"
                "( 0 0 0 0 0 0 0 1 ) ( 1 0 0 1 0 0 0 1 ) ( 0 1 0 0 1 0 0 1 )\n0 1 2\n}\n";
    files.write("game/maps/m.proc", proc + "}\n");
    files.write("game/maps/m.cm", "CM \"1.00\"\ncollisionModel \"worldMap\" { nodes { ( -1 0 ) } }\n");
    files.write("game/materials/walls.mtr", "// the map's own\n\ntextures/wall\n{\n  diffusemap textures/wall_d.tga\n}\n");
    files.write("base/materials/base.mtr", "textures/wall { diffusemap wrong }\ntextures/floor { qer_editorimage textures/floor_ed }\n"
                                           "textures/escape { diffusemap ../game/textures/wall_d.png }\n");
    Image image;
    image.width = image.height = 2;
    image.rgba.assign(16, 90);
    std::string error;
    ASSERT_TRUE(writePng(files.path("game/textures/wall_d.png").c_str(), image, &error)) << error;
    ASSERT_TRUE(writePng(files.path("base/dds/textures/floor_ed.dds").c_str(), image, &error)) << error;
    // The bare material's image comes in an archive of the map's root.
    ASSERT_TRUE(writeZipArchive(files.path("game/pak0.zip"), {{"textures/bare.jpg", {1, 2, 3}}}, true, &error)) << error;

    const std::string command = std::string("'") + QUORVANE_BINARY + "' --dir '" + files.path("game/maps") +
                                "' --map m --assets '" + files.path("base") + "' --info";
    int exitCode = -1;
    const std::string text = run(command, &exitCode);
    ASSERT_EQ(exitCode, 0) << text;
    for (const std::string& line :
         {"  textures/wall: " + files.path("game/textures/wall_d.png") + " (definition " +
              files.path("game/materials/walls.mtr") + ":3)\n",
          "  textures/floor: " + files.path("base/dds/textures/floor_ed.dds") + " (definition " +
              files.path("base/materials/base.mtr") + ":2)\n",
          "  textures/bare: " + files.path("game/pak0.zip") + ":textures/bare.jpg (cannot be used: not a JPEG",
          // A definition may not reach out of its root, even into another root.
          files.path("base/materials/base.mtr") +
              ":3: the image path '../game/textures/wall_d.png' is refused: it climbs out of its asset root ('..')"})
        EXPECT_NE(text.find(line), std::string::npos) << line << " in:\n" << text;

    const std::string json = run(command + " --json", &exitCode);
    EXPECT_NE(json.find("{\"name\":\"textures/wall\",\"file\":\"" + files.path("game/textures/wall_d.png") +
                        "\",\"definition\":\"" + files.path("game/materials/walls.mtr") + ":3\"}"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("{\"name\":\"textures/bare\",\"file\":\"" + files.path("game/pak0.zip") +
                        ":textures/bare.jpg\",\"definition\":null,\"problem\":"),
              std::string::npos)
        << json;

    // A run: M names the material under the view with its definition and
    // image, and after F5 the --assets root still gives the floor its image.
    const std::string script = files.path("m.txt");
    files.write("m.txt", "0 0 N\n0 0 M\n0 0 F5\n0 0 M\n");
    const std::string looked = run(std::string("'") + QUORVANE_BINARY + "' --dir '" + files.path("game/maps") +
                                       "' --map m --assets '" + files.path("base") +
                                       "' --headless --instances 1 --start 0.25 -40 0.25 --look 0 1.5707963 --input '" +
                                       script + "'",
                                   &exitCode);
    EXPECT_EQ(exitCode, 0) << looked;
    const std::string line = "quorvane: looking at textures/wall (definition " + files.path("game/materials/walls.mtr") +
                             ":3); image " + files.path("game/textures/wall_d.png") + "; area 0 of copy 0\n";
    const size_t first = looked.find(line);
    ASSERT_NE(first, std::string::npos) << line << " in:\n" << looked;
    EXPECT_NE(looked.find(line, first + 1), std::string::npos) << looked;
    EXPECT_NE(looked.find("quorvane: reloaded m"), std::string::npos) << looked;
    EXPECT_EQ(looked.find("missing: textures/floor"), std::string::npos) << looked;

    // An archive the run reads is never written over.
    const std::string archive = files.path("game/pak0.zip");
    const auto sizeBefore = std::filesystem::file_size(archive);
    const std::string kept = run(std::string("'") + QUORVANE_BINARY + "' --dir '" + files.path("game/maps") +
                                     "' --map m --headless --frames 1 --screenshot '" + archive + "'",
                                 &exitCode);
    EXPECT_EQ(exitCode, 2) << kept;
    EXPECT_EQ(std::filesystem::file_size(archive), sizeBefore);

    const std::string refused = run(command + " --assets '" + files.path("none") + "'", &exitCode);
    EXPECT_EQ(exitCode, 2);
    EXPECT_NE(refused.find("--assets expects an asset folder or zip archive: '" + files.path("none") + "' does not exist"),
              std::string::npos)
        << refused;
}

}  // namespace
}  // namespace q
