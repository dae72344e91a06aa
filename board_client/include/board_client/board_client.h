// Sending a replay to a board: a server that plays every run it is sent again before it ranks
// it. The replay goes up as it is, the board answers with where to ask after it, and it is asked
// until it says verified (with the run's rank) or rejected (with why). For zorvalen-replay's
// --submit and the desktop's submit at the end of a game, which does it on a thread of its own.
//
// The board's interface: POST /api/v1/runs?name=NAME with the file as the body answers 202 (or
// 200 for a run it has already) with {"run_id", "status", "status_url"}; GET of the status_url
// answers {"status": pending|verified|rejected, "reason", "watch_url", ...}; GET
// /api/v1/board?around=RUN_ID lists the runs about it, each with its "rank".
#pragma once

#include <cstdint>
#include <string>
#ifndef _WIN32
#include <thread>
#endif

namespace board_client {

enum class Outcome {
    verified,     // played again and ranked
    rejected,     // played again, and the file did not hold: `reason` says why
    pending,      // sent, but not verified within the time given
    refused,      // the board would not take it (a bad name, a file too large, ...): `reason`
    unreachable,  // no answer, or none a board gives: `reason`
    unreadable,   // the file itself could not be read: `reason`
};

struct Verdict {
    Outcome outcome = Outcome::unreachable;
    std::string reason;
    std::string run_id;
    std::string status_url;  // absolute, as are the others
    std::string watch_url;
    std::int64_t rank = 0;   // 0 when the board did not say
    std::int64_t score = 0;
};

// The replay in `path` to the board at `board_url` (http://host:port, or with a path the board is
// served under), as `name`; asks after it for at most `wait_seconds`. Never throws.
Verdict submit_replay(const std::string& board_url, const std::string& name, const std::string& path,
                      double wait_seconds);

// The verdict as one line for a person: "verified: rank 3, score 3400: URL" or "rejected: why".
std::string describe(const Verdict& verdict);

// `--submit URL [--name NAME] FILE` as zorvalen-replay and the Windows exe take it (argv[0] is
// the program): the file is sent and its verdict waited for.
struct SubmitCommand {
    int status = 2;          // 0 only for a run the board verified; 1 for another verdict; 2 for a wrong command or file
    std::string line;        // what to print, "PROGRAM: ..." unless a verdict, with its newline
    bool on_stdout = false;  // a verdict (verified or rejected) is the command's output; the rest goes to stderr
};
SubmitCommand run_submit_command(int argc, const char* const argv[], const std::string& program);

// The name to send when none was given: the login's, or "player".
std::string default_player_name();

// A submit that never holds up its caller: start() sends on a thread of its own and prints the
// verdict as one line on stderr; finish() (and the destructor) waits for it.
class BackgroundSubmit {
public:
    BackgroundSubmit() = default;
    ~BackgroundSubmit() { finish(); }
    BackgroundSubmit(const BackgroundSubmit&) = delete;
    BackgroundSubmit& operator=(const BackgroundSubmit&) = delete;

    void start(std::string board_url, std::string name, std::string path, double wait_seconds);
    void finish();

private:
#ifdef _WIN32
    void* thread_ = nullptr;  // the exe's C++ runtime has no std::thread: a Windows thread's handle
#else
    std::thread thread_;
#endif
};

}  // namespace board_client
