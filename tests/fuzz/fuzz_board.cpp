// What the board checks of an upload before it keeps it (board/src/upload_checks.h), on any
// bytes: the player's name from the input's first bytes, the file from all of it. A name let
// through holds nothing that could be markup, SQL or a control; a file let through is a whole
// replay of this board's logic version, with its digests, and is kept by the store as it came:
// SQLite in memory, or the PostgreSQL database ZORVALEN_BOARD_DATABASE names.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "replays/replay_file.h"
#include "store.h"
#include "upload_checks.h"

namespace {

[[noreturn]] void broken(const char* what) {
    std::fprintf(stderr, "board invariant broken: %s\n", what);
    std::abort();
}

board::Store& store() {
    static const std::unique_ptr<board::Store> kept = [] {
        const char* url = std::getenv("ZORVALEN_BOARD_DATABASE");
        return board::open_store(url != nullptr ? url : "sqlite::memory:");
    }();
    return *kept;
}

// What was let through goes into the store by parameters alone, whatever its bytes, and comes
// back as it went in; a name looks up that player's runs and nobody else's.
void keep(board::UploadCheck check, std::string_view name, const std::uint8_t* data, std::size_t size) {
    board::Store& runs = store();
    const std::string player(name);
    // The same file under every name it is fuzzed with: digests of the name and file together, so
    // that each name reaches the store rather than finding the file there already.
    char salt[17];
    std::snprintf(salt, sizeof salt, "%016zx", std::hash<std::string_view>{}(name));
    check.sha256.replace(0, 16, salt);
    check.input_sha256.replace(0, 16, salt);
    std::optional<std::int64_t> id = runs.find_same(check.sha256, check.input_sha256);
    if (!id) {
        board::NewRun run{player, check.sha256, check.input_sha256, std::vector<std::uint8_t>(data, data + size),
                          check.logic_version, check.recorded_by};
        id = runs.add_run(run);
        const std::optional<board::Run> kept = runs.run(*id);
        if (!kept || kept->player != player || kept->sha256 != check.sha256 ||
            kept->verdict.status != board::RunStatus::pending || kept->verdict.recorded_by != check.recorded_by)
            broken("a run kept is not the run sent");
        std::vector<std::uint8_t> bytes;
        if (!runs.replay(*id, bytes) || bytes != run.replay) broken("a replay kept is not the replay sent");
    }
    if (runs.find_same(check.sha256, check.input_sha256) != id) broken("a run sent again is not found");
    board::BoardQuery query;
    query.player = player;
    for (const board::BoardRow& row : runs.board(query))
        if (row.run.player != player) broken("a player's view shows another's run");
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
        keep(check, board::check_name(name).empty() ? name : std::string_view("Fuzz"), data, size);
    } else if (check.problem.empty()) {
        broken("a file refused without a reason");
    }
    // A name on a line of its own before a file: the name as a player types it, kept with the run.
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    const std::size_t line_end = all.substr(0, 129).find('\n');
    if (line_end != std::string_view::npos && board::check_name(all.substr(0, line_end)).empty()) {
        const board::UploadCheck named = board::check_upload(data + line_end + 1, size - line_end - 1);
        if (named.ok) keep(named, all.substr(0, line_end), data + line_end + 1, size - line_end - 1);
    }
    return 0;
}
