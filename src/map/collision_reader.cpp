// The collision file: "nodes" blocks hold axis-aligned split trees in
// pre-order, "brushes" blocks the convex brushes, each linked into the tree
// read last before it. Everything else in the file is passed over a word at a
// time.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "map/collision_reader.h"
#include "map/map_data.h"
#include "map/name_text.h"
#include "map/pattern_reader.h"

namespace q {

namespace {

constexpr Pattern kKeyword{" %s "};
// What follows each keyword when it opens its block: a tree starts with its
// first node; a collision model named "func_nodes_2" is followed by a { too.
constexpr Pattern kNodesOpening{" { ("};
constexpr Pattern kBrushesOpening{" /* brushMemory = */"};
constexpr Pattern kNodesStart{" { "};
constexpr Pattern kNode{" ( %d %f ) "};
constexpr Pattern kNodesEnd{" } "};
constexpr Pattern kBrushesHeader{" /* brushMemory = */ %d { "};
constexpr Pattern kBrushStart{" %s "};
constexpr Pattern kSidesStart{" { "};
constexpr Pattern kSide{" ( %f %f %f ) %f "};
constexpr Pattern kSidesEnd{" } "};
constexpr Pattern kBrushBounds{" ( %f %f %f ) ( %f %f %f ) %s "};

// The side count token as a decimal: optional sign and leading digits, 0 when
// there are none. Clamped instead of overflowing.
int sideCountOf(const char* token) {
    const char* p = token;
    bool negative = false;
    if (*p == '-' || *p == '+') negative = *p++ == '-';
    int64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p)
        if (value <= INT32_MAX) value = value * 10 + (*p - '0');
    if (value > INT32_MAX) value = INT32_MAX;
    return static_cast<int>(negative ? -value : value);
}

// Leaf entries all brushes of one file may make together: 16 MB of indices,
// far more than real maps need (a few per brush).
constexpr size_t kMaxBrushListings = size_t{1} << 22;

// Calls visit(leafIndex) for every leaf below nodeIndex that bounds b reach by
// the linking rule (front only at lo = d, back only at hi = d, both when
// straddling), front before back, until visit returns false. Children always
// have smaller indices than their parent (the reader stores them first), so the
// walk ends; the pending list stands in for recursion into straddled splits,
// on the stack while it is short (every brush of a map is walked).
template <typename Visit>
void forEachLeafReached(const std::vector<CollisionNode>& nodes, const Bounds& b, int nodeIndex,
                        Visit visit) {
    constexpr size_t kShort = 64;
    int shortList[kShort];
    size_t shortCount = 0;
    std::vector<int> longList;  // what comes after the first kShort, newest last
    auto push = [&](int index) {
        if (shortCount < kShort && longList.empty()) {
            shortList[shortCount++] = index;
        } else {
            longList.push_back(index);
        }
    };
    push(nodeIndex);
    while (shortCount > 0 || !longList.empty()) {
        int index;
        if (!longList.empty()) {
            index = longList.back();
            longList.pop_back();
        } else {
            index = shortList[--shortCount];
        }
        for (;;) {
            const CollisionNode& node = nodes[static_cast<size_t>(index)];
            if (node.axis < 0) {
                if (!visit(index)) return;
                break;
            }
            const float lo = b.mins[node.axis];
            const float hi = b.maxs[node.axis];
            if (lo >= node.distance) {
                index = node.frontChild;
            } else if (hi <= node.distance) {
                index = node.backChild;
            } else {
                push(node.backChild);
                index = node.frontChild;
            }
        }
    }
}

// Adds brushIndex to the leaves below nodeIndex that its bounds reach,
// stopping once more than limit are reached; returns the leaves listed
// (limit + 1 when it stopped).
size_t linkBrushWithin(MapData& map, int brushIndex, int nodeIndex, size_t limit) {
    size_t reached = 0;
    forEachLeafReached(map.collisionNodes, map.brushes[static_cast<size_t>(brushIndex)].bounds, nodeIndex,
                       [&](int leaf) {
                           if (++reached > limit) return false;
                           // Leaves mostly list a few brushes: room for four from
                           // the first saves growing one at a time.
                           std::vector<int>& listed = map.collisionNodes[static_cast<size_t>(leaf)].brushIndices;
                           if (listed.empty()) listed.reserve(4);
                           listed.push_back(brushIndex);
                           return true;
                       });
    return reached;
}

// One reading of one file into one map.
class CollisionReader {
public:
    CollisionReader(PatternReader& file, MapData& map) : file_(file), map_(map) {}

