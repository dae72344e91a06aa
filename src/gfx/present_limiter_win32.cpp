// Windows only: on Linux the platform layer does this job.
#ifdef _WIN32

#include "gfx/present_limiter_win32.h"

#include <windows.h>

#include <d3d9.h>
#include <mmsystem.h>

#include "common/frame_schedule.h"
#include "world/world.h"

// Older SDK headers lack it; Windows 10 (1803) and later accept it.
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace {

constexpr int32_t FRAME_RATE = 60;
// Half a second of presents is enough to tell a retrace that waits from one that does not.
constexpr int32_t VSYNC_WINDOW = 30;
// A retrace that keeps the game more than this far ahead of the schedule runs fast: 3 frames in
// 10 s is 0.5 %, and this many is reached long before that at any rate worth telling apart.
constexpr int32_t AHEAD_FRAMES = 2;
// Under Wine a stall of a few frames is common, and making all of them up is a burst of the game
// running fast: after a frame more than one frame late the schedule starts again from it.
constexpr int64_t CATCH_UP_FRAMES = 1;

// The pacer belongs to the platform side of the frame, like the Linux layer's limiter: it is
// not game state, so it lives here rather than in the World.
struct Pacer {
    bool started = false;
    int64_t ticks_per_second = 1;
    HANDLE timer = nullptr;
    // The last stretch before a deadline is spun on the counter, where a wait may wake late.
    int64_t spin_ticks = 0;
    bool trust_vsync = false;
    // The schedule counts every frame, also while the retrace paces them, so that frames a
    // retrace let out early are made up for by waiting once it is no longer trusted.
    FrameSchedule schedule{1, FRAME_RATE, CATCH_UP_FRAMES};
    int64_t ahead = 0;  // how long before its place on the schedule the last frame went out
    int64_t presents = 0;
    VsyncWatch watch{1, FRAME_RATE, VSYNC_WINDOW};
};

Pacer pacer;

int64_t counter_now() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

void start_pacer() {
    pacer.started = true;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    pacer.ticks_per_second = frequency.QuadPart;
    pacer.schedule = FrameSchedule(pacer.ticks_per_second, FRAME_RATE, CATCH_UP_FRAMES);
    pacer.watch = VsyncWatch(pacer.ticks_per_second, FRAME_RATE, VSYNC_WINDOW);

    pacer.timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
    if (pacer.timer != nullptr) {
        pacer.spin_ticks = pacer.ticks_per_second / 1000;
    } else {
        // Before Windows 10 (1803) a timer wakes on the system tick, so ask for a 1 ms tick and
        // spin a little longer. Windows restores the tick when the process ends.
        timeBeginPeriod(1);
        pacer.timer = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
        pacer.spin_ticks = pacer.ticks_per_second / 500;
    }

    D3DDISPLAYMODE mode{};
    pacer.trust_vsync = world.d3d_object != nullptr &&
                        SUCCEEDED(world.d3d_object->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode)) &&
                        refresh_matches_frame_rate(mode.RefreshRate, FRAME_RATE);
}

void wait_until(int64_t deadline) {
    const int64_t remaining = deadline - counter_now();
    if (remaining > pacer.spin_ticks) {
        const int64_t wait = remaining - pacer.spin_ticks;
        if (pacer.timer != nullptr) {
            LARGE_INTEGER due;
            due.QuadPart = -(wait * 10000000 / pacer.ticks_per_second);  // relative, in 100 ns
            if (due.QuadPart < 0 && SetWaitableTimer(pacer.timer, &due, 0, nullptr, nullptr, FALSE))
                WaitForSingleObject(pacer.timer, INFINITE);
        } else {
            Sleep(static_cast<DWORD>(wait * 1000 / pacer.ticks_per_second));
        }
    }
    while (counter_now() < deadline) YieldProcessor();
}

}  // namespace

void wait_for_frame_deadline() {
    if (!pacer.started) start_pacer();
    const int64_t now = counter_now();
    const int64_t deadline = pacer.schedule.next_deadline(now);
    pacer.ahead = deadline - now;
    if (!pacer.trust_vsync) wait_until(deadline);
}

// The schedule counts from the first frame shown: the time the first Present takes (a driver
// compiling and uploading on first use) is start-up, not frames to be made up by rushing.
// The retrace is trusted while its presents hold the frame rate: judged coarsely every half
// second by the watch (a retrace that does not wait), and finely by the schedule (one that
// waits a little too little). The schedule starts afresh once the first half second is judged,
// so that the frames a driver queues before its first wait do not count as running ahead.
void frame_presented() {
    if (pacer.presents++ == 0) pacer.schedule.restart();
    if (!pacer.trust_vsync) return;
    const bool holds = pacer.watch.presented(counter_now());
    if (holds && pacer.presents <= VSYNC_WINDOW + 1) {
        if (pacer.presents == VSYNC_WINDOW + 1) pacer.schedule.restart();  // the first window held
        return;
    }
    if (holds && pacer.ahead <= AHEAD_FRAMES * pacer.ticks_per_second / FRAME_RATE) return;
    pacer.trust_vsync = false;
    // Ahead, the schedule holds the next frames back until they are due; behind (a retrace
    // slower than the game), starting afresh keeps it from rushing frames out to catch up.
    if (pacer.ahead <= 0) pacer.schedule.restart();
}

#endif
