// What the board checks of an upload before it keeps it (board/src/upload_checks.h), on any
// bytes: the player's name from the input's first bytes, the file from all of it. A name let
// through holds nothing that could be markup, SQL or a control; a file let through is a whole
// replay of this board's logic version, with its digests.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "replays/replay_file.h"
#include "upload_checks.h"

namespace {

[[noreturn]] void broken(const char* what) {
    std::fprintf(stderr, "board invariant broken: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view name(reinterpret_cast<const char*>(data), size < 128 ? size : 128);
    if (board::check_name(name).empty()) {
        if (name.empty() || name.size() > 4 * board::MAX_NAME_CHARACTERS) broken("a name of the wrong length passed");
        for (const char c : name) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte < 0x20 || byte == 0x7F || c == '<' || c == '>' || c == '"' || c == '&' || c == ';' || c == '(' ||
                c == '/' || c == '\\')
                broken("a name with a control or markup character passed");
        }
    }
    const board::UploadCheck check = board::check_upload(data, size);
    if (check.ok) {
        if (check.problem.size() != 0) broken("a file let through with a problem");
        if (check.logic_version != replays::GAME_LOGIC_VERSION) broken("another logic version let through");
        if (check.sha256.size() != 64 || check.input_sha256.size() != 64) broken("a digest is not SHA-256");
        const replays::ReplayIndex index = replays::read_replay(data, size);
        if (index.status != replays::ReadStatus::ok || !index.has_trailer) broken("a file cut short let through");
    } else if (check.problem.empty()) {
        broken("a file refused without a reason");
    }
    return 0;
}
