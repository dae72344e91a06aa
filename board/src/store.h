// Where the board keeps its runs: SQLite (sqlite_store.cpp), one file beside one server, or
// PostgreSQL (pg_store.cpp), which any number of servers and verifiers share. Every call is a
// whole transaction: what a call returned is on the disk.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace board {

enum class RunStatus { pending, verified, rejected };
const char* status_name(RunStatus status);

// What the server found by playing a run, never what the file claims.
struct Verdict {
    RunStatus status = RunStatus::rejected;
    std::string reason;  // for a rejected run: the first frame or field that differs, or what failed
    std::uint32_t frames = 0;
    std::string ending;  // "escape", "window_closed" or "stopped"
    std::int32_t score = 0;  // the best the run reached: the larger of its final score and its high score
    std::int32_t level = 0;
    std::uint32_t logic_version = 0;
    std::string asset_digest;  // 16 hex digits
    bool assets_known = false;   // the board's own pack
    std::string recorded_by;     // "desktop", "page", "windows", "runner"
    std::int32_t utc_offset = 0;  // minutes east of UTC where it was played
    std::int64_t start_time = 0;
    std::string verifier_version;
};

struct Run {
    std::int64_t id = 0;
    std::string player;
    std::string sha256;
    std::int64_t submitted_at = 0;  // milliseconds since 1970
    std::int64_t verified_at = 0;   // milliseconds since 1970; 0 while pending
    bool hidden = false;
    Verdict verdict;  // status pending: only logic_version and recorded_by are known
};

struct NewRun {
    std::string player;
    std::string sha256;
    std::string input_sha256;  // of the blocks alone: the same input stream under another header
    std::vector<std::uint8_t> replay;
    std::uint32_t logic_version = 0;
    std::string recorded_by;
};

// A place on the board: the order is the score (higher first), then the earlier verification,
// then the run's id; a cursor is the last row's key.
// A pending run taken by one verifier for a while. The token is new at every claim, so a verdict
// that comes back after its lease passed to another verifier changes nothing.
struct Claim {
    std::int64_t run_id = 0;
    std::int64_t token = 0;
};

struct BoardKey {
    std::int32_t score = 0;
    std::int64_t verified_at = 0;
    std::int64_t id = 0;
};

struct BoardQuery {
    int limit = 50;
    std::optional<BoardKey> after;     // keyset: rows after this key
    std::int64_t offset = 0;           // rows skipped (from_rank - 1)
    std::string player;                // only this player's runs (exact name), when not empty
};

struct BoardRow {
    std::int64_t rank = 0;
    Run run;
};

struct AuditEntry {
    std::int64_t at = 0;
    std::string who;
    std::string action;
    std::int64_t run_id = 0;
    std::string reason;
};

// The database refused a write for want of room: nothing was written.
struct StoreFull : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class Store {
public:
    virtual ~Store() = default;

    // The id of a run already sent: the same file, or the same input stream in a run not rejected
    // (a forgery of a run's trailer must not stand in the way of the run itself).
    virtual std::optional<std::int64_t> find_same(const std::string& sha256, const std::string& input_sha256) = 0;
    // Kept (durably) as pending; returns its id.
    virtual std::int64_t add_run(const NewRun& run) = 0;
    virtual std::optional<Run> run(std::int64_t id) = 0;
    virtual bool replay(std::int64_t id, std::vector<std::uint8_t>& bytes) = 0;
    virtual std::vector<std::int64_t> pending_runs() = 0;
    // How many runs wait for their verdict (being verified included).
    virtual std::int64_t pending_count() = 0;
    // Whether the database answers a trivial query (for /readyz).
    virtual bool reachable() = 0;
    virtual std::vector<std::int64_t> all_runs() = 0;
    virtual void set_verdict(std::int64_t id, const Verdict& verdict, std::int64_t verified_at) = 0;

    virtual std::vector<BoardRow> board(const BoardQuery& query) = 0;
    // A number that moves whenever another process may have changed the board's views; nothing
    // where the store cannot tell cheaply (a view is then kept only briefly).
    virtual std::optional<std::uint64_t> board_mark() = 0;
    // How many changes to the board's views this process has made.
    std::uint64_t changes_made() const { return changes_made_.load(); }
    // The run's rank among the visible verified runs, or nothing for one not on the board.
    virtual std::optional<std::int64_t> rank(std::int64_t id) = 0;

    // Whether the pending runs are shared with other processes, which then take them by claims;
    // otherwise the one server keeps its queue in memory.
    virtual bool shares_work() const { return false; }
    // The oldest pending run not leased to another verifier, leased for `lease_seconds`.
    virtual std::optional<Claim> claim_run(int /*lease_seconds*/) { return std::nullopt; }
    // Another `lease_seconds` for a claim still held; false once it is lost.
    virtual bool renew_claim(const Claim& /*claim*/, int /*lease_seconds*/) { return false; }
    // The verdict of a claimed run, kept only while the claim is still the run's; false otherwise.
    virtual bool set_claimed_verdict(const Claim& /*claim*/, const Verdict& /*verdict*/) { return false; }

    virtual bool set_hidden(std::int64_t id, bool hidden, const AuditEntry& entry) = 0;
    virtual std::vector<AuditEntry> audit() = 0;

protected:
    void note_change() { ++changes_made_; }

private:
    std::atomic<std::uint64_t> changes_made_{0};
};

// "sqlite:PATH" (or a plain path), or a PostgreSQL connection URI (postgresql://...). Throws
// std::runtime_error with one line on failure.
std::unique_ptr<Store> open_store(const std::string& url);
// The PostgreSQL store, where the board is built with libpq (otherwise it throws).
std::unique_ptr<Store> open_postgresql_store(const std::string& url);

std::int64_t now_milliseconds();

// Copies a SQLite board (sqlite:PATH or a path) to `file` with SQLite's online backup, while a
// server may be writing it: the copy is one consistent moment, written beside `file` and renamed
// over it. Throws std::runtime_error with one line on failure.
void backup_sqlite(const std::string& url, const std::string& file);

}  // namespace board
