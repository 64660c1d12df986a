#pragma once
// The per-frame trace (--trace FILE.jsonl): one JSON object per line, so that
// tests and people can follow a run without a screen.

#include <cstdint>
#include <cstdio>
#include <string>

namespace q {

struct TraceRecord {
    uint64_t frame = 0;
    float x = 0.0f, y = 0.0f, z = 0.0f;
    float yaw = 0.0f, pitch = 0.0f;
    int instance = -1;
    int area = 0;
    int visibleAreas = 0;
    bool portalMode = true;
    float fps = 0.0f;
    float fallSpeed = 0.0f;
};

// A number as JSON writes it (%.9g: a float read back is the same float).
// JSON has no NaN or infinity: such a value is written as null.
void formatJsonNumber(float value, char* out, size_t size);

class FrameTrace {
public:
    FrameTrace() = default;
    FrameTrace(const FrameTrace&) = delete;
    FrameTrace& operator=(const FrameTrace&) = delete;
    ~FrameTrace() { close(); }

    bool open(const std::string& path, std::string* error);
    bool isOpen() const { return file_ != nullptr; }
    void write(const TraceRecord& record);
    // False when a write failed (disk full and the like).
    bool close();

private:
    std::FILE* file_ = nullptr;
    bool failed_ = false;
};

// The record as one line of JSON without the newline; returns its length.
int formatTraceRecord(const TraceRecord& record, char* buffer, size_t size);

}  // namespace q
