// The floor: the least a program can spend to show a ready 800 x 600 ARGB picture at 60 frames a
// second on this display. It writes the picture into the window's own surface (no GL), or with
// "texture" uploads it as a streaming texture through SDL's renderer, and sleeps to absolute
// deadlines between frames. The benchmark script runs it beside the game.
#include <SDL2/SDL.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include <time.h>

int main(int argc, char** argv) {
    const bool texture_path = argc > 1 && std::strcmp(argv[1], "texture") == 0;
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return 1;
    SDL_Window* window = SDL_CreateWindow("floor", 0, 0, 800, 600, 0);
    if (window == nullptr) return 1;
    SDL_Renderer* renderer = texture_path ? SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED) : nullptr;
    SDL_Texture* texture = renderer != nullptr ? SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888,
                                                                   SDL_TEXTUREACCESS_STREAMING, 800, 600)
                                               : nullptr;
    if (texture_path && texture == nullptr) return 1;
    std::vector<std::uint32_t> picture(800 * 600);
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 800; ++x) picture[y * 800 + x] = 0xFF000000u | (x * 255 / 800) << 16 | (y * 255 / 600) << 8;
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    const timespec start = deadline;
    for (long frame = 1;; ++frame) {
        SDL_Event event;
        while (SDL_PollEvent(&event))
            if (event.type == SDL_QUIT) return 0;
        if (texture_path) {
            SDL_UpdateTexture(texture, nullptr, picture.data(), 800 * 4);
            SDL_RenderCopy(renderer, texture, nullptr, nullptr);
            SDL_RenderPresent(renderer);
        } else {
            SDL_Surface* surface = SDL_GetWindowSurface(window);
            if (surface == nullptr) return 1;
            for (int y = 0; y < 600 && y < surface->h; ++y)
                std::memcpy(static_cast<char*>(surface->pixels) + y * surface->pitch, &picture[y * 800],
                            static_cast<std::size_t>(std::min(800, surface->w)) * 4);
            SDL_UpdateWindowSurface(window);
        }
        const long long due = static_cast<long long>(start.tv_nsec) + frame * 1000000000LL / 60;
        deadline.tv_sec = start.tv_sec + static_cast<time_t>(due / 1000000000LL);
        deadline.tv_nsec = static_cast<long>(due % 1000000000LL);
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr);
    }
}
