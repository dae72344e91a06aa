// The compositor alone, on frames the game really draws: the playthrough's busiest frames (the
// stars, a stage full of enemies, kill messages, explosions, the HUD), replayed quad by quad from
// the draw log with the textures they used; and the worst case, the busiest frame with 30
// explosions at their full size on top. Each runs on the SSE2 and on the portable kernels.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <d3d9.h>
#include <headless.h>

#include "compositor/compositor.h"
#include "device_state.h"
#include "playthrough.h"
#include "runner.h"

namespace {

constexpr int BUSY_FRAMES = 8;
constexpr int WORST_CASE_EXPLOSIONS = 30;
constexpr int EXPLOSION_FULL_SIZE = 2100;  // age 210 at 10 pixels an age: the last size drawn
constexpr int EXPLOSION_LAST_ALPHA = 255 - 210;
constexpr std::uint32_t BLEND_SRCALPHA = 5, BLEND_ONE = 2;

struct RecordedQuad {
    platform::QuadCorners corners;
    platform::DrawStates states;
    int texture;  // index into Recording::textures, or -1
};

struct Recording {
    std::vector<std::vector<std::uint32_t>> texels;
    // Where each texture's visible and opaque texels lie, as the device tells the compositor.
    std::vector<std::vector<int>> row_visible, visible, opaque;
    std::vector<platform::TextureView> textures;
    std::vector<std::vector<RecordedQuad>> frames;
    int explosion_texture = -1;
    std::vector<std::int64_t> frame_numbers;
};

bool on_screen(const headless::QuadRecord& quad) {
    const float left = std::min(quad.x[0], quad.x[1]), right = std::max(quad.x[0], quad.x[1]);
    const float top = std::min(quad.y[0], quad.y[2]), bottom = std::max(quad.y[0], quad.y[2]);
    return !quad.culled && right > 0 && left < 800 && bottom > 0 && top < 600 && right > left && bottom > top;
}

// The texture's pixels as they are now, kept for the benchmark.
int keep_texture(Recording& recording, std::map<const void*, int>& known, const IDirect3DBaseTexture9* base) {
    if (base == nullptr) return -1;
    const auto found = known.find(base);
    if (found != known.end()) return found->second;
    auto* texture = static_cast<IDirect3DTexture9*>(const_cast<IDirect3DBaseTexture9*>(base));
    D3DSURFACE_DESC desc{};
    D3DLOCKED_RECT locked{};
    texture->GetLevelDesc(0, &desc);
    if (texture->LockRect(0, &locked, nullptr, 0x10 /* D3DLOCK_READONLY */) != D3D_OK) return -1;
    std::vector<std::uint32_t> texels(static_cast<std::size_t>(desc.Width) * desc.Height);
    for (UINT y = 0; y < desc.Height; ++y)
        std::copy_n(reinterpret_cast<const std::uint32_t*>(static_cast<const char*>(locked.pBits) + y * locked.Pitch),
                    desc.Width, texels.data() + static_cast<std::size_t>(y) * desc.Width);
    texture->UnlockRect(0);
    const platform::TextureView told = static_cast<const platform::MemoryTexture*>(texture)->view();
    const auto kept = [&desc](const int* from, std::size_t count) {
        return from != nullptr ? std::vector<int>(from, from + count) : std::vector<int>();
    };
    recording.row_visible.push_back(kept(told.row_visible, desc.Height + 1));
    recording.visible.push_back(kept(told.visible, told.row_visible != nullptr ? told.row_visible[desc.Height] : 0));
    recording.opaque.push_back(kept(told.opaque, 2 * static_cast<std::size_t>(desc.Height)));
    platform::TextureView view;
    view.width = static_cast<int>(desc.Width);
    view.height = static_cast<int>(desc.Height);
    view.pitch = view.width;
    view.alpha = desc.Format != D3DFMT_X8R8G8B8;
    recording.texels.push_back(std::move(texels));
    recording.textures.push_back(view);
    known[base] = static_cast<int>(recording.textures.size()) - 1;
    return known[base];
}

// Two plays: the first counts each frame's visible quads, the second keeps the busiest frames.
const Recording& recording() {
    static const Recording kept = [] {
        Recording recording;
        const replay::Script& script = playthrough_script();
        std::vector<std::pair<int, std::int64_t>> counts;
        replay::RunSettings count;
        count.record_draws = true;
        count.after_frame = [&](const replay::FrameReport& report) {
            const headless::DrawLog log = headless::presented_draws();
            int visible = 0;
            for (int i = 0; i < log.count; ++i) visible += on_screen(log.quads[i]) ? 1 : 0;
            counts.emplace_back(visible, report.frame);
        };
        if (!replay::play(script, count).started) {
            std::fprintf(stderr, "the game could not start\n");
            std::exit(1);
        }
        std::sort(counts.rbegin(), counts.rend());
        for (int i = 0; i < BUSY_FRAMES && i < static_cast<int>(counts.size()); ++i)
            recording.frame_numbers.push_back(counts[static_cast<std::size_t>(i)].second);

        std::map<const void*, int> known;
        replay::RunSettings keep;
        keep.record_draws = true;
        keep.after_frame = [&](const replay::FrameReport& report) {
            if (std::find(recording.frame_numbers.begin(), recording.frame_numbers.end(), report.frame) ==
                recording.frame_numbers.end())
                return;
            const headless::DrawLog log = headless::presented_draws();
            std::vector<RecordedQuad> frame;
            for (int i = 0; i < log.count; ++i) {
                const headless::QuadRecord& quad = log.quads[i];
                if (quad.culled) continue;
                RecordedQuad recorded{};
                for (int v = 0; v < 4; ++v) {
                    recorded.corners.x[v] = quad.x[v];
                    recorded.corners.y[v] = quad.y[v];
                    recorded.corners.u[v] = quad.u[v];
                    recorded.corners.v[v] = quad.v[v];
                    recorded.corners.colour[v] = quad.color;
                }
                recorded.states.blend = quad.blend;
                recorded.states.source_blend = quad.src_blend;
                recorded.states.destination_blend = quad.dest_blend;
                recorded.texture = keep_texture(recording, known, quad.texture);
                if (quad.blend && quad.dest_blend == BLEND_ONE) recording.explosion_texture = recorded.texture;
                frame.push_back(recorded);
            }
            recording.frames.push_back(std::move(frame));
        };
        replay::play(script, keep);
        for (std::size_t i = 0; i < recording.textures.size(); ++i) {
            platform::TextureView& view = recording.textures[i];
            view.pixels = recording.texels[i].data();
            const auto known_or_null = [](const std::vector<int>& kept) {
                return kept.empty() ? nullptr : kept.data();
            };
            view.row_visible = known_or_null(recording.row_visible[i]);
            view.visible = known_or_null(recording.visible[i]);
            if (view.visible == nullptr) view.row_visible = nullptr;
            view.opaque = known_or_null(recording.opaque[i]);
        }
        return recording;
    }();
    return kept;
}

void draw(platform::Compositor& compositor, const std::vector<RecordedQuad>& frame, const Recording& recording) {
    // What is measured is drawing the frame: never a frame found already in the target.
    compositor.forget_shown();
    compositor.clear(0xFF000000u);
    for (const RecordedQuad& quad : frame) {
        platform::DrawStates states = quad.states;
        states.texture = quad.texture >= 0 ? &recording.textures[static_cast<std::size_t>(quad.texture)] : nullptr;
        compositor.draw(quad.corners, states);
    }
    benchmark::DoNotOptimize(compositor.frame().pixels);
}

platform::Compositor::Kernels kernels_of(const benchmark::State& state) {
    return state.range(0) != 0 ? platform::Compositor::Kernels::sse2 : platform::Compositor::Kernels::portable;
}

// Arguments: SSE2 (1) or portable (0) kernels; rows per band (0: no bands, quad after quad).
void arguments(benchmark::internal::Benchmark* benchmark) {
    benchmark->Args({1, platform::Compositor::BAND_ROWS})->Args({1, 0})->Args({0, platform::Compositor::BAND_ROWS});
}

std::string label_of(const platform::Compositor& compositor, const benchmark::State& state) {
    std::string label = compositor.kernels() == platform::Compositor::Kernels::sse2 ? "sse2" : "portable";
    label += state.range(1) != 0 ? ", bands of " + std::to_string(state.range(1)) + " rows" : std::string(", no bands");
    return label;
}

void BM_CompositorBusyFrame(benchmark::State& state) {
    const Recording& kept = recording();
    platform::Compositor compositor(800, 600, static_cast<int>(state.range(1)));
    compositor.set_kernels(kernels_of(state));
    std::size_t next = 0;
    std::size_t quads = 0;
    for (auto _ : state) {
        const std::vector<RecordedQuad>& frame = kept.frames[next];
        draw(compositor, frame, kept);
        quads += frame.size();
        next = (next + 1) % kept.frames.size();
    }
    state.counters["quads"] = static_cast<double>(quads) / static_cast<double>(state.iterations());
    std::string label = label_of(compositor, state);
    label += ", frames";
    for (std::int64_t f : kept.frame_numbers) {
        label += ' ';
        label += std::to_string(f);
    }
    state.SetLabel(label);
}
BENCHMARK(BM_CompositorBusyFrame)->Apply(arguments)->Unit(benchmark::kMillisecond);

void BM_CompositorThirtyFullExplosions(benchmark::State& state) {
    const Recording& kept = recording();
    if (kept.explosion_texture < 0) {
        state.SkipWithError("no explosion in the busiest frames");
        return;
    }
    std::vector<RecordedQuad> frame = kept.frames.front();
    // Spread over the screen the way a chain of kills would leave them, each at its last size.
    for (int i = 0; i < WORST_CASE_EXPLOSIONS; ++i) {
        const int x = (i * 137) % 800 - EXPLOSION_FULL_SIZE / 2, y = (i * 71) % 600 - EXPLOSION_FULL_SIZE / 2;
        RecordedQuad explosion{};
        const float left = static_cast<float>(x), top = static_cast<float>(y);
        const float right = static_cast<float>(x + EXPLOSION_FULL_SIZE), bottom = static_cast<float>(y + EXPLOSION_FULL_SIZE);
        const float xs[4] = {left, right, left, right}, ys[4] = {top, top, bottom, bottom};
        for (int v = 0; v < 4; ++v) {
            explosion.corners.x[v] = xs[v];
            explosion.corners.y[v] = ys[v];
            explosion.corners.u[v] = v % 2 == 0 ? 0.0f : 1.0f;
            explosion.corners.v[v] = v < 2 ? 0.0f : 1.0f;
            explosion.corners.colour[v] = static_cast<std::uint32_t>(EXPLOSION_LAST_ALPHA) << 24 | 0xFFFFFFu;
        }
        explosion.states.blend = true;
        explosion.states.source_blend = BLEND_SRCALPHA;
        explosion.states.destination_blend = BLEND_ONE;
        explosion.texture = kept.explosion_texture;
        frame.push_back(explosion);
    }
    platform::Compositor compositor(800, 600, static_cast<int>(state.range(1)));
    compositor.set_kernels(kernels_of(state));
    for (auto _ : state) draw(compositor, frame, kept);
    state.counters["quads"] = static_cast<double>(frame.size());
    state.SetLabel(label_of(compositor, state));
}
BENCHMARK(BM_CompositorThirtyFullExplosions)->Apply(arguments)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
