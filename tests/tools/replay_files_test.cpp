// Replays through the real game, headless: a recorded run verifies, a check that lies is a desync
// at its frame, another asset pack is a warning, and watching (pauses, jumps both ways, fast
// play, a restart) makes every frame exactly as the straight run made it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "replays/game_probe.h"
#include "replays/replay_file.h"
#include "replays/replay_session.h"
#include "json_lines.h"
#include "replay_commands.h"
#include "replay_input.h"
#include "runner.h"
#include "script.h"

namespace {

namespace fs = std::filesystem;

const std::string script_dir = fs::path(ZORVALEN_TEST_DATA_DIR).parent_path().string() + "/scripts/";

class ReplayFiles : public ::testing::Test {
protected:
    void SetUp() override {
        work_ = fs::path(::testing::TempDir()) / ("replay_files_" + std::to_string(::getpid()));
        fs::create_directories(work_);
    }
    void TearDown() override { fs::remove_all(work_); }

    static int runner(std::vector<std::string> args) {
        args.insert(args.begin(), "zorvalen-replay");
        std::vector<const char*> argv;
        for (const std::string& a : args) argv.push_back(a.c_str());
        if (replay::wants_replay_command(static_cast<int>(argv.size()), argv.data()))
            return replay::run_replay_command_line(static_cast<int>(argv.size()), argv.data(), ZORVALEN_ASSET_DIR);
        return replay::run_command_line(static_cast<int>(argv.size()), argv.data(), ZORVALEN_ASSET_DIR);
    }

    // The game's state after each frame, its state line without the runner's frame number.
    static std::string state_now() {
        std::string line;
        replay::append_state_line(line, 0);
        return line.substr(line.find(','));
    }

