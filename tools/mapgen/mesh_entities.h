#pragma once
// The entities of a generated map (mapgen --entities) that show mesh models
// rather than brush models, and the entity definition and skin files they
// take their models from: a crate and a lamp named by their own `model` keys
// (.ase, and .lwo spelled in capitals), a barrel of a class whose parent's
// definition names its model and whose skin replaces its trim, and a
// character whose class names a model declaration (an animated mesh: not
// drawn, counted). writeMeshEntityFiles writes the crate's, the lamp's and
// the barrel's files (mapgen's test box in each format).

#include <filesystem>
#include <string>

namespace q::mapgen {

// The entities, as map source text to follow the others (numbered from first).
std::string meshEntitiesText(int first);
// def/mapgen.def and skins/mapgen.skin.
std::string meshEntityDefinitionsText();
std::string meshEntitySkinsText();
// Into the asset root: models/mapgen/crate.ase and barrel.lwo as files, the
// lamp's models/mapgen/lamp.lwo in the archive mapgen_models.zip (found
// letter case ignored as the entity writes it, Lamp.LWO). False with a message.
bool writeMeshEntityFiles(const std::filesystem::path& root, std::string* error);

}  // namespace q::mapgen
