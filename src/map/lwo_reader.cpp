#include "map/lwo_reader.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "map/pattern_reader.h"

namespace q {
namespace {

// The first fault met while reading a chunk, shared by the cursors over its
// sub-chunks. Once set, every read gives zero and every cursor stands at its
// end, so the readers' loops finish without checking at each step.
struct ChunkFault {
    bool set = false;
    size_t at = 0;
    std::string what;
};

class ChunkData {
public:
    ChunkData(std::string_view bytes, size_t begin, size_t end, ChunkFault* fault)
        : bytes_(bytes), pos_(begin), end_(end), fault_(fault) {}
    size_t position() const { return pos_; }
    size_t left() const { return end_ - pos_; }
    bool atEnd() const { return pos_ >= end_ || fault_->set; }
    ChunkData part(size_t begin, size_t end) const { return ChunkData(bytes_, begin, end, fault_); }

    uint16_t u2() {
        if (!need(2)) return 0;
        const uint16_t v = static_cast<uint16_t>(byteAt(pos_) << 8 | byteAt(pos_ + 1));
        pos_ += 2;
        return v;
    }
    uint32_t u4() {
        if (!need(4)) return 0;
        const uint32_t v = uint32_t{byteAt(pos_)} << 24 | uint32_t{byteAt(pos_ + 1)} << 16 |
                           uint32_t{byteAt(pos_ + 2)} << 8 | uint32_t{byteAt(pos_ + 3)};
        pos_ += 4;
        return v;
    }
    std::string_view id4() {
        if (!need(4)) return "\0\0\0\0";
        pos_ += 4;
        return bytes_.substr(pos_ - 4, 4);
    }
    float f4() {
        const size_t at = pos_;
        const float v = std::bit_cast<float>(u4());
        if (!std::isfinite(v)) {
            fault(at, "a finite number");
            return 0.0f;
        }
        return v;
    }
    // An index of variable length: two bytes, or four when the first is 0xFF
    // (the index then being the other three).
    uint32_t vx() {
        if (!need(1)) return 0;
        if (byteAt(pos_) != 0xFF) return u2();
        return u4() & 0x00FFFFFFu;
    }
    // A name ended by a zero byte, padded to an even length.
    std::string_view s0() {
        if (!need(1)) return {};
        const size_t start = pos_;
        const void* zero = std::memchr(bytes_.data() + pos_, 0, left());
        if (!zero) {
            fault(start, "a name ended by a zero byte within the chunk");
            return {};
        }
        const size_t length = static_cast<size_t>(static_cast<const char*>(zero) - bytes_.data()) - start;
        pos_ = start + length + 1;
        if ((length + 1) % 2 != 0 && pos_ < end_) ++pos_;
        return bytes_.substr(start, length);
    }
    void skip(size_t n) {
        if (need(n)) pos_ += n;
    }
    bool need(size_t n) {
        if (fault_->set) return false;
        if (left() >= n) return true;
        fault(pos_, std::to_string(n) + " more byte" + (n == 1 ? "" : "s") + " within the chunk (" +
                        std::to_string(left()) + " left)");
        return false;
    }
    void fault(size_t at, std::string what) {
        if (fault_->set) return;
        *fault_ = {true, at, std::move(what)};
    }

private:
    uint8_t byteAt(size_t i) const { return static_cast<uint8_t>(bytes_[i]); }
    std::string_view bytes_;
    size_t pos_;
    size_t end_;
    ChunkFault* fault_;
};

// A sub-chunk inside SURF, BLOK or CLIP: four-letter id, two-byte size, data
// padded to even. The cursor moves past it; the data is its own cursor.
struct SubChunk {
    std::string_view id;
    ChunkData data;
};
SubChunk nextSubChunk(ChunkData& data) {
    const size_t at = data.position();
    const std::string_view id = data.id4();
    const size_t size = data.u2();
    if (size > data.left()) {
        data.fault(at, "sub-chunk " + std::string(id) + " of at most " + std::to_string(data.left()) +
                           " bytes, found " + std::to_string(size));
        return {id, data.part(0, 0)};
    }
    const size_t begin = data.position();
    data.skip(size);
    if (size % 2 != 0 && !data.atEnd()) data.skip(1);
    return {id, data.part(begin, begin + size)};
}

std::string printableId(std::string_view id) {
    std::string out;
    for (char c : id) {
        if (c >= 0x20 && c < 0x7F) {
            out += c;
        } else {
            static const char kHex[] = "0123456789abcdef";
            out += "\\x";
            out += kHex[(static_cast<uint8_t>(c) >> 4) & 15];
            out += kHex[static_cast<uint8_t>(c) & 15];
        }
    }
    return out;
}

struct Polygon {
    uint32_t first;  // into Layer::corners
    uint16_t count;
    int32_t tag = -1;  // index into the TAGS, from PTAG SURF
};

struct Layer {
    std::vector<Vector3> points;  // in the map's axes
    std::vector<float> uv;        // per point: u, v from the VMAP
    std::vector<uint32_t> corners;  // point indices, as the file orders them
    std::vector<Polygon> polygons;
    std::unordered_map<uint64_t, std::pair<float, float>> polygonUv;  // (polygon << 32 | point) from VMAD
    std::string uvMap;                                               // the TXUV map read; the first one named
    bool uvMapChosen = false;
    // The polygons the last POLS chunk gave, which PTAG and VMAD number from 0.
    size_t lastPolsFirst = 0;
    size_t lastPolsCount = 0;
    bool lastPolsFaces = true;  // false: polygons of another type, whose tags do not count
    size_t polsAt = 0;
};

struct Surface {
    uint32_t clip = 0;
    bool hasImage = false;
};

class LwoReader {
public:
    LwoReader(std::string_view bytes, const std::string& name, MeshModel* model)
        : bytes_(bytes), name_(name), model_(model), build_(model) {}

