#include "app/frame_timer.h"

#include <chrono>

namespace q {

uint32_t TickClock::nowMs() {
    using namespace std::chrono;
    // Truncated to 32 bits: the window arithmetic is unsigned and survives the wrap.
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void FrameTimer::tick(uint32_t nowMs) {
    if (!started) {
        started = true;
        timeBase = nowMs;
    }
    const uint32_t elapsed = nowMs - timeBase;
    ++frames;
    const uint32_t windowLength = elapsed - windowStart;
    if (windowLength > 1000) {
        fps = static_cast<float>(static_cast<double>(frames) / windowLength * 1000.0);
        windowStart = elapsed;
        frames = 0;
    }
}

}  // namespace q
