/* Counts a program's presented frames from outside it, the same way for every program in the
 * benchmark: preloaded, it wraps SDL's three ways of showing a frame and writes the count and the
 * time into the file named by PRESENT_COUNT_FILE after each one. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

static long presented;
static int out = -2;

static void count(void) {
    if (out == -2) {
        const char* path = getenv("PRESENT_COUNT_FILE");
        out = path != NULL ? open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644) : -1;
    }
    ++presented;
    if (out < 0) return;
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    char line[64];
    const int length = snprintf(line, sizeof line, "%ld %lld.%09ld\n", presented, (long long)now.tv_sec, now.tv_nsec);
    if (length > 0) {
        if (pwrite(out, line, (size_t)length, 0) < 0) return;
        if (ftruncate(out, length) < 0) return;
    }
}

typedef struct SDL_Renderer SDL_Renderer;
typedef struct SDL_Window SDL_Window;
void SDL_RenderPresent(SDL_Renderer* renderer) {
    static void (*real)(SDL_Renderer*) = NULL;
    if (real == NULL) *(void**)&real = dlsym(RTLD_NEXT, "SDL_RenderPresent");
    count();
    real(renderer);
}
int SDL_UpdateWindowSurface(SDL_Window* window) {
    static int (*real)(SDL_Window*) = NULL;
    if (real == NULL) *(void**)&real = dlsym(RTLD_NEXT, "SDL_UpdateWindowSurface");
    count();
    return real(window);
}
void SDL_GL_SwapWindow(SDL_Window* window) {
    static void (*real)(SDL_Window*) = NULL;
    if (real == NULL) *(void**)&real = dlsym(RTLD_NEXT, "SDL_GL_SwapWindow");
    count();
    real(window);
}
