// Routes:
//   POST /api/v1/runs?name=NAME      the replay as the body: 202 pending, 200 already sent
//   GET  /api/v1/runs/ID             one run
//   GET  /api/v1/board?limit&cursor|from_rank|around&player
//   GET  /runs/ID.zvr[?download=1]   the replay itself
//   GET  /                           the board's page (board/www)
//   GET  /play/...                   the game's page
//   GET  /metrics                    counters for the operator (Prometheus text format)
//   GET  /healthz, /readyz           the process answers; the database answers too (or 503)
// Every answer carries a Content-Security-Policy of default-src 'self'.
//
// libmicrohttpd rather than a header-only server: it bounds what one client can hold (a
// connection limit per address, a memory limit per connection, an idle timeout) and hands the
// body on in pieces, so a refused upload is answered from its headers before it is read.
#include "http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <microhttpd.h>
#include <netdb.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <cmath>
#include <cinttypes>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <thread>
#include <unordered_map>

#include "metrics.h"
#include "replays/replay_file.h"
#include "upload_checks.h"

namespace board {

namespace {

using nlohmann::json;

constexpr char CSP[] = "default-src 'self'";
// The game's page compiles its WebAssembly, which a bare default-src 'self' forbids.
constexpr char PLAY_CSP[] = "default-src 'self'; script-src 'self' 'wasm-unsafe-eval'";
constexpr unsigned RETRY_AFTER_SECONDS = 30;
// A database restarting or failing over is back within seconds.
constexpr unsigned DATABASE_RETRY_SECONDS = 5;

struct Request {
    Route route = Route::other;
    const char* method = "OTHER";
    std::string address;
    std::chrono::steady_clock::time_point began;
    unsigned status = 0;  // 0 until answered
    std::uint64_t bytes = 0;
    bool upload = false;
    bool answered = false;  // refused from its headers: the body is not read
    bool store_failed = false;  // answered so because the database failed
    std::size_t expected = 0;
    std::string name;
    std::vector<std::uint8_t> body;
};

// What the sweeper needs of each open connection: its socket, and since when it has been
// receiving a request (0 while one is being answered).
struct Tracked {
    int fd = -1;
    std::int64_t receiving_since = 0;
};

// The request being handled on this thread, for its log line and its counters.
thread_local Request* current_request = nullptr;

// A token bucket per address: `burst` uploads at once, then one every 60 / `per_minute` seconds.
class UploadLimiter {
public:
    UploadLimiter(double per_minute, unsigned burst) : per_second_(per_minute / 60), burst_(burst) {}

    // Nothing when the upload may go ahead (its token taken); otherwise the seconds to wait.
    std::optional<unsigned> take(const std::string& address) {
        if (per_second_ <= 0 || burst_ == 0) return std::nullopt;
        std::lock_guard lock(mutex_);
        const double now = seconds_now();
        Bucket& bucket = buckets_.try_emplace(address, Bucket{static_cast<double>(burst_), now}).first->second;
        refill(bucket, now);
        if (bucket.tokens >= 1) {
            bucket.tokens -= 1;
            return std::nullopt;
        }
        return static_cast<unsigned>(std::max(1.0, std::ceil((1 - bucket.tokens) / per_second_)));
    }

    // Addresses whose bucket has filled again are as good as new: forgotten, so that the map
    // holds only the addresses that sent lately.
    void forget_full() {
        std::lock_guard lock(mutex_);
        const double now = seconds_now();
        for (auto at = buckets_.begin(); at != buckets_.end();) {
            refill(at->second, now);
            at = at->second.tokens >= burst_ ? buckets_.erase(at) : std::next(at);
        }
    }

private:
    struct Bucket {
        double tokens = 0;
        double at = 0;
    };
    static double seconds_now() {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    }
    void refill(Bucket& bucket, double now) const {
        bucket.tokens = std::min(static_cast<double>(burst_), bucket.tokens + (now - bucket.at) * per_second_);
        bucket.at = now;
    }

