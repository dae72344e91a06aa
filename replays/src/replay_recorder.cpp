#include "replays/replay_recorder.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <vector>

#include "replays/game_probe.h"

#if defined(_WIN32)
#include <windows.h>

#include <io.h>
#elif !defined(__EMSCRIPTEN__)
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <thread>
#endif

namespace replays {

namespace {

constexpr int DIK_ESCAPE = 1;

std::tm local_time(std::time_t time) {
    std::tm out{};
#ifdef _WIN32
    localtime_s(&out, &time);
#else
    localtime_r(&time, &out);
#endif
    return out;
}

std::tm utc_time(std::time_t time) {
    std::tm out{};
#ifdef _WIN32
    gmtime_s(&out, &time);
#else
    gmtime_r(&time, &out);
#endif
    return out;
}

// Minutes east of UTC at `time`, from the two calendars' difference.
std::int16_t utc_offset_at(std::time_t time) {
    const std::tm local = local_time(time);
    const std::tm utc = utc_time(time);
    int minutes = (local.tm_hour - utc.tm_hour) * 60 + (local.tm_min - utc.tm_min);
    const int days = local.tm_yday - utc.tm_yday;
    if (days == 1 || days < -1) minutes += 24 * 60;
    if (days == -1 || days > 1) minutes -= 24 * 60;
    return static_cast<std::int16_t>(minutes);
}

}  // namespace

std::string replay_name_for(std::int64_t time) {
    const std::tm local = local_time(static_cast<std::time_t>(time));
    char name[64];
    std::snprintf(name, sizeof name, "%s%04d-%02d-%02d-%02d-%02d-%02d", REPLAY_NAME_PREFIX, local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return name;
}


// ---- Putting flushed bytes on the disk -------------------------------------------------------

// A flush hands the bytes to the system, which a killed game keeps; syncing puts them on the
// disk, which a lost power keeps too. Syncing can take a while, so a thread of its own waits.
#if defined(__EMSCRIPTEN__)
// The page keeps its replay in memory: there is no disk to wait for.
struct ReplayRecorder::Syncer {
    explicit Syncer(std::FILE*) {}
    void sync_soon() {}
};
#elif defined(_WIN32)
// The exe's C++ runtime has no std::thread: Windows' own thread and event.
struct ReplayRecorder::Syncer {
    explicit Syncer(std::FILE* file)
        : handle_(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)))),
          wake_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {
        if (wake_ != nullptr) thread_ = CreateThread(nullptr, 0, run, this, 0, nullptr);
    }
    ~Syncer() {
        stopping_ = 1;
        if (thread_ != nullptr) {
            SetEvent(wake_);
            WaitForSingleObject(thread_, INFINITE);
            CloseHandle(thread_);
        }
        if (wake_ != nullptr) CloseHandle(wake_);
    }
    void sync_soon() {
        if (thread_ != nullptr) SetEvent(wake_);
    }

