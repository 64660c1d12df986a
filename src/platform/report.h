#pragma once
// The one place problems are reported to the person at the screen. Every report
// writes a line on stderr (at most one per distinct text and detail per second,
// so a report raised every frame never floods the terminal); in an interactive
// run (a window or full screen) it also shows a message box, at most once per
// distinct text, so the frame loop never stalls frame after frame. The box
// carries the text and, under it, the detail the stderr line has. Reports made
// while the map loads wait with their boxes until the first frame is on
// screen, so that a box never stands in front of an empty window.

#include <cstdint>
#include <string>

namespace q {

// text and caption are the system's own words; detail (may be null) says where,
// e.g. which portal or instance.
void report(const char* text, const char* caption, const char* detail = nullptr);

// A warning that needs no box: one stderr line, rate-limited as above.
void warn(const char* text);

struct ReportSettings {
    bool messageBoxes = false;                      // interactive run, windowed or full screen
    uint32_t (*clockMs)() = nullptr;                // null: the real clock
    void (*showBox)(const char* text, const char* caption) = nullptr;  // the window layer's box
    // Boxes are held back (in the order of their reports) until
    // showHeldMessageBoxes; the stderr lines are written at once.
    bool holdBoxes = false;
};
void configureReports(const ReportSettings& settings);

// Shows the boxes held back so far and shows later ones at once: called once
// the first frame is on screen.
void showHeldMessageBoxes();

// "1 surface", "2 surfaces": a count with its noun agreeing, for the texts
// reports and printed summaries are made of.
std::string countOf(uint64_t count, const char* one, const char* many);

// For tests: how many reports have been made since start, and how many boxes shown.
uint64_t reportCount();
uint64_t messageBoxCount();
void resetReportsForTest();

}  // namespace q
