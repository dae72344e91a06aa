// Windows only: what the exe's own modules share. The game calls none of it.
#pragma once

#include "program/command_line.h"

namespace windows_exe {

// The command line the exe was started with, read once, before WinMain runs; a switch that ends
// the program (--help, --version, a bad one) has ended it by then. The settings file has been
// read and put in force with it (settings/settings.h).
const program::ProgramOptions& options();

// The sound levels in force changed (the volume keys): every sound buffer of the game's takes them.
void apply_sound_levels();

// Whether the exe's Direct3D device (screen_scaling.cpp) puts the picture on the screen itself,
// scaled as the filter says with its bars, over the whole client area; when it cannot, the
// client area is narrowed to the picture's shape and Direct3D stretches the picture into it.
void hand_picture_to_device(bool scaled_by_device);

}  // namespace windows_exe
