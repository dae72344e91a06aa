// The benchmarks' game: the playthrough (tests/scripts/playthrough.txt), ordinary play with all
// three stages of the first level cleared, the boss included, with the fighting, explosions and
// kill messages that come with it. Loaded once, from the asset directory, where the game finds
// its files; a benchmark without it stops at once.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "script.h"

inline const replay::Script& playthrough_script() {
    static const replay::Script loaded = [] {
        std::error_code ignored;
        std::filesystem::current_path(ZORVALEN_ASSET_DIR, ignored);
        replay::Script script;
        std::string error;
        if (!replay::load_script_file(ZORVALEN_SCRIPT_DIR "/playthrough.txt", script, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            std::exit(1);
        }
        return script;
    }();
    return loaded;
}
