// The board's runs in one SQLite file, through its C API: write-ahead logging, and
// synchronous=FULL so that a run is on the disk before the server acknowledges it. Every value
// goes in as a bound parameter of a prepared statement; no SQL is ever made from a value.
#include <sqlite3.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <stdexcept>

#include "store.h"

namespace board {

const char* status_name(RunStatus status) {
    switch (status) {
    case RunStatus::pending: return "pending";
    case RunStatus::verified: return "verified";
    default: return "rejected";
    }
}

std::int64_t now_milliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

namespace {

RunStatus status_from(const std::string& text) {
    if (text == "pending") return RunStatus::pending;
    if (text == "verified") return RunStatus::verified;
    return RunStatus::rejected;
}

// The schema's steps, in order; the database's user_version says how many it has had. A step
// is never changed once released: a change is a new step.
const char* const MIGRATIONS[] = {
    R"(CREATE TABLE runs (
         id INTEGER PRIMARY KEY,
         player TEXT NOT NULL,
         sha256 TEXT NOT NULL UNIQUE,
         input_sha256 TEXT NOT NULL,
         replay BLOB NOT NULL,
         submitted_at INTEGER NOT NULL,
         status TEXT NOT NULL DEFAULT 'pending',
         reason TEXT NOT NULL DEFAULT '',
         frames INTEGER NOT NULL DEFAULT 0,
         ending TEXT NOT NULL DEFAULT '',
         score INTEGER NOT NULL DEFAULT 0,
         level INTEGER NOT NULL DEFAULT 0,
         logic_version INTEGER NOT NULL,
         asset_digest TEXT NOT NULL DEFAULT '',
         assets_known INTEGER NOT NULL DEFAULT 0,
         recorded_by TEXT NOT NULL,
         utc_offset INTEGER NOT NULL DEFAULT 0,
         start_time INTEGER NOT NULL DEFAULT 0,
         verifier_version TEXT NOT NULL DEFAULT '',
         verified_at INTEGER NOT NULL DEFAULT 0,
         hidden INTEGER NOT NULL DEFAULT 0);
       CREATE INDEX runs_board ON runs (score DESC, verified_at, id) WHERE status = 'verified' AND hidden = 0;
       CREATE INDEX runs_pending ON runs (id) WHERE status = 'pending';
       CREATE INDEX runs_input ON runs (input_sha256);
       CREATE TABLE audit (
         id INTEGER PRIMARY KEY,
         at INTEGER NOT NULL,
         who TEXT NOT NULL,
         action TEXT NOT NULL,
         run_id INTEGER NOT NULL,
         reason TEXT NOT NULL);)",
};

const char RUN_COLUMNS[] =
    "id, player, sha256, submitted_at, status, reason, frames, ending, score, level, logic_version, asset_digest, "
    "assets_known, recorded_by, utc_offset, start_time, verifier_version, verified_at, hidden";
// Visible on the board: verified and not hidden.
const char ON_BOARD[] = "status = 'verified' AND hidden = 0";

class Statement {
public:
    Statement(sqlite3* db, const std::string& sql) : db_(db) {
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement_, nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(db));
    }
    ~Statement() { sqlite3_finalize(statement_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int at, std::int64_t value) {
        check(sqlite3_bind_int64(statement_, at, value));
        return *this;
    }
    Statement& bind(int at, const std::string& value) {
        check(sqlite3_bind_text(statement_, at, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT));
        return *this;
    }
    Statement& bind_blob(int at, const std::vector<std::uint8_t>& value) {
        check(sqlite3_bind_blob(statement_, at, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT));
        return *this;
    }
    // True while there is a row.
    bool step() {
        const int result = sqlite3_step(statement_);
        if (result == SQLITE_ROW) return true;
        if (result == SQLITE_DONE) return false;
        if (result == SQLITE_FULL) throw StoreFull(sqlite3_errmsg(db_));
        throw std::runtime_error(sqlite3_errmsg(db_));
    }
    std::int64_t integer(int column) const { return sqlite3_column_int64(statement_, column); }
    std::string text(int column) const {
        const unsigned char* value = sqlite3_column_text(statement_, column);
        return value == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(value),
                                                              static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)));
    }
    void blob(int column, std::vector<std::uint8_t>& out) const {
        const auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(statement_, column));
        out.assign(data, data + sqlite3_column_bytes(statement_, column));
    }

private:
    void check(int result) {
        if (result != SQLITE_OK) throw std::runtime_error(sqlite3_errmsg(db_));
    }
    sqlite3* db_;
    sqlite3_stmt* statement_ = nullptr;
};

