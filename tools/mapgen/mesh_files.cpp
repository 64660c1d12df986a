#include "mapgen/mesh_files.h"

#include <bit>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <fstream>

namespace q::mapgen {
namespace {

// Corner i of the box: x side bit 0, y side bit 1, z side bit 2; `margin`
// larger all round.
void corner(const BoxModel& box, int i, float out[3], float margin = 0.0f) {
    out[0] = (i & 1) ? box.halfX + margin : -box.halfX - margin;
    out[1] = (i & 2) ? box.halfY + margin : -box.halfY - margin;
    out[2] = (i & 4) ? box.height + margin : 0.0f - margin;  // +0 without a margin, not -0
}

BoxModel aseTestBox() {
    BoxModel box;
    box.sideMaterial = "mapgen/box_side";
    box.sideImage = "//base/textures/gen/wall.tga";
    box.topMaterial = "mapgen/box_top";
    box.topImage = "//base/textures/gen/floor.tga";
    return box;
}

BoxModel lwoTestBox() {
    BoxModel box;
    box.sideMaterial = "mapgen/crate_side";
    box.sideImage = "textures/gen/crate.tga";
    box.topMaterial = "mapgen/crate_top";
    return box;
}

// The six sides, corners counter-clockwise seen from outside in the map's
// axes (z up, right-handed): bottom, top, -y, +y, -x, +x.
constexpr int kQuads[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
constexpr float kNormals[6][3] = {{0, 0, -1}, {0, 0, 1}, {0, -1, 0}, {0, 1, 0}, {-1, 0, 0}, {1, 0, 0}};

std::string printed(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
std::string printed(const char* pattern, ...) {
    char line[256];
    va_list args;
    va_start(args, pattern);
    std::vsnprintf(line, sizeof line, pattern, args);
    va_end(args);
    return line;
}

std::string aseMaterial(const char* key, int index, const char* name, const char* bitmap) {
    std::string s = printed("\t\t%s %d {\n", key, index);
    s += printed("\t\t\t*MATERIAL_NAME \"%s\"\n\t\t\t*MATERIAL_CLASS \"Standard\"\n", name);
    s += "\t\t\t*MATERIAL_DIFFUSE\t0.5882\t0.5882\t0.5882\n";
    s += printed("\t\t\t*MAP_DIFFUSE {\n\t\t\t\t*MAP_NAME \"%s\"\n\t\t\t\t*MAP_CLASS \"Bitmap\"\n", name);
    s += printed("\t\t\t\t*BITMAP \"%s\"\n\t\t\t\t*UVW_U_OFFSET 0.0000\n\t\t\t\t*BITMAP_FILTER Pyramidal\n", bitmap);
    s += "\t\t\t}\n\t\t}\n";
    return s;
}

// Big-endian IFF chunks.
struct Chunk {
    std::string bytes;
    void u2(unsigned v) {
        bytes += static_cast<char>(v >> 8);
        bytes += static_cast<char>(v);
    }
    void u4(uint32_t v) {
        u2(v >> 16);
        u2(v & 0xFFFF);
    }
    void f4(float v) { u4(std::bit_cast<uint32_t>(v)); }
    void id(const char* four) { bytes.append(four, 4); }
    void s0(const std::string& name) {
        bytes += name;
        bytes += '\0';
        if ((name.size() + 1) % 2) bytes += '\0';
    }
    // A chunk (four-byte size) or sub-chunk (two-byte size) holding body.
    void chunk(const char* four, const Chunk& body) {
        id(four);
        u4(static_cast<uint32_t>(body.bytes.size()));
        append(body);
    }
    void sub(const char* four, const Chunk& body) {
        id(four);
        u2(static_cast<unsigned>(body.bytes.size()));
        append(body);
    }
    void append(const Chunk& body) {
        bytes += body.bytes;
        if (body.bytes.size() % 2) bytes += '\0';
    }
};

// One *GEOMOBJECT: the box (margin larger all round), its faces picking
// sub-material 1 (top and bottom) or 0 (sides) of material `materialRef`.
std::string aseObject(const BoxModel& box, const char* name, float margin, int materialRef) {
    std::string s = printed("*GEOMOBJECT {\n\t*NODE_NAME \"%s\"\n\t*NODE_TM {\n\t\t*NODE_NAME \"%s\"\n", name, name);
    s += "\t\t*TM_ROW0 1.0000\t0.0000\t0.0000\n\t\t*TM_ROW1 0.0000\t1.0000\t0.0000\n";
    s += "\t\t*TM_ROW2 0.0000\t0.0000\t1.0000\n\t\t*TM_ROW3 0.0000\t0.0000\t0.0000\n\t}\n";
    s += "\t*MESH {\n\t\t*TIMEVALUE 0\n\t\t*MESH_NUMVERTEX 8\n\t\t*MESH_NUMFACES 12\n\t\t*MESH_VERTEX_LIST {\n";
    for (int i = 0; i < 8; ++i) {
        float p[3];
        corner(box, i, p, margin);
        s += printed("\t\t\t*MESH_VERTEX %4d\t%.4f\t%.4f\t%.4f\n", i, p[0], p[1], p[2]);
    }
    s += "\t\t}\n\t\t*MESH_FACE_LIST {\n";
    for (int q = 0; q < 6; ++q) {
        const int* c = kQuads[q];
        const int triangles[2][3] = {{c[0], c[1], c[2]}, {c[0], c[2], c[3]}};
        for (int t = 0; t < 2; ++t)
            s += printed("\t\t\t*MESH_FACE %4d:    A: %4d B: %4d C: %4d AB:    1 BC:    1 CA:    0\t "
                        "*MESH_SMOOTHING %d \t*MESH_MTLID %d\n",
                        q * 2 + t, triangles[t][0], triangles[t][1], triangles[t][2], q + 1, q < 2 ? 1 : 0);
    }
    s += "\t\t}\n\t\t*MESH_NUMTVERTEX 4\n\t\t*MESH_TVERTLIST {\n";
    const float uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int i = 0; i < 4; ++i) s += printed("\t\t\t*MESH_TVERT %d\t%.4f\t%.4f\t0.0000\n", i, uv[i][0], uv[i][1]);
    s += "\t\t}\n\t\t*MESH_NUMTVFACES 12\n\t\t*MESH_TFACELIST {\n";
    for (int f = 0; f < 12; ++f) s += printed("\t\t\t*MESH_TFACE %d\t0\t%d\t%d\n", f, f % 2 ? 2 : 1, f % 2 ? 3 : 2);
    s += "\t\t}\n\t\t*MESH_NORMALS {\n";
    for (int q = 0; q < 6; ++q) {
        const float* n = kNormals[q];
        const int* c = kQuads[q];
        const int triangles[2][3] = {{c[0], c[1], c[2]}, {c[0], c[2], c[3]}};
        for (int t = 0; t < 2; ++t) {
            s += printed("\t\t\t*MESH_FACENORMAL %d\t%.4f\t%.4f\t%.4f\n", q * 2 + t, n[0], n[1], n[2]);
            for (int k = 0; k < 3; ++k)
                s += printed("\t\t\t\t*MESH_VERTEXNORMAL %d\t%.4f\t%.4f\t%.4f\n", triangles[t][k], n[0], n[1], n[2]);
        }
    }
    s += printed("\t\t}\n\t}\n\t*PROP_MOTIONBLUR 0\n\t*PROP_CASTSHADOW 1\n\t*MATERIAL_REF %d\n}\n", materialRef);
    return s;
}

}  // namespace

std::string aseTestModel() { return aseBoxModel(aseTestBox()); }

std::string aseBoxModel(const BoxModel& box) {
    const bool hull = box.hullMargin > 0.0f;
    std::string s = "*3DSMAX_ASCIIEXPORT\t200\n*COMMENT \"mapgen test model\"\n";
    s += "*SCENE {\n\t*SCENE_FILENAME \"box.max\"\n\t*SCENE_FIRSTFRAME 0\n\t*SCENE_BACKGROUND_STATIC 0 0 0\n}\n";
    s += printed("*MATERIAL_LIST {\n\t*MATERIAL_COUNT %d\n\t*MATERIAL 0 {\n", hull ? 2 : 1);
    s += "\t\t*MATERIAL_NAME \"mapgen/box\"\n\t\t*MATERIAL_CLASS \"Multi/Sub-Object\"\n\t\t*NUMSUBMTLS 2\n";
    s += aseMaterial("*SUBMATERIAL", 0, box.sideMaterial.c_str(), box.sideImage.c_str());
    s += aseMaterial("*SUBMATERIAL", 1, box.topMaterial.c_str(), box.topImage.c_str());
    s += "\t}\n";
    // The hull's material is a plain one (no sub-materials): every face shows it.
    if (hull) s += aseMaterial("*MATERIAL", 1, box.hullMaterial.c_str(), box.hullImage.c_str());
    s += "}\n";
    s += aseObject(box, "box", 0.0f, 0);
    if (hull) s += aseObject(box, "hull", box.hullMargin, 1);
    return s;
}

std::string lwoTestModel() { return lwoBoxModel(lwoTestBox()); }

std::string lwoBoxModel(const BoxModel& box) {
    const bool oneSurface = box.topMaterial.empty() || box.topMaterial == box.sideMaterial;
    Chunk form;
    form.id("LWO2");

    Chunk tags;
    tags.s0(box.sideMaterial);
    if (!oneSurface) tags.s0(box.topMaterial);
    form.chunk("TAGS", tags);

    Chunk layer;
    layer.u2(0);
    layer.u2(0);
    for (int k = 0; k < 3; ++k) layer.f4(0.0f);
    layer.s0("box");
    form.chunk("LAYR", layer);

    // The format is y up and left-handed: a point of the map's (x, y, z) is
    // (x, z, y) here.
    Chunk points;
    for (int i = 0; i < 8; ++i) {
        float p[3];
        corner(box, i, p);
        points.f4(p[0]);
        points.f4(p[2]);
        points.f4(p[1]);
    }
    form.chunk("PNTS", points);

    Chunk bbox;  // a chunk a static mesh needs nothing from
    for (float v : {-box.halfX, 0.0f, -box.halfY, box.halfX, box.height, box.halfY}) bbox.f4(v);
    form.chunk("BBOX", bbox);

    Chunk pointUv;
    pointUv.id("TXUV");
    pointUv.u2(2);
    pointUv.s0("uv");
    for (int i = 0; i < 8; ++i) {
        pointUv.u2(static_cast<unsigned>(i));
        pointUv.f4(static_cast<float>(i & 1));
        pointUv.f4(static_cast<float>((i >> 1) & 1));
    }
    form.chunk("VMAP", pointUv);

    // Clockwise seen from outside: the map's counter-clockwise corners in
    // reverse.
    Chunk polygons;
    polygons.id("FACE");
    for (const auto& quad : kQuads) {
        polygons.u2(4);
        for (int k = 3; k >= 0; --k) polygons.u2(static_cast<unsigned>(quad[k]));
    }
    form.chunk("POLS", polygons);

    Chunk polygonTags;
    polygonTags.id("SURF");
    for (unsigned p = 0; p < 6; ++p) {
        polygonTags.u2(p);
        polygonTags.u2(p < 2 && !oneSurface ? 1 : 0);
    }
    form.chunk("PTAG", polygonTags);

    Chunk polygonUv;
    polygonUv.id("TXUV");
    polygonUv.u2(2);
    polygonUv.s0("uv");
    for (int point : kQuads[1]) {
        polygonUv.u2(static_cast<unsigned>(point));
        polygonUv.u2(1);
        polygonUv.f4(0.25f + 0.5f * static_cast<float>(point & 1));
        polygonUv.f4(0.25f + 0.5f * static_cast<float>((point >> 1) & 1));
    }
    form.chunk("VMAD", polygonUv);

    if (!box.sideImage.empty()) {
        Chunk clip;
        clip.u4(1);
        Chunk still;
        still.s0(box.sideImage);
        clip.sub("STIL", still);
        form.chunk("CLIP", clip);
    }

    Chunk side;
    side.s0(box.sideMaterial);
    side.s0("");
    Chunk colour;
    for (int k = 0; k < 3; ++k) colour.f4(0.8f);
    colour.u2(0);  // no envelope
    side.sub("COLR", colour);
    Chunk header;
    header.s0("\x80");
    Chunk channel, enable;
    channel.id("COLR");
    enable.u2(1);
    header.sub("CHAN", channel);
    header.sub("ENAB", enable);
    Chunk block, projection, image, uvName;
    block.sub("IMAP", header);
    projection.u2(5);  // UV
    block.sub("PROJ", projection);
    image.u2(1);
    block.sub("IMAG", image);
    uvName.s0("uv");
    block.sub("VMAP", uvName);
    if (!box.sideImage.empty()) side.sub("BLOK", block);
    form.chunk("SURF", side);

    if (!oneSurface) {
        Chunk top;
        top.s0(box.topMaterial);
        top.s0("");
        top.sub("COLR", colour);
        form.chunk("SURF", top);
    }

    Chunk file;
    file.chunk("FORM", form);
    return file.bytes;
}

bool writeTestModel(const std::string& kind, const std::string& path, std::string* error) {
    std::string bytes;
    if (kind == "ase") {
        bytes = aseTestModel();
    } else if (kind == "lwo") {
        bytes = lwoTestModel();
    } else {
        *error = "model: expected ase or lwo, found '" + kind + "'";
        return false;
    }
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        *error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace q::mapgen
