#include "script.h"

#include <cctype>
#include <charconv>
#include <fstream>
#include <iterator>
#include <limits>

#include "common/letters.h"

namespace replay {

namespace {

bool starts_with_letters(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && same_letters(text.substr(0, prefix.size()), prefix);
}

template <typename Int>
bool parse_int(std::string_view text, Int& value) {
    if (text.empty()) return false;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (*first == '+') ++first;  // from_chars takes a minus only
    auto [end, status] = std::from_chars(first, last, value);
    return status == std::errc() && end == last && first != last;
}

void fail(ParseError& error, int line, std::string_view token, const std::string& what) {
    error.line = line;
    error.token = std::string(token);
    error.message = "script line " + std::to_string(line) + ": '" + error.token + "' " + what;
}

}  // namespace

void append_script_line(std::string& out, const FrameInput& input, int64_t count) {
    out += std::to_string(count);
    for (int code = 1; code < 256; ++code) {
        if (input.keys[static_cast<std::size_t>(code)] == 0) continue;
        // Only keys with a name can be written; the game reads none of the others.
        if (const char* name = key_name(code)) {
            out += ' ';
            out += name;
        }
    }
    if (input.left) out += " LMB";
    if (input.right) out += " RMB";
    if (input.dx != 0) out += " dx=" + std::to_string(input.dx);
    if (input.dy != 0) out += " dy=" + std::to_string(input.dy);
}

int64_t Script::frame_count() const {
    int64_t total = 0;
    for (const ScriptLine& line : lines) total += line.count;
    return total;
}

FrameInput Script::input_at(int64_t frame) const {
    for (const ScriptLine& line : lines) {
        if (frame < line.count) return line.input;
        frame -= line.count;
    }
    return FrameInput{};
}

void ScriptCursor::advance() {
    if (done()) return;
    if (++used_ >= script_->lines[line_].count) {
        used_ = 0;
        ++line_;
    }
}

namespace {

// The whitespace-separated words of a line.
std::vector<std::string_view> split_words(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && std::isspace(static_cast<unsigned char>(line[at]))) ++at;
        std::size_t start = at;
        while (at < line.size() && !std::isspace(static_cast<unsigned char>(line[at]))) ++at;
        if (at > start) words.push_back(line.substr(start, at - start));
    }
    return words;
}

// The inputs of one script line after its count: keys, buttons, mouse moves, pad inputs.
bool parse_inputs(const std::vector<std::string_view>& tokens, int line_number, ScriptLine& parsed, bool& uses_pad,
                  ParseError& error) {
    bool have_dx = false;
    bool have_dy = false;
    for (std::size_t i = 1; i < tokens.size(); ++i) {
        std::string_view token = tokens[i];
        const bool is_dx = starts_with_letters(token, "dx=");
        const bool is_dy = starts_with_letters(token, "dy=");
        if (is_dx || is_dy) {
            bool& seen = is_dx ? have_dx : have_dy;
            int& value = is_dx ? parsed.input.dx : parsed.input.dy;
            if (seen) {
                fail(error, line_number, token, "moves the mouse a second time on the same line");
                return false;
            }
            if (!parse_int(token.substr(3), value)) {
                fail(error, line_number, token, "needs an integer after '='");
                return false;
            }
            seen = true;
        } else if (same_letters(token, "LMB")) {
            parsed.input.left = true;
        } else if (same_letters(token, "RMB")) {
            parsed.input.right = true;
        } else if (gamepad::is_pad_token(token)) {
            if (!gamepad::apply_pad_token(token, parsed.input.pad)) {
                fail(error, line_number, token, "is not a pad input (pad:lx=N, pad:rt=N, pad:start, ...)");
                return false;
            }
            uses_pad = true;
        } else if (int code = key_code(token); code >= 0) {
            parsed.input.keys[static_cast<std::size_t>(code)] = 0x80;
        } else {
            fail(error, line_number, token, "is not a key name, LMB, RMB, dx=N or dy=N");
            return false;
        }
    }
    return true;
}

}  // namespace

bool parse_script(std::string_view text, Script& script, ParseError& error) {
    // A script longer than this is a typo, and a frame count near INT64_MAX would overflow the total.
    constexpr int64_t max_count = 1'000'000'000;
    script.lines.clear();
    script.uses_pad = false;
    int line_number = 0;
    while (!text.empty()) {
        ++line_number;
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (std::size_t hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);

        const std::vector<std::string_view> tokens = split_words(line);
        if (tokens.empty()) continue;

        ScriptLine parsed;
        parsed.source_line = line_number;
        if (!parse_int(tokens[0], parsed.count) || parsed.count <= 0 || parsed.count > max_count) {
            fail(error, line_number, tokens[0], "is not a frame count (a positive integer)");
            return false;
        }
        if (!parse_inputs(tokens, line_number, parsed, script.uses_pad, error)) return false;
        script.lines.push_back(parsed);
    }
    return true;
}

bool load_script_file(const std::string& path, Script& script, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot read the script '" + path + "'";
        return false;
    }
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    ParseError parse_error;
    if (!parse_script(text, script, parse_error)) {
        error = path + ": " + parse_error.message;
        return false;
    }
    return true;
}

}  // namespace replay