    fs::path work_;
};

TEST_F(ReplayFiles, ARecordedRunVerifiesAndALyingCheckIsADesyncAtItsFrame) {
    const std::string replay = (work_ / "run.zvr").string();
    ASSERT_EQ(runner({"--frames", "300", "--record", replay, script_dir + "playthrough.txt"}), 0);
    EXPECT_EQ(runner({"--verify", replay}), 0);

    // The second block's check, changed, with the block's CRC made good again.
    std::vector<std::uint8_t> bytes;
    const replays::ReplayIndex index = replays::load_replay_file(replay, bytes);
    ASSERT_EQ(index.status, replays::ReadStatus::ok);
    const replays::BlockEntry& second = index.blocks[1];
    std::size_t start = replays::HEADER_SIZE;
    for (std::size_t at = start; at < bytes.size();) {
        const std::size_t length = bytes[at + 1] | (bytes[at + 2] << 8);
        if (at + 3 + length > second.ops_offset) {
            start = at;
            break;
        }
        at += 3 + length + 4;
    }
    bytes[start + 5] ^= 1;  // the digest's first byte, after the one-byte first frame and frame count
    const std::size_t length = bytes[start + 1] | (bytes[start + 2] << 8);
    const std::uint32_t crc = replays::crc32(bytes.data() + start, 3 + length);
    for (int i = 0; i < 4; ++i) bytes[start + 3 + length + i] = static_cast<std::uint8_t>(crc >> (8 * i));
    const std::string lying = (work_ / "lying.zvr").string();
    std::ofstream(lying, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(runner({"--verify", lying}), 1);
    EXPECT_NE(::testing::internal::GetCapturedStdout().find("desync at frame 60 "), std::string::npos);
}

// A trailer is the file's last 35 bytes: type 'E', length 28, the payload, its CRC. Each forgery
// changes one field and makes the CRC good again; --verify names that field.
TEST_F(ReplayFiles, ATrailerThatLiesIsNamedByVerify) {
    const std::string replay = (work_ / "run.zvr").string();
    ASSERT_EQ(runner({"--frames", "600", "--record", replay, script_dir + "playthrough.txt"}), 0);
    std::vector<std::uint8_t> bytes;
    const replays::ReplayIndex index = replays::load_replay_file(replay, bytes);
    ASSERT_EQ(index.status, replays::ReadStatus::ok);
    ASSERT_GT(index.trailer.score, 0);
    const std::size_t trailer = bytes.size() - replays::TRAILER_BLOCK_SIZE;
    ASSERT_EQ(bytes[trailer], 'E');
    auto forge = [&](std::size_t offset, std::int32_t value, const char* name) {
        std::vector<std::uint8_t> forged = bytes;
        for (int i = 0; i < 4; ++i) forged[trailer + 3 + offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
        const std::uint32_t crc = replays::crc32(forged.data() + trailer, 3 + 28);
        for (int i = 0; i < 4; ++i) forged[trailer + 31 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
        const std::string path = (work_ / name).string();
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(forged.data()), forged.size());
        return path;
    };
    const std::int32_t score = index.trailer.score;
    const struct {
        std::size_t offset;
        std::int32_t value;
        std::string said;
    } lies[] = {
        {8, score * 10, "trailer claims score " + std::to_string(score * 10) + ", the run scored " + std::to_string(score)},
        {12, index.trailer.high_score + 1000, "trailer claims high score"},
        {16, index.trailer.level + 1, "trailer claims level"},
        {4, static_cast<std::int32_t>(replays::Ending::escape), "trailer claims the game ended with Escape"},
        {20, static_cast<std::int32_t>(index.trailer.final_digest ^ 1), "trailer claims the final state digest"},
    };
    for (const auto& lie : lies) {
        const std::string forged = forge(lie.offset, lie.value, "forged.zvr");
        std::vector<std::uint8_t> read_back;
        ASSERT_EQ(replays::load_replay_file(forged, read_back).status, replays::ReadStatus::ok) << lie.said;
        ::testing::internal::CaptureStdout();
        const int status = runner({"--verify", forged});
        const std::string said = ::testing::internal::GetCapturedStdout();
        EXPECT_EQ(status, 1) << said;
        EXPECT_NE(said.find(lie.said), std::string::npos) << said;
    }
    ::testing::internal::CaptureStdout();
    const int status = runner({"--verify", replay});
    const std::string said = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 0) << said;
    EXPECT_NE(said.find("score " + std::to_string(score)), std::string::npos) << said;
}

// What --state, --shot, --check and --video load: a replay gives the frames of the script it was
// recorded from, and --to-script writes them back as a script that reads the same.
TEST_F(ReplayFiles, AReplayIsTakenWhereverAScriptIs) {
    const std::string replay = (work_ / "run.zvr").string();
    const std::string script_path = script_dir + "playthrough.txt";
    ASSERT_EQ(runner({"--frames", "900", "--record", replay, script_path}), 0);
    replay::Script from_script, from_replay, written;
    std::string error;
    ASSERT_TRUE(replay::load_run_input(script_path, from_script, error)) << error;
    ASSERT_TRUE(replay::load_run_input(replay, from_replay, error)) << error;
    ::testing::internal::CaptureStdout();
    ASSERT_EQ(runner({"--to-script", replay}), 0);
    replay::ParseError parse_error;
    ASSERT_TRUE(replay::parse_script(::testing::internal::GetCapturedStdout(), written, parse_error))
        << parse_error.message;
    ASSERT_EQ(from_replay.frame_count(), 900);
    ASSERT_EQ(written.frame_count(), 900);
    replay::ScriptCursor a(from_script), b(from_replay), c(written);
    for (int frame = 0; frame < 900; ++frame, a.advance(), b.advance(), c.advance()) {
        ASSERT_EQ(b.input(), a.input()) << "frame " << frame;
        ASSERT_EQ(c.input(), a.input()) << "frame " << frame;
    }
}

TEST_F(ReplayFiles, AnotherAssetPackIsAWarningAndTheChecksStillApply) {
    const std::string replay = (work_ / "run.zvr").string();
    ASSERT_EQ(runner({"--record", replay, script_dir + "shoot_enemy.txt"}), 0);
    const fs::path assets = work_ / "assets";
    fs::copy(ZORVALEN_ASSET_DIR, assets);
    std::ofstream(assets / "bullet.wav", std::ios::binary | std::ios::app).put('\0');
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(runner({"--assets", assets.string(), "--verify", replay}), 0);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("another set of the game's pictures and sounds"),
              std::string::npos);
}

TEST_F(ReplayFiles, WatchingMakesEveryFrameAsTheStraightRunDid) {
    const std::string replay = (work_ / "run.zvr").string();
    ASSERT_EQ(runner({"--frames", "1500", "--record", replay, script_dir + "playthrough.txt"}), 0);
    replays::install_game_probe();
    const fs::path back = fs::current_path();
    fs::current_path(ZORVALEN_ASSET_DIR);

    std::string message, warning;
    std::vector<std::string> straight;
    ASSERT_TRUE(replays::start_playing(replay, replays::ReplayPlayer::Use::verify, message, warning)) << message;
    replay::RunSettings settings;
    settings.frame_limit = 1500;
    settings.input_source = [](int64_t, replay::FrameInput&) {};
    settings.after_frame = [&](const replay::FrameReport&) { straight.push_back(state_now()); };
    replay::play(replay::Script{}, settings);
    replays::end_session();

    // The player's own keys, one script line a frame of the game's loop (an unseen frame is one
    // too): forward 10 s, back 10 s, a pause, twice as fast, then from the start again.
    replay::Script keys;
    replay::ParseError error;
    ASSERT_TRUE(replay::parse_script("100\n1 RIGHT\n650\n1 LEFT\n200\n1 SPACE\n40\n1 SPACE\n20\n1 UP\n100\n1 R\n50\n",
                                     keys, error));
    ASSERT_TRUE(replays::start_playing(replay, replays::ReplayPlayer::Use::watch, message, warning)) << message;
    const replays::ReplayPlayer& player = *replays::active_player();
    std::vector<std::int64_t> made;
    replay::RunSettings watching;
    watching.after_frame = [&](const replay::FrameReport&) {
        made.push_back(player.frame_made());
        ASSERT_LT(made.back(), 1500);
        EXPECT_EQ(state_now(), straight[static_cast<std::size_t>(made.back())]) << "frame " << made.back();
    };
    replay::play(keys, watching);
    replays::end_session();
    fs::current_path(back);

    // 101..699 made unseen and 700 shown; from 751 back to 151 by way of the snapshot at 0; 201
    // made again and again while paused; then a frame shown in two; at last the start again.
    ASSERT_EQ(made.size(), 1166u);
    EXPECT_EQ(made[100], 100);
    EXPECT_EQ(made[700], 700);
    EXPECT_EQ(made[751], 751);
    EXPECT_EQ(made[752], 0);
    EXPECT_EQ(made[903], 151);
    EXPECT_GE(std::count(made.begin(), made.end(), 201), 40);
    EXPECT_EQ(made[1114], 322);
    EXPECT_EQ(made.back(), 49);
}

}  // namespace
