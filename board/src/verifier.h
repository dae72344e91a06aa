// Verifying runs: each one is played by a process of its own (this program again, in its
// --verify-one mode), walled in (CPU seconds, address space, no files written, few files open,
// no new privileges, a seccomp filter where the kernel has one) and killed when it runs past its
// time on the clock. The server keeps what that process found, never what the file says.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "store.h"

namespace board {

struct VerifierSettings {
    std::string program;    // this program, run again for each replay
    std::string asset_dir;  // the game's files, which the verifier plays with
    int cpu_seconds = 300;  // a thirteen-hour game takes about 160 s on a slow machine
    int wall_seconds = 600;
    std::size_t address_space_mib = 1024;
    int lease_seconds = 30;  // a shared database's claim on a run, renewed while it is played
};

// Plays `bytes` in a walled-in child process and returns its verdict (a failure of the child is
// a rejection naming it). When `stop` becomes true the child is killed and nothing is returned:
// the run stays pending for the board's next start.
std::optional<Verdict> verify_in_child(const std::vector<std::uint8_t>& bytes, const VerifierSettings& settings,
                                       const std::atomic<bool>* stop = nullptr);

// The child's side: reads the replay from standard input, plays it and writes its verdict as
// one line of JSON on standard output. Returns the exit status.
int run_verify_one(const std::string& asset_dir, int cpu_seconds, std::size_t address_space_mib);

// The version of what verifies, stored with every verdict.
std::string verifier_version();

// The queue of runs waiting to be verified, and the threads that each run a child at a time. On a
// store that shares its work, the queue is the database's: each thread claims a run, renews its
// lease while the run is played, and keeps its verdict only if the claim is still its own.
class VerifierPool {
public:
    VerifierPool(Store& store, VerifierSettings settings, int workers, std::size_t capacity);
    ~VerifierPool();

    // Whether one more run may wait (the queue is bounded: a full one answers 503).
    bool has_room();
    void add(std::int64_t run_id);
    std::size_t waiting();

private:
    void work();
    void work_shared();
    // One run claimed from the database and played; false when there was none to claim.
    bool verify_claimed(std::vector<std::uint8_t>& bytes);

    Store& store_;
    VerifierSettings settings_;
    std::size_t capacity_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::int64_t> queue_;
    std::atomic<bool> stopping_{false};
    bool nudged_ = false;  // a run was added here: claim at once rather than at the next look
    std::vector<std::thread> threads_;
};

}  // namespace board
