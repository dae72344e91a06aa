// The program's command line: what ends the program before the game starts, that --help and
// the man page list the same switches; and the settings file it reads and, when asked, writes.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "program/command_line.h"
#include "settings/settings.h"
#include "program/settings_file.h"

namespace {

program::CommandLineOutcome read(std::vector<const char*> words) {
    words.insert(words.begin(), "zorvalen");
    program::ProgramOptions options;
    return program::read_command_line(static_cast<int>(words.size()), words.data(), options);
}

// Every long switch named in a text: "--name" in the usage, "\-\-name" in the man page's roff
// (where a hyphen inside the name is "\-" too).
std::set<std::string> long_switches(const std::string& text) {
    const std::regex name(R"((?:--|\\-\\-)([a-z](?:[a-z0-9-]|\\-)*))");
    std::set<std::string> names;
    for (std::sregex_iterator it(text.begin(), text.end(), name), end; it != end; ++it)
        names.insert(std::regex_replace((*it)[1].str(), std::regex(R"(\\)"), ""));
    return names;
}

TEST(CommandLine, StartsTheGameOrEndsWithTheRightStatus) {
    EXPECT_TRUE(read({}).start_game);

    const program::CommandLineOutcome help = read({"--help"});
    EXPECT_FALSE(help.start_game);
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.message.find("Usage:"), std::string::npos);

    const program::CommandLineOutcome version = read({"--version"});
    EXPECT_FALSE(version.start_game);
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.message.rfind("zorvalen ", 0), 0u) << version.message;

    for (const char* bad : {"--no-such-switch", "stray-word", "-x"}) {
        const program::CommandLineOutcome outcome = read({bad});
        EXPECT_FALSE(outcome.start_game) << bad;
        EXPECT_EQ(outcome.status, 2) << bad;
        EXPECT_NE(outcome.message.find("Usage:"), std::string::npos) << bad;
    }
}

TEST(CommandLine, HelpAndManPageListTheSameSwitches) {
    std::ifstream page(ZORVALEN_SOURCE_DIR "/packaging/zorvalen.6");
    ASSERT_TRUE(page) << "no man page";
    std::stringstream text;
    text << page.rdbuf();
    const std::string roff = text.str();
    const size_t start = roff.find(".SH OPTIONS");
    ASSERT_NE(start, std::string::npos);
    const std::string options = roff.substr(start, roff.find(".SH ", start + 1) - start);
    EXPECT_EQ(long_switches(options), long_switches(program::usage_text()));
}

TEST(CommandLine, RelativePathsStartFromTheFolderTheLauncherCameFrom) {
    ASSERT_EQ(setenv("ZORVALEN_START_DIR", "/home/player/runs", 1), 0);
    EXPECT_EQ(program::path_from_start_folder("best-run"), "/home/player/runs/best-run");
    EXPECT_EQ(program::path_from_start_folder("/srv/runs/a"), "/srv/runs/a");
    ASSERT_EQ(unsetenv("ZORVALEN_START_DIR"), 0);
    EXPECT_EQ(program::path_from_start_folder("best-run"), "best-run");
}

}  // namespace

