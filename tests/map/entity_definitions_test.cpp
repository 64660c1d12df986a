// Entity definition and skin files as real ones are written, which mesh an
// entity shows through its class's inherit chain, faults named by file and
// line, mesh and definition files found in the asset roots and archives, and
// the materials a mesh names.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "map/entity_definitions.h"
#include "map/material_definitions.h"
#include "map/material_library.h"
#include "map/model_lookup.h"
#include "map_test_files.h"
#include "platform/zip_archive.h"

namespace q {
namespace {

const char* kDefinitions = R"(/* props { with a brace } */
entityDef prop_base {
    "editor_usage" "a prop"   // comment
    "model" "models/props/Base.ase"
    "skin" "skins/base_dirty"
}
prop_crate { "inherit" "prop_base" }
entityDef prop_lamp
{
    "inherit" "prop_crate"
    "model" "models/props/lamp.LWO"
    "editor_var model" "unused"
}
model monster_imp {
    mesh models/md5/imp.md5mesh
    channel torso ( spine head )
    anim idle models/md5/imp_idle.md5anim { frame 1 sound snd_idle }
}
model monster_imp_red { inherit monster_imp }
entityDef monster_imp { "model" "monster_imp_red" }
export fred { options -prefix IMP_ { nested } }
articulatedFigure imp { body "x" { joint "y" } }
entityDef fx_smoke { "model" "smoke.PRT" }
PROP_CRATE { "model" "models/wrong.ase" }
)";

SourceEntity placed(const char* classname, const char* model = "", const char* skin = "") {
    SourceEntity entity;
    entity.classname = classname;
    entity.model = model;
    entity.skin = skin;
    return entity;
}

TEST(EntityDefinitions, ClassesWithOrWithoutTheKeywordAndDeclarationsKeptApart) {
    EntityDefinitions read;
    std::string error;
    ASSERT_TRUE(read.readText(kDefinitions, "d.def", &error)) << error;
    EXPECT_EQ(read.classCount(), 5u);  // the second prop_crate loses; export and the figure are passed over
    EXPECT_EQ(read.modelCount(), 2u);
    ASSERT_NE(read.findClass("Prop_Lamp"), nullptr);
    EXPECT_EQ(read.findClass("prop_lamp")->line, 8);
    EXPECT_EQ(read.findClass("prop_crate")->inherit, "prop_base");
    EXPECT_EQ(read.findClass("monster_imp")->model, "monster_imp_red");  // a class and a declaration of one name
    EXPECT_EQ(read.findModel("monster_imp")->mesh, "models/md5/imp.md5mesh");
    EXPECT_EQ(read.findClass("fred"), nullptr);

    const auto choice = [&](const SourceEntity& entity) { return modelOf(entity, read); };
    EXPECT_EQ(choice(placed("prop_crate")).path, "models/props/Base.ase");  // from its parent
    EXPECT_EQ(choice(placed("prop_crate")).kind, ModelKind::Mesh);
    EXPECT_EQ(choice(placed("prop_lamp")).path, "models/props/lamp.LWO");  // its own wins, case ignored
    EXPECT_EQ(choice(placed("prop_lamp", "models/own.ase")).path, "models/own.ase");  // the entity's key wins
    // A model key without a file is a brush model of the area-portal file,
    // even when its class names a mesh.
    EXPECT_EQ(choice(placed("prop_crate", "func_static_12")).kind, ModelKind::BrushModel);
    EXPECT_EQ(choice(placed("func_static")).kind, ModelKind::None);
    EXPECT_EQ(choice(placed("worldspawn", "models/x.obj")).otherKind, "obj");

    ModelTally tally;
    for (const char* classname : {"monster_imp", "fx_smoke", "monster_imp", "prop_crate"})
        tally.add(choice(placed(classname)));
    tally.add(choice(placed("x", "monster_imp")));  // a key naming a declaration: its mesh
    EXPECT_EQ(tally.meshesPlaced, 1);
    EXPECT_EQ(tally.otherKindsText(), "3 md5mesh, 1 prt");
}

TEST(EntityDefinitions, SkinsApplyFromTheEntityOrItsClass) {
    EntityDefinitions read;
    std::string error;
    ASSERT_TRUE(read.readText(kDefinitions, "d.def", &error)) << error;
    ASSERT_TRUE(read.readText(R"(skin skins/base_dirty {
    model models/props/base.ase
    textures/props/Base    textures/props/base_dirty
    textures/props/base    textures/props/base_dirtier
}
skin skins/all_red { * textures/red }
skin skins/half { textures/a textures/b  * textures/c }
)",
                              "s.skin", &error))
        << error;
    const EntityModelChoice inherited = modelOf(placed("prop_crate"), read);
    ASSERT_NE(inherited.skin, nullptr);
    EXPECT_EQ(inherited.skin->replaced("TEXTURES\\props\\base"), "textures/props/base_dirtier");  // the later pair
    EXPECT_EQ(inherited.skin->replaced("textures/props/other"), "textures/props/other");
    const EntityModelChoice own = modelOf(placed("prop_crate", "", "Skins/All_Red"), read);
    ASSERT_NE(own.skin, nullptr);
    EXPECT_EQ(own.skin->replaced("textures/anything"), "textures/red");
    EXPECT_EQ(read.findSkin("skins/half")->replaced("textures/a"), "textures/b");
    EXPECT_EQ(read.findSkin("skins/half")->replaced("textures/z"), "textures/c");
    const EntityModelChoice missing = modelOf(placed("prop_crate", "", "skins/none"), read);
    EXPECT_EQ(missing.skin, nullptr);
    EXPECT_EQ(missing.problem, "the skin 'skins/none' is not defined");
}

