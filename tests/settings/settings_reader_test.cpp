// The settings file's reader and writer: what a player writes by hand, and every way it can be wrong.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <dinput.h>

#include "settings/settings.h"
#include "program/settings_file.h"

namespace {

using settings::Action;
using settings::Problem;
using settings::Settings;

Settings read(const std::string& text, std::vector<Problem>& problems) { return settings::read_settings(text, problems); }

std::array<settings::Input, 2>& keys_of(Settings& s, Action action) { return s.controls.keys[static_cast<int>(action)]; }

TEST(SettingsFile, TheDefaultFileReadsBackAsTheDefaultsAndAnyFileAsItWasWritten) {
    std::vector<Problem> problems;
    EXPECT_EQ(read(settings::write_settings(Settings{}), problems), Settings{});
    EXPECT_TRUE(problems.empty()) << problems.front().line << ": " << problems.front().message;

    Settings changed;
    keys_of(changed, Action::fire) = {DIK_SPACE, settings::mouse_button(0)};
    keys_of(changed, Action::pause) = {DIK_P, settings::no_input};
    keys_of(changed, Action::up) = {DIK_NUMPAD8, DIK_I};
    keys_of(changed, Action::quit) = {settings::no_input, settings::no_input};  // the player's choice of none
    changed.controls.pad[static_cast<int>(Action::fire)] = settings::pad_bit(settings::pad_a);
    changed.controls.pad[static_cast<int>(Action::rocket)] = 0;
    changed.controls.swap_mouse_buttons = true;
    changed.controls.aim_speed = 125;
    changed.sound.levels = {35, 0, 100, true};
    changed.sound.save_key_changes = true;
    changed.display = {true, settings::ScaleFilter::whole, 2};
    changed.replays.record = false;
    changed.board = {"http://127.0.0.1:8080/boards/\"main\"", "Zo\\\"e \xC3\x89", settings::BoardSubmit::best};
    EXPECT_EQ(read(settings::write_settings(changed), problems), changed);
    EXPECT_TRUE(problems.empty());
}

TEST(SettingsFile, KeysAreNamedAsPlayersNameThemInAnyCase) {
    std::vector<Problem> problems;
    Settings read_back = read("[controls]\n"
                              "up = [\"kp8\", \"W\"]\n"
                              "down = \"LEFTSHIFT\"\n"
                              "fire = [\"space\"]\n"
                              "pause = [\"Return\"]\n"
                              "quit = [\"Esc\"]\n"
                              "aim_speed = 2\n",
                              problems);
    EXPECT_TRUE(problems.empty());
    Settings expected;
    keys_of(expected, Action::up) = {DIK_NUMPAD8, DIK_W};
    keys_of(expected, Action::down) = {DIK_LSHIFT, settings::no_input};
    keys_of(expected, Action::fire) = {DIK_SPACE, settings::no_input};
    keys_of(expected, Action::pause) = {DIK_RETURN, settings::no_input};
    keys_of(expected, Action::quit) = {DIK_ESCAPE, settings::no_input};
    expected.controls.aim_speed = 200;
    EXPECT_EQ(read_back, expected);
}

// Each bad entry is one line on standard error naming the file, the line and what is wrong, and
// only that entry keeps its default: what else the file sets still counts, and the game starts.
// A file that cannot be read at all is one line too, and every setting keeps its default.
TEST(SettingsFile, EachBadEntryIsOneLineNamingFileAndLineAndKeepsItsDefault) {
    struct Case {
        const char* what;
        std::string text;  // the file's, or empty for one that cannot be read (a folder)
        int line;          // 0: the file as a whole
        const char* says;
        std::function<void(Settings&)> also_set;  // what the good entries of the file set
    };
    const auto none = [](Settings&) {};
    const auto master_40 = [](Settings& s) { s.sound.levels.master = 40; };
    const Case cases[] = {
        {"a line that cannot be read", "[sound]\nmaster = 40\nmusic = = 3\neffects = 20\n", 3, "cannot be read",
         [](Settings& s) { s.sound.levels.master = 40; s.sound.levels.effects = 20; }},
        {"a line with no value", "[sound]\nmaster = 40\nmute\n", 3, "cannot be read", master_40},
        {"a section left open", "[sound]\nmaster = 40\n[\n", 3, "cannot be read", master_40},
        {"the same entry twice", "[sound]\nmaster = 40\nmaster = 50\n", 3, "cannot be read", master_40},
        {"an unknown entry", "[controls]\njump = [\"J\"]\n[sound]\nmaster = 40\n", 2, "no entry 'jump' in [controls]",
         master_40},
        {"an unknown section", "[video]\nfullscreen = true\n[sound]\nmaster = 40\n", 1, "no section 'video'",
         master_40},
        {"a section written as a value", "sound = 40\n", 1, "is a section", none},
        {"a key name that does not exist", "[controls]\nfire = [\"Spcae\"]\n", 2, "'Spcae' is not a key name", none},
        {"a key on a line of its own", "[controls]\nfire = [\n  \"MouseLeft\",\n  \"Jump\",\n]\n", 4,
         "'Jump' is not a key name", none},
        {"a letter beyond ASCII where a space should be", "[sound]\nmaster \xC2\xA4 40\neffects = 20\n", 2,
         "cannot be read", [](Settings& s) { s.sound.levels.effects = 20; }},
        {"a key name beyond ASCII", "[controls]\nfire = [\"\xC3\x9C\"]\n", 2, "'?' is not a key name", none},
        {"a key name that is not text", "[controls]\nfire = [1]\n", 2, "takes key names in quotes", none},
        {"three keys for one action", "[controls]\nup = [\"W\", \"Up\", \"I\"]\n", 2, "at most two keys", none},
        {"a volume above 100", "[sound]\nmusic = 150\nmaster = 40\n", 2, "music = 150 is outside 0 to 100",
         master_40},
        {"a volume below 0", "[sound]\neffects = -1\n", 2, "effects = -1 is outside 0 to 100", none},
        {"a volume that is not a whole number", "[sound]\nmaster = 50.5\n", 2, "whole number from 0 to 100", none},
        {"one key bound to two actions", "[controls]\nfire = [\"Space\"]\n", 2,
         "Space is bound to both fire and pause; fire keeps its default", none},
        {"two entries taking one key: the later one", "[controls]\npause = [\"P\"]\nfire = [\"P\"]\n", 3,
         "P is bound to both fire and pause; fire keeps its default",
         [](Settings& s) { keys_of(s, Action::pause) = {DIK_P, settings::no_input}; }},
        {"one pad input bound to two actions", "[pad]\nfire = [\"Start\"]\n", 2,
         "the pad's Start is bound to both fire and pause; pad fire keeps its default", none},
        {"a pad input that does not exist", "[pad]\nfire = [\"Z\"]\n", 2, "'Z' is not a pad input", none},
        {"a volume key bound to an action", "[controls]\nfire = [\"F9\"]\n", 2, "F9 turns the sound down", none},
        {"a flag that is not true or false", "[display]\nfullscreen = \"yes\"\n", 2, "true or false", none},
        {"an aim speed out of range", "[controls]\naim_speed = 20\n", 2, "aim_speed is outside 0.1 to 10", none},
        {"an unknown filter", "[display]\nfilter = \"blurry\"\n", 2, "\"sharp\", \"whole\" or \"smooth\"", none},
        {"a display that cannot be", "[display]\ndisplay = 99\n", 2, "display takes 0", none},
        {"a board that is not a web address", "[board]\nurl = \"ftp://x\"\nsubmit = \"all\"\n", 2,
         "url takes a board's address", [](Settings& s) { s.board.submit = settings::BoardSubmit::all; }},
        {"a board name too long", "[board]\nname = \"abcdefghijklmnopqrstuvwxy\"\n", 2, "name takes up to 24", none},
        {"an unknown way to submit", "[board]\nsubmit = \"sometimes\"\n", 2, "\"never\", \"best\" or \"all\"", none},
        {"a file too long to be a settings file", std::string(settings::largest_settings_file + 1, '#'), 0,
         "longer than 64 KiB", none},
        {"a file that cannot be read at all", "", 0, "cannot be read", none},
    };
    namespace fs = std::filesystem;
    const fs::path file = fs::temp_directory_path() / ("zorvalen-bad-" + std::to_string(getpid()) + ".toml");
    for (const Case& bad : cases) {
        SCOPED_TRACE(bad.what);
        fs::remove_all(file);
        if (bad.text.empty())
            fs::create_directory(file);
        else
            std::ofstream(file, std::ios::binary) << bad.text;
        const char* words[] = {"zorvalen", "--settings", file.c_str()};
        program::ProgramOptions options;
        ASSERT_TRUE(program::read_command_line(3, words, options).start_game);
        std::string report;
        program::start_settings(options, report);

        ASSERT_EQ(std::count(report.begin(), report.end(), '\n'), 1) << report;
        std::string where = "zorvalen: " + file.string();  // appended: GCC 12 at -O3 warns of ":" + text
        if (bad.line > 0) where += ':' + std::to_string(bad.line);
        where += ": ";
        EXPECT_EQ(report.rfind(where, 0), 0u) << report;
        EXPECT_NE(report.find(bad.says), std::string::npos) << report;
        Settings expected;
        bad.also_set(expected);
        EXPECT_EQ(settings::read_settings_in_force(), expected);
    }
    fs::remove_all(file);
    settings::put_settings_in_force(Settings{});
}

TEST(SettingsFile, FiveMistakesAreFiveLinesInTheFilesOrderAndTheRestStillCounts) {
    std::vector<Problem> problems;
    const Settings read_back = read("[controls]\n"
                                    "fire = [\"Spcae\"]\n"
                                    "pause = [\"P\"]\n"
                                    "jump = [\"J\"]\n"
                                    "quit = [\"F9\"]\n"
                                    "[sound]\n"
                                    "music = 150\n"
                                    "master = = 40\n"
                                    "[display]\n"
                                    "fullscreen = true\n",
                                    problems);
    ASSERT_EQ(problems.size(), 5u);
    const int lines[] = {2, 4, 5, 7, 8};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(problems[static_cast<size_t>(i)].line, lines[i]);
    Settings expected;
    keys_of(expected, Action::pause) = {DIK_P, settings::no_input};
    expected.display.full_screen = true;
    EXPECT_EQ(read_back, expected);
}

TEST(SettingsFile, ListsLeftOpenOrEndlessRubbishStopAfterAFewLines) {
    std::vector<Problem> problems;
    Settings read_back = read("[sound]\nmaster = 40\n[controls]\nup = [\"W\",\n\"Up\"\n", problems);
    EXPECT_FALSE(problems.empty());
    EXPECT_EQ(read_back.sound.levels.master, 40);

    problems.clear();
    std::string rubbish;
    for (int i = 0; i < 2000; ++i) rubbish += "= =\n";
    read_back = read(rubbish, problems);
    EXPECT_EQ(read_back, Settings{});
    EXPECT_LE(problems.size(), 13u);
    EXPECT_NE(problems.back().message.find("every setting keeps its default"), std::string::npos);
}

}  // namespace
