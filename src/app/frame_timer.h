#pragma once
// Frame-rate measurement over windows of a little more than a second, driven by
// a millisecond tick count that wraps at 2^32.

#include <cstdint>

namespace q {

// Where frame time comes from: the real tick count, or a simulated clock that
// moves a fixed step per frame so that runs can be reproduced.
class FrameClock {
public:
    virtual ~FrameClock() = default;
    virtual uint32_t nowMs() = 0;
};

class TickClock : public FrameClock {
public:
    uint32_t nowMs() override;
};

// Starts at 0 and advances stepMs after every reading: one reading per frame.
class SteppedClock : public FrameClock {
public:
    explicit SteppedClock(uint32_t stepMs) : step(stepMs) {}
    uint32_t nowMs() override {
        const uint32_t t = now;
        now += step;
        return t;
    }
    uint32_t step;
    uint32_t now = 0;
};

class FrameTimer {
public:
    // Counts one frame at time nowMs. A measuring window closes only when more
    // than 1000 ms have passed since it opened; the closing frame is counted.
    void tick(uint32_t nowMs);

    float fps = 0.0f;  // 0 until the first window closes
    bool started = false;
    uint32_t timeBase = 0;
    uint32_t windowStart = 0;  // ms since timeBase
    uint32_t frames = 0;       // frames in the open window
};

}  // namespace q
