#include "mapgen/mesh_entities.h"

#include "mapgen/mesh_files.h"
#include "mapgen/surfaces.h"
#include "platform/zip_archive.h"

namespace q::mapgen {

namespace {

struct MeshEntity {
    const char* classname;
    const char* name;
    const char* model;  // empty: the class's
    const char* origin;
    const char* angle;  // empty: none
};

// In the start room, clear of the step, the turned statics and the player start.
constexpr MeshEntity kMeshEntities[] = {
    {"func_static", "mesh_crate_1", "models/mapgen/crate.ase", "40 30 0", ""},
    {"func_static", "mesh_lamp_1", "models/mapgen/Lamp.LWO", "-40 40 0", "45"},
    {"mapgen_barrel", "mesh_barrel_1", "", "90 60 0", ""},
    {"mapgen_character", "character_1", "", "-60 -30 0", "180"},
};

}  // namespace

std::string meshEntitiesText(int first) {
    std::string out;
    for (const MeshEntity& e : kMeshEntities) {
        out += "// entity " + std::to_string(first++) + "\n{\n";
        out += "\"classname\" \"" + std::string(e.classname) + "\"\n\"name\" \"" + e.name + "\"\n";
        if (*e.model) out += "\"model\" \"" + std::string(e.model) + "\"\n";
        out += "\"origin\" \"" + std::string(e.origin) + "\"\n";
        if (*e.angle) out += "\"angle\" \"" + std::string(e.angle) + "\"\n";
        out += "}\n";
    }
    return out;
}

std::string meshEntityDefinitionsText() {
    return "// The generated map's entity classes.\n"
           "entityDef mapgen_prop {\n"
           "\t\"editor_usage\" \"A prop of the generated map.\"\n"
           "\t\"model\" \"models/mapgen/barrel.lwo\"\n"
           "}\n\n"
           "// Written without the word entityDef, as many files do.\n"
           "mapgen_barrel {\n"
           "\t\"inherit\" \"mapgen_prop\"\n"
           "\t\"skin\" \"skins/mapgen/barrel_rusty\"\n"
           "}\n\n"
           "model mapgen_character {\n"
           "\tmesh models/md5/mapgen/character.md5mesh\n"
           "\tanim idle models/md5/mapgen/character_idle.md5anim {\n"
           "\t\tframe 1 sound_voice snd_idle\n"
           "\t}\n"
           "}\n\n"
           "entityDef mapgen_character {\n"
           "\t\"model\" \"mapgen_character\"\n"
           "}\n";
}

std::string meshEntitySkinsText() {
    return "skin skins/mapgen/barrel_rusty {\n"
           "\tmodel models/mapgen/barrel.lwo\n"
           "\t" + std::string(materialName(kTrim)) + " " + materialName(kWall) + "\n"
           "\tmapgen/crate_side " + materialName(kTrim) + "\n"
           "}\n";
}

bool writeMeshEntityFiles(const std::filesystem::path& root, std::string* errorOut) {
    std::string ignored;
    std::string* error = errorOut ? errorOut : &ignored;
    const std::filesystem::path folder = root / "models" / "mapgen";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        *error = folder.string() + ": cannot be created (" + ec.message() + ")";
        return false;
    }
    if (!writeTestModel("ase", (folder / "crate.ase").string(), error) ||
        !writeTestModel("lwo", (folder / "barrel.lwo").string(), error))
        return false;
    const std::string lamp = lwoTestModel();
    return writeZipArchive((root / "mapgen_models.zip").string(),
                           {{"models/mapgen/lamp.lwo", std::vector<uint8_t>(lamp.begin(), lamp.end())}}, true, error);
}

}  // namespace q::mapgen
