#pragma once
// The one place problems are reported to the person at the screen. Every report
// writes a line on stderr (at most one per distinct text and detail per second,
// so a report raised every frame never floods the terminal) and goes to the
// line sink, which the running viewer shows over its picture for a while. A
// report never opens a box: a box is modal and would stop the frame loop, the
// file watch and the keys until someone answers it. Only a failure that ends
// the run before a window could show anything (reportStartFailure) opens one,
// in an interactive run, since whoever started the viewer from a launcher
// sees no stderr.

#include <cstdint>
#include <string>

namespace q {

// text and caption are the system's own words (the caption is kept by callers
// but shown nowhere now that reports open no box); detail (may be null) says
// where, e.g. which portal or instance.
void report(const char* text, const char* caption, const char* detail = nullptr);

// A warning that needs no box: one stderr line, rate-limited as above.
void warn(const char* text);

// The failure that ends the run before its first frame: a stderr line, and a
// box (when boxes are on) that the run waits on before it ends.
void reportStartFailure(const char* text, const char* caption);

struct ReportSettings {
    bool messageBoxes = false;                      // interactive run, windowed or full screen
    uint32_t (*clockMs)() = nullptr;                // null: the real clock
    void (*showBox)(const char* text, const char* caption) = nullptr;  // the window layer's box
};
void configureReports(const ReportSettings& settings);

// Where every report goes besides stderr, with its text and detail (may be
// null), each time it is made: the running viewer's overlay. Called from
// inside a frame, so it must not block. One sink at a time; null: none.
using ReportLineSink = void (*)(void* context, const char* text, const char* detail);
void setReportLineSink(ReportLineSink sink, void* context);
void clearReportLineSink(void* context);  // only if it is this context's

// "1 surface", "2 surfaces": a count with its noun agreeing, for the texts
// reports and printed summaries are made of.
std::string countOf(uint64_t count, const char* one, const char* many);

// For tests: how many reports have been made since start, and how many boxes shown.
uint64_t reportCount();
uint64_t messageBoxCount();
void resetReportsForTest();

}  // namespace q
