#include "platform/report.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

namespace q {

namespace {

ReportSettings g_settings;
uint64_t g_reportCount = 0;
uint64_t g_boxCount = 0;

// Fixed tables, so that a report raised every frame allocates nothing.
constexpr int kSlots = 128;
struct RecentLine {
    uint64_t key = 0;
    uint32_t lastMs = 0;
    uint32_t suppressed = 0;
    bool used = false;
};
RecentLine g_lines[kSlots];

ReportLineSink g_sink = nullptr;
void* g_sinkContext = nullptr;

uint64_t hashText(uint64_t h, const char* s) {
    if (!s) return h;
    for (; *s; ++s) h = (h ^ static_cast<unsigned char>(*s)) * 1099511628211ull;
    return (h ^ 0xff) * 1099511628211ull;
}

uint32_t nowMs() {
    if (g_settings.clockMs) return g_settings.clockMs();
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// True when the line may be written now; counts what was held back.
bool admitLine(uint64_t key, uint32_t* suppressedBefore) {
    const uint32_t now = nowMs();
    RecentLine* slot = &g_lines[key % kSlots];
    if (slot->used && slot->key == key) {
        if (now - slot->lastMs < 1000) {
            ++slot->suppressed;
            return false;
        }
        *suppressedBefore = slot->suppressed;
    } else {
        *suppressedBefore = 0;
    }
    *slot = {key, now, 0, true};
    return true;
}

void writeLine(const char* prefix, const char* text, const char* detail, uint32_t suppressed) {
    std::fprintf(stderr, "quorvane: %s%s%s%s", prefix, text, detail ? " (" : "", detail ? detail : "");
    if (detail) std::fputc(')', stderr);
    if (suppressed) std::fprintf(stderr, " [%u more like it in the last second]", suppressed);
    std::fputc('\n', stderr);
}

}  // namespace

void configureReports(const ReportSettings& settings) { g_settings = settings; }

void setReportLineSink(ReportLineSink sink, void* context) {
    g_sink = sink;
    g_sinkContext = context;
}

void clearReportLineSink(void* context) {
    if (g_sinkContext != context) return;
    g_sink = nullptr;
    g_sinkContext = nullptr;
}

void report(const char* text, const char* caption, const char* detail) {
    (void)caption;  // a box's title; reports no longer open boxes
    ++g_reportCount;
    const uint64_t key = hashText(hashText(14695981039346656037ull, text), detail);
    uint32_t suppressed = 0;
    if (admitLine(key, &suppressed)) writeLine("", text, detail, suppressed);
    if (g_sink) g_sink(g_sinkContext, text, detail);
}

void reportStartFailure(const char* text, const char* caption) {
    ++g_reportCount;
    writeLine("", text, nullptr, 0);
    if (!g_settings.messageBoxes || !g_settings.showBox) return;
    ++g_boxCount;
    g_settings.showBox(text, caption);
}

void warn(const char* text) {
    const uint64_t key = hashText(0x5741524eull, text);
    uint32_t suppressed = 0;
    if (admitLine(key, &suppressed)) writeLine("warning: ", text, nullptr, suppressed);
}

std::string countOf(uint64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

uint64_t reportCount() { return g_reportCount; }
uint64_t messageBoxCount() { return g_boxCount; }

void resetReportsForTest() {
    g_settings = {};
    g_reportCount = 0;
    g_boxCount = 0;
    for (auto& line : g_lines) line = {};
    g_sink = nullptr;
    g_sinkContext = nullptr;
}

}  // namespace q
