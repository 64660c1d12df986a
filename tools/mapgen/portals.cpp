#include "mapgen/portals.h"

#include <cmath>
#include <utility>

namespace q::mapgen {

void readerPortalNormal(const PortalQuad& portal, double normal[3]) {
    double p[3][3];
    for (int i = 0; i < 3; ++i) {
        p[i][0] = portal.points[i][0];
        p[i][1] = portal.points[i][2];
        p[i][2] = portal.points[i][1];
    }
    const double e1[3] = {p[1][0] - p[0][0], p[1][1] - p[0][1], p[1][2] - p[0][2]};
    const double e2[3] = {p[2][0] - p[0][0], p[2][1] - p[0][1], p[2][2] - p[0][2]};
    double n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                   e1[0] * e2[1] - e1[1] * e2[0]};
    const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    for (int a = 0; a < 3; ++a) normal[a] = length > 0 ? n[a] / length : 0.0;
}

std::vector<PortalQuad> buildPortals(const Layout& layout) {
    std::vector<PortalQuad> out;
    for (const Opening& o : layout.openings) {
        PortalQuad quad;
        quad.positiveArea = o.areaAbove;
        quad.negativeArea = o.areaBelow;
        const int along = 1 - o.axis;
        const int corners[4][2] = {{o.hole.lo[along], o.hole.lo[2]},
                                   {o.hole.hi[along], o.hole.lo[2]},
                                   {o.hole.hi[along], o.hole.hi[2]},
                                   {o.hole.lo[along], o.hole.hi[2]}};
        for (int i = 0; i < 4; ++i) {
            quad.points[i][o.axis] = static_cast<float>(o.portalPlane());
            quad.points[i][along] = static_cast<float>(corners[i][0]);
            quad.points[i][2] = static_cast<float>(corners[i][1]);
        }
        // The positive side lies towards higher coordinates on the axis; in the
        // reader's frame that axis is x (0) or, for file y, its z (2).
        double normal[3];
        readerPortalNormal(quad, normal);
        const int readerAxis = o.axis == 0 ? 0 : 2;
        if (normal[readerAxis] < 0) {
            for (int a = 0; a < 3; ++a) std::swap(quad.points[1][a], quad.points[3][a]);
        }
        out.push_back(quad);
    }
    return out;
}

PortalQuad deadPortalBesideFirstOpening(const Layout& layout, const PortalQuad& firstOpening) {
    const Opening& o = layout.openings.front();
    const int along = 1 - o.axis;
    const float shift = static_cast<float>(o.hole.hi[along] - o.hole.lo[along] + layout.wall);
    PortalQuad dead = firstOpening;
    for (auto& point : dead.points) point[along] -= shift;
    std::swap(dead.positiveArea, dead.negativeArea);
    return dead;
}

}  // namespace q::mapgen
