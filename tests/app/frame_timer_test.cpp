#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <vector>

#include "app/frame_timer.h"

namespace q {
namespace {

TEST(AppFrameTimer, StaysZeroThroughTheFirstSecondAndClosesOnlyPast1000Ms) {
    FrameTimer timer;
    const uint32_t start = 5000;
    timer.tick(start);  // the first frame takes the time base
    for (uint32_t t = 100; t <= 1000; t += 100) {
        timer.tick(start + t);
        EXPECT_EQ(timer.fps, 0.0f) << "at " << t << " ms";
    }
    // 11 frames so far, the last exactly 1000 ms after the first: still open.
    EXPECT_EQ(timer.frames, 11u);
    EXPECT_EQ(timer.windowStart, 0u);

    timer.tick(start + 1001);  // the twelfth frame closes the window and counts in it
    EXPECT_FLOAT_EQ(timer.fps, static_cast<float>(12.0 / 1001.0 * 1000.0));
    EXPECT_EQ(timer.frames, 0u);
    EXPECT_EQ(timer.windowStart, 1001u);

    // The next window measures from 1001, again strictly past 1000 ms.
    timer.tick(start + 2001);
    EXPECT_EQ(timer.frames, 1u);
    timer.tick(start + 2002);
    EXPECT_FLOAT_EQ(timer.fps, 2000.0f / 1001.0f);
}

TEST(AppFrameTimer, TickCountWrapAroundIsMeasuredUnsigned) {
    FrameTimer timer;
    const uint32_t start = 0xffffff00u;  // the tick count wraps during the window
    timer.tick(start);
    timer.tick(start + 600);
    EXPECT_EQ(timer.fps, 0.0f);
    timer.tick(start + 1200);
    EXPECT_FLOAT_EQ(timer.fps, 3.0f / 1200.0f * 1000.0f);
}

TEST(AppFrameTimer, SteppedClockGivesOneReadingPerFrame) {
    SteppedClock clock(16);
    FrameTimer timer;
    for (int frame = 0; frame < 63; ++frame) timer.tick(clock.nowMs());
    EXPECT_EQ(timer.fps, 0.0f);  // 62 x 16 = 992 ms
    timer.tick(clock.nowMs());   // 1008 ms: 64 frames
    EXPECT_FLOAT_EQ(timer.fps, static_cast<float>(64.0 / 1008.0 * 1000.0));
}

// The steps of a frame follow the time that passed: a second at any frame
// rate holds the same steps, a 60 Hz display's 16 and 17 ms frames take one
// each, the remainder of slower ones is carried, and a stall is bounded.
TEST(AppFrameTimer, MovementStepsFollowTheClockCarryTheRemainderAndBoundAStall) {
    auto stepsOver = [](std::vector<uint32_t> frameMs, uint32_t start, int frames) {
        MovementSteps steps;
        std::vector<uint32_t> taken{steps.stepsAt(start)};
        uint32_t now = start;
        for (int f = 0; f < frames; ++f) taken.push_back(steps.stepsAt(now += frameMs[f % frameMs.size()]));
        return taken;
    };
    auto total = [](const std::vector<uint32_t>& taken) { return std::accumulate(taken.begin(), taken.end(), 0u); };
    // One second after the first frame: its step and 60 more, at 10, 50 or
    // 60 frames a second, across the tick count's wrap too.
    EXPECT_EQ(total(stepsOver({100}, 0, 10)), 61u);
    EXPECT_EQ(total(stepsOver({20}, 0xfffffe00u, 50)), 61u);
    EXPECT_EQ(stepsOver({20}, 0, 5), (std::vector<uint32_t>{1, 1, 1, 1, 1, 2})) << "the remainder is carried";
    EXPECT_EQ(total(stepsOver({1000}, 7, 1)), 31u) << "a second in one frame is cut to half a second";
    for (const std::vector<uint32_t>& display : {std::vector<uint32_t>{16}, std::vector<uint32_t>{16, 17, 17}}) {
        const std::vector<uint32_t> taken = stepsOver(display, 0, 120);
        EXPECT_EQ(std::count(taken.begin(), taken.end(), 1u), 121) << "one step a frame at " << display.size();
    }

    MovementSteps stalled;
    stalled.stepsAt(0);
    EXPECT_EQ(stalled.stepsAt(4000000000u), MovementSteps::kMaxStepsPerFrame);
    EXPECT_EQ(stalled.stepsAt(4000000016u), 1u) << "the stall owes nothing after it";
}

}  // namespace
}  // namespace q