    bool read();

private:
    // One node with its whole subtree (pre-order in the file, stored children
    // first); returns the node's index, -1 with the reader's error recorded.
    int readNode();
    // One brush with sideCount sides: adds it to the map's brushes and links it
    // into the tree read last. False with the reader's error recorded.
    bool readBrush(int sideCount);

    PatternReader& file_;
    MapData& map_;
    // Entries in all leaves' brushIndices so far. Bounded while reading: a
    // fine split tree under brushes that span it would otherwise list every
    // brush in every leaf (gigabytes from a file of a megabyte).
    size_t brushListings_ = 0;
};

int CollisionReader::readNode() {
    // The file lists the tree in pre-order; a node is stored once both its
    // subtrees are, so children come before parents. An explicit stack instead
    // of recursion: a deep tree in a hostile file cannot exhaust the call stack.
    struct Open {
        int axis;
        float distance;
        int frontChild;  // -1 while the front subtree is being read
    };
    std::vector<Open> open;
    for (;;) {
        int axis = 0;
        float distance = 0.0f;
        const size_t at = file_.position();
        if (!file_.expect<kNode>("a collision node ( axis distance )", &axis, &distance)) return -1;
        if (axis > 2) {
            file_.failAt(at, "an axis of 0, 1, 2 or a negative leaf mark, found " + std::to_string(axis));
            return -1;
        }
        if (axis == 1) {
            axis = 2;
        } else if (axis == 2) {
            axis = 1;
        }
        if (axis >= 0) {
            open.push_back({axis, distance, -1});
            continue;  // its front subtree follows
        }

        CollisionNode leaf;
        leaf.axis = axis;
        leaf.distance = distance;
        map_.collisionNodes.push_back(std::move(leaf));
        int finished = static_cast<int>(map_.collisionNodes.size()) - 1;

        // Hand the finished subtree to the open split above it; a split whose
        // back subtree is finished is itself finished.
        for (;;) {
            if (open.empty()) return finished;
            Open& parent = open.back();
            if (parent.frontChild < 0) {
                parent.frontChild = finished;
                break;  // its back subtree follows
            }
            CollisionNode split;
            split.axis = parent.axis;
            split.distance = parent.distance;
            split.frontChild = parent.frontChild;
            split.backChild = finished;
            open.pop_back();
            map_.collisionNodes.push_back(std::move(split));
            finished = static_cast<int>(map_.collisionNodes.size()) - 1;
        }
    }
}

bool CollisionReader::readBrush(int sideCount) {
    Brush brush;
    size_t at = file_.position();
    if (map_.collisionNodes.empty())
        return file_.failAt(at, "a nodes block before the first brush (brushes are linked into it)");
    if (!file_.expect<kSidesStart>("the { before a brush's sides")) return false;
    if (sideCount > 0) {
        if (!file_.fits(sideCount, kSide))
            return file_.failAt(at, "a side count that fits the rest of the file, found " +
                                        std::to_string(sideCount));
        brush.planes.reserve(static_cast<size_t>(sideCount));
    }
    for (int i = 0; i < sideCount; ++i) {
        float a = 0, b = 0, c = 0, distance = 0;
        if (!file_.expect<kSide>("a brush side ( a b c ) distance", &a, &b, &c, &distance)) return false;
        brush.planes.push_back({a, c, b, distance});
    }
    if (!file_.expect<kSidesEnd>("the } after a brush's sides")) return false;

    float minX = 0, minY = 0, minZ = 0, maxX = 0, maxY = 0, maxZ = 0;
    char word[64];  // not used; a longer one is cut, which harms nothing
    if (!file_.expect<kBrushBounds>("brush bounds ( x y z ) ( x y z ) and a word", &minX, &minY, &minZ,
                     &maxX, &maxY, &maxZ, word))
        return false;
    brush.bounds.mins = {minX, minZ, minY};
    brush.bounds.maxs = {maxX, maxZ, maxY};
    const int root = static_cast<int>(map_.collisionNodes.size()) - 1;
    const size_t budget = kMaxBrushListings - brushListings_;
    map_.brushes.push_back(std::move(brush));
    // Linked as it is counted: a brush past the budget fails the whole file, so
    // the listings it made before stopping are never used.
    const size_t reached = linkBrushWithin(map_, static_cast<int>(map_.brushes.size()) - 1, root, budget);
    if (reached > budget)
        return file_.failAt(at, "brushes that reach at most " + std::to_string(kMaxBrushListings) +
                                    " leaves of the split tree in all, found brush " +
                                    std::to_string(map_.brushes.size() - 1) + " going past that");
    brushListings_ += reached;
    return true;
}

bool CollisionReader::read() {
    const size_t binaryAt = file_.firstBinaryByte();
    if (binaryAt != std::string_view::npos) {
        file_.failAt(binaryAt, "a text file, found a control byte");
        return false;
    }
    if (file_.size() == 0) {
        file_.fail("a collision file, found an empty file");
        return false;
    }

    bool sawNodes = false;
    // The name of the collision model being read, and the entry its brushes
    // grow (none while the world's are read).
    char modelName[128] = {};
    NamedCollisionModel* named = nullptr;
    char token[128];
    for (;;) {
        if (!file_.match<kKeyword>(token)) break;
        if (std::strcmp(token, "collisionModel") == 0) {
            // Its name follows; entity models are found by it.
            if (!file_.match<kKeyword>(modelName)) break;
            trimBlanks(modelName);
            stripQuotes(modelName);
        } else if (file_.opensBlock<kNodesOpening>(token, "nodes")) {
            if (!file_.expect<kNodesStart>("the { of a nodes block")) return false;
            const int root = readNode();
            if (root < 0) return false;
            // Traces start from the first tree read: the world's. Trees of
            // entity models that follow must not replace it.
            if (!sawNodes) {
                map_.collisionRoot = root;
            } else {
                map_.namedCollisionModels.push_back({modelName, root, Bounds::empty()});
                named = &map_.namedCollisionModels.back();
            }
            sawNodes = true;
            ++map_.collisionModels;
            if (!file_.expect<kNodesEnd>("the closing } of a nodes block")) return false;
        } else if (file_.opensBlock<kBrushesOpening>(token, "brushes")) {
            int brushMemory = 0;
            if (!file_.expect<kBrushesHeader>("\"/* brushMemory = */ N {\" after brushes", &brushMemory))
                return false;
            for (;;) {
                char start[64];
                const size_t at = file_.position();
                if (!file_.expect<kBrushStart>("a side count or the } that ends the brushes", start))
                    return false;
                if (std::strchr(start, '}')) break;
                if (file_.wordWasCut()) {
                    file_.failAt(at, "a side count, found a word of more than 63 characters");
                    return false;
                }
                if (!readBrush(sideCountOf(start))) return false;
                // An entity model's brushes are in its own space: they grow
                // the map's bounds once the entity places the model.
                (named ? named->bounds : map_.bounds).grow(map_.brushes.back().bounds);
            }
        }
        if (file_.atEnd()) break;
    }
    if (!sawNodes) {
        file_.fail("a nodes block");
        return false;
    }
    return true;
}

}  // namespace

bool readCollisionText(PatternReader& file, MapData* map) { return CollisionReader(file, *map).read(); }

bool readCollisionFile(const char* fileName, MapData* map, std::string* error) {
    PatternReader file;
    if (!file.open(fileName, error)) return false;
    return file.outcome(readCollisionText(file, map), error);
}

void linkBrush(MapData* map, int brushIndex, int nodeIndex) {
    linkBrushWithin(*map, brushIndex, nodeIndex, SIZE_MAX - 1);
}

}  // namespace q
