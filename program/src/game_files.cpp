#include "program/game_files.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace program {

namespace fs = std::filesystem;

namespace {

std::vector<std::string> missing_in(const fs::path& folder) {
    std::vector<std::string> missing;
    for (const std::string& name : required_game_files()) {
        std::error_code error;
        if (!fs::is_regular_file(folder / name, error)) missing.push_back(name);
    }
    return missing;
}

}  // namespace

const std::vector<std::string>& required_game_files() {
    // What the game loads at its start, sounds aside: without a sound it plays silent, as it
    // does without a sound device.
    static const std::vector<std::string> files = {
        "font.raw",  "startscreen.bmp", "Player.tga",   "bullet.tga",    "rocket1.tga",     "crosshair4.tga",
        "medkit.tga", "explosion.tga",  "bg0.tga",      "bg1.tga",       "bg2.tga",         "eRed.tga",
        "eGreen.tga", "eBlue.tga",      "eWhite.tga",   "eThinGrey.tga", "eThinDark.tga",   "manbearpig.tga",
    };
    return files;
}

GameFilesLookup find_game_files(const std::string& working_folder, const std::string& executable_folder,
                                const std::string& installed_data) {
    GameFilesLookup lookup;
    std::vector<fs::path> candidates = {fs::path(working_folder)};
    if (!executable_folder.empty()) {
        const fs::path beside(executable_folder);
        candidates.push_back(beside);
        candidates.push_back(beside / "assets");
        if (!installed_data.empty()) candidates.push_back((beside / installed_data).lexically_normal());
    }
    for (const fs::path& folder : candidates) {
        const std::string name = folder.string();
        bool seen = false;
        for (const std::string& before : lookup.looked) seen |= fs::path(before) == folder;
        if (seen) continue;
        lookup.looked.push_back(name);
        if (missing_in(folder).empty()) {
            lookup.folder = name;
            return lookup;
        }
    }
    lookup.missing = missing_in(fs::path(working_folder));
    return lookup;
}

std::string describe_missing_game_files(const GameFilesLookup& lookup) {
    std::string line = "cannot find the game's files (";
    const std::size_t named = std::min<std::size_t>(lookup.missing.size(), 3);
    for (std::size_t i = 0; i < named; ++i) line += (i > 0 ? ", " : "") + lookup.missing[i];
    if (lookup.missing.size() > named) line += " and " + std::to_string(lookup.missing.size() - named) + " more";
    line += " missing); looked in ";
    for (std::size_t i = 0; i < lookup.looked.size(); ++i) {
        if (i > 0) line += i + 1 == lookup.looked.size() ? " and " : ", ";
        line += lookup.looked[i];
    }
    return line;
}

}  // namespace program
