// Windows only, linked into the exe alone: the program's command line and settings file
// (%APPDATA%\Zorvalen\settings.toml), read before WinMain as the desktop's main reads them, and
// the file written at the end when asked. A windowed exe has no console of its own, so --help and
// the messages go to the output it was given or the console it was started from, and to a
// message box when there is neither.
#ifdef _WIN32

#include <windows.h>

#include <shellapi.h>

#include <cstdlib>
#include <string>
#include <vector>

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

program::ProgramOptions read_options() {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> words;
    for (int i = 0; wide != nullptr && i < count; ++i) words.push_back(to_utf8(wide[i]));
    LocalFree(wide);
    std::vector<const char*> argv;
    for (const std::string& word : words) argv.push_back(word.c_str());

    program::ProgramOptions options;
    const program::CommandLineOutcome outcome =
        program::read_command_line(static_cast<int>(argv.size()), argv.data(), options);
    if (!outcome.start_game) {
        show(outcome.message, outcome.status != 0);
        std::exit(outcome.status);
    }
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
