// Preloaded into the installed game by the package test, in place of a player: it counts the
// frames the game presents, presses Space on the title screen, keeps two pictures, and closes
// the window after ZV_FRAMES frames, as the window system would. Writes into ZV_OUT_DIR:
// title.ppm (frame 20), play.ppm (the last frame) and frames (the count at exit).
#define _GNU_SOURCE
#include <SDL.h>
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>

static int frames;

static void out_path(char* path, size_t size, const char* name)
{
    const char* dir = getenv("ZV_OUT_DIR");
    snprintf(path, size, "%s/%s", dir ? dir : ".", name);
}

static void write_ppm(const char* name, const unsigned char* rgb, int w, int h, int pitch)
{
    char path[4096];
    out_path(path, sizeof path, name);
    FILE* f = fopen(path, "wb");
    if (!f) return;
    fprintf(f, "P6\n%d %d\n255\n", w, h);
    for (int y = 0; y < h; ++y) fwrite(rgb + (size_t)y * (size_t)pitch, 3, (size_t)w, f);
    fclose(f);
}

static void save_rendered(SDL_Renderer* renderer, const char* name)
{
    int w = 0, h = 0;
    if (SDL_GetRendererOutputSize(renderer, &w, &h) != 0 || w <= 0 || h <= 0) return;
    unsigned char* rgb = malloc((size_t)w * (size_t)h * 3);
    if (rgb && SDL_RenderReadPixels(renderer, NULL, SDL_PIXELFORMAT_RGB24, rgb, w * 3) == 0) write_ppm(name, rgb, w, h, w * 3);
    free(rgb);
}

// The software path shows its frames by writing the window surface.
static void save_surface(SDL_Window* window, const char* name)
{
    SDL_Surface* surface = SDL_GetWindowSurface(window);
    SDL_Surface* rgb = surface ? SDL_ConvertSurfaceFormat(surface, SDL_PIXELFORMAT_RGB24, 0) : NULL;
    if (rgb) write_ppm(name, rgb->pixels, rgb->w, rgb->h, rgb->pitch);
    SDL_FreeSurface(rgb);
}

static void push_key(SDL_Window* window, SDL_Scancode code, Uint32 type)
{
    SDL_Event e = {0};
    e.type = type;
    e.key.windowID = SDL_GetWindowID(window);
    e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.scancode = code;
    e.key.keysym.sym = SDL_GetKeyFromScancode(code);
    SDL_PushEvent(&e);
}

// Called as each frame is shown, before it is; `save` keeps the picture about to be shown.
static void on_frame(SDL_Window* window, void (*save)(void*, const char*), void* from)
{
    const char* limit_text = getenv("ZV_FRAMES");
    const int limit = limit_text ? atoi(limit_text) : 300;
    ++frames;
    if (frames == 20) {
        save(from, "title.ppm");
        // Without a window manager nobody gives the window the focus, and the game reads
        // its keyboard only with the focus.
        SDL_Event e = {0};
        e.type = SDL_WINDOWEVENT;
        e.window.event = SDL_WINDOWEVENT_FOCUS_GAINED;
        e.window.windowID = SDL_GetWindowID(window);
        SDL_PushEvent(&e);
        push_key(window, SDL_SCANCODE_SPACE, SDL_KEYDOWN);
    } else if (frames == 30) {
        push_key(window, SDL_SCANCODE_SPACE, SDL_KEYUP);
    } else if (frames == limit) {
        save(from, "play.ppm");
        SDL_Event e = {0};
        e.type = SDL_QUIT;
        SDL_PushEvent(&e);
    }
}

static void save_from_renderer(void* renderer, const char* name) { save_rendered(renderer, name); }
static void save_from_window(void* window, const char* name) { save_surface(window, name); }

void SDL_RenderPresent(SDL_Renderer* renderer)
{
    static void (*real)(SDL_Renderer*);
    if (!real) *(void**)&real = dlsym(RTLD_NEXT, "SDL_RenderPresent");
    on_frame(SDL_RenderGetWindow(renderer), save_from_renderer, renderer);
    real(renderer);
}

int SDL_UpdateWindowSurface(SDL_Window* window)
{
    static int (*real)(SDL_Window*);
    if (!real) *(void**)&real = dlsym(RTLD_NEXT, "SDL_UpdateWindowSurface");
    on_frame(window, save_from_window, window);
    return real(window);
}

// A frame of which only the rows that changed are shown (a scaled window).
int SDL_UpdateWindowSurfaceRects(SDL_Window* window, const SDL_Rect* rects, int count)
{
    static int (*real)(SDL_Window*, const SDL_Rect*, int);
    if (!real) *(void**)&real = dlsym(RTLD_NEXT, "SDL_UpdateWindowSurfaceRects");
    on_frame(window, save_from_window, window);
    return real(window, rects, count);
}

// Every process the launcher runs loads this library too; only the game presents frames.
__attribute__((destructor)) static void report(void)
{
    if (frames == 0) return;
    char path[4096];
    out_path(path, sizeof path, "frames");
    FILE* f = fopen(path, "w");
    if (f) {
        fprintf(f, "%d\n", frames);
        fclose(f);
    }
}
