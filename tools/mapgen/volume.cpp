#include "mapgen/volume.h"

#include <algorithm>

namespace q::mapgen {

namespace {

constexpr int kMargin = 64;

// Cell index range [first, last) covered by [lo, hi) on one axis.
void cellRange(const std::vector<int>& coords, int lo, int hi, int* first, int* last) {
    *first = static_cast<int>(std::lower_bound(coords.begin(), coords.end(), lo) - coords.begin());
    *last = static_cast<int>(std::lower_bound(coords.begin(), coords.end(), hi) - coords.begin());
}

void paint(Volume& v, const Box& box, int label, Fill fill) {
    int first[3], last[3];
    for (int a = 0; a < 3; ++a) cellRange(v.coords[a], box.lo[a], box.hi[a], &first[a], &last[a]);
    for (int k = first[2]; k < last[2]; ++k)
        for (int j = first[1]; j < last[1]; ++j)
            for (int i = first[0]; i < last[0]; ++i) {
                const size_t at = v.index(i, j, k);
                v.label[at] = label;
                v.fill[at] = fill;
            }
}

void addBox(std::vector<int>* coords, const Box& b) {
    for (int a = 0; a < 3; ++a) {
        coords[a].push_back(b.lo[a]);
        coords[a].push_back(b.hi[a]);
    }
}

}  // namespace

int Volume::classify(double x, double y, double z) const {
    const double p[3] = {x, y, z};
    int cell[3];
    for (int a = 0; a < 3; ++a) {
        // upper_bound: a point on a boundary goes to the cell starting there.
        const auto it = std::upper_bound(coords[a].begin(), coords[a].end(), p[a]);
        const int c = static_cast<int>(it - coords[a].begin()) - 1;
        if (c < 0 || c >= cells[a]) return outside;
        cell[a] = c;
    }
    return labelAt(cell[0], cell[1], cell[2]);
}

Volume buildVolume(const Layout& layout) {
    Volume v;
    const int t = layout.wall;
    for (const Room& r : layout.rooms) {
        addBox(v.coords, r.interior.grown(t));
        addBox(v.coords, r.interior);
    }
    for (const Opening& o : layout.openings) {
        addBox(v.coords, o.hole);
        v.coords[o.axis].push_back(o.portalPlane());
    }
    for (const Prop& p : layout.props) addBox(v.coords, p.box);
    for (auto& c : v.coords) {
        std::sort(c.begin(), c.end());
        c.erase(std::unique(c.begin(), c.end()), c.end());
        const int lo = c.front() - kMargin;
        const int hi = c.back() + kMargin;
        c.insert(c.begin(), lo);
        c.push_back(hi);
    }
    for (int a = 0; a < 3; ++a) v.cells[a] = static_cast<int>(v.coords[a].size()) - 1;
    const size_t total = static_cast<size_t>(v.cells[0]) * v.cells[1] * v.cells[2];
    v.outside = layout.sealed ? kSolid : 0;
    v.label.assign(total, v.outside);
    v.fill.assign(total, Fill::Outside);

    for (const Room& r : layout.rooms) paint(v, r.interior.grown(t), kSolid, Fill::Shell);
    for (const Room& r : layout.rooms) paint(v, r.interior, r.area, Fill::RoomAir);
    for (const Opening& o : layout.openings) {
        Box below = o.hole, above = o.hole;
        below.hi[o.axis] = o.portalPlane();
        above.lo[o.axis] = o.portalPlane();
        paint(v, below, o.areaBelow, Fill::OpeningAir);
        paint(v, above, o.areaAbove, Fill::OpeningAir);
    }
    for (const Prop& p : layout.props) paint(v, p.box, kSolid, Fill::Prop);
    return v;
}

}  // namespace q::mapgen
