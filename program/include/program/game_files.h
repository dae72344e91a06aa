// Where the game's pictures, font and sounds are. The game loads them from the working folder,
// so the program changes to the folder that holds them before the game starts: the working
// folder itself, else the executable's folder, an assets folder beside it, or where the packages
// install them relative to the executable. A player who starts the build's binary from anywhere
// gets the game, or one line saying where it looked and what is missing, never a silent black
// window.
#pragma once

#include <string>
#include <vector>

namespace program {

// The files without which the game has nothing to show: its font and its pictures. A folder
// holding them all is the game's.
const std::vector<std::string>& required_game_files();

struct GameFilesLookup {
    std::string folder;                // the folder that holds them; empty when none does
    std::vector<std::string> looked;   // every folder looked in, in order
    std::vector<std::string> missing;  // what the working folder lacks, when none holds them
};

// Looks in the working folder, then in `executable_folder` (empty: not known), an `assets`
// folder beside it, and `installed_data` relative to it (the packages' place for the files).
GameFilesLookup find_game_files(const std::string& working_folder, const std::string& executable_folder,
                                const std::string& installed_data);

// The one line for a lookup that found nothing.
std::string describe_missing_game_files(const GameFilesLookup& lookup);

}  // namespace program
