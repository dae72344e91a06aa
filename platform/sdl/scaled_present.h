// The GPU path's last step: the finished picture, drawn in a target texture of its own size,
// goes to the window's drawable fitted and centred with black bars, exact for whole factors and
// filtered otherwise. The quads themselves are always drawn at the picture's own size.
#pragma once

#include <SDL2/SDL.h>

#include "picture_scaler.h"

namespace platform {

class ScaledPresent {
public:
    // Draws `picture` (width x height) on the renderer's window; leaves the window as the
    // render target.
    void show(SDL_Renderer* renderer, SDL_Texture* picture, int width, int height, ScaleFilter filter);
    // Gives up the intermediate texture; the renderer is about to go.
    void close();

private:
    SDL_Texture* prescaled_ = nullptr;  // sharp-bilinear's nearest step, made when the factor changes
    int prescale_ = 0;
};

}  // namespace platform
