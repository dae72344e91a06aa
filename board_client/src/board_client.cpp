#include "board_client/board_client.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <vector>

#include <nlohmann/json.hpp>

#include "replays/replay_file.h"

namespace board_client {

namespace {

using Json = nlohmann::json;

constexpr long CONNECT_SECONDS = 5;
// No request outlasts this, nor the time the caller gave: a board that takes the connection and
// says nothing holds no one up for longer.
constexpr long REQUEST_SECONDS = 30;
constexpr auto POLL_EVERY = std::chrono::milliseconds(250);
constexpr std::size_t LARGEST_ANSWER = 1 << 20;

struct Answer {
    long status = 0;  // 0: no answer at all, `error` says why
    std::string error;
    std::string body;
};

std::size_t keep_body(char* data, std::size_t size, std::size_t count, void* to) {
    std::string& body = *static_cast<std::string*>(to);
    if (body.size() + size * count > LARGEST_ANSWER) return 0;  // not a board's answer: cut off
    body.append(data, size * count);
    return size * count;
}

void init_curl_once() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// One request; `upload` null for a GET.
Answer ask(const std::string& url, const std::vector<std::uint8_t>* upload, long timeout_seconds) {
    init_curl_once();
    Answer answer;
    CURL* curl = curl_easy_init();
    if (curl == nullptr) {
        answer.error = "cannot start a request";
        return answer;
    }
    char error[CURL_ERROR_SIZE] = {0};
    curl_slist* headers = nullptr;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);  // safe on a thread of its own
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, std::clamp(timeout_seconds, 1L, REQUEST_SECONDS));
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, std::clamp(timeout_seconds, 1L, CONNECT_SECONDS));
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, keep_body);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer.body);
    headers = curl_slist_append(headers, "Accept: application/json");
    if (upload != nullptr) {
        headers = curl_slist_append(headers, "Content-Type: application/octet-stream");
        curl_easy_setopt(curl, CURLOPT_POST, 1L);
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, upload->data());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(upload->size()));
    }
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    const CURLcode done = curl_easy_perform(curl);
    if (done == CURLE_OK) {
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.status);
    } else {
        answer.error = error[0] != '\0' ? error : curl_easy_strerror(done);
    }
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return answer;
}

// `relative` (a path the board gave) against the board's address.
std::string resolve(const std::string& base, const std::string& relative) {
    if (relative.empty()) return {};
    CURLU* url = curl_url();
    std::string resolved = relative;
    char* text = nullptr;
    if (curl_url_set(url, CURLUPART_URL, base.c_str(), 0) == CURLUE_OK &&
        curl_url_set(url, CURLUPART_URL, relative.c_str(), 0) == CURLUE_OK &&
        curl_url_get(url, CURLUPART_URL, &text, 0) == CURLUE_OK) {
        resolved = text;
        curl_free(text);
    }
    curl_url_cleanup(url);
    return resolved;
}

// The board's address with its API's path after it: "http://h:8080" or "http://h:8080/x/".
std::string api_url(const std::string& board_url, const std::string& path) {
    std::string base = board_url;
    if (base.empty() || base.back() != '/') base += '/';
    return base + path;
}

std::string escape(const std::string& text) {
    init_curl_once();
    char* escaped = curl_easy_escape(nullptr, text.c_str(), static_cast<int>(text.size()));
    std::string result = escaped != nullptr ? escaped : "";
    curl_free(escaped);
    return result;
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

std::string default_player_name() {
    const char* login = std::getenv("USER");
    if (login == nullptr || login[0] == '\0') login = std::getenv("USERNAME");
    return login != nullptr && login[0] != '\0' ? login : "player";
}

void BackgroundSubmit::start(std::string board_url, std::string name, std::string path, double wait_seconds) {
    finish();
    thread_ = std::thread([board_url = std::move(board_url), name = std::move(name), path = std::move(path),
                           wait_seconds] {
        const Verdict verdict = submit_replay(board_url, name, path, wait_seconds);
        std::fprintf(stderr, "zorvalen: the board: %s\n", describe(verdict).c_str());
    });
}

void BackgroundSubmit::finish() {
    if (thread_.joinable()) thread_.join();
}

}  // namespace board_client
