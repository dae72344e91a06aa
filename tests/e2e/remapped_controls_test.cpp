// A player's own controls change which keys they press, never the game: a script played with
// every action moved to other keys (the mouse's buttons swapped, the aim at half speed with twice
// the motion) gives the same state, frame for frame, as the script itself with the default keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <dinput.h>

#include "settings/settings.h"
#include "runner.h"
#include "script.h"

namespace {

namespace fs = std::filesystem;

// What the player presses with the controls below for what the default keys press.
replay::FrameInput press_remapped(const replay::FrameInput& input) {
    constexpr int moved[][2] = {{DIK_W, DIK_I}, {DIK_A, DIK_J}, {DIK_S, DIK_K}, {DIK_D, DIK_L},
                                {DIK_SPACE, DIK_P}, {DIK_ESCAPE, DIK_Q}};
    replay::FrameInput remapped = input;
    for (const auto& [from, to] : moved) {
        remapped.keys[static_cast<size_t>(from)] = 0;
        remapped.keys[static_cast<size_t>(to)] = input.keys[static_cast<size_t>(from)];
    }
    remapped.keys[DIK_SPACE] = input.left ? 0x80 : 0;  // fire
    remapped.left = input.right;                       // the rocket's button, swapped
    remapped.right = false;
    remapped.dx = input.dx * 2;
    remapped.dy = input.dy * 2;
    return remapped;
}

settings::Settings remapped_controls() {
    std::vector<settings::Problem> problems;
    const settings::Settings read = settings::read_settings("[controls]\n"
                                                            "up = [\"I\"]\nleft = [\"J\"]\ndown = [\"K\"]\nright = [\"L\"]\n"
                                                            "fire = [\"Space\"]\nrocket = [\"MouseRight\"]\n"
                                                            "pause = [\"P\"]\nquit = [\"Q\"]\n"
                                                            "swap_mouse_buttons = true\naim_speed = 0.5\n",
                                                            problems);
    EXPECT_TRUE(problems.empty());
    return read;
}

std::string state_lines(const replay::Script& script) {
    char* text = nullptr;
    size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    replay::RunSettings run;
    run.state_out = out;
    const fs::path started_in = fs::current_path();
    fs::current_path(ZORVALEN_ASSET_DIR);
    const replay::RunOutcome outcome = replay::play(script, run);
    fs::current_path(started_in);
    std::fclose(out);
    std::string lines(text, size);
    std::free(text);
    EXPECT_TRUE(outcome.started);
    return lines;
}

TEST(RemappedControls, GiveTheSameStateLinesAsTheDefaultKeysPressingTheSameActions) {
    const fs::path scripts = fs::path(ZORVALEN_SOURCE_DIR) / "tests" / "scripts";
    for (const char* name : {"playthrough.txt", "rocket_column.txt", "escape.txt"}) {
        SCOPED_TRACE(name);
        replay::Script script;
        std::string error;
        ASSERT_TRUE(replay::load_script_file((scripts / name).string(), script, error)) << error;
        replay::Script remapped = script;
        for (replay::ScriptLine& line : remapped.lines) line.input = press_remapped(line.input);

        const std::string with_defaults = state_lines(script);
        settings::put_settings_in_force(remapped_controls());
        const std::string with_remapped = state_lines(remapped);
        const std::string old_keys_with_remapped = state_lines(script);
        settings::put_settings_in_force(settings::Settings{});

        EXPECT_FALSE(with_defaults.empty());
        EXPECT_TRUE(with_defaults == with_remapped) << "the first differing byte is at "
                                                    << std::mismatch(with_defaults.begin(), with_defaults.end(),
                                                                     with_remapped.begin(), with_remapped.end())
                                                               .first -
                                                           with_defaults.begin();
        EXPECT_NE(with_defaults, old_keys_with_remapped) << "the default keys should no longer play";
    }
}

}  // namespace
