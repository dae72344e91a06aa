#include "scaled_present.h"


namespace platform {

void ScaledPresent::show(SDL_Renderer* renderer, SDL_Texture* picture, int width, int height,
                         ScaleFilter filter) {
    int output_width = 0, output_height = 0;
    SDL_SetRenderTarget(renderer, nullptr);
    if (SDL_GetRendererOutputSize(renderer, &output_width, &output_height) != 0) return;
    const ScalePlan plan = plan_scale(width, height, output_width, output_height, filter);
    const SDL_Rect target{plan.fit.target.x, plan.fit.target.y, plan.fit.target.width, plan.fit.target.height};
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    if (plan.way != ScaleWay::filtered || filter != ScaleFilter::sharp) {
        SDL_SetTextureScaleMode(picture, plan.way != ScaleWay::filtered ? SDL_ScaleModeNearest : SDL_ScaleModeLinear);
        SDL_RenderCopy(renderer, picture, nullptr, &target);
        return;
    }
    const int prescale = sharp_prescale(width, height, plan.fit.target);
    if (prescale != prescale_) {
        close();
        prescaled_ = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_TARGET,
                                       width * prescale, height * prescale);
        if (prescaled_ != nullptr) {
            SDL_SetTextureBlendMode(prescaled_, SDL_BLENDMODE_NONE);
            SDL_SetTextureScaleMode(prescaled_, SDL_ScaleModeLinear);
        }
        prescale_ = prescale;
    }
    SDL_Texture* source = picture;
    if (prescaled_ != nullptr && SDL_SetRenderTarget(renderer, prescaled_) == 0) {
        SDL_SetTextureScaleMode(picture, SDL_ScaleModeNearest);
        SDL_RenderCopy(renderer, picture, nullptr, nullptr);
        SDL_SetRenderTarget(renderer, nullptr);
        source = prescaled_;
    } else {
        SDL_SetTextureScaleMode(picture, SDL_ScaleModeLinear);  // no room for the prescaled copy
    }
    SDL_RenderCopy(renderer, source, nullptr, &target);
}

void ScaledPresent::close() {
    if (prescaled_ != nullptr) SDL_DestroyTexture(prescaled_);
    prescaled_ = nullptr;
    prescale_ = 0;
}

}  // namespace platform
