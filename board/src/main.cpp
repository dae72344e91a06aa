// zorvalen-board: a board of proven runs. Every replay sent to it is played again, in a walled-in
// process of its own, before its score is ranked; the board's page and the game's page are served
// beside the runs. Also the keeper's commands on the same database (--hide, --unhide,
// --reverify, --export), with the server running or not.
#include <netdb.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <thread>

#include "http_server.h"
#include "store.h"
#include "upload_checks.h"
#include "verifier.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::string self_path() {
    std::error_code failure;
    const fs::path path = fs::read_symlink("/proc/self/exe", failure);
    return failure ? std::string() : path.string();
}

// An installed board finds its files beside it (bin/ and share/); a built one in the build tree.
std::string installed_or(const std::string& below_share, const std::string& built) {
    const fs::path self = self_path();
    if (!self.empty()) {
        const fs::path installed = self.parent_path().parent_path() / "share" / below_share;
        std::error_code failure;
        if (fs::is_directory(installed, failure)) return installed.string();
    }
    return built;
}

// Opens the listening socket itself, so that an address in use is one clear line.
int listen_on(const std::string& address, std::string& error) {
    const std::size_t colon = address.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == address.size()) {
        error = "--listen " + address + ": give ADDRESS:PORT, such as 127.0.0.1:8080";
        return -1;
    }
    std::string host = address.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    const std::string port = address.substr(colon + 1);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0 || found == nullptr) {
        error = "--listen " + address + ": not a numeric address and port";
        return -1;
    }
    const int fd = socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, found->ai_protocol);
    const int on = 1;
    if (fd >= 0) setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (fd < 0 || bind(fd, found->ai_addr, found->ai_addrlen) != 0 || listen(fd, 128) != 0) {
        const int problem = errno;
        error = problem == EADDRINUSE ? address + " is in use: another program listens there (--listen another port)"
                                      : "cannot listen on " + address + ": " + std::strerror(problem);
        if (fd >= 0) close(fd);
        freeaddrinfo(found);
        return -1;
    }
    freeaddrinfo(found);
    return fd;
}

std::string who_am_i() {
    if (const passwd* user = getpwuid(getuid())) return user->pw_name;
    return "uid " + std::to_string(getuid());
}

std::string base64(const std::vector<std::uint8_t>& bytes) {
    static const char TABLE[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::uint32_t a = bytes[i];
        const std::uint32_t b = i + 1 < bytes.size() ? bytes[i + 1] : 0;
        const std::uint32_t c = i + 2 < bytes.size() ? bytes[i + 2] : 0;
        const std::uint32_t triple = a << 16 | b << 8 | c;
        text += TABLE[triple >> 18 & 63];
        text += TABLE[triple >> 12 & 63];
        text += i + 1 < bytes.size() ? TABLE[triple >> 6 & 63] : '=';
        text += i + 2 < bytes.size() ? TABLE[triple & 63] : '=';
    }
    return text;
}

int export_runs(board::Store& store, const std::string& path) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) {
        std::fprintf(stderr, "zorvalen-board: --export: cannot write %s\n", path.c_str());
        return 1;
    }
    std::vector<std::uint8_t> bytes;
    std::size_t count = 0;
    for (const std::int64_t id : store.all_runs()) {
        const std::optional<board::Run> run = store.run(id);
        if (!run || !store.replay(id, bytes)) continue;
        const board::Verdict& v = run->verdict;
        const json line = {{"run_id", run->id}, {"player", run->player}, {"status", board::status_name(v.status)},
                           {"reason", v.reason}, {"score", v.score}, {"level", v.level}, {"frames", v.frames},
                           {"ending", v.ending}, {"logic_version", v.logic_version}, {"asset_digest", v.asset_digest},
                           {"recorded_by", v.recorded_by}, {"utc_offset", v.utc_offset}, {"sha256", run->sha256},
                           {"submitted_at", run->submitted_at}, {"verified_at", run->verified_at},
                           {"verifier_version", v.verifier_version}, {"hidden", run->hidden},
                           {"replay_base64", base64(bytes)}};
        out << line.dump() << '\n';
        ++count;
    }
    out.flush();
    if (!out) {
        std::fprintf(stderr, "zorvalen-board: --export: cannot write %s\n", path.c_str());
        return 1;
    }
    std::printf("%zu runs written to %s\n", count, path.c_str());
    return 0;
}

