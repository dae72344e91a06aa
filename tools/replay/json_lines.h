// The runner's two outputs, one JSON object per frame and line: the world state, and every quad drawn.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <headless.h>

namespace replay {

// The layer keeps no file names, so textures are named after the World's sprite that holds them.
class TextureNames {
public:
    // Reads every loaded sprite and the font from the World; call once the game has started.
    void learn_from_world();
    // The file a texture was loaded from; nullptr for no texture, "?" for one the World does not hold.
    const char* name_of(const IDirect3DBaseTexture9* texture) const;

private:
    void add(const void* texture, std::string name);
    std::vector<std::pair<const void*, std::string>> names_;
};

// "off", "alpha", "add" or "other", from the blend states a quad was drawn with.
const char* blend_name(const headless::QuadRecord& quad);

// One quad as the draw line reports it: top-left corner and signed size from the vertices.
struct QuadView {
    const char* tex;
    float x, y, w, h;
    std::uint32_t color;
    float u0, v0, u1, v1;
    const char* blend;
    bool culled;
};
QuadView view_of(const headless::QuadRecord& quad, const TextureNames& names);

// Appends one line (with its newline) describing the World as it stands after frame `frame`.
void append_state_line(std::string& out, int64_t frame);
// Appends one line (with its newline) listing the quads of `draws`, drawn in frame `frame`.
void append_draws_line(std::string& out, int64_t frame, const headless::DrawLog& draws, const TextureNames& names);

}  // namespace replay
