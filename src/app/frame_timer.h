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

// How many movement steps a frame takes: the camera moves in fixed steps of
// 1/60 s, as many as the time since the last frame holds, so that it covers
// the same ground in a second at any frame rate (at 60 frames a second, one
// step a frame). The part of a step left over is carried to the next frame.
class MovementSteps {
public:
    static constexpr uint32_t kStepsPerSecond = 60;
    // At most half a second of steps in one frame: after a stall (a slow
    // reload, the process stopped) the camera goes on from where it was
    // instead of being flung 60 steps or more at once. Below 2 frames a
    // second the camera slows with the frame rate.
    static constexpr uint32_t kMaxStepsPerFrame = kStepsPerSecond / 2;

    // The steps of the frame at nowMs; the first frame takes one, as every
    // frame used to. The clock reads whole milliseconds, so a frame of a 60 Hz
    // display reads 16 or 17 ms: time owed within a millisecond of a whole
    // step counts as that step, its shortfall not carried. A 60 Hz display
    // (and a simulated clock of 16 ms a frame) so takes exactly one step a
    // frame, as before; slower frames take several, the remainder carried.
    uint32_t stepsAt(uint32_t nowMs);

private:
    // Time owed, in units of 1/60000 s: a step is 1000 of them, a millisecond 60.
    static constexpr uint32_t kUnitsPerStep = 1000;
    static constexpr uint32_t kUnitsPerMs = kStepsPerSecond;
    static constexpr uint32_t kToleranceUnits = kUnitsPerMs;  // the tick's millisecond
    bool started_ = false;
    uint32_t lastMs_ = 0;
    uint32_t owed_ = 0;
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