int reverify(board::Store& store, const board::VerifierSettings& settings) {
    std::vector<std::uint8_t> bytes;
    std::size_t changed = 0, total = 0;
    for (const std::int64_t id : store.all_runs()) {
        const std::optional<board::Run> run = store.run(id);
        if (!run || !store.replay(id, bytes)) continue;
        ++total;
        const board::Verdict verdict = *board::verify_in_child(bytes, settings);
        const board::Verdict& was = run->verdict;
        if (verdict.status != was.status || verdict.score != was.score || verdict.reason != was.reason) {
            ++changed;
            std::printf("run %" PRId64 ": %s, score %d -> %s, score %d%s%s\n", id, board::status_name(was.status),
                        was.score, board::status_name(verdict.status), verdict.score, verdict.reason.empty() ? "" : ": ",
                        verdict.reason.c_str());
        }
        store.set_verdict(id, verdict, was.status == board::RunStatus::pending || verdict.status != was.status ||
                                                verdict.score != was.score
                                            ? board::now_milliseconds()
                                            : run->verified_at);
    }
    std::printf("%zu runs verified again, %zu changed\n", total, changed);
    return 0;
}

sigset_t block_stop_signals() {
    // The signals that stop the board are taken by the main thread alone, in sigwait.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
    signal(SIGPIPE, SIG_IGN);
    return stop_signals;
}

