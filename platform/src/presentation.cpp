#include "presentation.h"

#include <SDL2/SDL.h>

#include <cstring>

namespace platform {

Presentation forced_presentation() {
    const char* value = SDL_GetHint(PRESENTATION_HINT);
    if (value == nullptr) return Presentation::automatic;
    if (SDL_strcasecmp(value, "gpu") == 0) return Presentation::gpu;
    if (SDL_strcasecmp(value, "compositor") == 0) return Presentation::compositor;
    return Presentation::automatic;
}

}  // namespace platform
