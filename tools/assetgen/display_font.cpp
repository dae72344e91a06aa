#include "assetgen/display_font.h"

#include <vector>

namespace assetgen {

namespace {

// Letters on a grid 7 units tall; each is one or more strokes through grid points.
struct StrokeLetter {
    char code;
    float width;
    std::vector<std::vector<Vec2>> strokes;
};

const std::vector<StrokeLetter>& letters()
{
    using S = std::vector<Vec2>;
    static const std::vector<StrokeLetter> table = {
        {'A', 5, {S{{0, 7}, {2.5f, 0}, {5, 7}}, S{{1, 4.6f}, {4, 4.6f}}}},
        {'B', 5, {S{{0, 0}, {0, 7}, {3.8f, 7}, {5, 5.8f}, {5, 4.6f}, {3.8f, 3.5f}, {0, 3.5f}},
                  S{{0, 0}, {3.5f, 0}, {4.6f, 1.1f}, {4.6f, 2.4f}, {3.5f, 3.5f}}}},
        {'C', 5, {S{{5, 1}, {4, 0}, {1, 0}, {0, 1}, {0, 6}, {1, 7}, {4, 7}, {5, 6}}}},
        {'D', 5, {S{{0, 0}, {0, 7}, {3.5f, 7}, {5, 5.5f}, {5, 1.5f}, {3.5f, 0}, {0, 0}}}},
        {'E', 4.6f, {S{{4.6f, 0}, {0, 0}, {0, 7}, {4.6f, 7}}, S{{0, 3.5f}, {3.6f, 3.5f}}}},
        {'F', 4.6f, {S{{4.6f, 0}, {0, 0}, {0, 7}}, S{{0, 3.5f}, {3.6f, 3.5f}}}},
        {'G', 5, {S{{5, 1}, {4, 0}, {1, 0}, {0, 1}, {0, 6}, {1, 7}, {4, 7}, {5, 6}, {5, 4}, {3, 4}}}},
        {'H', 5, {S{{0, 0}, {0, 7}}, S{{5, 0}, {5, 7}}, S{{0, 3.5f}, {5, 3.5f}}}},
        {'I', 0, {S{{0, 0}, {0, 7}}}},
        {'J', 4, {S{{4, 0}, {4, 6}, {3, 7}, {1, 7}, {0, 6}}}},
        {'K', 5, {S{{0, 0}, {0, 7}}, S{{5, 0}, {0.2f, 4}}, S{{1.8f, 2.8f}, {5, 7}}}},
        {'L', 4.5f, {S{{0, 0}, {0, 7}, {4.5f, 7}}}},
        {'M', 6, {S{{0, 7}, {0, 0}, {3, 4}, {6, 0}, {6, 7}}}},
        {'N', 5, {S{{0, 7}, {0, 0}, {5, 7}, {5, 0}}}},
        {'O', 5, {S{{1, 0}, {4, 0}, {5, 1}, {5, 6}, {4, 7}, {1, 7}, {0, 6}, {0, 1}, {1, 0}}}},
        {'P', 5, {S{{0, 7}, {0, 0}, {4, 0}, {5, 1}, {5, 2.6f}, {4, 3.6f}, {0, 3.6f}}}},
        {'Q', 5, {S{{1, 0}, {4, 0}, {5, 1}, {5, 6}, {4, 7}, {1, 7}, {0, 6}, {0, 1}, {1, 0}}, S{{3.2f, 5.2f}, {5.2f, 7.4f}}}},
        {'R', 5, {S{{0, 7}, {0, 0}, {4, 0}, {5, 1}, {5, 2.6f}, {4, 3.6f}, {0, 3.6f}}, S{{2.5f, 3.6f}, {5, 7}}}},
        {'S', 5, {S{{5, 1}, {4, 0}, {1, 0}, {0, 1}, {0, 2.6f}, {1, 3.5f}, {4, 3.5f}, {5, 4.4f}, {5, 6}, {4, 7}, {1, 7}, {0, 6}}}},
        {'T', 5, {S{{0, 0}, {5, 0}}, S{{2.5f, 0}, {2.5f, 7}}}},
        {'U', 5, {S{{0, 0}, {0, 6}, {1, 7}, {4, 7}, {5, 6}, {5, 0}}}},
        {'V', 5, {S{{0, 0}, {2.5f, 7}, {5, 0}}}},
        {'W', 6.4f, {S{{0, 0}, {1.4f, 7}, {3.2f, 2.5f}, {5, 7}, {6.4f, 0}}}},
        {'X', 5, {S{{0, 0}, {5, 7}}, S{{5, 0}, {0, 7}}}},
        {'Y', 5, {S{{0, 0}, {2.5f, 3.5f}, {5, 0}}, S{{2.5f, 3.5f}, {2.5f, 7}}}},
        {'Z', 5, {S{{0, 0}, {5, 0}, {0, 7}, {5, 7}}}},
        {' ', 2.5f, {}},
    };
    return table;
}

constexpr float kGridHeight = 7.0f;
constexpr float kStroke = 0.55f;  // stroke half-width in grid units
constexpr float kGap = 1.8f;      // space between letters in grid units
constexpr float kSlant = 0.16f;   // forward lean: units of x per unit of height

}  // namespace

DisplayText display_text(std::string_view text, float x, float y, float cap_height)
{
    const float unit = cap_height / kGridHeight;
    std::vector<Sdf> strokes;
    float pen = 0.0f;  // in grid units
    bool first = true;
    for (char ch : text) {
        const StrokeLetter* letter = nullptr;
        for (const StrokeLetter& l : letters())
            if (l.code == ch) letter = &l;
        if (!letter) continue;
        if (!first) pen += kGap;
        first = false;
        for (const auto& stroke : letter->strokes) {
            std::vector<Vec2> pts;
            for (Vec2 p : stroke)
                pts.push_back({x + (kStroke + pen + p.x + (kGridHeight - p.y) * kSlant) * unit, y + (kStroke + p.y) * unit});
            strokes.push_back(polyline(pts, kStroke * unit));
        }
        pen += letter->width;
    }
    DisplayText out;
    out.width = (pen + 2.0f * kStroke + kGridHeight * kSlant) * unit;
    out.shape = unite(std::move(strokes));
    return out;
}

}  // namespace assetgen
