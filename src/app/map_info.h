#pragma once
// --info: what a map holds, read without a window or a graphics device, as
// readable text or as one JSON object for scripts.

#include <cstdio>
#include <string>
#include <vector>

#include "image/image.h"

namespace q {

struct MapData;

// Reads a map to look at, not to draw (no device): <mapBase>.proc, <mapBase>.cm, and with useMapSource the map
// source beside them placing the entity models (its file in *sourceFile, if
// given; empty when none was read). False with the load error.
bool readMapToLookAt(const std::string& mapBase, bool useMapSource, MapData* map, std::string* sourceFile,
                     std::string* error);

// Reads <mapBase>.proc and <mapBase>.cm from the working directory, and
// <mapBase>.map beside them unless useMapSource is false, and prints their
// summary to out. eyeHeight is how far above a floor the camera's eye stands.
// Materials are looked up as a load does (MaterialLibrary): with assetDirs
// after the map's own asset root. An image found for a material is named with
// what keeps a load from using it, in a load's words: unreadable, no image,
// over imageLimits, cut short or damaged (every image found is decoded).
// Returns the exit code: 0, or 1 with the load error in *error.
int printMapInfo(const std::string& mapBase, const std::vector<std::string>& textureDirs,
                 const std::vector<std::string>& assetDirs, bool json, float eyeHeight,
                 ImageLimits imageLimits, std::FILE* out, std::string* error, bool useMapSource = true);

// text as a JSON string, quotes included: quotes, backslashes and control
// characters escaped, bytes that are not UTF-8 written as \u00XX.
std::string jsonString(const std::string& text);

}  // namespace q