    bool read(std::string* error) {
        const size_t formEnd = readForm(error);
        if (formEnd == 0) return false;
        size_t pos = 12;
        while (pos < formEnd) {
            if (formEnd - pos < 8)
                return fail(error, "FORM", pos,
                            "a chunk header of 8 bytes, found " + std::to_string(formEnd - pos) + " before the end");
            const std::string_view id = bytes_.substr(pos, 4);
            const uint32_t size = bigEndian32(pos + 4);
            const size_t room = formEnd - pos - 8;
            if (size > room)
                return fail(error, id, pos,
                            "a size of at most " + std::to_string(room) + " (what the FORM holds after it), found " +
                                std::to_string(size));
            ChunkFault fault;
            ChunkData data(bytes_, pos + 8, pos + 8 + size, &fault);
            readChunk(id, pos, data);
            if (fault.set) return fail(error, id, fault.at, fault.what);
            pos += 8 + size + (size % 2);
        }
        finishLayer();
        for (MeshMaterialGroup& group : model_->groups) {
            const auto surface = surfaces_.find(group.material);
            if (surface == surfaces_.end() || !surface->second.hasImage) continue;
            const auto clip = clips_.find(surface->second.clip);
            if (clip != clips_.end()) group.image = clip->second;
        }
        build_.finish();
        return true;
    }

private:
    uint32_t bigEndian32(size_t at) const {
        const auto* p = reinterpret_cast<const unsigned char*>(bytes_.data() + at);
        return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
    }

    bool fail(std::string* error, std::string_view chunk, size_t at, const std::string& what) {
        *error = name_ + ": chunk " + printableId(chunk) + " at byte " + std::to_string(at) + ": expected " + what;
        return false;
    }

    // The end of the FORM's data, or 0 having failed.
    size_t readForm(std::string* error) {
        if (bytes_.size() < 12 || bytes_.substr(0, 4) != "FORM")
            return fail(error, "FORM", 0, "an IFF file (FORM, a size, LWO2) of at least 12 bytes"), 0;
        const uint32_t size = bigEndian32(4);
        const std::string_view type = bytes_.substr(8, 4);
        if (type == "LWOB" || type == "LWLO")
            return fail(error, "FORM", 8, "LWO2, found " + std::string(type) + " (the older form, not read)"), 0;
        if (type != "LWO2") return fail(error, "FORM", 8, "LWO2, found " + printableId(type)), 0;
        if (size < 4 || size > bytes_.size() - 8)
            return fail(error, "FORM", 4,
                        "a size from 4 to " + std::to_string(bytes_.size() - 8) + " (the bytes after it), found " +
                            std::to_string(size)),
                   0;
        return 8 + size_t{size};
    }

    void readChunk(std::string_view id, size_t at, ChunkData& data) {
        if (id == "TAGS") {
            while (!data.atEnd()) tags_.emplace_back(data.s0());
        } else if (id == "LAYR") {
            finishLayer();
        } else if (id == "PNTS") {
            if (!layer_.points.empty()) finishLayer();  // a second point list starts a layer of its own
            readPoints(data);
        } else if (id == "POLS") {
            readPolygons(at, data);
        } else if (id == "PTAG") {
            readPolygonTags(at, data);
        } else if (id == "VMAP") {
            readPointUvs(at, data);
        } else if (id == "VMAD") {
            readPolygonUvs(at, data);
        } else if (id == "SURF") {
            readSurface(data);
        } else if (id == "CLIP") {
            readClip(data);
        }
        // Everything else (bounding boxes, envelopes, descriptions, icons) is
        // skipped by its size.
    }

