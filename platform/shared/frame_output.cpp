#include "frame_output.h"

#include <new>

namespace platform {

bool CompositedOutput::make_compositor(int width, int height) {
    compositor_.reset(new (std::nothrow) Compositor(width, height));
    return compositor_ != nullptr;
}

}  // namespace platform
