// What replays cost: the game's frames with and without the recording (the target: at most 1 %
// more, measured headless, where a frame costs least, so the share is the largest it can be), and
// how long a jump back of ten seconds takes at the end of a ten-minute replay (the target: shown
// within a second). Ratios are read from one run:
//     build/bench-rel/bench/zorvalen_bench --benchmark_filter='Recording|Jump'
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "replays/game_probe.h"
#include "replays/replay_session.h"
#include "playthrough.h"
#include "runner.h"
#include "soak.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string scratch_file(const char* name) {
    return (std::filesystem::temp_directory_path() / (std::string(name) + "-" + std::to_string(::getpid()) + ".zvr"))
        .string();
}

// The playthrough's frames, from the end of its first to the end of its last, recorded or not.
void play_frames(benchmark::State& state, bool recorded) {
    const replay::Script& play = playthrough_script();
    replays::install_game_probe();
    const std::string file = scratch_file("recording-bench");
    int64_t frames = 0;
    for (auto _ : state) {
        if (recorded) replays::start_recording("", file, replays::Recorder::runner);
        Clock::time_point first, last;
        replay::RunSettings settings;
        settings.after_frame = [&](const replay::FrameReport& report) {
            if (report.frame == 0) first = Clock::now();
            if (report.last) last = Clock::now();
        };
        const replay::RunOutcome outcome = replay::play(play, settings);
        replays::end_session();
        if (!outcome.started || outcome.frames < 2) {
            state.SkipWithError("the game could not start");
            return;
        }
        frames += outcome.frames - 1;
        state.SetIterationTime(std::chrono::duration<double>(last - first).count());
    }
    std::filesystem::remove(file);
    state.counters["frames_per_second"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
}

void BM_RecordingOff(benchmark::State& state) { play_frames(state, false); }
void BM_RecordingOn(benchmark::State& state) { play_frames(state, true); }
BENCHMARK(BM_RecordingOff)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_RecordingOn)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2);

constexpr int64_t TEN_MINUTES = 36000;

// Ten minutes of the soak's restless player, recorded once.
const std::string& ten_minute_replay() {
    static const std::string file = [] {
        playthrough_script();  // into the asset folder
        replays::install_game_probe();
        const std::string path = scratch_file("ten-minutes");
        replays::start_recording("", path, replays::Recorder::runner);
        replay::RandomInput random(7);
        replay::RunSettings settings;
        settings.frame_limit = TEN_MINUTES;
        settings.input_source = [&](int64_t, replay::FrameInput& input) { random.next(input); };
        replay::play(replay::Script{}, settings);
        replays::end_session();
        return path;
    }();
    return file;
}

// Watching the ten-minute replay: forward to its end, a jump at a time, then ten seconds back;
// the time from that key to the frame it shows.
void BM_JumpBackAtTheEnd(benchmark::State& state) {
    const std::string& replay_file = ten_minute_replay();
    replay::Script keys;
    replay::ParseError error;
    std::string text;
    for (int i = 0; i < 60; ++i) text += "1 RIGHT\n1\n";
    text += std::to_string(TEN_MINUTES) + "\n1 LEFT\n700\n";
    replay::parse_script(text, keys, error);
    const int64_t press = 120 + TEN_MINUTES;  // the loop's frame that reads Left
    for (auto _ : state) {
        std::string message, warning;
        if (!replays::start_playing(replay_file, replays::ReplayPlayer::Use::watch, message, warning)) {
            state.SkipWithError(message.c_str());
            return;
        }
        Clock::time_point pressed, shown;
        bool done = false;
        replay::RunSettings settings;
        settings.after_frame = [&](const replay::FrameReport& report) {
            if (report.frame == press) pressed = Clock::now();
            if (report.frame > press && !done && !replays::frame_hidden()) {
                shown = Clock::now();
                done = true;
            }
        };
        settings.keep_going = [&](const replay::FrameReport&) { return !done; };
        replay::play(keys, settings);
        replays::end_session();
        state.SetIterationTime(std::chrono::duration<double>(shown - pressed).count());
    }
}
BENCHMARK(BM_JumpBackAtTheEnd)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
