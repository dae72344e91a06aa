// How fast the replay runner plays the game with nothing rendered and nothing written: the end-to-end
// tests and reviews replay whole games, so a 10-minute game (36,000 frames) should take under two seconds.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "playthrough.h"
#include "runner.h"

namespace {

// The whole program's work for one run: start-up, every frame, shut-down.
void BM_ReplayWholeRun(benchmark::State& state) {
    const replay::Script& play = playthrough_script();
    int64_t frames = 0;
    for (auto _ : state) {
        const replay::RunOutcome outcome = replay::play(play, replay::RunSettings{});
        if (!outcome.started) {
            state.SkipWithError("the game could not start");
            return;
        }
        frames += outcome.frames;
    }
    state.counters["frames"] = benchmark::Counter(static_cast<double>(frames) / static_cast<double>(state.iterations()));
    state.counters["frames_per_second"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReplayWholeRun)->Unit(benchmark::kMillisecond);

// Frames only, from the end of the first frame to the end of the last: what a longer game costs per frame.
void BM_ReplayFrames(benchmark::State& state) {
    const replay::Script& play = playthrough_script();
    using Clock = std::chrono::steady_clock;
    int64_t frames = 0;
    for (auto _ : state) {
        Clock::time_point first;
        Clock::time_point last;
        replay::RunSettings settings;
        settings.after_frame = [&](const replay::FrameReport& report) {
            if (report.frame == 0) first = Clock::now();
            if (report.last) last = Clock::now();
        };
        const replay::RunOutcome outcome = replay::play(play, settings);
        if (!outcome.started || outcome.frames < 2) {
            state.SkipWithError("the game could not start");
            return;
        }
        frames += outcome.frames - 1;
        state.SetIterationTime(std::chrono::duration<double>(last - first).count());
    }
    state.counters["frames_per_second"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReplayFrames)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
