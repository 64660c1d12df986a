#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "app/overlay.h"

namespace q {
namespace {

std::vector<std::pair<float, std::string>> linesOf(const OverlayValues& values) {
    OverlayLines out;
    buildOverlayLines(values, &out);
    std::vector<std::pair<float, std::string>> result;
    for (int i = 0; i < out.count; ++i) result.emplace_back(out.lines[i].y, out.lines[i].text);
    return result;
}

TEST(AppOverlay, PortalModeShowsPlaceRateCountAndKeyHelp) {
    OverlayValues values;
    values.instanceIndex = 2;
    values.areaIndex = 17;
    values.fps = 59.5f;
    values.visibleAreas = 4;
    values.portalMode = true;
    const std::vector<std::pair<float, std::string>> expected = {
        {0, "bsp node 2 "},
        {25, "bsp area 17 "},
        {50, "fps 59.500000 "},
        {500, "Press TAB to switch render mode"},
        {525, "Click left mouse button to jump/fly\n"},
        {75, "visible area:4 "},
        {550, "Now rendering with portals"},
        {575, "Press F to draw frustums"},
        {600, "N free flight, P portals, C print place, F5 reload, Shift fast"},
    };
    EXPECT_EQ(linesOf(values), expected);
}

TEST(AppOverlay, WithoutPortalsOneModeLineAndNoAreaCount) {
    OverlayValues values;
    values.instanceIndex = -1;  // camera outside every copy
    values.areaIndex = 3;
    values.fps = 0.0f;          // the first second
    values.visibleAreas = 40;
    values.portalMode = false;
    const std::vector<std::pair<float, std::string>> expected = {
        {0, "bsp node -1 "},
        {25, "bsp area 3 "},
        {50, "fps 0.000000 "},
        {500, "Press TAB to switch render mode"},
        {525, "Click left mouse button to jump/fly\n"},
        {550, "Now rendering without portals"},
        {600, "N free flight, P portals, C print place, F5 reload, Shift fast"},
    };
    EXPECT_EQ(linesOf(values), expected);

    // The portal display's count and the frame's cost, then the timed lines (C's
    // place), follow the place lines.
    values.portalsPassed = 3;
    values.portalsTotal = 12;
    TimedLines timed;
    timed.show("place", "quorvane: --start 1 2 3 --look 0 0", nullptr, false, 0, 4000);
    values.timedLines = &timed;
    values.cost.drawCalls = 40;
    values.cost.triangles = 3000000000;
    EXPECT_EQ(linesOf(values)[3], std::make_pair(100.0f, std::string("3 of 12 portals passed")));
    EXPECT_EQ(linesOf(values)[4], std::make_pair(125.0f, std::string("40 draws, 3000000000 triangles")));
    EXPECT_EQ(linesOf(values)[5], std::make_pair(150.0f, std::string("quorvane: --start 1 2 3 --look 0 0")));

    // Under the map's lights their count comes first, the rest a line lower.
    values.lightsDrawn = 2;
    values.lightsTotal = 20;
    EXPECT_EQ(linesOf(values)[3], std::make_pair(100.0f, std::string("lights 2 of 20")));
    EXPECT_EQ(linesOf(values)[4], std::make_pair(125.0f, std::string("3 of 12 portals passed")));
    EXPECT_EQ(linesOf(values)[6], std::make_pair(175.0f, std::string("quorvane: --start 1 2 3 --look 0 0")));
}

// Reports and the place line share the timed lines: a report made before the
// clock starts (while the map loads) waits for it, the same report again is
// counted on its line, a long one is wrapped at spaces within the screen, and
// each goes when its time is up.
TEST(AppOverlay, TimedLinesCountRepeatsWrapLongTextsAndGoInTime) {
    TimedLines timed;
    timed.show("zop", "zop", "portal 1 of m.proc", true, 0, 6000);
    OverlayValues values;
    values.timedLines = &timed;
    values.nowMs = 900000;
    auto timedRows = [&] {
        std::vector<std::string> rows;
        for (const auto& [y, text] : linesOf(values))
            if (y >= 125 && y < 500) rows.push_back(text);
        return rows;
    };
    EXPECT_EQ(timedRows(), std::vector<std::string>{"zop (portal 1 of m.proc)"}) << "not started: still up";
    timed.start(900000);
    timed.show("zop", "zop", "portal 2 of m.proc", true, 901000, 6000);
    timed.show("zop", "zop", "portal 3 of m.proc", true, 902000, 6000);
    const std::string longText = "The map a_rather_long_map_name was not reloaded; the one read before stays: " +
                                 std::string("m.proc:12: expected a portal point ( x y z ), found ") + std::string(60, 'w');
    timed.show(longText.c_str(), longText.c_str(), nullptr, true, 903000, 6000);
    timed.show("place", "quorvane: --start 1 2 3 --look 0 0", nullptr, false, 903000, 4000);
    timed.show("place", "quorvane: --start 4 5 6 --look 0 0", nullptr, false, 903500, 4000);
    values.nowMs = 904000;
    std::vector<std::string> rows = timedRows();
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0], "zop (x3)");
    EXPECT_EQ(rows[1], "The map a_rather_long_map_name was not reloaded; the one read before stays:");
    EXPECT_EQ(rows[1] + " " + rows[2] + " " + rows[3], longText) << "wrapped at spaces, nothing lost";
    EXPECT_EQ(rows[4], "quorvane: --start 4 5 6 --look 0 0") << "C again replaces its line";
    values.nowMs = 907999;  // the zop line's last repeat was at 902000
    EXPECT_EQ(timedRows().front(), "zop (x3)");
    values.nowMs = 908000;
    EXPECT_EQ(timedRows().front(), rows[1]);
    timed.show("zop", "zop", "portal 9 of m.proc", true, 908000, 6000);
    EXPECT_EQ(timedRows().back(), "zop (portal 9 of m.proc)") << "once gone, counted anew";

