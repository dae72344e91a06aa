// The zorvalen-replay program end to end: options, output files, exit status.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "png_write.h"
#include "runner.h"
#include "script.h"

namespace {

namespace fs = std::filesystem;

// Beside the test data directory, which need not exist.
const std::string script_dir = std::filesystem::path(ZORVALEN_TEST_DATA_DIR).parent_path().string() + "/scripts/";

class ReplayProgram : public ::testing::Test {
protected:
    void SetUp() override {
        started_in_ = fs::current_path();
        work_ = fs::path(::testing::TempDir()) / ("replay_program_" + std::to_string(::getpid()));
        fs::create_directories(work_);
        // Outputs are named relative to where the program starts, not to the asset directory.
        fs::current_path(work_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::current_path(started_in_, ignored);
        fs::remove_all(work_, ignored);
    }

    static int run(std::vector<std::string> args) {
        args.insert(args.begin(), "zorvalen-replay");
        std::vector<const char*> argv;
        for (const std::string& a : args) argv.push_back(a.c_str());
        return replay::run_command_line(static_cast<int>(argv.size()), argv.data(), ZORVALEN_ASSET_DIR);
    }

    static std::vector<std::string> lines(const fs::path& file) {
        std::ifstream in(file);
        std::vector<std::string> all;
        for (std::string line; std::getline(in, line);) all.push_back(line);
        return all;
    }

    static std::string frame_prefix(int frame) { return "{\"frame\":" + std::to_string(frame) + ","; }

    fs::path started_in_;
    fs::path work_;
};

TEST_F(ReplayProgram, EscapeEndsTheRunWithItsFrameWrittenAndExitZero) {
    ASSERT_EQ(run({"--state", "state.jsonl", "--draws", "draws.jsonl", script_dir + "escape.txt"}), 0);
    const std::vector<std::string> state = lines(work_ / "state.jsonl");
    const std::vector<std::string> draws = lines(work_ / "draws.jsonl");
    // Frames 0 to 6: Escape is held on frame 6 and the 20 frames after it are never played.
    ASSERT_EQ(state.size(), 7u);
    ASSERT_EQ(draws.size(), 7u);
    for (int frame = 0; frame < 7; ++frame) {
        EXPECT_EQ(state[frame].rfind(frame_prefix(frame), 0), 0u) << state[frame].substr(0, 40);
        EXPECT_EQ(draws[frame].rfind(frame_prefix(frame) + "\"draws\":[{\"tex\":null,\"x\":0,\"y\":0,\"w\":800", 0), 0u)
            << draws[frame].substr(0, 80);
    }
    EXPECT_NE(state[6].find("\"player_x\":16,"), std::string::npos);
    EXPECT_NE(state[0].find("\"in_play\":false,"), std::string::npos);
    EXPECT_NE(state[2].find("\"in_play\":true,"), std::string::npos);
    EXPECT_FALSE(fs::exists(fs::path(ZORVALEN_ASSET_DIR) / "state.jsonl"));
}

TEST_F(ReplayProgram, EveryAndFramesChooseTheLinesWritten) {
    ASSERT_EQ(run({"--every", "3", "--state", "every.jsonl", script_dir + "escape.txt"}), 0);
    const std::vector<std::string> every = lines(work_ / "every.jsonl");
    // Every third frame and the last one, which Escape decides.
    ASSERT_EQ(every.size(), 3u);
    EXPECT_EQ(every[0].rfind(frame_prefix(0), 0), 0u);
    EXPECT_EQ(every[1].rfind(frame_prefix(3), 0), 0u);
    EXPECT_EQ(every[2].rfind(frame_prefix(6), 0), 0u);

    ASSERT_EQ(run({"--frames=4", "--every=3", "--draws=cut.jsonl", script_dir + "escape.txt"}), 0);
    const std::vector<std::string> cut = lines(work_ / "cut.jsonl");
    ASSERT_EQ(cut.size(), 2u);
    EXPECT_EQ(cut[0].rfind(frame_prefix(0), 0), 0u);
    EXPECT_EQ(cut[1].rfind(frame_prefix(3), 0), 0u);
}

TEST_F(ReplayProgram, ShotsArePngsOfThePresentedPicture) {
    // Frame 2 starts play over the title; frame 40 is never reached, which fails the run.
    EXPECT_EQ(run({"--shot", "0:title.png", "--shot", "2:start.png", "--shot", "40:late.png",
                   script_dir + "escape.txt"}),
              1);
    EXPECT_FALSE(fs::exists(work_ / "late.png"));
    replay::Picture title;
    replay::Picture start;
    ASSERT_TRUE(replay::read_png((work_ / "title.png").string(), title));
    ASSERT_TRUE(replay::read_png((work_ / "start.png").string(), start));
    EXPECT_EQ(title.width, 800);
    EXPECT_EQ(title.height, 600);
    ASSERT_EQ(start.width, 800);
    // The HUD's first line is drawn over the title picture only once play has started.
    int changed = 0;
    for (int y = 10; y < 23; ++y) {
        for (int x = 10; x < 60; ++x) changed += title.at(x, y) != start.at(x, y);
    }
    EXPECT_GT(changed, 20);
}

TEST_F(ReplayProgram, BadAssetDirectoryOrOutputIsABadOption) {
    EXPECT_EQ(run({"--assets", (work_ / "no such dir").string(), script_dir + "escape.txt"}), 2);
    EXPECT_EQ(run({"--state", (work_ / "missing" / "dir" / "s.jsonl").string(), script_dir + "escape.txt"}), 2);
    EXPECT_EQ(run({"--help"}), 0);
}

// The same game played with a virtual pad and with the keys and mouse counts the pad stands
// for gives the same world, frame by frame.
TEST(ReplayPad, APadPlaysTheSameGameAsTheKeysAndMouseItMapsTo) {
    std::string with_pad = "2\n1 pad:start\n";
    std::string with_keys = "2\n1 SPACE\n";
    // At full deflection the right stick moves 800/30 counts a frame: 26, 27, 27, ...
    const char* thirds[] = {"26", "27", "27"};
    for (int i = 0; i < 30; ++i) {
        with_pad += "1 pad:lx=32767 pad:rx=32767 pad:rt=32767\n";
        with_keys += std::string("1 D LMB dx=") + thirds[i % 3] + "\n";
    }
    for (int i = 0; i < 15; ++i) {
        with_pad += "1 pad:lx=-23170 pad:ly=-23170 pad:ry=32767 pad:lt=32767\n";
        with_keys += std::string("1 W A RMB dy=") + thirds[i % 3] + "\n";
    }
    for (int i = 0; i < 15; ++i) {
        with_pad += "1 pad:down pad:rb pad:rx=-32768\n";
        with_keys += std::string("1 S LMB dx=-") + thirds[i % 3] + "\n";
    }
    with_pad += "1 pad:start\n3\n1 pad:start\n70 pad:back\n";
    with_keys += "1 SPACE\n3\n1 SPACE\n59\n11 ESCAPE\n";

    auto play = [](const std::string& text, std::string& state) {
        replay::Script script;
        replay::ParseError error;
        EXPECT_TRUE(replay::parse_script(text, script, error)) << error.message;
        replay::RunSettings settings;
        settings.state_out = std::tmpfile();
        std::error_code ignored;
        const fs::path started_in = fs::current_path();
        fs::current_path(ZORVALEN_ASSET_DIR, ignored);
        const replay::RunOutcome outcome = replay::play(script, settings);
        fs::current_path(started_in, ignored);
        std::rewind(settings.state_out);
        for (int c; (c = std::fgetc(settings.state_out)) != EOF;) state += static_cast<char>(c);
        std::fclose(settings.state_out);
        EXPECT_TRUE(outcome.errors.empty());
        return outcome;
    };
    std::string pad_state;
    std::string key_state;
    const replay::RunOutcome pad_run = play(with_pad, pad_state);
    const replay::RunOutcome key_run = play(with_keys, key_state);
    EXPECT_TRUE(pad_run.stopped_by_game) << "Back held for a second quits";
    EXPECT_EQ(pad_run.frames, key_run.frames);
    EXPECT_EQ(pad_run.frames, 2 + 1 + 60 + 5 + 60);
    EXPECT_NE(pad_state.find("\"rockets\":"), std::string::npos);
    EXPECT_TRUE(pad_state == key_state) << "the first difference is at character "
                                        << std::mismatch(pad_state.begin(), pad_state.end(), key_state.begin(),
                                                         key_state.end()).first - pad_state.begin();
}

}  // namespace
