// What showing the finished 800 x 600 picture on a bigger screen costs on one core: the copy
// into an 800 x 600 window is the baseline, every other size is compared with it in the same run.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "picture_scaler.h"

namespace {

constexpr int PICTURE_WIDTH = 800;
constexpr int PICTURE_HEIGHT = 600;

void scale_to(benchmark::State& state, int width, int height, platform::ScaleFilter filter) {
    std::vector<std::uint32_t> picture(static_cast<std::size_t>(PICTURE_WIDTH) * PICTURE_HEIGHT);
    for (std::size_t i = 0; i < picture.size(); ++i)
        picture[i] = static_cast<std::uint32_t>(i * 2654435761u) | 0xFF000000u;
    std::vector<std::uint32_t> screen(static_cast<std::size_t>(width) * height);
    platform::PictureScaler scaler;
    scaler.prepare(PICTURE_WIDTH, PICTURE_HEIGHT, width, height, filter);
    for (auto _ : state) {
        scaler.scale(picture.data(), PICTURE_WIDTH, screen.data(), width);
        benchmark::DoNotOptimize(screen.data());
        benchmark::ClobberMemory();
    }
    state.counters["fps_one_core"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_PictureInItsOwnWindow(benchmark::State& state) { scale_to(state, 800, 600, platform::ScaleFilter::sharp); }
void BM_Picture1920x1080Sharp(benchmark::State& state) { scale_to(state, 1920, 1080, platform::ScaleFilter::sharp); }
void BM_Picture1920x1080Linear(benchmark::State& state) { scale_to(state, 1920, 1080, platform::ScaleFilter::linear); }
void BM_Picture1600x1200Whole(benchmark::State& state) { scale_to(state, 1600, 1200, platform::ScaleFilter::sharp); }
void BM_Picture3840x2160Sharp(benchmark::State& state) { scale_to(state, 3840, 2160, platform::ScaleFilter::sharp); }

BENCHMARK(BM_PictureInItsOwnWindow)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Picture1920x1080Sharp)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Picture1920x1080Linear)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Picture1600x1200Whole)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Picture3840x2160Sharp)->Unit(benchmark::kMicrosecond);

}  // namespace
