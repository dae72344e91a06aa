// The settings file's reader, over toml++ (header-only). TOML because every value in it carries its
// line, its arrays hold an action's keys, and its types tell a word from a number; a text that
// does not parse is read again without the line named, so one slip costs one entry, not the file.
#define TOML_EXCEPTIONS 0
#define TOML_ENABLE_FORMATTERS 0
// toml++ 3.3 states some of its parser's expectations as assumptions for the optimiser when NDEBUG
// is set (__builtin_assume under clang, the browser's compiler too), and some text breaks them: a
// '[' at the end of a line reaches parse_key with a newline. Without NDEBUG each is an assertion,
// here one that checks nothing, so the parser goes on to the error it reports for such text, as
// it does wherever the compiler takes no assumptions.
#define TOML_ASSERT(expr) static_assert(true)
#ifdef NDEBUG
#undef NDEBUG
#include <toml++/toml.h>
#define NDEBUG
#else
#include <toml++/toml.h>
#endif

#include <algorithm>
#include <cmath>
#include <string>

#include "settings/settings.h"

namespace settings {

namespace {

// Past this many lines that cannot be read the text is not worth reading any further.
constexpr int most_unreadable_lines = 12;
constexpr int most_pad_inputs = 8;

std::string quoted(std::string_view text) {
    // Names from the file, shown as typed but never longer than a line of the terminal.
    std::string shown;
    for (const char c : text.substr(0, 40)) shown += (static_cast<unsigned char>(c) < 0x20) ? '?' : c;
    if (text.size() > 40) shown += "...";
    return "'" + shown + "'";
}

int line_of(const toml::node& node) { return static_cast<int>(node.source().begin.line); }
int line_of(const toml::key& key) { return static_cast<int>(key.source().begin.line); }

class Reader {
public:
    explicit Reader(std::vector<Problem>& problems) : problems_(problems) {}

    void read(const toml::table& root) {
        for (auto&& [key, node] : root) {
            const std::string_view name = key.str();
            const toml::table* section = node.as_table();
            if (name != "controls" && name != "pad" && name != "sound" && name != "display" && name != "replays" &&
                name != "board") {
                report(line_of(key), "there is no section " + quoted(name) + " (there are [controls], [pad], "
                                     "[sound], [display], [replays] and [board]); it is left out");
                continue;
            }
            if (section == nullptr) {
                report(line_of(key), quoted(name) + " is a section, written [" + std::string(name) +
                                         "] on a line of its own; it is left out");
                continue;
            }
            for (auto&& [entry_key, entry] : *section) read_entry(name, entry_key, entry);
        }
        settle_key_conflicts();
        settle_pad_conflicts();
    }

    Settings result;

private:
    void report(int line, std::string message) { problems_.push_back(Problem{line, std::move(message)}); }
    void keeps_default(int line, std::string_view entry, const std::string& what) {
        report(line, what + "; " + std::string(entry) + " keeps its default");
    }

    void read_entry(std::string_view section, const toml::key& key, const toml::node& node) {
        const std::string_view name = key.str();
        const int line = line_of(key);
        if (section == "controls") {
            if (const std::optional<Action> action = find_action(name)) return read_keys(*action, line, node);
            if (name == "swap_mouse_buttons") return read_flag(line, name, node, result.controls.swap_mouse_buttons);
            if (name == "aim_speed") return read_aim_speed(line, node);
        } else if (section == "pad") {
            if (const std::optional<Action> action = find_action(name)) return read_pad(*action, line, node);
        } else if (section == "sound") {
            if (name == "master") return read_level(line, name, node, result.sound.levels.master);
            if (name == "music") return read_level(line, name, node, result.sound.levels.music);
            if (name == "effects") return read_level(line, name, node, result.sound.levels.effects);
            if (name == "mute") return read_flag(line, name, node, result.sound.levels.mute);
            if (name == "save_key_changes") return read_flag(line, name, node, result.sound.save_key_changes);
        } else if (section == "display") {
            if (name == "fullscreen") return read_flag(line, name, node, result.display.full_screen);
            if (name == "filter") return read_filter(line, node);
            if (name == "display") return read_display(line, node);
        } else if (section == "replays") {
            if (name == "record") return read_flag(line, name, node, result.replays.record);
        } else if (section == "board") {
            if (name == "url") return read_board_url(line, node);
            if (name == "name") return read_board_name(line, node);
            if (name == "submit") return read_board_submit(line, node);
        }
        report(line, "there is no entry " + quoted(name) + " in [" + std::string(section) + "]; it is left out");
    }

