// The replay format's pieces shared by its reader and its writer (docs/replay-format.md): the
// block and op codes, little-endian numbers, and a bounded reader of bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "replays/replay_file.h"

namespace replays::format {

// A file that was mangled as text (line endings, the top bit) no longer begins like this.
inline constexpr std::uint8_t MAGIC[8] = {0x8A, 'Z', 'V', 'R', '\r', '\n', 0x1A, '\n'};
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
inline bool small_change(std::int64_t dx, std::int64_t dy) {
    return dx >= -SMALL_REACH && dx <= SMALL_REACH && dy >= -SMALL_REACH && dy <= SMALL_REACH;
}

inline int small_code(std::int32_t dx, std::int32_t dy, std::int32_t last_dx, std::int32_t last_dy) {
    return static_cast<int>((std::int64_t{dx} - last_dx + SMALL_REACH) * SMALL_SIDE + (std::int64_t{dy} - last_dy + SMALL_REACH));
}

inline void put_le(std::uint8_t* at, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline std::uint64_t get_le(const std::uint8_t* at, int bytes) {
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

}  // namespace replays::format
