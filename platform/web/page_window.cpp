// The page's window system (window_system.h): the page's canvas is the one window. Nothing but
// the program itself (and a test's close request) posts messages; closing the tab ends the game
// with the page, so there is nothing to tell it.
#include <emscripten.h>

#include "canvas_output.h"
#include "window_system.h"
#include "web.h"

namespace {

// The page's message line, over the canvas; it replaces "Loading", and a second message follows the first.
EM_JS(void, show_in_page, (const char* text), {
    var box = document.getElementById("message");
    if (!box) return;
    var following = !box.hidden && box.dataset.loading === undefined;
    box.textContent = (following ? box.textContent + " " : "") + UTF8ToString(text);
    delete box.dataset.loading;
    box.hidden = false;
});

class PageWindowSystem final : public platform::WindowSystem {
public:
    // The canvas is always on the page, where the page places it: only its size is the window's own.
    bool open(const char*, DWORD, platform::WindowPlace&) override {
        web::listen_for_input();
        return true;
    }
    void close() override {}
    void move(platform::WindowPlace&) override {}
    void show(bool) override {}
    // The page's events come to their own handlers (dinput.cpp) as they happen.
    bool pump(platform::WindowPlace&) override { return false; }
    bool focused() const override { return web::page_has_focus(); }
    void capture_pointer(bool capture) override { web::capture_pointer(capture); }
    bool open_output(int width, int height, bool, std::unique_ptr<platform::FrameOutput>& output) override {
        if (web::open_canvas_output(width, height, output)) return true;
        show_in_page("This browser cannot draw on the page's canvas, so the game cannot show.");
        return false;
    }
    void show_message(const char* text) override { show_in_page(text); }
};

PageWindowSystem page;

}  // namespace

namespace platform {

WindowSystem& native_window_system() { return page; }

// The page's headless pictures come from the shared compositor.
WindowSystem* rendering_window_system() { return nullptr; }

}  // namespace platform
