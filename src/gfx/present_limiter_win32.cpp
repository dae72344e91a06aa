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

// The pacer belongs to the platform side of the frame, like the Linux layer's limiter: it is
// not game state, so it lives here rather than in the World.
struct Pacer {
    bool started = false;
    int64_t ticks_per_second = 1;
    HANDLE timer = nullptr;
    // The last stretch before a deadline is spun on the counter, where a wait may wake late.
    int64_t spin_ticks = 0;
    bool trust_vsync = false;
    FrameSchedule schedule{1, FRAME_RATE};
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
    pacer.schedule = FrameSchedule(pacer.ticks_per_second, FRAME_RATE);
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
    if (pacer.trust_vsync) return;
    wait_until(pacer.schedule.next_deadline(counter_now()));
}

void frame_presented() {
    if (!pacer.trust_vsync) return;
    if (!pacer.watch.presented(counter_now())) {
        pacer.trust_vsync = false;
        pacer.schedule.restart();
    }
}

#endif