TEST(EntityDefinitions, InheritChainsEndAtLoopsAndTheDepthBound) {
    std::string text = "a { \"inherit\" \"b\" }\nb { \"inherit\" \"A\" }\nlost { \"inherit\" \"nowhere\" }\n";
    for (int i = 0; i < 40; ++i)
        text += "deep" + std::to_string(i) + " { \"inherit\" \"deep" + std::to_string(i + 1) + "\" }\n";
    text += "deep40 { \"model\" \"models/deep.ase\" }\n";
    text += "deep33 { }\n";  // a second definition: the first stays
    EntityDefinitions read;
    std::string error;
    ASSERT_TRUE(read.readText(text, "loop.def", &error)) << error;
    const EntityModelChoice looped = modelOf(placed("a"), read);
    EXPECT_EQ(looped.kind, ModelKind::None);
    EXPECT_EQ(looped.problem, "the entity class 'a' inherits in a loop through 'A' (loop.def:1)");
    EXPECT_EQ(read.classValue("lost", "model").problem, "the entity class 'nowhere' is not defined");
    EXPECT_EQ(read.classValue("deep10", "model").value, "models/deep.ase");  // 30 links
    EXPECT_EQ(read.classValue("deep0", "model").value, "");
    EXPECT_EQ(read.classValue("deep0", "model").problem, "the entity class 'deep0' inherits more than 32 deep");
}

TEST(EntityDefinitions, FaultsAreNamedByFileAndLineAndWhatCameBeforeIsKept) {
    const auto fault = [](const std::string& text) {
        EntityDefinitions read;
        std::string error;
        EXPECT_FALSE(read.readText(text, "f.def", &error));
        EXPECT_NE(read.findClass("kept"), nullptr) << error;
        return error;
    };
    const std::string kept = "kept { \"model\" \"m.ase\" }\n";
    EXPECT_EQ(fault(kept + "open {\n \"a\" \"b\"\n"),
              "f.def:2: expected a '}' to close the '{' opened here, found the end of the file");
    EXPECT_EQ(fault(kept + "cut { \"model\" \"m.ase }\n"), "f.def:2: expected a closing '\"' on the same line");
    EXPECT_EQ(fault(kept + "odd {\n \"model\" }\n"), "f.def:3: expected a value after 'model'");
    EXPECT_EQ(fault(kept + "a b c { }\n"), "f.def:2: expected '{' after 'a b'");
    EXPECT_EQ(fault(kept + "entityDef {\n"), "f.def:2: expected a name after 'entityDef'");
    EXPECT_EQ(fault(kept + "}\n"), "f.def:2: expected the name of an entry, found '}'");
    EXPECT_EQ(fault(kept + "/* never closed\n"), "f.def:2: expected '*/' to close the comment opened here");
    EXPECT_EQ(fault(kept + "bin { \"a\x01\" \"b\" }\n"), "f.def:2: expected text, found the byte 0x01");
    // A value past the bound is refused, the rest of the file read.
    const std::string refused = fault(kept + "long {\n \"model\" \"" + std::string(2000, 'x') + "\" }\nafter { }\n");
    EXPECT_EQ(refused, "f.def:3: the value of 'model' is 2000 bytes long, at most 1024 are read");
}

