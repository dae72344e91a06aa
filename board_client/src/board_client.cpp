#include "board_client/board_client.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "replays/replay_file.h"
#include "transport.h"

namespace board_client {

namespace {

using Json = nlohmann::json;

constexpr auto POLL_EVERY = std::chrono::milliseconds(250);

// The board's address with its API's path after it: "http://h:8080" or "http://h:8080/x/".
std::string api_url(const std::string& board_url, const std::string& path) {
    std::string base = board_url;
    if (base.empty() || base.back() != '/') base += '/';
    return base + path;
}

// As a query's value or a path's segment: all but the unreserved characters as %XX.
std::string escape(const std::string& text) {
    static constexpr char HEX[] = "0123456789ABCDEF";
    std::string escaped;
    for (const unsigned char c : text) {
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' || c == '.' || c == '_' || c == '~') {
            escaped += static_cast<char>(c);
        } else {
            escaped += '%';
            escaped += HEX[c >> 4];
            escaped += HEX[c & 15];
        }
    }
    return escaped;
}

// `relative` (a URL the board gave: absolute, from its root, or from the base's folder) against
// the board's address.
std::string resolve(const std::string& base, const std::string& relative) {
    if (relative.empty() || relative.starts_with("http://") || relative.starts_with("https://")) return relative;
    const std::size_t scheme_end = base.find("://");
    const std::size_t host_start = scheme_end == std::string::npos ? 0 : scheme_end + 3;
    if (relative.front() == '/') return base.substr(0, base.find('/', host_start)) + relative;
    const std::size_t folder_end = base.rfind('/');
    return (folder_end == std::string::npos || folder_end < host_start ? base + '/' : base.substr(0, folder_end + 1)) +
           relative;
}

std::string text_of(const Json& json, const char* key) {
    const auto found = json.find(key);
    return found != json.end() && found->is_string() ? found->get<std::string>() : std::string();
}

// A run's id as text, whether the board writes it as a number (as ours does) or as a string.
std::string id_of(const Json& json, const char* key) {
    const auto found = json.find(key);
    if (found != json.end() && found->is_number_integer()) return std::to_string(found->get<std::int64_t>());
    return text_of(json, key);
}

std::int64_t number_of(const Json& json, const char* key) {
    const auto found = json.find(key);
    return found != json.end() && found->is_number_integer() ? found->get<std::int64_t>() : 0;
}

// What a board said when it would not: its own message where it gave one.
std::string why_not(const Answer& answer) {
    const Json json = Json::parse(answer.body, nullptr, false);
    if (json.is_object())
        for (const char* key : {"error", "message", "reason"})
            if (const std::string said = text_of(json, key); !said.empty()) return said;
    return "the board answered HTTP " + std::to_string(answer.status);
}

void take_run(const Json& run, const std::string& board_url, Verdict& verdict) {
    const std::string status = text_of(run, "status");
    if (status == "verified") verdict.outcome = Outcome::verified;
    if (status == "rejected") verdict.outcome = Outcome::rejected;
    if (const std::string reason = text_of(run, "reason"); !reason.empty()) verdict.reason = reason;
    if (const std::string watch = text_of(run, "watch_url"); !watch.empty()) verdict.watch_url = resolve(board_url, watch);
    verdict.score = number_of(run, "score");
}

void find_rank(const std::string& board_url, Verdict& verdict) {
    const Answer answer =
        ask(api_url(board_url, "api/v1/board?around=" + escape(verdict.run_id)), nullptr, CONNECT_SECONDS);
    if (answer.status != 200) return;
    const Json board = Json::parse(answer.body, nullptr, false);
    if (!board.is_object() || !board.contains("items") || !board["items"].is_array()) return;
    for (const Json& item : board["items"])
        if (item.is_object() && id_of(item, "run_id") == verdict.run_id) verdict.rank = number_of(item, "rank");
}

}  // namespace

