// Puts the device's quads on screen through an SDL renderer: batched SDL_RenderGeometry
// calls on the accelerated renderers, and on SDL's software renderer the forms it draws
// correctly (its triangle rasteriser shifts texels and mishandles untextured additive
// triangles): copies and filled rectangles for screen-aligned quads.
#pragma once

#include <cstdint>
#include <vector>

#include <SDL2/SDL.h>

#include "compositor/compositor.h"  // QuadCorners
#include "scaled_present.h"

namespace platform {

struct QuadLook {
    SDL_Texture* texture;  // null: the vertex colour alone
    SDL_BlendMode blend;
    SDL_ScaleMode scale;
};

class QuadRenderer {
public:
    // Makes a renderer for the window, accelerated where possible. False when there is none.
    // The picture is drawn into a texture of its own size and fitted to the window at present.
    // Without `own_back_buffer` a renderer that cannot draw into textures draws straight into
    // the window instead; with it, that renderer is refused.
    bool open(SDL_Window* window, bool vsync, int width, int height, bool own_back_buffer);
    void close();

    SDL_Renderer* renderer() const { return renderer_; }
    bool software() const { return software_; }
    bool vsync() const { return vsync_; }
    void stop_vsync();

    // Queues a quad; the two flags say which triangles of the strip survived culling.
    void draw(const QuadLook& look, const QuadCorners& quad, bool first_triangle, bool second_triangle);
    void flush();
    bool holds(const SDL_Texture* texture) const { return pending_ > 0 && look_.texture == texture; }

    void clear(std::uint32_t argb);
    void fill(const SDL_Rect& rect, std::uint32_t argb);
    // The picture as it stands (before presenting), as 0xAARRGGBB rows.
    bool read(std::uint32_t* pixels, int width, int height);
    void present();

private:
    bool draw_as_copy(const QuadLook& look, const QuadCorners& quad);
    void draw_as_geometry(const QuadLook& look, const QuadCorners& quad, bool first, bool second);

    static constexpr int BATCH_QUADS = 4096;

    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* back_buffer_ = nullptr;
    int width_ = 0, height_ = 0;
    ScaledPresent scaled_present_;
    bool software_ = false;
    bool vsync_ = false;
    QuadLook look_{};
    int pending_ = 0;  // quads in the batch
    int vertex_count_ = 0;
    int index_count_ = 0;
    std::vector<SDL_Vertex> vertices_;
    std::vector<int> indices_;
};

}  // namespace platform
