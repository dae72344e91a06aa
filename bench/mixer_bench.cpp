// What the player's volume costs the mixer: one frame's worth of samples (735 stereo frames, the
// music and an effect, 44.1 kHz to a 48 kHz output) at full gain, the baseline, and lowered.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "audio_mixer.h"

namespace {

void mix_one_frame(benchmark::State& state, audio::Gains gains) {
    std::vector<uint8_t> music(44100 * 2 * 4), shot(44100 * 2);
    for (std::size_t i = 0; i < music.size(); ++i) music[i] = static_cast<uint8_t>(i * 7);
    for (std::size_t i = 0; i < shot.size(); ++i) shot[i] = static_cast<uint8_t>(i * 13);
    const auto voice_of = [](std::vector<uint8_t>& data, bool looping) {
        audio::Voice voice{};
        voice.samples = data.data();
        voice.frame_count = static_cast<uint32_t>(data.size() / 2);
        voice.format = {1, 16, 44100};
        voice.playing = true;
        voice.looping = looping;
        return voice;
    };
    audio::Voice music_voice = voice_of(music, true);
    audio::Voice shot_voice = voice_of(shot, false);
    audio::Voice* voices[] = {&music_voice, &shot_voice};
    int16_t out[735 * 2];
    for (auto _ : state) {
        shot_voice.playing = true;  // an effect plays in every frame measured
        audio::mix(voices, 2, out, 735, {2, 48000}, gains);
        benchmark::DoNotOptimize(out);
    }
}

void BM_MixOneFrame_FullGain(benchmark::State& state) { mix_one_frame(state, {}); }
void BM_MixOneFrame_Lowered(benchmark::State& state) { mix_one_frame(state, {4000, 5000}); }
BENCHMARK(BM_MixOneFrame_FullGain);
BENCHMARK(BM_MixOneFrame_Lowered);

}  // namespace
