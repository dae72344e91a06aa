// The replay folder's keeping: where the player's replays go, and which of them stay.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "replays/replay_recorder.h"

namespace replays {

namespace {

bool is_own_replay(const std::string& name) {
    return name.size() > sizeof REPLAY_NAME_PREFIX + 4 && name.rfind(REPLAY_NAME_PREFIX, 0) == 0 &&
           name.compare(name.size() - 4, 4, FILE_SUFFIX) == 0;
}

// The better of a file's final score and high score, or -1 for a file with no trailer.
std::int64_t best_score_of(const std::filesystem::path& path) {
    std::FILE* file = std::fopen(path.string().c_str(), "rb");
    if (file == nullptr) return -1;
    std::uint8_t last[TRAILER_BLOCK_SIZE];
    ReplayTrailer trailer;
    const bool read = std::fseek(file, -static_cast<long>(sizeof last), SEEK_END) == 0 &&
                      std::fread(last, 1, sizeof last, file) == sizeof last && read_trailer(last, sizeof last, trailer);
    std::fclose(file);
    return read ? std::max<std::int64_t>(trailer.score, trailer.high_score) : -1;
}

}  // namespace

std::string default_replay_folder() {
#if defined(__EMSCRIPTEN__)
    return "/replays";
#elif defined(_WIN32)
    const char* roaming = std::getenv("APPDATA");
    if (roaming == nullptr || roaming[0] == '\0') return {};
    return std::string(roaming) + "\\Zorvalen\\replays";
#else
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data != nullptr && data[0] == '/') return std::string(data) + "/zorvalen/replays";
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') return {};
    return std::string(home) + "/.local/share/zorvalen/replays";
#endif
}

bool is_best_in_its_folder(const std::string& path) {
    namespace fs = std::filesystem;
    const std::int64_t score = best_score_of(path);
    if (score < 0) return false;
    std::error_code failure;
    const fs::path own = fs::absolute(path, failure);
    const fs::path folder = own.parent_path();
    for (fs::directory_iterator it(folder, failure), end; !failure && it != end; it.increment(failure)) {
        const fs::path& other = it->path();
        if (other.filename() == own.filename() || !is_own_replay(other.filename().string())) continue;
        if (best_score_of(other) >= score) return false;
    }
    return true;
}

void prune_replay_folder(const std::string& folder, const std::string& keep) {
    namespace fs = std::filesystem;
    struct Found {
        fs::path path;
        fs::file_time_type written;
        std::int64_t score;
        bool stays;
    };
    std::vector<Found> files;
    std::error_code failure;
    for (fs::directory_iterator it(folder, failure), end; !failure && it != end; it.increment(failure)) {
        const fs::path& path = it->path();
        std::error_code unreadable;
        if (!is_own_replay(path.filename().string()) || !it->is_regular_file(unreadable)) continue;
        const fs::file_time_type written = fs::last_write_time(path, unreadable);
        if (!unreadable) files.push_back({path, written, -1, path.string() == keep});
    }
    if (files.size() <= static_cast<std::size_t>(KEEP_NEWEST)) return;
    std::sort(files.begin(), files.end(), [](const Found& a, const Found& b) { return a.written > b.written; });
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (i < static_cast<std::size_t>(KEEP_NEWEST)) files[i].stays = true;
        files[i].score = best_score_of(files[i].path);
    }
    std::vector<Found*> by_score;
    for (Found& file : files)
        if (file.score >= 0) by_score.push_back(&file);
    std::stable_sort(by_score.begin(), by_score.end(), [](const Found* a, const Found* b) { return a->score > b->score; });
    for (std::size_t i = 0; i < by_score.size() && i < static_cast<std::size_t>(KEEP_BEST); ++i) by_score[i]->stays = true;
    for (const Found& file : files)
        if (!file.stays) fs::remove(file.path, failure);
}

}  // namespace replays
