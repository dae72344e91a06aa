// Playing the scripts kept in tests/scripts through the real game, and looking at each frame
// while it runs: the World as it stands and the quads the frame presented.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "json_lines.h"
#include "runner.h"
#include "script.h"

// Loads tests/scripts/<name> and moves into the asset directory, where the game finds its
// files. A script that does not load fails the test.
bool load_tracked_script(const std::string& name, replay::Script& script);

// A string drawn with the bitmap font: one run per draw_text call.
struct TextRun {
    int x = 0;
    int y = 0;
    int scale = 0;
    std::uint32_t color = 0;
    std::string text;
};

// One frame of a replay, looked at while the game is still running.
class Frame {
public:
    Frame(int64_t index, bool last, const replay::TextureNames& names) : index(index), last(last), names_(names) {}

    const int64_t index;
    const bool last;

    std::vector<replay::QuadView> draws() const;
    // The strings drawn this frame, read back from the glyph quads.
    std::vector<TextRun> texts() const;
    std::optional<TextRun> text(const std::string& wanted) const;
    std::vector<replay::QuadView> quads_of(const char* file) const;
    // Position in the drawing order of the first quad with this texture; -1 if none.
    int first_index_of(const char* file) const;

private:
    const replay::TextureNames& names_;
};

// Expects `wanted` drawn this frame at (x, y), at this scale and colour.
void expect_text(const Frame& frame, const std::string& wanted, int x, int y, int scale, std::uint32_t color);

// Plays tests/scripts/<name> from a fresh start to its end; `watch` sees every frame.
replay::RunOutcome play_script(const std::string& name, const std::function<void(const Frame&)>& watch,
                               const replay::RunSettings& base = replay::RunSettings{});