TEST(EntityDefinitions, DefinitionAndMeshFilesAreFoundInRootsAndArchivesCaseIgnored) {
    test::MapFiles files;
    namespace fs = std::filesystem;
    for (const char* dir : {"game/maps", "game/Def", "game/models/Props", "base/skins"}) fs::create_directories(files.path(dir));
    files.write("game/Def/a.DEF", "crate { \"model\" \"models/props/crate.ase\" \"skin\" \"s\" }\n");
    files.write("game/Def/b.def", "broken {\n");
    files.write("game/models/Props/CRATE.ase", "*3DSMAX_ASCIIEXPORT");
    files.write("base/skins/s.skin", "skin s { a b }\n");
    const std::string text = "crate { \"model\" \"wrong\" }\nlamp { \"model\" \"models/lamp.lwo\" }\n";
    std::string error;
    ASSERT_TRUE(writeZipArchive(files.path("base/pak0.zip"),
                                {{"def/z.def", std::vector<uint8_t>(text.begin(), text.end())},
                                 {"def/sub/ignored.def", {'{'}},
                                 {"Models/LAMP.lwo", {'F', 'O', 'R', 'M'}}},
                                true, &error))
        << error;

    MaterialLibrary library;
    library.load(files.path("game/maps"), {}, {files.path("base")});
    EntityDefinitions definitions;
    std::vector<std::string> problems;
    loadEntityDefinitions(library, &definitions, &problems);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0], files.path("game/Def/b.def") + ":1: expected a '}' to close the '{' opened here, found the end of the file");
    EXPECT_EQ(definitions.classValue("crate", "model").value, "models/props/crate.ase");  // the map's root first
    ASSERT_NE(definitions.findSkin("S"), nullptr);

    const std::optional<AssetFile> crate = library.findInRoots("Models\\props\\crate.ASE");
    ASSERT_TRUE(crate.has_value());
    EXPECT_EQ(crate->file, files.path("game/models/Props/CRATE.ase"));
    const std::optional<AssetFile> lamp = library.findInRoots(definitions.classValue("lamp", "model").value);
    ASSERT_TRUE(lamp.has_value());
    EXPECT_EQ(lamp->file, files.path("base/pak0.zip") + ":Models/LAMP.lwo");
    EXPECT_EQ(lamp->member, "Models/LAMP.lwo");
    EXPECT_FALSE(library.findInRoots("models/none.ase").has_value());
    EXPECT_FALSE(library.findInRoots("../game/models/Props/CRATE.ase").has_value());
}

TEST(EntityDefinitions, BitmapPathsBecomeMaterialNamesAndCollisionMaterialsAreNotDrawn) {
    EXPECT_EQ(materialNameOfBitmap("//base/textures/props/crate.tga"), "textures/props/crate");
    EXPECT_EQ(materialNameOfBitmap("\\\\Base\\textures\\props\\crate.TGA"), "textures/props/crate");
    EXPECT_EQ(materialNameOfBitmap("C:\\Game\\base\\Models\\props\\crate_d.jpg"), "Models/props/crate_d");
    EXPECT_EQ(materialNameOfBitmap("/home/artist/game/textures/a.b/c.png"), "textures/a.b/c");
    EXPECT_EQ(materialNameOfBitmap("textures/plain"), "textures/plain");
    EXPECT_EQ(materialNameOfBitmap("D:\\art\\crate.tga"), "");  // no top folder: nothing of the roots
    EXPECT_EQ(materialNameOfBitmap("//base/../../etc/passwd"), "");

    MaterialDefinitions definitions;
    std::string error;
    ASSERT_TRUE(definitions.readText("textures/common/clip_drawn { { blend diffusemap map textures/x } }\n"
                                     "textures/common/nodraw { qer_editorimage textures/common/nodraw_ed bumpmap b }\n",
                                     "m.mtr", &error))
        << error;
    const auto hidden = [&](const char* name) { return materialOnlyForCollisionOrEditing(name, definitions.find(name)); };
    for (const char* name : {"textures/common/collision", "textures/common/NODRAW", "textures/common/player_clip",
                             "textures/common/monsterclip", "textures/common/caulk", "textures/common/trigger_once"})
        EXPECT_TRUE(hidden(name)) << name;
    for (const char* name : {"textures/common/clip_drawn", "textures/props/crate", "textures/triggered", "textures/clipper"})
        EXPECT_FALSE(hidden(name)) << name;
}

}  // namespace
}  // namespace q