    void readPoints(ChunkData& data) {
        if (data.left() % 12 != 0)
            return data.fault(data.position(),
                              "a size that is a multiple of 12 (x y z), found " + std::to_string(data.left()));
        const size_t count = data.left() / 12;
        layer_.points.resize(count);
        for (Vector3& p : layer_.points) {
            const float x = data.f4(), y = data.f4(), z = data.f4();
            p = {x, z, y};  // y up, left-handed -> z up, right-handed
        }
        layer_.uv.assign(count * 2, 0.0f);
    }

    void readPolygons(size_t at, ChunkData& data) {
        const std::string_view type = data.id4();
        layer_.lastPolsFirst = layer_.polygons.size();
        layer_.lastPolsCount = 0;
        layer_.lastPolsFaces = type == "FACE";
        if (!layer_.lastPolsFaces) {
            ++otherPolygonChunks_;
            if (otherPolygonChunks_ == 1)
                warn("POLS", at, "polygons of type " + printableId(type) + " are not drawn (faces only)");
            return;
        }
        layer_.polsAt = at;
        while (!data.atEnd()) {
            const uint16_t count = data.u2() & 0x03FF;  // the high six bits are flags
            // Each index takes at least two bytes: a count the chunk cannot
            // hold is refused before anything grows.
            if (size_t{count} * 2 > data.left())
                return data.fault(data.position() - 2, "a polygon of " + std::to_string(count) +
                                                    " points that the chunk can hold (" +
                                                    std::to_string(data.left()) + " bytes left)");
            Polygon polygon{static_cast<uint32_t>(layer_.corners.size()), count};
            for (uint16_t k = 0; k < count; ++k) layer_.corners.push_back(data.vx());
            layer_.polygons.push_back(polygon);
        }
        layer_.lastPolsCount = layer_.polygons.size() - layer_.lastPolsFirst;
    }

    void readPolygonTags(size_t at, ChunkData& data) {
        // Parts and smoothing groups do not change a static mesh.
        if (data.id4() != "SURF" || !layer_.lastPolsFaces) return;
        size_t outOfRange = 0, first = 0, entry = 0;
        while (!data.atEnd()) {
            const uint32_t polygon = data.vx();
            const uint16_t tag = data.u2();
            if (polygon < layer_.lastPolsCount && tag < tags_.size())
                layer_.polygons[layer_.lastPolsFirst + polygon].tag = tag;
            else if (outOfRange++ == 0)
                first = entry;
            ++entry;
        }
        warnOutOfRange("PTAG", at, outOfRange, first, "a polygon or tag");
    }

    // The TXUV map a layer's corners take: the first one the layer names.
    bool usesUvMap(ChunkData& data) {
        const std::string_view type = data.id4();
        const uint16_t dimension = data.u2();
        const std::string_view name = data.s0();
        if (type != "TXUV" || dimension != 2) return false;
        if (!layer_.uvMapChosen) {
            layer_.uvMap = std::string(name);
            layer_.uvMapChosen = true;
        }
        return name == layer_.uvMap;
    }

    void readPointUvs(size_t at, ChunkData& data) {
        if (!usesUvMap(data)) return;
        size_t outOfRange = 0, first = 0, entry = 0;
        while (!data.atEnd()) {
            const uint32_t point = data.vx();
            const float u = data.f4(), v = data.f4();
            if (point < layer_.points.size()) {
                layer_.uv[point * 2] = u;
                layer_.uv[point * 2 + 1] = v;
            } else if (outOfRange++ == 0) {
                first = entry;
            }
            ++entry;
        }
        warnOutOfRange("VMAP", at, outOfRange, first, "a point");
    }

    void readPolygonUvs(size_t at, ChunkData& data) {
        if (!usesUvMap(data) || !layer_.lastPolsFaces) return;
        size_t outOfRange = 0, first = 0, entry = 0;
        while (!data.atEnd()) {
            const uint32_t point = data.vx();
            const uint32_t polygon = data.vx();
            const float u = data.f4(), v = data.f4();
            if (point < layer_.points.size() && polygon < layer_.lastPolsCount) {
                const uint64_t key = uint64_t{layer_.lastPolsFirst + polygon} << 32 | point;
                layer_.polygonUv[key] = {u, v};
            } else if (outOfRange++ == 0) {
                first = entry;
            }
            ++entry;
        }
        warnOutOfRange("VMAD", at, outOfRange, first, "a point or polygon");
    }

