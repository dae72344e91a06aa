// The program's command line: what ends the program before the game starts, and that --help and
// the man page list the same switches.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/command_line.h"

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
