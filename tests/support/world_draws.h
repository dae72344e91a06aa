// Reading back the quads that the game-world modules draw, for their tests.
#pragma once

#include <gtest/gtest.h>

#include <headless.h>

#include <cstdint>
#include <ostream>
#include <vector>

#include "gfx/sprite.h"

namespace world_draws {

using Quad = headless::QuadRecord;

// The quads that one call draws, in drawing order.
template <typename Action>
std::vector<Quad> drawn_by(Action&& action) {
    const int before = headless::current_draws().count;
    action();
    const headless::DrawLog log = headless::current_draws();
    EXPECT_EQ(log.dropped, 0) << "the draw log overflowed; the test draws too much";
    return std::vector<Quad>(log.quads + before, log.quads + log.count);
}

// A quad's top-left corner, to be checked in one expectation.
struct Corner {
    float x;
    float y;
    bool operator==(const Corner&) const = default;
};
inline Corner corner(const Quad& q) { return Corner{q.x[0], q.y[0]}; }
inline void PrintTo(const Corner& c, std::ostream* out) { *out << "(" << c.x << ", " << c.y << ")"; }

inline float left(const Quad& q) { return q.x[0]; }
inline float top(const Quad& q) { return q.y[0]; }
inline float width(const Quad& q) { return q.x[1] - q.x[0]; }  // negative when mirrored
inline float height(const Quad& q) { return q.y[2] - q.y[0]; }
inline std::uint32_t alpha(const Quad& q) { return q.color >> 24; }

inline bool uses(const Quad& q, const IDirect3DTexture9* texture) {
    return texture != nullptr && q.texture == static_cast<const IDirect3DBaseTexture9*>(texture);
}
inline bool uses(const Quad& q, const Sprite& sprite) { return uses(q, sprite.texture); }

inline int count_using(const std::vector<Quad>& quads, const Sprite& sprite) {
    int n = 0;
    for (const Quad& q : quads) n += uses(q, sprite) ? 1 : 0;
    return n;
}

// Two runs of quads are the same picture: same textures, corners, texture coordinates and colours.
inline void expect_same_quads(const std::vector<Quad>& actual, const std::vector<Quad>& expected) {
    ASSERT_FALSE(expected.empty()) << "the reference drew nothing (is the asset there?)";
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i) {
        EXPECT_EQ(actual[i].texture, expected[i].texture) << "quad " << i;
        EXPECT_EQ(actual[i].color, expected[i].color) << "quad " << i;
        for (int v = 0; v < 4; ++v) {
            EXPECT_EQ(actual[i].x[v], expected[i].x[v]) << "quad " << i << " vertex " << v;
            EXPECT_EQ(actual[i].y[v], expected[i].y[v]) << "quad " << i << " vertex " << v;
            EXPECT_EQ(actual[i].u[v], expected[i].u[v]) << "quad " << i << " vertex " << v;
            EXPECT_EQ(actual[i].v[v], expected[i].v[v]) << "quad " << i << " vertex " << v;
        }
    }
}

}  // namespace world_draws
