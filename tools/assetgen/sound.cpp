#include "assetgen/sound.h"

#include <algorithm>
#include <cmath>

#include "assetgen/noise.h"
#include "assetgen/synth.h"

namespace assetgen {

using namespace synth;

namespace {

void put_u32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}
void put_u16(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
void put_tag(std::vector<uint8_t>& out, const char* tag)
{
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(tag[i]));
}

// Short fades at both ends so an effect never starts or stops with a click.
void fade_ends(std::vector<float>& s, int in_samples, int out_samples)
{
    int n = int(s.size());
    for (int i = 0; i < std::min(in_samples, n); ++i) s[size_t(i)] *= float(i) / float(in_samples);
    for (int i = 0; i < std::min(out_samples, n); ++i) s[size_t(n - 1 - i)] *= float(i) / float(out_samples);
}

float white(Rng& rng) { return rng.uniform() * 2.0f - 1.0f; }

// An effect of `hundredths` of a second, `voice(t)` called once per sample in order, its ends
// faded over the given numbers of samples and its loudest sample brought to `peak`.
template <typename Voice>
Sound render_effect(int hundredths, Voice&& voice, int fade_in, int fade_out, float peak)
{
    const int n = kSampleRate * hundredths / 100;
    std::vector<float> s(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) s[size_t(i)] = voice(float(i) / kSampleRate);
    fade_ends(s, fade_in, fade_out);
    return to_pcm(s, peak);
}

// 0 for the first 45% of a sound, then rising smoothly to 1 at its end.
float smooth_end(float u)
{
    float v = std::clamp((u - 0.45f) / 0.55f, 0.0f, 1.0f);
    return v * v * (3.0f - 2.0f * v);
}

}  // namespace

Sound to_pcm(const std::vector<float>& signal, float peak)
{
    float loudest = 0.0f;
    for (float v : signal) loudest = std::max(loudest, std::fabs(v));
    float gain = loudest > 0.0f ? peak * 32767.0f / loudest : 0.0f;
    Sound s;
    s.samples.reserve(signal.size());
    for (float v : signal) s.samples.push_back(int16_t(std::clamp(std::lround(v * gain), -32767l, 32767l)));
    return s;
}

std::vector<uint8_t> encode_wav(const Sound& sound)
{
    const uint32_t data_bytes = uint32_t(sound.samples.size() * 2);
    std::vector<uint8_t> out;
    out.reserve(44 + data_bytes);
    put_tag(out, "RIFF");
    put_u32(out, 36 + data_bytes);
    put_tag(out, "WAVE");
    put_tag(out, "fmt ");
    put_u32(out, 16);
    put_u16(out, 1);  // PCM
    put_u16(out, 1);  // mono
    put_u32(out, uint32_t(sound.rate));
    put_u32(out, uint32_t(sound.rate) * 2);  // bytes per second
    put_u16(out, 2);                         // bytes per sample frame
    put_u16(out, 16);                        // bits per sample
    put_tag(out, "data");
    put_u32(out, data_bytes);
    for (int16_t v : sound.samples) put_u16(out, uint16_t(v));
    return out;
}

Sound make_shot_sound()
{
    // A quick falling zap over a burst of hiss: 0.12 s.
    Rng rng(71);
    Phase ph;
    LowPass hiss_lp;
    auto voice = [&](float t) {
        float f = 220.0f + 1500.0f * std::exp(-t * 30.0f);
        float p = ph.advance(f / kSampleRate);
        float tone = 0.6f * std::sin(kTwoPi * p) + 0.4f * square(p, f / kSampleRate, 0.3f);
        float hiss = hiss_lp.run(white(rng), 6000.0f, kSampleRate) * std::exp(-t * 90.0f);
        return (tone * 0.8f + hiss * 0.9f) * std::exp(-t * 26.0f);
    };
    return render_effect(12, voice, 40, 400, 0.8f);
}

Sound make_rocket_sound()
{
    // Ignition thump, then a roaring whoosh that sweeps up and away: 0.45 s.
    Rng rng(72);
    Phase thump;
    BandPass roar;
    LowPass rumble, tame;
    auto voice = [&](float t) {
        float u = t / 0.45f;
        float nz = white(rng);
        float sweep = 350.0f + 2600.0f * std::sin(3.14159f * std::min(1.0f, u * 1.2f)) * (1.0f - 0.5f * u);
        float whoosh = roar.run(nz, sweep, 2.2f, kSampleRate);
        float low = rumble.run(nz, 300.0f, kSampleRate) * 2.5f;
        float env = std::min(1.0f, t / 0.03f) * (1.0f - smooth_end(u));
        float f = 45.0f + 80.0f * std::exp(-t * 25.0f);
        float boom = std::sin(kTwoPi * thump.advance(f / kSampleRate)) * std::exp(-t * 16.0f);
        return tame.run((whoosh * 0.9f + low * 0.5f) * env, 5000.0f, kSampleRate) + boom * 0.7f;
    };
    return render_effect(45, voice, 60, 900, 0.8f);
}

Sound make_explosion_sound()
{
    // A deep boom under crackling debris, dying away over 0.75 s.
    Rng rng(73);
    Phase sub;
    LowPass body_lp, body_lp2;
    float crackle = 0.0f;
    auto voice = [&](float t) {
        float nz = white(rng);
        float cutoff = 180.0f + 3800.0f * std::exp(-t * 7.0f);
        float rumble = body_lp2.run(body_lp.run(nz, cutoff, kSampleRate), cutoff, kSampleRate);
        float f = 32.0f + 60.0f * std::exp(-t * 9.0f);
        float boom = std::sin(kTwoPi * sub.advance(f / kSampleRate)) * std::exp(-t * 5.5f);
        // Sparse pops of debris in the first half.
        if (rng.uniform() < 0.0016f * std::exp(-t * 4.0f)) crackle = 1.0f;
        crackle *= 0.992f;
        float pops = crackle * nz * 0.6f;
        float env = std::min(1.0f, t / 0.004f) * std::exp(-t * 4.2f);
        return (rumble * 2.2f + pops) * env + boom * 0.9f;
    };
    return render_effect(75, voice, 30, 2000, 0.85f);
}

}  // namespace assetgen