    double per_second_;
    unsigned burst_;
    std::mutex mutex_;
    std::map<std::string, Bucket> buckets_;
};

const char* method_name(const std::string& method) {
    if (method == "GET") return "GET";
    if (method == "HEAD") return "HEAD";
    if (method == "POST") return "POST";
    return "OTHER";  // whatever a client sent is not written into the log as it is
}

Route route_of(const std::string& method, const std::string& url) {
    if (url == "/api/v1/runs") return method == "POST" ? Route::upload : Route::other;
    if (url.rfind("/api/v1/runs/", 0) == 0) return Route::run;
    if (url == "/api/v1/board") return Route::board;
    if (url.rfind("/runs/", 0) == 0) return Route::replay;
    if (url == "/play" || url.rfind("/play/", 0) == 0) return Route::play;
    if (url == "/metrics") return Route::metrics;
    if (url == "/healthz") return Route::healthz;
    if (url == "/readyz") return Route::readyz;
    if (url.rfind("/api/", 0) == 0) return Route::other;
    return Route::page;
}

UploadOutcome outcome_of(unsigned status) {
    switch (status) {
    case MHD_HTTP_ACCEPTED: return UploadOutcome::accepted;
    case MHD_HTTP_OK: return UploadOutcome::duplicate;
    case MHD_HTTP_TOO_MANY_REQUESTS: return UploadOutcome::limited;
    case MHD_HTTP_SERVICE_UNAVAILABLE: return UploadOutcome::queue_full;
    default: return status >= 500 ? UploadOutcome::failed : UploadOutcome::refused;
    }
}

std::int64_t now_seconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string iso_time(std::int64_t milliseconds) {
    const std::time_t seconds = static_cast<std::time_t>(milliseconds / 1000);
    std::tm when{};
    gmtime_r(&seconds, &when);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", when.tm_year + 1900, when.tm_mon + 1,
                  when.tm_mday, when.tm_hour, when.tm_min, when.tm_sec, static_cast<int>(milliseconds % 1000));
    return text;
}

std::optional<std::int64_t> parse_id(const std::string& text) {
    if (text.empty() || text.size() > 18) return std::nullopt;
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::string replay_url(std::int64_t id) { return "/runs/" + std::to_string(id) + ".zvr"; }

json run_json(const Run& run, std::optional<std::int64_t> rank) {
    const Verdict& v = run.verdict;
    const bool done = v.status != RunStatus::pending;
    json out = {{"run_id", run.id},
                {"status", status_name(v.status)},
                {"player", run.player},
                {"score", done ? json(v.score) : json(nullptr)},
                {"level", done ? json(v.level) : json(nullptr)},
                {"frames", done ? json(v.frames) : json(nullptr)},
                {"length", done ? json(replays::clock_of_frames(v.frames)) : json(nullptr)},
                {"ending", done ? json(v.ending) : json(nullptr)},
                {"recorded_by", v.recorded_by},
                {"utc_offset", done ? json(v.utc_offset) : json(nullptr)},
                {"verified_at", done ? json(iso_time(run.verified_at)) : json(nullptr)},
                {"reason", v.reason.empty() ? json(nullptr) : json(v.reason)},
                {"replay_url", replay_url(run.id)},
                {"watch_url", "/play/?watch=" + replay_url(run.id)}};
    if (rank) out["rank"] = *rank;
    return out;
}

std::string cursor_of(const Run& run) {
    return std::to_string(run.verdict.score) + "." + std::to_string(run.verified_at) + "." + std::to_string(run.id);
}

std::optional<BoardKey> parse_cursor(const std::string& text) {
    BoardKey key;
    long long score = 0, at = 0, id = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%lld.%lld.%lld%c", &score, &at, &id, &tail) != 3) return std::nullopt;
    key.score = static_cast<std::int32_t>(score);
    key.verified_at = at;
    key.id = id;
    return key;
}

const char* content_type_of(const std::string& path) {
    const std::string ext = std::filesystem::path(path).extension().string();
    if (ext == ".html") return "text/html; charset=utf-8";
    if (ext == ".js") return "text/javascript; charset=utf-8";
    if (ext == ".css") return "text/css; charset=utf-8";
    if (ext == ".wasm") return "application/wasm";
    if (ext == ".json") return "application/json";
    if (ext == ".webmanifest") return "application/manifest+json";
    if (ext == ".png") return "image/png";
    if (ext == ".svg") return "image/svg+xml";
    return "application/octet-stream";
}

class HttpServer final : public Server {
public:
    HttpServer(const ServerSettings& settings, Store& store, VerifierPool* pool)
        : settings_(settings), store_(store), pool_(pool), limiter_(settings.uploads_per_minute, settings.upload_burst) {}

    bool start(std::string& error) {
        const unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_USE_ERROR_LOG;
        daemon_ = MHD_start_daemon(
            flags, 0, nullptr, nullptr, &HttpServer::on_request, this,
            MHD_OPTION_LISTEN_SOCKET, settings_.listen_socket,
            MHD_OPTION_THREAD_POOL_SIZE, 4u,
            MHD_OPTION_CONNECTION_LIMIT, settings_.max_connections > 0 ? settings_.max_connections : 1000000u,
            MHD_OPTION_PER_IP_CONNECTION_LIMIT, settings_.max_connections_per_address,
            MHD_OPTION_CONNECTION_MEMORY_LIMIT, settings_.connection_memory,
            MHD_OPTION_CONNECTION_TIMEOUT, settings_.idle_seconds,
            MHD_OPTION_NOTIFY_CONNECTION, &HttpServer::on_connection, this,
            MHD_OPTION_NOTIFY_COMPLETED, &HttpServer::on_completed, this,
            MHD_OPTION_EXTERNAL_LOGGER, &HttpServer::on_log, this,
            MHD_OPTION_UNESCAPE_CALLBACK, &HttpServer::unescape, this,
            MHD_OPTION_END);
        if (daemon_ == nullptr) {
            error = "the HTTP server could not start";
            return false;
        }
        sweeper_ = std::thread([this] { sweep(); });
        refresher_ = std::thread([this] { refresh_views(); });
        return true;
    }

    ~HttpServer() override {
        stopping_ = true;
        if (sweeper_.joinable()) sweeper_.join();
        {
            std::lock_guard lock(views_mutex_);
            refresh_wanted_.notify_all();
        }
        if (refresher_.joinable()) refresher_.join();
        if (daemon_ != nullptr) MHD_stop_daemon(daemon_);
    }

private:
    static void on_log(void*, const char*, va_list) {}  // its messages are about clients, not the board

    // Percent-escapes decoded in place, all but %00: a NUL would end a path early (and
    // "/index.html%00.css" be served as "/index.html"), so it stays three characters, which name
    // no file and no player.
    static size_t unescape(void*, MHD_Connection*, char* text) {
        const auto digit = [](char c) -> int {
            if (c >= '0' && c <= '9') return c - '0';
            if (c >= 'a' && c <= 'f') return c - 'a' + 10;
            if (c >= 'A' && c <= 'F') return c - 'A' + 10;
            return -1;
        };
        char* out = text;
        for (const char* in = text; *in != '\0';) {
            if (in[0] == '%' && digit(in[1]) >= 0 && digit(in[2]) >= 0 && (digit(in[1]) | digit(in[2])) != 0) {
                *out++ = static_cast<char>(digit(in[1]) * 16 + digit(in[2]));
                in += 3;
            } else {
                *out++ = *in++;
            }
        }
        *out = '\0';
        return static_cast<size_t>(out - text);
    }

    // A request that trickles in is cut off once it has taken longer than request_seconds: the
    // library's own timeout only counts silence, which one byte a second never is.
    void sweep() {
        std::int64_t forgotten_at = now_seconds();
        while (!stopping_) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            const std::int64_t now = now_seconds();
            if (now - forgotten_at >= 60) {
                limiter_.forget_full();
                forgotten_at = now;
            }
            std::lock_guard lock(tracked_mutex_);
            for (auto& [connection, tracked] : tracked_)
                if (tracked.receiving_since != 0 && now - tracked.receiving_since > settings_.request_seconds) {
                    shutdown(tracked.fd, SHUT_RDWR);
                    tracked.receiving_since = 0;
                }
        }
    }

    static void on_connection(void* self, MHD_Connection* connection, void** socket_context,
                              MHD_ConnectionNotificationCode code) {
        auto* server = static_cast<HttpServer*>(self);
        std::lock_guard lock(server->tracked_mutex_);
        if (code == MHD_CONNECTION_NOTIFY_STARTED) {
            const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
            server->tracked_[connection] = Tracked{info != nullptr ? info->connect_fd : -1, now_seconds()};
        } else {
            server->tracked_.erase(connection);
        }
        (void)socket_context;
    }

    void set_receiving(MHD_Connection* connection, bool receiving) {
        std::lock_guard lock(tracked_mutex_);
        const auto found = tracked_.find(connection);
        if (found != tracked_.end()) found->second.receiving_since = receiving ? now_seconds() : 0;
    }

    static void on_completed(void* self, MHD_Connection* connection, void** context, MHD_RequestTerminationCode) {
        const Request* request = static_cast<Request*>(*context);
        if (request != nullptr && request->status != 0) {
            count_request(request->route, request->status);
            if (request->route == Route::upload)
                count_upload(request->store_failed ? UploadOutcome::failed : outcome_of(request->status));
            const double ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - request->began).count();
            char fields[256];
            std::snprintf(fields, sizeof fields, "event=request addr=%s method=%s route=%s status=%u bytes=%" PRIu64 " ms=%.1f",
                          request->address.c_str(), request->method, route_name(request->route), request->status,
                          request->bytes, ms);
            log_line(fields);
        }
        delete request;
        *context = nullptr;
        static_cast<HttpServer*>(self)->set_receiving(connection, true);
    }