    // The surface's name and, from the first enabled image block on its
    // colour channel, the clip it shows.
    void readSurface(ChunkData& data) {
        const std::string name(data.s0());
        data.s0();  // the surface it derives from
        Surface surface;
        while (!data.atEnd()) {
            SubChunk block = nextSubChunk(data);
            if (block.id != "BLOK" || surface.hasImage) continue;
            SubChunk header = nextSubChunk(block.data);
            if (header.id != "IMAP") continue;
            header.data.s0();  // the ordinal that orders blocks
            bool colour = false, enabled = true;
            while (!header.data.atEnd()) {
                SubChunk field = nextSubChunk(header.data);
                if (field.id == "CHAN") colour = field.data.id4() == "COLR";
                if (field.id == "ENAB") enabled = field.data.u2() != 0;
            }
            if (!colour || !enabled) continue;
            while (!block.data.atEnd()) {
                SubChunk field = nextSubChunk(block.data);
                if (field.id != "IMAG") continue;
                surface.clip = field.data.vx();
                surface.hasImage = surface.clip != 0;  // 0: no image
            }
        }
        surfaces_.try_emplace(name, surface);
    }

    void readClip(ChunkData& data) {
        const uint32_t index = data.u4();
        while (!data.atEnd()) {
            SubChunk sub = nextSubChunk(data);
            if (sub.id == "STIL") clips_.try_emplace(index, std::string(sub.data.s0()));
        }
    }

    // The layer's polygons as triangles: fanned from their first point, the
    // corners reversed into the map's winding.
    void finishLayer() {
        size_t skipped = 0, first = 0;
        for (size_t p = 0; p < layer_.polygons.size(); ++p) {
            const Polygon& polygon = layer_.polygons[p];
            if (polygon.count < 3) continue;  // points and lines: nothing to fill
            const uint32_t* corners = &layer_.corners[polygon.first];
            bool inRange = true;
            for (uint16_t k = 0; k < polygon.count; ++k) inRange = inRange && corners[k] < layer_.points.size();
            if (!inRange) {
                if (skipped++ == 0) first = p;
                continue;
            }
            const bool named = polygon.tag >= 0 && static_cast<size_t>(polygon.tag) < tags_.size();
            const size_t group = build_.group(named ? tags_[static_cast<size_t>(polygon.tag)] : std::string(), "");
            for (uint16_t k = 1; k + 1 < polygon.count; ++k) {
                const uint32_t triangle[3] = {corners[0], corners[k + 1], corners[k]};
                Vector3 positions[3];
                float st[3][2];
                for (int c = 0; c < 3; ++c) {
                    const uint32_t point = triangle[c];
                    positions[c] = layer_.points[point];
                    float u = layer_.uv[point * 2], v = layer_.uv[point * 2 + 1];
                    const auto own = layer_.polygonUv.find(uint64_t{p} << 32 | point);
                    if (own != layer_.polygonUv.end()) std::tie(u, v) = own->second;
                    st[c][0] = u;
                    st[c][1] = 1.0f - v;
                }
                build_.addTriangle(group, positions, st, nullptr);
            }
        }
        if (skipped > 0)
            warn("POLS", layer_.polsAt,
                 std::to_string(skipped) + " polygon" + (skipped == 1 ? "" : "s") +
                     " name a point out of range (first: polygon " + std::to_string(first) + "); skipped");
        layer_ = Layer{};
    }

    void warn(std::string_view chunk, size_t at, const std::string& what) {
        build_.warn(name_ + ": chunk " + std::string(chunk) + " at byte " + std::to_string(at) + ": " + what);
    }
    void warnOutOfRange(std::string_view chunk, size_t at, size_t count, size_t first, const char* what) {
        if (count == 0) return;
        warn(chunk, at,
             std::to_string(count) + " entr" + (count == 1 ? "y" : "ies") + " name " + what +
                 " out of range (first: entry " + std::to_string(first) + "); ignored");
    }

    std::string_view bytes_;
    const std::string& name_;
    MeshModel* model_;
    MeshBuilder build_;
    std::vector<std::string> tags_;
    Layer layer_;
    std::unordered_map<std::string, Surface> surfaces_;
    std::unordered_map<uint32_t, std::string> clips_;
    int otherPolygonChunks_ = 0;
};

}  // namespace

bool readLwoModel(std::string_view bytes, const std::string& name, MeshModel* model, std::string* error) {
    *model = MeshModel{};
    LwoReader reader(bytes, name, model);
    if (reader.read(error)) return true;
    *model = MeshModel{};
    return false;
}

bool readLwoFile(const char* path, MeshModel* model, std::string* error) {
    PatternReader file;
    if (!file.open(path, error)) return false;
    if (!readLwoModel(file.text(), path, model, error)) return false;
    // A file cut short under the mapping read as zeros: nothing of it holds.
    if (!file.outcome(true, error)) {
        *model = MeshModel{};
        return false;
    }
    return true;
}

}  // namespace q
