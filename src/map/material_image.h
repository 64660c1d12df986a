#pragma once
// Which image file a material uses. Map files name materials without an
// extension, and are often written where file names ignore letter case; the
// images may sit beside the map or in texture folders of their own.

#include <optional>
#include <string>
#include <vector>

namespace q {

// The extensions tried, in this order, after the material name.
inline constexpr const char* kMaterialImageExtensions[] = {".jpg", ".png", ".tga", ".dds"};

// The image for a material: in mapDir and then in each of textureDirs in the
// order given, each directory tried with every extension in turn. Where the exact path does not
// exist, each part of the name below the searched directory is matched
// without regard to case (directory listings are kept between calls and read
// again only when a directory changes). An absolute material name is looked
// for as it stands. Empty when no file is found.
std::optional<std::string> findMaterialImage(const std::string& materialName, const std::string& mapDir,
                                             const std::vector<std::string>& textureDirs);

// An image path named by a material definition (with or without an
// extension), looked for in each folder in turn: as given, then with each of
// kMaterialImageExtensions in place of its own, then as the compressed copy
// dds/PATH.dds. Letter case as findMaterialImage. Empty when no file is found.
std::optional<std::string> findImageInFolders(const std::string& imagePath, const std::vector<std::string>& folders);
// folder/relative as it stands, or else with each part matched without
// regard to case, as findMaterialImage does; empty when there is no such file.
std::optional<std::string> findFileInFolder(const std::string& relative, const std::string& folder);
// The paths findImageInFolders tries in each folder, in order.
std::vector<std::string> imageCandidates(const std::string& imagePath);

// The asset root a map's directory belongs to: the parent of a folder named
// `maps` (any letter case), where a map's materials and textures sit beside
// it; empty when the map is not in such a folder.
std::string assetRootOfMapDir(const std::string& mapDir);

}  // namespace q
