#include "support/game_fixture.h"

#include <cstring>
#include <filesystem>
#include <type_traits>

#include "app/app.h"
#include "gfx/graphics.h"

static_assert(std::is_trivially_copyable_v<World>, "the World is plain data, zeroed at start");

void reset_world() { std::memset(static_cast<void*>(&world), 0, sizeof(World)); }

void GameFixture::SetUp() {
    std::error_code ignored;
    std::filesystem::current_path(ZORVALEN_ASSET_DIR, ignored);
    headless::set_mode(headless::Mode::record);
    reset_world();
    zv::set_rand_state(1);
    hold_keys({});
    set_mouse(0, 0, false, false);
    world.main_window = CreateWindowExA(0, "Zorvalen", "", WS_OVERLAPPEDWINDOW, 100, 100, 640, 480, nullptr,
                                        nullptr, nullptr, nullptr);
    ASSERT_NE(world.main_window, nullptr);
    create_graphics(800, 600, true);
    ASSERT_NE(world.d3d_device, nullptr);
}

void GameFixture::TearDown() {
    for (IDirect3DTexture9* texture : textures_) texture->Release();
    textures_.clear();
    shutdown_game();
}

Sprite GameFixture::make_sprite(int32_t width, int32_t height) {
    Sprite sprite{};
    world.d3d_device->CreateTexture(static_cast<UINT>(width), static_cast<UINT>(height), 1, 0, D3DFMT_A8R8G8B8,
                                    D3DPOOL_MANAGED, &sprite.texture, nullptr);
    if (sprite.texture != nullptr) textures_.push_back(sprite.texture);
    sprite.width = width;
    sprite.height = height;
    return sprite;
}

void GameFixture::start_game() {
    release_graphics();
    ASSERT_TRUE(init_game());
}

void GameFixture::hold_keys(std::initializer_list<int> dik_codes) {
    unsigned char keys[256] = {};
    for (int code : dik_codes) keys[code & 0xFF] = 0x80;
    headless::set_keys(keys);
}

void GameFixture::set_mouse(int dx, int dy, bool left, bool right) { headless::set_mouse(dx, dy, left, right); }
