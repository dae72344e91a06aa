// Reading a replay, as untrusted input: every block checked before anything in it is used.
#include <cstdio>
#include <cstring>
#include <memory>

#include "replay_bytes.h"

namespace replays {

using namespace format;

namespace {

// A change added to the last motion. A file our writer made never wraps; a made-up one may, and
// must not overflow.
std::int32_t wrapping_sum(std::int32_t last, int change) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(last) + static_cast<std::uint32_t>(change));
}

// The decoder's registers through a block: what is held, and the last motion.
struct DecodeState {
    FrameReads reads;
    std::int32_t last_dx = 0, last_dy = 0;
};

// A motion given the CHANGE way or after OP_SMALL.
bool read_motion(Bytes& in, int kind, DecodeState& state) {
    switch (kind) {
    case MOTION_NONE: state.reads.dx = state.reads.dy = 0; break;
    case MOTION_LAST:
        state.reads.dx = state.last_dx;
        state.reads.dy = state.last_dy;
        break;
    case MOTION_SMALL: {
        std::uint8_t code = 0;
        if (!in.byte(code) || code >= SMALL_SIDE * SMALL_SIDE) return false;
        state.reads.dx = wrapping_sum(state.last_dx, code / SMALL_SIDE - SMALL_REACH);
        state.reads.dy = wrapping_sum(state.last_dy, code % SMALL_SIDE - SMALL_REACH);
        break;
    }
    default:
        if (!in.zigzag(state.reads.dx) || !in.zigzag(state.reads.dy)) return false;
        break;
    }
    state.last_dx = state.reads.dx;
    state.last_dy = state.reads.dy;
    return true;
}

// One op: how many frames it makes (its first one now in `state`), or 0 for bytes that are no op.
int read_op(Bytes& in, DecodeState& state) {
    std::uint8_t op = 0;
    if (!in.byte(op)) return 0;
    if (op < OP_REPEAT) {
        state.reads.dx = state.reads.dy = 0;
        state.last_dx = state.last_dy = 0;
        return op - OP_IDLE + 1;
    }
    if (op < OP_SMALL) {
        state.reads.dx = state.last_dx;
        state.reads.dy = state.last_dy;
        return op - OP_REPEAT + 1;
    }
    if (op < OP_WIDE) {
        const int code = op - OP_SMALL;
        state.reads.dx = state.last_dx = wrapping_sum(state.last_dx, code / SMALL_SIDE - SMALL_REACH);
        state.reads.dy = state.last_dy = wrapping_sum(state.last_dy, code % SMALL_SIDE - SMALL_REACH);
        return 1;
    }
    if (op == OP_WIDE) return read_motion(in, MOTION_WIDE, state) ? 1 : 0;
    if (op != OP_CHANGE) return 0;
    std::uint8_t flags = 0;
    if (!in.byte(flags) || (flags & 0x80) != 0) return 0;
    state.reads.buttons = flags & 0x0F;
    if (flags & CHANGE_KEYS) {
        std::uint32_t count = 0;
        if (!in.varint(count) || count == 0 || count > 256) return 0;
        int previous = -1;
        for (std::uint32_t i = 0; i < count; ++i) {
            std::uint8_t code = 0;
            if (!in.byte(code) || code <= previous) return 0;
            previous = code;
            state.reads.set_key(code, !state.reads.key(code));
        }
    }
    return read_motion(in, (flags >> CHANGE_MOTION_SHIFT) & 3, state) ? 1 : 0;
}

// The state a block starts with: buttons, then the keys held, in ascending order.
bool read_block_start(Bytes& in, FrameReads& start) {
    std::uint8_t buttons = 0;
    std::uint32_t count = 0;
    if (!in.byte(buttons) || (buttons & 0xF0) != 0 || !in.varint(count) || count > 256) return false;
    start = FrameReads{};
    start.buttons = buttons;
    int previous = -1;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint8_t code = 0;
        if (!in.byte(code) || code <= previous) return false;
        previous = code;
        start.set_key(code, true);
    }
    return true;
}

std::string at_byte(std::size_t offset) { return " at byte " + std::to_string(offset); }

