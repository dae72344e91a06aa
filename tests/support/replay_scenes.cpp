#include "support/replay_scenes.h"

#include <gtest/gtest.h>

#include <headless.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "world/world.h"

namespace {

// The character whose glyph starts at this texture column of the font strip.
char glyph_at(float u0) {
    const long column = std::lround(u0 * static_cast<float>(world.font.strip_width));
    for (int c = 32; c < 128; ++c) {
        if (world.font.glyph_start[c] == column) return static_cast<char>(c);
    }
    return '?';
}

}  // namespace

bool load_tracked_script(const std::string& name, replay::Script& script) {
    // Beside the test data directory, which need not exist.
    const std::filesystem::path path = std::filesystem::path(ZORVALEN_TEST_DATA_DIR).parent_path() / "scripts" / name;
    std::error_code failure;
    std::filesystem::current_path(ZORVALEN_ASSET_DIR, failure);
    EXPECT_FALSE(failure) << "no asset directory " << ZORVALEN_ASSET_DIR;
    std::string error;
    if (!replay::load_script_file(path.string(), script, error)) {
        ADD_FAILURE() << error;
        return false;
    }
    return true;
}

std::vector<replay::QuadView> Frame::draws() const {
    const headless::DrawLog log = headless::presented_draws();
    EXPECT_EQ(log.dropped, 0) << "frame " << index;
    std::vector<replay::QuadView> views;
    views.reserve(static_cast<std::size_t>(log.count));
    for (int i = 0; i < log.count; ++i) views.push_back(replay::view_of(log.quads[i], names_));
    return views;
}

std::vector<TextRun> Frame::texts() const {
    std::vector<TextRun> runs;
    float next_x = 0;
    bool previous_was_glyph = false;
    const int cell_height = world.font.strip_height + 1;
    for (const replay::QuadView& q : draws()) {
        const bool glyph = q.tex != nullptr && std::strcmp(q.tex, "font.raw") == 0;
        if (glyph) {
            const int scale = static_cast<int>(q.h) / cell_height;
            TextRun* run = runs.empty() ? nullptr : &runs.back();
            if (run == nullptr || !previous_was_glyph || run->y != static_cast<int>(q.y) || run->color != q.color ||
                run->scale != scale || q.x != next_x) {
                runs.push_back(TextRun{static_cast<int>(q.x), static_cast<int>(q.y), scale, q.color, ""});
                run = &runs.back();
            }
            run->text.push_back(glyph_at(q.u0));
            // The pen moves by the glyph's width plus the spacing; the quad is one column wider.
            next_x = q.x + q.w + static_cast<float>(scale * (world.font.spacing - 1));
        }
        previous_was_glyph = glyph;
    }
    return runs;
}

std::optional<TextRun> Frame::text(const std::string& wanted) const {
    for (const TextRun& run : texts()) {
        if (run.text == wanted) return run;
    }
    return std::nullopt;
}

std::vector<replay::QuadView> Frame::quads_of(const char* file) const {
    std::vector<replay::QuadView> found;
    for (const replay::QuadView& q : draws()) {
        if (q.tex != nullptr && std::strcmp(q.tex, file) == 0) found.push_back(q);
    }
    return found;
}

int Frame::first_index_of(const char* file) const {
    const std::vector<replay::QuadView> all = draws();
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (all[i].tex != nullptr && std::strcmp(all[i].tex, file) == 0) return static_cast<int>(i);
    }
    return -1;
}

void expect_text(const Frame& frame, const std::string& wanted, int x, int y, int scale, std::uint32_t color) {
    const std::optional<TextRun> run = frame.text(wanted);
    ASSERT_TRUE(run.has_value()) << "no \"" << wanted << "\"";
    EXPECT_EQ(run->x, x) << wanted;
    EXPECT_EQ(run->y, y) << wanted;
    EXPECT_EQ(run->scale, scale) << wanted;
    EXPECT_EQ(run->color, color) << wanted;
}

replay::RunOutcome play_script(const std::string& name, const std::function<void(const Frame&)>& watch,
                               const replay::RunSettings& base) {
    replay::Script script;
    if (!load_tracked_script(name, script)) return {};
    replay::TextureNames names;
    bool named = false;
    replay::RunSettings settings = base;
    settings.record_draws = true;
    settings.after_frame = [&](const replay::FrameReport& report) {
        if (!named) names.learn_from_world();  // textures are loaded once, at start-up
        named = true;
        watch(Frame(report.frame, report.last, names));
    };
    const replay::RunOutcome outcome = replay::play(script, settings);
    EXPECT_TRUE(outcome.started) << "the game did not start";
    EXPECT_EQ(outcome.frames, script.frame_count()) << name << " did not play to its end";
    return outcome;
}