private:
    static DWORD WINAPI run(void* self) {
        Syncer& syncer = *static_cast<Syncer*>(self);
        while (WaitForSingleObject(syncer.wake_, INFINITE) == WAIT_OBJECT_0 && !syncer.stopping_)
            FlushFileBuffers(syncer.handle_);
        return 0;
    }

    HANDLE handle_;
    HANDLE wake_;
    HANDLE thread_ = nullptr;
    volatile LONG stopping_ = 0;
};
#else
struct ReplayRecorder::Syncer {
    explicit Syncer(std::FILE* file) : file_(file), thread_([this] { run(); }) {}
    ~Syncer() {
        {
            std::lock_guard<std::mutex> hold(mutex_);
            stopping_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }
    void sync_soon() {
        {
            std::lock_guard<std::mutex> hold(mutex_);
            wanted_ = true;
        }
        wake_.notify_one();
    }

private:
    void run() {
        std::unique_lock<std::mutex> hold(mutex_);
        for (;;) {
            wake_.wait(hold, [this] { return wanted_ || stopping_; });
            if (stopping_) return;
            wanted_ = false;
            hold.unlock();
            fdatasync(fileno(file_));
            hold.lock();
        }
    }

    std::FILE* file_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool wanted_ = false;
    bool stopping_ = false;
    std::thread thread_;
};
#endif

// ---- Recording -------------------------------------------------------------------------------

ReplayRecorder::ReplayRecorder() = default;

ReplayRecorder::~ReplayRecorder() {
    syncer_.reset();
    if (file_ != nullptr) std::fclose(file_);
}

bool ReplayRecorder::open(const std::string& folder, const std::string& path, Recorder recorder, std::string& warning) {
    namespace fs = std::filesystem;
    std::error_code failure;
    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    frame_open_ = escape_held_ = false;
    folder_.clear();
    warning_.clear();
    if (path.empty()) {
        if (folder.empty()) {
            warning = "replays are not kept: there is no home folder to keep them in";
            return false;
        }
        fs::create_directories(folder, failure);
        if (failure) {
            warning = "replays are not kept: cannot make the folder " + folder + ": " + failure.message();
            return false;
        }
        const std::string stem = (fs::path(folder) / replay_name_for(now)).string();
        path_ = stem + FILE_SUFFIX;
        for (int copy = 2; fs::exists(path_, failure) && copy < 100; ++copy)
            path_ = stem + "-" + std::to_string(copy) + FILE_SUFFIX;
        folder_ = folder;
    } else {
        path_ = path;
    }
    file_ = std::fopen(path_.c_str(), "wb");
    if (file_ == nullptr) {
        warning = "replays are not kept: cannot write " + path_ + ": " + std::strerror(errno);
        return false;
    }
    ReplayHeader header;
    header.asset_digest = digest_asset_pack("");
    header.start_time = now;
    header.utc_offset = utc_offset_at(static_cast<std::time_t>(now));
    header.recorder = recorder;
    header_ = header;
    writer_.begin(header);
    write_out();
    if (file_ == nullptr) {
        warning = take_warning();
        return false;
    }
    syncer_ = std::make_unique<Syncer>(file_);
    return true;
}

std::string ReplayRecorder::take_warning() {
    std::string taken;
    taken.swap(warning_);
    return taken;
}

void ReplayRecorder::refresh_asset_digest() {
    if (file_ == nullptr) return;
    const std::uint64_t digest = digest_asset_pack("");
    if (digest == header_.asset_digest) return;
    header_.asset_digest = digest;
    std::uint8_t bytes[HEADER_SIZE];
    ReplayWriter::encode_header(header_, bytes);
    const long end = std::ftell(file_);
    errno = 0;
    const bool written = end >= static_cast<long>(HEADER_SIZE) && std::fseek(file_, 0, SEEK_SET) == 0 &&
                         std::fwrite(bytes, 1, HEADER_SIZE, file_) == HEADER_SIZE &&
                         std::fseek(file_, end, SEEK_SET) == 0 && std::fflush(file_) == 0;
    if (!written) stop("cannot write " + path_ + ": " + std::strerror(errno != 0 ? errno : EIO));
}

void ReplayRecorder::stop(const std::string& why) {
    warning_ = "the replay stops here: " + why;
    syncer_.reset();
    std::fclose(file_);
    file_ = nullptr;
}

void ReplayRecorder::write_out() {
    if (file_ == nullptr || writer_.byte_count() == 0) return;
    errno = 0;
    const bool written = std::fwrite(writer_.bytes(), 1, writer_.byte_count(), file_) == writer_.byte_count() &&
                         std::fflush(file_) == 0;
    writer_.clear_bytes();
    if (!written) {
        stop("cannot write " + path_ + ": " + std::strerror(errno != 0 ? errno : EIO));
        return;
    }
    if (syncer_ != nullptr) syncer_->sync_soon();
}

void ReplayRecorder::begin_frame() {
    frame_open_ = true;
    pending_ = FrameReads{};
    // A second's block is written out as the next one begins, with the state that begins it.
    if (!writer_.block_open() || writer_.block_frames() == BLOCK_FRAMES) {
        writer_.finish_block();
        write_out();
        const GameProbe* probe = game_probe();
        writer_.start_block(probe != nullptr ? probe->digest_state() : 0);
    }
}

void ReplayRecorder::mouse_read(const device_reads::MouseRead& mouse) {
    if (file_ == nullptr) return;
    // A frame whose keyboard could not be read still counts.
    if (frame_open_) keyboard_read(pending_.keys.data());
    begin_frame();
    pending_.dx = mouse.dx;
    pending_.dy = mouse.dy;
    for (int i = 0; i < 4; ++i)
        if (mouse.buttons[i] & 0x80) pending_.buttons |= static_cast<std::uint8_t>(1u << i);
}

void ReplayRecorder::keyboard_read(const std::uint8_t keys[256]) {
    if (file_ == nullptr) return;
    if (!frame_open_) begin_frame();
    keys_from_bytes(keys, pending_);
    escape_held_ = keys[DIK_ESCAPE] != 0;
    writer_.add_frame(pending_);
    frame_open_ = false;
}

void ReplayRecorder::finish(const GameFacts* facts, std::uint64_t final_digest) {
    if (file_ == nullptr) return;
    if (frame_open_) keyboard_read(pending_.keys.data());
    if (writer_.frames() == 0) {
        // The game never got to its first frame (no window, no device): there is nothing to keep.
        syncer_.reset();
        std::fclose(file_);
        file_ = nullptr;
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
        return;
    }
    ReplayTrailer trailer;
    trailer.frames = writer_.frames();
    trailer.ending = Ending::stopped;
    if (facts != nullptr) {
        if (facts->quit_requested) trailer.ending = Ending::window_closed;
        trailer.score = facts->score;
        trailer.high_score = facts->high_score;
        trailer.level = facts->level;
    }
    if (escape_held_) trailer.ending = Ending::escape;
    trailer.final_digest = final_digest;
    writer_.finish(trailer);
    write_out();
    if (file_ == nullptr) return;
    syncer_.reset();
    std::fclose(file_);
    file_ = nullptr;
    if (!folder_.empty()) prune_replay_folder(folder_, path_);
}

}  // namespace replays
