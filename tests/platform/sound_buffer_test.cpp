// DirectSound buffers on a device with no sound card: creation, locking and playing as
// the game uses them, heard through the mixed output.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include <dinput.h>
#include <dsound.h>

#include "settings/sound_levels.h"
#include "dsound_offline.h"
#include "input_feed.h"

namespace {

WAVEFORMATEX pcm_format(WORD channels, DWORD rate, WORD bits) {
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = channels;
    format.nSamplesPerSec = rate;
    format.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    format.nAvgBytesPerSec = rate * format.nBlockAlign;
    format.wBitsPerSample = bits;
    return format;
}

class OfflineBuffers : public ::testing::Test {
protected:
    void SetUp() override { device_ = audio::create_offline_device(44100, 1); }
    void TearDown() override {
        for (IDirectSoundBuffer* buffer : buffers_) buffer->Release();
        device_->Release();
    }

    HRESULT create(DWORD bytes, WAVEFORMATEX format, IDirectSoundBuffer** out) {
        DSBUFFERDESC desc{};
        desc.dwSize = sizeof(DSBUFFERDESC);
        desc.dwFlags = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME | DSBCAPS_GLOBALFOCUS;
        desc.dwBufferBytes = bytes;
        desc.lpwfxFormat = &format;
        const HRESULT result = device_->CreateSoundBuffer(&desc, out, nullptr);
        if (SUCCEEDED(result)) buffers_.push_back(*out);
        return result;
    }

    // A mono 16-bit buffer at the device's rate holding these samples.
    IDirectSoundBuffer* buffer_of(const std::vector<int16_t>& samples) {
        IDirectSoundBuffer* buffer = nullptr;
        EXPECT_EQ(create(static_cast<DWORD>(samples.size() * 2), pcm_format(1, 44100, 16), &buffer), DS_OK);
        void* data = nullptr;
        DWORD length = 0;
        EXPECT_EQ(buffer->Lock(0, 0, &data, &length, nullptr, nullptr, DSBLOCK_ENTIREBUFFER), DS_OK);
        EXPECT_EQ(length, samples.size() * 2);
        std::memcpy(data, samples.data(), length);
        EXPECT_EQ(buffer->Unlock(data, length, nullptr, 0), DS_OK);
        return buffer;
    }

    std::vector<int16_t> render(size_t frames) {
        std::vector<int16_t> out(frames);
        audio::render(device_, out.data(), frames);
        return out;
    }

