#include "app/overlay.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

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

// The byte length of the first row of text: at most columns characters and
// maxBytes bytes (UTF-8 sequences kept whole), ended at a line break, or at the
// last space that fits when the text goes on.
size_t rowLength(const char* text, int columns, size_t maxBytes) {
    size_t end = 0, lastSpace = 0;
    for (int chars = 0; text[end] != '\0' && text[end] != '\n'; ++chars) {
        size_t next = end + 1;
        while ((static_cast<unsigned char>(text[next]) & 0xc0) == 0x80) ++next;
        if (chars == columns || next > maxBytes) return lastSpace > 0 ? lastSpace : end;
        if (text[end] == ' ') lastSpace = end;
        end = next;
    }
    return end;
}

}  // namespace

bool TimedLines::upAt(const Line& line, uint32_t nowMs) const {
    return line.used && (!started_ || nowMs - line.sinceMs < line.durationMs);
}

void TimedLines::show(const char* key, const char* text, const char* detail, bool counted, uint32_t nowMs,
                      uint32_t durationMs) {
    Line* slot = nullptr;
    for (Line& line : lines_)
        if (line.used && std::strncmp(line.key, key, sizeof line.key - 1) == 0) slot = &line;
    const bool again = slot && upAt(*slot, nowMs) && (!counted || std::strcmp(slot->text, text) == 0);
    // Else a line that is down, else the one that went up longest ago.
    for (Line& line : lines_)
        if (!slot && !upAt(line, nowMs)) slot = &line;
    if (!slot) {
        slot = &lines_[0];
        for (Line& line : lines_)
            if (line.order < slot->order) slot = &line;
    }
    if (!again) {
        std::snprintf(slot->key, sizeof slot->key, "%s", key);
        slot->count = 0;
        slot->order = ++shown_;
        slot->used = true;
    }
    std::snprintf(slot->text, sizeof slot->text, "%s", text);
    std::snprintf(slot->detail, sizeof slot->detail, "%s", detail ? detail : "");
    slot->hasDetail = detail != nullptr;
    slot->count = counted ? slot->count + 1 : 1;
    slot->sinceMs = nowMs;
    slot->durationMs = durationMs;
}

void TimedLines::start(uint32_t nowMs) {
    if (started_) return;
    started_ = true;
    for (Line& line : lines_) line.sinceMs = nowMs;
}

void TimedLines::addTo(OverlayLines* out, float y, float maxY, uint32_t nowMs) const {
    const Line* order[kMaxLines];
    int count = 0;
    for (const Line& line : lines_)
        if (upAt(line, nowMs)) order[count++] = &line;
    for (int i = 1; i < count; ++i)
        for (int j = i; j > 0 && order[j]->order < order[j - 1]->order; --j) std::swap(order[j], order[j - 1]);

    constexpr int kArraySize = static_cast<int>(sizeof(OverlayLines::lines) / sizeof(OverlayLine));
    for (int i = 0; i < count; ++i) {
        const Line& line = *order[i];
        char whole[kTextBytes + 160];
        if (line.count > 1)
            std::snprintf(whole, sizeof whole, "%s (x%u)", line.text, line.count);
        else if (line.hasDetail)
            std::snprintf(whole, sizeof whole, "%s (%s)", line.text, line.detail);
        else
            std::snprintf(whole, sizeof whole, "%s", line.text);
        for (const char* rest = whole; *rest != '\0' && y < maxY && out->count < kArraySize; y += 25) {
            const size_t length = rowLength(rest, kColumns, sizeof(OverlayLine::text) - 1);
            std::snprintf(nextLine(out, y)->text, sizeof(OverlayLine::text), "%.*s", static_cast<int>(length), rest);
            rest += length;
            if (*rest == '\n') ++rest;
            while (*rest == ' ') ++rest;
        }
    }
}

void buildOverlayLines(const OverlayValues& values, OverlayLines* out) {
    out->count = 0;
    std::snprintf(nextLine(out, 0)->text, sizeof(OverlayLine::text), "bsp node %d ", values.instanceIndex);
    std::snprintf(nextLine(out, 25)->text, sizeof(OverlayLine::text), "bsp area %d ", values.areaIndex);
    std::snprintf(nextLine(out, 50)->text, sizeof(OverlayLine::text), "fps %f ", static_cast<double>(values.fps));
    float y = 100;
    if (values.lightsTotal >= 0) {
        std::snprintf(nextLine(out, y)->text, sizeof(OverlayLine::text), "lights %d of %d", values.lightsDrawn,
                      values.lightsTotal);
        y += 25;
    }
    if (values.portalsTotal >= 0) {
        std::snprintf(nextLine(out, y)->text, sizeof(OverlayLine::text), "%d of %d portals passed",
                      values.portalsPassed, values.portalsTotal);
        std::snprintf(nextLine(out, y + 25)->text, sizeof(OverlayLine::text), "%d draws, %lld triangles",
                      values.cost.drawCalls, static_cast<long long>(values.cost.triangles));
        y += 50;
    }
    if (values.timedLines) values.timedLines->addTo(out, y == 100 ? 125 : y, 500, values.nowMs);
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
