// The generated WAV files parsed chunk by chunk, as a RIFF reader that searches for "fmt " and then
// "data" would see them, and checked for length, level and a clean loop.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "assetgen/assets.h"

namespace {

struct Wav {
    int format = 0, channels = 0, rate = 0, bits = 0, block_align = 0;
    uint32_t byte_rate = 0;
    bool fmt_before_data = false;
    std::vector<int16_t> samples;  // interleaved
    double seconds() const { return double(samples.size()) / double(channels) / double(rate); }
};

uint32_t le(const std::vector<uint8_t>& b, size_t at, int bytes)
{
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b.at(at + size_t(i));
    return v;
}

bool tag(const std::vector<uint8_t>& b, size_t at, const char* t) { return std::equal(t, t + 4, b.begin() + long(at)); }

Wav parse(const std::vector<uint8_t>& f)
{
    Wav w;
    EXPECT_TRUE(tag(f, 0, "RIFF"));
    EXPECT_EQ(le(f, 4, 4), f.size() - 8) << "RIFF size";
    EXPECT_TRUE(tag(f, 8, "WAVE"));
    bool have_fmt = false;
    for (size_t pos = 12; pos + 8 <= f.size();) {
        uint32_t size = le(f, pos + 4, 4);
        if (tag(f, pos, "fmt ")) {
            have_fmt = true;
            w.format = int(le(f, pos + 8, 2));
            w.channels = int(le(f, pos + 10, 2));
            w.rate = int(le(f, pos + 12, 4));
            w.byte_rate = le(f, pos + 16, 4);
            w.block_align = int(le(f, pos + 20, 2));
            w.bits = int(le(f, pos + 22, 2));
        } else if (tag(f, pos, "data")) {
            w.fmt_before_data = have_fmt;
            EXPECT_LE(pos + 8 + size, f.size()) << "data runs past the file";
            for (size_t i = 0; i + 1 < size; i += 2) w.samples.push_back(int16_t(le(f, pos + 8 + i, 2)));
        }
        pos += 8 + size + (size & 1);
    }
    return w;
}

Wav load(const std::string& name) { return parse(assetgen::generate_asset(name)); }

int peak(const std::vector<int16_t>& s, size_t from = 0, size_t to = SIZE_MAX)
{
    int p = 0;
    for (size_t i = from; i < std::min(to, s.size()); ++i) p = std::max(p, std::abs(int(s[i])));
    return p;
}

double rms(const std::vector<int16_t>& s, size_t from, size_t to)
{
    double sum = 0;
    for (size_t i = from; i < to; ++i) sum += double(s[i]) * double(s[i]);
    return std::sqrt(sum / double(to - from));
}

TEST(AssetgenSound, EveryFileIs16BitPcmWithFmtBeforeDataAndWithinItsLength)
{
    struct Expect {
        const char* name;
        double min_s, max_s;
    };
    const Expect files[] = {{"bullet.wav", 0.03, 0.150}, {"rocket.wav", 0.1, 0.500}, {"explodies.wav", 0.2, 0.800},
                            {"bgmusic.wav", 30.0, 90.0}};
    for (const Expect& e : files) {
        SCOPED_TRACE(e.name);
        Wav w = load(e.name);
        EXPECT_EQ(w.format, 1);
        EXPECT_TRUE(w.rate == 44100 || w.rate == 22050);
        EXPECT_EQ(w.bits, 16);
        EXPECT_EQ(w.block_align, w.channels * 2);
        EXPECT_EQ(w.byte_rate, uint32_t(w.rate * w.block_align));
        EXPECT_TRUE(w.fmt_before_data);
        EXPECT_GE(w.seconds(), e.min_s);
        EXPECT_LE(w.seconds(), e.max_s);
        // Clearly audible, yet never slammed against full scale.
        EXPECT_GT(peak(w.samples), 12000);
        EXPECT_LT(peak(w.samples), 32767);
    }
}

TEST(AssetgenSound, EffectsStartAndEndInSilence)
{
    for (const char* name : {"bullet.wav", "rocket.wav", "explodies.wav"}) {
        SCOPED_TRACE(name);
        Wav w = load(name);
        ASSERT_GT(w.samples.size(), 100u);
        // A jump from silence to a loud first sample, or a cut-off last one, is heard as a click.
        EXPECT_LT(std::abs(int(w.samples.front())), 500);
        EXPECT_LT(std::abs(int(w.samples.back())), 500);
        // ...but the sound itself begins at once: a shot that lags the click of the mouse feels broken.
        EXPECT_GT(peak(w.samples, 0, size_t(w.rate) / 50), 8000);
    }
}

TEST(AssetgenSound, MusicLoopsWithoutAClickOrAGap)
{
    Wav w = load("bgmusic.wav");
    const std::vector<int16_t>& s = w.samples;
    ASSERT_EQ(w.channels, 1);
    ASSERT_GT(s.size(), size_t(w.rate) * 30);
    // The step from the last sample back to the first is no bigger than the music's ordinary steps.
    std::vector<int> steps;
    for (size_t i = 0; i + 1 < s.size(); ++i) steps.push_back(std::abs(int(s[i + 1]) - int(s[i])));
    std::nth_element(steps.begin(), steps.begin() + long(steps.size() * 99 / 100), steps.end());
    int usual = steps[steps.size() * 99 / 100];
    EXPECT_LE(std::abs(int(s.front()) - int(s.back())), usual);
    // Nor does the level drop away at the seam: the track plays on through it.
    size_t tenth = size_t(w.rate) / 10;
    double tail = rms(s, s.size() - tenth, s.size()), head = rms(s, 0, tenth);
    EXPECT_GT(tail, 0.4 * rms(s, 0, s.size()));
    EXPECT_GT(head, 0.4 * rms(s, 0, s.size()));
}

}  // namespace
