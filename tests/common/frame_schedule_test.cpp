// The Windows frame pacer's arithmetic, on made-up clocks: deadlines that never drift, stalls
// that do not cause a rush of frames, and the verdict on presents that should wait for vsync.
#include <gtest/gtest.h>

#include <cstdint>

#include "common/frame_schedule.h"

namespace {

constexpr int64_t QPC_HZ = 10000000;      // what Windows 10 and 11 report
constexpr int64_t ACPI_PM_HZ = 3579545;   // an older counter frequency not divisible by 60
constexpr int64_t START = 123456789;

TEST(FramePacingSchedule, DeadlinesFallOnWholeFramesFromTheStartAndNeverDrift) {
    for (const int64_t hz : {QPC_HZ, ACPI_PM_HZ}) {
        FrameSchedule schedule(hz, 60);
        ASSERT_EQ(schedule.next_deadline(START), START) << "the first frame goes out at once";
        int64_t now = START;
        for (int64_t frame = 1; frame <= 60 * 600; ++frame) {
            now += hz / 500;  // 2 ms of drawing
            const int64_t deadline = schedule.next_deadline(now);
            // Frame k is due k/60 s after the start, rounded down to a whole tick.
            ASSERT_EQ(deadline, START + frame * hz / 60) << "frame " << frame << " at " << hz << " Hz";
            now = deadline + hz / 20000;  // woken 50 us late every time
        }
        EXPECT_EQ(now - hz / 20000 - START, 600 * hz) << "ten minutes of frames take ten minutes exactly";
    }
}

TEST(FramePacingSchedule, AVeryFastCounterDoesNotOverflowInALongRun) {
    // With ticks * frames formed directly this overflows after about 9,000 frames.
    constexpr int64_t hz = 1000000000000000;
    FrameSchedule schedule(hz, 60);
    schedule.next_deadline(0);
    int64_t deadline = 0;
    for (int64_t frame = 1; frame <= 12000; ++frame) deadline = schedule.next_deadline(deadline);
    EXPECT_EQ(deadline, 200 * hz);
}

TEST(FramePacingSchedule, ALateFrameIsAbsorbedAndAStallStartsAFreshSchedule) {
    const int64_t frame = QPC_HZ / 60;
    FrameSchedule schedule(QPC_HZ, 60);
    schedule.next_deadline(START);

    // Half a frame late: shown at once, and the next frame is back on the old schedule.
    EXPECT_EQ(schedule.next_deadline(START + frame + frame / 2), START + frame + frame / 2);
    EXPECT_EQ(schedule.next_deadline(START + frame + frame / 2 + 1000), START + 2 * QPC_HZ / 60);

    // Half a second lost (a dragged window): no burst of catch-up frames, a new start instead.
    const int64_t after_stall = START + QPC_HZ / 2;
    EXPECT_EQ(schedule.next_deadline(after_stall), after_stall);
    EXPECT_EQ(schedule.next_deadline(after_stall + 1000), after_stall + frame) << "a whole frame after the stall";

    schedule.restart();
    EXPECT_EQ(schedule.next_deadline(START + 10 * QPC_HZ), START + 10 * QPC_HZ);
    EXPECT_EQ(schedule.next_deadline(START + 10 * QPC_HZ), START + 10 * QPC_HZ + frame);

    // Making up at most one frame: less than a frame late is made up by the next ones, so
    // waking late now and then keeps the speed; three frames lost start the schedule again from
    // the late one, so no second ever holds more than one frame over the rate.
    FrameSchedule strict(QPC_HZ, 60, 1);
    strict.next_deadline(START);
    EXPECT_EQ(strict.next_deadline(START + frame + frame / 2), START + frame + frame / 2);
    EXPECT_EQ(strict.next_deadline(START + frame + frame / 2 + 1000), START + 2 * QPC_HZ / 60);
    const int64_t late = START + 6 * frame;
    EXPECT_EQ(strict.next_deadline(late), late);
    EXPECT_EQ(strict.next_deadline(late + 1000), late + QPC_HZ / 60);
    int frames_in_a_second = 0;
    for (int64_t now = late + frame; now < late + QPC_HZ; now = strict.next_deadline(now)) ++frames_in_a_second;
    EXPECT_LE(frames_in_a_second, 60);
}

// Feeds `count` presents `interval` ticks apart; false as soon as the watch gives up on vsync.
bool watch_holds(VsyncWatch& watch, int64_t& now, int64_t interval, int count) {
    for (int i = 0; i < count; ++i, now += interval)
        if (!watch.presented(now)) return false;
    return true;
}

TEST(FramePacingVsyncWatch, TrustsARetraceNearSixtyHertzAndFramesSlowerThanThat) {
    for (const int64_t interval : {QPC_HZ / 60, QPC_HZ * 1001 / 60000, QPC_HZ / 61, QPC_HZ / 30}) {
        VsyncWatch watch(QPC_HZ, 60, 30);
        int64_t now = START;
        EXPECT_TRUE(watch_holds(watch, now, interval, 600)) << "presents " << interval << " ticks apart";
    }
}

TEST(FramePacingVsyncWatch, GivesUpOnPresentsThatDoNotHoldTheGameAtSixty) {
    // A driver that ignores vsync, a minimised window, and displays at 75 and 144 Hz.
    for (const int64_t interval : {QPC_HZ / 1000, int64_t{0}, QPC_HZ / 75, QPC_HZ / 144}) {
        VsyncWatch watch(QPC_HZ, 60, 30);
        int64_t now = START;
        EXPECT_FALSE(watch_holds(watch, now, interval, 31)) << "presents " << interval << " ticks apart";
    }
}

TEST(FramePacingVsyncWatch, JudgesWholeWindowsSoOneQuickPresentIsForgiven) {
    VsyncWatch watch(QPC_HZ, 60, 30);
    int64_t now = START;
    ASSERT_TRUE(watch_holds(watch, now, QPC_HZ / 60, 10));
    ASSERT_TRUE(watch_holds(watch, now, 10, 1));  // one present straight after another
    EXPECT_TRUE(watch_holds(watch, now, QPC_HZ / 60, 300));
}

TEST(FramePacingRefresh, OnlyDisplaysNearTheFrameRateAreTrustedToPaceIt) {
    EXPECT_TRUE(refresh_matches_frame_rate(59, 60));
    EXPECT_TRUE(refresh_matches_frame_rate(60, 60));
    EXPECT_TRUE(refresh_matches_frame_rate(61, 60));
    for (const uint32_t hertz : {0u, 30u, 58u, 62u, 75u, 120u, 144u, 4294967295u})
        EXPECT_FALSE(refresh_matches_frame_rate(hertz, 60)) << hertz << " Hz";
}

}  // namespace
