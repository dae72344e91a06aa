// Loading WAV files into buffers, well-formed and damaged, and the game without a device.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include <headless.h>

#include "dsound_offline.h"
#include "app/app.h"
#include "input/input.h"
#include "sound/sound.h"
#include "support/sound_wav_files.h"
#include "support/game_fixture.h"
#include "world/world.h"

using namespace wav_files;

namespace {

// The loader against a device with no sound card, listened to through its mixed output.
class WavLoading : public ::testing::Test {
protected:
    void SetUp() override {
        world.sound_device = audio::create_offline_device(44100, 1);
        sound_.buffer = nullptr;
    }
    void TearDown() override {
        if (sound_.buffer != nullptr) sound_.buffer->Release();
        world.sound_device->Release();
        world.sound_device = nullptr;
    }

    // Loads the bytes as a file; true when a buffer came of it.
    bool load(const Bytes& file) {
        if (sound_.buffer != nullptr) sound_.buffer->Release();
        sound_.buffer = nullptr;
        load_sound(folder_.write("sound.wav", file).c_str(), sound_);
        return sound_.buffer != nullptr;
    }

    // Plays the loaded sound once and returns what the device heard.
    std::vector<int16_t> heard(size_t frames, bool looped = false) {
        if (looped)
            play_sound_looped(sound_);
        else
            play_sound(sound_);
        std::vector<int16_t> out(frames);
        audio::render(world.sound_device, out.data(), frames);
        return out;
    }

    static Bytes wav(const Bytes& format_chunk_data, const Bytes& samples) {
        Bytes body = chunk("fmt ", format_chunk_data);
        append(body, chunk("data", samples));
        return riff("WAVE", body);
    }

    ScratchFolder folder_;
    SoundBuffer sound_{};
};

TEST_F(WavLoading, APlainFileLoadsItsSamplesAsStored) {
    ASSERT_TRUE(load(wav(format(1, 44100, 16), samples16({100, -100, 2000}))));
    EXPECT_EQ(heard(4), (std::vector<int16_t>{100, -100, 2000, 0}));
}

TEST_F(WavLoading, ExtraChunksBeforeBetweenAndAfterAreSkipped) {
    Bytes body = chunk("JUNK", Bytes(28, 0xAB));
    append(body, chunk("fmt ", format(1, 44100, 16)));
    append(body, chunk("LIST", {'I', 'N', 'F', 'O', 'x'}));  // odd size: a pad byte follows
    append(body, chunk("fact", {3, 0, 0, 0}));
    append(body, chunk("data", samples16({11, 22, 33})));
    append(body, chunk("cue ", Bytes(4, 0xCD)));
    ASSERT_TRUE(load(riff("WAVE", body)));
    EXPECT_EQ(heard(3), (std::vector<int16_t>{11, 22, 33}));
}

TEST_F(WavLoading, TheOldSixteenByteFormatChunkIsEnough) {
    ASSERT_TRUE(load(wav(format(1, 44100, 16, 1, 16), samples16({5, 6}))));
    EXPECT_EQ(heard(2), (std::vector<int16_t>{5, 6}));
}

TEST_F(WavLoading, EightBitStereoAtAnotherRateIsConvertedForTheDevice) {
    // 22050 Hz stereo 8-bit onto the 44100 Hz mono device: averaged sides, each frame twice over.
    ASSERT_TRUE(load(wav(format(2, 22050, 8), Bytes{0x90, 0xB0, 0x70, 0x50})));
    EXPECT_EQ(heard(4), (std::vector<int16_t>{8192, 0, -8192, -8192}));
}

TEST_F(WavLoading, TruncatedOrHugeClaimedDataKeepsWhatTheFileHolds) {
    Bytes body = chunk("fmt ", format(1, 44100, 16));
    append(body, chunk_claiming("data", 100, samples16({1, 2, 3})));
    ASSERT_TRUE(load(riff("WAVE", body)));
    EXPECT_EQ(heard(4), (std::vector<int16_t>{1, 2, 3, 0}));

    body = chunk("fmt ", format(1, 44100, 16));
    append(body, chunk_claiming("data", 0xFFFFFFF8u, samples16({4, 5})));
    ASSERT_TRUE(load(riff("WAVE", body, 0xFFFFFFFFu)));
    EXPECT_EQ(heard(3), (std::vector<int16_t>{4, 5, 0}));

    // Half a frame at the end is left out rather than played as noise.
    body = chunk("fmt ", format(1, 44100, 16));
    append(body, chunk("data", {0x10, 0x00, 0x20, 0x00, 0x30}));
    ASSERT_TRUE(load(riff("WAVE", body)));
    EXPECT_EQ(heard(3), (std::vector<int16_t>{16, 32, 0}));
}

TEST_F(WavLoading, FilesThatAreNotPlayablePcmWaveLeaveTheBufferEmptyAndTheFileClosed) {
    const auto open_files = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
    };
    const auto files_before = open_files();

