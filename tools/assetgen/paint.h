// Shapes as signed distance fields, and the painter that gives every sprite, structure and title letter
// the same look: a rounded, top-left lit body with a dark inked rim.
#pragma once

#include <functional>
#include <vector>

#include "assetgen/image.h"

namespace assetgen {

// Signed distance in pixels from a point to a shape's edge: negative inside, positive outside.
using Sdf = std::function<float(float x, float y)>;

struct Vec2 {
    float x = 0, y = 0;
};

// Primitives. Coordinates are pixels of the target image, y downwards.
Sdf circle(float cx, float cy, float r);
Sdf ellipse(float cx, float cy, float rx, float ry);
Sdf box(float cx, float cy, float hx, float hy, float round = 0.0f, float angle = 0.0f);
Sdf capsule(float ax, float ay, float bx, float by, float r);
// A capsule whose radius changes from ra at a to rb at b (limbs, horns, tentacles).
Sdf taper(float ax, float ay, float bx, float by, float ra, float rb);
Sdf polygon(std::vector<Vec2> pts);
// A chain of capsules through the points (strokes of letters, cables).
Sdf polyline(std::vector<Vec2> pts, float r);

// Combinations.
Sdf unite(Sdf a, Sdf b);
Sdf unite(std::vector<Sdf> parts);
Sdf intersect(Sdf a, Sdf b);
Sdf subtract(Sdf a, Sdf cut);
Sdf blend(Sdf a, Sdf b, float k);  // union with a soft fillet of about k pixels
Sdf grow(Sdf a, float r);          // positive r fattens, negative thins
Sdf shift(Sdf a, float dx, float dy);

struct Bounds {
    float x0 = -1e9f, y0 = -1e9f, x1 = 1e9f, y1 = 1e9f;
};

struct Material {
    Rgba base;
    // Optional per-point base colour (gradients, fur, panel lines); overrides base when set.
    std::function<Rgba(float x, float y)> pattern;
    float bevel = 5.0f;    // pixels over which the body curves up from its rim
    float ambient = 0.42f;
    float shine = 0.30f;   // specular highlight strength
    float gloss = 20.0f;   // specular exponent
    float outline = 1.0f;  // width of the inked rim in pixels; 0 for none
    Rgba ink = {};         // rim colour; when its alpha is 0 a dark shade of the base is used
    float emissive = 0.0f; // 1 paints the colour unlit (lights, eyes, flames)
    float opacity = 1.0f;
};

void paint(Image& img, const Sdf& shape, const Material& m, Bounds bounds = {});

// Soft light around (and inside) a shape, added rather than painted over.
void glow(Image& img, const Sdf& shape, Rgba colour, float radius, float strength, Bounds bounds = {});

// Dark ink line along a shape's edge without filling it (seams, panel lines, mouths).
void ink_line(Image& img, const Sdf& shape, Rgba colour, float width, Bounds bounds = {});

// Convenient materials in the house style.
Material body(Rgba base, float bevel = 5.0f);
Material light(Rgba colour);
Material glass(Rgba colour);

}  // namespace assetgen