bool trailer_from(const std::uint8_t* payload, ReplayTrailer& trailer) {
    Bytes in(payload, payload + TRAILER_PAYLOAD);
    std::uint64_t frames = 0, ending = 0, reserved = 0, score = 0, high = 0, level = 0, digest = 0;
    in.fixed(frames, 4);
    in.fixed(ending, 1);
    in.fixed(reserved, 3);
    in.fixed(score, 4);
    in.fixed(high, 4);
    in.fixed(level, 4);
    in.fixed(digest, 8);
    if (ending > static_cast<std::uint64_t>(Ending::stopped) || reserved != 0) return false;
    trailer.frames = static_cast<std::uint32_t>(frames);
    trailer.ending = static_cast<Ending>(ending);
    trailer.score = static_cast<std::int32_t>(static_cast<std::uint32_t>(score));
    trailer.high_score = static_cast<std::int32_t>(static_cast<std::uint32_t>(high));
    trailer.level = static_cast<std::int32_t>(static_cast<std::uint32_t>(level));
    trailer.final_digest = digest;
    return true;
}

// A whole, sound trailer block in these bytes (the last TRAILER_BLOCK_SIZE of a file).
bool trailer_block(const std::uint8_t* block, ReplayTrailer& trailer) {
    if (block[0] != END_BLOCK || get_le(block + 1, 2) != TRAILER_PAYLOAD) return false;
    const std::size_t body = 3 + TRAILER_PAYLOAD;
    if (crc32(block, body) != get_le(block + body, 4)) return false;
    return trailer_from(block + 3, trailer);
}

ReplayIndex refuse(ReplayIndex index, std::string problem) {
    index.status = ReadStatus::unreadable;
    index.problem = std::move(problem);
    index.blocks.clear();
    index.frames = 0;
    return index;
}

}  // namespace

const BlockEntry* ReplayIndex::block_of(std::uint32_t frame) const {
    if (frame >= frames || blocks.empty()) return nullptr;
    // Blocks are in frame order: the last one starting at or before `frame`.
    std::size_t low = 0, high = blocks.size();
    while (high - low > 1) {
        const std::size_t middle = (low + high) / 2;
        if (blocks[middle].first_frame <= frame)
            low = middle;
        else
            high = middle;
    }
    return &blocks[low];
}

bool looks_like_replay(const std::uint8_t* data, std::size_t size) {
    return size >= sizeof MAGIC && std::memcmp(data, MAGIC, sizeof MAGIC) == 0;
}

bool read_trailer(const std::uint8_t* last_bytes, std::size_t size, ReplayTrailer& trailer) {
    return size == TRAILER_BLOCK_SIZE && trailer_block(last_bytes, trailer);
}

