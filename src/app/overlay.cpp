#include "app/overlay.h"

#include <cstdio>
#include <cstring>

namespace q {

namespace {

OverlayLine* nextLine(OverlayLines* out, float y) {
    OverlayLine* line = &out->lines[out->count++];
    line->y = y;
    return line;
}

void addText(OverlayLines* out, float y, const char* text) {
    std::snprintf(nextLine(out, y)->text, sizeof(OverlayLine::text), "%s", text);
}

}  // namespace

void buildOverlayLines(const OverlayValues& values, OverlayLines* out) {
    out->count = 0;
    std::snprintf(nextLine(out, 0)->text, sizeof(OverlayLine::text), "bsp node %d ", values.instanceIndex);
    std::snprintf(nextLine(out, 25)->text, sizeof(OverlayLine::text), "bsp area %d ", values.areaIndex);
    std::snprintf(nextLine(out, 50)->text, sizeof(OverlayLine::text), "fps %f ", static_cast<double>(values.fps));
    if (values.portalsTotal >= 0)
        std::snprintf(nextLine(out, 100)->text, sizeof(OverlayLine::text), "%d of %d portals passed",
                      values.portalsPassed, values.portalsTotal);
    if (values.notice) addText(out, 125, values.notice);
    if (values.pick) {
        // The parts of M's line, each cut to a line of the overlay.
        const char* part = values.pick;
        for (float y = 150; y <= 225; y += 25) {
            const char* end = std::strstr(part, "; ");
            const int length = static_cast<int>(end ? end - part : std::strlen(part));
            std::snprintf(nextLine(out, y)->text, sizeof(OverlayLine::text), "%.*s", length, part);
            if (!end) break;
            part = end + 2;
        }
    }
    addText(out, 500, "Press TAB to switch render mode");
    addText(out, 525, "Click left mouse button to jump/fly\n");
    if (values.portalMode) {
        std::snprintf(nextLine(out, 75)->text, sizeof(OverlayLine::text), "visible area:%d ", values.visibleAreas);
        addText(out, 550, "Now rendering with portals");
        addText(out, 575, "Press F to draw frustums");
    } else {
        addText(out, 550, "Now rendering without portals");
    }
    addText(out, 600, "N free flight, P portals, C print place, F5 reload, Shift fast");
}

}  // namespace q