    MHD_Result answer(MHD_Connection* connection, unsigned status, MHD_Response* response, const char* csp = CSP,
                      std::uint64_t bytes = 0) {
        if (current_request != nullptr) {
            current_request->status = status;
            current_request->bytes = bytes;
        }
        MHD_add_response_header(response, "Content-Security-Policy", csp);
        MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
        MHD_add_response_header(response, "Referrer-Policy", "same-origin");
        set_receiving(connection, false);
        const MHD_Result result = MHD_queue_response(connection, status, response);
        MHD_destroy_response(response);
        return result;
    }

    MHD_Result answer_json(MHD_Connection* connection, unsigned status, const json& body,
                           const char* extra_header = nullptr, const char* extra_value = nullptr) {
        const std::string text = body.dump();
        MHD_Response* response =
            MHD_create_response_from_buffer(text.size(), const_cast<char*>(text.data()), MHD_RESPMEM_MUST_COPY);
        MHD_add_response_header(response, "Content-Type", "application/json");
        MHD_add_response_header(response, "Cache-Control", "no-store");
        if (extra_header != nullptr) MHD_add_response_header(response, extra_header, extra_value);
        return answer(connection, status, response, CSP, text.size());
    }

    MHD_Result answer_json_text(MHD_Connection* connection, const std::string& text) {
        MHD_Response* response =
            MHD_create_response_from_buffer(text.size(), const_cast<char*>(text.data()), MHD_RESPMEM_MUST_COPY);
        MHD_add_response_header(response, "Content-Type", "application/json");
        MHD_add_response_header(response, "Cache-Control", "no-store");
        return answer(connection, MHD_HTTP_OK, response, CSP, text.size());
    }

