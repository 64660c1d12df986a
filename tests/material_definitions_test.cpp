// Material definition files as real ones are written, which image each
// material shows, faults named by file and line, and the asset roots searched
// for definitions and images (as given, with another extension, as a dds/ copy).

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "map/material_definitions.h"
#include "map/material_library.h"
#include "map_test_files.h"

namespace q {
namespace {

const char* kDefinitions = R"(// walls and glass
/* a block comment { with a brace } */
table sinTable { { 0, 1, 0, -1 } }
textures/stone/wall_03
{
    qer_editorimage textures/stone/wall_03_ed.tga
    bumpmap addnormals(textures/stone/wall_03_local, heightmap(textures/stone/wall_03_h, 4))
    { blend specularmap  map textures/stone/wall_03_s }
    {
        blend diffusemap
        map textures/stone/wall_03_d   // the picture
    }
}
textures/glass/window { translucent { blend gl_src_alpha, gl_one_minus_src_alpha map makeintensity("textures/glass/win.tga") } }
textures/grate { { blend bumpmap map textures/grate_n } { alphaTest 0.5 map textures/grate_d } }
material textures/lava { diffusemap textures/lava_d { blend add map textures/lava_glow } }
textures/sky { qer_editorimage textures/sky_ed }
TEXTURES/STONE/Wall_03 { diffusemap textures/other }
)";

TEST(MaterialDefinitions, ReadAsWrittenAndEachShowsItsImage) {
    MaterialDefinitions read;
    std::string error;
    ASSERT_TRUE(read.readText(kDefinitions, "m.mtr", &error)) << error;
    EXPECT_EQ(read.all().size(), 5u);  // the table is skipped, the second wall_03 loses
    const MaterialDefinition* wall = read.find("Textures/Stone/WALL_03");
    ASSERT_NE(wall, nullptr);
    EXPECT_EQ(wall->line, 4);
    EXPECT_EQ(wall->file, "m.mtr");
    auto look = [&](const char* name) { return lookOf(*read.find(name)); };
    EXPECT_EQ(look("textures/stone/wall_03").image, "textures/stone/wall_03_d");  // the diffuse stage, not the editor's
    EXPECT_EQ(look("textures/stone/wall_03").blend, MaterialBlend::Opaque);
    EXPECT_EQ(look("textures/glass/window").image, "textures/glass/win.tga");
    EXPECT_EQ(look("textures/glass/window").blend, MaterialBlend::Blend);
    EXPECT_EQ(look("textures/grate").image, "textures/grate_d");  // the bump map stage is not drawn
    EXPECT_FLOAT_EQ(look("textures/grate").alphaTest, 0.5f);
    EXPECT_EQ(look("textures/lava").image, "textures/lava_d");  // diffusemap before any stage
    EXPECT_EQ(look("textures/lava").blend, MaterialBlend::Opaque);
    EXPECT_EQ(look("textures/sky").image, "textures/sky_ed");
    EXPECT_EQ(read.find("textures/none"), nullptr);

    EXPECT_EQ(firstImagePath("addnormals(a/b, heightmap(c, 4))"), "a/b");
    EXPECT_EQ(firstImagePath("heightmap ( \"c d\" , 4)"), "c");
    EXPECT_EQ(firstImagePath("()"), "");
}

TEST(MaterialDefinitions, FaultsAreNamedByFileAndLineAndWhatCameBeforeIsKept) {
    const struct {
        std::string text;
        const char* message;
    } cases[] = {
        {"a { }\nb {\n { map x }\n", "f.mtr:2: expected '}' to close the '{' opened here"},
        {"a { }\n/* open\n\n", "f.mtr:2: expected '*/' to close the comment opened here"},
        {"a { }\n}\n", "f.mtr:2: expected a material name, found '}'"},
        {"a { }\nb c d\n", "f.mtr:2: expected '{' after 'b'"},
        {"a { }\nb { map \"x }\n", "f.mtr:2: expected a closing '\"' on the same line"},
        {std::string("a { }\nb\x01{ }", 11), "f.mtr:2: expected text, found the byte 0x01"},
    };
    for (const auto& c : cases) {
        MaterialDefinitions read;
        std::string error;
        EXPECT_FALSE(read.readText(c.text, "f.mtr", &error)) << c.text;
        EXPECT_EQ(error, c.message);
        EXPECT_NE(read.find("a"), nullptr) << c.text;
    }
}

TEST(MaterialDefinitions, AssetRootsAreSearchedInOrderForDefinitionsAndImages) {
    test::MapFiles files;
    namespace fs = std::filesystem;
    for (const char* dir : {"game/Maps", "game/materials", "game/textures/a", "game/dds/textures/b", "base/materials",
                            "base/textures"})
        fs::create_directories(files.path(dir));
    files.write("game/materials/a.mtr", "textures/a { diffusemap textures/a/a_d.tga }\n"
                                        "textures/b { { blend diffusemap map textures/b/b_d } }\n");
    files.write("game/materials/b.mtr", "textures/c { diffusemap base_c }\ntextures/a { diffusemap wrong }\n");
    files.write("game/materials/z.mtr", "textures/d {\n");  // named, the rest used
    files.write("base/materials/a.mtr", "textures/c { diffusemap wrong }\ntextures/e { diffusemap textures/e_d }\n");
    files.write("game/textures/a/A_D.png", "png");       // another extension, another case
    files.write("game/dds/textures/b/b_d.dds", "dds");  // only the compressed copy
    files.write("base/textures/e_d.tga", "tga");
    files.write("base/base_c.jpg", "jpg");
    files.write("base/textures/plain.jpg", "jpg");  // no definition: by its name

    MaterialLibrary library;
    library.load(files.path("game/Maps"), {}, {files.path("base")});
    ASSERT_EQ(library.problems().size(), 1u);
    EXPECT_EQ(library.problems()[0], files.path("game/materials/z.mtr") + ":1: expected '}' to close the '{' opened here");
    ASSERT_EQ(library.assetRoots().size(), 2u);
    EXPECT_EQ(fs::path(library.assetRoots()[0]), fs::path(files.path("game")));

    auto found = [&](const char* name) { return library.find(name).file.value_or("none"); };
    EXPECT_EQ(found("textures/a"), files.path("game/textures/a/A_D.png"));
    EXPECT_EQ(found("textures/b"), files.path("game/dds/textures/b/b_d.dds"));
    EXPECT_EQ(found("textures/c"), files.path("base/base_c.jpg"));  // the map's root defines it first
    EXPECT_EQ(found("textures/e"), files.path("base/textures/e_d.tga"));
    EXPECT_EQ(found("textures/plain"), files.path("base/textures/plain.jpg"));
    EXPECT_EQ(found("textures/d"), "none");
    ASSERT_NE(library.find("textures/c").definition, nullptr);
    EXPECT_EQ(library.find("textures/c").definition->file, files.path("game/materials/b.mtr"));

    // A map outside a `maps` folder has no root of its own.
    library.load(files.path("game"), {}, {});
    EXPECT_TRUE(library.assetRoots().empty());
    EXPECT_EQ(found("textures/a"), "none");
}

}  // namespace
}  // namespace q