    // More reports than lines: the oldest gives way; a row of wide characters
    // is cut to the line buffer with each character whole.
    std::string wall;
    for (int i = 0; i < 60; ++i) wall += "墙";
    for (int i = 0; i < TimedLines::kMaxLines + 1; ++i) {
        const std::string text = "报告 " + std::to_string(i) + " " + wall;
        timed.show(text.c_str(), text.c_str(), nullptr, true, 910000, 6000);
    }
    values.nowMs = 910000;
    rows = timedRows();
    ASSERT_EQ(rows.size(), 15u) << "rows stop above the key help at 500";
    EXPECT_EQ(rows[0], "报告 1");
    EXPECT_EQ(rows[1], wall.substr(0, 42 * 3));
    EXPECT_EQ(rows[2], wall.substr(42 * 3));

    // A line break starts a row: M's parts (material, area, entity) a row each.
    TimedLines parts;
    parts.show("pick", "quorvane: looking at m (no definition)\narea 2 of copy 0\nentity d (door)", nullptr, false, 0, 4000);
    values.timedLines = &parts;
    EXPECT_EQ(timedRows(), (std::vector<std::string>{"quorvane: looking at m (no definition)", "area 2 of copy 0",
                                                     "entity d (door)"}));
}

TEST(AppOverlay, ExtremeValuesStayWithinTheLineBuffer) {
    OverlayValues values;
    values.instanceIndex = -2147483647 - 1;
    values.areaIndex = 2147483647;
    values.fps = 3.0e38f;
    values.visibleAreas = -2147483647 - 1;
    const auto lines = linesOf(values);
    EXPECT_EQ(lines[0].second, "bsp node -2147483648 ");
    EXPECT_EQ(lines[2].second.substr(0, 4), "fps ");
    EXPECT_EQ(lines[2].second.back(), ' ');  // the whole number fitted, nothing was cut
    EXPECT_EQ(lines[5].second, "visible area:-2147483648 ");
}

}  // namespace
}  // namespace q
