// --report on generated maps whose visibility is known by construction: what
// each area draws, and that the viewer started at a reported worst eye draws
// as many areas in its first frame as the report says.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/visibility_report.h"
#include "app/visibility_survey.h"
#include "e2e/run_shell.h"

namespace q {
namespace {

long long integer(const std::string& text, const char* key) {
    const std::string tag = std::string("\"") + key + "\":";
    const size_t at = text.find(tag);
    return at == std::string::npos ? -1 : std::strtoll(text.c_str() + at + tag.size(), nullptr, 10);
}

std::string field(const std::string& text, const char* key, char open, char close) {
    const std::string tag = std::string("\"") + key + "\":";
    const size_t at = text.find(tag);
    if (at == std::string::npos || text[at + tag.size()] != open) return "";
    return text.substr(at + tag.size() + 1, text.find(close, at + tag.size() + 1) - at - tag.size() - 1);
}

std::string list(const std::string& text, const char* key) { return field(text, key, '[', ']'); }

// Each entry of the report's "areas", as its own text.
std::vector<std::string> areaEntries(const std::string& report) {
    std::vector<std::string> entries;
    const size_t end = report.find("],\"portals\":");
    for (size_t at = report.find("{\"area\":"); at < end; at = report.find("{\"area\":", at + 1))
        entries.push_back(report.substr(at, report.find('}', at) - at + 1));
    return entries;
}

struct ReportRun {
    std::string dir, map, report;
};

ReportRun reportOn(const std::string& preset, const std::string& map) {
    ReportRun run{::testing::TempDir() + "quorvane_report_e2e_" + std::to_string(::getpid()) + "_" + map, map, ""};
    EXPECT_EQ(runShell("'" + std::string(MAPGEN_BINARY) + "' " + preset + " '" + run.dir + "'").exitCode, 0);
    const Result made =
        runShell("'" + std::string(QUORVANE_BINARY) + "' --dir '" + run.dir + "' " + map + " --report '" + run.dir + "/r.json'");
    EXPECT_EQ(made.exitCode, 0) << made.output;
    EXPECT_NE(made.output.find("areas surveyed"), std::string::npos) << made.output;
    std::ifstream in(run.dir + "/r.json");
    std::stringstream text;
    text << in.rdbuf();
    run.report = text.str();
    return run;
}

TEST(ReportEndToEnd, AreasDrawnAreWhatTheMapsLetThroughAndWorstEyesDrawTheSame) {
    // Rooms turning back at every doorway: each sees itself and its
    // neighbours, never further; the outside (area 0) has no floor to stand on.
    const ReportRun bends = reportOn("bends 5", "bends5");
    const std::vector<std::string> areas = areaEntries(bends.report);
    ASSERT_EQ(areas.size(), 6u) << bends.report;
    EXPECT_EQ(integer(areas[0], "eyes"), 0);
    EXPECT_EQ(list(bends.report, "areasWithoutEyes"), "0");
    EXPECT_EQ(list(bends.report, "portalsNeverPassed"), "");
    const char* sees[] = {"", "1,2", "1,2,3", "2,3,4", "3,4,5", "4,5"};
    for (int a = 1; a <= 5; ++a) {
        const std::string& entry = areas[static_cast<size_t>(a)];
        EXPECT_EQ(integer(entry, "area"), a);
        EXPECT_GE(integer(entry, "eyes"), 2) << entry;  // a room twice as long as wide is sampled along it
        EXPECT_EQ(list(entry, "sees"), sees[a]) << entry;
        EXPECT_EQ(integer(entry, "areasDrawnMax"), (a == 1 || a == 5) ? 2 : 3) << entry;
        EXPECT_EQ(integer(entry, "seenFrom"), (a == 1 || a == 5) ? 1 : 2) << entry;
        EXPECT_EQ(integer(entry, "portalsPassed"), (a == 1 || a == 5) ? 1 : 2) << entry;
    }
    EXPECT_GT(integer(bends.report, "timesPassed"), 0);

    // Two rooms through one doorway: every area from every area.
    const ReportRun open = reportOn("tworooms", "tworooms");
    for (const std::string& entry : areaEntries(open.report))
        if (integer(entry, "area") > 0) {
            EXPECT_EQ(list(entry, "sees"), "1,2") << entry;
            EXPECT_EQ(integer(entry, "areasDrawnMax"), 2) << entry;
        }

    // The viewer at each worst eye, with the options as given: its first
    // frame draws the areas the report counted for that eye.
    const ReportRun twoDoors = reportOn("twodoors", "twodoors");
    for (const ReportRun* run : {&bends, &twoDoors}) {
        for (const std::string& entry : areaEntries(run->report)) {
            const std::string eye = field(entry, "worstEye", '"', '"');
            if (eye.empty()) continue;
            const Result frame = runShell("'" + std::string(QUORVANE_BINARY) + "' --dir '" + run->dir + "' " + run->map +
                                          " --headless --frames 1 --trace '" + run->dir + "/t.jsonl' " + eye);
            ASSERT_EQ(frame.exitCode, 0) << frame.output;
            std::ifstream in(run->dir + "/t.jsonl");
            std::string first;
            std::getline(in, first);
            EXPECT_EQ(integer(first, "visibleAreas"), integer(entry, "areasDrawnMax")) << run->map << ": " << eye;
        }
    }
    for (const ReportRun* run : {&bends, &open, &twoDoors}) std::filesystem::remove_all(run->dir);
}

// What the report derives from the survey: portals never passed, the areas
// ranked by what they draw and by how many others draw them, areas without eyes.
TEST(ReportJson, ListsWhatNoEyeReachedAndRanksTheAreas) {
    VisibilitySurvey survey;
    survey.areas.resize(4);
    survey.areas[1].eyes = 2;
    survey.areas[1].areasDrawnMax = 3;
    survey.areas[1].seenFrom = 1;
    survey.areas[2].eyes = 1;
    survey.areas[2].areasDrawnMax = 3;
    survey.areas[2].areasDrawnMean = 2.5;  // more on the mean: ahead of area 1
    survey.areas[3].eyes = 4;
    survey.areas[3].areasDrawnMax = 1;
    survey.areas[3].seenFrom = 2;
    survey.portalTimesPassed = {3, 0, 1, 0};
    const std::string json = visibilityReportJson("m\"ap", survey, 0.25);
    EXPECT_EQ(json.rfind("{\"map\":\"m\\\"ap\"", 0), 0u) << json;
    EXPECT_EQ(list(json, "portalsNeverPassed"), "1,3");
    EXPECT_EQ(list(json, "areasByDrawn"), "2,1,3");
    EXPECT_EQ(list(json, "areasBySeenFrom"), "3,1,2");
    EXPECT_EQ(list(json, "areasWithoutEyes"), "0");
    EXPECT_NE(json.find("\"worstEye\":null"), std::string::npos);  // an area without eyes has none
}

}  // namespace
}  // namespace q
