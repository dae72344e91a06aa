#include "verifier.h"

#include <fcntl.h>
#include <poll.h>
#include <seccomp.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "replays/game_probe.h"
#include "replays/replay_session.h"
#include "metrics.h"
#include "runner.h"
#include "upload_checks.h"

extern char** environ;

namespace board {

using nlohmann::json;

std::string verifier_version() {
    return std::string("zorvalen-board ") + ZORVALEN_VERSION + ", logic " + std::to_string(replays::GAME_LOGIC_VERSION);
}

namespace {

const char* ending_name(replays::Ending ending) {
    switch (ending) {
    case replays::Ending::escape: return "escape";
    case replays::Ending::window_closed: return "window_closed";
    case replays::Ending::stopped: return "stopped";
    default: return "unknown";
    }
}

std::string hex64(std::uint64_t value) {
    char text[20];
    std::snprintf(text, sizeof text, "%016" PRIx64, value);
    return text;
}

void wall_in(int cpu_seconds, std::size_t address_space_mib) {
    const auto limit = [](int resource, rlim_t value) {
        const rlimit bound{value, value};
        setrlimit(resource, &bound);
    };
    limit(RLIMIT_CPU, static_cast<rlim_t>(cpu_seconds));
    limit(RLIMIT_AS, static_cast<rlim_t>(address_space_mib) << 20);
    limit(RLIMIT_FSIZE, 0);    // no file is written
    limit(RLIMIT_NOFILE, 32);  // the replay, the game's files one at a time, the standard three
    limit(RLIMIT_CORE, 0);
    prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    // A verifier killed outright takes its game with it, rather than leave it playing to nobody.
    prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0);
    // What a game being played never needs: the network, running programs, other processes.
    scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ALLOW);
    if (filter == nullptr) return;
    const int refused[] = {SCMP_SYS(socket),        SCMP_SYS(connect),        SCMP_SYS(bind),
                           SCMP_SYS(listen),        SCMP_SYS(accept),         SCMP_SYS(accept4),
                           SCMP_SYS(execve),        SCMP_SYS(execveat),       SCMP_SYS(fork),
                           SCMP_SYS(vfork),         SCMP_SYS(ptrace),         SCMP_SYS(process_vm_writev),
                           SCMP_SYS(process_vm_readv), SCMP_SYS(mount),       SCMP_SYS(umount2),
                           SCMP_SYS(unshare),       SCMP_SYS(setns),          SCMP_SYS(chroot),
                           SCMP_SYS(pivot_root),    SCMP_SYS(bpf),            SCMP_SYS(perf_event_open),
                           SCMP_SYS(keyctl),        SCMP_SYS(add_key),        SCMP_SYS(request_key),
                           SCMP_SYS(init_module),   SCMP_SYS(finit_module),   SCMP_SYS(delete_module),
                           SCMP_SYS(reboot),        SCMP_SYS(swapon),         SCMP_SYS(swapoff),
                           SCMP_SYS(kexec_load),    SCMP_SYS(rename),         SCMP_SYS(renameat),
                           SCMP_SYS(renameat2),     SCMP_SYS(unlink),         SCMP_SYS(unlinkat),
                           SCMP_SYS(mkdir),         SCMP_SYS(mkdirat),        SCMP_SYS(rmdir),
                           SCMP_SYS(truncate),      SCMP_SYS(ftruncate),      SCMP_SYS(chmod),
                           SCMP_SYS(fchmod),        SCMP_SYS(fchmodat),       SCMP_SYS(chown),
                           SCMP_SYS(fchown),        SCMP_SYS(fchownat),       SCMP_SYS(link),
                           SCMP_SYS(linkat),        SCMP_SYS(symlink),        SCMP_SYS(symlinkat)};
    for (const int call : refused) seccomp_rule_add(filter, SCMP_ACT_ERRNO(EPERM), call, 0);
    seccomp_load(filter);
    seccomp_release(filter);
}

// The game's state at the end, as the trailer would record it.
struct Simulation {
    std::int64_t desync_frame = -1;
    std::int64_t frames_run = 0;
    bool final_matches = false;
    replays::GameFacts facts;
    replays::Ending ending = replays::Ending::stopped;
};

