#pragma once
// Reading the map again while the viewer runs (after each compile, or F5):
// the new map takes the old one's place only once it has read whole.

#include <memory>
#include <string>
#include <vector>

namespace q {

class Scene;

// Reads mapBase into a scene of its own with the old scene's settings and
// places instanceCount copies. On success the new scene takes the old one's
// place: the camera (position, look, free flight) and the terrain move over,
// and the old map's device objects go with the old scene. On failure the old
// scene is left as it was and error says what did not read.
bool reloadScene(std::unique_ptr<Scene>& scene, const std::string& mapBase, int instanceCount, std::string* error);

// The files whose change reads the map again: the map's own (MAP.proc,
// MAP.cm, the map source MAP.map, there yet or not) and, once a scene has
// read them, the material definition files and archives of the asset roots,
// the entity definition and skin files and the mesh files the map uses.
std::vector<std::string> watchedFiles(const Scene* scene, const std::string& mapBase);

}  // namespace q
