// Any quad that is not a screen-aligned rectangle, as its two triangles: edge functions at the
// pixel centres with the top-left rule, and every pixel through the full stage and blend.
#include <algorithm>
#include <cmath>
#include <utility>

#include "compositor.h"
#include "texture_stage.h"

namespace platform {

using namespace compositing;

namespace {

// A triangle in one winding, with its edges: edge e runs from vertex e to vertex e + 1, and a
// pixel on it is inside only on a top or left edge.
struct Triangle {
    double x[3], y[3];
    int vertex[3];
    double area;
    double edge_dx[3], edge_dy[3];
    bool inclusive[3];
};

// False when the triangle has no area or a corner is not a number.
bool set_up_triangle(const QuadCorners& quad, int a, int b, int c, Triangle& t) {
    const int corners[3] = {a, b, c};
    for (int i = 0; i < 3; ++i) {
        t.x[i] = quad.x[corners[i]];
        t.y[i] = quad.y[corners[i]];
        t.vertex[i] = corners[i];
        if (!std::isfinite(t.x[i]) || !std::isfinite(t.y[i])) return false;
    }
    t.area = (t.x[1] - t.x[0]) * (t.y[2] - t.y[0]) - (t.y[1] - t.y[0]) * (t.x[2] - t.x[0]);
    if (t.area == 0.0) return false;
    if (t.area < 0.0) {  // one winding for the edge tests; culling was decided before
        std::swap(t.x[1], t.x[2]);
        std::swap(t.y[1], t.y[2]);
        std::swap(t.vertex[1], t.vertex[2]);
        t.area = -t.area;
    }
    for (int e = 0; e < 3; ++e) {
        const int n = (e + 1) % 3;
        t.edge_dx[e] = t.x[n] - t.x[e];
        t.edge_dy[e] = t.y[n] - t.y[e];
        t.inclusive[e] = (t.edge_dy[e] == 0.0 && t.edge_dx[e] > 0.0) || t.edge_dy[e] < 0.0;
    }
    return true;
}

// Whether the pixel centre is inside; if so, `weight` holds each vertex's unnormalised weight.
inline bool inside(const Triangle& t, int px, int py, double weight[3]) {
    bool in = true;
    for (int e = 0; e < 3 && in; ++e) {
        const double f = t.edge_dx[e] * (py - t.y[e]) - t.edge_dy[e] * (px - t.x[e]);
        in = f > 0.0 || (f == 0.0 && t.inclusive[e]);
        weight[(e + 2) % 3] = f;  // the edge opposite a vertex weighs that vertex
    }
    return in;
}

// The texture coordinates and the diffuse colour at a pixel, from its weights.
inline std::uint32_t interpolate(const Triangle& t, const QuadCorners& quad, const double weight[3], double& u,
                                 double& v) {
    double colour[4] = {0, 0, 0, 0};
    u = 0.0;
    v = 0.0;
    for (int i = 0; i < 3; ++i) {
        const double w = weight[i] / t.area;
        u += w * quad.u[t.vertex[i]];
        v += w * quad.v[t.vertex[i]];
        for (int ch = 0; ch < 4; ++ch) colour[ch] += w * channel(quad.colour[t.vertex[i]], ch);
    }
    std::uint32_t diffuse = 0;
    for (int ch = 0; ch < 4; ++ch)
        diffuse |= static_cast<std::uint32_t>(std::clamp(std::floor(colour[ch] + 0.5), 0.0, 255.0)) << (8 * ch);
    return diffuse;
}

// The texel at (u, v), opaque white without a texture.
inline std::uint32_t sample(const TextureView* texture, const DrawStates& states, double u, double v) {
    if (texture == nullptr) return 0xFFFFFFFFu;
    const int tx = texel_index(u, texture->width, states.address_u);
    const int ty = texel_index(v, texture->height, states.address_v);
    return texture->pixels[static_cast<std::size_t>(ty) * texture->pitch + tx] | (texture->alpha ? 0u : 0xFF000000u);
}

}  // namespace

// Any other triangle: edge functions at the pixel centres with the top-left rule, the texture
// coordinates and the diffuse colour interpolated across it, every pixel through the full
// stage and blend.
void Compositor::draw_triangle(const QuadCorners& quad, const DrawStates& states, int a, int b, int c) {
    Triangle t;
    if (!set_up_triangle(quad, a, b, c, t)) return;
    const int left = first_pixel_at(std::min({t.x[0], t.x[1], t.x[2]}), width_);
    const int right = static_cast<int>(std::clamp(std::floor(std::max({t.x[0], t.x[1], t.x[2]})) + 1.0, 0.0,
                                                  static_cast<double>(width_)));
    const int top = first_pixel_at(std::min({t.y[0], t.y[1], t.y[2]}), height_);
    const int bottom = static_cast<int>(std::clamp(std::floor(std::max({t.y[0], t.y[1], t.y[2]})) + 1.0, 0.0,
                                                   static_cast<double>(height_)));
    if (left >= right || top >= bottom) return;
    flush();
    settle();
    painted_ = true;

    const BlendOp op = blend_op(states);
    const TextureView* texture = usable(states.texture);
    for (int py = top; py < bottom; ++py) {
        std::uint32_t* out = row(py);
        for (int px = left; px < right; ++px) {
            double weight[3];
            if (!inside(t, px, py, weight)) continue;
            double u, v;
            const std::uint32_t diffuse = interpolate(t, quad, weight, u, v);
            out[px] = blend(op, states, combine(states, sample(texture, states, u, v), diffuse), out[px]);
        }
    }
}

}  // namespace platform
