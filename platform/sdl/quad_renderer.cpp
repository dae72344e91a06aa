#include "quad_renderer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "display_window.h"

namespace platform {

namespace {

SDL_Color colour_of(std::uint32_t argb) {
    return SDL_Color{static_cast<Uint8>(argb >> 16), static_cast<Uint8>(argb >> 8), static_cast<Uint8>(argb),
                     static_cast<Uint8>(argb >> 24)};
}

bool same_look(const QuadLook& a, const QuadLook& b) {
    return a.texture == b.texture && a.blend == b.blend && (a.texture == nullptr || a.scale == b.scale);
}

}  // namespace

bool QuadRenderer::open(SDL_Window* window, bool vsync, int width, int height, bool own_back_buffer) {
    close();
    const Uint32 vsync_flag = vsync ? SDL_RENDERER_PRESENTVSYNC : 0;
    renderer_ = SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED | vsync_flag);
    if (renderer_ == nullptr) renderer_ = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE | vsync_flag);
    if (renderer_ == nullptr) renderer_ = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
    if (renderer_ == nullptr) return false;
    SDL_RendererInfo info{};
    SDL_GetRendererInfo(renderer_, &info);
    software_ = info.name != nullptr && std::strcmp(info.name, "software") == 0;
    vsync_ = (info.flags & SDL_RENDERER_PRESENTVSYNC) != 0;
    // The quads are drawn at the picture's own size into a texture of its own, which present
    // then fits to the window. (The offscreen driver's GL surface also keeps the size the
    // window had when the renderer was made, which the device is made before the window gets.)
    back_buffer_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_TARGET, width, height);
    if (back_buffer_ != nullptr && SDL_SetRenderTarget(renderer_, back_buffer_) == 0) {
        SDL_SetTextureBlendMode(back_buffer_, SDL_BLENDMODE_NONE);
        width_ = width;
        height_ = height;
    } else if (own_back_buffer) {
        close();
        return false;
    } else {
        // A renderer without target textures draws straight into the window, scaled to fit it.
        if (back_buffer_ != nullptr) SDL_DestroyTexture(back_buffer_);
        back_buffer_ = nullptr;
        SDL_RenderSetLogicalSize(renderer_, width, height);
    }
    vertices_.resize(BATCH_QUADS * 4);
    indices_.resize(BATCH_QUADS * 6);
    pending_ = vertex_count_ = index_count_ = 0;
    return true;
}

void QuadRenderer::close() {
    scaled_present_.close();
    if (renderer_ != nullptr) SDL_DestroyRenderer(renderer_);  // takes its textures with it
    renderer_ = nullptr;
    back_buffer_ = nullptr;
    software_ = vsync_ = false;
    pending_ = vertex_count_ = index_count_ = 0;
}

void QuadRenderer::stop_vsync() {
    if (renderer_ != nullptr) SDL_RenderSetVSync(renderer_, 0);
    vsync_ = false;
}

void QuadRenderer::draw(const QuadLook& look, const QuadCorners& quad, bool first_triangle, bool second_triangle) {
    if (renderer_ == nullptr || (!first_triangle && !second_triangle)) return;
    if (software_) {
        if (first_triangle && second_triangle && draw_as_copy(look, quad)) return;
        draw_as_geometry(look, quad, first_triangle, second_triangle);
        return;
    }
    if (pending_ > 0 && (!same_look(look, look_) || pending_ == BATCH_QUADS)) flush();
    look_ = look;
    const int base = vertex_count_;
    for (int i = 0; i < 4; ++i) {
        SDL_Vertex& vertex = vertices_[vertex_count_++];
        vertex.position = SDL_FPoint{quad.x[i], quad.y[i]};
        vertex.color = colour_of(quad.colour[i]);
        vertex.tex_coord = SDL_FPoint{quad.u[i], quad.v[i]};
    }
    // The strip's second triangle is (1, 3, 2), keeping the first one's winding.
    if (first_triangle) {
        indices_[index_count_++] = base;
        indices_[index_count_++] = base + 1;
        indices_[index_count_++] = base + 2;
    }
    if (second_triangle) {
        indices_[index_count_++] = base + 1;
        indices_[index_count_++] = base + 3;
        indices_[index_count_++] = base + 2;
    }
    ++pending_;
}

void QuadRenderer::flush() {
    if (pending_ == 0 || renderer_ == nullptr) return;
    if (look_.texture != nullptr) {
        SDL_SetTextureBlendMode(look_.texture, look_.blend);
        SDL_SetTextureScaleMode(look_.texture, look_.scale);
    } else {
        SDL_SetRenderDrawBlendMode(renderer_, look_.blend);
    }
    SDL_RenderGeometry(renderer_, look_.texture, vertices_.data(), vertex_count_, indices_.data(), index_count_);
    pending_ = vertex_count_ = index_count_ = 0;
}