Run run_from(const Statement& row) {
    Run run;
    run.id = row.integer(0);
    run.player = row.text(1);
    run.sha256 = row.text(2);
    run.submitted_at = row.integer(3);
    Verdict& v = run.verdict;
    v.status = status_from(row.text(4));
    v.reason = row.text(5);
    v.frames = static_cast<std::uint32_t>(row.integer(6));
    v.ending = row.text(7);
    v.score = static_cast<std::int32_t>(row.integer(8));
    v.level = static_cast<std::int32_t>(row.integer(9));
    v.logic_version = static_cast<std::uint32_t>(row.integer(10));
    v.asset_digest = row.text(11);
    v.assets_known = row.integer(12) != 0;
    v.recorded_by = row.text(13);
    v.utc_offset = static_cast<std::int32_t>(row.integer(14));
    v.start_time = row.integer(15);
    v.verifier_version = row.text(16);
    run.verified_at = row.integer(17);
    run.hidden = row.integer(18) != 0;
    return run;
}

class SqliteStore final : public Store {
public:
    explicit SqliteStore(const std::string& path) {
        const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;
        if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
            const std::string problem = db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
            sqlite3_close(db_);
            db_ = nullptr;
            throw std::runtime_error("cannot open the database " + path + ": " + problem);
        }
        sqlite3_busy_timeout(db_, 5000);
        try {
            execute("PRAGMA journal_mode=WAL");
            execute("PRAGMA synchronous=FULL");
            execute("PRAGMA foreign_keys=ON");
            migrate();
        } catch (const std::exception& failure) {
            sqlite3_close(db_);
            db_ = nullptr;
            throw std::runtime_error("cannot use the database " + path + ": " + failure.what());
        }
    }
    ~SqliteStore() override {
        sqlite3_finalize(data_version_);
        sqlite3_close(db_);
    }

    std::optional<std::int64_t> find_same(const std::string& sha256, const std::string& input_sha256) override {
        std::lock_guard lock(mutex_);
        Statement find(db_, "SELECT id FROM runs WHERE sha256 = ?1 OR (input_sha256 = ?2 AND status != 'rejected') "
                            "ORDER BY sha256 = ?1 DESC, id LIMIT 1");
        find.bind(1, sha256).bind(2, input_sha256);
        if (find.step()) return find.integer(0);
        return std::nullopt;
    }

    std::int64_t add_run(const NewRun& run) override {
        std::lock_guard lock(mutex_);
        Statement add(db_,
                      "INSERT INTO runs (player, sha256, input_sha256, replay, submitted_at, logic_version, recorded_by) "
                      "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
        add.bind(1, run.player).bind(2, run.sha256).bind(3, run.input_sha256).bind_blob(4, run.replay);
        add.bind(5, now_milliseconds()).bind(6, static_cast<std::int64_t>(run.logic_version)).bind(7, run.recorded_by);
        add.step();
        return sqlite3_last_insert_rowid(db_);
    }

    std::optional<Run> run(std::int64_t id) override {
        std::lock_guard lock(mutex_);
        Statement find(db_, std::string("SELECT ") + RUN_COLUMNS + " FROM runs WHERE id = ?1");
        find.bind(1, id);
        if (find.step()) return run_from(find);
        return std::nullopt;
    }

    bool replay(std::int64_t id, std::vector<std::uint8_t>& bytes) override {
        std::lock_guard lock(mutex_);
        Statement find(db_, "SELECT replay FROM runs WHERE id = ?1");
        find.bind(1, id);
        if (!find.step()) return false;
        find.blob(0, bytes);
        return true;
    }

    std::vector<std::int64_t> pending_runs() override { return ids("SELECT id FROM runs WHERE status = 'pending' ORDER BY id"); }
    std::vector<std::int64_t> all_runs() override { return ids("SELECT id FROM runs ORDER BY id"); }
    std::int64_t pending_count() override { return ids("SELECT COUNT(*) FROM runs WHERE status = 'pending'").at(0); }
    bool reachable() override {
        try {
            return ids("SELECT 1").size() == 1;
        } catch (const std::exception&) {
            return false;
        }
    }

    void set_verdict(std::int64_t id, const Verdict& v, std::int64_t verified_at) override {
        std::lock_guard lock(mutex_);
        note_change();  // before the write: a view made meanwhile is not kept
        Statement set(db_,
                      "UPDATE runs SET status = ?2, reason = ?3, frames = ?4, ending = ?5, score = ?6, level = ?7, "
                      "logic_version = ?8, asset_digest = ?9, assets_known = ?10, recorded_by = ?11, utc_offset = ?12, "
                      "start_time = ?13, verifier_version = ?14, verified_at = ?15 WHERE id = ?1");
        set.bind(1, id).bind(2, std::string(status_name(v.status))).bind(3, v.reason).bind(4, std::int64_t{v.frames});
        set.bind(5, v.ending).bind(6, std::int64_t{v.score}).bind(7, std::int64_t{v.level});
        set.bind(8, std::int64_t{v.logic_version}).bind(9, v.asset_digest).bind(10, std::int64_t{v.assets_known});
        set.bind(11, v.recorded_by).bind(12, std::int64_t{v.utc_offset}).bind(13, v.start_time);
        set.bind(14, v.verifier_version).bind(15, verified_at);
        set.step();
    }

    std::vector<BoardRow> board(const BoardQuery& query) override {
        std::lock_guard lock(mutex_);
        std::string sql = std::string("SELECT ") + RUN_COLUMNS + " FROM runs WHERE " + ON_BOARD;
        if (query.after)
            sql += " AND (score < ?1 OR (score = ?1 AND (verified_at > ?2 OR (verified_at = ?2 AND id > ?3))))";
        if (!query.player.empty()) sql += " AND player = ?4";
        sql += " ORDER BY score DESC, verified_at, id LIMIT ?5 OFFSET ?6";
        Statement select(db_, sql);
        if (query.after) select.bind(1, std::int64_t{query.after->score}).bind(2, query.after->verified_at).bind(3, query.after->id);
        if (!query.player.empty()) select.bind(4, query.player);
        select.bind(5, std::int64_t{query.limit}).bind(6, query.offset);
        std::vector<BoardRow> rows;
        while (select.step()) rows.push_back({0, run_from(select)});
        // A run has one rank in every view: the number of visible runs ahead of it, plus one. A page
        // of the whole board is a stretch of it, so one count ranks every row.
        if (query.player.empty() && !rows.empty()) {
            const std::int64_t first = rank_of(rows.front().run);
            for (std::size_t i = 0; i < rows.size(); ++i) rows[i].rank = first + static_cast<std::int64_t>(i);
        } else {
            for (BoardRow& row : rows) row.rank = rank_of(row.run);
        }
        return rows;
    }

    // SQLite's own count of the commits other connections made to the file (the command line's
    // --hide, another server on it); this connection's are the store's changes_made().
    std::optional<std::uint64_t> board_mark() override {
        std::lock_guard lock(mutex_);
        // Asked at every view served: prepared once.
        if (data_version_ == nullptr && sqlite3_prepare_v2(db_, "PRAGMA data_version", -1, &data_version_, nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(db_));
        const int stepped = sqlite3_step(data_version_);
        const std::uint64_t version = static_cast<std::uint64_t>(sqlite3_column_int64(data_version_, 0));
        sqlite3_reset(data_version_);
        if (stepped != SQLITE_ROW) throw std::runtime_error(sqlite3_errmsg(db_));
        return version;
    }

    std::optional<std::int64_t> rank(std::int64_t id) override {
        std::lock_guard lock(mutex_);
        Statement find(db_, std::string("SELECT ") + RUN_COLUMNS + " FROM runs WHERE id = ?1 AND " + ON_BOARD);
        find.bind(1, id);
        if (!find.step()) return std::nullopt;
        return rank_of(run_from(find));
    }

    bool set_hidden(std::int64_t id, bool hidden, const AuditEntry& entry) override {
        std::lock_guard lock(mutex_);
        note_change();  // before the write: a view made meanwhile is not kept
        execute("BEGIN IMMEDIATE");
        try {
            Statement set(db_, "UPDATE runs SET hidden = ?2 WHERE id = ?1");
            set.bind(1, id).bind(2, std::int64_t{hidden});
            set.step();
            if (sqlite3_changes(db_) == 0) {
                execute("ROLLBACK");
                return false;
            }
            Statement note(db_, "INSERT INTO audit (at, who, action, run_id, reason) VALUES (?1, ?2, ?3, ?4, ?5)");
            note.bind(1, entry.at).bind(2, entry.who).bind(3, entry.action).bind(4, id).bind(5, entry.reason);
            note.step();
            execute("COMMIT");
        } catch (...) {
            execute("ROLLBACK");
            throw;
        }
        return true;
    }

    std::vector<AuditEntry> audit() override {
        std::lock_guard lock(mutex_);
        Statement select(db_, "SELECT at, who, action, run_id, reason FROM audit ORDER BY id");
        std::vector<AuditEntry> entries;
        while (select.step())
            entries.push_back({select.integer(0), select.text(1), select.text(2), select.integer(3), select.text(4)});
        return entries;
    }

private:
    void execute(const char* sql) {
        char* problem = nullptr;
        if (sqlite3_exec(db_, sql, nullptr, nullptr, &problem) != SQLITE_OK) {
            const std::string line = problem != nullptr ? problem : sqlite3_errmsg(db_);
            sqlite3_free(problem);
            throw std::runtime_error(line);
        }
    }

    void migrate() {
        Statement version(db_, "PRAGMA user_version");
        version.step();
        const std::int64_t done = version.integer(0);
        const std::int64_t steps = static_cast<std::int64_t>(std::size(MIGRATIONS));
        if (done > steps) throw std::runtime_error("it was made by a newer board (schema " + std::to_string(done) + ")");
        for (std::int64_t step = done; step < steps; ++step) {
            execute("BEGIN IMMEDIATE");
            try {
                execute(MIGRATIONS[step]);
                execute(("PRAGMA user_version = " + std::to_string(step + 1)).c_str());
                execute("COMMIT");
            } catch (...) {
                sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
                throw;
            }
        }
    }

    std::vector<std::int64_t> ids(const char* sql) {
        std::lock_guard lock(mutex_);
        Statement select(db_, sql);
        std::vector<std::int64_t> found;
        while (select.step()) found.push_back(select.integer(0));
        return found;
    }

    std::int64_t rank_of(const Run& run) {
        Statement count(db_, std::string("SELECT COUNT(*) FROM runs WHERE ") + ON_BOARD +
                                 " AND (score > ?1 OR (score = ?1 AND (verified_at < ?2 OR (verified_at = ?2 AND id < ?3))))");
        count.bind(1, std::int64_t{run.verdict.score}).bind(2, run.verified_at).bind(3, run.id);
        count.step();
        return count.integer(0) + 1;
    }

    std::mutex mutex_;
    sqlite3* db_ = nullptr;
    sqlite3_stmt* data_version_ = nullptr;
};

}  // namespace