    // One name or a list of names, as toml++ holds them.
    static bool names_of(const toml::node& node, std::vector<const toml::node*>& names) {
        if (node.is_string()) {
            names.push_back(&node);
            return true;
        }
        const toml::array* list = node.as_array();
        if (list == nullptr) return false;
        for (const toml::node& item : *list) {
            if (!item.is_string()) return false;
            names.push_back(&item);
        }
        return true;
    }

    void read_keys(Action action, int line, const toml::node& node) {
        const std::string_view entry = name_action(action);
        std::vector<const toml::node*> names;
        if (!names_of(node, names))
            return keeps_default(line, entry, std::string(entry) + " takes key names in quotes, like [\"Space\"]");
        // An empty list is the player's choice of no key (the pad, the touch controls or a later
        // change can still stand for the action), never a slip to fill in with some other key.
        if (names.size() > keys_per_action)
            return keeps_default(line, entry, std::string(entry) + " takes at most two keys");
        std::array<Input, keys_per_action> keys{no_input, no_input};
        for (std::size_t i = 0; i < names.size(); ++i) {
            const std::string_view name = names[i]->value_or(std::string_view{});
            const std::optional<Input> input = find_input(name);
            const int at = line_of(*names[i]);
            if (!input) return keeps_default(at, entry, quoted(name) + " is not a key name");
            if (const std::optional<std::string_view> reserved = describe_reserved_key(*input))
                return keeps_default(at, entry, std::string(*reserved) + ", and cannot be bound");
            if (i == 0 || keys[0] != *input) keys[i] = *input;
        }
        result.controls.keys[static_cast<int>(action)] = keys;
        key_lines_[static_cast<int>(action)] = line;
    }

    void read_pad(Action action, int line, const toml::node& node) {
        const std::string_view entry = name_action(action);
        std::vector<const toml::node*> names;
        if (!names_of(node, names))
            return keeps_default(line, "pad " + std::string(entry),
                                 "pad " + std::string(entry) + " takes pad input names in quotes, like [\"A\"]");
        if (names.size() > most_pad_inputs)
            return keeps_default(line, "pad " + std::string(entry), "pad " + std::string(entry) +
                                 " takes at most " + std::to_string(most_pad_inputs) + " inputs");
        uint32_t inputs = 0;
        for (const toml::node* named : names) {
            const std::string_view name = named->value_or(std::string_view{});
            const std::optional<PadInput> input = find_pad_input(name);
            if (!input)
                return keeps_default(line_of(*named), "pad " + std::string(entry), quoted(name) + " is not a pad input");
            inputs |= pad_bit(*input);
        }
        result.controls.pad[static_cast<int>(action)] = inputs;
        pad_lines_[static_cast<int>(action)] = line;
    }

    void read_flag(int line, std::string_view name, const toml::node& node, bool& flag) {
        if (const std::optional<bool> value = node.value_exact<bool>()) {
            flag = *value;
            return;
        }
        keeps_default(line, name, std::string(name) + " takes true or false");
    }

    void read_level(int line, std::string_view name, const toml::node& node, int& level) {
        const std::optional<int64_t> value = node.value_exact<int64_t>();
        if (!value) return keeps_default(line, name, std::string(name) + " takes a whole number from 0 to 100");
        if (*value < 0 || *value > 100)
            return keeps_default(line, name, std::string(name) + " = " + std::to_string(*value) + " is outside 0 to 100");
        level = static_cast<int>(*value);
    }

    void read_aim_speed(int line, const toml::node& node) {
        std::optional<double> value = node.value_exact<double>();
        if (!value && node.is_integer()) value = static_cast<double>(node.value_or(int64_t{0}));
        if (!value) return keeps_default(line, "aim_speed", "aim_speed takes a number from 0.1 to 10");
        const double hundredths = *value * 100.0;
        if (!std::isfinite(hundredths) || std::lround(hundredths) < aim_speed_lowest ||
            std::lround(hundredths) > aim_speed_highest)
            return keeps_default(line, "aim_speed", "aim_speed is outside 0.1 to 10");
        result.controls.aim_speed = static_cast<int>(std::lround(hundredths));
    }

