// The headless backend: no window system at all. The window is a handle only, it always has the
// focus, and it needs no registered class. A device on it draws nowhere in the record mode and
// with the compositor alone in the render mode, which keeps the pictures that tests and tools
// ask for (headless.h): exact on every machine, with no GL.
#include <new>
#include <utility>

#include "frame_output.h"
#include "window_system.h"

namespace platform {

namespace {

class PictureOutput final : public CompositedOutput {
public:
    void show() override {}
};

class HeadlessWindowSystem final : public WindowSystem {
public:
    explicit HeadlessWindowSystem(bool pictures) : pictures_(pictures) {}

    bool open(const char*, DWORD, WindowPlace&) override { return true; }
    void close() override {}
    void move(WindowPlace&) override {}
    void show(bool) override {}
    bool pump(WindowPlace&) override { return false; }
    bool focused() const override { return true; }
    void capture_pointer(bool) override {}
    bool open_output(int width, int height, bool, std::unique_ptr<FrameOutput>& output) override;
    bool needs_registered_class() const override { return false; }

private:
    bool pictures_;
};

bool HeadlessWindowSystem::open_output(int width, int height, bool, std::unique_ptr<FrameOutput>& output) {
    if (!pictures_) return true;
    std::unique_ptr<PictureOutput> pictures(new (std::nothrow) PictureOutput());
    if (pictures == nullptr || !pictures->make_compositor(width, height)) return false;
    output = std::move(pictures);
    return true;
}

}  // namespace

WindowSystem& headless_window_system(bool pictures) {
    static HeadlessWindowSystem recording(false);
    static HeadlessWindowSystem rendering(true);
    return pictures ? rendering : recording;
}

}  // namespace platform
