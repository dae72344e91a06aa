// The frame limiter on the Linux clock: the schedule and the vsync check at nanosecond ticks.
#include <gtest/gtest.h>

#include <cstdint>

#include "present_limiter.h"
#include "common/frame_schedule.h"

namespace {

using platform::NANOSECONDS_PER_SECOND;

constexpr std::int64_t START = 5 * NANOSECONDS_PER_SECOND;
constexpr std::int64_t MS = 1000000;

std::int64_t frame_time(std::int64_t frame) { return START + frame * NANOSECONDS_PER_SECOND / 60; }

TEST(FrameSchedule, FastFramesWaitForDeadlinesThatNeverDrift) {
    FrameSchedule schedule(NANOSECONDS_PER_SECOND, 60);
    EXPECT_EQ(schedule.next_deadline(START), START) << "the first frame goes out at once";
    std::int64_t now = START;
    for (std::int64_t frame = 1; frame <= 6000; ++frame) {
        now += 2 * MS;  // a frame that takes 2 ms to draw
        const std::int64_t deadline = schedule.next_deadline(now);
        ASSERT_EQ(deadline, frame_time(frame)) << "frame " << frame;
        now = deadline + 50000;  // woken a little late each time
    }
    EXPECT_EQ(frame_time(6000) - START, 100 * NANOSECONDS_PER_SECOND) << "100 s for 6000 frames, to the nanosecond";
}

TEST(FrameSchedule, ASlightlyLateFrameIsMadeUpByTheNextOnes) {
    FrameSchedule schedule(NANOSECONDS_PER_SECOND, 60);
    schedule.next_deadline(START);
    EXPECT_EQ(schedule.next_deadline(frame_time(1) + 5 * MS), frame_time(1) + 5 * MS) << "late: no wait";
    EXPECT_EQ(schedule.next_deadline(frame_time(1) + 8 * MS), frame_time(2)) << "back on the old schedule";
    EXPECT_EQ(schedule.next_deadline(frame_time(2) + 1 * MS), frame_time(3));
}

TEST(FrameSchedule, WakingLateOnABusyMachineIsMadeUpSoTheGameKeepsItsSpeed) {
    FrameSchedule schedule(NANOSECONDS_PER_SECOND, 60);
    schedule.next_deadline(START);
    // Frame 1 is not run until 100 ms in: frames 1 to 6 go out at once, frame 7 waits for its time.
    std::int64_t now = START + 100 * MS;
    for (std::int64_t frame = 1; frame <= 6; ++frame) EXPECT_EQ(schedule.next_deadline(now), now) << frame;
    EXPECT_EQ(schedule.next_deadline(now), frame_time(7));
}

TEST(FrameSchedule, AStallStartsAFreshScheduleInsteadOfRushingToCatchUp) {
    FrameSchedule schedule(NANOSECONDS_PER_SECOND, 60);
    schedule.next_deadline(START);
    const std::int64_t after_stall = START + 500 * MS;
    EXPECT_EQ(schedule.next_deadline(after_stall), after_stall);
    const std::int64_t next = schedule.next_deadline(after_stall + 1 * MS);
    EXPECT_EQ(next, after_stall + NANOSECONDS_PER_SECOND / 60) << "one whole frame after the stall, not at once";

    schedule.restart();
    EXPECT_EQ(schedule.next_deadline(START + 10 * NANOSECONDS_PER_SECOND), START + 10 * NANOSECONDS_PER_SECOND);
}

TEST(FrameSchedule, WaitUntilReturnsNoEarlierThanTheDeadline) {
    const std::int64_t deadline = platform::monotonic_nanoseconds() + 3 * MS;
    platform::wait_until(deadline);
    EXPECT_GE(platform::monotonic_nanoseconds(), deadline);
    platform::wait_until(deadline - NANOSECONDS_PER_SECOND);  // a past deadline returns at once
}

TEST(VsyncWatch, ARetraceAtSixtyHertzPassesAndOneThatDoesNotWaitFails) {
    VsyncWatch watch(NANOSECONDS_PER_SECOND, 60, 60);
    std::int64_t now = START;
    for (int frame = 0; frame <= 300; ++frame, now += NANOSECONDS_PER_SECOND / 60)
        ASSERT_TRUE(watch.presented(now)) << "frame " << frame;

    bool held = true;
    for (int frame = 0; frame <= 60 && held; ++frame, now += 1 * MS) held = watch.presented(now);
    EXPECT_FALSE(held) << "presents returning every millisecond are not waiting for the display";
}

TEST(VsyncWatch, ADisplayAt144HertzIsTooFastForTheGame) {
    VsyncWatch watch(NANOSECONDS_PER_SECOND, 60, 60);
    std::int64_t now = START;
    bool held = true;
    for (int frame = 0; frame <= 60 && held; ++frame, now += NANOSECONDS_PER_SECOND / 144) held = watch.presented(now);
    EXPECT_FALSE(held);
}

TEST(VsyncWatch, SlowFramesAreNotMistakenForAMissingWait) {
    VsyncWatch watch(NANOSECONDS_PER_SECOND, 60, 60);
    std::int64_t now = START;
    for (int frame = 0; frame <= 300; ++frame, now += NANOSECONDS_PER_SECOND / 30)
        ASSERT_TRUE(watch.presented(now));
}

}  // namespace
