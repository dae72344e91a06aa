// Preloaded into the programs of a Wine prefix by the exe's pad test: in Wine's device host,
// whose HID bus lists SDL's joysticks, it plugs in a virtual joystick of ids no table knows and
// not a game controller, so Windows sees a plain HID joystick that DirectInput reads and XInput
// does not. Some seconds after the bus has taken it in, it holds the ninth button (Back on the
// generic layout) for good. Nothing happens in any other program; SDL is only looked up, never
// loaded here.
#define _GNU_SOURCE
#include <SDL.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

// Wine's bus opens the joystick and starts its HID device some time after it is plugged in; a
// change before then is not passed on.
enum { settle_seconds = 4, back_button = 8 };

static void* plug_in(void* unused)
{
    (void)unused;
    for (int tries = 0; tries < 600; ++tries, usleep(100000)) {
        void* sdl = dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_NOLOAD);
        if (!sdl) continue;
        Uint32 (*was_init)(Uint32) = (Uint32 (*)(Uint32))dlsym(sdl, "SDL_WasInit");
        int (*attach)(const SDL_VirtualJoystickDesc*) =
            (int (*)(const SDL_VirtualJoystickDesc*))dlsym(sdl, "SDL_JoystickAttachVirtualEx");
        SDL_Joystick* (*open_joystick)(int) = (SDL_Joystick * (*)(int)) dlsym(sdl, "SDL_JoystickOpen");
        int (*set_button)(SDL_Joystick*, int, Uint8) =
            (int (*)(SDL_Joystick*, int, Uint8))dlsym(sdl, "SDL_JoystickSetVirtualButton");
        if (!was_init || !attach || !open_joystick || !set_button) return NULL;
        if (!was_init(SDL_INIT_JOYSTICK)) continue;
        SDL_VirtualJoystickDesc desc;
        memset(&desc, 0, sizeof desc);
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = SDL_JOYSTICK_TYPE_UNKNOWN;
        desc.naxes = 6;
        desc.nbuttons = 12;
        desc.nhats = 1;
        desc.vendor_id = 0x1234;
        desc.product_id = 0x5678;
        desc.name = "Zorvalen test joystick";
        SDL_Joystick* joystick = open_joystick(attach(&desc));
        if (!joystick) {
            fprintf(stderr, "fake joystick: not plugged in\n");
            return NULL;
        }
        sleep(settle_seconds);
        set_button(joystick, back_button, 1);
        fprintf(stderr, "fake joystick: Back held\n");
        return NULL;
    }
    return NULL;
}

__attribute__((constructor)) static void start(void)
{
    char command[4096];
    const int file = open("/proc/self/cmdline", O_RDONLY);
    if (file < 0) return;
    const ssize_t length = read(file, command, sizeof command - 1);
    close(file);
    if (length <= 0) return;
    for (ssize_t i = 0; i < length; ++i)
        if (command[i] == '\0') command[i] = ' ';
    command[length] = '\0';
    if (!strstr(command, "winedevice.exe")) return;
    pthread_t thread;
    if (pthread_create(&thread, NULL, plug_in, NULL) == 0) pthread_detach(thread);
}
