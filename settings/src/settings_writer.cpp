// The settings file as the program writes it: every entry, each with what it takes, so that the
// default file is also the documentation a player edits from.
#include <initializer_list>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "settings/settings.h"

namespace settings {

namespace {

void put(std::string& text, std::initializer_list<std::string_view> pieces) {
    for (const std::string_view piece : pieces) text += piece;
}

std::string write_keys(const std::array<Input, keys_per_action>& keys) {
    std::string list = "[";
    for (const Input input : keys) {
        if (input == no_input) continue;
        if (list.size() > 1) list += ", ";
        put(list, {"\"", name_input(input), "\""});
    }
    return list + "]";
}

std::string write_pad(uint32_t inputs) {
    std::string list = "[";
    for (int input = 0; input < pad_input_count; ++input) {
        if ((inputs & (1u << input)) == 0) continue;
        if (list.size() > 1) list += ", ";
        put(list, {"\"", name_pad_input(static_cast<PadInput>(input)), "\""});
    }
    return list + "]";
}

// Hundredths as TOML's shortest decimal: 100 is 1.0, 125 is 1.25, 50 is 0.5.
std::string write_hundredths(int hundredths) {
    std::string text = std::to_string(hundredths / 100) + ".";
    const int fraction = hundredths % 100;
    if (fraction == 0) return text + "0";
    text += static_cast<char>('0' + fraction / 10);
    if (fraction % 10 != 0) text += static_cast<char>('0' + fraction % 10);
    return text;
}

const char* write_flag(bool flag) { return flag ? "true" : "false"; }

// A TOML basic string in ASCII alone, as the reader reads only that: a character beyond it is
// written as its \u or \U escape. The reader took no control characters.
std::string write_quoted(std::string_view text) {
    std::string quoted = "\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            if (c == '"' || c == '\\') quoted += '\\';
            quoted += static_cast<char>(c);
            continue;
        }
        const int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : 1;
        std::uint32_t point = c & (0x3F >> more);
        for (int k = 0; k < more && i + 1 < text.size(); ++k) point = (point << 6) | (text[++i] & 0x3F);
        char escape[16];
        std::snprintf(escape, sizeof escape, point > 0xFFFF ? "\\U%08X" : "\\u%04X", static_cast<unsigned>(point));
        quoted += escape;
    }
    return quoted + "\"";
}

}  // namespace

