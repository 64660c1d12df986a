#include "mapgen/brushes.h"

#include <algorithm>

namespace q::mapgen {

std::vector<BrushBox> mergeSolidCells(const Volume& v) {
    std::vector<BrushBox> out;
    std::vector<char> taken(v.label.size(), 0);
    auto free = [&](int i, int j, int k, Fill kind) {
        const size_t at = v.index(i, j, k);
        return !taken[at] && v.label[at] == kSolid && v.fill[at] == kind;
    };
    // Long brushes would reach into every leaf of the split tree along them.
    auto short_ = [&](int axis, int first, int last) {
        return last == first + 1 || v.coords[axis][last] - v.coords[axis][first] <= kMaxBrushSpan;
    };
    for (int k = 0; k < v.cells[2]; ++k)
        for (int j = 0; j < v.cells[1]; ++j)
            for (int i = 0; i < v.cells[0]; ++i) {
                const size_t at = v.index(i, j, k);
                // Solid outside a sealed building is void, not wall: walkable, as
                // a compiled map's outside holds no brushes.
                if (taken[at] || v.label[at] != kSolid || v.fill[at] == Fill::Outside) continue;
                const Fill kind = v.fill[at];
                int i1 = i + 1;
                while (i1 < v.cells[0] && free(i1, j, k, kind) && short_(0, i, i1 + 1)) ++i1;
                int j1 = j + 1;
                for (;; ++j1) {
                    if (j1 >= v.cells[1] || !short_(1, j, j1 + 1)) break;
                    bool rowFree = true;
                    for (int x = i; x < i1 && rowFree; ++x) rowFree = free(x, j1, k, kind);
                    if (!rowFree) break;
                }
                int k1 = k + 1;
                for (;; ++k1) {
                    if (k1 >= v.cells[2] || !short_(2, k, k1 + 1)) break;
                    bool layerFree = true;
                    for (int y = j; y < j1 && layerFree; ++y)
                        for (int x = i; x < i1 && layerFree; ++x) layerFree = free(x, y, k1, kind);
                    if (!layerFree) break;
                }
                for (int z = k; z < k1; ++z)
                    for (int y = j; y < j1; ++y)
                        for (int x = i; x < i1; ++x) taken[v.index(x, y, z)] = 1;
                BrushBox b;
                b.box = Box::of(v.coords[0][i], v.coords[1][j], v.coords[2][k], v.coords[0][i1],
                                v.coords[1][j1], v.coords[2][k1]);
                b.prop = kind == Fill::Prop;
                out.push_back(b);
            }
    return out;
}

namespace {

class TreeBuilder {
public:
    explicit TreeBuilder(const std::vector<BrushBox>& brushes) : brushes_(brushes) {}

    std::vector<SplitNode> build() {
        std::vector<int> all(brushes_.size());
        for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<int>(i);
        node(all, 0);
        return std::move(nodes_);
    }

private:
    int node(const std::vector<int>& list, int depth) {
        const int me = static_cast<int>(nodes_.size());
        nodes_.emplace_back();
        int axis = 0;
        double distance = 0.0;
        std::vector<int> front, back;
        if (static_cast<int>(list.size()) > kLeafBrushes && depth < kMaxDepth &&
            chooseSplit(list, &axis, &distance)) {
            // The reader's linking rule: touching the plane from one side keeps
            // a brush on that side only.
            for (int b : list) {
                const Box& box = brushes_[b].box;
                if (box.lo[axis] >= distance) {
                    front.push_back(b);
                } else if (box.hi[axis] <= distance) {
                    back.push_back(b);
                } else {
                    front.push_back(b);
                    back.push_back(b);
                }
            }
        }
        if (front.empty() || back.empty() || front.size() == list.size() || back.size() == list.size()) {
            nodes_[me].axis = -1;
            nodes_[me].brushes = list;
            return me;
        }
        nodes_[me].axis = axis;
        nodes_[me].distance = distance;
        const int f = node(front, depth + 1);
        const int b = node(back, depth + 1);
        nodes_[me].front = f;
        nodes_[me].back = b;
        return me;
    }

    bool chooseSplit(const std::vector<int>& list, int* axis, double* distance) const {
        int lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
        for (int a = 0; a < 3; ++a) {
            lo[a] = brushes_[list[0]].box.lo[a];
            hi[a] = brushes_[list[0]].box.hi[a];
        }
        for (int b : list)
            for (int a = 0; a < 3; ++a) {
                lo[a] = std::min(lo[a], brushes_[b].box.lo[a]);
                hi[a] = std::max(hi[a], brushes_[b].box.hi[a]);
            }
        int longest = 0;
        for (int a = 1; a < 3; ++a)
            if (hi[a] - lo[a] > hi[longest] - lo[longest]) longest = a;
        std::vector<double> centres;
        centres.reserve(list.size());
        for (int b : list) centres.push_back(brushes_[b].box.centre(longest));
        std::nth_element(centres.begin(), centres.begin() + centres.size() / 2, centres.end());
        *axis = longest;
        *distance = centres[centres.size() / 2];
        return hi[longest] > lo[longest];
    }

    static constexpr int kMaxDepth = 48;
    const std::vector<BrushBox>& brushes_;
    std::vector<SplitNode> nodes_;
};

}  // namespace

std::vector<SplitNode> buildCollisionTree(const std::vector<BrushBox>& brushes) {
    return TreeBuilder(brushes).build();
}

}  // namespace q::mapgen