std::unique_ptr<Store> open_store(const std::string& url) {
    std::string path = url;
    if (path.rfind("sqlite:", 0) == 0) path = path.substr(7);
    else if (path.rfind("postgresql://", 0) == 0 || path.rfind("postgres://", 0) == 0)
        return open_postgresql_store(url);
    else if (path.find("://") != std::string::npos)
        throw std::runtime_error("--database " + url + ": give sqlite:PATH or postgresql://...");
    if (path.empty()) throw std::runtime_error("--database " + url + ": no file named");
    return std::make_unique<SqliteStore>(path);
}

void backup_sqlite(const std::string& url, const std::string& file) {
    const std::string path = url.rfind("sqlite:", 0) == 0 ? url.substr(7) : url;
    if (path.empty() || path.find("://") != std::string::npos)
        throw std::runtime_error("--backup copies a SQLite board (--database sqlite:PATH); for PostgreSQL use pg_dump");
    sqlite3* source = nullptr;
    sqlite3* copy = nullptr;
    const std::string partial = file + ".partial";
    const auto fail = [&](const std::string& problem) {
        sqlite3_close(copy);
        sqlite3_close(source);
        std::remove(partial.c_str());
        throw std::runtime_error("--backup " + file + ": " + problem);
    };
    if (sqlite3_open_v2(path.c_str(), &source, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        fail("cannot open " + path + ": " + (source != nullptr ? sqlite3_errmsg(source) : "out of memory"));
    std::remove(partial.c_str());
    if (sqlite3_open_v2(partial.c_str(), &copy, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
        fail(std::string("cannot write it: ") + (copy != nullptr ? sqlite3_errmsg(copy) : "out of memory"));
    sqlite3_busy_timeout(source, 5000);
    sqlite3_backup* backup = sqlite3_backup_init(copy, "main", source, "main");
    if (backup == nullptr) fail(sqlite3_errmsg(copy));
    // A few pages at a time, so that a running server's writes wait at most a moment; a write
    // between steps starts the copy again, and the copy ends as one consistent moment.
    int result = SQLITE_OK;
    while ((result = sqlite3_backup_step(backup, 256)) == SQLITE_OK || result == SQLITE_BUSY || result == SQLITE_LOCKED)
        if (result != SQLITE_OK) sqlite3_sleep(50);
    sqlite3_backup_finish(backup);
    if (result != SQLITE_DONE) fail(sqlite3_errstr(result));
    // The copy is a plain file on its own, not a write-ahead log beside it.
    if (sqlite3_exec(copy, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr) != SQLITE_OK) fail(sqlite3_errmsg(copy));
    sqlite3_close(copy);
    sqlite3_close(source);
    copy = source = nullptr;
    if (std::rename(partial.c_str(), file.c_str()) != 0) fail(std::strerror(errno));
}

#ifndef ZORVALEN_BOARD_POSTGRESQL
std::unique_ptr<Store> open_postgresql_store(const std::string& url) {
    throw std::runtime_error("--database " + url + ": this board was built without PostgreSQL (libpq)");
}
#endif

}  // namespace board
