// The test hook for the game itself: ZORVALEN_INPUT_SCRIPT names a file of lines
// "COUNT [KEY ...] [LMB] [RMB] [dx=N] [dy=N]" (the replay runner's script lines, key names as
// key_names.h has them; # starts a comment), each held for COUNT frames from the first. They
// reach the devices as a player's key, button and motion events do, just before each frame, so
// the game plays them paced, in its window, as it would a player's (ZORVALEN_PAD_SCRIPT does
// the same for a pad). While they play the window counts as focused.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <headless.h>
#include <key_names.h>

#include "input_feed.h"

namespace platform {

namespace {

struct Held {
    bool keys[256] = {};
    bool left = false, right = false;
};

struct Line {
    long count = 0;
    Held held;
    int dx = 0, dy = 0;
};

struct InputScript {
    std::vector<Line> lines;
    std::size_t line = 0;
    long used = 0;
    Held held;  // what the devices have been told is down
} script;

bool parse(const std::string& text, std::vector<Line>& lines, std::string& error) {
    std::size_t at = 0;
    for (int number = 1; at < text.size(); ++number) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string row = text.substr(at, end - at);
        at = end + 1;
        if (const std::size_t hash = row.find('#'); hash != std::string::npos) row.resize(hash);
        Line parsed;
        bool first = true;
        for (char* token = std::strtok(row.data(), " \t\r"); token != nullptr; token = std::strtok(nullptr, " \t\r")) {
            char* rest = nullptr;
            if (first) {
                parsed.count = std::strtol(token, &rest, 10);
                first = false;
                if (*rest == '\0' && parsed.count > 0) continue;
            } else if (std::strcmp(token, "LMB") == 0) {
                parsed.held.left = true;
                continue;
            } else if (std::strcmp(token, "RMB") == 0) {
                parsed.held.right = true;
                continue;
            } else if (std::strncmp(token, "dx=", 3) == 0 || std::strncmp(token, "dy=", 3) == 0) {
                const long value = std::strtol(token + 3, &rest, 10);
                (token[1] == 'x' ? parsed.dx : parsed.dy) = static_cast<int>(value);
                if (*rest == '\0' && token[3] != '\0') continue;
            } else if (const int code = keys::key_code(token); code >= 0) {
                parsed.held.keys[code] = true;
                continue;
            }
            error = "line " + std::to_string(number) + ": '" + token + "' is not a frame count, key, LMB, RMB, dx=N or dy=N";
            return false;
        }
        if (!first) lines.push_back(parsed);
    }
    return true;
}

// Tells the devices what changed since the last frame.
void before_frame() {
    Line next;
    if (script.line < script.lines.size()) {
        next = script.lines[script.line];
        if (++script.used >= next.count) {
            script.used = 0;
            ++script.line;
        }
    }
    for (int code = 1; code < 256; ++code)
        if (next.held.keys[code] != script.held.keys[code]) feed_key(static_cast<uint8_t>(code), next.held.keys[code]);
    if (next.held.left != script.held.left) feed_mouse_button(0, next.held.left);
    if (next.held.right != script.held.right) feed_mouse_button(1, next.held.right);
    if (next.dx != 0 || next.dy != 0) feed_mouse_motion(next.dx, next.dy);
    script.held = next.held;
}

}  // namespace

void start_input_script() {
    static bool started = false;
    const char* path = std::getenv("ZORVALEN_INPUT_SCRIPT");
    if (started || path == nullptr || *path == '\0') return;
    started = true;
    std::ifstream file(path, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    std::string error = file ? "" : "cannot read it";
    if (error.empty() && parse(text, script.lines, error)) {
        headless::set_frame_hooks({before_frame, nullptr});
        return;
    }
    std::fprintf(stderr, "ZORVALEN_INPUT_SCRIPT %s: %s\n", path, error.c_str());
}

}  // namespace platform
