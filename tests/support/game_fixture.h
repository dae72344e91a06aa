// Shared test set-up: the real game code on the headless layer, with every quad recorded.
#pragma once

#include <gtest/gtest.h>

#include <headless.h>

#include <vector>

#include "world/world.h"

// Zeroes the World, restarts the shared generator, and opens a headless window and device
// (record mode: no window system, nothing rendered). The working directory is the
// generated asset directory, so loads by file name find the game's files.
class GameFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs the whole start-up sequence (init_game) on the headless device.
    void start_game();

    // Holds exactly these keys from now on (DIK_ codes), and sets the mouse for the next read.
    static void hold_keys(std::initializer_list<int> dik_codes);
    static void set_mouse(int dx, int dy, bool left, bool right);

    // Quads drawn since the scene was last begun / in the frame last presented.
    static headless::DrawLog current_draws() { return headless::current_draws(); }
    static headless::DrawLog presented_draws() { return headless::presented_draws(); }

    // A blank texture of the given size, released at tear-down, so that each sprite's quads
    // can be told apart in the draw log.
    Sprite make_sprite(int32_t width, int32_t height);

private:
    std::vector<IDirect3DTexture9*> textures_;
};

// Zeroes every field of the World, as at program start.
void reset_world();
