// The replay file reader (replays/replay_file.h), on any bytes: it refuses with a reason or
// indexes blocks whose frames all decode, and what it reads, written again, reads the same.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "replays/replay_file.h"

namespace {

[[noreturn]] void broken(const char* what) {
    std::fprintf(stderr, "replay invariant broken: %s\n", what);
    std::abort();
}

std::vector<replays::FrameReads> frames_of(const std::uint8_t* data, const replays::ReplayIndex& index) {
    std::vector<replays::FrameReads> frames;
    std::uint32_t next = 0;
    for (const replays::BlockEntry& block : index.blocks) {
        if (block.first_frame != next) broken("a block that does not follow the last");
        replays::FrameCursor cursor(data, block);
        int made = 0;
        while (!cursor.done()) {
            frames.push_back(cursor.next());
            ++made;
        }
        if (made != block.frame_count) broken("a block whose ops make another number of frames");
        next += block.frame_count;
    }
    if (next != index.frames) broken("the index's frame count is not its blocks'");
    return frames;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const replays::ReplayIndex index = replays::read_replay(data, size);
    if (index.status == replays::ReadStatus::unreadable) {
        if (index.problem.empty()) broken("a refusal with no reason");
        if (!index.blocks.empty()) broken("a refusal with blocks");
        return 0;
    }
    if (index.has_trailer != (index.status == replays::ReadStatus::ok)) broken("a trailer and the status disagree");
    if (index.has_trailer && index.trailer.frames != index.frames) broken("a trailer that counts other frames");
    const std::vector<replays::FrameReads> frames = frames_of(data, index);

    // Written again, frame by frame and a block a second, it reads back the same.
    replays::ReplayWriter writer;
    std::vector<std::uint8_t> again;
    auto take = [&] {
        again.insert(again.end(), writer.bytes(), writer.bytes() + writer.byte_count());
        writer.clear_bytes();
    };
    writer.begin(index.header);
    take();
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (!writer.block_open() || writer.block_frames() == replays::BLOCK_FRAMES) {
            writer.finish_block();
            take();
            writer.start_block(i);
        }
        writer.add_frame(frames[i]);
    }
    replays::ReplayTrailer trailer = index.trailer;
    trailer.frames = static_cast<std::uint32_t>(frames.size());
    writer.finish(trailer);
    take();
    const replays::ReplayIndex reread = replays::read_replay(again.data(), again.size());
    if (reread.status != replays::ReadStatus::ok) broken("what was written again cannot be read");
    if (frames_of(again.data(), reread) != frames) broken("what was written again reads other frames");
    return 0;
}
