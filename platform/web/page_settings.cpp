// The page's settings panel (page/settings.js) and the reader the desktop uses: the panel keeps a
// settings text in localStorage and hands it here, at the start and at every change.
#include <emscripten.h>

#include <string>
#include <vector>

#include "settings/settings.h"
#include "keymap.h"

namespace {

std::string answer;  // what the last call returns, kept until the next

void append_quoted(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    out += '"';
}

}  // namespace

extern "C" {

// Reads the text as the desktop reads its settings file and puts it in force; returns what it
// could not use, a line each ("line N: ..."), empty when nothing was wrong.
EMSCRIPTEN_KEEPALIVE const char* zorvalen_apply_settings(const char* text) {
    std::vector<settings::Problem> problems;
    settings::put_settings_in_force(settings::read_settings(text != nullptr ? text : "", problems));
    answer.clear();
    for (const settings::Problem& problem : problems)
        answer += "line " + std::to_string(problem.line) + ": " + problem.message + "\n";
    return answer.c_str();
}

// The name a settings file gives the key at this place (KeyboardEvent.code); empty for none.
EMSCRIPTEN_KEEPALIVE const char* zorvalen_key_name(const char* code) {
    answer = settings::name_input(web::dik_from_code(code != nullptr ? code : ""));
    return answer.c_str();
}

// The keys of each action and the sound levels in force (the volume keys may have moved them),
// as JSON: {"keys": {"up": ["W", "Up"], ...}, "sound": {"master": 100, ..., "mute": false}}.
EMSCRIPTEN_KEEPALIVE const char* zorvalen_settings_json() {
    const settings::Controls& controls = settings::read_settings_in_force().controls;
    answer = "{\"keys\": {";
    for (int action = 0; action < settings::action_count; ++action) {
        if (action > 0) answer += ", ";
        append_quoted(answer, settings::name_action(static_cast<settings::Action>(action)));
        answer += ": [";
        bool first = true;
        for (const settings::Input input : controls.keys[static_cast<size_t>(action)]) {
            if (input == settings::no_input) continue;
            if (!first) answer += ", ";
            append_quoted(answer, settings::name_input(input));
            first = false;
        }
        answer += "]";
    }
    const settings::SoundLevels levels = settings::read_live_levels();
    answer += "}, \"sound\": {\"master\": " + std::to_string(levels.master) +
              ", \"music\": " + std::to_string(levels.music) + ", \"effects\": " + std::to_string(levels.effects) +
              ", \"mute\": " + (levels.mute ? "true" : "false") + "}}";
    return answer.c_str();
}

}