// The verdict: the checks, then every trailer field the game's own run recomputes, in the
// trailer's order; the first that differs is the reason.
Verdict judge(const replays::ReplayIndex& index, const Simulation& run) {
    Verdict v;
    v.frames = static_cast<std::uint32_t>(run.frames_run);
    v.ending = ending_name(run.ending);
    v.score = std::max(run.facts.score, run.facts.high_score);
    v.level = run.facts.level;
    v.logic_version = index.header.logic_version;
    v.asset_digest = hex64(index.header.asset_digest);
    v.recorded_by = recorder_name(static_cast<std::uint8_t>(index.header.recorder));
    v.utc_offset = index.header.utc_offset;
    v.start_time = index.header.start_time;
    v.verifier_version = verifier_version();
    const auto reject = [&](const std::string& reason) {
        v.status = RunStatus::rejected;
        v.reason = reason;
        return v;
    };
    if (run.desync_frame >= 0)
        return reject("desync at frame " + std::to_string(run.desync_frame) + " (" +
                      replays::clock_of_frames(static_cast<std::uint32_t>(run.desync_frame)) +
                      "): the game's state there is not the recorded one");
    if (run.frames_run != index.frames)
        return reject("the game ended at frame " + std::to_string(run.frames_run) + ", but the file goes on to frame " +
                      std::to_string(index.frames));
    const replays::ReplayTrailer& t = index.trailer;
    const auto differs = [&](const char* field, const std::string& claimed, const std::string& played) {
        return reject("the trailer's " + std::string(field) + " is " + claimed + ", but the game played to " + played);
    };
    if (t.frames != run.frames_run) return differs("frame count", std::to_string(t.frames), std::to_string(run.frames_run));
    if (t.ending != run.ending) return differs("ending", ending_name(t.ending), ending_name(run.ending));
    if (t.score != run.facts.score) return differs("score", std::to_string(t.score), std::to_string(run.facts.score));
    if (t.high_score != run.facts.high_score)
        return differs("high score", std::to_string(t.high_score), std::to_string(run.facts.high_score));
    if (t.level != run.facts.level) return differs("level", std::to_string(t.level), std::to_string(run.facts.level));
    if (!run.final_matches) return reject("the trailer's final state is not the one the game played to");
    v.status = RunStatus::verified;
    return v;
}

json verdict_json(const Verdict& v, bool assets_known) {
    return {{"status", status_name(v.status)}, {"reason", v.reason}, {"frames", v.frames},
            {"ending", v.ending}, {"score", v.score}, {"level", v.level},
            {"logic_version", v.logic_version}, {"asset_digest", v.asset_digest}, {"assets_known", assets_known},
            {"recorded_by", v.recorded_by}, {"utc_offset", v.utc_offset}, {"start_time", v.start_time},
            {"verifier_version", v.verifier_version}};
}

Verdict failed(const std::string& reason) {
    Verdict v;
    v.status = RunStatus::rejected;
    v.reason = reason;
    v.verifier_version = verifier_version();
    return v;
}

}  // namespace

int run_verify_one(const std::string& asset_dir, int cpu_seconds, std::size_t address_space_mib) {
    wall_in(cpu_seconds, address_space_mib);
    const auto answer = [](const Verdict& v, bool assets_known) {
        std::printf("%s\n", verdict_json(v, assets_known).dump().c_str());
        std::fflush(stdout);
        return 0;
    };
    // Standard input is the replay, in memory the parent made for it: it can be read again by name.
    const std::string path = "/proc/self/fd/0";
    std::vector<std::uint8_t> bytes;
    const replays::ReplayIndex index = replays::load_replay_file(path, bytes);
    if (index.status != replays::ReadStatus::ok) return answer(failed("not a whole replay: " + index.problem), false);
    replays::Ending escape_at_end = replays::Ending::stopped;
    replays::visit_frames(bytes.data(), index, [&](const replays::FrameReads& reads) {
        escape_at_end = reads.key(1) ? replays::Ending::escape : replays::Ending::stopped;  // DIK_ESCAPE
    });

    std::error_code failure;
    std::filesystem::current_path(asset_dir, failure);
    if (failure) return answer(failed("the board cannot enter its game files"), false);
    replays::install_game_probe();
    std::string message, warning;
    if (!replays::start_playing(path, replays::ReplayPlayer::Use::verify, message, warning))
        return answer(failed(message), false);
    const replays::ReplayPlayer& player = *replays::active_player();
    replay::RunSettings settings;
    settings.mode = headless::Mode::record;
    settings.frame_limit = index.frames;
    settings.input_source = [](int64_t, replay::FrameInput&) {};  // every read comes from the replay
    const replay::RunOutcome outcome = replay::play(replay::Script{}, settings);
    Simulation run;
    const std::uint64_t final_digest = replays::game_probe()->digest_state();
    replays::game_probe()->read_facts(run.facts);
    run.desync_frame = player.desync_frame();
    run.final_matches = player.final_state_matches(final_digest);
    run.frames_run = outcome.frames;
    run.ending = escape_at_end == replays::Ending::escape ? replays::Ending::escape
                 : run.facts.quit_requested             ? replays::Ending::window_closed
                                                        : replays::Ending::stopped;
    replays::end_session();
    if (!outcome.started) return answer(failed("the game could not start on the board"), false);
    // Playing compares the replay's pack with the board's own, and warns when they differ.
    return answer(judge(index, run), warning.empty());
}

