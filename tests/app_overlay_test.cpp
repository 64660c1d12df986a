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

    // The portal display's count and a notice (C's place) follow the place lines.
    values.portalsPassed = 3;
    values.portalsTotal = 12;
    values.notice = "quorvane: --start 1 2 3 --look 0 0";
    EXPECT_EQ(linesOf(values)[3], std::make_pair(100.0f, std::string("3 of 12 portals passed")));
    EXPECT_EQ(linesOf(values)[4], std::make_pair(125.0f, std::string(values.notice)));

    // M's line below it, a part to a line, each cut to the line's buffer.
    const std::string material(200, 'm');
    const std::string pick = "quorvane: looking at " + material + " (no definition); area 2 of copy 0; entity d (door)";
    values.pick = pick.c_str();
    const auto picked = linesOf(values);
    EXPECT_EQ(picked[5], std::make_pair(150.0f, pick.substr(0, 127)));
    EXPECT_EQ(picked[6], std::make_pair(175.0f, std::string("area 2 of copy 0")));
    EXPECT_EQ(picked[7], std::make_pair(200.0f, std::string("entity d (door)")));
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
