// Windows only: what the exe's own modules share. The game calls none of it.
#pragma once

#include "common/command_line.h"

namespace windows_exe {

// The command line the exe was started with, read once, before WinMain runs; a switch that ends
// the program (--help, --version, a bad one) has ended it by then.
const program::ProgramOptions& options();

}  // namespace windows_exe
