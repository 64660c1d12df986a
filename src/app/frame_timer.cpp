#include "app/frame_timer.h"

#include <chrono>

namespace q {

uint32_t TickClock::nowMs() {
    using namespace std::chrono;
    // Truncated to 32 bits: the window arithmetic is unsigned and survives the wrap.
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

uint32_t MovementSteps::stepsAt(uint32_t nowMs) {
    if (!started_) {
        started_ = true;
        lastMs_ = nowMs;
        return 1;
    }
    // Bounded before it is scaled, so that the units cannot overflow however
    // long the stall.
    constexpr uint32_t kMaxMs = kMaxStepsPerFrame * kUnitsPerStep / kUnitsPerMs;
    const uint32_t elapsed = nowMs - lastMs_;
    lastMs_ = nowMs;
    owed_ += (elapsed < kMaxMs ? elapsed : kMaxMs) * kUnitsPerMs;
    uint32_t steps = (owed_ + kToleranceUnits) / kUnitsPerStep;
    if (steps > kMaxStepsPerFrame) steps = kMaxStepsPerFrame;
    const uint32_t taken = steps * kUnitsPerStep;
    owed_ = owed_ > taken ? owed_ - taken : 0;
    if (owed_ >= kUnitsPerStep) owed_ %= kUnitsPerStep;  // beyond the bound: dropped
    return steps;
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
