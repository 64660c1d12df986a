// Material definition files as real ones are written, which image each
// material shows, faults named by file and line, and the asset roots searched
// for definitions and images (as given, with another extension, as a dds/ copy).

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "map/material_definitions.h"
#include "map/material_library.h"
#include "map_test_files.h"
#include "image/image.h"
#include "platform/zip_archive.h"

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

TEST(MaterialDefinitions, NormalSpecularAndLightImagesAndWhichLightsAreAmbient) {
    MaterialDefinitions read;
    std::string error;
    ASSERT_TRUE(read.readText(kDefinitions, "m.mtr", &error)) << error;
    const MaterialDefinition& wall = *read.find("textures/stone/wall_03");
    EXPECT_EQ(normalMapOf(wall), "textures/stone/wall_03_local");  // addnormals' first image
    EXPECT_EQ(specularMapOf(wall), "textures/stone/wall_03_s");     // from its stage
    EXPECT_EQ(normalMapOf(*read.find("textures/grate")), "textures/grate_n");
    EXPECT_EQ(specularMapOf(*read.find("textures/grate")), "");
    ASSERT_TRUE(read.readText("lights/fill { ambientLight lightFalloffImage makeintensity(lights/fall) { map lights/fill_shape } }\n"
                              "lights/ambient_spot { { blend add map lights/spot } }\n",
                              "l.mtr", &error))
        << error;
    const MaterialDefinition& fill = *read.find("lights/fill");
    EXPECT_TRUE(fill.ambientLight);
    EXPECT_EQ(lightFalloffImageOf(fill), "lights/fall");
    EXPECT_EQ(lightImageOf(fill), "lights/fill_shape");
    EXPECT_EQ(lightImageOf(*read.find("lights/ambient_spot")), "lights/spot");
    // The definition decides; without one, the last part of the name.
    EXPECT_TRUE(isAmbientLightMaterial(read, "Lights/FILL"));
    EXPECT_FALSE(isAmbientLightMaterial(read, "lights/ambient_spot"));
    EXPECT_TRUE(isAmbientLightMaterial(read, "lights/AmbientLight_nfo"));
    EXPECT_FALSE(isAmbientLightMaterial(read, "lights/ambient/round"));
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

// Paths that leave their root, or are too long to be a path, are refused
// with file and line; the material stays, without that image.
TEST(MaterialDefinitions, ImagePathsStayInsideTheirRoots) {
    std::string manyParts;
    for (int i = 0; i < 200; ++i) manyParts += "a/";
    const struct {
        std::string path;
        const char* why;
    } cases[] = {
        {"../../../../etc/passwd", "it climbs out of its asset root ('..')"},
        {"textures\\..\\..\\x", "it climbs out of its asset root ('..')"},
        {"/usr/share/pixmaps/logo.png", "it is absolute: images are looked for inside the asset roots only"},
        {"C:/images/x.tga", "it names a drive: images are looked for inside the asset roots only"},
        {manyParts, "it has more than 64 parts"},
        {std::string(2000, 'a'), "it is 2000 bytes long, at most 1024 are read"},
    };
    for (const auto& c : cases) {
        MaterialDefinitions read;
        std::string error;
        EXPECT_FALSE(read.readText("a {\n { map " + c.path + " }\n diffusemap ok/..x/y.tga\n}\n", "f.mtr", &error));
        EXPECT_NE(error.find(std::string("f.mtr:2: the image path '") + c.path.substr(0, 20)), std::string::npos) << error;
        EXPECT_NE(error.find(c.why), std::string::npos) << error;
        ASSERT_NE(read.find("a"), nullptr);
        EXPECT_EQ(lookOf(*read.find("a")).image, "ok/..x/y.tga");  // a name with dots is no climb
    }
}

// What is kept for N bytes of text stays within a small multiple of N, or
// is refused, whatever the shape: braces, nesting, tiny materials, long words.
TEST(MaterialDefinitions, WhatIsKeptIsBoundedWhateverTheShape) {
    auto read = [](const std::string& text, std::string* error) {
        auto definitions = std::make_unique<MaterialDefinitions>();
        definitions->readText(text, "f.mtr", error);
        return definitions;
    };
    std::string error;
    std::string braces(100000, '{');
    for (size_t i = 1; i < braces.size(); i += 2) braces[i] = '}';
    // Stages without an image are not kept; past the stage limit the material goes.
    auto kept = read("a { " + braces.substr(0, 100) + " }\nb { " + braces + " }\nc { diffusemap x }", &error);
    EXPECT_NE(kept->find("a"), nullptr);
    EXPECT_EQ(kept->find("b"), nullptr);
    EXPECT_NE(kept->find("c"), nullptr);
    EXPECT_EQ(error, "f.mtr:2: the material 'b' is left out: it has more than 64 stages");
    EXPECT_LT(kept->keptBytes(), 2000u);
    // Nesting a million deep: counted, not stacked.
    kept = read("a { { " + std::string(1000000, '{') + std::string(1000000, '}') + " } }", &error);
    EXPECT_EQ(error, "f.mtr:1: the material 'a' is left out: its body is longer than 256 KiB");
    kept = read("t { " + std::string(1000000, '{') + std::string(1000000, '}') + " }\nc { }", &error);
    EXPECT_NE(kept->find("c"), nullptr) << error;
    // Tiny materials: a few hundred bytes each, and no more than the limit.
    std::string tiny;
    for (size_t i = 0; i < MaterialDefinitions::kMaxMaterials + 10; ++i) tiny += std::to_string(i) + "{}";
    kept = read(tiny, &error);
    EXPECT_EQ(kept->all().size(), MaterialDefinitions::kMaxMaterials);
    EXPECT_NE(error.find("the material '65536' and the rest of the file are left out"), std::string::npos) << error;
    EXPECT_LT(kept->keptBytes(), MaterialDefinitions::kMaxMaterials * 256);
    // A long name is kept twice (itself and its key), nothing more.
    const std::string longName(1 << 20, 'n');
    kept = read(longName + " { qer_editorimage p }", &error);
    ASSERT_EQ(kept->all().size(), 1u);
    EXPECT_LT(kept->keptBytes(), 2 * longName.size() + 4096);

    // Files past the count or bytes of one load are not read.
    MaterialDefinitions many;
    for (size_t i = 0; i < MaterialDefinitions::kMaxFiles; ++i) ASSERT_TRUE(many.readText("", "f.mtr", &error));
    EXPECT_FALSE(many.readText("late { }", "late.mtr", &error));
    EXPECT_EQ(error, "late.mtr: not read: 4096 definition files were read already, the most for one map");
    MaterialDefinitions large;
    std::string body = "a { } /*" + std::string((64 << 20) - 10, ' ') + "*/";
    EXPECT_TRUE(large.readText(body, "1.mtr", &error));
    EXPECT_TRUE(large.readText(body, "2.mtr", &error));
    EXPECT_FALSE(large.readText("b { }", "3.mtr", &error));
    EXPECT_EQ(error.rfind("3.mtr: not read: its 5 bytes would take the definition files read past 128 MiB", 0), 0u) << error;
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
    EXPECT_EQ(found("textures/a"), "none");
}

std::vector<uint8_t> pngBytes(const test::MapFiles& files, uint8_t grey) {
    Image image;
    image.width = image.height = 4;
    image.rgba.assign(64, grey);
    std::string error;
    EXPECT_TRUE(writePng(files.path("scratch.png").c_str(), image, &error)) << error;
    std::ifstream in(files.path("scratch.png"), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Archives inside a root, known by content: the later name wins, a damaged
// archive is named and the rest used, members are read stored or deflated,
// and a member that does not inflate is named with its archive.
TEST(MaterialDefinitions, ArchivesInARootAreSearchedLaterNamesFirst) {
    test::MapFiles files;
    std::filesystem::create_directories(files.path("game/maps"));
    const std::string base = files.path("game/a_base.pk"), patch = files.path("game/b_patch.pk");
    const std::string text = "textures/z { diffusemap textures/z_d }\n";
    std::string error;
    ASSERT_TRUE(writeZipArchive(base, {{"materials/z.mtr", std::vector<uint8_t>(text.begin(), text.end())},
                                       {"textures/z_d.png", pngBytes(files, 10)},
                                       {"Textures/Only_Base.png", pngBytes(files, 20)}},
                                false, &error))
        << error;
    ASSERT_TRUE(writeZipArchive(patch, {{"textures/z_d.tga", pngBytes(files, 30)}}, true, &error)) << error;
    files.write("game/c_broken.zip", std::string("PK\3\4", 4) + "not an archive past its first bytes");

    const uint64_t directoriesBefore = ZipArchive::directoriesRead();
    MaterialLibrary library;
    library.load(files.path("game/maps"), {}, {});
    ASSERT_EQ(library.problems().size(), 1u);
    EXPECT_EQ(library.problems()[0].rfind(files.path("game/c_broken.zip") + ": not a readable zip archive", 0), 0u)
        << library.problems()[0];
    auto openFiles = [] { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); };
    const auto filesBefore = openFiles();
    for (int i = 0; i < 8; ++i) EXPECT_EQ(ZipArchive::open(files.path("game/c_broken.zip"), &error), nullptr);
    EXPECT_EQ(openFiles(), filesBefore);  // a refused archive keeps no file open
    const MaterialSource z = library.find("textures/z");
    ASSERT_NE(z.definition, nullptr);
    EXPECT_EQ(z.definition->file, base + ":materials/z.mtr");
    EXPECT_EQ(z.file.value_or("none"), patch + ":textures/z_d.tga");  // the patch, whatever the extension
    EXPECT_EQ(library.find("textures/only_base").file.value_or("none"), base + ":Textures/Only_Base.png");

    // What an image worker does with a member: its header, then the rest.
    for (const MaterialSource& source : {z, library.find("textures/only_base")}) {
        ImageFileHead head;
        TextureImage image;
        ASSERT_TRUE(MaterialLibrary::readHead(source, 8192, &head, &error)) << error;
        ASSERT_TRUE(loadImageBody(std::move(head), &image, &error)) << error;
        EXPECT_EQ(image.width, 4u);
        EXPECT_EQ(image.bytes[0], source.archive == patch ? 30 : 20);
    }
    // Each archive's directory was read once, for its members' lookups and
    // reads alike, and is kept by a reload while the archive is unchanged.
    library.load(files.path("game/maps"), {}, {});
    EXPECT_EQ(library.find("textures/z").zip, z.zip);
    EXPECT_EQ(ZipArchive::directoriesRead() - directoriesBefore, 2u);

    // The deflated member's stream broken in its middle: named, never decoded.
    std::ifstream in(patch, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (size_t i = 50; i < 62; ++i) bytes[i] = static_cast<char>(~bytes[i]);
    files.write("game/b_patch.pk", bytes);
    // Rewritten in place within one tick of the file system's clock, it would look unchanged.
    std::filesystem::last_write_time(patch, std::filesystem::last_write_time(patch) + std::chrono::seconds(1));
    auto read = [&](const MaterialSource& source) {
        ImageFileHead head;
        TextureImage image;
        return MaterialLibrary::readHead(source, 8192, &head, &error) && loadImageBody(std::move(head), &image, &error);
    };
    EXPECT_FALSE(read(z));  // never through the directory of the archive it was
    EXPECT_EQ(error, patch + ":textures/z_d.tga: the archive changed since its directory was read");
    library.load(files.path("game/maps"), {}, {});
    EXPECT_FALSE(read(library.find("textures/z")));
    EXPECT_EQ(error.rfind(patch + ":textures/z_d.tga: does not inflate", 0), 0u) << error;
}

// Flips the checksum every header of the archive gives its members.
void breakChecksums(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    for (size_t i = 0; i + 20 < bytes.size(); ++i) {
        if (bytes.compare(i, 4, std::string("PK\3\4", 4)) != 0 && bytes.compare(i, 4, std::string("PK\1\2", 4)) != 0)
            continue;
        const size_t crc = i + (bytes[i + 2] == 3 ? 14 : 16);
        for (size_t b = crc; b < crc + 4; ++b) bytes[b] = static_cast<char>(~bytes[b]);
    }
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Members that cannot be trusted are named ARCHIVE:member and not used: a
// wrong checksum (stored or deflated, an image or a definition file), a
// definition file over the size a loose one may have. A root's scan opens
// regular files only and reads none that could block; an archive is known by
// its name or, whatever its name, by its first bytes.
TEST(MaterialDefinitions, ArchiveMembersThatCannotBeTrustedAreRefused) {
    test::MapFiles files;
    std::filesystem::create_directories(files.path("game/maps"));
    const std::string text = "textures/y { diffusemap textures/y_d }\n";
    std::string error;
    for (const bool deflate : {false, true}) {
        const std::string archive = files.path(deflate ? "game/deflated.pk4" : "game/stored.pk4");
        ASSERT_TRUE(writeZipArchive(archive, {{"materials/y.mtr", std::vector<uint8_t>(text.begin(), text.end())},
                                              {"textures/y_d.png", pngBytes(files, 40)}},
                                    deflate, &error))
            << error;
        breakChecksums(archive);
    }
    std::vector<uint8_t> huge(MaterialDefinitions::kMaxFileBytes + 1, ' ');
    ASSERT_TRUE(writeZipArchive(files.path("game/huge.zip"), {{"materials/huge.mtr", huge}}, true, &error)) << error;
    huge = {};
    const std::string plain = "textures/x { diffusemap textures/x_d }\n";
    ASSERT_TRUE(writeZipArchive(files.path("game/assets.bin"),
                                {{"materials/x.mtr", std::vector<uint8_t>(plain.begin(), plain.end())}}, false, &error))
        << error;
    files.write("game/readme.txt", "PK is not enough: this is text");
    files.write("game/empty.zip", "");  // an archive's name, not an archive
    ASSERT_EQ(mkfifo(files.path("game/pipe.zip").c_str(), 0600), 0);  // opened blocking, it would never answer

    MaterialLibrary library;
    library.load(files.path("game/maps"), {}, {});
    const std::vector<std::string> expected = {
        files.path("game/stored.pk4") + ":materials/y.mtr: does not inflate (CRC error)",
        files.path("game/huge.zip") + ":materials/huge.mtr: " + std::to_string(MaterialDefinitions::kMaxFileBytes + 1) +
            " bytes, more than a definition file may have (64 MiB)",
        files.path("game/empty.zip") + ": not a readable zip archive (0 bytes)",
        files.path("game/deflated.pk4") + ":materials/y.mtr: does not inflate (CRC error)",
    };
    EXPECT_EQ(library.problems(), expected);
    EXPECT_EQ(library.find("textures/y").definition, nullptr);
    ASSERT_NE(library.find("textures/x").definition, nullptr);  // taken by its content
    for (const char* archive : {"game/stored.pk4", "game/deflated.pk4"}) {
        MaterialSource source;
        source.zip = ZipArchive::open(files.path(archive), &error);
        ASSERT_NE(source.zip, nullptr) << error;
        source.archive = source.zip->path();
        source.member = "textures/y_d.png";
        source.file = source.archive + ":" + source.member;
        ImageFileHead head;
        TextureImage image;
        EXPECT_FALSE(MaterialLibrary::readHead(source, 8192, &head, &error) &&
                     loadImageBody(std::move(head), &image, &error));
        EXPECT_EQ(error, *source.file + ": does not inflate (CRC error)");
    }
}

}  // namespace
}  // namespace q