    IDirectSound8* device_ = nullptr;
    std::vector<IDirectSoundBuffer*> buffers_;
};

TEST_F(OfflineBuffers, PlayOnAPlayingBufferCarriesOnWithoutRestartingOrStacking) {
    IDirectSoundBuffer* shot = buffer_of({1000, 2000, 3000, 4000, 5000});
    ASSERT_EQ(shot->Play(0, 0, 0), DS_OK);
    EXPECT_EQ(render(2), (std::vector<int16_t>{1000, 2000}));
    // Fired again while still sounding: no second copy, no jump back to the start.
    shot->Play(0, 0, 0);
    shot->Play(0, 0, 0);
    EXPECT_EQ(render(4), (std::vector<int16_t>{3000, 4000, 5000, 0}));
}

TEST_F(OfflineBuffers, AOneShotThatEndedStartsFromTheBeginningWhenPlayedAgain) {
    IDirectSoundBuffer* shot = buffer_of({7, 8, 9});
    shot->Play(0, 0, 0);
    EXPECT_EQ(render(4), (std::vector<int16_t>{7, 8, 9, 0}));
    EXPECT_EQ(render(2), (std::vector<int16_t>{0, 0}));
    shot->Play(0, 0, 0);
    EXPECT_EQ(render(3), (std::vector<int16_t>{7, 8, 9}));
}

TEST_F(OfflineBuffers, ALoopingBufferWrapsAndPlaysUnderOneShots) {
    IDirectSoundBuffer* music = buffer_of({100, 200});
    IDirectSoundBuffer* shot = buffer_of({1, 1, 1});
    music->Play(0, 0, DSBPLAY_LOOPING);
    EXPECT_EQ(render(3), (std::vector<int16_t>{100, 200, 100}));
    shot->Play(0, 0, 0);
    EXPECT_EQ(render(5), (std::vector<int16_t>{201, 101, 201, 100, 200}));
}

TEST_F(OfflineBuffers, ThePlayersLevelsAndTheVolumeKeysChangeWhatTheDeviceMixes) {
    IDirectSoundBuffer* music = buffer_of({1000, 2000});
    IDirectSoundBuffer* shot = buffer_of({100, 100, 100, 100, 100, 100, 100, 100});
    music->Play(0, 0, DSBPLAY_LOOPING);
    shot->Play(0, 0, 0);
    settings::set_live_levels({50, 40, 10, false});  // music at 0.2, effects at 0.05
    EXPECT_EQ(render(2), (std::vector<int16_t>{205, 405}));
    // F9 takes the master to 40 (music 0.16, effects 0.04); F12 mutes; F10 unmutes at 50.
    platform::feed_key(DIK_F9, true);
    platform::feed_key(DIK_F9, false);
    EXPECT_EQ(render(2), (std::vector<int16_t>{164, 324}));
    platform::feed_key(DIK_F12, true);
    EXPECT_EQ(render(2), (std::vector<int16_t>{0, 0}));
    platform::feed_key(DIK_F10, true);
    EXPECT_EQ(settings::read_live_levels(), (settings::SoundLevels{50, 40, 10, false}));
    EXPECT_EQ(render(2), (std::vector<int16_t>{205, 405}));
    settings::set_live_levels({});
    EXPECT_EQ(render(2), (std::vector<int16_t>{1000, 2000})) << "the shot has ended";
}

TEST_F(OfflineBuffers, StopHoldsThePositionForTheNextPlay) {
    IDirectSoundBuffer* buffer = buffer_of({1, 2, 3, 4});
    buffer->Play(0, 0, 0);
    render(2);
    ASSERT_EQ(buffer->Stop(), DS_OK);
    EXPECT_EQ(render(1), (std::vector<int16_t>{0}));
    buffer->Play(0, 0, 0);
    EXPECT_EQ(render(2), (std::vector<int16_t>{3, 4}));
}

TEST_F(OfflineBuffers, ALockedBufferIsLeftOutOfTheMixUntilUnlocked) {
    IDirectSoundBuffer* buffer = buffer_of({5, 6, 7});
    buffer->Play(0, 0, DSBPLAY_LOOPING);
    void* data = nullptr;
    DWORD length = 0;
    ASSERT_EQ(buffer->Lock(0, 0, &data, &length, nullptr, nullptr, DSBLOCK_ENTIREBUFFER), DS_OK);
    EXPECT_EQ(render(2), (std::vector<int16_t>{0, 0}));
    static_cast<int16_t*>(data)[0] = 50;
    buffer->Unlock(data, length, nullptr, 0);
    EXPECT_EQ(render(4), (std::vector<int16_t>{50, 6, 7, 50}));
}

TEST_F(OfflineBuffers, ARegionRunningOffTheEndContinuesAtTheStart) {
    IDirectSoundBuffer* buffer = buffer_of({0, 0, 0, 0});
    void* first = nullptr;
    void* second = nullptr;
    DWORD first_length = 0;
    DWORD second_length = 0;
    ASSERT_EQ(buffer->Lock(6, 4, &first, &first_length, &second, &second_length, 0), DS_OK);
    EXPECT_EQ(first_length, 2u);
    EXPECT_EQ(second_length, 2u);
    EXPECT_EQ(static_cast<char*>(first) - static_cast<char*>(second), 6);
    buffer->Unlock(first, first_length, second, second_length);
    // A region larger than the buffer, or one that would need a second part nobody takes, is refused.
    EXPECT_EQ(buffer->Lock(0, 9, &first, &first_length, nullptr, nullptr, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->Lock(6, 4, &first, &first_length, nullptr, nullptr, 0), DSERR_INVALIDPARAM);
}

TEST_F(OfflineBuffers, OnlyPcmFormatsAndSensibleSizesMakeABuffer) {
    IDirectSoundBuffer* buffer = reinterpret_cast<IDirectSoundBuffer*>(this);  // must be overwritten
    EXPECT_EQ(create(0, pcm_format(1, 22050, 16), &buffer), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer, nullptr);

    WAVEFORMATEX floating = pcm_format(1, 22050, 32);
    floating.wFormatTag = 3;
    EXPECT_EQ(create(64, floating, &buffer), DSERR_BADFORMAT);
    EXPECT_EQ(create(64, pcm_format(1, 22050, 24), &buffer), DSERR_BADFORMAT);
    EXPECT_EQ(create(64, pcm_format(3, 22050, 16), &buffer), DSERR_BADFORMAT);
    EXPECT_EQ(create(64, pcm_format(1, 50, 16), &buffer), DSERR_BADFORMAT);
    EXPECT_EQ(buffer, nullptr);

    EXPECT_EQ(device_->CreateSoundBuffer(nullptr, &buffer, nullptr), DSERR_INVALIDPARAM);
    DSBUFFERDESC missing_format{};
    missing_format.dwSize = sizeof(DSBUFFERDESC);
    missing_format.dwBufferBytes = 64;
    EXPECT_EQ(device_->CreateSoundBuffer(&missing_format, &buffer, nullptr), DSERR_INVALIDPARAM);

    // Every accepted shape plays: 8 and 16 bits, one and two channels, an odd rate.
    for (WORD channels : {1, 2})
        for (WORD bits : {8, 16}) {
            EXPECT_EQ(create(64, pcm_format(channels, 11025, bits), &buffer), DS_OK);
            EXPECT_EQ(buffer->Play(0, 0, 0), DS_OK);
        }
}

TEST_F(OfflineBuffers, TheBuffer8InterfaceIsTheSameObjectAndReleasingItSilencesIt) {
    IDirectSoundBuffer* first = nullptr;
    ASSERT_EQ(create(8, pcm_format(1, 44100, 16), &first), DS_OK);
    buffers_.clear();  // this test manages the references itself

    IDirectSoundBuffer8* buffer8 = nullptr;
    ASSERT_EQ(first->QueryInterface(IID_IDirectSoundBuffer8, reinterpret_cast<void**>(&buffer8)), S_OK);
    EXPECT_EQ(static_cast<IDirectSoundBuffer*>(buffer8), first);
    EXPECT_EQ(first->Release(), 1u);  // the game keeps only the Buffer8 reference

    void* data = nullptr;
    DWORD length = 0;
    buffer8->Lock(0, 0, &data, &length, nullptr, nullptr, DSBLOCK_ENTIREBUFFER);
    std::memset(data, 0x22, length);
    buffer8->Unlock(data, length, nullptr, 0);
    buffer8->Play(0, 0, DSBPLAY_LOOPING);
    EXPECT_NE(render(1)[0], 0);
    EXPECT_EQ(buffer8->Release(), 0u);
    EXPECT_EQ(render(4), std::vector<int16_t>(4, 0));
}

}  // namespace
