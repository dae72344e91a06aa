// Replay scripts: which keys and mouse buttons are held, and how the mouse moves, frame by frame.
//
// One line per run of identical frames:  COUNT [TOKEN ...]   (# starts a comment)
// TOKEN is a DirectInput key name without DIK_ (any case), LMB, RMB, dx=N, dy=N, or a pad
// input (pad:lx=N, pad:rt=N, pad:start, ...: see pad_mapping.h) for a virtual gamepad.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <key_names.h>
#include <pad_mapping.h>

namespace replay {

// What the devices read on one frame.
struct FrameInput {
    std::array<unsigned char, 256> keys{};  // 0x80 for a held key, 0 otherwise
    int dx = 0;
    int dy = 0;
    bool left = false;
    bool right = false;
    gamepad::PadReading pad;  // at rest unless the line says otherwise

    bool operator==(const FrameInput&) const = default;
};

struct ScriptLine {
    int64_t count = 0;  // consecutive frames this input is held for
    FrameInput input;
    int source_line = 0;  // 1-based, for messages
};

struct Script {
    std::vector<ScriptLine> lines;
    bool uses_pad = false;  // some line has a pad input: the run plugs in a virtual pad

    int64_t frame_count() const;
    // The input of frame `frame` (from 0); nothing held past the end.
    FrameInput input_at(int64_t frame) const;
};

struct ParseError {
    int line = 0;       // 1-based line of the script
    std::string token;  // the offending token
    std::string message;  // full text, naming both
};

// Parses a whole script. On failure returns false and fills `error`.
bool parse_script(std::string_view text, Script& script, ParseError& error);

// Reads and parses a script file; on failure `error` names the file and, for a bad line, the line and token.
bool load_script_file(const std::string& path, Script& script, std::string& error);

// DIK code of a key name without its prefix, in any case ("space", "Escape", "A", "7"); -1 if unknown.
using keys::key_code;
// The name of a DIK code as scripts write it ("SPACE"), or null for a code with none.
using keys::key_name;

// One frame's keys, buttons and motion as a script line of count 1 ("1 W D LMB dx=3"), pads
// left out, with no newline.
void append_script_line(std::string& out, const FrameInput& input);

// Walks a script frame by frame without expanding it.
class ScriptCursor {
public:
    explicit ScriptCursor(const Script& script) : script_(&script) {}
    bool done() const { return line_ >= script_->lines.size(); }
    const FrameInput& input() const { return script_->lines[line_].input; }
    void advance();

private:
    const Script* script_;
    std::size_t line_ = 0;
    int64_t used_ = 0;  // frames of the current line already played
};

}  // namespace replay
