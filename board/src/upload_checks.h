// What the board checks of an upload before it keeps it: the player's name and the file's
// shape (a whole replay of this board's logic version). Cheap and without the game: the
// playing is the verifier's (verifier.h). The fuzz harness drives these with arbitrary bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace board {

// The largest replay the board takes. The reader's own bound is 64 MiB, far past any game;
// the board keeps each upload in memory while it is checked and stores it, so it takes less:
// a busy ten-minute game is about 50 KB, so 4 MiB is over thirteen hours of the busiest play
// (a day of ordinary play is about 2 MB), and the verifier's CPU limit ends any longer game first.
constexpr std::size_t MAX_UPLOAD_BYTES = 4u << 20;

constexpr std::size_t MAX_NAME_CHARACTERS = 24;
// Said whenever a name is refused.
extern const char NAME_RULE[];

// Empty when `name` (UTF-8) is a name the board shows; otherwise what is wrong, then NAME_RULE.
std::string check_name(std::string_view name);

struct UploadCheck {
    bool ok = false;
    std::string problem;  // one line, for a refused file
    std::uint32_t logic_version = 0;
    std::string recorded_by;
    std::string sha256;        // of the whole file
    std::string input_sha256;  // of its blocks: the same input stream under another header or trailer
};

UploadCheck check_upload(const std::uint8_t* data, std::size_t size);

std::string sha256_hex(const std::uint8_t* data, std::size_t size);
const char* recorder_name(std::uint8_t recorder);

}  // namespace board
