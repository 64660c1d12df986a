#include "mapgen/light_entities.h"

#include <cmath>

#include "mapgen/map_text.h"

namespace q::mapgen {

namespace {

struct GeneratedLight {
    const char* name;
    const char* keys;          // every key but classname and name, as written
    double position[3];        // where the light comes from
    const char* occluderModel;  // the entity model that casts its shadow; empty: it casts none
};

// The extrusion of a volume's far points, past every light's reach.
constexpr double kExtrusion = 1024.0;

constexpr GeneratedLight kLights[] = {
    {"light_ambient",
     "\"origin\" \"0 0 32\"\n\"light_radius\" \"1024 1024 512\"\n\"texture\" \"lights/ambientlight_gen\"\n"
     "\"_color\" \"0.2 0.2 0.25\"\n\"noshadows\" \"1\"\n",
     {0, 0, 32},
     ""},
    // North-east of the wall turned by 90 degrees, above its top.
    {"light_point", "\"origin\" \"-40 70 60\"\n\"light_radius\" \"240 240 160\"\n\"_color\" \"1 0.8 0.6\"\n",
     {-40, 70, 60},
     "func_static_turned90"},
    {"light_noshadows",
     "\"origin\" \"60 60 40\"\n\"light_radius\" \"120 120 96\"\n\"_color\" \"0.4 0.6 1\"\n\"noshadows\" \"1\"\n"
     "\"nospecular\" \"1\"\n",
     {60, 60, 40},
     ""},
    // Straight above the step, turned by 90 degrees about the vertical.
    {"light_projected",
     "\"origin\" \"70 -60 60\"\n\"rotation\" \"0 1 0 -1 0 0 0 0 1\"\n\"light_target\" \"0 0 -64\"\n"
     "\"light_up\" \"0 32 0\"\n\"light_right\" \"48 0 0\"\n\"light_start\" \"0 0 -8\"\n\"light_end\" \"0 0 -64\"\n"
     "\"texture\" \"lights/spot_gen\"\n\"_color\" \"0.9 0.9 1\"\n",
     {70, -60, 60},
     "func_static_step"},
};

// The entity model's box placed in the map: turns by multiples of 90
// degrees about the vertical only (the occluders are such).
bool placedBox(const EntityBox& model, double lo[3], double hi[3]) {
    const int quarter = static_cast<int>(std::lround(model.angle / 90.0));
    if (std::fabs(model.angle - 90.0 * quarter) > 1e-9) return false;
    for (int corner = 0; corner < 4; ++corner) {
        double x = (corner & 1) ? model.box.hi[0] : model.box.lo[0];
        double y = (corner & 2) ? model.box.hi[1] : model.box.lo[1];
        for (int turn = 0; turn < ((quarter % 4) + 4) % 4; ++turn) {
            const double was = x;
            x = -y;
            y = was;
        }
        x += model.origin[0];
        y += model.origin[1];
        if (corner == 0 || x < lo[0]) lo[0] = x;
        if (corner == 0 || y < lo[1]) lo[1] = y;
        if (corner == 0 || x > hi[0]) hi[0] = x;
        if (corner == 0 || y > hi[1]) hi[1] = y;
    }
    lo[2] = model.origin[2] + model.box.lo[2];
    hi[2] = model.origin[2] + model.box.hi[2];
    return true;
}

struct Point {
    double x, y, z;
};
Point operator-(Point a, Point b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Point cross(Point a, Point b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double dot(Point a, Point b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

class VolumeBuilder {
public:
    VolumeBuilder(const double lo[3], const double hi[3], const double light[3], ShadowVolumeMesh* out)
        : out_(*out), light_{light[0], light[1], light[2]} {
        // Corner c has bit 0 for x, 1 for y, 2 for z set at hi.
        for (int c = 0; c < 8; ++c) {
            const Point near{(c & 1) ? hi[0] : lo[0], (c & 2) ? hi[1] : lo[1], (c & 4) ? hi[2] : lo[2]};
            const Point ray = near - light_;
            const double scale = kExtrusion / std::sqrt(dot(ray, ray));
            const Point far{near.x + ray.x * scale, near.y + ray.y * scale, near.z + ray.z * scale};
            for (Point p : {near, far})
                for (double v : {p.x, p.y, p.z}) out_.points.push_back(v);
        }
        centre_ = {(lo[0] + hi[0]) / 2, (lo[1] + hi[1]) / 2, (lo[2] + hi[2]) / 2};
        for (int axis = 0; axis < 3; ++axis)
            for (int side = 0; side < 2; ++side) {
                const double l = axis == 0 ? light_.x : axis == 1 ? light_.y : light_.z;
                facing_[axis][side] = side ? l > hi[axis] : l < lo[axis];
                if (facing_[axis][side]) out_.planeBits |= 1 << (2 * axis + side);
            }
    }

    void build() {
        // Sides: each edge of the box between a face that faces the light and
        // one that does not, drawn out to the far points.
        for (int axis = 0; axis < 3; ++axis) {
            const int u = (axis + 1) % 3, w = (axis + 2) % 3;
            for (int bu = 0; bu < 2; ++bu)
                for (int bw = 0; bw < 2; ++bw) {
                    if (facing_[u][bu] == facing_[w][bw]) continue;
                    const int a = (bu << u) | (bw << w), b = a | (1 << axis);
                    triangle(2 * a, 2 * b, 2 * b + 1);
                    triangle(2 * a, 2 * b + 1, 2 * a + 1);
                }
        }
        out_.sidesEnd = static_cast<int>(out_.indices.size());
        faces(1);
        out_.farCapEnd = static_cast<int>(out_.indices.size());
        faces(0);
    }

private:
    // The two triangles of each face facing the light, on the near (0) or
    // the far (1) points.
    void faces(int far) {
        for (int axis = 0; axis < 3; ++axis)
            for (int side = 0; side < 2; ++side) {
                if (!facing_[axis][side]) continue;
                const int u = (axis + 1) % 3, w = (axis + 2) % 3, base = side << axis;
                const int corners[4] = {base, base | (1 << u), base | (1 << u) | (1 << w), base | (1 << w)};
                triangle(2 * corners[0] + far, 2 * corners[1] + far, 2 * corners[2] + far);
                triangle(2 * corners[0] + far, 2 * corners[2] + far, 2 * corners[3] + far);
            }
    }

    Point point(int index) const {
        const double* p = &out_.points[3 * static_cast<size_t>(index)];
        return {p[0], p[1], p[2]};
    }

    // Wound so that its normal points out of the volume: away from the
    // occluder's centre, which lies inside it (for the far cap, the centre
    // is on the light's side of it, as it is for every other face).
    void triangle(int a, int b, int c) {
        const Point normal = cross(point(b) - point(a), point(c) - point(a));
        if (dot(normal, point(a) - centre_) < 0) std::swap(b, c);
        for (int i : {a, b, c}) out_.indices.push_back(i);
    }

    ShadowVolumeMesh& out_;
    Point light_;
    Point centre_{};
    bool facing_[3][2] = {};
};

}  // namespace

std::string lightEntitiesText(int first) {
    std::string out;
    for (const GeneratedLight& light : kLights) {
        out += "// entity " + std::to_string(first++) + "\n{\n\"classname\" \"light\"\n\"name\" \"" +
               std::string(light.name) + "\"\n" + light.keys + "}\n";
    }
    return out;
}

std::vector<ShadowVolumeMesh> buildShadowVolumes(const EntitySet& set) {
    std::vector<ShadowVolumeMesh> volumes;
    for (const GeneratedLight& light : kLights) {
        if (!*light.occluderModel) continue;
        const EntityBox* occluder = nullptr;
        for (const EntityBox& model : set.models)
            if (model.name == light.occluderModel) occluder = &model;
        double lo[3], hi[3];
        if (!occluder || !placedBox(*occluder, lo, hi)) return {};
        ShadowVolumeMesh volume;
        volume.lightName = light.name;
        VolumeBuilder(lo, hi, light.position, &volume).build();
        volumes.push_back(std::move(volume));
    }
    return volumes;
}

std::string shadowModelsText(const std::vector<ShadowVolumeMesh>& volumes) {
    std::string out;
    for (const ShadowVolumeMesh& v : volumes) {
        out += "shadowModel { /* name = */ \"_prelight_" + v.lightName + "\"\n\n/* numVerts = */ ";
        putNumber(out, static_cast<double>(v.points.size() / 3));
        out += " /* noCaps = */ ";
        putNumber(out, v.sidesEnd);
        out += " /* noFrontCaps = */ ";
        putNumber(out, v.farCapEnd);
        out += " /* numIndexes = */ ";
        putNumber(out, static_cast<double>(v.indices.size()));
        out += " /* planeBits = */ ";
        putNumber(out, v.planeBits);
        out += "\n";
        for (size_t i = 0; i < v.points.size(); i += 3) {
            out += "( ";
            for (size_t k = 0; k < 3; ++k) {
                putNumber(out, v.points[i + k]);
                out += ' ';
            }
            out += ") ";
            if ((i / 3) % 4 == 3) out += "\n";
        }
        out += "\n";
        for (size_t i = 0; i < v.indices.size(); ++i) {
            putNumber(out, v.indices[i]);
            out += (i % 18 == 17) ? "\n" : " ";
        }
        out += "\n}\n\n";
    }
    return out;
}

}  // namespace q::mapgen
