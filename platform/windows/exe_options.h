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

}  // namespace windows_exe
