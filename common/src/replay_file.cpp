#include "common/replay_file.h"

#include <bit>
#include <cstdio>
#include <cstring>
#include <memory>

namespace replays {

namespace {

// A file that was mangled as text (line endings, the top bit) no longer begins like this.
constexpr std::uint8_t MAGIC[8] = {0x8A, 'Z', 'V', 'R', '\r', '\n', 0x1A, '\n'};
constexpr std::uint8_t FRAMES_BLOCK = 'F';
constexpr std::uint8_t END_BLOCK = 'E';
constexpr std::size_t BLOCK_OVERHEAD = 7;  // type, length, CRC
constexpr std::size_t TRAILER_PAYLOAD = 28;
static_assert(TRAILER_BLOCK_SIZE == BLOCK_OVERHEAD + TRAILER_PAYLOAD);

// The frame ops (docs/replay-format.md).
constexpr int RUN_MAX = 64;
constexpr std::uint8_t OP_IDLE = 0x00;    // + n-1: n frames, nothing held changes, no motion
constexpr std::uint8_t OP_REPEAT = 0x40;  // + n-1: n frames, nothing held changes, the last motion again
constexpr std::uint8_t OP_SMALL = 0x80;   // + code: one frame whose motion is the last one's, -5..5 on each axis
constexpr std::uint8_t OP_WIDE = 0xF9;    // one frame, any motion: two zigzag varints
constexpr std::uint8_t OP_CHANGE = 0xFA;  // one frame where keys or buttons change: a flags byte and more
constexpr int SMALL_REACH = 5;
constexpr int SMALL_SIDE = 2 * SMALL_REACH + 1;  // 11 x 11 codes
constexpr std::uint8_t CHANGE_KEYS = 0x10;
constexpr int CHANGE_MOTION_SHIFT = 5;
enum Motion { MOTION_NONE = 0, MOTION_LAST = 1, MOTION_SMALL = 2, MOTION_WIDE = 3 };

// A hand on a mouse speeds up and slows down smoothly: most frames move about as the last one did.
bool small_change(std::int64_t dx, std::int64_t dy) {
    return dx >= -SMALL_REACH && dx <= SMALL_REACH && dy >= -SMALL_REACH && dy <= SMALL_REACH;
}

int small_code(std::int32_t dx, std::int32_t dy, std::int32_t last_dx, std::int32_t last_dy) {
    return static_cast<int>((std::int64_t{dx} - last_dx + SMALL_REACH) * SMALL_SIDE + (std::int64_t{dy} - last_dy + SMALL_REACH));
}

void put_le(std::uint8_t* at, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint64_t get_le(const std::uint8_t* at, int bytes) {
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value |= static_cast<std::uint64_t>(at[i]) << (8 * i);
    return value;
}

// Reads from a bounded span; every read says whether the bytes were there.
class Bytes {
public:
    Bytes(const std::uint8_t* at, const std::uint8_t* end) : at_(at), end_(end) {}
    bool empty() const { return at_ == end_; }
    const std::uint8_t* at() const { return at_; }
    bool byte(std::uint8_t& value) {
        if (at_ == end_) return false;
        value = *at_++;
        return true;
    }
    bool fixed(std::uint64_t& value, int bytes) {
        if (end_ - at_ < bytes) return false;
        value = get_le(at_, bytes);
        at_ += bytes;
        return true;
    }
    // LEB128 of at most five bytes, whose value fits 32 bits.
    bool varint(std::uint32_t& value) {
        value = 0;
        for (int shift = 0; shift < 35; shift += 7) {
            std::uint8_t next = 0;
            if (!byte(next)) return false;
            if (shift == 28 && (next & 0xF0) != 0) return false;
            value |= static_cast<std::uint32_t>(next & 0x7F) << shift;
            if ((next & 0x80) == 0) return true;
        }
        return false;
    }
    bool zigzag(std::int32_t& value) {
        std::uint32_t raw = 0;
        if (!varint(raw)) return false;
        value = static_cast<std::int32_t>((raw >> 1) ^ (0u - (raw & 1)));
        return true;
    }

private:
    const std::uint8_t* at_;
    const std::uint8_t* end_;
};

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

void FrameReads::set_key(int code, bool held) {
    std::uint8_t& byte = keys[static_cast<std::size_t>(code) >> 3];
    const std::uint8_t bit = static_cast<std::uint8_t>(1u << (code & 7));
    byte = held ? (byte | bit) : (byte & ~bit);
}

void keys_from_bytes(const std::uint8_t bytes[256], FrameReads& reads) {
    for (int i = 0; i < 32; ++i) {
        std::uint8_t packed = 0;
        for (int b = 0; b < 8; ++b)
            if (bytes[i * 8 + b] != 0) packed |= static_cast<std::uint8_t>(1u << b);
        reads.keys[static_cast<std::size_t>(i)] = packed;
    }
}

void keys_to_bytes(const FrameReads& reads, std::uint8_t bytes[256]) {
    for (int code = 0; code < 256; ++code) bytes[code] = reads.key(code) ? 0x80 : 0;
}

void Digest::add_bytes(const void* data, std::size_t size) {
    const auto* at = static_cast<const std::uint8_t*>(data);
    for (; size >= 4; size -= 4, at += 4) add(static_cast<std::uint32_t>(get_le(at, 4)));
    for (; size > 0; --size, ++at) add(*at);
}

std::uint32_t crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> made{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            made[n] = c;
        }
        return made;
    }();
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

// ---- Writing -------------------------------------------------------------------------------

ReplayWriter::ReplayWriter()
    : payload_(MAX_BLOCK_PAYLOAD), out_(HEADER_SIZE + 2 * (MAX_BLOCK_PAYLOAD + BLOCK_OVERHEAD) + TRAILER_BLOCK_SIZE) {}

void ReplayWriter::emit(const std::uint8_t* data, std::size_t size) {
    std::memcpy(out_.data() + out_used_, data, size);
    out_used_ += size;
}

void ReplayWriter::begin(const ReplayHeader& header) {
    out_used_ = payload_used_ = 0;
    block_open_ = false;
    block_frames_ = run_kind_ = run_length_ = 0;
    block_first_ = frames_ = 0;
    last_ = FrameReads{};
    std::uint8_t bytes[HEADER_SIZE] = {};
    std::memcpy(bytes, MAGIC, sizeof MAGIC);
    put_le(bytes + 8, header.format_version, 2);
    put_le(bytes + 10, HEADER_SIZE, 2);
    put_le(bytes + 12, header.logic_version, 4);
    put_le(bytes + 16, header.asset_digest, 8);
    put_le(bytes + 24, static_cast<std::uint64_t>(header.start_time), 8);
    put_le(bytes + 32, static_cast<std::uint16_t>(header.utc_offset), 2);
    bytes[34] = static_cast<std::uint8_t>(header.recorder);
    put_le(bytes + 44, crc32(bytes, 44), 4);
    emit(bytes, sizeof bytes);
}

void ReplayWriter::put_op(std::uint8_t op) { payload_[payload_used_++] = op; }

void ReplayWriter::put_varint(std::uint32_t value) {
    while (value >= 0x80) {
        put_op(static_cast<std::uint8_t>(value | 0x80));
        value >>= 7;
    }
    put_op(static_cast<std::uint8_t>(value));
}

void ReplayWriter::put_zigzag(std::int32_t value) {
    put_varint((static_cast<std::uint32_t>(value) << 1) ^ static_cast<std::uint32_t>(value >> 31));
}

void ReplayWriter::put_motion_small(int dx, int dy) {
    put_op(static_cast<std::uint8_t>(small_code(dx, dy, last_.dx, last_.dy)));
}

void ReplayWriter::put_run() {
    if (run_length_ == 0) return;
    put_op(static_cast<std::uint8_t>((run_kind_ == 1 ? OP_IDLE : OP_REPEAT) + run_length_ - 1));
    run_kind_ = 0;
    run_length_ = 0;
}

void ReplayWriter::start_block(std::uint64_t digest) {
    finish_block();
    block_open_ = true;
    block_frames_ = 0;
    block_first_ = frames_;
    payload_used_ = 0;
    // The block's start state goes ahead of its ops, which are only known at its end; the ops
    // are gathered behind room for the largest start state.
    std::uint8_t* head = payload_.data();
    put_le(head, digest, 8);
    payload_used_ = 8;
    const FrameReads& held = last_;
    put_op(held.buttons);
    int count = 0;
    for (int code = 0; code < 256; ++code) count += held.key(code);
    put_varint(static_cast<std::uint32_t>(count));
    for (int code = 0; code < 256; ++code)
        if (held.key(code)) put_op(static_cast<std::uint8_t>(code));
    last_.dx = last_.dy = 0;
}

void ReplayWriter::add_frame(const FrameReads& reads) {
    if (!block_open_) start_block(0);
    if (block_frames_ == BLOCK_FRAMES) start_block(0);
    const bool same_held = reads.keys == last_.keys && reads.buttons == last_.buttons;
    int kind = 0;
    if (same_held && reads.dx == 0 && reads.dy == 0)
        kind = 1;
    else if (same_held && reads.dx == last_.dx && reads.dy == last_.dy)
        kind = 2;
    if (kind != 0) {
        if (run_kind_ != kind || run_length_ == RUN_MAX) put_run();
        run_kind_ = kind;
        ++run_length_;
    } else {
        put_run();
        if (same_held) {
            if (small_change(std::int64_t{reads.dx} - last_.dx, std::int64_t{reads.dy} - last_.dy)) {
                put_op(static_cast<std::uint8_t>(OP_SMALL + small_code(reads.dx, reads.dy, last_.dx, last_.dy)));
            } else {
                put_op(OP_WIDE);
                put_zigzag(reads.dx);
                put_zigzag(reads.dy);
            }
        } else {
            int motion = MOTION_WIDE;
            if (reads.dx == 0 && reads.dy == 0)
                motion = MOTION_NONE;
            else if (reads.dx == last_.dx && reads.dy == last_.dy)
                motion = MOTION_LAST;
            else if (small_change(std::int64_t{reads.dx} - last_.dx, std::int64_t{reads.dy} - last_.dy))
                motion = MOTION_SMALL;
            int toggled = 0;
            for (std::size_t i = 0; i < reads.keys.size(); ++i)
                toggled += std::popcount(static_cast<unsigned>(reads.keys[i] ^ last_.keys[i]));
            put_op(OP_CHANGE);
            put_op(static_cast<std::uint8_t>((reads.buttons & 0x0F) | (toggled > 0 ? CHANGE_KEYS : 0) |
                                             (motion << CHANGE_MOTION_SHIFT)));
            if (toggled > 0) {
                put_varint(static_cast<std::uint32_t>(toggled));
                for (int code = 0; code < 256; ++code)
                    if (reads.key(code) != last_.key(code)) put_op(static_cast<std::uint8_t>(code));
            }
            if (motion == MOTION_SMALL) {
                put_motion_small(reads.dx, reads.dy);
            } else if (motion == MOTION_WIDE) {
                put_zigzag(reads.dx);
                put_zigzag(reads.dy);
            }
        }
    }
    // An idle frame leaves no motion to repeat.
    last_ = reads;
    if (kind == 1) last_.dx = last_.dy = 0;
    ++block_frames_;
    ++frames_;
}

void ReplayWriter::finish_block() {
    if (!block_open_) return;
    block_open_ = false;
    put_run();
    if (block_frames_ == 0) return;
    // type, length, first frame, frame count, then what start_block and the frames put down.
    std::uint8_t head[3 + 10];
    std::size_t head_size = 3;
    auto put_head_varint = [&](std::uint32_t value) {
        while (value >= 0x80) {
            head[head_size++] = static_cast<std::uint8_t>(value | 0x80);
            value >>= 7;
        }
        head[head_size++] = static_cast<std::uint8_t>(value);
    };
    put_head_varint(block_first_);
    put_head_varint(static_cast<std::uint32_t>(block_frames_));
    const std::size_t length = head_size - 3 + payload_used_;
    head[0] = FRAMES_BLOCK;
    put_le(head + 1, length, 2);
    std::uint32_t crc = crc32(head, head_size);
    crc = crc32(payload_.data(), payload_used_, crc);
    emit(head, head_size);
    emit(payload_.data(), payload_used_);
    std::uint8_t tail[4];
    put_le(tail, crc, 4);
    emit(tail, 4);
}

void ReplayWriter::finish(const ReplayTrailer& trailer) {
    finish_block();
    std::uint8_t block[TRAILER_BLOCK_SIZE] = {};
    block[0] = END_BLOCK;
    put_le(block + 1, TRAILER_PAYLOAD, 2);
    put_le(block + 3, trailer.frames, 4);
    block[7] = static_cast<std::uint8_t>(trailer.ending);
    put_le(block + 11, static_cast<std::uint32_t>(trailer.score), 4);
    put_le(block + 15, static_cast<std::uint32_t>(trailer.high_score), 4);
    put_le(block + 19, static_cast<std::uint32_t>(trailer.level), 4);
    put_le(block + 23, trailer.final_digest, 8);
    put_le(block + 31, crc32(block, 31), 4);
    emit(block, sizeof block);
}

// ---- Reading -------------------------------------------------------------------------------

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

// ---- The asset pack --------------------------------------------------------------------------

const char* const ASSET_FILES[] = {
    "Player.tga", "bullet.tga", "crosshair4.tga", "rocket1.tga", "medkit.tga", "explosion.tga",
    "eRed.tga", "eGreen.tga", "eBlue.tga", "eWhite.tga", "eThinGrey.tga", "eThinDark.tga",
    "manbearpig.tga", "bg0.tga", "bg1.tga", "bg2.tga", "startscreen.bmp", "font.raw",
    "bgmusic.wav", "bullet.wav", "rocket.wav", "explodies.wav",
};
const std::size_t ASSET_FILE_COUNT = sizeof ASSET_FILES / sizeof ASSET_FILES[0];

std::uint64_t digest_asset_pack(const std::string& folder) {
    Digest digest;
    static std::uint8_t piece[1 << 16];
    for (std::size_t i = 0; i < ASSET_FILE_COUNT; ++i) {
        const std::string name = ASSET_FILES[i];
        digest.add_bytes(name.data(), name.size());
        const std::string path = folder.empty() ? name : folder + "/" + name;
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
        std::uint64_t size = 0;
        Digest contents;
        while (file != nullptr) {
            const std::size_t got = std::fread(piece, 1, sizeof piece, file.get());
            contents.add_bytes(piece, got);
            size += got;
            if (got < sizeof piece) break;
        }
        digest.add(static_cast<std::uint32_t>(size));
        digest.add(static_cast<std::uint32_t>(size >> 32));
        digest.add(static_cast<std::uint32_t>(contents.value()));
        digest.add(static_cast<std::uint32_t>(contents.value() >> 32));
    }
    return digest.value();
}

std::string clock_of_frames(std::uint32_t frames) {
    const std::uint32_t seconds = frames / 60;
    char text[32];
    if (seconds >= 3600)
        std::snprintf(text, sizeof text, "%u:%02u:%02u", seconds / 3600, seconds / 60 % 60, seconds % 60);
    else
        std::snprintf(text, sizeof text, "%u:%02u", seconds / 60, seconds % 60);
    return text;
}

}  // namespace replays
