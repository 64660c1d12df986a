#include "mapgen/map_text.h"

#include <cmath>
#include <cstdio>

namespace q::mapgen {

namespace {

// Whole numbers as integers, the rest with enough digits to read back the same
// float; never "-0".
void put(std::string& out, double value) {
    char buffer[48];
    if (value == 0.0) value = 0.0;
    if (std::nearbyint(value) == value && std::fabs(value) < 1e9)
        std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(value));
    else
        std::snprintf(buffer, sizeof buffer, "%.9g", value);
    out += buffer;
}

void put(std::string& out, int value) { out += std::to_string(value); }

}  // namespace

void putNumber(std::string& out, double value) { put(out, value); }

std::string procFileText(const std::vector<AreaMesh>& areas, const std::vector<PortalQuad>& portals,
                         const std::vector<AreaNode>& nodes, bool splitPortals, const std::string& entityModels) {
    std::string out;
    out += "mapProcFile003\n\n";
    for (size_t area = 0; area < areas.size(); ++area) {
        const auto& surfaces = areas[area].surfaces;
        out += "model { /* name = */ \"_area" + std::to_string(area) + "\" /* numSurfaces = */ ";
        put(out, static_cast<int>(surfaces.size()));
        out += "\n\n";
        for (size_t i = 0; i < surfaces.size(); ++i) {
            const MeshSurface& s = surfaces[i];
            out += "/* surface " + std::to_string(i) + " */ { \"" + materialName(s.material) +
                   "\" /* numVerts = */ ";
            put(out, static_cast<int>(s.vertices.size()));
            out += " /* numIndexes = */ ";
            put(out, static_cast<int>(s.indices.size()));
            out += "\n";
            for (const FileVertex& v : s.vertices) {
                const float values[8] = {v.x, v.y, v.z, v.s, v.t, v.nx, v.ny, v.nz};
                out += "( ";
                for (float f : values) {
                    put(out, static_cast<double>(f));
                    out += ' ';
                }
                out += ") \n";
            }
            for (size_t k = 0; k < s.indices.size(); ++k) {
                put(out, static_cast<int>(s.indices[k]));
                out += (k % 12 == 11) ? '\n' : ' ';
            }
            out += "\n}\n\n";
        }
        out += "}\n\n";
    }
    out += entityModels;

    out += "interAreaPortals { /* numAreas = */ ";
    put(out, static_cast<int>(areas.size()));
    out += " /* numIAP = */ ";
    put(out, static_cast<int>(portals.size()));
    out += "\n\n/* interAreaPortal format is: numPoints positiveSideArea negativeSideArea ( point) ... */\n";
    for (size_t i = 0; i < portals.size(); ++i) {
        const PortalQuad& p = portals[i];
        out += "/* iap " + std::to_string(i) + (splitPortals ? " */ 8 " : " */ 4 ");
        put(out, p.positiveArea);
        out += ' ';
        put(out, p.negativeArea);
        auto putPoint = [&out](double x, double y, double z) {
            out += " ( ";
            for (double f : {x, y, z}) {
                put(out, f);
                out += ' ';
            }
            out += ")";
        };
        for (int corner = 0; corner < 4; ++corner) {
            const auto& a = p.points[corner];
            const auto& b = p.points[(corner + 1) % 4];
            if (splitPortals) {
                putPoint((double{a[0]} + b[0]) / 2, (double{a[1]} + b[1]) / 2, (double{a[2]} + b[2]) / 2);
                putPoint(b[0], b[1], b[2]);
            } else {
                putPoint(a[0], a[1], a[2]);
            }
        }
        out += " \n";
    }
    out += "}\n\n";

    out += "nodes { /* numNodes = */ ";
    put(out, static_cast<int>(nodes.size()));
    out += "\n\n/* node format is: ( planeVector ) positiveChild negativeChild */\n"
           "/* a child number of 0 is an opaque, solid area */\n"
           "/* negative child numbers are areas: (-1-child) */\n";
    for (size_t i = 0; i < nodes.size(); ++i) {
        const AreaNode& n = nodes[i];
        out += "/* node " + std::to_string(i) + " */ ( ";
        for (int a = 0; a < 3; ++a) out += a == n.axis ? "1 " : "0 ";
        put(out, -n.coord);
        out += " ) ";
        put(out, n.positiveChild);
        out += ' ';
        put(out, n.negativeChild);
        out += '\n';
    }
    out += "}\n";
    return out;
}

std::string collisionFileText(const std::vector<BrushBox>& brushes, const std::vector<SplitNode>& tree) {
    return "CM \"1.00\"\n\n" + collisionModelText("worldMap", brushes, tree);
}

std::string collisionModelText(const std::string& name, const std::vector<BrushBox>& brushes,
                               const std::vector<SplitNode>& tree) {
    std::string out;
    out += "collisionModel \"" + name + "\" {\n\tnodes {\n";
    for (const SplitNode& n : tree) {
        out += "\t\t( ";
        put(out, n.axis);
        out += ' ';
        put(out, n.axis < 0 ? 0.0 : n.distance);
        out += " )\n";
    }
    out += "\t}\n\tbrushes /* brushMemory = */ ";
    // A size figure in the manner of the format: six planes of four floats and
    // two bounds per brush.
    put(out, static_cast<int>(brushes.size() * (6 * 16 + 24)));
    out += " {\n";
    for (const BrushBox& b : brushes) {
        out += "\t\t6 {\n";
        for (int a = 0; a < 3; ++a) {
            for (int side = -1; side <= 1; side += 2) {
                out += "\t\t\t( ";
                for (int c = 0; c < 3; ++c) out += c == a ? (side > 0 ? "1 " : "-1 ") : "0 ";
                out += ") ";
                // Inside is a.x + b.y + c.z - d <= 0.
                put(out, side > 0 ? b.box.hi[a] : -b.box.lo[a]);
                out += '\n';
            }
        }
        out += "\t\t} ( ";
        for (int a = 0; a < 3; ++a) {
            put(out, b.box.lo[a]);
            out += ' ';
        }
        out += ") ( ";
        for (int a = 0; a < 3; ++a) {
            put(out, b.box.hi[a]);
            out += ' ';
        }
        out += ") \"solid\"\n";
    }
    out += "\t}\n}\n";
    return out;
}

}  // namespace q::mapgen
