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
                         "\"fps\":%s,\"fallSpeed\":%s}",
                         static_cast<unsigned long long>(r.frame), x, y, z, yaw, pitch, r.instance, r.area,
                         r.visibleAreas, r.portalMode ? "true" : "false", fps, fall);
}

bool FrameTrace::open(const std::string& path, std::string* error) {
    close();
    file_ = std::fopen(path.c_str(), "w");
    if (!file_) {
        *error = path + ": cannot write the trace (" + std::strerror(errno) + ")";
        return false;
    }
    failed_ = false;
    return true;
}

void FrameTrace::write(const TraceRecord& record) {
    if (!file_) return;
    char line[512];
    const int length = formatTraceRecord(record, line, sizeof line);
    if (length < 0 || static_cast<size_t>(length) >= sizeof line) return;
    line[length] = '\n';
    if (std::fwrite(line, 1, static_cast<size_t>(length) + 1, file_) != static_cast<size_t>(length) + 1)
        failed_ = true;
    // Whole lines at once, so the trace can be followed while the viewer runs.
    if (std::fflush(file_) != 0) failed_ = true;
}

bool FrameTrace::close() {
    if (!file_) return !failed_;
    if (std::fclose(file_) != 0) failed_ = true;
    file_ = nullptr;
    return !failed_;
}

}  // namespace q
