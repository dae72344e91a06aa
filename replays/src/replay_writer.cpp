// Writing a replay: the header, a block a second of frame ops, the trailer.
#include <bit>
#include <cstring>

#include "replay_bytes.h"

namespace replays {

using namespace format;

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
    encode_header(header, bytes);
    emit(bytes, sizeof bytes);
}

void ReplayWriter::encode_header(const ReplayHeader& header, std::uint8_t bytes[HEADER_SIZE]) {
    std::memset(bytes, 0, HEADER_SIZE);
    std::memcpy(bytes, MAGIC, sizeof MAGIC);
    put_le(bytes + 8, header.format_version, 2);
    put_le(bytes + 10, HEADER_SIZE, 2);
    put_le(bytes + 12, header.logic_version, 4);
    put_le(bytes + 16, header.asset_digest, 8);
    put_le(bytes + 24, static_cast<std::uint64_t>(header.start_time), 8);
    put_le(bytes + 32, static_cast<std::uint16_t>(header.utc_offset), 2);
    bytes[34] = static_cast<std::uint8_t>(header.recorder);
    put_le(bytes + 44, crc32(bytes, 44), 4);
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

}  // namespace replays
