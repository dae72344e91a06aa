// The player's settings file around a run of the program, the same for the desktop's main and the
// Windows exe: read before the game starts, written only when asked.
#pragma once

#include <string>

#include "program/command_line.h"

namespace program {

// Where the settings are when the player names no file: $XDG_CONFIG_HOME/zorvalen/settings.toml
// (~/.config/zorvalen/settings.toml without it), %APPDATA%\Zorvalen\settings.toml on Windows.
// Empty when there is no home to keep them in.
std::string find_default_settings_path();

// Reads the settings file named with --settings, or else the usual one, applies the command
// line's switches over it and puts the result in force. Appends to `report` one line for each
// problem, naming the file and the line; a usual file that is not there is no problem. With
// --save-settings the file is written at once. The options' `record` then says what the file and
// the switches together say: false when either turns recording off.
void start_settings(ProgramOptions& options, std::string& report);

// After the game: with --save-settings or save_key_changes in the file, a level changed with the
// volume keys is written back.
void finish_settings(std::string& report);

// Writes `text` to a new file beside `path` and renames it over `path`, so the file is always
// either the old one or the new one whole. Makes the folder if it is missing.
bool save_settings_file(const std::string& path, const std::string& text, std::string& error);

}  // namespace program
