#include "mapgen/area_bsp.h"

#include <algorithm>

namespace q::mapgen {

namespace {

struct Region {
    int lo[3];
    int hi[3];
};

int leafChild(int label) { return label == kSolid ? 0 : -1 - label; }

class BspBuilder {
public:
    explicit BspBuilder(const Volume& v) : v_(v) {}

    std::vector<AreaNode> build() {
        Region all{{0, 0, 0}, {v_.cells[0], v_.cells[1], v_.cells[2]}};
        const int root = split(all);
        if (root <= 0 && nodes_.empty()) {
            // Nothing to sort: one plane with the same leaf on both sides.
            nodes_.push_back(AreaNode{0, 0, root, root});
        }
        return std::move(nodes_);
    }

private:
    // Returns the child number for the region: a leaf value or a node index.
    int split(const Region& r) {
        int bestAxis = -1, bestAt = 0;
        double bestScore = -1.0;
        for (int axis = 0; axis < 3; ++axis) {
            const int count = r.hi[axis] - r.lo[axis];
            if (count < 2) continue;
            countChanges(r, axis);
            const int u = (axis + 1) % 3, w = (axis + 2) % 3;
            const double cross = double(r.hi[u] - r.lo[u]) * double(r.hi[w] - r.lo[w]);
            for (int p = r.lo[axis] + 1; p < r.hi[axis]; ++p) {
                const long changes = changes_[p - r.lo[axis]];
                if (changes == 0) continue;
                // Prefer planes along walls (most cells change across them),
                // then planes near the middle (a shallow tree).
                const double balance = std::min(p - r.lo[axis], r.hi[axis] - p) / (0.5 * count);
                const double score = double(changes) / cross + 0.3 * balance;
                if (score > bestScore) {
                    bestScore = score;
                    bestAxis = axis;
                    bestAt = p;
                }
            }
        }
        if (bestAxis < 0) return leafChild(v_.labelAt(r.lo[0], r.lo[1], r.lo[2]));

        const int me = static_cast<int>(nodes_.size());
        nodes_.push_back(AreaNode{bestAxis, v_.coords[bestAxis][bestAt], 0, 0});
        Region above = r, below = r;
        above.lo[bestAxis] = bestAt;
        below.hi[bestAxis] = bestAt;
        const int positive = split(above);
        const int negative = split(below);
        nodes_[me].positiveChild = positive;
        nodes_[me].negativeChild = negative;
        return me;
    }

    // changes_[p - lo]: cells of the region whose label differs from the one
    // below them across boundary p on the axis.
    void countChanges(const Region& r, int axis) {
        changes_.assign(r.hi[axis] - r.lo[axis], 0);
        int step[3] = {0, 0, 0};
        step[axis] = 1;
        for (int k = r.lo[2]; k < r.hi[2]; ++k)
            for (int j = r.lo[1]; j < r.hi[1]; ++j)
                for (int i = r.lo[0]; i < r.hi[0]; ++i) {
                    const int c[3] = {i, j, k};
                    if (c[axis] == r.lo[axis]) continue;
                    if (v_.labelAt(i, j, k) != v_.labelAt(i - step[0], j - step[1], k - step[2]))
                        ++changes_[c[axis] - r.lo[axis]];
                }
    }

    const Volume& v_;
    std::vector<AreaNode> nodes_;
    std::vector<long> changes_;
};

}  // namespace

std::vector<AreaNode> buildAreaBsp(const Volume& volume) { return BspBuilder(volume).build(); }

int lookupArea(const std::vector<AreaNode>& nodes, double x, double y, double z) {
    const double p[3] = {x, y, z};
    int node = 0;
    for (size_t guard = 0; guard <= nodes.size(); ++guard) {
        const AreaNode& n = nodes[node];
        const int child = p[n.axis] - n.coord >= 0 ? n.positiveChild : n.negativeChild;
        if (child < 0) return -1 - child;
        if (child == 0) return kSolid;
        node = child;
    }
    return kSolid;
}

}  // namespace q::mapgen
