// The settings file's reader, on any text: whatever it is given, it names every problem by a line
// of the text, and what it gives back is settings the game can play with, which it writes out and
// reads back unchanged.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "settings/settings.h"

namespace {

[[noreturn]] void broken(const char* what) {
    std::fprintf(stderr, "settings invariant broken: %s\n", what);
    std::abort();
}

void check_playable(const settings::Settings& read) {
    const settings::Controls& controls = read.controls;
    std::vector<settings::Input> bound;
    uint32_t pad_bound = 0;
    for (int action = 0; action < settings::action_count; ++action) {
        const auto& keys = controls.keys[static_cast<size_t>(action)];
        if (keys[0] == settings::no_input && keys[1] != settings::no_input) broken("a second key without a first");
        for (const settings::Input input : keys) {
            if (input == settings::no_input) continue;
            if (settings::name_input(input).empty()) broken("a key with no name");
            if (settings::describe_reserved_key(input)) broken("a reserved key bound");
            if (std::find(bound.begin(), bound.end(), input) != bound.end()) broken("a key on two actions");
            bound.push_back(input);
        }
        if (pad_bound & controls.pad[static_cast<size_t>(action)]) broken("a pad input on two actions");
        pad_bound |= controls.pad[static_cast<size_t>(action)];
    }
    if (pad_bound >> settings::pad_input_count) broken("a pad input that does not exist");
    if (controls.aim_speed < settings::aim_speed_lowest || controls.aim_speed > settings::aim_speed_highest)
        broken("an aim speed out of range");
    const settings::SoundLevels& levels = read.sound.levels;
    for (const int level : {levels.master, levels.music, levels.effects})
        if (level < 0 || level > 100) broken("a level out of range");
    if (read.display.display < 0 || read.display.display > settings::highest_display) broken("a display out of range");
}

// The written file without its whole-line comments, which say nothing to the reader and would
// otherwise cost most of each run.
std::string drop_comment_lines(const std::string& text) {
    std::string kept;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end + 1;
        if (text[at] != '#') kept.append(text, at, end - at);
        at = end;
    }
    return kept;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<settings::Problem> problems;
    const settings::Settings read = settings::read_settings(text, problems);
    const int lines = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
    int previous = 0;
    for (const settings::Problem& problem : problems) {
        if (problem.line < 0 || problem.line > lines) broken("a problem on a line the text does not have");
        if (problem.line < previous) broken("problems out of the file's order");
        if (problem.message.empty()) broken("a problem that says nothing");
        previous = problem.line;
    }
    check_playable(read);

    std::vector<settings::Problem> again;
    const std::string written = drop_comment_lines(settings::write_settings(read));
    if (!(settings::read_settings(written, again) == read)) broken("written and read back, it changed");
    if (!again.empty()) broken("the written file has a problem");
    return 0;
}
