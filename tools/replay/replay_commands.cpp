#include "replay_commands.h"

#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <vector>

#ifdef ZORVALEN_HAVE_BOARD_CLIENT
#include "board_client/board_client.h"
#endif
#include "replays/game_probe.h"
#include "replays/replay_session.h"
#include "replay_input.h"
#include "runner.h"

namespace replay {

namespace {

struct Command {
    std::string name;  // --verify, --info or --to-script
    std::string path;
    std::string asset_dir;
};

const char* ending_text(replays::Ending ending) {
    switch (ending) {
    case replays::Ending::escape: return "ended with Escape";
    case replays::Ending::window_closed: return "ended as its window was closed";
    case replays::Ending::stopped: return "ended";
    default: return "ended somehow";
    }
}

const char* recorder_text(replays::Recorder recorder) {
    switch (recorder) {
    case replays::Recorder::desktop: return "the desktop game";
    case replays::Recorder::page: return "the page";
    case replays::Recorder::windows: return "the Windows game";
    case replays::Recorder::runner: return "zorvalen-replay";
    default: return "something unknown";
    }
}

std::string start_text(const replays::ReplayHeader& header) {
    const std::time_t local = static_cast<std::time_t>(header.start_time + header.utc_offset * 60);
    std::tm when{};
    gmtime_r(&local, &when);
    char text[64];
    const int offset = header.utc_offset < 0 ? -header.utc_offset : header.utc_offset;
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d %c%02d:%02d", when.tm_year + 1900, when.tm_mon + 1,
                  when.tm_mday, when.tm_hour, when.tm_min, when.tm_sec, header.utc_offset < 0 ? '-' : '+', offset / 60,
                  offset % 60);
    return text;
}

int show_info(const Command& command) {
    std::vector<std::uint8_t> bytes;
    const replays::ReplayIndex index = replays::load_replay_file(command.path, bytes);
    if (index.status == replays::ReadStatus::unreadable) {
        std::fprintf(stderr, "zorvalen-replay: %s: %s\n", command.path.c_str(), index.problem.c_str());
        return 2;
    }
    const replays::ReplayHeader& header = index.header;
    std::printf("file:     %s\n", command.path.c_str());
    std::printf("format:   version %u, the game's logic version %u%s\n", header.format_version, header.logic_version,
                header.logic_version == replays::GAME_LOGIC_VERSION ? " (this game's)" : " (not this game's)");
    std::printf("recorded: %s by %s\n", start_text(header).c_str(), recorder_text(header.recorder));
    std::printf("assets:   %016" PRIx64 "%s\n", header.asset_digest,
                header.asset_digest == replays::digest_asset_pack(command.asset_dir) ? " (the same as these)"
                                                                                      : " (not these)");
    std::printf("frames:   %u (%s) in %zu blocks\n", index.frames, replays::clock_of_frames(index.frames).c_str(),
                index.blocks.size());
    if (index.has_trailer) {
        const replays::ReplayTrailer& trailer = index.trailer;
        std::printf("end:      %s; score %d, high score %d, level %d (as the trailer claims: --verify plays it to "
                    "check)\n",
                    ending_text(trailer.ending), trailer.score, trailer.high_score, trailer.level);
    } else {
        std::printf("end:      cut short, with no trailer (killed, or still being played): readable to its last block\n");
    }
    return 0;
}

int to_script(const Command& command) {
    std::string error;
    Script script;
    if (!load_run_input(command.path, script, error)) {
        std::fprintf(stderr, "zorvalen-replay: %s\n", error.c_str());
        return 2;
    }
    std::printf("# %s, as a script: %" PRId64 " frames\n", command.path.c_str(), script.frame_count());
    std::string text;
    for (const ScriptLine& line : script.lines) {
        text.clear();
        append_script_line(text, line.input, line.count);
        std::printf("%s\n", text.c_str());
    }
    return 0;
}

// Whether the replay's last frame holds Escape: the recorder says it ended with Escape exactly then.
bool last_frame_holds_escape(const std::string& path) {
    constexpr int DIK_ESCAPE = 1;
    std::vector<std::uint8_t> bytes;
    const replays::ReplayIndex index = replays::load_replay_file(path, bytes);
    if (index.blocks.empty()) return false;
    replays::FrameCursor cursor(bytes.data(), index.blocks.back());
    replays::FrameReads last;
    while (!cursor.done()) last = cursor.next();
    return last.key(DIK_ESCAPE);
}

// The first field of the trailer the run contradicts, as one line, or empty when it tells the truth.
std::string first_trailer_lie(const std::string& path, const replays::ReplayTrailer& trailer, std::int64_t frames,
                              const replays::GameFacts& facts, std::uint64_t final_digest) {
    auto claims = [](const char* field, std::int64_t claimed, std::int64_t real, const char* verb) {
        return "trailer claims " + std::string(field) + " " + std::to_string(claimed) + ", the run " + verb + " " +
               std::to_string(real);
    };
    if (frames != trailer.frames) return claims("frames", trailer.frames, frames, "played");
    // Escape on the last frame is the one ending the input shows; a closed window and any other
    // stop look alike in it, so either is taken.
    const bool escape = last_frame_holds_escape(path);
    const bool claims_escape = trailer.ending == replays::Ending::escape;
    if (claims_escape != escape || trailer.ending == replays::Ending::unknown)
        return std::string("trailer claims the game ") + ending_text(trailer.ending) + ", the run " +
               (escape ? "ended with Escape" : "did not end with Escape");
    if (trailer.score != facts.score) return claims("score", trailer.score, facts.score, "scored");
    if (trailer.high_score != facts.high_score)
        return claims("high score", trailer.high_score, facts.high_score, "reached");
    if (trailer.level != facts.level) return claims("level", trailer.level, facts.level, "ended at");
    if (trailer.final_digest != final_digest) {
        char line[160];
        std::snprintf(line, sizeof line,
                      "trailer claims the final state digest %016" PRIx64 ", the run ended with %016" PRIx64,
                      trailer.final_digest, final_digest);
        return line;
    }
    return {};
}

int verify(const Command& command) {
    std::error_code failure;
    const std::string path = std::filesystem::absolute(command.path, failure).string();
    const std::filesystem::path back = std::filesystem::current_path(failure);
    std::filesystem::current_path(command.asset_dir, failure);
    if (failure) {
        std::fprintf(stderr, "zorvalen-replay: --assets: cannot enter '%s': %s\n", command.asset_dir.c_str(),
                     failure.message().c_str());
        return 2;
    }
    replays::install_game_probe();
    std::string message, warning;
    if (!replays::start_playing(path, replays::ReplayPlayer::Use::verify, message, warning)) {
        std::filesystem::current_path(back, failure);
        std::fprintf(stderr, "zorvalen-replay: %s\n", message.c_str());
        return 2;
    }
    if (!warning.empty()) std::fprintf(stderr, "zorvalen-replay: warning: %s\n", warning.c_str());
    const replays::ReplayPlayer& player = *replays::active_player();
    const replays::ReplayIndex& index = player.index();

    RunSettings settings;
    settings.mode = headless::Mode::record;
    settings.frame_limit = index.frames;
    settings.input_source = [](int64_t, FrameInput&) {};  // every read comes from the replay
    const RunOutcome outcome = play(Script{}, settings);
    const std::uint64_t final_digest = replays::game_probe()->digest_state();
    replays::GameFacts facts;
    replays::game_probe()->read_facts(facts);
    const std::int64_t desync = player.desync_frame();
    const int checks = player.checks();
    replays::end_session();
    std::filesystem::current_path(back, failure);

    if (!outcome.started) {
        std::fprintf(stderr, "zorvalen-replay: the game could not start (no window or graphics device)\n");
        return 1;
    }
    const char* name = command.path.c_str();
    if (desync >= 0 || (!index.has_trailer && outcome.frames != index.frames)) {
        const std::int64_t at = desync >= 0 ? desync : outcome.frames - 1;
        std::printf("%s: desync at frame %" PRId64 " (%s): the game's state there is not the recorded one\n", name, at,
                    replays::clock_of_frames(static_cast<std::uint32_t>(at)).c_str());
        return 1;
    }
    if (index.has_trailer) {
        // The trailer is what --info, the folder's best and a board would believe: every field
        // the run can tell is held to what the run did, or the file is a lie however good its CRC.
        const std::string lie = first_trailer_lie(command.path, index.trailer, outcome.frames, facts, final_digest);
        if (!lie.empty()) {
            std::printf("%s: %s\n", name, lie.c_str());
            return 1;
        }
    }
    std::printf("%s: %u frames (%s), score %d, level %d, high score %d, %s: all %d checks match\n", name, index.frames,
                replays::clock_of_frames(index.frames).c_str(), facts.score, facts.level, facts.high_score,
                index.has_trailer ? ending_text(index.trailer.ending) : "cut short", checks + (index.has_trailer ? 1 : 0));
    return 0;
}

// --submit URL [--name NAME] FILE: exits 0 only for a run the board verified.
int submit(int argc, const char* const argv[]) {
#ifdef ZORVALEN_HAVE_BOARD_CLIENT
    const board_client::SubmitCommand command = board_client::run_submit_command(argc, argv, "zorvalen-replay");
    std::fputs(command.line.c_str(), command.on_stdout ? stdout : stderr);
    return command.status;
#else
    (void)argc;
    (void)argv;
    std::fprintf(stderr, "zorvalen-replay: this build cannot submit to a board; install libcurl's and nlohmann-json's "
                         "development files (Debian: libcurl4-openssl-dev nlohmann-json3-dev) and build again\n");
    return 2;
#endif
}

}  // namespace

bool wants_replay_command(int argc, const char* const argv[]) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--") return false;
        if (argument == "--verify" || argument == "--info" || argument == "--to-script" || argument == "--submit")
            return true;
    }
    return false;
}

int run_replay_command_line(int argc, const char* const argv[], const std::string& default_asset_dir) {
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "--submit") return submit(argc, argv);
    Command command;
    command.asset_dir = default_asset_dir;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool takes_file = argument == "--verify" || argument == "--info" || argument == "--to-script";
        if ((takes_file || argument == "--assets") && i + 1 < argc) {
            if (takes_file) {
                if (!command.name.empty()) {
                    std::fprintf(stderr, "zorvalen-replay: %s and %s: one at a time\n", command.name.c_str(),
                                 argument.c_str());
                    return 2;
                }
                command.name = argument;
                command.path = argv[++i];
            } else {
                command.asset_dir = argv[++i];
            }
            continue;
        }
        std::fprintf(stderr, "zorvalen-replay: %s: unexpected with --verify, --info or --to-script (--help lists the options)\n",
                     argument.c_str());
        return 2;
    }
    if (command.name == "--info") return show_info(command);
    if (command.name == "--to-script") return to_script(command);
    return verify(command);
}

}  // namespace replay
