// How late the frame limiter wakes: 3,000 frames on the game's own schedule (60 per second,
// deadlines counted from the start), each waiting with the layer's wait_until. Prints the median
// and 99th percentile of the lateness, the rate held, and the CPU the waits cost. With "spin",
// the same frames wait the way the limiter used to (sleep, then spin the last 1.2 ms), for a
// baseline in the same run.
//
//     zorvalen_pacing [FRAMES] [WORK_MICROSECONDS] [spin]
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <time.h>

#include "present_limiter.h"
#include "common/frame_schedule.h"

namespace {

double cpu_seconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The limiter as it was: a relative sleep to 1.2 ms before the deadline, then a spin.
void sleep_then_spin(std::int64_t deadline) {
    constexpr std::int64_t spin = 1200000;
    const std::int64_t remaining = deadline - platform::monotonic_nanoseconds();
    if (remaining > spin) {
        const std::int64_t sleep_for = remaining - spin;
        timespec pause{static_cast<time_t>(sleep_for / platform::NANOSECONDS_PER_SECOND),
                       static_cast<long>(sleep_for % platform::NANOSECONDS_PER_SECOND)};
        nanosleep(&pause, nullptr);
    }
    while (platform::monotonic_nanoseconds() < deadline) {
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3000;
    const long work = argc > 2 ? std::max(0L, std::atol(argv[2])) : 0;  // simulated frame work, busy
    const bool spin = argc > 3 && std::strcmp(argv[3], "spin") == 0;
    FrameSchedule schedule(platform::NANOSECONDS_PER_SECOND, 60);
    std::vector<std::int64_t> lateness;
    lateness.reserve(static_cast<std::size_t>(frames));
    const double cpu_before = cpu_seconds();
    std::int64_t first = 0;
    for (int frame = 0; frame <= frames; ++frame) {
        const std::int64_t work_until = platform::monotonic_nanoseconds() + work * 1000;
        while (platform::monotonic_nanoseconds() < work_until) {
        }
        const std::int64_t deadline = schedule.next_deadline(platform::monotonic_nanoseconds());
        if (spin)
            sleep_then_spin(deadline);
        else
            platform::wait_until(deadline);
        const std::int64_t woke = platform::monotonic_nanoseconds();
        if (frame == 0)
            first = woke;
        else
            lateness.push_back(woke - deadline);
    }
    const double elapsed = static_cast<double>(platform::monotonic_nanoseconds() - first) / 1e9;
    const double cpu = cpu_seconds() - cpu_before - static_cast<double>(work) * 1e-6 * (frames + 1);
    std::sort(lateness.begin(), lateness.end());
    const auto at = [&](double share) {
        return static_cast<double>(lateness[static_cast<std::size_t>(share * static_cast<double>(lateness.size() - 1))]) / 1e3;
    };
    std::printf("%s  frames %d  rate %.3f fps  lateness median %.1f us  p99 %.1f us  max %.1f us  "
                "CPU outside the simulated work %.2f %% of a core\n",
                spin ? "sleep+spin (old)" : "absolute sleep", frames, frames / elapsed, at(0.5), at(0.99), at(1.0), 100.0 * cpu / elapsed);
    return 0;
}
