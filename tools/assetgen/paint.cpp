#include "assetgen/paint.h"

#include <cmath>
#include <utility>

namespace assetgen {

namespace {

float length(float x, float y) { return std::sqrt(x * x + y * y); }
float sign(float v) { return v > 0.0f ? 1.0f : (v < 0.0f ? -1.0f : 0.0f); }

float segment_distance(float px, float py, Vec2 a, Vec2 b)
{
    float ex = b.x - a.x, ey = b.y - a.y;
    float wx = px - a.x, wy = py - a.y;
    float ee = ex * ex + ey * ey;
    float t = ee > 0.0f ? std::clamp((wx * ex + wy * ey) / ee, 0.0f, 1.0f) : 0.0f;
    return length(wx - ex * t, wy - ey * t);
}

// One light for everything we draw: from the upper left, slightly in front.
constexpr float kLx = -0.55f, kLy = -0.75f, kLz = 0.9f;

struct Light {
    float lx, ly, lz, hx, hy, hz, flat;
    Light()
    {
        float n = std::sqrt(kLx * kLx + kLy * kLy + kLz * kLz);
        lx = kLx / n;
        ly = kLy / n;
        lz = kLz / n;
        float hn = std::sqrt(lx * lx + ly * ly + (lz + 1.0f) * (lz + 1.0f));
        hx = lx / hn;
        hy = ly / hn;
        hz = (lz + 1.0f) / hn;
        flat = lz;
    }
};

const Light& light_dir()
{
    static const Light l;
    return l;
}

struct PixelRange {
    int x0, y0, x1, y1;
};

PixelRange clip(const Image& img, Bounds b)
{
    PixelRange r{};
    r.x0 = int(std::max(0.0f, std::floor(b.x0)));
    r.y0 = int(std::max(0.0f, std::floor(b.y0)));
    r.x1 = int(std::min(float(img.width()), std::ceil(b.x1)));
    r.y1 = int(std::min(float(img.height()), std::ceil(b.y1)));
    return r;
}

}  // namespace

Sdf circle(float cx, float cy, float r)
{
    return [=](float x, float y) { return length(x - cx, y - cy) - r; };
}

Sdf ellipse(float cx, float cy, float rx, float ry)
{
    return [=](float x, float y) {
        float px = x - cx, py = y - cy;
        float k0 = length(px / rx, py / ry);
        float k1 = length(px / (rx * rx), py / (ry * ry));
        if (k1 < 1e-6f) return -std::min(rx, ry);
        return k0 * (k0 - 1.0f) / k1;
    };
}

Sdf box(float cx, float cy, float hx, float hy, float round, float angle)
{
    float c = std::cos(angle), s = std::sin(angle);
    return [=](float x, float y) {
        float px = x - cx, py = y - cy;
        float rx = c * px + s * py, ry = -s * px + c * py;
        float qx = std::fabs(rx) - (hx - round), qy = std::fabs(ry) - (hy - round);
        return length(std::max(qx, 0.0f), std::max(qy, 0.0f)) + std::min(std::max(qx, qy), 0.0f) - round;
    };
}

Sdf capsule(float ax, float ay, float bx, float by, float r)
{
    Vec2 a{ax, ay}, b{bx, by};
    return [=](float x, float y) { return segment_distance(x, y, a, b) - r; };
}

Sdf taper(float ax, float ay, float bx, float by, float ra, float rb)
{
    // Exact distance to a cone with rounded ends, written out for two dimensions.
    float bax = bx - ax, bay = by - ay;
    float l2 = bax * bax + bay * bay;
    float rr = ra - rb;
    float a2 = l2 - rr * rr;
    float il2 = 1.0f / l2;
    return [=](float x, float y) {
        float pax = x - ax, pay = y - ay;
        float yy = pax * bax + pay * bay;
        float z = yy - l2;
        float xvx = pax * l2 - bax * yy, xvy = pay * l2 - bay * yy;
        float x2 = xvx * xvx + xvy * xvy;
        float y2 = yy * yy * l2;
        float z2 = z * z * l2;
        float k = sign(rr) * rr * rr * x2;
        if (sign(z) * a2 * z2 > k) return std::sqrt(x2 + z2) * il2 - rb;
        if (sign(yy) * a2 * y2 < k) return std::sqrt(x2 + y2) * il2 - ra;
        return (std::sqrt(x2 * a2 * il2) + yy * rr) * il2 - ra;
    };
}

Sdf polygon(std::vector<Vec2> v)
{
    return [v = std::move(v)](float x, float y) {
        size_t n = v.size();
        float d = (x - v[0].x) * (x - v[0].x) + (y - v[0].y) * (y - v[0].y);
        float s = 1.0f;
        for (size_t i = 0, j = n - 1; i < n; j = i, ++i) {
            float ex = v[j].x - v[i].x, ey = v[j].y - v[i].y;
            float wx = x - v[i].x, wy = y - v[i].y;
            float t = std::clamp((wx * ex + wy * ey) / (ex * ex + ey * ey), 0.0f, 1.0f);
            float bx = wx - ex * t, by = wy - ey * t;
            d = std::min(d, bx * bx + by * by);
            bool c1 = y >= v[i].y, c2 = y < v[j].y, c3 = ex * wy > ey * wx;
            if ((c1 && c2 && c3) || (!c1 && !c2 && !c3)) s = -s;
        }
        return s * std::sqrt(d);
    };
}

Sdf polyline(std::vector<Vec2> pts, float r)
{
    return [pts = std::move(pts), r](float x, float y) {
        float d = 1e9f;
        for (size_t i = 0; i + 1 < pts.size(); ++i) d = std::min(d, segment_distance(x, y, pts[i], pts[i + 1]));
        if (pts.size() == 1) d = length(x - pts[0].x, y - pts[0].y);
        return d - r;
    };
}

Sdf unite(Sdf a, Sdf b)
{
    return [a = std::move(a), b = std::move(b)](float x, float y) { return std::min(a(x, y), b(x, y)); };
}

Sdf unite(std::vector<Sdf> parts)
{
    return [parts = std::move(parts)](float x, float y) {
        float d = 1e9f;
        for (const Sdf& p : parts) d = std::min(d, p(x, y));
        return d;
    };
}

Sdf intersect(Sdf a, Sdf b)
{
    return [a = std::move(a), b = std::move(b)](float x, float y) { return std::max(a(x, y), b(x, y)); };
}

Sdf subtract(Sdf a, Sdf cut)
{
    return [a = std::move(a), cut = std::move(cut)](float x, float y) { return std::max(a(x, y), -cut(x, y)); };
}

Sdf blend(Sdf a, Sdf b, float k)
{
    return [a = std::move(a), b = std::move(b), k](float x, float y) {
        float da = a(x, y), db = b(x, y);
        float h = std::clamp(0.5f + 0.5f * (db - da) / k, 0.0f, 1.0f);
        return lerp(db, da, h) - k * h * (1.0f - h);
    };
}

Sdf grow(Sdf a, float r)
{
    return [a = std::move(a), r](float x, float y) { return a(x, y) - r; };
}

Sdf shift(Sdf a, float dx, float dy)
{
    return [a = std::move(a), dx, dy](float x, float y) { return a(x - dx, y - dy); };
}

void paint(Image& img, const Sdf& shape, const Material& m, Bounds bounds)
{
    const Light& L = light_dir();
    PixelRange r = clip(img, bounds);
    const float e = 0.35f;
    for (int py = r.y0; py < r.y1; ++py) {
        for (int px = r.x0; px < r.x1; ++px) {
            float x = float(px) + 0.5f, y = float(py) + 0.5f;
            float d = shape(x, y);
            if (d > 2.0f) continue;
            float gx = shape(x + e, y) - shape(x - e, y);
            float gy = shape(x, y + e) - shape(x, y - e);
            float gl = length(gx, gy);
            float grad = gl / (2.0f * e);
            if (gl > 1e-6f) {
                gx /= gl;
                gy /= gl;
            } else {
                gx = 0.0f;
                gy = -1.0f;
            }
            // Distances from blended or approximate shapes are not unit-speed; rescale for clean edges.
            float dpx = d / std::max(grad, 0.25f);
            float coverage = clamp01(0.5f - dpx);
            if (coverage <= 0.0f) continue;
            float depth = -dpx;

            Rgba base = m.pattern ? m.pattern(x, y) : m.base;
            Rgba col = base;
            if (m.emissive < 1.0f) {
                float t = clamp01(depth / std::max(m.bevel, 0.01f));
                float u = 1.0f - t;
                float slope = std::min(2.5f, u / std::sqrt(std::max(1e-4f, 1.0f - u * u)));
                float nx = gx * slope, ny = gy * slope, nz = 1.0f;
                float nl = length(length(nx, ny), nz);
                nx /= nl;
                ny /= nl;
                nz /= nl;
                float ndl = std::max(0.0f, nx * L.lx + ny * L.ly + nz * L.lz);
                float kd = (1.0f - m.ambient) / L.flat;
                float shade = m.ambient + kd * ndl;
                float highlight = m.shine * std::pow(std::max(0.0f, nx * L.hx + ny * L.hy + nz * L.hz), m.gloss);
                // A cool bounce light on the lower right keeps shadow sides from going dead.
                float rim = 0.22f * (1.0f - nz) * std::max(0.0f, 0.7f * nx + 0.7f * ny);
                Rgba lit{base.r * shade + highlight + rim * 0.55f, base.g * shade + highlight + rim * 0.7f,
                         base.b * shade + highlight + rim * 1.0f, base.a};
                col = mix(lit, base, m.emissive);
            }
            if (m.outline > 0.0f) {
                Rgba ink = m.ink.a > 0.0f ? m.ink : Rgba{base.r * 0.16f, base.g * 0.14f, base.b * 0.2f, 1.0f};
                float f = smoothstep(m.outline - 0.5f, m.outline + 0.5f, depth);
                col = mix(with_alpha(ink, col.a), col, f);
            }
            col.r = clamp01(col.r);
            col.g = clamp01(col.g);
            col.b = clamp01(col.b);
            img.blend(px, py, with_alpha(col, base.a * m.opacity), coverage);
        }
    }
}

void glow(Image& img, const Sdf& shape, Rgba colour, float radius, float strength, Bounds bounds)
{
    PixelRange r = clip(img, bounds);
    for (int py = r.y0; py < r.y1; ++py) {
        for (int px = r.x0; px < r.x1; ++px) {
            float d = shape(float(px) + 0.5f, float(py) + 0.5f);
            if (d >= radius) continue;
            float f = d <= 0.0f ? 1.0f : (1.0f - d / radius);
            img.add(px, py, colour, strength * f * f);
        }
    }
}

void ink_line(Image& img, const Sdf& shape, Rgba colour, float width, Bounds bounds)
{
    PixelRange r = clip(img, bounds);
    for (int py = r.y0; py < r.y1; ++py) {
        for (int px = r.x0; px < r.x1; ++px) {
            float d = std::fabs(shape(float(px) + 0.5f, float(py) + 0.5f));
            float c = clamp01(width * 0.5f + 0.5f - d);
            if (c > 0.0f) img.blend(px, py, colour, c);
        }
    }
}

Material body(Rgba base, float bevel)
{
    return {.base = base, .pattern = {}, .bevel = bevel};
}

Material light(Rgba colour)
{
    return {.base = colour, .pattern = {}, .outline = 0.0f, .emissive = 1.0f};
}

Material glass(Rgba colour)
{
    return {.base = colour, .pattern = {}, .bevel = 4.0f, .ambient = 0.35f, .shine = 0.9f, .gloss = 14.0f};
}

}  // namespace assetgen
