#include "app/frame_trace.h"

#include <cerrno>
#include <cmath>
#include <cstring>

namespace q {

void formatJsonNumber(float value, char* out, size_t size) {
    if (std::isfinite(value)) std::snprintf(out, size, "%.9g", static_cast<double>(value));
    else std::snprintf(out, size, "null");
}

int formatTraceRecord(const TraceRecord& r, char* buffer, size_t size) {
    char x[32], y[32], z[32], yaw[32], pitch[32], fps[32], fall[32];
    formatJsonNumber(r.x, x, sizeof x);
    formatJsonNumber(r.y, y, sizeof y);
    formatJsonNumber(r.z, z, sizeof z);
    formatJsonNumber(r.yaw, yaw, sizeof yaw);
    formatJsonNumber(r.pitch, pitch, sizeof pitch);
    formatJsonNumber(r.fps, fps, sizeof fps);
    formatJsonNumber(r.fallSpeed, fall, sizeof fall);
    return std::snprintf(buffer, size,
                         "{\"frame\":%llu,\"x\":%s,\"y\":%s,\"z\":%s,\"yaw\":%s,\"pitch\":%s,"
                         "\"instance\":%d,\"area\":%d,\"visibleAreas\":%d,\"portalMode\":%s,"
                         "\"fps\":%s,\"fallSpeed\":%s,\"freeFlight\":%s,"
                         "\"drawCalls\":%d,\"triangles\":%lld,\"copiesDrawn\":%d,\"lightsDrawn\":%d}",
                         static_cast<unsigned long long>(r.frame), x, y, z, yaw, pitch, r.instance, r.area,
                         r.visibleAreas, r.portalMode ? "true" : "false", fps, fall, r.freeFlight ? "true" : "false",
                         r.cost.drawCalls, static_cast<long long>(r.cost.triangles), r.cost.copiesDrawn,
                         r.cost.lightsDrawn);
}

bool FrameTrace::open(const std::string& path, std::string* error) { return prepare(path, error) && create(error); }

bool FrameTrace::prepare(const std::string& path, std::string* error) {
    failed_ = false;
    if (file_.prepare(path, error)) return true;
    *error += " (cannot write the trace)";
    return false;
}

bool FrameTrace::create(std::string* error) {
    if (file_.create(error)) return true;
    *error += " (cannot write the trace)";
    return false;
}

void FrameTrace::write(const TraceRecord& record) {
    std::FILE* file = file_.stream();
    if (!file) return;
    char line[512];
    const int length = formatTraceRecord(record, line, sizeof line);
    if (length < 0 || static_cast<size_t>(length) >= sizeof line) return;
    line[length] = '\n';
    if (std::fwrite(line, 1, static_cast<size_t>(length) + 1, file) != static_cast<size_t>(length) + 1)
        failed_ = true;
    // Whole lines at once, so the trace can be followed while the viewer runs.
    if (std::fflush(file) != 0) failed_ = true;
}

bool FrameTrace::close(std::string* error) {
    if (failed_) {
        *error = file_.path() + ": the trace could not be written whole (disk full or a write error); what was "
                 "there before is kept";
        file_.discard();
        return false;
    }
    return file_.commit(error);
}

}  // namespace q
