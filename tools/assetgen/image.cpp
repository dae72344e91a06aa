#include "assetgen/image.h"

namespace assetgen {

Rgba ramp(const std::vector<Rgba>& stops, float t)
{
    if (stops.empty()) return {};
    if (stops.size() == 1) return stops[0];
    float f = clamp01(t) * float(stops.size() - 1);
    size_t i = std::min(size_t(f), stops.size() - 2);
    return mix(stops[i], stops[i + 1], f - float(i));
}

void Image::blend(int x, int y, Rgba src, float coverage)
{
    if (!inside(x, y)) return;
    float sa = clamp01(src.a * coverage);
    if (sa <= 0.0f) return;
    Rgba& d = at(x, y);
    float oa = sa + d.a * (1.0f - sa);
    if (oa <= 0.0f) {
        d = {};
        return;
    }
    float k = d.a * (1.0f - sa);
    d.r = (src.r * sa + d.r * k) / oa;
    d.g = (src.g * sa + d.g * k) / oa;
    d.b = (src.b * sa + d.b * k) / oa;
    d.a = oa;
}

void Image::add(int x, int y, Rgba light, float amount)
{
    if (!inside(x, y) || amount <= 0.0f) return;
    Rgba& d = at(x, y);
    // Work premultiplied so that light added over transparency keeps its hue.
    float pr = d.r * d.a + light.r * amount;
    float pg = d.g * d.a + light.g * amount;
    float pb = d.b * d.a + light.b * amount;
    float na = clamp01(std::max({d.a + amount * light.a, pr, pg, pb}));
    if (na <= 0.0f) return;
    d.r = clamp01(pr / na);
    d.g = clamp01(pg / na);
    d.b = clamp01(pb / na);
    d.a = na;
}

void Image::draw(const Image& src, int x, int y, int scale)
{
    for (int sy = 0; sy < src.height() * scale; ++sy)
        for (int sx = 0; sx < src.width() * scale; ++sx) blend(x + sx, y + sy, src.at(sx / scale, sy / scale));
}

Image Image::resized(int w, int h) const
{
    Image out(w, h);
    if (w_ == 0 || h_ == 0) return out;
    for (int y = 0; y < h; ++y) {
        float fy = std::clamp((float(y) + 0.5f) * float(h_) / float(h) - 0.5f, 0.0f, float(h_ - 1));
        int y0 = int(fy), y1 = std::min(y0 + 1, h_ - 1);
        float ty = fy - float(y0);
        for (int x = 0; x < w; ++x) {
            float fx = std::clamp((float(x) + 0.5f) * float(w_) / float(w) - 0.5f, 0.0f, float(w_ - 1));
            int x0 = int(fx), x1 = std::min(x0 + 1, w_ - 1);
            float tx = fx - float(x0);
            // Interpolate premultiplied so transparent texels do not bleed their colour.
            Rgba acc{};
            auto take = [&](const Rgba& c, float wgt) {
                acc.r += c.r * c.a * wgt;
                acc.g += c.g * c.a * wgt;
                acc.b += c.b * c.a * wgt;
                acc.a += c.a * wgt;
            };
            take(at(x0, y0), (1 - tx) * (1 - ty));
            take(at(x1, y0), tx * (1 - ty));
            take(at(x0, y1), (1 - tx) * ty);
            take(at(x1, y1), tx * ty);
            if (acc.a > 0.0f) acc = {acc.r / acc.a, acc.g / acc.a, acc.b / acc.a, acc.a};
            out.at(x, y) = acc;
        }
    }
    return out;
}

std::vector<uint8_t> Image::rgba8() const
{
    std::vector<uint8_t> out(px_.size() * 4);
    auto q = [](float v) { return uint8_t(std::lround(clamp01(v) * 255.0f)); };
    for (size_t i = 0; i < px_.size(); ++i) {
        const Rgba& p = px_[i];
        uint8_t a = q(p.a);
        // Fully transparent texels carry no colour; zero them so the files compress and compare cleanly.
        if (a == 0) continue;
        out[i * 4 + 0] = q(p.r);
        out[i * 4 + 1] = q(p.g);
        out[i * 4 + 2] = q(p.b);
        out[i * 4 + 3] = a;
    }
    return out;
}

}  // namespace assetgen
