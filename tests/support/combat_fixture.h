// What the weapon tests share: a sound stand-in, the player standing and aiming, and reading
// back one sprite's quads.
#pragma once

#include <vector>

#include "support/game_fixture.h"
#include "support/world_setup.h"
#include "world/world.h"

// A sound buffer that only counts how often it is started.
struct CountingBuffer final : IDirectSoundBuffer8 {
    int plays = 0;
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT Lock(DWORD, DWORD, LPVOID*, LPDWORD, LPVOID*, LPDWORD, DWORD) override { return E_FAIL; }
    HRESULT Unlock(LPVOID, DWORD, LPVOID, DWORD) override { return E_FAIL; }
    HRESULT Play(DWORD, DWORD, DWORD) override {
        ++plays;
        return DS_OK;
    }
    HRESULT Stop() override { return DS_OK; }
};

class CombatFixture : public GameFixture {
protected:
    void TearDown() override {
        // The stand-in dies with the test; the World must not keep pointing at it.
        if (counted_sound_ != nullptr) counted_sound_->buffer = nullptr;
        GameFixture::TearDown();
    }

    // At level 1 in stages of their start-up sizes, the player alive at (player_x, 268) with the
    // cursor 300 pixels right of its centre, so that a shot flies at (25, 0).
    static void stand_aiming_right(int32_t player_x) {
        world.level = 1;
        size_stages();
        world.player_health = 100;
        world.player_x = player_x;
        world.player_y = 268;
        world.cursor_x = player_x + PLAYER_CENTRE + 300;
        world.cursor_y = 268 + PLAYER_CENTRE;
    }

    // Plays of this weapon's sound are counted in `sounds` until the test ends.
    CountingBuffer& count_plays_of(SoundBuffer& sound) {
        sound.buffer = &sounds;
        counted_sound_ = &sound;
        return sounds;
    }

    static std::vector<headless::QuadRecord> quads_of(const Sprite& sprite) {
        std::vector<headless::QuadRecord> found;
        const headless::DrawLog log = current_draws();
        for (int i = 0; i < log.count; ++i) {
            if (log.quads[i].texture == sprite.texture) found.push_back(log.quads[i]);
        }
        return found;
    }

    // A live enemy as a spawn leaves it, with a kill-message age that a bullet hit resets.
    static Enemy& place_enemy(int slot, int32_t kind, int32_t x, int32_t y) {
        Enemy& enemy = ::place_enemy(slot, kind, x, y);
        enemy.death_frames = 7;
        return enemy;
    }

    CountingBuffer sounds;

private:
    SoundBuffer* counted_sound_ = nullptr;
};
