// Where a Direct3D device's frames go: given by the window's system (window_system.h) when the
// device is made, and shown at each Present. Every output either
// - has the device draw with the shared compositor (compositor/compositor.h) and shows the
//   finished frame: the desktop's window surface, the page's canvas, or nothing at all (the
//   headless render mode, which only keeps pictures); or
// - takes the quads itself and draws them its own way: the desktop's GPU path.
// The headless record mode has no output: the device only logs what it is asked to draw.
#pragma once

#include <cstdint>
#include <memory>

#include "compositor/compositor.h"

namespace platform {

struct DeviceStates;
struct GameQuad;
class MemoryTexture;

class FrameOutput {
public:
    virtual ~FrameOutput() = default;

    // The compositor the device draws with, or null for an output that takes the quads itself.
    virtual Compositor* compositor() { return nullptr; }
    // The whole frame was just cleared, so what was drawn before it is needed no more.
    virtual void frame_cleared() {}

    // An output that takes the quads itself: the calls of the frame, in order.
    virtual void clear(std::uint32_t) {}
    virtual void fill(int /*left*/, int /*top*/, int /*right*/, int /*bottom*/, std::uint32_t /*argb*/) {}
    virtual void draw(const GameQuad&, const MemoryTexture*, const DeviceStates&) {}
    // The frame as it stands (before it is shown), as 0xAARRGGBB rows; false when it cannot be read.
    virtual bool read(std::uint32_t*, int /*width*/, int /*height*/) { return false; }
    // The texture is going away: whatever the output keeps of it goes too.
    virtual void forget(const MemoryTexture&) {}

    // Shows the finished frame, and holds the game to its 60 frames a second where it is paced.
    virtual void show() = 0;
};

// An output whose frames the compositor draws in memory.
class CompositedOutput : public FrameOutput {
public:
    // False when the compositor's buffers could not be had.
    bool make_compositor(int width, int height);
    Compositor* compositor() override { return compositor_.get(); }

protected:
    std::unique_ptr<Compositor> compositor_;
};

}  // namespace platform
