// Any bytes as a map source: the reader either refuses them with
// "<file>:<line>: ..." or gives entities whose placements are finite, each
// entity that did not read named by its file and line, and every model an
// entity places found by its name. The entities then place models in a small
// map of two areas: every area they reach is one of the map's.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "map/map_data.h"
#include "map/map_source.h"
#include "map/pattern_reader.h"

namespace {

void checkSource(const q::MapSource& source, const std::string& path) {
    using q::fuzz::broken;
    for (const std::string& problem : source.entityProblems)
        if (!q::fuzz::hasFileLineShape(problem, path)) broken("entity problem without <file>:<line>:", problem);
    for (const q::SourceEntity& entity : source.entities) {
        if (entity.line < 1) broken("entity without a line", entity.classname);
        if (!entity.usable) continue;
        for (const auto& row : entity.placement.m)
            for (float value : row)
                if (!std::isfinite(value)) broken("placement not finite", entity.model);
        if (!entity.model.empty() && (!source.entityPlacing(entity.model) ||
                                      source.entityPlacing(entity.model)->model != entity.model))
            broken("a placed model not found by its name", entity.model);
    }
}

// Two areas split by the plane x = 0; a model of one unit around its origin
// for every model the source places.
void checkPlacement(const q::MapSource& source) {
    q::MapData map;
    map.areas.resize(2);
    map.bspNodes.push_back({-1, -2, {1.0f, 0.0f, 0.0f, 0.0f}});
    for (const q::SourceEntity& entity : source.entities) {
        if (!entity.usable || entity.model.empty()) continue;
        q::EntityModel& model = map.entityModels.emplace_back();
        model.name = entity.model;
        model.bounds = {{-1, -1, -1}, {1, 1, 1}};
    }
    map.placeEntities(source);
    for (const q::EntityModel& model : map.entityModels) {
        if (model.solid) q::fuzz::broken("solid without a collision model", model.name);
        for (int area : model.areas)
            if (area < 0 || area > 1) q::fuzz::broken("an area the map does not have", std::to_string(area));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = q::fuzz::scratchPath(".map");
    q::fuzz::writeFile(path, data, size);

    q::PatternReader file;
    q::MapSource source;
    std::string error;
    if (!file.open(path.c_str(), &error)) return 0;  // an empty file cannot be opened as text
    if (file.outcome(source.readText(file), &error)) {
        checkSource(source, path);
        checkPlacement(source);
    } else if (!q::fuzz::hasFileLineShape(error, path)) {
        q::fuzz::broken("refusal without <file>:<line>:", error);
    }
    return 0;
}
