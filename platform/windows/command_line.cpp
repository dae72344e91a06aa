// Windows only, linked into the exe alone: the program's command line and settings file
// (%APPDATA%\Zorvalen\settings.toml), read before WinMain as the desktop's main reads them, and
// the file written at the end when asked. A windowed exe has no console of its own, so --help and
// the messages go to the output it was given or the console it was started from, and to a
// message box when there is neither.
#ifdef _WIN32

#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#ifdef ZORVALEN_HAVE_BOARD_CLIENT
#include "board_client/board_client.h"
#endif
#include "program/game_files.h"
#include "program/settings_file.h"
#include "exe_options.h"

namespace {

std::string to_utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.resize(static_cast<size_t>(size - 1));
    return out;
}

bool write_all(HANDLE handle, const std::string& text) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || GetFileType(handle) == FILE_TYPE_UNKNOWN) return false;
    DWORD written = 0;
    return WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

// What the program says before it exits, shown where the player can see it: the output it was
// given (a pipe or a file), else the console it was started from, else a message box.
void show(const std::string& text, bool error) {
    const DWORD which = error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE;
    if (write_all(GetStdHandle(which), text)) return;
    if (AttachConsole(ATTACH_PARENT_PROCESS) && write_all(GetStdHandle(which), text)) return;
    MessageBoxA(nullptr, text.c_str(), "Zorvalen", error ? MB_ICONERROR : MB_ICONINFORMATION);
}

// The game loads its files from the working folder: a shortcut or a console elsewhere leaves it
// there, so it goes where they are (the exe's folder, or an assets folder beside it), or says
// where it looked and ends.
void go_to_game_files() {
    wchar_t module[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring folder(module, length);
    folder.erase(folder.find_last_of(L"\\/") == std::wstring::npos ? 0 : folder.find_last_of(L"\\/"));
    wchar_t working[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, working);
    const program::GameFilesLookup lookup = program::find_game_files(to_utf8(working), to_utf8(folder.c_str()), "");
    if (lookup.folder.empty()) {
        show("zorvalen: " + program::describe_missing_game_files(lookup) + "\n", true);
        std::exit(1);
    }
    if (lookup.folder == to_utf8(working)) return;
    // Files the player names on the command line stay relative to where the exe was started.
    if (std::getenv("ZORVALEN_START_DIR") == nullptr) _putenv_s("ZORVALEN_START_DIR", to_utf8(working).c_str());
    const int size = MultiByteToWideChar(CP_UTF8, 0, lookup.folder.c_str(), -1, nullptr, 0);
    std::wstring found(static_cast<size_t>(size > 0 ? size : 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, lookup.folder.c_str(), -1, found.data(), size);
    SetCurrentDirectoryW(found.c_str());
}

program::ProgramOptions read_options() {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> words;
    for (int i = 0; wide != nullptr && i < count; ++i) words.push_back(to_utf8(wide[i]));
    LocalFree(wide);
    std::vector<const char*> argv;
    for (const std::string& word : words) argv.push_back(word.c_str());
    // --submit URL [--name NAME] FILE sends a replay to a board and ends, as zorvalen-replay's does.
    if (std::find(words.begin(), words.end(), "--submit") != words.end()) {
#ifdef ZORVALEN_HAVE_BOARD_CLIENT
        const board_client::SubmitCommand command =
            board_client::run_submit_command(static_cast<int>(argv.size()), argv.data(), "zorvalen");
        show(command.line, !command.on_stdout);
        std::exit(command.status);
#else
        show("zorvalen: this build cannot submit to a board (it was built without nlohmann-json)\n", true);
        std::exit(2);
#endif
    }

    program::ProgramOptions options;
    const program::CommandLineOutcome outcome =
        program::read_command_line(static_cast<int>(argv.size()), argv.data(), options);
    if (!outcome.start_game) {
        show(outcome.message, outcome.status != 0);
        std::exit(outcome.status);
    }
    go_to_game_files();
    std::string report;
    program::start_settings(options, report);
    // The game starts after the player has seen what its settings file got wrong.
    if (!report.empty()) show(report, true);
    std::atexit([] {
        std::string last;
        program::finish_settings(last);
        if (!last.empty()) show(last, true);
    });
    return options;
}

// Read with the program's static data, before WinMain.
const bool command_line_read = [] {
    windows_exe::options();
    return true;
}();

}  // namespace

namespace windows_exe {

const program::ProgramOptions& options() {
    static const program::ProgramOptions read = read_options();
    return read;
}

}  // namespace windows_exe

#endif
