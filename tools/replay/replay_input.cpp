#include "replay_input.h"

#include <fstream>
#include <iterator>

namespace replay {

Script script_of_replay(const std::uint8_t* data, const replays::ReplayIndex& index) {
    Script script;
    int64_t frame = 0;
    replays::visit_frames(data, index, [&](const replays::FrameReads& reads) {
        FrameInput input;
        replays::keys_to_bytes(reads, input.keys.data());
        input.dx = reads.dx;
        input.dy = reads.dy;
        input.left = (reads.buttons & 1) != 0;
        input.right = (reads.buttons & 2) != 0;
        if (!script.lines.empty() && script.lines.back().input == input) {
            ++script.lines.back().count;
        } else {
            ScriptLine line;
            line.count = 1;
            line.input = input;
            line.source_line = static_cast<int>(std::min<int64_t>(frame + 1, INT32_MAX));
            script.lines.push_back(line);
        }
        ++frame;
    });
    return script;
}

std::string script_line(std::int64_t count, const FrameInput& input) {
    std::string line = std::to_string(count);
    for (int code = 1; code < 256; ++code) {
        if (input.keys[static_cast<std::size_t>(code)] == 0) continue;
        // Only keys with a name can be written; the game reads none of the others.
        if (const char* name = key_name(code)) line += std::string(" ") + name;
    }
    if (input.left) line += " LMB";
    if (input.right) line += " RMB";
    if (input.dx != 0) line += " dx=" + std::to_string(input.dx);
    if (input.dy != 0) line += " dy=" + std::to_string(input.dy);
    return line;
}

bool load_run_input(const std::string& path, Script& script, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    char start[8] = {};
    if (file && file.read(start, sizeof start) &&
        replays::looks_like_replay(reinterpret_cast<const std::uint8_t*>(start), sizeof start)) {
        std::vector<std::uint8_t> bytes;
        const replays::ReplayIndex index = replays::load_replay_file(path, bytes);
        if (index.status == replays::ReadStatus::unreadable) {
            error = path + ": " + index.problem;
            return false;
        }
        script = script_of_replay(bytes.data(), index);
        return true;
    }
    return load_script_file(path, script, error);
}

}  // namespace replay