std::optional<Verdict> verify_in_child(const std::vector<std::uint8_t>& bytes, const VerifierSettings& settings,
                                       const std::atomic<bool>* stop) {
    const int replay = memfd_create("replay", MFD_CLOEXEC);
    if (replay < 0) return failed("the board could not hand the replay on");
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = write(replay, bytes.data() + written, bytes.size() - written);
        if (n <= 0) {
            close(replay);
            return failed("the board could not hand the replay on");
        }
        written += static_cast<std::size_t>(n);
    }
    lseek(replay, 0, SEEK_SET);
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(replay);
        return failed("the board could not start its verifier");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, replay, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const std::string cpu = std::to_string(settings.cpu_seconds);
    const std::string memory = std::to_string(settings.address_space_mib);
    const char* argv[] = {settings.program.c_str(), "--verify-one", "--assets", settings.asset_dir.c_str(),
                          "--verify-cpu-seconds", cpu.c_str(), "--verify-memory-mib", memory.c_str(), nullptr};
    pid_t child = 0;
    const int spawned = posix_spawn(&child, settings.program.c_str(), &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(replay);
    close(out[1]);
    if (spawned != 0) {
        close(out[0]);
        return failed("the board could not start its verifier");
    }

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(settings.wall_seconds);
    std::string text;
    bool timed_out = false, stopped = false;
    char buffer[4096];
    for (;;) {
        if (stop != nullptr && stop->load()) {
            stopped = true;
            break;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timed_out = true;
            break;
        }
        pollfd wait_for{out[0], POLLIN, 0};
        const int ready = poll(&wait_for, 1, static_cast<int>(std::min<std::int64_t>(left.count(), 1000)));
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0) continue;
        const ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n <= 0) break;
        if (text.size() < 65536) text.append(buffer, static_cast<std::size_t>(n));
    }
    close(out[0]);
    if (timed_out || stopped) kill(child, SIGKILL);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (stopped) return std::nullopt;
    if (timed_out)
        return failed("the verifier ran past its " + std::to_string(settings.wall_seconds) + " s and was stopped");
    if (WIFSIGNALED(status)) {
        if (WTERMSIG(status) == SIGXCPU || WTERMSIG(status) == SIGKILL)
            return failed("the verifier ran past its " + std::to_string(settings.cpu_seconds) + " s of CPU and was stopped");
        return failed("the verifier failed (signal " + std::to_string(WTERMSIG(status)) + ")");
    }
    try {
        const json answer = json::parse(text);
        Verdict v;
        const std::string status_text = answer.at("status");
        v.status = status_text == "verified" ? RunStatus::verified : RunStatus::rejected;
        v.reason = answer.at("reason");
        v.frames = answer.at("frames");
        v.ending = answer.at("ending");
        v.score = answer.at("score");
        v.level = answer.at("level");
        v.logic_version = answer.at("logic_version");
        v.asset_digest = answer.at("asset_digest");
        v.assets_known = answer.at("assets_known");
        v.recorded_by = answer.at("recorded_by");
        v.utc_offset = answer.at("utc_offset");
        v.start_time = answer.at("start_time");
        v.verifier_version = answer.at("verifier_version");
        return v;
    } catch (const std::exception&) {
        return failed("the verifier failed (exit status " + std::to_string(WEXITSTATUS(status)) + ")");
    }
}

// One line per verdict on standard error, and the verdict counted for /metrics.
static void log_verdict(std::int64_t run_id, const Verdict& verdict, std::chrono::steady_clock::time_point began, bool kept) {
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    if (kept) count_verdict(status_name(verdict.status), seconds);
    char fields[160];
    std::snprintf(fields, sizeof fields, "event=verdict run=%" PRId64 " status=%s seconds=%.3f kept=%s", run_id,
                  status_name(verdict.status), seconds, kept ? "yes" : "dropped");
    log_line(fields);
}

