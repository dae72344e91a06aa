// Routes:
//   POST /api/v1/runs?name=NAME      the replay as the body: 202 pending, 200 already sent
//   GET  /api/v1/runs/ID             one run
//   GET  /api/v1/board?limit&cursor|from_rank|around&player
//   GET  /runs/ID.zvr[?download=1]   the replay itself
//   GET  /                           the board's page (board/www)
//   GET  /play/...                   the game's page
// Every answer carries a Content-Security-Policy of default-src 'self'.
//
// libmicrohttpd rather than a header-only server: it bounds what one client can hold (a
// connection limit per address, a memory limit per connection, an idle timeout) and hands the
// body on in pieces, so a refused upload is answered from its headers before it is read.
#include "http_server.h"

#include <fcntl.h>
#include <microhttpd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cinttypes>
#include <ctime>
#include <filesystem>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <thread>

#include "replays/replay_file.h"
#include "upload_checks.h"

namespace board {

namespace {

using nlohmann::json;

constexpr char CSP[] = "default-src 'self'";
// The game's page compiles its WebAssembly, which a bare default-src 'self' forbids.
constexpr char PLAY_CSP[] = "default-src 'self'; script-src 'self' 'wasm-unsafe-eval'";
constexpr unsigned RETRY_AFTER_SECONDS = 30;

struct Request {
    bool upload = false;
    bool answered = false;  // refused from its headers: the body is not read
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
        : settings_(settings), store_(store), pool_(pool) {}

    bool start(std::string& error) {
        const unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_USE_ERROR_LOG;
        daemon_ = MHD_start_daemon(
            flags, 0, nullptr, nullptr, &HttpServer::on_request, this,
            MHD_OPTION_LISTEN_SOCKET, settings_.listen_socket,
            MHD_OPTION_THREAD_POOL_SIZE, 4u,
            MHD_OPTION_CONNECTION_LIMIT, 512u,
            MHD_OPTION_PER_IP_CONNECTION_LIMIT, 16u,
            MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<size_t>(64 * 1024),
            MHD_OPTION_CONNECTION_TIMEOUT, 15u,
            MHD_OPTION_NOTIFY_CONNECTION, &HttpServer::on_connection, this,
            MHD_OPTION_NOTIFY_COMPLETED, &HttpServer::on_completed, this,
            MHD_OPTION_EXTERNAL_LOGGER, &HttpServer::on_log, this,
            MHD_OPTION_END);
        if (daemon_ == nullptr) {
            error = "the HTTP server could not start";
            return false;
        }
        sweeper_ = std::thread([this] { sweep(); });
        return true;
    }

    ~HttpServer() override {
        stopping_ = true;
        if (sweeper_.joinable()) sweeper_.join();
        if (daemon_ != nullptr) MHD_stop_daemon(daemon_);
    }

private:
    static void on_log(void*, const char*, va_list) {}  // its messages are about clients, not the board

    // A request that trickles in is cut off once it has taken longer than request_seconds: the
    // library's own timeout only counts silence, which one byte a second never is.
    void sweep() {
        while (!stopping_) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            const std::int64_t now = now_seconds();
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
        delete static_cast<Request*>(*context);
        *context = nullptr;
        static_cast<HttpServer*>(self)->set_receiving(connection, true);
    }

    MHD_Result answer(MHD_Connection* connection, unsigned status, MHD_Response* response, const char* csp = CSP) {
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
        return answer(connection, status, response);
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
        if (request == nullptr) {
            request = new Request;
            *context = request;
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
        if (pool_ != nullptr && !pool_->has_room())
            return answer_json(connection, MHD_HTTP_SERVICE_UNAVAILABLE,
                               json{{"error", "the board has too many runs waiting: try again later"}}, "Retry-After",
                               std::to_string(RETRY_AFTER_SECONDS).c_str());
        request.expected = static_cast<std::size_t>(size);
        request.body.reserve(request.expected);
        request.answered = false;
        return MHD_YES;
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
            std::fprintf(stderr, "zorvalen-board: %s\n", failure.what());
            return answer_error(connection, MHD_HTTP_INTERNAL_SERVER_ERROR, "the board could not keep the run");
        }
    }

    MHD_Result serve_get(MHD_Connection* connection, const std::string& url) {
        try {
            if (url.rfind("/api/v1/runs/", 0) == 0) return serve_run(connection, url.substr(13));
            if (url == "/api/v1/board") return serve_board(connection);
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
            std::fprintf(stderr, "zorvalen-board: %s\n", failure.what());
            return answer_error(connection, MHD_HTTP_INTERNAL_SERVER_ERROR, "the board could not answer");
        }
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

    MHD_Result serve_board(MHD_Connection* connection) {
        const auto argument = [&](const char* key) -> std::optional<std::string> {
            const char* value = MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, key);
            if (value == nullptr) return std::nullopt;
            return std::string(value);
        };
        BoardQuery query;
        if (const auto limit = argument("limit")) {
            const std::optional<std::int64_t> value = parse_id(*limit);
            if (!value || *value < 1 || *value > 100)
                return answer_error(connection, MHD_HTTP_BAD_REQUEST, "limit is a number from 1 to 100");
            query.limit = static_cast<int>(*value);
        }
        if (const auto player = argument("player")) query.player = *player;
        if (const auto cursor = argument("cursor")) {
            query.after = parse_cursor(*cursor);
            if (!query.after) return answer_error(connection, MHD_HTTP_BAD_REQUEST, "not a cursor of this board");
        } else if (const auto from = argument("from_rank")) {
            const std::optional<std::int64_t> rank = parse_id(*from);
            if (!rank || *rank < 1) return answer_error(connection, MHD_HTTP_BAD_REQUEST, "from_rank is a rank from 1");
            query.offset = *rank - 1;
        } else if (const auto around = argument("around")) {
            const std::optional<std::int64_t> id = parse_id(*around);
            const std::optional<std::int64_t> rank = id ? store_.rank(*id) : std::nullopt;
            if (!rank) return answer_error(connection, MHD_HTTP_NOT_FOUND, "that run is not on the board");
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
        return answer_json(connection, MHD_HTTP_OK, json{{"items", std::move(items)}, {"next_cursor", next}});
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
        MHD_add_response_header(response, "Content-Type", "application/x-zorvalen-replay");
        MHD_add_response_header(response, "ETag", etag.c_str());
        MHD_add_response_header(response, "Cache-Control", "public, max-age=31536000, immutable");
        const char* download = MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, "download");
        if (download != nullptr && std::string(download) == "1") {
            const std::string disposition = "attachment; filename=\"zorvalen-run-" + std::to_string(run->id) + ".zvr\"";
            MHD_add_response_header(response, "Content-Disposition", disposition.c_str());
        }
        return answer(connection, status, response);
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
        return answer(connection, MHD_HTTP_OK, response, csp);
    }

    ServerSettings settings_;
    Store& store_;
    VerifierPool* pool_;
    MHD_Daemon* daemon_ = nullptr;
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
