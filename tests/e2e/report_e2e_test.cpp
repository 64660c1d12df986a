// --report on generated maps whose visibility is known by construction: what
// each area draws, and that the viewer started at a reported worst eye draws
// as many areas in its first frame as the report says.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/report_page.h"
#include "app/visibility_report.h"
#include "app/visibility_survey.h"
#include "e2e/run_shell.h"
#include "image/image.h"
#include "image/image_png_read.h"

namespace q {
namespace {

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
    // The one portal more beside the first doorway (4, after the four
    // doorways) faces away from both its rooms and lies outside every view
    // through a doorway: it alone is never passed, and nothing else changes.
    const ReportRun bends = reportOn("bends 5 --dead-portal", "bends5");
    const std::vector<std::string> areas = areaEntries(bends.report);
    ASSERT_EQ(areas.size(), 6u) << bends.report;
    EXPECT_EQ(jsonInteger(areas[0], "eyes"), 0);
    EXPECT_EQ(list(bends.report, "areasWithoutEyes"), "0");
    EXPECT_EQ(list(bends.report, "portalsNeverPassed"), "4");
    const char* sees[] = {"", "1,2", "1,2,3", "2,3,4", "3,4,5", "4,5"};
    for (int a = 1; a <= 5; ++a) {
        const std::string& entry = areas[static_cast<size_t>(a)];
        EXPECT_EQ(jsonInteger(entry, "area"), a);
        EXPECT_GE(jsonInteger(entry, "eyes"), 2) << entry;  // a room twice as long as wide is sampled along it
        EXPECT_EQ(list(entry, "sees"), sees[a]) << entry;
        EXPECT_EQ(jsonInteger(entry, "areasDrawnMax"), (a == 1 || a == 5) ? 2 : 3) << entry;
        EXPECT_EQ(jsonInteger(entry, "seenFrom"), (a == 1 || a == 5) ? 1 : 2) << entry;
        EXPECT_EQ(jsonInteger(entry, "portalsPassed"), (a == 1 || a == 5) ? 1 : 2) << entry;
    }
    EXPECT_GT(jsonInteger(bends.report, "timesPassed"), 0);