// A verifier answers for itself on `listen` where one is given: its metrics and health alone.
int verify_only_until_stopped(board::Store& store, const board::VerifierSettings& verifying, int workers,
                              board::ServerSettings serving, const std::string& listen) {
    if (!store.shares_work()) {
        std::fprintf(stderr, "zorvalen-board: --verify-only needs a database that servers share (postgresql://...): "
                             "a SQLite board verifies in its own process\n");
        return 2;
    }
    if (workers < 1) {
        std::fprintf(stderr, "zorvalen-board: --verify-only needs --workers 1 or more\n");
        return 2;
    }
    std::string error;
    if (!listen.empty()) {
        serving.listen_socket = listen_on(listen, error);
        if (serving.listen_socket < 0) {
            std::fprintf(stderr, "zorvalen-board: %s\n", error.c_str());
            return 1;
        }
    }
    const sigset_t stop_signals = block_stop_signals();
    auto pool = std::make_unique<board::VerifierPool>(store, verifying, workers, 0);
    std::unique_ptr<board::Server> server;
    if (!listen.empty()) {
        serving.health_only = true;
        server = board::start_server(serving, store, pool.get(), error);
        if (server == nullptr) {
            std::fprintf(stderr, "zorvalen-board: %s\n", error.c_str());
            return 1;
        }
    }
    std::printf("zorvalen-board: verifying the runs sent to the database (%d at once)%s%s\n", workers,
                listen.empty() ? "" : "; metrics at http://", listen.empty() ? "" : (listen + "/metrics").c_str());
    std::fflush(stdout);
    int caught = 0;
    sigwait(&stop_signals, &caught);
    server.reset();
    pool.reset();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string listen = "127.0.0.1:8080";
    std::string database = "sqlite:board.sqlite";
    std::string page_dir;
    std::string board_dir = installed_or("zorvalen-board/www", ZORVALEN_BOARD_WWW_DIR);
    std::string asset_dir = installed_or("games/zorvalen", ZORVALEN_ASSET_DIR);
    int workers = std::max(1, static_cast<int>(std::thread::hardware_concurrency()) - 1);
    int request_seconds = 60;
    board::VerifierSettings verifying;
    std::int64_t hide_run = 0, unhide_run = 0;
    std::string reason, export_path, backup_path;
    board::ServerSettings serving;
    std::size_t header_kib = serving.connection_memory / 1024;
    bool reverify_all = false, verify_one = false, verify_only = false;

    CLI::App app{"zorvalen-board: a board of proven runs. Every replay sent to it is played again before it is "
                 "ranked; the board's page is at /, the game's at /play/."};
    app.set_version_flag("--version", std::string("zorvalen-board ") + ZORVALEN_VERSION);
    CLI::Option* listen_option =
        app.add_option("--listen", listen,
                       "the address and port to serve on (ADDRESS:PORT); with --verify-only, where the verifier's "
                       "/metrics, /healthz and /readyz are (none unless given)")
            ->capture_default_str();
    app.add_option("--database", database,
                   "where the runs are kept: sqlite:PATH, a file made if missing (the default is board.sqlite "
                   "in the working folder), or postgresql://..., a database that several servers and verifiers share")
        ->capture_default_str();
    app.add_option("--page", page_dir, "the game's web page folder, served at /play/ (default: the web build's)");
    app.add_option("--workers", workers, "runs verified at once (default: the cores less one); 0 serves without verifying")
        ->check(CLI::Range(0, 64));
    app.add_option("--assets", asset_dir, "the game's files, which runs are played with")->capture_default_str();
    app.add_option("--request-seconds", request_seconds, "a request must arrive whole within this many seconds")
        ->capture_default_str()
        ->check(CLI::Range(1, 3600));
    app.add_option("--max-connections", serving.max_connections, "connections open at once, from everyone (0: no limit)")
        ->capture_default_str();
    app.add_option("--max-connections-per-address", serving.max_connections_per_address,
                   "connections open at once from one address (0: no limit); behind a proxy, every client is the "
                   "proxy's address here")
        ->capture_default_str();
    app.add_option("--idle-seconds", serving.idle_seconds, "a connection silent this long is closed")
        ->capture_default_str()
        ->check(CLI::Range(1, 3600));
    app.add_option("--header-kib", header_kib,
                   "the memory of one connection, which bounds a request's headers, in KiB")
        ->capture_default_str()
        ->check(CLI::Range(8, 1024));
    app.add_option("--upload-rate", serving.uploads_per_minute,
                   "uploads a minute from one address, after --upload-burst at once; beyond it 429 (0: no limit)")
        ->capture_default_str()
        ->check(CLI::Range(0.0, 1e6));
    app.add_option("--upload-burst", serving.upload_burst, "uploads at once from one address")
        ->capture_default_str()
        ->check(CLI::Range(1, 1000000));
    app.add_option("--queue", serving.queue,
                   "runs waiting for a verdict before uploads are answered 503 (on PostgreSQL, counted in the "
                   "database; 0: no limit)")
        ->capture_default_str()
        ->check(CLI::Range(0, 100000000));
    app.add_option("--trust-proxy", serving.trust_proxy,
                   "the address of a reverse proxy: from it alone, the client's address is the last of "
                   "X-Forwarded-For");
    app.add_option("--verify-seconds", verifying.wall_seconds,
                   "a run's verifier is stopped after this many seconds (and the run rejected)")
        ->capture_default_str()
        ->check(CLI::Range(1, 86400));
    app.add_option("--verify-cpu-seconds", verifying.cpu_seconds, "the verifier's limit of CPU seconds")
        ->capture_default_str()
        ->check(CLI::Range(1, 86400));
    app.add_option("--verify-memory-mib", verifying.address_space_mib, "the verifier's limit of address space")
        ->capture_default_str()
        ->check(CLI::Range(64, 65536));
    app.add_flag("--verify-only", verify_only,
                 "verify the runs waiting in a shared (PostgreSQL) database, --workers at once, without serving");
    app.add_option("--lease-seconds", verifying.lease_seconds,
                   "on a shared database, a run whose verifier stopped answering for this long goes to another")
        ->capture_default_str()
        ->check(CLI::Range(3, 30));
    CLI::Option* hide = app.add_option("--hide", hide_run, "take RUN off every board view (kept, never deleted)");
    app.add_option("--reason", reason, "why, for --hide (kept in the audit table)");
    CLI::Option* unhide = app.add_option("--unhide", unhide_run, "put a hidden RUN back on the board");
    app.add_flag("--reverify", reverify_all, "verify every run again with this verifier, and say what changed");
    app.add_option("--export", export_path, "write every run with its replay (base64) as JSON lines to FILE");
    app.add_option("--backup", backup_path,
                   "copy a SQLite board to FILE, the server running or not (PostgreSQL: pg_dump)");
    app.add_flag("--verify-one", verify_one, "(for the board itself) verify the replay on standard input")->group("");
    hide->excludes(unhide);
    CLI11_PARSE(app, argc, argv);

    if (verify_one) return board::run_verify_one(asset_dir, verifying.cpu_seconds, verifying.address_space_mib);
    if (hide->count() > 0 && reason.empty()) {
        std::fprintf(stderr, "zorvalen-board: --hide needs a --reason\n");
        return 2;
    }
    if (!backup_path.empty()) {
        try {
            board::backup_sqlite(database, backup_path);
        } catch (const std::exception& failure) {
            std::fprintf(stderr, "zorvalen-board: %s\n", failure.what());
            return 1;
        }
        std::printf("the board copied to %s\n", backup_path.c_str());
        return 0;
    }
    verifying.program = self_path();
    verifying.asset_dir = asset_dir;

    std::unique_ptr<board::Store> store;
    try {
        store = board::open_store(database);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "zorvalen-board: %s\n", failure.what());
        return 1;
    }
    if (hide->count() > 0 || unhide->count() > 0) {
        const bool hiding = hide->count() > 0;
        const std::int64_t id = hiding ? hide_run : unhide_run;
        const board::AuditEntry entry{board::now_milliseconds(), who_am_i(), hiding ? "hide" : "unhide", id, reason};
        if (!store->set_hidden(id, hiding, entry)) {
            std::fprintf(stderr, "zorvalen-board: no run %" PRId64 "\n", id);
            return 1;
        }
        std::printf("run %" PRId64 " %s\n", id, hiding ? "hidden" : "back on the board");
        return 0;
    }
    if (!export_path.empty()) return export_runs(*store, export_path);
    if (reverify_all) return reverify(*store, verifying);
    if (verify_only)
        return verify_only_until_stopped(*store, verifying, workers, serving, listen_option->count() > 0 ? listen : "");

    serving.connection_memory = header_kib * 1024;
    serving.board_dir = board_dir;
    serving.request_seconds = request_seconds;
    serving.verifying = workers > 0;
    std::error_code failure;
    if (!page_dir.empty()) {
        if (!fs::is_directory(page_dir, failure) || !fs::exists(fs::path(page_dir) / "index.html", failure)) {
            std::fprintf(stderr, "zorvalen-board: --page %s: no game page there (a folder with index.html)\n",
                         page_dir.c_str());
            return 1;
        }
        serving.page_dir = page_dir;
    } else if (fs::exists(fs::path(ZORVALEN_WEB_PAGE_DIR) / "index.html", failure)) {
        serving.page_dir = ZORVALEN_WEB_PAGE_DIR;
    } else {
        std::fprintf(stderr, "zorvalen-board: no game page built (scripts/web builds it, or give --page DIR): "
                             "/play/ is not served\n");
    }
    if (!serving.page_dir.empty()) {
        std::ifstream list(fs::path(serving.page_dir) / "page.files");
        for (std::string line; std::getline(list, line);)
            if (!line.empty()) serving.page_files.insert(line);
    }
    if (!fs::exists(fs::path(board_dir) / "index.html", failure)) {
        std::fprintf(stderr, "zorvalen-board: the board's page is missing from %s\n", board_dir.c_str());
        return 1;
    }
    std::string error;
    serving.listen_socket = listen_on(listen, error);
    if (serving.listen_socket < 0) {
        std::fprintf(stderr, "zorvalen-board: %s\n", error.c_str());
        return 1;
    }

    const sigset_t stop_signals = block_stop_signals();

    std::unique_ptr<board::VerifierPool> pool;
    if (workers > 0) pool = std::make_unique<board::VerifierPool>(
        *store, verifying, workers,
        serving.queue > 0 ? static_cast<std::size_t>(serving.queue) : std::numeric_limits<std::size_t>::max());
    std::unique_ptr<board::Server> server = board::start_server(serving, *store, pool.get(), error);
    if (server == nullptr) {
        std::fprintf(stderr, "zorvalen-board: %s\n", error.c_str());
        return 1;
    }
    std::printf("zorvalen-board: the board is at http://%s/ (%d verifying%s)\n", listen.c_str(), workers,
                workers == 0 ? ": runs wait as pending" : "");
    std::fflush(stdout);
    int caught = 0;
    sigwait(&stop_signals, &caught);
    server.reset();
    pool.reset();
    return 0;
}
