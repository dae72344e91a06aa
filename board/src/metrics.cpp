#include "metrics.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <map>
#include <mutex>

namespace board {

namespace {

constexpr std::array<const char*, static_cast<std::size_t>(UploadOutcome::count)> OUTCOMES = {
    "accepted", "duplicate", "refused", "limited", "queue_full", "failed"};
// A run is played in a second or two for a short game, a minute or more for a long one.
constexpr std::array<double, 11> BUCKETS = {0.5, 1, 2, 5, 10, 20, 30, 60, 120, 300, 600};

struct Counters {
    std::mutex mutex;
    std::map<std::pair<int, unsigned>, std::uint64_t> requests;  // (route, status)
    std::array<std::uint64_t, OUTCOMES.size()> uploads{};
    std::map<std::string, std::uint64_t> verdicts;
    std::array<std::uint64_t, BUCKETS.size()> buckets{};
    std::uint64_t verifications = 0;
    double verification_seconds = 0;
    std::uint64_t database_errors = 0;
};

Counters& counters() {
    static Counters all;
    return all;
}

}  // namespace

const char* route_name(Route route) {
    static constexpr const char* NAMES[] = {"upload", "run",     "board",   "replay", "page",
                                            "play",   "metrics", "healthz", "readyz", "other"};
    return NAMES[static_cast<int>(route)];
}

void count_request(Route route, unsigned status) {
    Counters& all = counters();
    std::lock_guard lock(all.mutex);
    ++all.requests[{static_cast<int>(route), status}];
}

void count_upload(UploadOutcome outcome) {
    Counters& all = counters();
    std::lock_guard lock(all.mutex);
    ++all.uploads[static_cast<std::size_t>(outcome)];
}

void count_verdict(const char* status, double seconds) {
    Counters& all = counters();
    std::lock_guard lock(all.mutex);
    ++all.verdicts[status];
    for (std::size_t i = 0; i < BUCKETS.size(); ++i)
        if (seconds <= BUCKETS[i]) ++all.buckets[i];
    ++all.verifications;
    all.verification_seconds += seconds;
}

void count_database_error() {
    Counters& all = counters();
    std::lock_guard lock(all.mutex);
    ++all.database_errors;
}

std::string metrics_text(std::int64_t queue_depth) {
    Counters& all = counters();
    std::lock_guard lock(all.mutex);
    std::string out;
    char line[256];
    const auto add = [&](const char* format, auto... values) {
        std::snprintf(line, sizeof line, format, values...);
        out += line;
    };
    out += "# HELP zorvalen_board_requests_total Requests answered, by route and status.\n"
           "# TYPE zorvalen_board_requests_total counter\n";
    for (const auto& [key, count] : all.requests)
        add("zorvalen_board_requests_total{route=\"%s\",status=\"%u\"} %" PRIu64 "\n",
            route_name(static_cast<Route>(key.first)), key.second, count);
    out += "# HELP zorvalen_board_uploads_total Uploads, by what became of them.\n"
           "# TYPE zorvalen_board_uploads_total counter\n";
    for (std::size_t i = 0; i < OUTCOMES.size(); ++i)
        add("zorvalen_board_uploads_total{outcome=\"%s\"} %" PRIu64 "\n", OUTCOMES[i], all.uploads[i]);
    out += "# HELP zorvalen_board_verdicts_total Runs verified by this process, by verdict.\n"
           "# TYPE zorvalen_board_verdicts_total counter\n";
    for (const char* status : {"verified", "rejected"}) {
        const auto found = all.verdicts.find(status);
        add("zorvalen_board_verdicts_total{status=\"%s\"} %" PRIu64 "\n", status,
            found == all.verdicts.end() ? std::uint64_t{0} : found->second);
    }
    out += "# HELP zorvalen_board_queue_depth Runs waiting for their verdict.\n"
           "# TYPE zorvalen_board_queue_depth gauge\n";
    add("zorvalen_board_queue_depth %" PRId64 "\n", queue_depth);
    out += "# HELP zorvalen_board_verification_seconds Time on the clock to verify a run.\n"
           "# TYPE zorvalen_board_verification_seconds histogram\n";
    for (std::size_t i = 0; i < BUCKETS.size(); ++i)
        add("zorvalen_board_verification_seconds_bucket{le=\"%g\"} %" PRIu64 "\n", BUCKETS[i], all.buckets[i]);
    add("zorvalen_board_verification_seconds_bucket{le=\"+Inf\"} %" PRIu64 "\n", all.verifications);
    add("zorvalen_board_verification_seconds_sum %.3f\n", all.verification_seconds);
    add("zorvalen_board_verification_seconds_count %" PRIu64 "\n", all.verifications);
    out += "# HELP zorvalen_board_database_errors_total Database calls that failed.\n"
           "# TYPE zorvalen_board_database_errors_total counter\n";
    add("zorvalen_board_database_errors_total %" PRIu64 "\n", all.database_errors);
    return out;
}

std::string log_time() {
    const std::int64_t milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(milliseconds / 1000);
    std::tm when{};
    gmtime_r(&seconds, &when);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", when.tm_year + 1900, when.tm_mon + 1,
                  when.tm_mday, when.tm_hour, when.tm_min, when.tm_sec, static_cast<int>(milliseconds % 1000));
    return text;
}

void log_line(const std::string& fields) {
    // One write per line, so that lines from several threads never interleave.
    const std::string line = "time=" + log_time() + " " + fields + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
}

}  // namespace board
