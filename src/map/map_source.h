#pragma once
// The map source: the text file a map's compiler read, shipped beside the
// area-portal file as BASE.map. The viewer takes from it only what the compiled
// files lack: where each entity stands (its origin and turn), its class, the
// entity model it places, and so the player start. Its primitive blocks
// (brushes, patches) are passed over by their braces, unread.

#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "math/matrix.h"
#include "math/vector.h"

namespace q {

class PatternReader;

struct SourceEntity {
    std::string classname;
    std::string name;
    std::string model;
    std::string bind;  // the name of the entity it moves with; empty: none
    std::string skin;  // the skin its mesh is drawn with; empty: its class's, if any
    int line = 0;  // of its opening brace
    // Map space (y up), converted from the file's z-up axes as every position
    // of the map is. Without an origin key the entity stands at 0 0 0.
    Vector3 origin;
    // Entity space to map space: the turn (from "rotation", or "angle" about
    // the vertical), then the origin.
    Matrix placement = Matrix::identity();
    float angleDegrees = 0.0f;  // as given by "angle"; 0 without it
    // False when its origin, rotation or angle did not read: it places nothing.
    bool usable = true;
    // Its other keys, as written and in the file's order (a light's radius,
    // colour and flags are read from them: map/light_entities.h).
    std::vector<std::pair<std::string, std::string>> otherKeys;

    // The value of one of otherKeys (the first given); null when absent.
    const std::string* key(std::string_view name) const;
};

struct MapSource {
    std::string fileName;
    std::vector<SourceEntity> entities;
    // One line each for the entities that did not read ("file:line: ...").
    std::vector<std::string> entityProblems;

    // The usable entity whose model key names `model` (the first, if several do);
    // null when none does.
    const SourceEntity* entityPlacing(std::string_view model) const;
    // The first usable entity of class info_player_start, or null.
    const SourceEntity* playerStart() const;
    // The first entity named `name` (usable or not: its class still says what
    // it is), or null.
    const SourceEntity* entityNamed(std::string_view name) const;
    // Whether the entity moves with something that moves: it is bound, directly
    // or through statics bound in turn, to an entity that is neither static
    // geometry nor the world (a door, a mover). A bind naming no entity moves
    // nothing; the chain is followed kLongestBindChain links at most, so a
    // loop of binds ends, as bound to nothing that moves.
    bool boundToMover(const SourceEntity& entity) const;

    // Reads the whole text; false with "<file>:<line>: expected <what>"
    // recorded in the reader when it does not read as a map source (what was
    // read is then to be dropped).
    bool readText(PatternReader& file);

private:
    std::unordered_map<std::string, size_t> byModel_;
    std::unordered_map<std::string, size_t> byName_;
};

constexpr int kLongestBindChain = 64;

// A key's value of exactly `count` numbers separated by white space, each
// finite and within 1e7 (no place in any map lies farther); nothing else.
bool readSourceNumbers(std::string_view text, float* out, int count);

// BASE.map beside BASE.proc. Returns false, saying nothing, when there is no
// such file; when it exists but does not read, warns once (file, line, what
// was expected) and returns false; otherwise true, with one warning line for
// any entities that did not read.
bool readMapSourceBeside(const std::string& baseName, MapSource* out);

}  // namespace q