    MHD_Result answer_text(MHD_Connection* connection, unsigned status, const std::string& text,
                           const char* type = "text/plain; charset=utf-8") {
        MHD_Response* response =
            MHD_create_response_from_buffer(text.size(), const_cast<char*>(text.data()), MHD_RESPMEM_MUST_COPY);
        MHD_add_response_header(response, "Content-Type", type);
        MHD_add_response_header(response, "Cache-Control", "no-store");
        return answer(connection, status, response, CSP, text.size());
    }

    // The peer's address; behind the proxy named by trust_proxy, the address that proxy saw,
    // which it appends last to X-Forwarded-For (what comes before it, any client can write).
    std::string client_address(MHD_Connection* connection) {
        const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
        char host[NI_MAXHOST] = "unknown";
        if (info != nullptr && info->client_addr != nullptr) {
            const socklen_t size = info->client_addr->sa_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
            if (getnameinfo(info->client_addr, size, host, sizeof host, nullptr, 0, NI_NUMERICHOST) != 0)
                std::snprintf(host, sizeof host, "unknown");
        }
        if (settings_.trust_proxy.empty() || settings_.trust_proxy != host) return host;
        const char* forwarded = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "X-Forwarded-For");
        if (forwarded == nullptr) return host;
        std::string last = forwarded;
        if (const std::size_t comma = last.rfind(','); comma != std::string::npos) last = last.substr(comma + 1);
        const std::size_t first = last.find_first_not_of(" \t");
        const std::size_t end = last.find_last_not_of(" \t");
        last = first == std::string::npos ? std::string() : last.substr(first, end - first + 1);
        // Only an address goes into the log and the limits: anything else is the proxy's own.
        unsigned char parsed[sizeof(in6_addr)];
        if (inet_pton(AF_INET, last.c_str(), parsed) == 1 || inet_pton(AF_INET6, last.c_str(), parsed) == 1) return last;
        return host;
    }

    MHD_Result answer_error(MHD_Connection* connection, unsigned status, const std::string& message) {
        return answer_json(connection, status, json{{"error", message}});
    }

    static MHD_Result on_request(void* self, MHD_Connection* connection, const char* url, const char* method,
                                 const char*, const char* upload_data, size_t* upload_data_size, void** context) {
        return static_cast<HttpServer*>(self)->handle(connection, url, method, upload_data, upload_data_size, context);
    }

    MHD_Result handle(MHD_Connection* connection, const std::string& url, const std::string& method,
                      const char* upload_data, size_t* upload_data_size, void** context) {
        auto* request = static_cast<Request*>(*context);
        current_request = request;
        if (request == nullptr) {
            request = new Request;
            *context = request;
            current_request = request;
            request->began = std::chrono::steady_clock::now();
            request->method = method_name(method);
            request->route = route_of(method, url);
            request->address = client_address(connection);
            if (settings_.health_only && url != "/metrics" && url != "/healthz" && url != "/readyz") {
                request->answered = true;
                return answer_error(connection, MHD_HTTP_NOT_FOUND, "a verifier serves /metrics, /healthz and /readyz only");
            }
            if (method == "POST" && url == "/api/v1/runs") {
                request->upload = true;
                return begin_upload(connection, *request);
            }
            if (method != "GET" && method != "HEAD") {
                request->answered = true;
                return answer_error(connection, MHD_HTTP_METHOD_NOT_ALLOWED, "not allowed here");
            }
            return MHD_YES;  // a GET is answered on its next call, once its (empty) body is read
        }
        if (request->answered) {
            *upload_data_size = 0;  // a refused body is thrown away unread
            return MHD_YES;
        }
        if (request->upload) {
            if (*upload_data_size > 0) {
                const std::size_t room = request->expected - request->body.size();
                if (*upload_data_size > room) {
                    request->answered = true;
                    *upload_data_size = 0;
                    return answer_error(connection, MHD_HTTP_CONTENT_TOO_LARGE, "the body is longer than it said");
                }
                request->body.insert(request->body.end(), upload_data, upload_data + *upload_data_size);
                *upload_data_size = 0;
                return MHD_YES;
            }
            request->answered = true;
            return finish_upload(connection, *request);
        }
        if (*upload_data_size > 0) {
            *upload_data_size = 0;
            return MHD_YES;
        }
        request->answered = true;
        return serve_get(connection, url);
    }

    MHD_Result begin_upload(MHD_Connection* connection, Request& request) {
        request.answered = true;  // unless it passes every check below
        // Every upload counts against its address, refused or not: a flood of junk is a flood.
        if (const std::optional<unsigned> wait = limiter_.take(request.address))
            return answer_json(connection, MHD_HTTP_TOO_MANY_REQUESTS,
                               json{{"error", "too many uploads from this address: try again in " +
                                                  std::to_string(*wait) + " s"}},
                               "Retry-After", std::to_string(*wait).c_str());
        const char* encoding = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "Content-Encoding");
        if (encoding != nullptr)
            return answer_error(connection, MHD_HTTP_UNSUPPORTED_MEDIA_TYPE,
                                "a replay is sent as it is, without a Content-Encoding");
        const char* length = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "Content-Length");
        if (length == nullptr)
            return answer_error(connection, MHD_HTTP_LENGTH_REQUIRED, "send the replay with its Content-Length");
        char* end = nullptr;
        errno = 0;
        const unsigned long long size = std::strtoull(length, &end, 10);
        if (end == length || *end != '\0' || errno != 0)
            return answer_error(connection, MHD_HTTP_BAD_REQUEST, "the Content-Length is not a number");
        if (size > MAX_UPLOAD_BYTES)
            return answer_error(connection, MHD_HTTP_CONTENT_TOO_LARGE,
                                "a replay here is at most " + std::to_string(MAX_UPLOAD_BYTES) + " bytes");
        if (size == 0) return answer_error(connection, MHD_HTTP_UNPROCESSABLE_CONTENT, "the body is empty: send the replay");
        const char* name = MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, "name");
        request.name = name != nullptr ? name : "";
        const std::string problem = check_name(request.name);
        if (!problem.empty()) return answer_error(connection, MHD_HTTP_UNPROCESSABLE_CONTENT, problem);
        bool full = false;
        try {
            full = queue_full();
        } catch (const std::exception& failure) {
            return answer_store_failure(connection, failure);
        }
        if (full)
            return answer_json(connection, MHD_HTTP_SERVICE_UNAVAILABLE,
                               json{{"error", "the board has too many runs waiting: try again later"}}, "Retry-After",
                               std::to_string(RETRY_AFTER_SECONDS).c_str());
        request.expected = static_cast<std::size_t>(size);
        request.body.reserve(request.expected);
        request.answered = false;
        return MHD_YES;
    }

    // The runs waiting for a verdict: this server's queue, or on a shared database (or with no
    // verifier here) the pending runs in the database, which every front end counts alike.
    bool queue_full() {
        if (settings_.queue <= 0) return false;
        if (pool_ != nullptr && !store_.shares_work()) return !pool_->has_room();
        return store_.pending_count() >= settings_.queue;
    }

    MHD_Result finish_upload(MHD_Connection* connection, Request& request) {
        if (request.body.size() != request.expected)
            return answer_error(connection, MHD_HTTP_BAD_REQUEST, "the body is shorter than it said");
        const UploadCheck check = check_upload(request.body.data(), request.body.size());
        if (!check.ok) return answer_error(connection, MHD_HTTP_UNPROCESSABLE_CONTENT, check.problem);
        try {
            std::lock_guard lock(upload_mutex_);  // one look-up-then-add at a time
            if (const auto same = store_.find_same(check.sha256, check.input_sha256)) {
                const std::optional<Run> run = store_.run(*same);
                return answer_json(connection, MHD_HTTP_OK,
                                   json{{"run_id", *same},
                                        {"status", run ? status_name(run->verdict.status) : "pending"},
                                        {"status_url", "/api/v1/runs/" + std::to_string(*same)}});
            }
            NewRun run;
            run.player = request.name;
            run.sha256 = check.sha256;
            run.input_sha256 = check.input_sha256;
            run.replay = std::move(request.body);
            run.logic_version = check.logic_version;
            run.recorded_by = check.recorded_by;
            // Committed (synchronous=FULL) before it is acknowledged.
            const std::int64_t id = store_.add_run(run);
            if (pool_ != nullptr) pool_->add(id);
            return answer_json(connection, MHD_HTTP_ACCEPTED,
                               json{{"run_id", id}, {"status", "pending"}, {"status_url", "/api/v1/runs/" + std::to_string(id)}});
        } catch (const std::exception& failure) {
            return answer_store_failure(connection, failure);
        }
    }

    MHD_Result serve_get(MHD_Connection* connection, const std::string& url) {
        try {
            if (url.rfind("/api/v1/runs/", 0) == 0) return serve_run(connection, url.substr(13));
            if (url == "/api/v1/board") return serve_board(connection);
            if (url == "/metrics") return serve_metrics(connection);
            if (url == "/healthz") return answer_text(connection, MHD_HTTP_OK, "ok\n");
            if (url == "/readyz") {
                if (store_.reachable()) return answer_text(connection, MHD_HTTP_OK, "ready\n");
                count_database_error();
                return answer_text(connection, MHD_HTTP_SERVICE_UNAVAILABLE, "the database does not answer\n");
            }
            if (url.rfind("/runs/", 0) == 0) return serve_replay(connection, url.substr(6));
            if (url == "/play") return redirect(connection, "/play/");
            if (url.rfind("/play/", 0) == 0) {
                if (settings_.page_dir.empty())
                    return answer_error(connection, MHD_HTTP_NOT_FOUND, "this board serves no game page");
                std::string file = url.substr(6);
                if (file.empty()) file = "index.html";
                if (!settings_.page_files.empty() && settings_.page_files.count(file) == 0)
                    return answer_error(connection, MHD_HTTP_NOT_FOUND, "no such page");
                return serve_file(connection, settings_.page_dir, file, PLAY_CSP);
            }
            return serve_file(connection, settings_.board_dir, url.substr(1), CSP);
        } catch (const std::exception& failure) {
            return answer_store_failure(connection, failure);
        }
    }

    // The database failed the request: full, it keeps what it has and takes nothing more until an
    // operator makes room; otherwise it is most likely away for a moment (restarted, failing over),
    // and the client is asked to come back, while the store connects again by itself.
    MHD_Result answer_store_failure(MHD_Connection* connection, const std::exception& failure) {
        count_database_error();
        log_line(std::string("event=error what=\"") + failure.what() + "\"");
        if (current_request != nullptr) current_request->store_failed = true;
        if (dynamic_cast<const StoreFull*>(&failure) != nullptr)
            return answer_error(connection, MHD_HTTP_INSUFFICIENT_STORAGE,
                                "the board's disk is full: it takes no more runs until it has room");
        return answer_json(connection, MHD_HTTP_SERVICE_UNAVAILABLE,
                           json{{"error", "the board's database does not answer: try again later"}}, "Retry-After",
                           std::to_string(DATABASE_RETRY_SECONDS).c_str());
    }

    MHD_Result serve_metrics(MHD_Connection* connection) {
        std::int64_t depth = 0;
        try {
            depth = store_.pending_count();
        } catch (const std::exception&) {
            count_database_error();
            depth = pool_ != nullptr ? static_cast<std::int64_t>(pool_->waiting()) : 0;
        }
        return answer_text(connection, MHD_HTTP_OK, metrics_text(depth), "text/plain; version=0.0.4; charset=utf-8");
    }

    MHD_Result redirect(MHD_Connection* connection, const char* to) {
        MHD_Response* response = MHD_create_response_from_buffer(0, nullptr, MHD_RESPMEM_PERSISTENT);
        MHD_add_response_header(response, "Location", to);
        return answer(connection, MHD_HTTP_MOVED_PERMANENTLY, response);
    }

    std::optional<Run> visible_run(const std::string& id_text) {
        const std::optional<std::int64_t> id = parse_id(id_text);
        if (!id) return std::nullopt;
        std::optional<Run> run = store_.run(*id);
        if (!run || run->hidden) return std::nullopt;
        return run;
    }

    MHD_Result serve_run(MHD_Connection* connection, const std::string& id_text) {
        const std::optional<Run> run = visible_run(id_text);
        if (!run) return answer_error(connection, MHD_HTTP_NOT_FOUND, "no such run");
        return answer_json(connection, MHD_HTTP_OK, run_json(*run, store_.rank(run->id)));
    }

    // The arguments of a board view, as they came.
    struct ViewQuery {
        std::optional<std::string> limit, player, cursor, from_rank, around;
    };
    // A view's JSON, or the status and message of a query that cannot be answered.
    struct MadeView {
        unsigned status = MHD_HTTP_OK;
        std::string text;
    };

    MHD_Result serve_board(MHD_Connection* connection) {
        const auto argument = [&](const char* key) -> std::optional<std::string> {
            const char* value = MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, key);
            if (value == nullptr) return std::nullopt;
            return std::string(value);
        };
        const ViewQuery asked{argument("limit"), argument("player"), argument("cursor"), argument("from_rank"),
                              argument("around")};
        std::string key;
        for (const auto& value : {asked.limit, asked.player, asked.cursor, asked.from_rank, asked.around})
            key += value ? std::to_string(value->size()) + ':' + *value : std::string("-");  // one way to read it
        // A view is served again while nothing has changed it: by this process, by another (where
        // the store can tell), or for a second where it cannot; past that second the last one is
        // served while the refresher makes it again, off the threads that answer.
        const std::uint64_t changes = store_.changes_made();
        const std::optional<std::uint64_t> mark = store_.board_mark();
        std::shared_ptr<const std::string> kept_body;
        {
            std::unique_lock lock(views_mutex_);
            auto kept = views_.find(key);
            // A view being made for the first time: waited for, rather than made by everyone at once.
            while (kept != views_.end() && !kept->second.made_once && kept->second.refreshing) {
                view_made_.wait_for(lock, std::chrono::seconds(1));
                kept = views_.find(key);
            }
            if (kept == views_.end()) {
                views_[key].refreshing = true;
            } else {
                KeptView& view = kept->second;
                const bool unchanged = view.changes == changes && view.mark == mark;
                const bool fresh = unchanged && (mark || std::chrono::steady_clock::now() - view.made < SHARED_VIEW_LIFE);
                if (!fresh && unchanged && !view.refreshing) {
                    view.refreshing = true;
                    to_refresh_.push_back({key, asked});
                    refresh_wanted_.notify_one();
                }
                // While one request makes a changed view again, the others have the last one, rather
                // than all making it at once.
                if (fresh || view.refreshing) kept_body = view.body;
                else view.refreshing = true;
            }
        }
        if (kept_body) return answer_json_text(connection, *kept_body);
        const MadeView made = make_view_kept(key, asked, changes, mark);
        if (made.status != MHD_HTTP_OK) return answer_error(connection, made.status, made.text.c_str());
        return answer_json_text(connection, made.text);
    }

    // Makes a view and keeps it (an answerable one) for the next request of it; whatever happens,
    // the view is no longer being made.
    MadeView make_view_kept(const std::string& key, const ViewQuery& asked, std::uint64_t changes,
                            std::optional<std::uint64_t> mark) {
        const auto made_at = std::chrono::steady_clock::now();
        MadeView made;
        try {
            made = make_view(asked);
        } catch (...) {
            std::lock_guard lock(views_mutex_);
            const auto kept = views_.find(key);
            if (kept != views_.end() && kept->second.made_once) kept->second.refreshing = false;
            else if (kept != views_.end()) views_.erase(kept);
            view_made_.notify_all();
            throw;
        }
        std::lock_guard lock(views_mutex_);
        if (made.status == MHD_HTTP_OK) {
            if (views_.size() >= VIEWS_KEPT && views_.count(key) == 0) {
                // Bounded, whatever the queries: the views not being made go.
                for (auto view = views_.begin(); view != views_.end();)
                    view = view->second.refreshing ? std::next(view) : views_.erase(view);
            }
            views_[key] = {std::make_shared<const std::string>(made.text), changes, mark, made_at, false, true};
        } else {
            views_.erase(key);
        }
        view_made_.notify_all();
        return made;
    }

    void refresh_views() {
        std::unique_lock lock(views_mutex_);
        while (!stopping_) {
            if (to_refresh_.empty()) {
                refresh_wanted_.wait(lock);
                continue;
            }
            const auto [key, asked] = to_refresh_.front();
            to_refresh_.pop_front();
            lock.unlock();
            try {
                make_view_kept(key, asked, store_.changes_made(), store_.board_mark());
            } catch (const std::exception& failure) {
                count_database_error();
                log_line(std::string("event=error what=\"") + failure.what() + "\"");
            }
            lock.lock();
        }
    }

    MadeView make_view(const ViewQuery& asked) {
        BoardQuery query;
        if (asked.limit) {
            const std::optional<std::int64_t> value = parse_id(*asked.limit);
            if (!value || *value < 1 || *value > 100) return {MHD_HTTP_BAD_REQUEST, "limit is a number from 1 to 100"};
            query.limit = static_cast<int>(*value);
        }
        if (asked.player) {
            // Every name kept passed the upload's check; one that does not (bytes that are not UTF-8,
            // which PostgreSQL would refuse as text) names nobody.
            if (!check_name(*asked.player).empty()) return {MHD_HTTP_BAD_REQUEST, "not a player's name"};
            query.player = *asked.player;
        }
        if (asked.cursor) {
            query.after = parse_cursor(*asked.cursor);
            if (!query.after) return {MHD_HTTP_BAD_REQUEST, "not a cursor of this board"};
        } else if (asked.from_rank) {
            const std::optional<std::int64_t> rank = parse_id(*asked.from_rank);
            if (!rank || *rank < 1) return {MHD_HTTP_BAD_REQUEST, "from_rank is a rank from 1"};
            query.offset = *rank - 1;
        } else if (asked.around) {
            const std::optional<std::int64_t> id = parse_id(*asked.around);
            const std::optional<std::int64_t> rank = id ? store_.rank(*id) : std::nullopt;
            if (!rank) return {MHD_HTTP_NOT_FOUND, "that run is not on the board"};
            query.offset = std::max<std::int64_t>(0, *rank - 1 - query.limit / 2);
            query.player.clear();  // ranks around a run are the whole board's
        }
        const std::vector<BoardRow> rows = store_.board(query);
        json items = json::array();
        for (const BoardRow& row : rows) {
            json item = run_json(row.run, row.rank);
            item.erase("status");
            item.erase("reason");
            items.push_back(std::move(item));
        }
        json next = nullptr;
        if (static_cast<int>(rows.size()) == query.limit) next = cursor_of(rows.back().run);
        return {MHD_HTTP_OK, json{{"items", std::move(items)}, {"next_cursor", next}}.dump()};
    }

    MHD_Result serve_replay(MHD_Connection* connection, const std::string& file) {
        const std::size_t dot = file.rfind(".zvr");
        if (dot == std::string::npos || dot + 4 != file.size())
            return answer_error(connection, MHD_HTTP_NOT_FOUND, "no such replay");
        const std::optional<Run> run = visible_run(file.substr(0, dot));
        std::vector<std::uint8_t> bytes;
        if (!run || !store_.replay(run->id, bytes)) return answer_error(connection, MHD_HTTP_NOT_FOUND, "no such replay");
        const std::string etag = "\"" + run->sha256 + "\"";
        const char* asked = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "If-None-Match");
        MHD_Response* response = nullptr;
        unsigned status = MHD_HTTP_OK;
        if (asked != nullptr && etag == asked) {
            response = MHD_create_response_from_buffer(0, nullptr, MHD_RESPMEM_PERSISTENT);
            status = MHD_HTTP_NOT_MODIFIED;
        } else {
            response = MHD_create_response_from_buffer(bytes.size(), bytes.data(), MHD_RESPMEM_MUST_COPY);
        }
        const std::uint64_t sent = status == MHD_HTTP_OK ? bytes.size() : 0;
        MHD_add_response_header(response, "Content-Type", "application/x-zorvalen-replay");
        MHD_add_response_header(response, "ETag", etag.c_str());
        MHD_add_response_header(response, "Cache-Control", "public, max-age=31536000, immutable");
        const char* download = MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, "download");
        if (download != nullptr && std::string(download) == "1") {
            const std::string disposition = "attachment; filename=\"zorvalen-run-" + std::to_string(run->id) + ".zvr\"";
            MHD_add_response_header(response, "Content-Disposition", disposition.c_str());
        }
        return answer(connection, status, response, CSP, sent);
    }

    MHD_Result serve_file(MHD_Connection* connection, const std::string& root, std::string relative, const char* csp) {
        if (relative.empty() || relative.back() == '/') relative += "index.html";
        // Only plain names below the folder: no way up, no hidden files.
        for (std::size_t at = 0; at <= relative.size();) {
            const std::size_t slash = std::min(relative.find('/', at), relative.size());
            const std::string part = relative.substr(at, slash - at);
            if (part.empty() || part[0] == '.') return answer_error(connection, MHD_HTTP_NOT_FOUND, "no such page");
            at = slash + 1;
        }
        const std::string path = root + "/" + relative;
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat about {};
        if (fd < 0 || fstat(fd, &about) != 0 || !S_ISREG(about.st_mode)) {
            if (fd >= 0) close(fd);
            return answer_error(connection, MHD_HTTP_NOT_FOUND, "no such page");
        }
        MHD_Response* response = MHD_create_response_from_fd64(static_cast<std::uint64_t>(about.st_size), fd);
        MHD_add_response_header(response, "Content-Type", content_type_of(path));
        MHD_add_response_header(response, "Cache-Control", "no-cache");
        return answer(connection, MHD_HTTP_OK, response, csp, static_cast<std::uint64_t>(about.st_size));
    }

    ServerSettings settings_;
    Store& store_;
    VerifierPool* pool_;
    UploadLimiter limiter_;
    MHD_Daemon* daemon_ = nullptr;
    // The board's views as last served, by their query.
    struct KeptView {
        std::shared_ptr<const std::string> body;
        std::uint64_t changes = 0;
        std::optional<std::uint64_t> mark;
        std::chrono::steady_clock::time_point made;
        bool refreshing = false;
        bool made_once = false;
    };
    static constexpr std::size_t VIEWS_KEPT = 256;
    static constexpr std::chrono::seconds SHARED_VIEW_LIFE{1};
    std::mutex views_mutex_;
    std::unordered_map<std::string, KeptView> views_;
    std::deque<std::pair<std::string, ViewQuery>> to_refresh_;
    std::condition_variable refresh_wanted_;
    std::condition_variable view_made_;
    std::thread refresher_;
    std::mutex upload_mutex_;
    std::mutex tracked_mutex_;
    std::map<MHD_Connection*, Tracked> tracked_;
    std::atomic<bool> stopping_{false};
    std::thread sweeper_;
};

}  // namespace

std::unique_ptr<Server> start_server(const ServerSettings& settings, Store& store, VerifierPool* pool, std::string& error) {
    auto server = std::make_unique<HttpServer>(settings, store, pool);
    if (!server->start(error)) return nullptr;
    return server;
}

}  // namespace board
