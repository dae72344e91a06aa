#include "app/app.h"

#include "combat/bullets.h"
#include "combat/explosions.h"
#include "combat/medkit.h"
#include "combat/player.h"
#include "combat/rockets.h"
#include "gfx/font.h"
#include "gfx/graphics.h"
#include "gfx/sprite.h"
#include "input/input.h"
#include "presentation/hud.h"
#include "presentation/starfield.h"
#include "sound/sound.h"
#include "world/enemies.h"
#include "world/spawn.h"
#include "world/stages.h"
#include "world/world.h"

namespace {

// The game keeps no log; a failure that stops it is the one thing it says.
void report_fatal(const char* text) { MessageBoxA(nullptr, text, "Zorvalen", MB_OK | MB_ICONERROR); }

}  // namespace

bool init_game() {
    create_graphics(800, 600, true);
    if (world.d3d_device == nullptr) {
        report_fatal("Zorvalen: no usable graphics device (is a display available?)");
        release_graphics();
        return false;
    }
    init_sound();
    init_mouse();
    init_keyboard();
    load_font("font.raw", world.font, 648, 12, 2);
    load_sound("bgmusic.wav", world.music);
    play_sound_looped(world.music);
    init_title();
    init_starfield();
    init_stages();
    reset_script_cursor();
    init_rockets();
    init_bullets();
    init_medkit();
    init_enemies();
    init_explosions();
    init_player();
    return true;
}

bool run_frame() {
    poll_mouse();
    poll_keyboard();
    draw_rect(0, 0, world.screen_width, world.screen_height, 0xFF000000u);
    update_title();
    // Read once: a step that ends the level does not stop the rest of this frame.
    if (world.in_play) {
        run_spawn_script();
        update_starfield();
        update_stage();
        update_rockets();
        update_bullets();
        update_medkit();
        update_enemies();
        update_explosions();
        update_player();
        update_death_fade();
        update_game_over();
        draw_health();
        draw_high_score();
        draw_score();
    }
    end_frame();
    return world.keys[DIK_ESCAPE] == 0;
}

void shutdown_game() {
    release_keyboard();
    release_mouse();
    release_graphics();
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    world.app_instance = instance;

    WNDCLASSEXA window_class{};
    window_class.cbSize = sizeof(WNDCLASSEXA);
    window_class.style = CS_CLASSDC;
    window_class.lpfnWndProc = main_window_proc;
    window_class.cbClsExtra = 0;
    window_class.cbWndExtra = 0;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    window_class.hbrBackground = nullptr;
    window_class.lpszMenuName = nullptr;
    window_class.lpszClassName = "Zorvalen";
    window_class.hIconSm = nullptr;
    RegisterClassExA(&window_class);

    HWND desktop = GetDesktopWindow();
    world.main_window = CreateWindowExA(0, "Zorvalen", "", WS_OVERLAPPEDWINDOW, 100, 100, 640, 480, desktop,
                                        nullptr, window_class.hInstance, nullptr);
    if (world.main_window == nullptr) {
        report_fatal("Zorvalen: cannot open a window (is a display available?)");
        return 1;
    }

    if (!init_game()) return 1;
    if (!world.quit_requested) {
        for (;;) {
            drain_messages();
            if (!run_frame()) break;
            if (world.quit_requested) break;
        }
    }
    shutdown_game();
    return 0;
}