bool QuadRenderer::draw_as_copy(const QuadLook& look, const QuadCorners& quad) {
    const bool screen_aligned = quad.y[0] == quad.y[1] && quad.y[2] == quad.y[3] && quad.x[0] == quad.x[2] &&
                                quad.x[1] == quad.x[3];
    const bool texture_aligned = quad.u[0] == quad.u[2] && quad.u[1] == quad.u[3] && quad.v[0] == quad.v[1] &&
                                 quad.v[2] == quad.v[3];
    const bool one_colour =
        quad.colour[0] == quad.colour[1] && quad.colour[0] == quad.colour[2] && quad.colour[0] == quad.colour[3];
    if (!screen_aligned || !texture_aligned || !one_colour) return false;

    const SDL_FRect destination{std::min(quad.x[0], quad.x[1]), std::min(quad.y[0], quad.y[2]),
                                std::fabs(quad.x[1] - quad.x[0]), std::fabs(quad.y[2] - quad.y[0])};
    if (destination.w == 0.0f || destination.h == 0.0f) return true;  // covers no pixel
    const SDL_Color colour = colour_of(quad.colour[0]);

    if (look.texture == nullptr) {
        SDL_SetRenderDrawBlendMode(renderer_, look.blend);
        SDL_SetRenderDrawColor(renderer_, colour.r, colour.g, colour.b, colour.a);
        SDL_RenderFillRectF(renderer_, &destination);
        return true;
    }

    const float u_min = std::min(quad.u[0], quad.u[1]), u_max = std::max(quad.u[0], quad.u[1]);
    const float v_min = std::min(quad.v[0], quad.v[2]), v_max = std::max(quad.v[0], quad.v[2]);
    if (u_min < 0.0f || v_min < 0.0f || u_max > 1.0f || v_max > 1.0f) return false;  // a copy cannot repeat
    int texture_width = 0, texture_height = 0;
    SDL_QueryTexture(look.texture, nullptr, nullptr, &texture_width, &texture_height);
    SDL_Rect source;
    source.x = static_cast<int>(std::lround(u_min * texture_width));
    source.y = static_cast<int>(std::lround(v_min * texture_height));
    source.w = std::max(1, static_cast<int>(std::lround(u_max * texture_width)) - source.x);
    source.h = std::max(1, static_cast<int>(std::lround(v_max * texture_height)) - source.y);
    source.x = std::min(source.x, texture_width - source.w);
    source.y = std::min(source.y, texture_height - source.h);

    // The quad is mirrored where the texture coordinates run against the screen axes.
    const float u_at_left = quad.x[0] <= quad.x[1] ? quad.u[0] : quad.u[1];
    const float v_at_top = quad.y[0] <= quad.y[2] ? quad.v[0] : quad.v[2];
    int flip = SDL_FLIP_NONE;
    if (u_at_left > u_min) flip |= SDL_FLIP_HORIZONTAL;
    if (v_at_top > v_min) flip |= SDL_FLIP_VERTICAL;

    SDL_SetTextureBlendMode(look.texture, look.blend);
    SDL_SetTextureScaleMode(look.texture, look.scale);
    SDL_SetTextureColorMod(look.texture, colour.r, colour.g, colour.b);
    SDL_SetTextureAlphaMod(look.texture, colour.a);
    SDL_RenderCopyExF(renderer_, look.texture, &source, &destination, 0.0, nullptr,
                      static_cast<SDL_RendererFlip>(flip));
    return true;
}

void QuadRenderer::draw_as_geometry(const QuadLook& look, const QuadCorners& quad, bool first, bool second) {
    SDL_Vertex corners[4];
    for (int i = 0; i < 4; ++i) {
        corners[i].position = SDL_FPoint{quad.x[i], quad.y[i]};
        corners[i].color = colour_of(quad.colour[i]);
        corners[i].tex_coord = SDL_FPoint{quad.u[i], quad.v[i]};
    }
    const int both[6] = {0, 1, 2, 1, 3, 2};
    const int* indices = first ? both : both + 3;
    const int count = first && second ? 6 : 3;
    if (look.texture != nullptr) {
        SDL_SetTextureBlendMode(look.texture, look.blend);
        SDL_SetTextureScaleMode(look.texture, look.scale);
        SDL_SetTextureColorMod(look.texture, 255, 255, 255);
        SDL_SetTextureAlphaMod(look.texture, 255);
    } else {
        SDL_SetRenderDrawBlendMode(renderer_, look.blend);
    }
    SDL_RenderGeometry(renderer_, look.texture, corners, 4, indices, count);
}

void QuadRenderer::clear(std::uint32_t argb) {
    if (renderer_ == nullptr) return;
    flush();
    const SDL_Color colour = colour_of(argb);
    SDL_SetRenderDrawColor(renderer_, colour.r, colour.g, colour.b, colour.a);
    SDL_RenderClear(renderer_);
}

void QuadRenderer::fill(const SDL_Rect& rect, std::uint32_t argb) {
    if (renderer_ == nullptr) return;
    flush();
    const SDL_Color colour = colour_of(argb);
    SDL_SetRenderDrawBlendMode(renderer_, SDL_BLENDMODE_NONE);
    SDL_SetRenderDrawColor(renderer_, colour.r, colour.g, colour.b, colour.a);
    SDL_RenderFillRect(renderer_, &rect);
}

bool QuadRenderer::read(std::uint32_t* pixels, int width, int height) {
    if (renderer_ == nullptr) return false;
    flush();
    const SDL_Rect whole{0, 0, width, height};
    return SDL_RenderReadPixels(renderer_, &whole, SDL_PIXELFORMAT_ARGB8888, pixels, width * 4) == 0;
}

void QuadRenderer::present() {
    if (renderer_ == nullptr) return;
    flush();
    if (back_buffer_ != nullptr) {
        scaled_present_.show(renderer_, back_buffer_, width_, height_, non_whole_filter());
        SDL_RenderPresent(renderer_);
        SDL_SetRenderTarget(renderer_, back_buffer_);
        return;
    }
    SDL_RenderPresent(renderer_);
}

}  // namespace platform