    Bytes fmt_only = riff("WAVE", chunk("fmt ", format(1, 44100, 16)));
    Bytes data_only = riff("WAVE", chunk("data", samples16({1, 2})));
    Bytes data_first = chunk("data", samples16({1, 2}));
    append(data_first, chunk("fmt ", format(1, 44100, 16)));
    Bytes float_samples = wav(format(1, 44100, 32, 3), Bytes(8, 0));
    Bytes extensible = wav(format(1, 44100, 16, 0xFFFE, 40), samples16({1}));
    Bytes wrong_form = riff("AVI ", chunk("fmt ", format(1, 44100, 16)));
    Bytes not_riff = chunk("JUNK", wav(format(1, 44100, 16), samples16({1})));
    Bytes text = {'h', 'e', 'l', 'l', 'o'};

    EXPECT_FALSE(load(fmt_only)) << "no data chunk";
    EXPECT_FALSE(load(data_only)) << "no format chunk";
    EXPECT_FALSE(load(riff("WAVE", data_first))) << "samples before the format";
    EXPECT_FALSE(load(wav(format(1, 44100, 16, 1, 14), samples16({1})))) << "format chunk too small";
    EXPECT_FALSE(load(wav(format(1, 44100, 16), {}))) << "no samples: the device refuses the buffer";
    EXPECT_FALSE(load(float_samples)) << "not PCM";
    EXPECT_FALSE(load(extensible)) << "not plain PCM";
    EXPECT_FALSE(load(wav(format(1, 44100, 24), samples16({1, 2, 3})))) << "24-bit PCM";
    EXPECT_FALSE(load(wrong_form)) << "not a WAVE form";
    EXPECT_FALSE(load(not_riff)) << "not a RIFF file";
    EXPECT_FALSE(load(text)) << "not a RIFF file";
    EXPECT_FALSE(load(Bytes{})) << "empty file";

    load_sound(folder_.path_of("missing.wav").c_str(), sound_);
    EXPECT_EQ(sound_.buffer, nullptr);

    EXPECT_EQ(open_files(), files_before);
    play_sound(sound_);  // a silent sound plays as nothing
    play_sound_looped(sound_);
}

TEST_F(WavLoading, TheMusicLoopsFromItsEndBackToItsStart) {
    ASSERT_TRUE(load(wav(format(1, 44100, 16), samples16({1, 2, 3}))));
    EXPECT_EQ(heard(8, true), (std::vector<int16_t>{1, 2, 3, 1, 2, 3, 1, 2}));
}

TEST(WavLoadingWithoutDevice, LoadsNothingAndTouchesNoBuffer) {
    world.sound_device = nullptr;
    ScratchFolder folder;
    Bytes body = chunk("fmt ", format(1, 44100, 16));
    append(body, chunk("data", samples16({1})));
    SoundBuffer sound{};
    load_sound(folder.write("ok.wav", riff("WAVE", body)).c_str(), sound);
    EXPECT_EQ(sound.buffer, nullptr);
}

// The whole game where no sound device exists: silent, and otherwise the same.
class SilentGame : public GameFixture {};

TEST_F(SilentGame, RunsWithoutADeviceAndWithEveryBufferEmpty) {
    start_game();
    EXPECT_EQ(world.sound_device, nullptr);
    EXPECT_EQ(world.music.buffer, nullptr);
    EXPECT_EQ(world.bullet_sound.buffer, nullptr);
    EXPECT_EQ(world.rocket_sound.buffer, nullptr);
    EXPECT_EQ(world.explosion_sound.buffer, nullptr);

    // Into play, then fire both weapons for a while: every shot plays a sound that is not there.
    hold_keys({DIK_SPACE});
    run_frame();
    hold_keys({DIK_D});
    for (int frame = 0; frame < 120; ++frame) {
        set_mouse(3, 1, true, frame % 20 == 0);
        ASSERT_TRUE(run_frame());
    }
    EXPECT_TRUE(world.in_play);
}

}  // namespace
