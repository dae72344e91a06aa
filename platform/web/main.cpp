// The page's entry point. The game's own entry is WinMain, as on Windows. Given arguments
// (only the test page passes any), the same program plays a replay script instead, exactly as
// zorvalen-replay does on the desktop, writing to the console.
#include <windows.h>

#include <emscripten.h>

#include "runner.h"

int main(int argc, char** argv) {
    if (argc > 1) {
        // The packaged assets sit at the root of the page's file system.
        const int status = replay::run_command_line(argc, argv, "/");
        EM_ASM({ if (Module.replayFinished) Module.replayFinished($0); }, status);
        return status;
    }
    char command_line[1] = {0};
    const int status = WinMain(GetModuleHandleA(nullptr), nullptr, command_line, SW_SHOWDEFAULT);
    EM_ASM({ if (Module.gameEnded) Module.gameEnded($0); }, status);
    return status;
}