    void read_filter(int line, const toml::node& node) {
        const std::string_view name = node.value_or(std::string_view{});
        for (const ScaleFilter filter : {ScaleFilter::sharp, ScaleFilter::whole, ScaleFilter::smooth}) {
            if (node.is_string() && name == name_filter(filter)) {
                result.display.filter = filter;
                return;
            }
        }
        keeps_default(line, "filter", "filter takes \"sharp\", \"whole\" or \"smooth\"");
    }

    void read_board_url(int line, const toml::node& node) {
        const std::string_view url = node.value_or(std::string_view{});
        const bool web = url.starts_with("http://") || url.starts_with("https://");
        if (!node.is_string() || (!web && !url.empty()) || url.size() > 2000 ||
            std::any_of(url.begin(), url.end(), [](char c) { return static_cast<unsigned char>(c) <= 0x20; }))
            return keeps_default(line, "url", "url takes a board's address in quotes, like \"http://127.0.0.1:8080\"");
        result.board.url = url;
    }

    void read_board_name(int line, const toml::node& node) {
        const std::string_view name = node.value_or(std::string_view{});
        // Characters, not bytes: the board counts them so.
        const auto characters = std::count_if(name.begin(), name.end(), [](char c) { return (c & 0xC0) != 0x80; });
        // A letter beyond ASCII typed as itself was read as '?' (keep_to_ascii), which no board takes.
        if (name.find('?') != std::string_view::npos)
            return keeps_default(line, "name", "name takes letters beyond ASCII as escapes, like \"Zo\\u00EB\"");
        if (!node.is_string() || characters > static_cast<std::ptrdiff_t>(longest_board_name) ||
            std::any_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }))
            return keeps_default(line, "name", "name takes up to " + std::to_string(longest_board_name) +
                                                   " characters in quotes, like \"Ada\"");
        result.board.name = name;
    }

    void read_board_submit(int line, const toml::node& node) {
        const std::string_view name = node.value_or(std::string_view{});
        for (const BoardSubmit submit : {BoardSubmit::never, BoardSubmit::best, BoardSubmit::all}) {
            if (node.is_string() && name == name_board_submit(submit)) {
                result.board.submit = submit;
                return;
            }
        }
        keeps_default(line, "submit", "submit takes \"never\", \"best\" or \"all\"");
    }

    void read_display(int line, const toml::node& node) {
        const std::optional<int64_t> value = node.value_exact<int64_t>();
        if (!value || *value < 0 || *value > highest_display)
            return keeps_default(line, "display", "display takes 0 (the usual place) or a display's number, 1 to " +
                                                      std::to_string(highest_display));
        result.display.display = static_cast<int>(*value);
    }

    // One input on two actions: the entry set later in the file (or the only one the file set)
    // goes back to its default, until no input is left on two actions. The defaults themselves
    // share none, so this ends.
    template <typename Shares, typename Revert>
    void settle_conflicts(std::array<int, action_count>& lines, Shares shares, Revert revert, const char* what) {
        for (bool changed = true; changed;) {
            changed = false;
            for (int a = 0; a < action_count && !changed; ++a) {
                for (int b = a + 1; b < action_count && !changed; ++b) {
                    const std::string shared = shares(a, b);
                    if (shared.empty() || (lines[a] == 0 && lines[b] == 0)) continue;
                    const int undone = lines[b] >= lines[a] ? b : a;
                    const std::string_view name = name_action(static_cast<Action>(undone));
                    keeps_default(lines[undone], std::string(what) + std::string(name),
                                  shared + " is bound to both " + std::string(name_action(static_cast<Action>(a))) +
                                      " and " + std::string(name_action(static_cast<Action>(b))));
                    revert(undone);
                    lines[undone] = 0;
                    changed = true;
                }
            }
        }
    }

    void settle_key_conflicts() {
        Controls& controls = result.controls;
        const Controls defaults = default_controls();
        settle_conflicts(
            key_lines_,
            [&](int a, int b) -> std::string {
                for (const Input input : controls.keys[a])
                    if (input != no_input && std::find(controls.keys[b].begin(), controls.keys[b].end(), input) !=
                                                 controls.keys[b].end())
                        return std::string(name_input(input));
                return {};
            },
            [&](int action) { controls.keys[action] = defaults.keys[action]; }, "");
    }

