// What the board counts for its operator, written out at GET /metrics in the Prometheus text
// format, and its one-line logs on standard error. One set of counters for the process.
#pragma once

#include <cstdint>
#include <string>

namespace board {

// The routes by which requests are counted and logged: a fixed set, never the path itself,
// so that a client cannot make a counter per URL.
enum class Route { upload, run, board, replay, page, play, metrics, healthz, readyz, other, count };
const char* route_name(Route route);

// What became of an upload.
enum class UploadOutcome { accepted, duplicate, refused, limited, queue_full, failed, count };

void count_request(Route route, unsigned status);
void count_upload(UploadOutcome outcome);
void count_verdict(const char* status, double seconds);
void count_database_error();

// The text of /metrics; `queue_depth` is the runs waiting to be verified.
std::string metrics_text(std::int64_t queue_depth);

// Now as 2026-01-31T12:00:00.000Z, the first field of every log line.
std::string log_time();
// One line on standard error: the time, then `fields` (key=value ...).
void log_line(const std::string& fields);

}  // namespace board