Verdict submit_replay(const std::string& board_url, const std::string& name, const std::string& path,
                      double wait_seconds) {
    Verdict verdict;
    std::vector<std::uint8_t> bytes;
    // The reader's own checks first: a file the board would refuse is not sent.
    const replays::ReplayIndex index = replays::load_replay_file(path, bytes);
    if (index.status == replays::ReadStatus::unreadable) {
        verdict.outcome = Outcome::unreadable;
        verdict.reason = path + ": " + index.problem;
        return verdict;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(wait_seconds);
    auto seconds_left = [&deadline] {
        return static_cast<long>(std::chrono::ceil<std::chrono::seconds>(deadline - std::chrono::steady_clock::now()).count());
    };
    const Answer sent = ask(api_url(board_url, "api/v1/runs?name=" + escape(name)), &bytes, seconds_left());
    if (sent.status == 0) {
        verdict.reason = board_url + " cannot be reached: " + sent.error;
        return verdict;
    }
    const Json run = Json::parse(sent.body, nullptr, false);
    if (sent.status != 200 && sent.status != 202) {
        verdict.outcome = sent.status >= 500 ? Outcome::unreachable : Outcome::refused;
        verdict.reason = why_not(sent);
        return verdict;
    }
    verdict.run_id = run.is_object() ? id_of(run, "run_id") : "";
    verdict.status_url = run.is_object() ? resolve(board_url, text_of(run, "status_url")) : "";
    if (verdict.run_id.empty()) {
        verdict.reason = board_url + " answered, but not as a board does (no run_id)";
        return verdict;
    }
    if (verdict.status_url.empty())
        verdict.status_url = api_url(board_url, "api/v1/runs/" + escape(verdict.run_id));
    verdict.outcome = Outcome::pending;
    take_run(run, board_url, verdict);

    while (verdict.outcome == Outcome::pending && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(POLL_EVERY);
        const Answer status = ask(verdict.status_url, nullptr, seconds_left());
        if (status.status != 200) continue;  // a board busy or restarting: ask again
        const Json now = Json::parse(status.body, nullptr, false);
        if (now.is_object()) take_run(now, board_url, verdict);
    }
    if (verdict.outcome == Outcome::verified) find_rank(board_url, verdict);
    return verdict;
}

std::string describe(const Verdict& verdict) {
    switch (verdict.outcome) {
    case Outcome::verified: {
        std::string line = "verified";
        if (verdict.rank > 0) line += ": rank " + std::to_string(verdict.rank);
        line += (verdict.rank > 0 ? ", score " : ": score ") + std::to_string(verdict.score);
        if (!verdict.watch_url.empty()) line += ": " + verdict.watch_url;
        return line;
    }
    case Outcome::rejected: return "rejected: " + (verdict.reason.empty() ? "the board gave no reason" : verdict.reason);
    case Outcome::pending: return "sent, not verified yet: " + verdict.status_url;
    case Outcome::refused: return "refused: " + verdict.reason;
    case Outcome::unreachable:
    case Outcome::unreadable: return verdict.reason;
    }
    return verdict.reason;
}

SubmitCommand run_submit_command(int argc, const char* const argv[], const std::string& program) {
    // A ten-minute run plays again in a few seconds; a board with a queue may take longer.
    constexpr double WAIT_SECONDS = 60;
    SubmitCommand command;
    std::string url, name, path;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if ((argument == "--submit" || argument == "--name") && i + 1 < argc) {
            (argument == "--submit" ? url : name) = argv[++i];
        } else if (path.empty() && !argument.starts_with("--")) {
            path = argument;
        } else {
            command.line = program + ": " + argument + ": unexpected with --submit URL [--name NAME] FILE\n";
            return command;
        }
    }
    if (url.empty() || path.empty()) {
        command.line = program + ": --submit takes a board's URL and a replay: --submit URL [--name NAME] FILE\n";
        return command;
    }
    const Verdict verdict = submit_replay(url, name.empty() ? default_player_name() : name, path, WAIT_SECONDS);
    const std::string line = path + ": " + describe(verdict) + "\n";
    command.on_stdout = verdict.outcome == Outcome::verified || verdict.outcome == Outcome::rejected;
    command.status = verdict.outcome == Outcome::verified ? 0 : verdict.outcome == Outcome::unreadable ? 2 : 1;
    if (verdict.outcome == Outcome::unreadable) command.line = program + ": " + verdict.reason + "\n";
    else command.line = command.on_stdout ? line : program + ": " + line;
    return command;
}

std::string default_player_name() {
    const char* login = std::getenv("USER");
    if (login == nullptr || login[0] == '\0') login = std::getenv("USERNAME");
    return login != nullptr && login[0] != '\0' ? login : "player";
}

namespace {

struct SubmitJob {
    std::string board_url, name, path;
    double wait_seconds;
};

void run_submit_job(const SubmitJob& job) {
    const Verdict verdict = submit_replay(job.board_url, job.name, job.path, job.wait_seconds);
    std::fprintf(stderr, "zorvalen: the board: %s\n", describe(verdict).c_str());
}

#ifdef _WIN32
DWORD WINAPI run_submit_thread(LPVOID job) {
    const std::unique_ptr<SubmitJob> owned(static_cast<SubmitJob*>(job));
    run_submit_job(*owned);
    return 0;
}
#endif

}  // namespace

void BackgroundSubmit::start(std::string board_url, std::string name, std::string path, double wait_seconds) {
    finish();
    SubmitJob job{std::move(board_url), std::move(name), std::move(path), wait_seconds};
#ifdef _WIN32
    auto owned = std::make_unique<SubmitJob>(std::move(job));
    thread_ = CreateThread(nullptr, 0, run_submit_thread, owned.get(), 0, nullptr);
    if (thread_ != nullptr) owned.release();
    else run_submit_job(*owned);  // no thread to be had: the game is over, so send it here
#else
    thread_ = std::thread([job = std::move(job)] { run_submit_job(job); });
#endif
}

void BackgroundSubmit::finish() {
#ifdef _WIN32
    if (thread_ == nullptr) return;
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    thread_ = nullptr;
#else
    if (thread_.joinable()) thread_.join();
#endif
}

}  // namespace board_client
