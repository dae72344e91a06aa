// Replay files as bytes: what is written reads back the same, a file cut anywhere reads to its
// last whole block, any byte changed is caught, and what is not a replay is refused with a reason.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "replays/replay_file.h"
#include "replays/replay_recorder.h"

namespace {

using replays::FrameReads;

FrameReads frame(std::vector<int> keys, std::uint8_t buttons, std::int32_t dx, std::int32_t dy) {
    FrameReads reads;
    for (int code : keys) reads.set_key(code, true);
    reads.buttons = buttons;
    reads.dx = dx;
    reads.dy = dy;
    return reads;
}

// Frames that take every op: idle runs longer than one op holds, repeated and slowly changing
// motion, motion from one end of its range to the other, keys and buttons changing, all keys.
std::vector<FrameReads> sample_frames() {
    std::vector<FrameReads> frames(70, FrameReads{});
    for (int i = 0; i < 20; ++i) frames.push_back(frame({17, 32}, 1, 6, -6));
    for (int i = 0; i < 20; ++i) frames.push_back(frame({17, 32}, 1, 6 + i % 3, -7 + i % 2));
    frames.push_back(frame({}, 2, INT32_MIN, INT32_MAX));
    frames.push_back(frame({}, 2, INT32_MAX, INT32_MIN));
    frames.push_back(frame({1}, 0xF, 0, 0));
    std::vector<int> all(256);
    for (int code = 0; code < 256; ++code) all[code] = code;
    frames.push_back(frame(all, 3, -300, 12));
    frames.push_back(frame(all, 3, -300, 12));
    for (int i = 0; i < 45; ++i) frames.push_back(frame({57}, 0, i % 7 - 3, 0));
    return frames;
}

struct Written {
    std::vector<std::uint8_t> bytes;
    std::vector<std::size_t> block_ends;  // where each block (and the trailer) ends
};

Written write(const std::vector<FrameReads>& frames, const replays::ReplayTrailer& trailer) {
    Written out;
    replays::ReplayWriter writer;
    auto take = [&] {
        if (writer.byte_count() == 0) return;
        out.bytes.insert(out.bytes.end(), writer.bytes(), writer.bytes() + writer.byte_count());
        out.block_ends.push_back(out.bytes.size());
        writer.clear_bytes();
    };
    replays::ReplayHeader header;
    header.asset_digest = 0x1234;
    header.start_time = 1717180065;
    header.recorder = replays::Recorder::runner;
    writer.begin(header);
    take();
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (!writer.block_open() || writer.block_frames() == replays::BLOCK_FRAMES) {
            writer.finish_block();
            take();
            writer.start_block(1000 + i);
        }
        writer.add_frame(frames[i]);
    }
    writer.finish_block();
    take();
    writer.finish(trailer);
    take();
    return out;
}

std::vector<FrameReads> read_frames(const std::vector<std::uint8_t>& bytes, const replays::ReplayIndex& index) {
    std::vector<FrameReads> frames;
    replays::visit_frames(bytes.data(), index, [&](const FrameReads& reads) { frames.push_back(reads); });
    return frames;
}

replays::ReplayTrailer sample_trailer(std::uint32_t frames) {
    return {frames, replays::Ending::escape, 412, 900, 2, 0xFEEDull};
}

TEST(ReplayFile, WhatIsWrittenReadsBackTheSame) {
    const std::vector<FrameReads> frames = sample_frames();
    const Written file = write(frames, sample_trailer(static_cast<std::uint32_t>(frames.size())));
    const replays::ReplayIndex index = replays::read_replay(file.bytes.data(), file.bytes.size());
    ASSERT_EQ(index.status, replays::ReadStatus::ok) << index.problem;
    EXPECT_TRUE(read_frames(file.bytes, index) == frames);
    ASSERT_EQ(index.blocks.size(), 3u);
    EXPECT_EQ(index.blocks[1].first_frame, 60u);
    EXPECT_EQ(index.blocks[1].digest, 1060u);
    EXPECT_EQ(index.header.asset_digest, 0x1234u);
    EXPECT_EQ(index.header.start_time, 1717180065);
    EXPECT_EQ(index.trailer.score, 412);
    EXPECT_EQ(index.trailer.high_score, 900);
    EXPECT_EQ(index.trailer.ending, replays::Ending::escape);
    // The frames of any block can be read on their own, from the state it starts with.
    const replays::BlockEntry& third = index.blocks[2];
    replays::FrameCursor cursor(file.bytes.data(), third);
    EXPECT_EQ(cursor.next(), frames[third.first_frame]);
}

TEST(ReplayFile, ACutFileReadsToItsLastWholeBlock) {
    const std::vector<FrameReads> frames = sample_frames();
    const Written file = write(frames, sample_trailer(static_cast<std::uint32_t>(frames.size())));
    const replays::ReplayIndex whole_file = replays::read_replay(file.bytes.data(), file.bytes.size());
    ASSERT_EQ(whole_file.blocks.size() + 2, file.block_ends.size());  // the header, the blocks, the trailer
    for (std::size_t size = 0; size < file.bytes.size(); ++size) {
        const replays::ReplayIndex index = replays::read_replay(file.bytes.data(), size);
        if (size < replays::HEADER_SIZE) {
            EXPECT_EQ(index.status, replays::ReadStatus::unreadable) << size;
            continue;
        }
        ASSERT_EQ(index.status, replays::ReadStatus::truncated) << size << ": " << index.problem;
        std::uint32_t whole = 0;
        for (std::size_t block = 0; block < whole_file.blocks.size() && file.block_ends[block + 1] <= size; ++block)
            whole += whole_file.blocks[block].frame_count;
        EXPECT_EQ(index.frames, whole) << size;
        EXPECT_TRUE(read_frames(file.bytes, index) == std::vector<FrameReads>(frames.begin(), frames.begin() + whole));
    }
}

