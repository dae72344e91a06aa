// The player's settings: controls, sound, display, replays and the board, read from a TOML file (the desktop's
// and the exe's settings.toml, the page's localStorage) and written back only when asked. The
// reader takes any text: whatever it cannot use it names by line and leaves at its default.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "settings/controls.h"
#include "settings/sound_levels.h"

namespace settings {

enum class ScaleFilter {
    sharp,   // at whole multiples exact, at any other size blended only between pixels
    whole,   // only whole multiples, exact, with wider bars round them
    smooth,  // blended everywhere (linear)
};

struct SoundSettings {
    SoundLevels levels;
    // Keep the levels the volume keys set for the next start (the file is rewritten at the end).
    bool save_key_changes = false;

    bool operator==(const SoundSettings&) const = default;
};

struct DisplaySettings {
    bool full_screen = false;
    ScaleFilter filter = ScaleFilter::sharp;
    int display = 0;  // 0: where the window system puts it; 1, 2, ...: that display

    bool operator==(const DisplaySettings&) const = default;
};

struct ReplaySettings {
    bool record = true;  // every game is recorded, for watching again

    bool operator==(const ReplaySettings&) const = default;
};

// Which finished games go to a board (a server that plays each run again before ranking it).
enum class BoardSubmit {
    never,
    best,  // only a game whose score is the best of the replay folder's
    all,
};

struct BoardSettings {
    std::string url;   // http:// or https://, the board's address; empty: none
    std::string name;  // the player's name on the board; empty: the login's
    BoardSubmit submit = BoardSubmit::never;

    bool operator==(const BoardSettings&) const = default;
};

struct Settings {
    Controls controls = default_controls();
    SoundSettings sound;
    DisplaySettings display;
    ReplaySettings replays;
    BoardSettings board;

    bool operator==(const Settings&) const = default;
};

constexpr int highest_display = 16;
// Longer than any settings file a person writes; a longer one is not read at all.
constexpr std::size_t largest_settings_file = 64 * 1024;

// What the reader could not use: the line it is on (0 for the text as a whole), and what is wrong
// with it, ending with what was kept instead.
struct Problem {
    int line = 0;
    std::string message;
};

// Reads settings text over the defaults. Every problem is one entry, and its setting keeps its
// default: a line that cannot be read, an unknown entry, a key name that does not exist, a number
// out of range, one key bound to two actions. An empty list of keys is an action with none.
Settings read_settings(std::string_view text, std::vector<Problem>& problems);

// The whole file for these settings, each entry with a comment that says what it takes;
// read_settings gives the same settings back. The default file is write_settings({}).
std::string write_settings(const Settings& settings);

std::string_view name_filter(ScaleFilter filter);
std::string_view name_board_submit(BoardSubmit submit);

// A board's name for a player: at most 24 characters, none of them a control character.
constexpr std::size_t longest_board_name = 24;

// The settings the program started with, for the layer and the exe's modules to read when they
// set themselves up; put in force before the game starts (the page again when its panel changes).
const Settings& read_settings_in_force();
void put_settings_in_force(const Settings& settings);

}  // namespace settings
