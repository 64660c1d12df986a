#pragma once
// The text lines drawn over every frame: where the camera is, the frame rate,
// how much was drawn and the key help.

#include <cstdint>

namespace q {

constexpr uint32_t kOverlayColour = 0xff0000ffu;  // opaque blue

struct OverlayLine {
    float y = 0.0f;   // back-buffer pixels from the top; x is always 0
    char text[128] = {};
};

struct OverlayLines {
    OverlayLine lines[16];
    int count = 0;
};

struct OverlayValues {
    int instanceIndex = -1;  // -1: the camera is in no instance
    int areaIndex = 0;
    float fps = 0.0f;
    int visibleAreas = 0;
    bool portalMode = true;
    const char* notice = nullptr;  // a line shown for a while (the camera's place after C); null: none
    // What M found under the view, shown for a while: its parts (split at
    // "; ") each on a line of its own below the notice; null: none.
    const char* pick = nullptr;
    // The portal display (P): how many of the portals of the copies entered
    // this frame the flow looked through; total < 0 while it is off.
    int portalsPassed = 0;
    int portalsTotal = -1;
};

// Fills `out` with this frame's lines in drawing order. Allocates nothing.
void buildOverlayLines(const OverlayValues& values, OverlayLines* out);

}  // namespace q