VerifierPool::VerifierPool(Store& store, VerifierSettings settings, int workers, std::size_t capacity)
    : store_(store), settings_(std::move(settings)), capacity_(capacity) {
    if (!store_.shares_work())
        for (const std::int64_t id : store_.pending_runs()) queue_.push_back(id);
    for (int i = 0; i < workers; ++i) threads_.emplace_back([this] { work(); });
}

VerifierPool::~VerifierPool() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) thread.join();
}

bool VerifierPool::has_room() {
    if (store_.shares_work()) return true;
    std::lock_guard lock(mutex_);
    return queue_.size() < capacity_;
}

void VerifierPool::add(std::int64_t run_id) {
    {
        std::lock_guard lock(mutex_);
        if (store_.shares_work()) nudged_ = true;
        else queue_.push_back(run_id);
    }
    wake_.notify_one();
}

std::size_t VerifierPool::waiting() {
    std::lock_guard lock(mutex_);
    return queue_.size();
}

void VerifierPool::work() {
    if (store_.shares_work()) return work_shared();
    std::vector<std::uint8_t> bytes;
    for (;;) {
        std::int64_t id = 0;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_) return;
            id = queue_.front();
            queue_.pop_front();
        }
        try {
            if (!store_.replay(id, bytes)) continue;
            const auto began = std::chrono::steady_clock::now();
            const std::optional<Verdict> verdict = verify_in_child(bytes, settings_, &stopping_);
            if (!verdict) continue;
            store_.set_verdict(id, *verdict, now_milliseconds());
            log_verdict(id, *verdict, began, true);
        } catch (const std::exception& failure) {
            count_database_error();
            log_line("event=error run=" + std::to_string(id) + " what=\"" + failure.what() + "\"");
            // The run is still pending in the database: it waits its turn again, after a pause that
            // keeps a database that stays broken (a full disk) from being hammered.
            std::unique_lock lock(mutex_);
            if (wake_.wait_for(lock, std::chrono::seconds(5), [this] { return stopping_.load(); })) return;
            queue_.push_back(id);
        }
    }
}

void VerifierPool::work_shared() {
    std::vector<std::uint8_t> bytes;
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_) return;
        }
        bool found = false;
        try {
            found = verify_claimed(bytes);
        } catch (const std::exception& failure) {
            count_database_error();
            log_line(std::string("event=error what=\"the database: ") + failure.what() + "\"");
        }
        if (found) continue;
        // Runs sent to other servers are seen at the next look, a second later at most.
        std::unique_lock lock(mutex_);
        wake_.wait_for(lock, std::chrono::seconds(1), [this] { return stopping_ || nudged_; });
        nudged_ = false;
    }
}

bool VerifierPool::verify_claimed(std::vector<std::uint8_t>& bytes) {
    const std::optional<Claim> claim = store_.claim_run(settings_.lease_seconds);
    if (!claim) return false;
    if (!store_.replay(claim->run_id, bytes)) return true;
    // The lease is renewed at a third of its length while the run is played, so that a run longer
    // than the lease stays this verifier's, and one whose verifier died is free soon after.
    std::mutex renewing;
    std::condition_variable played;
    bool done = false;
    std::thread renewer([&] {
        std::unique_lock lock(renewing);
        const auto every = std::chrono::milliseconds(settings_.lease_seconds * 1000 / 3);
        while (!played.wait_for(lock, every, [&] { return done; })) {
            try {
                if (!store_.renew_claim(*claim, settings_.lease_seconds)) return;
            } catch (const std::exception& failure) {
                count_database_error();
                log_line(std::string("event=error what=\"the database: ") + failure.what() + "\"");
            }
        }
    });
    // Stopped mid-run, the claim is left to lapse, and another verifier takes the run.
    const auto began = std::chrono::steady_clock::now();
    std::optional<Verdict> verdict;
    try {
        verdict = verify_in_child(bytes, settings_, &stopping_);
    } catch (...) {
        verdict = failed("the verifier failed");
    }
    {
        std::lock_guard lock(renewing);
        done = true;
    }
    played.notify_all();
    renewer.join();
    if (!verdict) return true;
    // Dropped: its lease passed to another verifier, whose verdict stands.
    log_verdict(claim->run_id, *verdict, began, store_.set_claimed_verdict(*claim, *verdict));
    return true;
}

}  // namespace board