    // Two rooms through one doorway: every area from every area.
    const ReportRun open = reportOn("tworooms", "tworooms");
    for (const std::string& entry : areaEntries(open.report))
        if (jsonInteger(entry, "area") > 0) {
            EXPECT_EQ(list(entry, "sees"), "1,2") << entry;
            EXPECT_EQ(jsonInteger(entry, "areasDrawnMax"), 2) << entry;
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
            EXPECT_EQ(jsonInteger(first, "visibleAreas"), jsonInteger(entry, "areasDrawnMax")) << run->map << ": " << eye;
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

    // On the page, a map name cannot end the script block holding the JSON.
    const std::string page = visibilityReportPage(visibilityReportJson("</script><b>x", survey, 0.25));
    EXPECT_EQ(page.find("</script><b>"), std::string::npos);
    EXPECT_NE(page.find("\\u003c/script>\\u003cb>x"), std::string::npos);
}

// The page in a real browser, on the two-storey demo: the plan of the lower
// storey with every area in its colour, and an area of the upper storey
// clicked (through the page's address) shown in the panel on its own plan.
TEST(ReportEndToEnd, PageDrawsThePlanInABrowserAndShowsTheAreaClicked) {
    const std::string dir = ::testing::TempDir() + "quorvane_report_page_" + std::to_string(::getpid());
    ASSERT_EQ(runShell("'" + std::string(MAPGEN_BINARY) + "' demo '" + dir + "'").exitCode, 0);
    const Result made =
        runShell("'" + std::string(QUORVANE_BINARY) + "' --dir '" + dir + "' bbb --report '" + dir + "/r.html'");
    ASSERT_EQ(made.exitCode, 0) << made.output;
    std::ifstream in(dir + "/r.html");
    std::stringstream text;
    text << in.rdbuf();
    const std::string page = text.str();
    for (const char* load : {"http://", "https://", "src=", "href=", "url(", "@import"})
        EXPECT_EQ(page.find(load), std::string::npos) << load;
    const std::string tag = "<script type=\"application/json\" id=\"report\">";
    const size_t json = page.find(tag);
    ASSERT_NE(json, std::string::npos);
    const std::string report = page.substr(json + tag.size(), page.find("</script>", json) - json - tag.size());
    const std::vector<std::string> areas = areaEntries(report);
    ASSERT_EQ(areas.size(), 25u);
    // Every area stands on floor 0 but three upstairs (and the grass outside):
    // two bands, the upper one chosen by the click.
    int upstairs = -1;
    int lowest = 1 << 30, highest = 0;
    for (const std::string& entry : areas) {
        EXPECT_GE(std::count(entry.begin(), entry.end(), '['), 5) << entry;  // "sees" and an outline of three corners at least
        lowest = std::min<int>(lowest, static_cast<int>(jsonInteger(entry, "areasDrawnMax")));
        highest = std::max<int>(highest, static_cast<int>(jsonInteger(entry, "areasDrawnMax")));
        EXPECT_TRUE(jsonInteger(entry, "band") == 0 || jsonInteger(entry, "band") == 1) << entry;
        if (jsonInteger(entry, "band") == 1) upstairs = static_cast<int>(jsonInteger(entry, "area"));
    }
    ASSERT_GT(upstairs, 0);
    EXPECT_NE(report.find("\"ends\":[["), std::string::npos);

    const Result found = runShell("command -v chromium");
    ASSERT_EQ(found.exitCode, 0) << "chromium is missing: scripts/install-deps --tests installs it";
    const std::string browser = "chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
                                "--disable-background-networking --disable-component-update --disable-sync "
                                "--user-data-dir='" + dir + "/browser' --window-size=1200,900 ";
    const Result shot = runShell(browser + "--screenshot='" + dir + "/page.png' 'file://" + dir + "/r.html'");
    ASSERT_EQ(shot.exitCode, 0) << shot.output;
    Image image;
    std::string error;
    ASSERT_TRUE(loadPng((dir + "/page.png").c_str(), &image, &error)) << error;
    // The page's scale: pale yellow for the fewest areas drawn, deep red for the most.
    const auto colourOf = [&](long long drawn, int channel) {
        const int low[3] = {255, 237, 160}, high[3] = {189, 0, 38};
        const double t = static_cast<double>(drawn - lowest) / (highest - lowest);
        return static_cast<int>(std::round(low[channel] + (high[channel] - low[channel]) * t));
    };
    const auto pixelsOf = [&](long long drawn) {
        int count = 0;
        for (size_t i = 0; i + 3 < image.rgba.size(); i += 4) {
            bool near = true;
            for (int c = 0; c < 3; ++c) near = near && std::abs(image.rgba[i + static_cast<size_t>(c)] - colourOf(drawn, c)) <= 3;
            count += near;
        }
        return count;
    };
    for (const std::string& entry : areas) {
        if (jsonInteger(entry, "band") != 0) continue;
        EXPECT_GT(pixelsOf(jsonInteger(entry, "areasDrawnMax")), 200) << "not on the plan: " << entry;
    }

    const Result dom = runShell(browser + "--dump-dom 'file://" + dir + "/r.html#click=" + std::to_string(upstairs) + "'");
    ASSERT_EQ(dom.exitCode, 0) << dom.output;
    const size_t panelAt = dom.output.find("id=\"figures\"");
    ASSERT_NE(panelAt, std::string::npos) << dom.output;
    const std::string panel = dom.output.substr(panelAt, dom.output.find("</aside>", panelAt) - panelAt);
    const std::string& entry = areas[static_cast<size_t>(upstairs)];
    EXPECT_NE(panel.find("Area " + std::to_string(upstairs) + "<"), std::string::npos) << panel;
    EXPECT_NE(panel.find("Sees: "), std::string::npos) << panel;
    EXPECT_NE(panel.find(field(entry, "worstEye", '"', '"')), std::string::npos) << panel;
    EXPECT_NE(panel.find("<td>" + std::to_string(jsonInteger(entry, "trianglesDrawnMax")) + "</td>"), std::string::npos);
    // The plan switched to the upper storey: the area is on it, the ground floor's first room is not.
    EXPECT_NE(dom.output.find("id=\"area" + std::to_string(upstairs) + "\""), std::string::npos);
    EXPECT_EQ(dom.output.find("id=\"area1\""), std::string::npos);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace q