ReplayIndex read_replay(const std::uint8_t* data, std::size_t size) {
    ReplayIndex index;
    if (size > MAX_FILE_SIZE) return refuse(index, "too large to be a replay");
    if (!looks_like_replay(data, size)) return refuse(index, "not a replay (it does not begin like one)");
    if (size < HEADER_SIZE) return refuse(index, "cut short inside its header");
    ReplayHeader& header = index.header;
    header.format_version = static_cast<std::uint16_t>(get_le(data + 8, 2));
    if (header.format_version != FORMAT_VERSION)
        return refuse(index, "replay format version " + std::to_string(header.format_version) +
                                 ", and this build reads version " + std::to_string(FORMAT_VERSION));
    if (get_le(data + 10, 2) != HEADER_SIZE || crc32(data, 44) != get_le(data + 44, 4))
        return refuse(index, "damaged header (it fails its check)");
    header.logic_version = static_cast<std::uint32_t>(get_le(data + 12, 4));
    header.asset_digest = get_le(data + 16, 8);
    header.start_time = static_cast<std::int64_t>(get_le(data + 24, 8));
    header.utc_offset = static_cast<std::int16_t>(get_le(data + 32, 2));
    header.recorder = static_cast<Recorder>(data[34]);

    // A file with a sound trailer is whole: nothing in it may then look cut short.
    ReplayTrailer end_trailer;
    const bool ends_whole =
        size >= HEADER_SIZE + TRAILER_BLOCK_SIZE && trailer_block(data + size - TRAILER_BLOCK_SIZE, end_trailer);

    std::size_t at = HEADER_SIZE;
    while (at < size) {
        const std::size_t left = size - at;
        if (left < 3 || left < BLOCK_OVERHEAD + get_le(data + at + 1, 2)) {
            // A trailer is written whole or cut shorter than itself: one of its own length is damaged.
            const bool whole_trailer = data[at] == END_BLOCK && left == TRAILER_BLOCK_SIZE;
            if (ends_whole || whole_trailer) return refuse(index, "damaged" + at_byte(at) + " (a block runs past the end)");
            index.status = ReadStatus::truncated;
            return index;
        }
        const std::uint8_t type = data[at];
        const std::size_t length = static_cast<std::size_t>(get_le(data + at + 1, 2));
        const std::size_t body = 3 + length;
        if (type != FRAMES_BLOCK && type != END_BLOCK) return refuse(index, "damaged" + at_byte(at) + " (no such block)");
        if (crc32(data + at, body) != get_le(data + at + body, 4))
            return refuse(index, "damaged" + at_byte(at) + " (a block fails its check)");
        if (type == END_BLOCK) {
            if (length != TRAILER_PAYLOAD || !trailer_from(data + at + 3, index.trailer))
                return refuse(index, "damaged" + at_byte(at) + " (a trailer of the wrong shape)");
            if (at + TRAILER_BLOCK_SIZE != size) return refuse(index, "damaged" + at_byte(at) + " (bytes after the trailer)");
            if (index.trailer.frames != index.frames)
                return refuse(index, "damaged: its trailer counts " + std::to_string(index.trailer.frames) +
                                         " frames and its blocks hold " + std::to_string(index.frames));
            index.has_trailer = true;
            index.status = ReadStatus::ok;
            return index;
        }

        Bytes in(data + at + 3, data + at + body);
        BlockEntry block;
        std::uint32_t first = 0, count = 0;
        std::uint64_t digest = 0;
        if (!in.varint(first) || !in.varint(count) || !in.fixed(digest, 8) || !read_block_start(in, block.start))
            return refuse(index, "damaged" + at_byte(at) + " (a block's start is malformed)");
        if (first != index.frames) return refuse(index, "damaged" + at_byte(at) + " (its frames are out of order)");
        if (count == 0 || count > BLOCK_FRAMES || index.frames > UINT32_MAX / 2)
            return refuse(index, "damaged" + at_byte(at) + " (a block's frame count is out of range)");
        block.first_frame = first;
        block.frame_count = static_cast<std::uint16_t>(count);
        block.digest = digest;
        block.ops_offset = static_cast<std::uint32_t>(in.at() - data);
        block.ops_size = static_cast<std::uint32_t>(data + at + body - in.at());
        // The ops must make exactly the block's frames.
        DecodeState state;
        state.reads = block.start;
        std::uint32_t made = 0;
        while (!in.empty()) {
            const int frames = read_op(in, state);
            if (frames == 0 || made + static_cast<std::uint32_t>(frames) > count)
                return refuse(index, "damaged" + at_byte(at) + " (a frame op is malformed)");
            made += static_cast<std::uint32_t>(frames);
        }
        if (made != count) return refuse(index, "damaged" + at_byte(at) + " (a block holds fewer frames than it says)");
        index.blocks.push_back(block);
        index.frames += count;
        at += body + 4;
    }
    index.status = ReadStatus::truncated;
    return index;
}

ReplayIndex load_replay_file(const std::string& path, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    ReplayIndex index;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (file == nullptr) return refuse(index, "cannot be opened");
    // The size is checked before anything is allocated for it.
    if (std::fseek(file.get(), 0, SEEK_END) != 0) return refuse(index, "cannot be read");
    const long size = std::ftell(file.get());
    if (size < 0 || std::fseek(file.get(), 0, SEEK_SET) != 0) return refuse(index, "cannot be read");
    if (static_cast<unsigned long>(size) > MAX_FILE_SIZE) return refuse(index, "too large to be a replay");
    bytes.resize(static_cast<std::size_t>(size));
    if (std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) return refuse(index, "cannot be read");
    return read_replay(bytes.data(), bytes.size());
}

FrameCursor::FrameCursor(const std::uint8_t* data, const BlockEntry& block)
    : at_(data + block.ops_offset), end_(data + block.ops_offset + block.ops_size), current_(block.start),
      left_(block.frame_count) {}

const FrameReads& FrameCursor::next() {
    if (left_ == 0) return current_;
    --left_;
    if (run_left_ > 0) {
        --run_left_;
        return current_;
    }
    Bytes in(at_, end_);
    DecodeState state{current_, last_dx_, last_dy_};
    const int frames = read_op(in, state);
    at_ = in.at();
    current_ = state.reads;
    last_dx_ = state.last_dx;
    last_dy_ = state.last_dy;
    run_left_ = frames > 1 ? frames - 1 : 0;
    return current_;
}

}  // namespace replays
