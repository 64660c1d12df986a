#include "app/visibility_report.h"

#include <algorithm>
#include <chrono>
#include <numeric>
#include <vector>

#include "app/map_info.h"
#include "app/report_page.h"
#include "app/visibility_survey.h"
#include "map/map_data.h"
#include "world/standing_point.h"

namespace q {

namespace {

std::string decimal(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

std::string planPoint(PlanPoint point) { return "[" + std::to_string(point.x) + "," + std::to_string(point.z) + "]"; }

std::string intList(const std::vector<int>& values) {
    std::string j = "[";
    for (size_t i = 0; i < values.size(); ++i) j += (i ? "," : "") + std::to_string(values[i]);
    return j + "]";
}

// The areas with eyes, most first by `key`, ties kept in area order.
template <typename Key>
std::vector<int> ranked(const VisibilitySurvey& survey, Key key) {
    std::vector<int> order;
    for (size_t a = 0; a < survey.areas.size(); ++a)
        if (survey.areas[a].eyes > 0) order.push_back(static_cast<int>(a));
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return key(survey.areas[static_cast<size_t>(a)]) > key(survey.areas[static_cast<size_t>(b)]);
    });
    return order;
}

}  // namespace

std::string visibilityReportJson(const std::string& mapBase, const VisibilitySurvey& survey, double seconds) {
    std::string j = "{\"map\":" + jsonString(mapBase);
    j += ",\"areaCount\":" + std::to_string(survey.areas.size());
    j += ",\"portalCount\":" + std::to_string(survey.portalTimesPassed.size());
    j += ",\"surfaces\":" + std::to_string(survey.surfaces);
    j += ",\"triangles\":" + std::to_string(survey.triangles);
    j += ",\"eyes\":" + std::to_string(survey.eyes);
    j += ",\"directions\":" + std::to_string(surveyAngles().size());
    j += ",\"views\":" + std::to_string(survey.views);
    j += ",\"seconds\":" + decimal(seconds);
    j += ",\"areas\":[";
    for (size_t a = 0; a < survey.areas.size(); ++a) {
        const AreaVisibility& r = survey.areas[a];
        j += (a ? ",{" : "{") + std::string("\"area\":") + std::to_string(a);
        j += ",\"eyes\":" + std::to_string(r.eyes) + ",\"floorsRefused\":" + std::to_string(r.floorsRefused);
        j += ",\"areasDrawnMax\":" + std::to_string(r.areasDrawnMax) + ",\"areasDrawnMean\":" + decimal(r.areasDrawnMean);
        j += ",\"surfacesDrawnMax\":" + std::to_string(r.surfacesDrawnMax) +
             ",\"surfacesDrawnMean\":" + decimal(r.surfacesDrawnMean);
        j += ",\"trianglesDrawnMax\":" + std::to_string(r.trianglesDrawnMax) +
             ",\"trianglesDrawnMean\":" + decimal(r.trianglesDrawnMean);
        j += ",\"portalsPassed\":" + std::to_string(r.portalsPassed);
        j += ",\"worstEye\":" + (r.worstEye.empty() ? std::string("null") : jsonString(r.worstEye));
        j += ",\"sees\":" + intList(r.sees) + ",\"seenFrom\":" + std::to_string(r.seenFrom);
        j += ",\"floor\":" + (r.band < 0 ? std::string("null") : std::to_string(r.floorHeight));
        j += ",\"band\":" + std::to_string(r.band) + ",\"outline\":[";
        for (size_t i = 0; i < r.outline.size(); ++i) j += (i ? "," : "") + planPoint(r.outline[i]);
        j += "]}";
    }
    j += "],\"portals\":[";
    std::vector<int> neverPassed;
    for (size_t p = 0; p < survey.portalTimesPassed.size(); ++p) {
        j += (p ? ",{" : "{") + std::string("\"portal\":") + std::to_string(p) +
             ",\"timesPassed\":" + std::to_string(survey.portalTimesPassed[p]);
        if (p < survey.portalPlan.size()) {
            const PlanPortal& plan = survey.portalPlan[p];
            j += ",\"areas\":" + intList({plan.areas[0], plan.areas[1]});
            j += ",\"ends\":[" + planPoint(plan.ends[0]) + "," + planPoint(plan.ends[1]) + "]";
        }
        j += "}";
        if (survey.portalTimesPassed[p] == 0) neverPassed.push_back(static_cast<int>(p));
    }
    j += "],\"portalsNeverPassed\":" + intList(neverPassed);
    j += ",\"areasByDrawn\":" + intList(ranked(survey, [](const AreaVisibility& r) {
             return std::pair(r.areasDrawnMax, r.areasDrawnMean);
         }));
    j += ",\"areasBySeenFrom\":" + intList(ranked(survey, [](const AreaVisibility& r) { return r.seenFrom; }));
    std::vector<int> withoutEyes;
    for (size_t a = 0; a < survey.areas.size(); ++a)
        if (survey.areas[a].eyes == 0) withoutEyes.push_back(static_cast<int>(a));
    j += ",\"areasWithoutEyes\":" + intList(withoutEyes);
    return j + "}\n";
}

int writeVisibilityReport(const std::string& mapBase, float eyeHeight, bool useMapSource, bool asPage,
                          std::FILE* out, std::string* error) {
    const auto started = std::chrono::steady_clock::now();
    MapData map;
    AreaFloors floors;
    PlanFloors plan(floors);
    if (!readMapToLookAt(mapBase, useMapSource, &map, nullptr, error)) return 1;
    plan.collect(map);

    // Progress at every tenth of the areas: a long map says it is working,
    // a short one says little.
    int lastTenth = 0;
    const auto progress = [&](size_t done, size_t total) {
        const int tenth = static_cast<int>(done * 10 / total);
        if (tenth == lastTenth) return;
        lastTenth = tenth;
        std::fprintf(stderr, "quorvane: report: %zu of %zu areas surveyed\n", done, total);
    };
    const std::string eyeOptions = std::string(" --instances 1") + (useMapSource ? "" : " --no-entities");
    VisibilitySurvey survey = surveyVisibility(map, floors, eyeHeight, kReportEyesPerArea, eyeOptions, progress);
    // A storey is apart from the one below when its floor lies more than a
    // standing person's eye above it.
    plan.drawPlan(map, eyeHeight, &survey);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const std::string json = visibilityReportJson(mapBase, survey, seconds);
    std::fputs((asPage ? visibilityReportPage(json) : json).c_str(), out);
    return 0;
}

}  // namespace q
