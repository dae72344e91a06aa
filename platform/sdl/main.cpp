// The Linux entry point: the game's own entry is WinMain, as on Windows.
#include <windows.h>

int main(int, char**) {
    char command_line[1] = {0};
    return WinMain(GetModuleHandleA(nullptr), nullptr, command_line, SW_SHOWDEFAULT);
}
