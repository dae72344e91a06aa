#include "program/settings_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "settings/settings.h"

namespace program {

namespace {

namespace fs = std::filesystem;

constexpr char settings_name[] = "settings.toml";

struct Session {
    bool started = false;
    std::string path;
    bool save = false;              // --save-settings
    settings::Settings file;       // as the file gave them
    settings::Settings in_force;   // with the switches over them
};

// Made on first use, as the exe starts it while the program's static data is being set up.
Session& the_session() {
    static Session session;
    return session;
}

void say(std::string& report, const std::string& path, int line, const std::string& message) {
    report += "zorvalen: " + path + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": " + message + "\n";
}

#ifdef _WIN32
std::wstring to_wide(const std::string& text) {
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    if (size <= 0) return {};
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), size);
    wide.resize(static_cast<size_t>(size - 1));
    return wide;
}

std::string to_utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.resize(static_cast<size_t>(size - 1));
    return out;
}

fs::path to_path(const std::string& text) { return fs::path(to_wide(text)); }

std::string describe_last_error() {
    const DWORD code = GetLastError();
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return "no such file";
    case ERROR_ACCESS_DENIED: return "permission denied";
    case ERROR_DISK_FULL: return "the disk is full";
    default: return "Windows error " + std::to_string(code);
    }
}

// The file's bytes; false with what went wrong, `missing` telling a file that is not there.
bool read_file(const std::string& path, std::string& text, bool& missing, std::string& error) {
    HANDLE file = CreateFileW(to_wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        missing = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
        error = describe_last_error();
        return false;
    }
    char block[4096];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(file, block, sizeof block, &got, nullptr) != 0) && got > 0) {
        text.append(block, got);
        if (text.size() > settings::largest_settings_file) break;
    }
    if (!ok) error = describe_last_error();
    CloseHandle(file);
    return ok;
}

bool write_new_file(const std::string& path, const std::string& text, std::string& error) {
    HANDLE file = CreateFileW(to_wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = describe_last_error();
        return false;
    }
    DWORD written = 0;
    const bool ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                    written == text.size() && FlushFileBuffers(file);
    if (!ok) error = describe_last_error();
    CloseHandle(file);
    return ok;
}

bool replace_file(const std::string& from, const std::string& to, std::string& error) {
    if (MoveFileExW(to_wide(from).c_str(), to_wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    error = describe_last_error();
    return false;
}

void remove_file(const std::string& path) { DeleteFileW(to_wide(path).c_str()); }
#else
fs::path to_path(const std::string& text) { return fs::path(text); }

bool read_file(const std::string& path, std::string& text, bool& missing, std::string& error) {
    const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        missing = errno == ENOENT;
        error = std::strerror(errno);
        return false;
    }
    char block[4096];
    ssize_t got = 0;
    while ((got = read(file, block, sizeof block)) > 0) {
        text.append(block, static_cast<size_t>(got));
        if (text.size() > settings::largest_settings_file) break;
    }
    if (got < 0) error = std::strerror(errno);
    close(file);
    return got >= 0;
}

bool write_new_file(const std::string& path, const std::string& text, std::string& error) {
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (file < 0) {
        error = std::strerror(errno);
        return false;
    }
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t put = write(file, text.data() + done, text.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) break;
        done += static_cast<size_t>(put);
    }
    // On the disk before the rename, or a crash could leave the new name on an empty file.
    const bool ok = done == text.size() && fsync(file) == 0;
    if (!ok) error = std::strerror(errno != 0 ? errno : EIO);
    close(file);
    return ok;
}

bool replace_file(const std::string& from, const std::string& to, std::string& error) {
    if (rename(from.c_str(), to.c_str()) != 0) {
        error = std::strerror(errno);
        return false;
    }
    // The rename itself reaches the disk with its folder.
    const std::string folder = fs::path(to).parent_path().string();
    const int directory = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory >= 0) {
        fsync(directory);
        close(directory);
    }
    return true;
}

void remove_file(const std::string& path) { unlink(path.c_str()); }
#endif

std::string read_environment(const char* name) {
#ifdef _WIN32
    const std::wstring wide_name = to_wide(name);
    const wchar_t* value = _wgetenv(wide_name.c_str());
    return value != nullptr ? to_utf8(value) : std::string();
#else
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
#endif
}

void apply_switches(const ProgramOptions& options, settings::Settings& in_force) {
    if (options.full_screen) in_force.display.full_screen = true;
    if (options.window) in_force.display.full_screen = false;
    if (options.volume >= 0) in_force.sound.levels.master = options.volume;
    if (options.mute) in_force.sound.levels.mute = true;
    if (!options.record) in_force.replays.record = false;
}

void save(const std::string& path, const settings::Settings& settings, std::string& report) {
    if (path.empty()) {
        report += "zorvalen: there is no home folder to save the settings in\n";
        return;
    }
    std::string error;
    if (!save_settings_file(path, settings::write_settings(settings), error))
        say(report, path, 0, "cannot be saved (" + error + "); it is left as it was");
}

}  // namespace

std::string find_default_settings_path() {
#ifdef _WIN32
    const std::string base = read_environment("APPDATA");
    if (base.empty()) return {};
    return base + "\\Zorvalen\\" + settings_name;
#else
    const std::string config = read_environment("XDG_CONFIG_HOME");
    // Only an absolute path counts, as the base directory rules say.
    if (!config.empty() && config[0] == '/') return config + "/zorvalen/" + settings_name;
    const std::string home = read_environment("HOME");
    if (home.empty()) return {};
    return home + "/.config/zorvalen/" + settings_name;
#endif
}

bool save_settings_file(const std::string& path, const std::string& text, std::string& error) {
    std::error_code made;
    const fs::path folder = to_path(path).parent_path();
    if (!folder.empty()) fs::create_directories(folder, made);
    if (made) {
        error = "cannot make its folder: " + made.message();
        return false;
    }
    const std::string fresh = path + ".new";
    if (!write_new_file(fresh, text, error) || !replace_file(fresh, path, error)) {
        remove_file(fresh);
        return false;
    }
    return true;
}

void start_settings(ProgramOptions& options, std::string& report) {
    Session& session = the_session();
    session = Session{};
    session.started = true;
    session.save = options.save_settings;
    const bool named = !options.settings_file.empty();
    session.path = named ? options.settings_file : find_default_settings_path();

    std::string text;
    bool missing = false;
    std::string error;
    if (session.path.empty()) {
        // No home: the defaults, as for a first start.
    } else if (!read_file(session.path, text, missing, error)) {
        if (named || !missing) say(report, session.path, 0, "cannot be read (" + error + "); every setting keeps its default");
    } else {
        std::vector<settings::Problem> problems;
        session.file = settings::read_settings(text, problems);
        for (const settings::Problem& problem : problems) say(report, session.path, problem.line, problem.message);
    }
    session.in_force = session.file;
    apply_switches(options, session.in_force);
    // The file's "record = false" turns the replays off as --no-record does.
    options.record = session.in_force.replays.record;
    settings::put_settings_in_force(session.in_force);
    if (session.save) save(session.path, session.in_force, report);
}

void finish_settings(std::string& report) {
    Session& session = the_session();
    if (!session.started) return;
    session.started = false;
    const settings::SoundLevels levels = settings::read_live_levels();
    if (levels == session.in_force.sound.levels) return;
    // With --save-settings everything in force is kept; with the file's own say-so only the level.
    settings::Settings kept = session.save ? session.in_force : session.file;
    if (!session.save && !kept.sound.save_key_changes) return;
    kept.sound.levels = levels;
    save(session.path, kept, report);
}

}  // namespace program
