// The background track: 24 bars in A minor at 120 beats a minute (48 seconds), built so that its end
// flows straight into its beginning. Every note is written into a ring of samples, so the tails of the
// last bar's notes sound over the first bar, exactly as they would when the game loops the buffer.
#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "assetgen/noise.h"
#include "assetgen/sound.h"
#include "assetgen/synth.h"

namespace assetgen {

using namespace synth;

namespace {

constexpr int kBeatsPerBar = 4;
constexpr int kBars = 24;
constexpr int kSamplesPerBeat = kSampleRate / 2;  // 120 beats per minute
constexpr int kLoopSamples = kBars * kBeatsPerBar * kSamplesPerBeat;
constexpr float kBeat = 0.5f;                     // seconds

class Ring {
public:
    explicit Ring(size_t n) : s_(n, 0.0f) {}
    // Renders voice(t) for the given seconds starting at sample `start`, wrapping past the end.
    void add(long start, float seconds, const std::function<float(float)>& voice)
    {
        long n = long(seconds * kSampleRate);
        long size = long(s_.size());
        for (long i = 0; i < n; ++i) s_[size_t(((start + i) % size + size) % size)] += voice(float(i) / kSampleRate);
    }
    std::vector<float>& samples() { return s_; }

private:
    std::vector<float> s_;
};

long at_beat(float beat) { return long(std::lround(beat * float(kSamplesPerBeat))); }

// Chords of the progression Am - F - C - G, one per bar.
struct Chord {
    int bass;       // MIDI note of the bass root
    int tones[3];   // the triad for pad and arpeggio
};
const Chord kChords[4] = {{45, {57, 60, 64}}, {41, {57, 60, 65}}, {48, {55, 60, 64}}, {43, {55, 59, 62}}};

struct Note {
    int pitch;   // MIDI, or -1 for a rest
    int eighths; // length
};

// Two four-bar phrases of the lead, call and answer; the answer ends on B to lead back to A.
const std::vector<Note> kCall = {{76, 2}, {81, 2}, {79, 1}, {76, 1}, {74, 1}, {76, 1}, {72, 3}, {74, 1}, {76, 2}, {77, 2},
                                 {79, 3}, {76, 1}, {72, 2}, {76, 2}, {74, 4}, {71, 2}, {74, 2}};
const std::vector<Note> kAnswer = {{81, 2}, {84, 2}, {83, 1}, {81, 1}, {79, 1}, {81, 1}, {77, 3}, {79, 1}, {81, 2}, {84, 2},
                                   {79, 2}, {76, 2}, {79, 1}, {81, 1}, {79, 1}, {76, 1}, {74, 2}, {76, 1}, {74, 1}, {71, 4}};

float pad_voice(float hz, float t, float len)
{
    // Two slightly detuned sines and an octave above: a soft, slowly beating swell.
    float env = std::min(1.0f, t / 0.35f) * (t < len ? 1.0f : std::max(0.0f, 1.0f - (t - len) / 0.5f));
    float a = std::sin(kTwoPi * hz * 1.003f * t), b = std::sin(kTwoPi * hz * 0.997f * t);
    float c = std::sin(kTwoPi * hz * 2.0f * t) * 0.3f;
    return (a + b + c) * env;
}

// Pad: the whole bar, with its release running into the next.
void add_pad(Ring& ring, const Chord& ch, float b0)
{
    for (int tone : ch.tones) {
        float hz = midi_hz(float(tone));
        ring.add(at_beat(b0), 2.0f + 0.5f, [hz](float t) { return 0.035f * pad_voice(hz, t, 2.0f); });
    }
}

// Arpeggio in sixteenths, climbing through the chord.
void add_arpeggio(Ring& ring, const Chord& ch, float b0)
{
    static const int order[8] = {0, 1, 2, 3, 2, 1, 0, 2};
    for (int i = 0; i < 16; ++i) {
        int idx = order[i % 8];
        float note = float(idx == 3 ? ch.tones[0] + 12 : ch.tones[idx]) + 12.0f;
        float hz = midi_hz(note);
        float accent = (i % 4 == 0) ? 1.0f : 0.7f;
        auto voice = [hz, accent](float t) {
            float p = hz * t;
            p -= std::floor(p);
            float v = square(p, hz / kSampleRate, 0.25f) * 0.5f + std::sin(kTwoPi * hz * t) * 0.5f;
            return 0.05f * accent * v * std::exp(-t * 16.0f) * std::min(1.0f, t / 0.003f);
        };
        ring.add(at_beat(b0 + float(i) * 0.25f), 0.2f, voice);
    }
}

// Bass: eighths on the root with an octave jump on the off-beat of beats 2 and 4; before the
// full band comes in, only the on-beats.
void add_bass(Ring& ring, const Chord& ch, float b0, bool full)
{
    for (int i = 0; i < 8; ++i) {
        if (!full && i % 2 == 1) continue;
        float note = float(ch.bass) + ((i == 3 || i == 7) ? 12.0f : 0.0f);
        float hz = midi_hz(note);
        auto voice = [hz](float t) {
            float p = hz * t;
            p -= std::floor(p);
            float v = saw(p, hz / kSampleRate) * 0.45f + std::sin(kTwoPi * hz * t) * 0.8f;
            float env = std::min(1.0f, t / 0.004f) * std::exp(-t * 5.0f) * (t < 0.22f ? 1.0f : std::max(0.0f, 1.0f - (t - 0.22f) / 0.03f));
            return 0.16f * v * env;
        };
        ring.add(at_beat(b0 + float(i) * 0.5f), 0.25f, voice);
    }
}

// Drums for one beat: kick, the snare on beats 2 and 4 once the band is full, two hi-hats.
// The noise seeds come from `rng` in this order, so the whole track draws the same numbers.
void add_drum_beat(Ring& ring, Rng& rng, float bt, int beat, bool full)
{
    if (full || beat % 2 == 0) {
        ring.add(at_beat(bt), 0.35f, [](float t) {
            float phase = 45.0f * t + (110.0f / 22.0f) * (1.0f - std::exp(-t * 22.0f));
            return 0.42f * std::sin(kTwoPi * phase) * std::exp(-t * 9.0f);
        });
    }
    if (full && beat % 2 == 1) {
        uint64_t seed = rng.next();
        ring.add(at_beat(bt), 0.25f, [seed](float t) {
            float n = lattice(int32_t(t * kSampleRate), 7, uint32_t(seed)) * 2.0f - 1.0f;
            float tone = std::sin(kTwoPi * 190.0f * t) * std::exp(-t * 25.0f);
            return 0.16f * (n * std::exp(-t * 16.0f) + tone * 0.6f);
        });
    }
    for (int half = 0; half < 2; ++half) {
        uint64_t seed = rng.next();
        float level = half ? 0.05f : 0.03f;
        float decay = half ? 40.0f : 70.0f;
        ring.add(at_beat(bt + 0.5f * float(half)), 0.12f, [seed, level, decay](float t) {
            // Differencing white noise leaves only its top end: a hi-hat.
            int32_t i = int32_t(t * kSampleRate);
            float n = lattice(i, 9, uint32_t(seed)) - lattice(i - 1, 9, uint32_t(seed));
            return level * n * std::exp(-t * decay);
        });
    }
}

// A snare roll in the last bar pulls the loop back to its start.
void add_snare_roll(Ring& ring, Rng& rng, float b0)
{
    for (int i = 0; i < 4; ++i) {
        uint64_t seed = rng.next();
        float gain = 0.08f + 0.03f * float(i);
        ring.add(at_beat(b0 + 3.0f + float(i) * 0.25f), 0.15f, [seed, gain](float t) {
            float n = lattice(int32_t(t * kSampleRate), 11, uint32_t(seed)) * 2.0f - 1.0f;
            return gain * n * std::exp(-t * 22.0f);
        });
    }
}

// One lead note on the lead's own bus, `shimmer` adding an octave above.
void add_lead_note(Ring& lead_bus, float beat, const Note& n, float shimmer)
{
    float len = float(n.eighths) * 0.5f * kBeat;
    float hz = midi_hz(float(n.pitch));
    lead_bus.add(at_beat(beat), len + 0.15f, [hz, len, shimmer](float t) {
        float vib = t > 0.15f ? 0.004f * std::sin(kTwoPi * 5.5f * t) : 0.0f;
        float f = hz * (1.0f + vib);
        float p = f * t;
        p -= std::floor(p);
        float v = triangle(p) * 0.7f + square(p, f / kSampleRate, 0.5f) * 0.12f +
                  shimmer * std::sin(kTwoPi * 2.0f * f * t);
        float env = std::min(1.0f, t / 0.012f) * (t < len ? 1.0f - 0.25f * std::min(1.0f, t / 0.6f)
                                                          : std::max(0.0f, 0.75f * (1.0f - (t - len) / 0.15f)));
        return 0.13f * v * env;
    });
}

// Lead: call and answer over bars 8-15, again (an octave shimmer added) over bars 16-23.
void add_lead(Ring& lead_bus)
{
    for (int section = 0; section < 2; ++section) {
        float beat = float((8 + section * 8) * kBeatsPerBar);
        float shimmer = section == 1 ? 0.25f : 0.0f;
        for (const std::vector<Note>* phrase : {&kCall, &kAnswer}) {
            for (const Note& n : *phrase) {
                add_lead_note(lead_bus, beat, n, shimmer);
                beat += float(n.eighths) * 0.5f;
            }
        }
    }
}

// Echo on the lead, dotted-eighth delay, mixed into `mix`. The ring wraps, so run the feedback a
// few times over the whole loop until the echoes that cross the seam have settled.
void mix_lead_with_echo(Ring& lead_bus, Ring& mix)
{
    std::vector<float>& dry = lead_bus.samples();
    std::vector<float> wet = dry;
    const size_t delay = size_t(kSamplesPerBeat) * 3 / 4;
    const size_t n = wet.size();
    for (int pass = 0; pass < 3; ++pass)
        for (size_t i = 0; i < n; ++i) wet[i] = dry[i] + 0.32f * wet[(i + n - delay) % n];
    std::vector<float>& mix_bus = mix.samples();
    for (size_t i = 0; i < n; ++i) mix_bus[i] += wet[i];
}

}  // namespace

Sound make_music()
{
    Ring ring(kLoopSamples);
    Rng rng(2024);
    for (int bar = 0; bar < kBars; ++bar) {
        const Chord& ch = kChords[bar % 4];
        const float b0 = float(bar * kBeatsPerBar);
        const bool full = bar >= 8;
        add_pad(ring, ch, b0);
        add_arpeggio(ring, ch, b0);
        add_bass(ring, ch, b0, full);
        for (int beat = 0; beat < kBeatsPerBar; ++beat) add_drum_beat(ring, rng, b0 + float(beat), beat, full);
        if (bar == kBars - 1) add_snare_roll(ring, rng, b0);
    }

    Ring lead_bus(kLoopSamples);
    add_lead(lead_bus);
    mix_lead_with_echo(lead_bus, ring);

    // Gentle saturation glues the mix and keeps peaks in check.
    std::vector<float>& out = ring.samples();
    for (float& v : out) v = std::tanh(1.4f * v);
    return to_pcm(out, 0.85f);
}

}  // namespace assetgen