std::string write_settings(const Settings& settings) {
    const Controls& controls = settings.controls;
    const auto keys = [&](Action action) { return write_keys(controls.keys[static_cast<int>(action)]); };
    const auto pad = [&](Action action) { return write_pad(controls.pad[static_cast<int>(action)]); };
    const SoundLevels& levels = settings.sound.levels;
    std::string text;
    text += "# Zorvalen's settings. The game reads this file when it starts and writes it only when asked\n"
            "# (zorvalen --save-settings, which writes every entry again with these comments). An entry the\n"
            "# game cannot use is named on standard error with its line, and keeps its default; an entry\n"
            "# left out keeps its default too. zorvalen --write-default-settings prints the default file.\n"
            "\n"
            "[controls]\n"
            "# Up to two keys for each action, named by their place on a US keyboard whatever your layout\n"
            "# prints on them: A to Z, 0 to 9, F1 to F15, Space, Enter, Tab, Backspace, Escape, Up, Down,\n"
            "# Left, Right, Insert, Delete, Home, End, PageUp, PageDown, LeftShift, RightShift, LeftCtrl,\n"
            "# RightCtrl, LeftAlt, RightAlt, LeftSuper, RightSuper, Menu, CapsLock, Minus, Equals,\n"
            "# LeftBracket, RightBracket, Semicolon, Apostrophe, Grave, Backslash, Comma, Period, Slash,\n"
            "# NonUSBackslash, KP0 to KP9, KPEnter, KPPlus, KPMinus, KPMultiply, KPDivide, KPPeriod,\n"
            "# KPEquals, NumLock, ScrollLock, PrintScreen, Pause; and the mouse's MouseLeft, MouseRight,\n"
            "# MouseMiddle and Mouse4. A key serves one action only. F9, F10 and F12 (the sound) and F11\n"
            "# (full screen) are taken.\n";
    put(text, {"up = ", keys(Action::up), "\n"});
    put(text, {"down = ", keys(Action::down), "\n"});
    put(text, {"left = ", keys(Action::left), "\n"});
    put(text, {"right = ", keys(Action::right), "\n"});
    put(text, {"fire = ", keys(Action::fire), "  # bullets\n"});
    put(text, {"rocket = ", keys(Action::rocket), "  # a blast rocket, from a small stock\n"});
    put(text, {"pause = ", keys(Action::pause), "  # starts the game from the title screen, and pauses it\n"});
    put(text, {"quit = ", keys(Action::quit), "\n"});
    text += "# true: the left and right mouse buttons change places.\n";
    put(text, {"swap_mouse_buttons = ", write_flag(controls.swap_mouse_buttons), "\n"});
    text += "# How fast the mouse aims, from 0.1 to 10: at 1 each count of the mouse is one pixel.\n";
    put(text, {"aim_speed = ", write_hundredths(controls.aim_speed), "\n"});
    text += "\n"
            "[pad]\n"
            "# Any of a gamepad's inputs for each action: A, B, X, Y, LeftShoulder (LB), RightShoulder (RB),\n"
            "# LeftTrigger (LT), RightTrigger (RT), Start, Back, DpadUp, DpadDown, DpadLeft, DpadRight,\n"
            "# LeftStickUp, LeftStickDown, LeftStickLeft, LeftStickRight, the same for RightStick, and\n"
            "# LeftStickPress (LS) and RightStickPress (RS). The right stick also aims, always; quit counts\n"
            "# only once held for a second. [] leaves an action off the pad.\n";
    put(text, {"up = ", pad(Action::up), "\n"});
    put(text, {"down = ", pad(Action::down), "\n"});
    put(text, {"left = ", pad(Action::left), "\n"});
    put(text, {"right = ", pad(Action::right), "\n"});
    put(text, {"fire = ", pad(Action::fire), "\n"});
    put(text, {"rocket = ", pad(Action::rocket), "\n"});
    put(text, {"pause = ", pad(Action::pause), "\n"});
    put(text, {"quit = ", pad(Action::quit), "\n"});
    text += "\n"
            "[sound]\n"
            "# From 0 (silent) to 100 (full). While playing, F9 and F10 turn the master level down and up\n"
            "# by 10, and F12 mutes and unmutes.\n";
    put(text, {"master = ", std::to_string(levels.master), "\n"});
    put(text, {"music = ", std::to_string(levels.music), "  # the music, which loops\n"});
    put(text, {"effects = ", std::to_string(levels.effects), "  # shots, rockets and explosions\n"});
    put(text, {"mute = ", write_flag(levels.mute), "\n"});
    text += "# true: the level set with F9, F10 and F12 is written here when the game ends, for the next start.\n";
    put(text, {"save_key_changes = ", write_flag(settings.sound.save_key_changes), "\n"});
    text += "\n"
            "[display]\n"
            "# true: start in full screen (Alt+Enter or F11 switches while playing).\n";
    put(text, {"fullscreen = ", write_flag(settings.display.full_screen), "\n"});
    text += "# How the picture is scaled to the window: \"sharp\" (exact at whole multiples, at other sizes\n"
            "# blended only where two pixels meet), \"whole\" (only whole multiples, exact, with wider black\n"
            "# bars round them) or \"smooth\" (blended everywhere).\n";
    put(text, {"filter = \"", name_filter(settings.display.filter), "\"\n"});
    text += "# 0: where the window system puts the window; 1, 2, ...: open on that display.\n";
    put(text, {"display = ", std::to_string(settings.display.display), "\n"});
    text += "\n"
            "[replays]\n"
            "# false: games are not recorded for watching again.\n";
    put(text, {"record = ", write_flag(settings.replays.record), "\n"});
    text += "\n"
            "[board]\n"
            "# A board plays every run it is sent again before it ranks it. Its address, like\n"
            "# \"http://127.0.0.1:8080\" (\"\": none), and your name there (\"\": your login's).\n";
    put(text, {"url = ", write_quoted(settings.board.url), "\n"});
    put(text, {"name = ", write_quoted(settings.board.name), "\n"});
    text += "# Which games go to the board when they end: \"never\", \"best\" (a game whose score is the best\n"
            "# of your replays) or \"all\".\n";
    put(text, {"submit = \"", name_board_submit(settings.board.submit), "\"\n"});
    return text;
}

namespace {

// Made on first use: the Windows exe puts its settings in force while the program's static data
// is still being set up.
Settings& in_force() {
    static Settings settings;
    return settings;
}

}  // namespace

const Settings& read_settings_in_force() { return in_force(); }

void put_settings_in_force(const Settings& settings) {
    in_force() = settings;
    set_live_levels(settings.sound.levels);
}

}  // namespace settings
