#pragma once
// The collision file read into a map: its split trees (collisionNodes, stored
// children before parents; collisionRoot the world's), the brushes linked into
// the leaves their bounds reach, the world's bounds, and the entity models'
// trees by name (namedCollisionModels). The reader keeps its own state; the
// map holds only what the file says.

#include <string>

namespace q {

class PatternReader;
struct MapData;

// Reads the collision file into map. On a file that cannot be read or does
// not fit the format returns false with "<file>:<line>: expected <what>" in
// *error; what was read so far stays in the map (the caller drops it).
bool readCollisionFile(const char* fileName, MapData* map, std::string* error);

// The reading itself, over a file opened; false with the reader's error
// recorded.
bool readCollisionText(PatternReader& file, MapData* map);

// Adds brushIndex to every leaf below nodeIndex that the brush's bounds reach:
// front only when it lies at or above the split, back only when at or below,
// both when it straddles. For trees built by hand; the reader links what it
// reads.
void linkBrush(MapData* map, int brushIndex, int nodeIndex);

}  // namespace q