    void settle_pad_conflicts() {
        Controls& controls = result.controls;
        const Controls defaults = default_controls();
        settle_conflicts(
            pad_lines_,
            [&](int a, int b) -> std::string {
                const uint32_t shared = controls.pad[a] & controls.pad[b];
                if (shared == 0) return {};
                for (int input = 0; input < pad_input_count; ++input)
                    if (shared & (1u << input)) return "the pad's " + std::string(name_pad_input(static_cast<PadInput>(input)));
                return {};
            },
            [&](int action) { controls.pad[action] = defaults.pad[action]; }, "pad ");
    }

    std::vector<Problem>& problems_;
    std::array<int, action_count> key_lines_{};  // where the file set each action's keys, 0 if not
    std::array<int, action_count> pad_lines_{};
};

// Blanks a line, keeping its newline so every other line keeps its number. False when there is
// no such line or nothing left on it to blank.
bool blank_line(std::string& text, int line) {
    std::size_t start = 0;
    for (int at = 1; at < line; ++at) {
        start = text.find('\n', start);
        if (start == std::string::npos) return false;
        ++start;
    }
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    bool blanked = false;
    for (std::size_t i = start; i < end; ++i) {
        if (text[i] != ' ' && text[i] != '\r') {
            text[i] = ' ';
            blanked = true;
        }
    }
    return blanked;
}

// The nearest line at or above `line` that still holds something: where a construct left open
// (a list or a long string) began, when the parser only noticed further down.
int last_written_line(const std::string& text, int line) {
    std::vector<bool> written{false};
    for (std::size_t i = 0, at = 1; i < text.size(); ++i) {
        if (written.size() <= at) written.push_back(false);
        if (text[i] == '\n')
            ++at;
        else if (text[i] != ' ' && text[i] != '\r')
            written[at] = true;
    }
    for (int at = std::min<int>(line, static_cast<int>(written.size()) - 1); at >= 1; --at)
        if (written[static_cast<std::size_t>(at)]) return at;
    return 0;
}

// Every character beyond ASCII as one '?'. A settings file needs none outside its comments, where
// they mean nothing, and toml++ 3.3 reaches a point it takes for unreachable (undefined
// behaviour) on some of them where it looks for a space (its issue 295, mended in later
// releases): no file of the player's should lead there. Lines keep their numbers.
std::string keep_to_ascii(std::string_view text) {
    std::string ascii;
    ascii.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            ascii += static_cast<char>(c);
            continue;
        }
        ascii += '?';
        if (c >= 0xC0)
            while (i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) ++i;
    }
    return ascii;
}

Settings read_settings_in_passes(std::string_view text, std::vector<Problem>& problems) {
    if (text.size() > largest_settings_file) {
        problems.push_back(Problem{0, "it is longer than " + std::to_string(largest_settings_file / 1024) +
                                          " KiB, and is not read; every setting keeps its default"});
        return Settings{};
    }
    std::string readable = keep_to_ascii(text);
    for (int unreadable = 0;; ++unreadable) {
        toml::parse_result parsed = toml::parse(readable);
        if (parsed) {
            Reader reader(problems);
            reader.read(parsed.table());
            return reader.result;
        }
        const toml::parse_error& error = parsed.error();
        const int line = last_written_line(readable, static_cast<int>(error.source().begin.line));
        if (unreadable == most_unreadable_lines || line == 0 || !blank_line(readable, line)) {
            problems.push_back(Problem{line, "too much of it cannot be read; every setting keeps its default"});
            return Settings{};
        }
        problems.push_back(
            Problem{line, "this line cannot be read (" + std::string(error.description()) + "); it is left out"});
    }
}

}  // namespace

Settings read_settings(std::string_view text, std::vector<Problem>& found) {
    // In the order of the file's lines, whichever pass found them.
    std::vector<Problem> problems;
    const Settings settings = read_settings_in_passes(text, problems);
    std::stable_sort(problems.begin(), problems.end(),
                     [](const Problem& a, const Problem& b) { return a.line < b.line; });
    found.insert(found.end(), problems.begin(), problems.end());
    return settings;
}

std::string_view name_board_submit(BoardSubmit submit) {
    switch (submit) {
    case BoardSubmit::best: return "best";
    case BoardSubmit::all: return "all";
    default: return "never";
    }
}

std::string_view name_filter(ScaleFilter filter) {
    switch (filter) {
    case ScaleFilter::whole: return "whole";
    case ScaleFilter::smooth: return "smooth";
    case ScaleFilter::sharp: break;
    }
    return "sharp";
}

}  // namespace settings
