#include "frame_path.h"

#include <SDL2/SDL.h>

#include <cctype>
#include <cstring>
#include <string>

namespace platform {

Presentation forced_presentation() {
    const char* value = SDL_GetHint(PRESENTATION_HINT);
    if (value == nullptr) return Presentation::automatic;
    if (SDL_strcasecmp(value, "gpu") == 0) return Presentation::gpu;
    if (SDL_strcasecmp(value, "compositor") == 0) return Presentation::compositor;
    return Presentation::automatic;
}

bool software_gl(const char* renderer_name) {
    if (renderer_name == nullptr) return true;
    std::string name(renderer_name);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* software : {"llvmpipe", "softpipe", "swrast", "software rasterizer"})
        if (name.find(software) != std::string::npos) return true;
    return false;
}

Presentation choose_presentation() {
    const Presentation forced = forced_presentation();
    if (forced != Presentation::automatic) return forced;
    SDL_Window* probe = SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (probe == nullptr) return Presentation::compositor;  // no GL at all
    bool hardware = false;
    SDL_GLContext context = SDL_GL_CreateContext(probe);
    if (context != nullptr) {
        constexpr unsigned int GL_RENDERER_NAME = 0x1F01;  // GL_RENDERER
        using GetString = const unsigned char* (*)(unsigned int);
        const GetString get_string = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
        const unsigned char* name = get_string != nullptr ? get_string(GL_RENDERER_NAME) : nullptr;
        hardware = name != nullptr && !software_gl(reinterpret_cast<const char*>(name));
        SDL_GL_DeleteContext(context);
    }
    SDL_DestroyWindow(probe);
    return hardware ? Presentation::gpu : Presentation::compositor;
}

}  // namespace platform