TEST(ReplayFile, AnyByteChangedIsCaught) {
    const std::vector<FrameReads> frames(130, frame({17}, 1, 3, -2));
    const Written file = write(frames, sample_trailer(130));
    for (std::size_t at = 0; at < file.bytes.size(); ++at) {
        for (std::uint8_t flip : {0x01, 0x80, 0xFF}) {
            std::vector<std::uint8_t> changed = file.bytes;
            changed[at] ^= flip;
            const replays::ReplayIndex index = replays::read_replay(changed.data(), changed.size());
            EXPECT_EQ(index.status, replays::ReadStatus::unreadable) << "byte " << at << " ^ " << int(flip);
            EXPECT_FALSE(index.problem.empty());
        }
    }
}

TEST(ReplayFile, RefusesWhatIsNotAReplayWithOneReason) {
    const Written good = write(std::vector<FrameReads>(10), sample_trailer(10));
    auto with = [&](std::size_t at, std::vector<std::uint8_t> bytes, bool fix_header) {
        std::vector<std::uint8_t> changed = good.bytes;
        std::copy(bytes.begin(), bytes.end(), changed.begin() + at);
        if (fix_header) {
            const std::uint32_t crc = replays::crc32(changed.data(), 44);
            for (int i = 0; i < 4; ++i) changed[44 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
        }
        return changed;
    };
    const struct {
        std::vector<std::uint8_t> bytes;
        const char* says;
    } cases[] = {
        {{}, "not a replay"},
        {{'1', ' ', 'S', 'P', 'A', 'C', 'E', '\n'}, "not a replay"},
        {with(8, {2, 0}, true), "format version 2"},
        {with(10, {49, 0}, true), "damaged header"},
        {with(60, {0x7F}, false), "damaged at byte 48"},
        {std::vector<std::uint8_t>(good.bytes.begin(), good.bytes.begin() + 20), "cut short inside its header"},
    };
    for (const auto& c : cases) {
        const replays::ReplayIndex index = replays::read_replay(c.bytes.data(), c.bytes.size());
        EXPECT_EQ(index.status, replays::ReadStatus::unreadable);
        EXPECT_NE(index.problem.find(c.says), std::string::npos) << index.problem;
    }
}

// The logic version names how the game plays; the digests in tests/digests hold the same thing
// frame by frame. When they are rewritten the game plays differently, and replays recorded before
// would desync: raise GAME_LOGIC_VERSION, and pin the digests anew here.
TEST(ReplayFile, TheLogicVersionMovesWithTheDigests) {
    namespace fs = std::filesystem;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(ZORVALEN_SOURCE_DIR "/tests/digests")) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    replays::Digest digest;
    for (const fs::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        digest.add_bytes(text.data(), text.size());
    }
    const struct {
        std::uint32_t logic_version;
        std::uint64_t digests;
    } pinned = {1, 12602524412238957418ull};
    EXPECT_EQ(replays::GAME_LOGIC_VERSION, pinned.logic_version);
    EXPECT_EQ(digest.value(), pinned.digests) << "tests/digests changed: raise GAME_LOGIC_VERSION and pin both here";
}

class ReplayFolder : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = std::filesystem::path(::testing::TempDir()) / ("replay_folder_" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }
    std::filesystem::path folder_;
};

TEST_F(ReplayFolder, KeepsTheHundredNewestAndTheTenBest) {
    namespace fs = std::filesystem;
    // 130 of the game's own replays, the older the lower their number; every seventh scores high,
    // and the older of those the higher.
    for (int i = 0; i < 130; ++i) {
        replays::ReplayTrailer trailer = sample_trailer(1);
        trailer.score = i % 7 == 0 ? 10000 - i : i;
        trailer.high_score = 0;
        const Written file = write(std::vector<FrameReads>(1), trailer);
        const fs::path path = folder_ / ("zorvalen-2024-01-01-00-00-" + std::to_string(1000 + i) + ".zvr");
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.bytes.data()),
                                                    static_cast<std::streamsize>(file.bytes.size()));
        fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(200 - i));
    }
    std::ofstream(folder_ / "my-best-run.zvr") << "a player's own file";
    replays::prune_replay_folder(folder_.string(), "");
    int kept = 0;
    for (int i = 0; i < 130; ++i) {
        const bool exists = fs::exists(folder_ / ("zorvalen-2024-01-01-00-00-" + std::to_string(1000 + i) + ".zvr"));
        // The 100 newest are 30..129; the ten best are 0, 7, ... 63, five of them older.
        const bool best = i % 7 == 0 && i <= 63;
        EXPECT_EQ(exists, i >= 30 || best) << i;
        kept += exists;
    }
    EXPECT_EQ(kept, 105);
    EXPECT_TRUE(fs::exists(folder_ / "my-best-run.zvr"));
}

TEST_F(ReplayFolder, AFolderThatCannotBeMadeOnlyWarns) {
    std::ofstream(folder_ / "a-file") << "in the way";
    replays::ReplayRecorder recorder;
    std::string warning;
    EXPECT_FALSE(recorder.open((folder_ / "a-file" / "replays").string(), "", replays::Recorder::runner, warning));
    EXPECT_NE(warning.find("replays are not kept: cannot make the folder"), std::string::npos) << warning;
    EXPECT_FALSE(recorder.recording());
}

}  // namespace
