/* Counts a program's presented frames from outside it, the same way for every program in the
 * benchmark: preloaded, it wraps SDL's four ways of showing a frame and writes the count, the
 * time, the time of the first one and the seconds from the process's start to that first one
 * into the file named by PRESENT_COUNT_FILE after each one.
 * With PRESENT_COUNT_X11 set it counts Xlib's image puts instead, which is how a program under
 * Wine shows a frame on a display without a GPU driver (Mesa's software GLX puts each swap):
 * only those as wide as a frame, so that Wine's own small drawing in other processes of the
 * prefix, which are preloaded too, is left out. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static long presented;
static int out = -2;
static struct timespec first;
static double startup = -1;

/* Seconds since the process started (the kernel's start time, in clock ticks since boot; its
 * resolution, 10 ms, is plenty for a start-up), or -1. */
static double seconds_since_start(void) {
    char stat[1024];
    const int file = open("/proc/self/stat", O_RDONLY);
    if (file < 0) return -1;
    const ssize_t length = read(file, stat, sizeof stat - 1);
    close(file);
    if (length <= 0) return -1;
    stat[length] = '\0';
    const char* field = strrchr(stat, ')'); /* the name may hold spaces */
    for (int n = 2; field != NULL && n < 22; ++n) field = strchr(field + 1, ' ');
    if (field == NULL) return -1;
    struct timespec now;
    clock_gettime(CLOCK_BOOTTIME, &now);
    return (double)now.tv_sec + now.tv_nsec / 1e9 - strtod(field + 1, NULL) / (double)sysconf(_SC_CLK_TCK);
}

static void count(void) {
    if (out == -2) {
        const char* path = getenv("PRESENT_COUNT_FILE");
        out = path != NULL ? open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644) : -1;
    }
    ++presented;
    if (out < 0) return;
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (presented == 1) {
        first = now;
        startup = seconds_since_start();
    }
    char line[128];
    const int length = snprintf(line, sizeof line, "%ld %lld.%09ld %lld.%09ld %.3f\n", presented, (long long)now.tv_sec,
                                now.tv_nsec, (long long)first.tv_sec, first.tv_nsec, startup);
    if (length > 0) {
        if (pwrite(out, line, (size_t)length, 0) < 0) return;
        if (ftruncate(out, length) < 0) return;
    }
}

typedef struct SDL_Renderer SDL_Renderer;
typedef struct SDL_Window SDL_Window;
static int count_x11 = -1;
static void count_sdl(void) {
    if (count_x11 < 0) count_x11 = getenv("PRESENT_COUNT_X11") != NULL;
    if (!count_x11) count();
}
static void count_put(unsigned int width) {
    if (count_x11 < 0) count_x11 = getenv("PRESENT_COUNT_X11") != NULL;
    if (count_x11 && width >= 640) count();
}

void SDL_RenderPresent(SDL_Renderer* renderer) {
    static void (*real)(SDL_Renderer*) = NULL;
    if (real == NULL) *(void**)&real = dlsym(RTLD_NEXT, "SDL_RenderPresent");
    count_sdl();
    real(renderer);
}
int SDL_UpdateWindowSurface(SDL_Window* window) {
    static int (*real)(SDL_Window*) = NULL;
    if (real == NULL) *(void**)&real = dlsym(RTLD_NEXT, "SDL_UpdateWindowSurface");
    count_sdl();
    return real(window);
}
/* A frame that shows only the rows that changed, or none. */
typedef struct SDL_Rect SDL_Rect;
int SDL_UpdateWindowSurfaceRects(SDL_Window* window, const SDL_Rect* rects, int count) {
    static int (*real)(SDL_Window*, const SDL_Rect*, int) = NULL;
    if (real == NULL) *(void**)&real = dlsym(RTLD_NEXT, "SDL_UpdateWindowSurfaceRects");
    count_sdl();
    return real(window, rects, count);
}
void SDL_GL_SwapWindow(SDL_Window* window) {
    static void (*real)(SDL_Window*) = NULL;
    if (real == NULL) *(void**)&real = dlsym(RTLD_NEXT, "SDL_GL_SwapWindow");
    count_sdl();
    real(window);
}

/* Xlib's, by their published signatures; the types are opaque here. */
typedef struct _XDisplay Display;
typedef struct _XGC* GC;
typedef struct _XImage XImage;
typedef unsigned long Drawable;
int XPutImage(Display* display, Drawable drawable, GC gc, XImage* image, int src_x, int src_y, int dest_x,
              int dest_y, unsigned int width, unsigned int height) {
    static int (*real)(Display*, Drawable, GC, XImage*, int, int, int, int, unsigned int, unsigned int) = NULL;
    if (real == NULL) *(void**)&real = dlsym(RTLD_NEXT, "XPutImage");
    count_put(width);
    return real(display, drawable, gc, image, src_x, src_y, dest_x, dest_y, width, height);
}
int XShmPutImage(Display* display, Drawable drawable, GC gc, XImage* image, int src_x, int src_y, int dest_x,
                 int dest_y, unsigned int width, unsigned int height, int send_event) {
    static int (*real)(Display*, Drawable, GC, XImage*, int, int, int, int, unsigned int, unsigned int, int) = NULL;
    if (real == NULL) *(void**)&real = dlsym(RTLD_NEXT, "XShmPutImage");
    count_put(width);
    return real(display, drawable, gc, image, src_x, src_y, dest_x, dest_y, width, height, send_event);
}
