#include "frame_path.h"

#include <SDL2/SDL.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

extern char** environ;

namespace platform {

namespace {

// Set only in the helper's environment: the descriptor it writes the renderer's name to.
constexpr const char* PROBE_VARIABLE = "ZORVALEN_GL_PROBE_FD";
// Long enough for a hardware driver's first start on a busy machine; a driver that hangs
// leaves the game on the compositor rather than at a black screen.
constexpr int PROBE_TIMEOUT_MS = 3000;
constexpr std::size_t NAME_LIMIT = 256;

// Runs before the program's own main in every program of ours that can start the helper:
// when it is the helper, it answers and leaves at once, running nothing of the program.
__attribute__((constructor)) void answer_probe_if_asked() {
    const char* descriptor = std::getenv(PROBE_VARIABLE);
    if (descriptor == nullptr) return;
    const int out = std::atoi(descriptor);
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) {
        const std::string name = read_renderer_name();
        std::size_t written = 0;
        while (written < name.size()) {
            const ssize_t now = write(out, name.data() + written, name.size() - written);
            if (now <= 0) break;
            written += static_cast<std::size_t>(now);
        }
    }
    _exit(0);  // no atexit handlers, no flushing of what the program had buffered
}

// The helper's environment: ours, with the pipe named, and the video driver this process
// brought up (when it has one), so that the helper asks the same window system.
std::vector<std::string> helper_environment(int descriptor) {
    std::vector<std::string> entries;
    const char* driver = SDL_WasInit(SDL_INIT_VIDEO) != 0 ? SDL_GetCurrentVideoDriver() : nullptr;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const bool probe = std::strncmp(*entry, PROBE_VARIABLE, std::strlen(PROBE_VARIABLE)) == 0;
        const bool video = driver != nullptr && std::strncmp(*entry, "SDL_VIDEODRIVER=", 16) == 0;
        if (!probe && !video) entries.emplace_back(*entry);
    }
    entries.push_back(std::string(PROBE_VARIABLE) + "=" + std::to_string(descriptor));
    if (driver != nullptr) entries.push_back(std::string("SDL_VIDEODRIVER=") + driver);
    return entries;
}

// The helper started and not yet heard.
struct Probe {
    pid_t helper = 0;
    int answer = -1;  // our end of its pipe
};
Probe probe;

// Reads what the helper writes until it closes the pipe (it ends); empty when the time is up first.
std::string read_answer(int from) {
    std::string name;
    char block[64];
    for (int left = PROBE_TIMEOUT_MS; left > 0;) {
        pollfd wait_for{from, POLLIN, 0};
        const Uint32 before = SDL_GetTicks();
        const int ready = poll(&wait_for, 1, left);
        left -= static_cast<int>(SDL_GetTicks() - before);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        const ssize_t got = read(from, block, sizeof block);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return name;
        name.append(block, static_cast<std::size_t>(got));
        if (name.size() >= NAME_LIMIT) return name.substr(0, NAME_LIMIT);
    }
    return {};
}

}  // namespace

Presentation forced_presentation() {
    const char* value = SDL_GetHint(PRESENTATION_HINT);
    if (value == nullptr) return Presentation::automatic;
    if (SDL_strcasecmp(value, "gpu") == 0) return Presentation::gpu;
    if (SDL_strcasecmp(value, "compositor") == 0) return Presentation::compositor;
    return Presentation::automatic;
}

bool software_gl(const char* renderer_name) {
    if (renderer_name == nullptr) return true;
    std::string name(renderer_name);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* software : {"llvmpipe", "softpipe", "swrast", "software rasterizer"})
        if (name.find(software) != std::string::npos) return true;
    return false;
}

std::string read_renderer_name() {
    SDL_Window* probe = SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (probe == nullptr) return {};  // no GL at all
    std::string name;
    SDL_GLContext context = SDL_GL_CreateContext(probe);
    if (context != nullptr) {
        constexpr unsigned int GL_RENDERER_NAME = 0x1F01;  // GL_RENDERER
        using GetString = const unsigned char* (*)(unsigned int);
        const GetString get_string = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
        const unsigned char* answer = get_string != nullptr ? get_string(GL_RENDERER_NAME) : nullptr;
        if (answer != nullptr) name = reinterpret_cast<const char*>(answer);
        SDL_GL_DeleteContext(context);
    }
    SDL_DestroyWindow(probe);
    return name;
}

void start_renderer_probe() {
    if (probe.helper != 0) return;
    int pipe_ends[2];
    if (pipe2(pipe_ends, O_CLOEXEC) != 0) return;
    // The helper finds its end at a number of its own, clear of close-on-exec.
    const int helper_end = pipe_ends[1] == 3 ? 4 : 3;
    std::vector<std::string> environment = helper_environment(helper_end);
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    char name[] = "zorvalen-gl-probe";
    char* argv[] = {name, nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], helper_end);
    // Whatever the driver says while it is looked for (Mesa's loader complains where it finds
    // no hardware) is not the player's business.
    for (const int quiet : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
        posix_spawn_file_actions_addopen(&actions, quiet, "/dev/null", quiet == STDIN_FILENO ? O_RDONLY : O_WRONLY, 0);
    pid_t helper = 0;
    const int spawned = posix_spawn(&helper, "/proc/self/exe", &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_ends[1]);
    if (spawned != 0) {
        close(pipe_ends[0]);
        return;
    }
    probe.helper = helper;
    probe.answer = pipe_ends[0];
}

std::string ask_renderer_name() {
    start_renderer_probe();
    if (probe.helper == 0) return {};
    const std::string answer = read_answer(probe.answer);
    if (answer.empty()) kill(probe.helper, SIGKILL);  // it may be hanging in a driver
    while (waitpid(probe.helper, nullptr, 0) < 0 && errno == EINTR) {
    }
    close(probe.answer);
    probe = {};
    return answer;
}

Presentation choose_presentation() {
    const Presentation forced = forced_presentation();
    if (forced != Presentation::automatic) return forced;
    const std::string name = ask_renderer_name();
    return !name.empty() && !software_gl(name.c_str()) ? Presentation::gpu : Presentation::compositor;
}

}  // namespace platform
