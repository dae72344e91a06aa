// What the weapon tests share: stand-in sprites and sounds, and enemies placed by hand.
#pragma once

#include <vector>

#include "support/game_fixture.h"
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
        for (IDirect3DTexture9* texture : textures_) texture->Release();
        textures_.clear();
        GameFixture::TearDown();
    }

    // A blank texture of the given size, so each sprite's quads can be told apart in the log.
    Sprite make_sprite(int32_t width, int32_t height) {
        Sprite sprite{};
        world.d3d_device->CreateTexture(static_cast<UINT>(width), static_cast<UINT>(height), 1, 0, D3DFMT_A8R8G8B8,
                                        D3DPOOL_MANAGED, &sprite.texture, nullptr);
        if (sprite.texture != nullptr) textures_.push_back(sprite.texture);
        sprite.width = width;
        sprite.height = height;
        return sprite;
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
        Enemy& enemy = world.enemies[slot];
        enemy = Enemy{};
        enemy.kind = kind;
        enemy.x = x;
        enemy.y = y;
        enemy.hp = 3;
        enemy.boss_hp = 50;
        enemy.death_frames = 7;
        enemy.active = 1;
        return enemy;
    }

private:
    std::vector<IDirect3DTexture9*> textures_;
};
