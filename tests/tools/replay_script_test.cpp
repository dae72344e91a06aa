// The replay runner's script and command-line parsing.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "runner.h"
#include "script.h"

#include <dinput.h>

namespace {

using replay::FrameInput;
using replay::ParseError;
using replay::Script;

Script parse_ok(const std::string& text) {
    Script script;
    ParseError error;
    EXPECT_TRUE(replay::parse_script(text, script, error)) << error.message;
    return script;
}

ParseError parse_fails(const std::string& text) {
    Script script;
    ParseError error;
    EXPECT_FALSE(replay::parse_script(text, script, error)) << "accepted: " << text;
    return error;
}

TEST(ReplayScript, ReadsCountsKeysButtonsAndMotion) {
    const Script script = parse_ok(
        "# walk in, then shoot\n"
        "\n"
        "3 space\n"
        "  2 D right LMB dx=-7 dy=+12   # trailing comment\n"
        "1 Escape RMB\r\n"
        "4\n");
    ASSERT_EQ(script.lines.size(), 4u);
    EXPECT_EQ(script.frame_count(), 10);

    EXPECT_EQ(script.lines[0].count, 3);
    EXPECT_EQ(script.lines[0].source_line, 3);
    EXPECT_EQ(script.lines[0].input.keys[DIK_SPACE], 0x80);

    const FrameInput& walk = script.lines[1].input;
    EXPECT_EQ(walk.keys[DIK_D], 0x80);
    EXPECT_EQ(walk.keys[DIK_RIGHT], 0x80);
    EXPECT_EQ(walk.keys[DIK_SPACE], 0);
    EXPECT_TRUE(walk.left);
    EXPECT_FALSE(walk.right);
    EXPECT_EQ(walk.dx, -7);
    EXPECT_EQ(walk.dy, 12);

    EXPECT_EQ(script.lines[2].input.keys[DIK_ESCAPE], 0x80);
    EXPECT_TRUE(script.lines[2].input.right);
    // A bare count holds nothing: the keys go up again.
    EXPECT_EQ(script.lines[3].input, FrameInput{});

    int held = 0;
    for (unsigned char byte : walk.keys) held += byte != 0;
    EXPECT_EQ(held, 2);
}

TEST(ReplayScript, FramesMapToLinesInOrder) {
    const Script script = parse_ok("2 W\n3 S dx=1\n1 A\n");
    EXPECT_EQ(script.input_at(0).keys[DIK_W], 0x80);
    EXPECT_EQ(script.input_at(1).keys[DIK_W], 0x80);
    EXPECT_EQ(script.input_at(2).keys[DIK_S], 0x80);
    EXPECT_EQ(script.input_at(4).dx, 1);
    EXPECT_EQ(script.input_at(5).keys[DIK_A], 0x80);
    EXPECT_EQ(script.input_at(6), FrameInput{});

    // The cursor the runner walks with agrees with the random-access view, frame by frame.
    replay::ScriptCursor cursor(script);
    for (int64_t frame = 0; frame < script.frame_count(); ++frame) {
        ASSERT_FALSE(cursor.done()) << frame;
        EXPECT_EQ(cursor.input(), script.input_at(frame)) << frame;
        cursor.advance();
    }
    EXPECT_TRUE(cursor.done());
}

TEST(ReplayScript, KnowsTheKeysTheGameReadsUnderTheirSdkNames) {
    EXPECT_EQ(replay::key_code("ESCAPE"), DIK_ESCAPE);
    EXPECT_EQ(replay::key_code("escape"), DIK_ESCAPE);
    EXPECT_EQ(replay::key_code("W"), DIK_W);
    EXPECT_EQ(replay::key_code("a"), DIK_A);
    EXPECT_EQ(replay::key_code("s"), DIK_S);
    EXPECT_EQ(replay::key_code("D"), DIK_D);
    EXPECT_EQ(replay::key_code("Space"), DIK_SPACE);
    EXPECT_EQ(replay::key_code("UP"), DIK_UP);
    EXPECT_EQ(replay::key_code("down"), DIK_DOWN);
    EXPECT_EQ(replay::key_code("Left"), DIK_LEFT);
    EXPECT_EQ(replay::key_code("RIGHT"), DIK_RIGHT);
    EXPECT_EQ(replay::key_code("return"), DIK_RETURN);
    EXPECT_EQ(replay::key_code("0"), DIK_0);
    EXPECT_EQ(replay::key_code("9"), DIK_9);
    EXPECT_EQ(replay::key_code("DIK_SPACE"), -1);
    EXPECT_EQ(replay::key_code("SPACEBAR"), -1);
    EXPECT_EQ(replay::key_code(""), -1);

    // Every letter and digit has its own code.
    bool seen[256] = {};
    for (char c : std::string("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789")) {
        const int code = replay::key_code(std::string(1, c));
        ASSERT_GT(code, 0) << c;
        ASSERT_LT(code, 256) << c;
        EXPECT_FALSE(seen[code]) << c << " shares its code";
        seen[code] = true;
    }
}

TEST(ReplayScript, AFrameWrittenAsALineReadsBackTheSame) {
    FrameInput input;
    input.keys[DIK_W] = input.keys[DIK_D] = input.keys[DIK_SPACE] = input.keys[DIK_NUMPADENTER] = 0x80;
    input.left = input.right = true;
    input.dx = -7;
    input.dy = 12;
    for (const FrameInput& frame : {input, FrameInput{}}) {
        std::string line;
        replay::append_script_line(line, frame);
        const Script script = parse_ok(line + "\n");
        ASSERT_EQ(script.frame_count(), 1) << line;
        EXPECT_EQ(script.input_at(0), frame) << line;
    }
    EXPECT_EQ(replay::key_name(DIK_SPACE), std::string("SPACE"));
    EXPECT_EQ(replay::key_name(0), nullptr);
}

TEST(ReplayScript, RejectsBadLinesNamingTheLineAndToken) {
    struct Case {
        const char* text;
        int line;
        const char* token;
    };
    const Case cases[] = {
        {"1 W\n0 D\n", 2, "0"},
        {"-3 D\n", 1, "-3"},
        {"# header\n\nx2 D\n", 3, "x2"},
        {"2.5 D\n", 1, "2.5"},
        {"99999999999999999999 D\n", 1, "99999999999999999999"},
        {"1 W\n1 D JUMP\n", 2, "JUMP"},
        {"1 DIK_SPACE\n", 1, "DIK_SPACE"},
        {"1 dx=\n", 1, "dx="},
        {"1 dy=3x\n", 1, "dy=3x"},
        {"1 dx=1 dx=2\n", 1, "dx=2"},
        {"1 dx=99999999999\n", 1, "dx=99999999999"},
        {"1 LMB2\n", 1, "LMB2"},
        {"1 pad:lx=40000\n", 1, "pad:lx=40000"},
        {"1 pad:rt=-1\n", 1, "pad:rt=-1"},
        {"1 pad:jump\n", 1, "pad:jump"},
    };
    for (const Case& c : cases) {
        const ParseError error = parse_fails(c.text);
        EXPECT_EQ(error.line, c.line) << c.text;
        EXPECT_EQ(error.token, c.token) << c.text;
        EXPECT_NE(error.message.find("line " + std::to_string(c.line)), std::string::npos) << error.message;
        EXPECT_NE(error.message.find(std::string("'") + c.token + "'"), std::string::npos) << error.message;
    }
}

TEST(ReplayScript, ReadsPadInputAndOnlyThenAsksForAPad) {
    EXPECT_FALSE(parse_ok("2 D LMB\n").uses_pad);
    const Script script = parse_ok("1 D\n3 pad:LX=-32768 pad:ry=+200 pad:rt=32767 PAD:start pad:lb LMB\n");
    EXPECT_TRUE(script.uses_pad);
    EXPECT_EQ(script.lines[0].input.pad, gamepad::PadReading{});
    const gamepad::PadReading& pad = script.lines[1].input.pad;
    EXPECT_EQ(pad.left_x, -32768);
    EXPECT_EQ(pad.right_y, 200);
    EXPECT_EQ(pad.right_trigger, 32767);
    EXPECT_EQ(pad.left_trigger, 0);
    EXPECT_EQ(pad.buttons, gamepad::button::start | gamepad::button::left_shoulder);
    EXPECT_TRUE(script.lines[1].input.left);
}

TEST(ReplayScript, EmptyScriptHasNoFrames) {
    const Script script = parse_ok("# nothing to play\n\n   \n");
    EXPECT_TRUE(script.lines.empty());
    EXPECT_EQ(script.frame_count(), 0);
    EXPECT_TRUE(replay::ScriptCursor(script).done());
}

bool parse_args(const std::vector<const char*>& args, replay::Options& options, std::string& error) {
    std::vector<const char*> argv{"zorvalen-replay"};
    argv.insert(argv.end(), args.begin(), args.end());
    return replay::parse_options(static_cast<int>(argv.size()), argv.data(), options, error);
}

TEST(ReplayOptions, ReadsEveryOption) {
    replay::Options options;
    std::string error;
    ASSERT_TRUE(parse_args({"--assets", "gen", "--frames=120", "--state", "s.jsonl", "--draws=d.jsonl", "--every",
                            "10", "--shot", "5:a.png", "--shot=0:dir:with:colons.png", "play.txt"},
                           options, error))
        << error;
    EXPECT_EQ(options.script_path, "play.txt");
    EXPECT_EQ(options.asset_dir, "gen");
    EXPECT_EQ(options.frame_limit, 120);
    EXPECT_EQ(options.state_path, "s.jsonl");
    EXPECT_EQ(options.draws_path, "d.jsonl");
    EXPECT_EQ(options.every, 10);
    ASSERT_EQ(options.shots.size(), 2u);
    EXPECT_EQ(options.shots[0].frame, 5);
    EXPECT_EQ(options.shots[0].path, "a.png");
    EXPECT_EQ(options.shots[1].frame, 0);
    EXPECT_EQ(options.shots[1].path, "dir:with:colons.png");

    ASSERT_TRUE(parse_args({"only.txt"}, options, error)) << error;
    EXPECT_EQ(options.frame_limit, -1);
    EXPECT_EQ(options.every, 1);
    EXPECT_TRUE(options.shots.empty());
    EXPECT_TRUE(options.asset_dir.empty());
}

TEST(ReplayOptions, RejectsBadOptionsWithAMessage) {
    const std::vector<std::vector<const char*>> bad = {
        {},
        {"a.txt", "b.txt"},
        {"--speed", "2", "a.txt"},
        {"a.txt", "--frames"},
        {"--frames", "-1", "a.txt"},
        {"--frames", "ten", "a.txt"},
        {"--every", "0", "a.txt"},
        {"--shot", "12", "a.txt"},
        {"--shot", "x:a.png", "a.txt"},
        {"--shot", "3:", "a.txt"},
        {"--state", "same.jsonl", "--draws", "same.jsonl", "a.txt"},
    };
    for (const auto& args : bad) {
        replay::Options options;
        std::string error;
        EXPECT_FALSE(parse_args(args, options, error)) << (args.empty() ? "(none)" : args.front());
        EXPECT_FALSE(error.empty());
    }
}

TEST(ReplayOptions, BadScriptAndBadOptionExitWithTwo) {
    const std::string bad_script = ::testing::TempDir() + "replay_bad_script.txt";
    {
        std::FILE* file = std::fopen(bad_script.c_str(), "w");
        ASSERT_NE(file, nullptr);
        std::fputs("5 SPACE\n1 FLY\n", file);
        std::fclose(file);
    }
    const char* with_bad_script[] = {"zorvalen-replay", bad_script.c_str()};
    EXPECT_EQ(replay::run_command_line(2, with_bad_script, "."), 2);
    const char* with_bad_option[] = {"zorvalen-replay", "--every", "0", bad_script.c_str()};
    EXPECT_EQ(replay::run_command_line(4, with_bad_option, "."), 2);
    const char* missing_script[] = {"zorvalen-replay", "no/such/script.txt"};
    EXPECT_EQ(replay::run_command_line(2, missing_script, "."), 2);
    std::remove(bad_script.c_str());
}

}  // namespace