namespace {

namespace fs = std::filesystem;

class SettingsFileOnDisk : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("zorvalen-settings-" + std::to_string(getpid()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
    }
    void TearDown() override {
        settings::put_settings_in_force(settings::Settings{});
        unsetenv("XDG_CONFIG_HOME");
        fs::remove_all(folder_);
    }
    static std::string contents(const fs::path& path) {
        std::ifstream file(path);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }
    static void write(const fs::path& path, const std::string& text) {
        fs::create_directories(path.parent_path());
        std::ofstream(path) << text;
    }
    std::string start(std::vector<const char*> words) {
        words.insert(words.begin(), "zorvalen");
        program::ProgramOptions options;
        EXPECT_TRUE(program::read_command_line(static_cast<int>(words.size()), words.data(), options).start_game);
        std::string report;
        program::start_settings(options, report);
        return report;
    }
    fs::path usual() const { return folder_ / "zorvalen" / "settings.toml"; }

    fs::path folder_;
};

TEST_F(SettingsFileOnDisk, SwitchesGoOverTheFileAndAMissingUsualFileIsNoProblem) {
    EXPECT_EQ(program::find_default_settings_path(), usual().string());
    EXPECT_EQ(start({}), "");
    EXPECT_EQ(settings::read_settings_in_force(), settings::Settings{});

    write(usual(), "[sound]\nmaster = 30\nmusic = 20\n[display]\nfullscreen = true\n");
    EXPECT_EQ(start({"--window", "--volume", "70", "--mute"}), "");
    const settings::Settings& in_force = settings::read_settings_in_force();
    EXPECT_EQ(in_force.sound.levels, (settings::SoundLevels{70, 20, 100, true}));
    EXPECT_FALSE(in_force.display.full_screen);
    EXPECT_EQ(settings::read_live_levels(), in_force.sound.levels);
}

// Either the file or the switch turning recording off is enough; the replays read the options.
TEST_F(SettingsFileOnDisk, TheFilesRecordEntryTurnsRecordingOffAsNoRecordDoes) {
    struct Case {
        const char* file;
        bool no_record;
        bool recorded;
    };
    for (const Case& c : {Case{"", false, true}, Case{"[replays]\nrecord = false\n", false, false},
                          Case{"[replays]\nrecord = true\n", true, false}, Case{"", true, false}}) {
        write(usual(), c.file);
        std::vector<const char*> words = {"zorvalen"};
        if (c.no_record) words.push_back("--no-record");
        program::ProgramOptions options;
        ASSERT_TRUE(program::read_command_line(static_cast<int>(words.size()), words.data(), options).start_game);
        std::string report;
        program::start_settings(options, report);
        EXPECT_EQ(report, "");
        EXPECT_EQ(options.record, c.recorded) << c.file << c.no_record;
        EXPECT_EQ(settings::read_settings_in_force().replays.record, c.recorded);
    }
}

TEST_F(SettingsFileOnDisk, TheUsualFilesProblemsNameItsPath) {
    write(usual(), "[sound]\nmusic = 150\n");
    EXPECT_EQ(start({}), "zorvalen: " + usual().string() + ":2: music = 150 is outside 0 to 100; music keeps its default\n");
}

TEST_F(SettingsFileOnDisk, SaveWritesANewFileAndRenamesItOverTheOld) {
    write(usual(), "# the player's own words\n[sound]\nmaster = 30\n");
    EXPECT_EQ(start({"--fullscreen", "--save-settings"}), "");
    settings::Settings expected;
    expected.sound.levels.master = 30;
    expected.display.full_screen = true;
    EXPECT_EQ(contents(usual()), settings::write_settings(expected));
    EXPECT_FALSE(fs::exists(usual().string() + ".new"));

    // A level set with the volume keys is kept at the end, with --save-settings.
    settings::set_live_levels({20, 100, 100, false});
    std::string report;
    program::finish_settings(report);
    EXPECT_EQ(report, "");
    expected.sound.levels.master = 20;
    EXPECT_EQ(contents(usual()), settings::write_settings(expected));

    // Where the new file cannot be made the old one stays as it was.
    fs::create_directories(usual().string() + ".new");
    std::string error;
    EXPECT_FALSE(program::save_settings_file(usual().string(), "[sound]\nmaster = 1\n", error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(contents(usual()), settings::write_settings(expected));
}

TEST_F(SettingsFileOnDisk, KeyChangesAreKeptOnlyWhenAskedAndThenWithoutTheRunsSwitches) {
    const std::string file = "[sound]\nmaster = 60\n";
    write(usual(), file);
    start({});
    settings::set_live_levels({40, 100, 100, false});
    std::string report;
    program::finish_settings(report);
    EXPECT_EQ(contents(usual()), file) << "never written unless asked";

    write(usual(), "[sound]\nmaster = 60\nsave_key_changes = true\n");
    start({"--fullscreen"});
    settings::set_live_levels({40, 100, 100, true});
    program::finish_settings(report);
    settings::Settings expected;
    expected.sound.levels = {40, 100, 100, true};
    expected.sound.save_key_changes = true;
    EXPECT_EQ(contents(usual()), settings::write_settings(expected));
}

TEST(CommandLine, SettingsSwitchesAreCheckedAndTheDefaultFileIsPrinted) {
    for (std::vector<const char*> bad : {std::vector<const char*>{"--volume", "101"}, {"--volume", "loud"},
                                         {"--fullscreen", "--window"}, {"--settings"}}) {
        EXPECT_EQ(read(bad).status, 2) << bad[0];
    }
    const program::CommandLineOutcome defaults = read({"--write-default-settings"});
    EXPECT_FALSE(defaults.start_game);
    EXPECT_EQ(defaults.status, 0);
    std::vector<settings::Problem> problems;
    EXPECT_EQ(settings::read_settings(defaults.message, problems), settings::Settings{});
    EXPECT_TRUE(problems.empty());
}

}  // namespace
