// The mixer as a pure function: voices in, device samples out; and the player's volume in it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "audio_mixer.h"
#include "settings/sound_levels.h"

namespace {

using audio::OutputFormat;
using audio::Voice;

// 16-bit little-endian samples as a buffer holds them.
std::vector<uint8_t> pcm16(const std::vector<int16_t>& values) {
    std::vector<uint8_t> bytes;
    for (int16_t v : values) {
        bytes.push_back(static_cast<uint8_t>(v & 0xFF));
        bytes.push_back(static_cast<uint8_t>((static_cast<uint16_t>(v) >> 8) & 0xFF));
    }
    return bytes;
}

Voice voice_of(const std::vector<uint8_t>& data, uint16_t channels, uint16_t bits, uint32_t rate, bool looping) {
    Voice voice{};
    voice.samples = data.data();
    voice.frame_count = static_cast<uint32_t>(data.size() / (channels * bits / 8));
    voice.format = {channels, bits, rate};
    voice.playing = true;
    voice.looping = looping;
    voice.position = 0;
    return voice;
}

std::vector<int16_t> mix(std::vector<Voice*> voices, size_t frames, OutputFormat format) {
    // Filled with noise first: the mixer must write every sample, silence included.
    std::vector<int16_t> out(frames * static_cast<size_t>(format.channels), 12345);
    audio::mix(voices.data(), voices.size(), out.data(), frames, format);
    return out;
}

constexpr OutputFormat mono_44k{1, 44100};
constexpr OutputFormat stereo_44k{2, 44100};

TEST(Mixer, AOneShotPlaysItsSamplesOnceThenStopsAtItsStart) {
    const auto data = pcm16({100, -200, 300, -400});
    Voice shot = voice_of(data, 1, 16, 44100, false);
    EXPECT_EQ(mix({&shot}, 6, mono_44k), (std::vector<int16_t>{100, -200, 300, -400, 0, 0}));
    EXPECT_FALSE(shot.playing);
    EXPECT_EQ(shot.position, 0u);  // so the next play starts from the beginning

    // Stopped exactly at the end of a block, it is stopped all the same.
    shot.playing = true;
    EXPECT_EQ(mix({&shot}, 4, mono_44k), (std::vector<int16_t>{100, -200, 300, -400}));
    EXPECT_FALSE(shot.playing);
    EXPECT_EQ(mix({&shot}, 2, mono_44k), (std::vector<int16_t>{0, 0}));
}

TEST(Mixer, ALoopWrapsFromItsLastFrameToItsFirst) {
    const auto data = pcm16({1, 2, 3});
    Voice loop = voice_of(data, 1, 16, 44100, true);
    EXPECT_EQ(mix({&loop}, 7, mono_44k), (std::vector<int16_t>{1, 2, 3, 1, 2, 3, 1}));
    EXPECT_TRUE(loop.playing);
    EXPECT_EQ(mix({&loop}, 3, mono_44k), (std::vector<int16_t>{2, 3, 1}));
}

TEST(Mixer, BlocksOfAnySizeGiveTheSameStream) {
    // A ramp longer than the mixer's internal block, looped, in one pull and in uneven pulls.
    std::vector<int16_t> ramp;
    for (int i = 0; i < 700; ++i) ramp.push_back(static_cast<int16_t>(i * 37 - 9000));
    const auto data = pcm16(ramp);
    Voice whole = voice_of(data, 1, 16, 22050, true);
    Voice pieces = voice_of(data, 1, 16, 22050, true);

    const std::vector<int16_t> expected = mix({&whole}, 3001, stereo_44k);
    std::vector<int16_t> pulled;
    for (size_t size : {1u, 255u, 256u, 257u, 1000u, 1232u}) {
        const auto part = mix({&pieces}, size, stereo_44k);
        pulled.insert(pulled.end(), part.begin(), part.end());
    }
    EXPECT_EQ(pulled, expected);
}

TEST(Mixer, VoicesAddUpAndSaturateInsteadOfWrapping) {
    const auto loud = pcm16({30000, -30000, 1000});
    const auto louder = pcm16({30000, -30000, -3000});
    Voice a = voice_of(loud, 1, 16, 44100, false);
    Voice b = voice_of(louder, 1, 16, 44100, false);
    EXPECT_EQ(mix({&a, &b}, 3, mono_44k), (std::vector<int16_t>{32767, -32768, -2000}));
}

TEST(Mixer, SilentWhenNothingPlays) {
    const auto data = pcm16({500, 500});
    Voice idle = voice_of(data, 1, 16, 44100, false);
    idle.playing = false;
    EXPECT_EQ(mix({&idle, nullptr}, 3, stereo_44k), std::vector<int16_t>(6, 0));
    EXPECT_EQ(mix({}, 2, mono_44k), std::vector<int16_t>(2, 0));
}

TEST(Mixer, EightBitSamplesAreUnsignedAroundTheMiddle) {
    const std::vector<uint8_t> data = {0x80, 0xFF, 0x00, 0x90};
    Voice voice = voice_of(data, 1, 8, 44100, false);
    EXPECT_EQ(mix({&voice}, 4, mono_44k), (std::vector<int16_t>{0, 32512, -32768, 4096}));
}

TEST(Mixer, ChannelsAreConvertedForTheDevice) {
    // Mono onto stereo goes to both sides; stereo onto mono is the average of the two.
    const auto mono = pcm16({1000, -2000});
    Voice to_stereo = voice_of(mono, 1, 16, 44100, false);
    EXPECT_EQ(mix({&to_stereo}, 2, stereo_44k), (std::vector<int16_t>{1000, 1000, -2000, -2000}));

    const auto stereo = pcm16({1000, 3000, -32768, -32768});
    Voice to_mono = voice_of(stereo, 2, 16, 44100, false);
    EXPECT_EQ(mix({&to_mono}, 2, mono_44k), (std::vector<int16_t>{2000, -32768}));

    // Stereo onto stereo keeps its sides apart.
    Voice kept = voice_of(stereo, 2, 16, 44100, false);
    EXPECT_EQ(mix({&kept}, 2, stereo_44k), (std::vector<int16_t>{1000, 3000, -32768, -32768}));
}

TEST(Mixer, ALowerRateIsStretchedWithInterpolation) {
    // 22050 onto 44100: every source frame gives two, the second halfway to the next frame.
    const auto data = pcm16({0, 1000, -1000});
    Voice voice = voice_of(data, 1, 16, 22050, false);
    EXPECT_EQ(mix({&voice}, 8, mono_44k), (std::vector<int16_t>{0, 500, 1000, 0, -1000, -1000, 0, 0}));
    EXPECT_FALSE(voice.playing);

    // A loop interpolates across its wrap toward its first frame.
    Voice loop = voice_of(data, 1, 16, 22050, true);
    EXPECT_EQ(mix({&loop}, 8, mono_44k), (std::vector<int16_t>{0, 500, 1000, 0, -1000, -500, 0, 500}));
}

TEST(Mixer, AHigherRateIsThinnedOut) {
    const auto data = pcm16({10, 20, 30, 40, 50, 60});
    Voice voice = voice_of(data, 1, 16, 88200, false);
    EXPECT_EQ(mix({&voice}, 4, mono_44k), (std::vector<int16_t>{10, 30, 50, 0}));
}

TEST(Mixer, AConvertedSoundLastsItsTrueLength) {
    // One second at 44100 on a 48000 device plays for 48000 frames, give or take one.
    const std::vector<uint8_t> data(44100 * 2, 0x10);
    Voice voice = voice_of(data, 1, 16, 44100, false);
    const OutputFormat device{1, 48000};
    std::vector<int16_t> out(512);
    size_t frames_played = 0;
    while (voice.playing && frames_played < 60000) {
        audio::mix(std::vector<Voice*>{&voice}.data(), 1, out.data(), out.size(), device);
        for (int16_t sample : out) frames_played += sample != 0 ? 1 : 0;
    }
    EXPECT_NEAR(static_cast<double>(frames_played), 48000.0, 1.0);
}

// The documented rounding rule, worked out apart from the mixer: each voice's sample times its
// gain / 10000 to the nearest whole number, halves away from zero (the products are exact in a
// double), then the voices summed and saturated.
int16_t by_the_rule(int32_t music, int music_gain, int32_t effect, int effect_gain) {
    const long sum = std::lround(music * (music_gain / 10000.0)) + std::lround(effect * (effect_gain / 10000.0));
    return static_cast<int16_t>(std::clamp<long>(sum, -32768, 32767));
}

TEST(MixerVolume, MusicAndEffectsAtEveryLevelGiveTheRoundingRulesSamplesExactly) {
    const std::vector<int16_t> music_samples = {32767, -32768, 1, -1, 3, -3, 12345, -20001, 0, 7, 5000, -5000};
    const std::vector<int16_t> effect_samples = {-32768, 32767, -1, 1, 2, -7, -12345, 20001, 9, 0, 5000, 5000};
    const std::vector<uint8_t> music_data = pcm16(music_samples);
    const std::vector<uint8_t> effect_data = pcm16(effect_samples);
    for (int master : {0, 1, 50, 73, 100}) {
        for (int music_level : {0, 1, 33, 50, 99, 100}) {
            for (int effects_level : {0, 50, 100}) {
                const settings::SoundLevels levels{master, music_level, effects_level, false};
                const audio::Gains gains{settings::find_voice_gain(levels, true), settings::find_voice_gain(levels, false)};
                ASSERT_EQ(gains.music, master * music_level);
                Voice music = voice_of(music_data, 1, 16, 44100, true);
                Voice effect = voice_of(effect_data, 1, 16, 44100, false);
                std::vector<Voice*> voices = {&music, &effect};
                std::vector<int16_t> out(music_samples.size(), 12345);
                audio::mix(voices.data(), voices.size(), out.data(), out.size(), mono_44k, gains);
                for (size_t i = 0; i < out.size(); ++i)
                    ASSERT_EQ(out[i], by_the_rule(music_samples[i], gains.music, effect_samples[i], gains.effects))
                        << "master " << master << " music " << music_level << " effects " << effects_level
                        << " sample " << i;
            }
        }
    }
    const settings::SoundLevels muted{100, 100, 100, true};
    EXPECT_EQ(settings::find_voice_gain(muted, true), 0);
    EXPECT_EQ(settings::find_voice_gain(muted, false), 0);
}

TEST(MixerVolume, TheVolumeKeysStepTheMasterLevelByTenAndMuteToggles) {
    using settings::VolumeKey;
    struct Step {
        settings::SoundLevels from;
        VolumeKey key;
        settings::SoundLevels to;
    };
    const Step steps[] = {
        {{100, 80, 60, false}, VolumeKey::down, {90, 80, 60, false}},
        {{5, 100, 100, false}, VolumeKey::down, {0, 100, 100, false}},
        {{95, 100, 100, false}, VolumeKey::up, {100, 100, 100, false}},
        {{40, 100, 100, true}, VolumeKey::up, {50, 100, 100, false}},
        {{40, 100, 100, true}, VolumeKey::down, {30, 100, 100, false}},
        {{40, 100, 100, false}, VolumeKey::mute, {40, 100, 100, true}},
        {{40, 100, 100, true}, VolumeKey::mute, {40, 100, 100, false}},
    };
    for (const Step& step : steps) EXPECT_EQ(settings::apply_volume_key(step.from, step.key), step.to);
    EXPECT_EQ(settings::find_volume_key(0x43), VolumeKey::down);  // F9
    EXPECT_EQ(settings::find_volume_key(0x44), VolumeKey::up);    // F10
    EXPECT_EQ(settings::find_volume_key(0x58), VolumeKey::mute);  // F12
    EXPECT_EQ(settings::find_volume_key(0x57), std::nullopt);     // F11 is full screen's

    // DirectSound's hundredths of a decibel for the exe: 20 log10 of the gain.
    EXPECT_EQ(settings::convert_to_directsound_volume(10000), 0);
    EXPECT_EQ(settings::convert_to_directsound_volume(5000), -602);
    EXPECT_EQ(settings::convert_to_directsound_volume(1), -8000);
    EXPECT_EQ(settings::convert_to_directsound_volume(0), -10000);
}

}  // namespace
