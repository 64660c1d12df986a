#pragma once
// The text lines drawn over every frame: where the camera is, the frame rate,
// how much was drawn and the key help.

#include <cstdint>

#include "world/frame_cost.h"

namespace q {

constexpr uint32_t kOverlayColour = 0xff0000ffu;  // opaque blue

struct OverlayLine {
    float y = 0.0f;   // back-buffer pixels from the top; x is always 0
    char text[128] = {};
};

struct OverlayLines {
    OverlayLine lines[28];
    int count = 0;
};

// Lines shown over the picture for a while: the place C printed, the reports
// made while the viewer runs, and whatever else needs a few seconds of the
// screen. A line is known by its key: showing the same key again while its line
// is up replaces its text and restarts its time; with counted, the same text
// again is counted on it instead ("zop (x3)"), so a report made every frame
// takes one line, not the screen. Fixed tables: nothing is allocated.
class TimedLines {
public:
    static constexpr int kMaxLines = 8;
    static constexpr int kTextBytes = 384;
    static constexpr int kColumns = 84;  // characters a row: about the back buffer's width in the overlay font

    // Shows text under key from nowMs for durationMs; when every line is up,
    // in place of the one that went up first. counted: the same text again is
    // counted; the detail (may be null) is shown with a text seen once, the
    // count in its place after.
    void show(const char* key, const char* text, const char* detail, bool counted, uint32_t nowMs,
              uint32_t durationMs);
    // Lines shown before the clock starts (the reports of the map's loading,
    // before the first frame) start their time with it.
    void start(uint32_t nowMs);
    // Adds the rows of the lines up at nowMs to out, oldest first, from y down
    // to below maxY, long texts wrapped at spaces into rows of kColumns.
    void addTo(OverlayLines* out, float y, float maxY, uint32_t nowMs) const;

private:
    struct Line {
        char key[64] = {};
        char text[kTextBytes] = {};
        char detail[128] = {};
        bool hasDetail = false;
        uint32_t count = 0;
        uint32_t sinceMs = 0;
        uint32_t durationMs = 0;
        uint64_t order = 0;  // when first shown: the drawing order
        bool used = false;
    };
    bool upAt(const Line& line, uint32_t nowMs) const;
    Line lines_[kMaxLines];
    uint64_t shown_ = 0;
    bool started_ = false;
};

struct OverlayValues {
    int instanceIndex = -1;  // -1: the camera is in no instance
    int areaIndex = 0;
    float fps = 0.0f;
    int visibleAreas = 0;
    bool portalMode = true;
    // The lines shown for a while (C's place, reports), as they are at nowMs.
    const TimedLines* timedLines = nullptr;
    uint32_t nowMs = 0;
    // The portal display (P): how many of the portals of the copies entered
    // this frame the flow looked through; total < 0 while it is off.
    int portalsPassed = 0;
    int portalsTotal = -1;
    FrameCost cost;  // shown with the portal display
    // The map's lights: drawn this frame, and the map's over the copies drawn;
    // total < 0 under the camera light.
    int lightsDrawn = 0;
    int lightsTotal = -1;
};

// Fills `out` with this frame's lines in drawing order. Allocates nothing.
void buildOverlayLines(const OverlayValues& values, OverlayLines* out);

}  // namespace q
