// The map source reader. Entities are read for their keys; every primitive
// block inside them is passed over by counting braces, with quoted text (a
// material name may hold a brace) and "//" comments respected, so the reader
// goes over a large source at the speed of a byte scan and never needs to
// understand brush or patch forms.

#include "map/map_source.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <numbers>
#include <string>

#include "map/map_data.h"
#include "map/number_text.h"
#include "map/pattern_reader.h"
#include "platform/report.h"

namespace q {

namespace {

// Positions past this are not a place in any map (and would overflow the
// world's arithmetic once copies are placed).
constexpr float kLargestCoordinate = 1e7f;

bool isWhite(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// A cursor over the text: white space and comments between tokens are passed
// over by skipBlank.
class SourceScanner {
public:
    explicit SourceScanner(PatternReader& file) : file_(file), text_(file.text()) {}

    size_t position() const { return pos_; }
    bool atEnd() { return skipBlank() >= text_.size(); }
    char peek() { return skipBlank() < text_.size() ? text_[pos_] : '\0'; }
    void advance() { ++pos_; }

    // The next quoted string's contents; false (recorded) when the next token
    // is not one or it is not closed on its line.
    bool quoted(const char* what, std::string_view* out) {
        const size_t at = skipBlank();
        if (at >= text_.size() || text_[at] != '"') return file_.failAt(at, what);
        size_t end = at + 1;
        while (end < text_.size() && text_[end] != '"' && text_[end] != '\n') ++end;
        if (end >= text_.size() || text_[end] != '"')
            return file_.failAt(at, std::string("the closing quote of ") + what);
        *out = text_.substr(at + 1, end - at - 1);
        pos_ = end + 1;
        return true;
    }

    // The next run of non-white characters.
    std::string_view word() {
        const size_t at = skipBlank();
        size_t end = at;
        while (end < text_.size() && !isWhite(text_[end])) ++end;
        pos_ = end;
        return text_.substr(at, end - at);
    }

    // Passes over a block whose opening brace is at the position, up to and
    // including its closing brace.
    bool skipBlock(const char* what) {
        const size_t opening = pos_;
        const size_t n = text_.size();
        size_t depth = 0;
        size_t i = pos_;
        while (i < n) {
            const char c = text_[i];
            if (c == '{') {
                ++depth;
            } else if (c == '}') {
                if (--depth == 0) {
                    pos_ = i + 1;
                    return true;
                }
            } else if (c == '"') {
                // A quoted name ends at its quote or, when a file has one that
                // is never closed, at the end of its line.
                ++i;
                while (i < n && text_[i] != '"' && text_[i] != '\n') ++i;
            } else if (c == '/' && i + 1 < n && text_[i + 1] == '/') {
                while (i < n && text_[i] != '\n') ++i;
            }
            ++i;
        }
        return file_.failAt(opening, std::string("the closing } of ") + what + " opened on line " +
                                         std::to_string(file_.lineAt(opening)) + ", found the end of the file");
    }

private:
    size_t skipBlank() {
        const size_t n = text_.size();
        for (;;) {
            while (pos_ < n && isWhite(text_[pos_])) ++pos_;
            if (pos_ + 1 < n && text_[pos_] == '/' && text_[pos_ + 1] == '/') {
                while (pos_ < n && text_[pos_] != '\n') ++pos_;
                continue;
            }
            return pos_;
        }
    }

    PatternReader& file_;
    std::string_view text_;
    size_t pos_ = 0;
};


// The keys an entity is placed by, as text until the entity is whole.
struct PlacementKeys {
    std::string_view origin, rotation, angle;
    size_t originAt = 0, rotationAt = 0, angleAt = 0;
};

// A turn given in the file's axes, rows the directions the entity's own x, y
// and z axes take, as it turns in map space: rows and columns 1 and 2 exchange.
void setTurn(Matrix* placement, const float (&rows)[9]) {
    constexpr int kFileAxis[3] = {0, 2, 1};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) placement->m[i][j] = rows[3 * kFileAxis[i] + kFileAxis[j]];
}

// Fills in origin, turn and angle; false with the problem's line and what was
// expected in *problem.
bool place(SourceEntity& entity, const PlacementKeys& keys, const PatternReader& file, std::string* problem) {
    auto fail = [&](size_t at, const char* expected, std::string_view found) {
        *problem = file.name() + ":" + std::to_string(file.lineAt(at)) + ": expected " + expected + ", found \"" +
                   std::string(found.substr(0, 60)) + "\"; the entity is left out";
        return false;
    };
    if (keys.originAt) {
        float xyz[3];
        if (!readSourceNumbers(keys.origin, xyz, 3))
            return fail(keys.originAt, "an origin of three numbers \"x y z\"", keys.origin);
        entity.origin = fromFileAxes(xyz[0], xyz[1], xyz[2]);
    }
    if (keys.rotationAt) {
        float rows[9];
        if (!readSourceNumbers(keys.rotation, rows, 9))
            return fail(keys.rotationAt, "a rotation of nine numbers (three rows of three)", keys.rotation);
        setTurn(&entity.placement, rows);
    } else if (keys.angleAt) {
        float degrees = 0.0f;
        if (!readSourceNumbers(keys.angle, &degrees, 1))
            return fail(keys.angleAt, "an angle of one number (degrees about the vertical)", keys.angle);
        entity.angleDegrees = degrees;
        const double radians = static_cast<double>(degrees) * (std::numbers::pi / 180.0);
        const float c = static_cast<float>(std::cos(radians));
        const float s = static_cast<float>(std::sin(radians));
        setTurn(&entity.placement, {c, s, 0, -s, c, 0, 0, 0, 1});
    }
    entity.placement.m[3][0] = entity.origin.x;
    entity.placement.m[3][1] = entity.origin.y;
    entity.placement.m[3][2] = entity.origin.z;
    return true;
}

}  // namespace

bool readSourceNumbers(std::string_view text, float* out, int count) {
    size_t pos = 0;
    for (int i = 0; i < count; ++i) {
        while (pos < text.size() && isWhite(text[pos])) ++pos;
        const size_t taken = scanFloatText(text.substr(pos), &out[i]);
        if (taken == 0 || !std::isfinite(out[i]) || std::fabs(out[i]) > kLargestCoordinate) return false;
        pos += taken;
        if (pos < text.size() && !isWhite(text[pos])) return false;
    }
    while (pos < text.size() && isWhite(text[pos])) ++pos;
    return pos == text.size();
}

const std::string* SourceEntity::key(std::string_view name) const {
    for (const auto& [key, value] : otherKeys)
        if (key == name) return &value;
    return nullptr;
}

const SourceEntity* MapSource::entityPlacing(std::string_view model) const {
    const auto found = byModel_.find(std::string(model));
    return found == byModel_.end() ? nullptr : &entities[found->second];
}

const SourceEntity* MapSource::playerStart() const {
    for (const SourceEntity& entity : entities)
        if (entity.usable && entity.classname == "info_player_start") return &entity;
    return nullptr;
}

const SourceEntity* MapSource::entityNamed(std::string_view name) const {
    const auto found = byName_.find(std::string(name));
    return found == byName_.end() ? nullptr : &entities[found->second];
}

bool MapSource::boundToMover(const SourceEntity& entity) const {
    const SourceEntity* bound = &entity;
    for (int link = 0; link < kLongestBindChain && !bound->bind.empty(); ++link) {
        bound = entityNamed(bound->bind);
        if (!bound) return false;
        if (bound->classname != "func_static" && bound->classname != "worldspawn") return true;
    }
    return false;
}

bool MapSource::readText(PatternReader& file) {
    const size_t binaryAt = file.firstBinaryByte();
    if (binaryAt != std::string_view::npos) return file.failAt(binaryAt, "a text file, found a control byte");
    SourceScanner scan(file);
    // "Version N" comes first in the files compilers read; sources without it
    // read the same.
    if (scan.peek() == 'V') {
        const size_t at = scan.position();
        if (scan.word() != "Version") return file.failAt(at, "\"Version N\" or the { of the first entity");
        float version = 0.0f;
        if (!readSourceNumbers(scan.word(), &version, 1)) return file.failAt(at, "a version number after Version");
    }
    while (!scan.atEnd()) {
        const size_t entityAt = scan.position();
        if (scan.peek() != '{') return file.failAt(entityAt, "the { that opens an entity");
        scan.advance();
        SourceEntity entity;
        entity.line = file.lineAt(entityAt);
        PlacementKeys keys;
        for (;;) {
            const size_t at = scan.position();
            const char next = scan.peek();
            if (next == '}') {
                scan.advance();
                break;
            }
            if (next == '{') {
                if (!scan.skipBlock("a primitive")) return false;
                continue;
            }
            if (next == '\0')
                return file.failAt(at, "the closing } of the entity opened on line " + std::to_string(entity.line) +
                                           ", found the end of the file");
            std::string_view key, value;
            if (!scan.quoted("a \"key\", a primitive's { or the entity's closing }", &key)) return false;
            if (!scan.quoted("a \"value\" after the key", &value)) return false;
            if (key == "classname") {
                entity.classname = value;
            } else if (key == "name") {
                entity.name = value;
            } else if (key == "model") {
                entity.model = value;
            } else if (key == "bind") {
                entity.bind = value;
            } else if (key == "skin") {
                entity.skin = value;
            } else if (key == "origin") {
                keys.origin = value;
                keys.originAt = at;
            } else if (key == "rotation") {
                keys.rotation = value;
                keys.rotationAt = at;
            } else if (key == "angle") {
                keys.angle = value;
                keys.angleAt = at;
            } else {
                entity.otherKeys.emplace_back(key, value);
            }
        }
        std::string problem;
        entity.usable = place(entity, keys, file, &problem);
        if (!entity.usable) entityProblems.push_back(problem);
        if (entity.usable && !entity.model.empty()) byModel_.emplace(entity.model, entities.size());
        if (!entity.name.empty()) byName_.emplace(entity.name, entities.size());
        entities.push_back(std::move(entity));
    }
    return true;
}

bool readMapSourceBeside(const std::string& baseName, MapSource* out) {
    const std::string fileName = baseName + ".map";
    std::error_code ignored;
    if (!std::filesystem::is_regular_file(fileName, ignored)) return false;
    PatternReader file;
    MapSource source;
    source.fileName = fileName;
    std::string error;
    if (!file.open(fileName.c_str(), &error) || !file.outcome(source.readText(file), &error)) {
        warn((error + " (the map source is left out: entity models undrawn, the default start)").c_str());
        return false;
    }
    if (!source.entityProblems.empty()) {
        std::string line = std::to_string(source.entityProblems.size()) + " entities of " + fileName +
                           " did not read and are left out: " + source.entityProblems.front();
        if (source.entityProblems.size() > 1) line += " ...";
        warn(line.c_str());
    }
    *out = std::move(source);
    return true;
}

}  // namespace q
