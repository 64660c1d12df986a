#pragma once
// The per-frame trace (--trace FILE.jsonl): one JSON object per line, so that
// tests and people can follow a run without a screen.

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/output_file.h"
#include "world/frame_cost.h"

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
    bool freeFlight = false;
    // drawCalls, triangles and copiesDrawn; its visibleAreas is not written
    // (the field above is).
    FrameCost cost;
};

// A number as JSON writes it (%.9g: a float read back is the same float).
// JSON has no NaN or infinity: such a value is written as null.
void formatJsonNumber(float value, char* out, size_t size);

class FrameTrace {
public:
    FrameTrace() = default;
    FrameTrace(const FrameTrace&) = delete;
    FrameTrace& operator=(const FrameTrace&) = delete;
    // A trace never closed (a run that stopped on an error) is dropped and
    // leaves what its path named as it was.
    ~FrameTrace() = default;

    // The lines go to a file beside path, which takes path's place at close()
    // (see platform/output_file.h); it can be followed there while the viewer runs.
    bool open(const std::string& path, std::string* error);
    // open in two steps, as OutputFile's prepare and create: a run makes the
    // file only once it knows every file it reads.
    bool prepare(const std::string& path, std::string* error);
    bool create(std::string* error);
    // Whether path names the trace's file (OutputFile::names).
    bool names(const std::string& path) const { return file_.names(path); }
    bool isOpen() const { return file_.isOpen(); }
    // The file path named when the trace was opened, if any.
    const std::optional<FileIdentity>& replaced() const { return file_.replaced(); }
    void write(const TraceRecord& record);
    // False with a message when a write failed (disk full and the like); what
    // path named is then left as it was.
    bool close(std::string* error);

private:
    OutputFile file_;
    bool failed_ = false;
};

// The record as one line of JSON without the newline; returns its length.
int formatTraceRecord(const TraceRecord& record, char* buffer, size_t size);

}  // namespace q
