// Replay files: every game the player plays, kept as the input its devices gave it frame by
// frame. The game has no clock and one generator that is never seeded, so that input alone
// plays the same game again. The format is our own (docs/replay-format.md): a header, then
// blocks of at most a second of frames, each with a check of the game's state and a CRC, then
// a trailer. A file cut short (a killed game) reads to its last whole block.
//
// Everything here is plain bytes: no window, no device, no game. The layer and the Windows
// exe write these files, the tools and the watching program read them; the reader takes the
// file as untrusted input (bounded sizes, nothing allocated from a count before it is checked).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace replays {

// Raise it whenever the game itself plays differently (when tests/digests is rewritten): a
// replay of another logic version is refused rather than shown out of step.
constexpr std::uint32_t GAME_LOGIC_VERSION = 1;
constexpr std::uint16_t FORMAT_VERSION = 1;
constexpr std::size_t HEADER_SIZE = 48;
constexpr std::size_t TRAILER_BLOCK_SIZE = 35;  // the 'E' block, always the file's last bytes
constexpr int BLOCK_FRAMES = 60;                 // a block a second: a check and a flush each
constexpr std::size_t MAX_BLOCK_PAYLOAD = 65535;
// Far beyond any game (a day of play is about 2 MB); a longer file is refused before it is read.
constexpr std::size_t MAX_FILE_SIZE = 64u << 20;
constexpr char FILE_SUFFIX[] = ".zvr";

// Who wrote a file, for --info.
enum class Recorder : std::uint8_t { unknown = 0, desktop = 1, page = 2, windows = 3, runner = 4 };

// How the recorded game ended.
enum class Ending : std::uint8_t { unknown = 0, escape = 1, window_closed = 2, stopped = 3 };

// What the game's devices gave it on one frame: its keyboard read (a key is held or not: the
// game tests its byte for nonzero) and its mouse read (the counts moved and the four buttons;
// the wheel, which the game never reads, is not kept).
struct FrameReads {
    std::array<std::uint8_t, 32> keys{};  // bit k%8 of byte k/8: key k (a DirectInput scan code) held
    std::uint8_t buttons = 0;             // bit i: mouse button i held
    std::int32_t dx = 0;
    std::int32_t dy = 0;

    bool key(int code) const { return (keys[static_cast<std::size_t>(code) >> 3] >> (code & 7)) & 1; }
    void set_key(int code, bool held);
    bool operator==(const FrameReads&) const = default;
};

// Between the game's reads and these records: DirectInput's 256 key bytes and mouse state.
void keys_from_bytes(const std::uint8_t bytes[256], FrameReads& reads);
void keys_to_bytes(const FrameReads& reads, std::uint8_t bytes[256]);

struct ReplayHeader {
    std::uint16_t format_version = FORMAT_VERSION;
    std::uint32_t logic_version = GAME_LOGIC_VERSION;
    std::uint64_t asset_digest = 0;
    std::int64_t start_time = 0;      // seconds since 1970-01-01 UTC
    std::int16_t utc_offset = 0;      // minutes east of UTC where it was played, for showing the start
    Recorder recorder = Recorder::unknown;
};

struct ReplayTrailer {
    std::uint32_t frames = 0;
    Ending ending = Ending::unknown;
    std::int32_t score = 0;
    std::int32_t high_score = 0;
    std::int32_t level = 0;
    std::uint64_t final_digest = 0;  // the game's state after its last frame
};

// 64-bit FNV-1a over little-endian 32-bit words (and bytes): what the check records hold.
class Digest {
public:
    void add(std::uint32_t word) { value_ = (value_ ^ word) * PRIME; }
    void add_signed(std::int32_t word) { add(static_cast<std::uint32_t>(word)); }
    void add_bytes(const void* data, std::size_t size);
    std::uint64_t value() const { return value_; }

private:
    static constexpr std::uint64_t PRIME = 0x100000001b3ull;
    std::uint64_t value_ = 0xcbf29ce484222325ull;
};

// CRC-32 (the polynomial of zlib and PNG), over each block.
std::uint32_t crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0);

// ---- Writing -------------------------------------------------------------------------------

// Turns frames into the file's bytes, block by block, in buffers it holds from the start:
// nothing is allocated per frame. The owner writes out `bytes()` after each call that made
// some, then calls `clear_bytes()`.
class ReplayWriter {
public:
    ReplayWriter();

    // The header's bytes, for a new file: what was written before is forgotten.
    void begin(const ReplayHeader& header);
    // The header's bytes as begin writes them.
    static void encode_header(const ReplayHeader& header, std::uint8_t bytes[HEADER_SIZE]);
    // Starts the next block with the check of the state its first frame begins with.
    void start_block(std::uint64_t digest);
    bool block_open() const { return block_open_; }
    int block_frames() const { return block_frames_; }
    // One frame into the open block; a block that has room for no more is finished first
    // (the next one then starts with `digest`).
    void add_frame(const FrameReads& reads);
    // Finishes the open block, if any, into bytes().
    void finish_block();
    // The last block and the trailer.
    void finish(const ReplayTrailer& trailer);

    std::uint32_t frames() const { return frames_; }
    const std::uint8_t* bytes() const { return out_.data(); }
    std::size_t byte_count() const { return out_used_; }
    void clear_bytes() { out_used_ = 0; }

private:
    void put_run();
    void put_op(std::uint8_t op);
    void put_motion_small(int dx, int dy);
    void put_varint(std::uint32_t value);
    void put_zigzag(std::int32_t value);
    void emit(const std::uint8_t* data, std::size_t size);

    std::vector<std::uint8_t> payload_;  // the open block's payload (fixed capacity)
    std::size_t payload_used_ = 0;
    std::vector<std::uint8_t> out_;      // finished bytes waiting to be written
    std::size_t out_used_ = 0;

    bool block_open_ = false;
    int block_frames_ = 0;
    std::uint32_t block_first_ = 0;
    std::uint32_t frames_ = 0;
    FrameReads last_;         // the previous frame of this block
    int run_kind_ = 0;        // 0 none, 1 idle, 2 repeated motion
    int run_length_ = 0;
};

// ---- Reading -------------------------------------------------------------------------------

// One block of frames as the reader found it.
struct BlockEntry {
    std::uint32_t first_frame = 0;
    std::uint16_t frame_count = 0;
    std::uint64_t digest = 0;
    std::uint32_t ops_offset = 0;  // in the file: the frame ops after the block's start state
    std::uint32_t ops_size = 0;
    FrameReads start;              // keys and buttons held as the block starts
};

enum class ReadStatus {
    ok,          // whole, with its trailer
    truncated,   // cut short after its last whole block: readable to there, no trailer
    unreadable,  // see `problem`
};

struct ReplayIndex {
    ReadStatus status = ReadStatus::unreadable;
    std::string problem;  // one line: what is wrong, for a file that cannot be read
    ReplayHeader header;
    bool has_trailer = false;
    ReplayTrailer trailer;
    std::vector<BlockEntry> blocks;
    std::uint32_t frames = 0;  // in the whole blocks

    // The block holding `frame`, or null past the end.
    const BlockEntry* block_of(std::uint32_t frame) const;
};

// Checks the whole file and indexes its blocks. `data` must stay alive while frames are read.
ReplayIndex read_replay(const std::uint8_t* data, std::size_t size);

// Reads a file into `bytes` (at most MAX_FILE_SIZE) and indexes it; a file that cannot be
// opened or is too large comes back unreadable, with the reason.
ReplayIndex load_replay_file(const std::string& path, std::vector<std::uint8_t>& bytes);

// Whether these bytes begin like a replay (the magic), for tools that take scripts or replays.
bool looks_like_replay(const std::uint8_t* data, std::size_t size);

// The frames of one block, in order. The block was checked by read_replay, so this cannot fail.
class FrameCursor {
public:
    FrameCursor() = default;
    FrameCursor(const std::uint8_t* data, const BlockEntry& block);
    bool done() const { return left_ == 0; }
    // The next frame's reads.
    const FrameReads& next();

private:
    const std::uint8_t* at_ = nullptr;
    const std::uint8_t* end_ = nullptr;
    FrameReads current_;
    std::int32_t last_dx_ = 0, last_dy_ = 0;
    int run_left_ = 0;
    int left_ = 0;
};

// All frames of a replay from `first` on, through a callback: for tools that turn a replay into
// something else (a script, a run).
template <typename Visit>
void visit_frames(const std::uint8_t* data, const ReplayIndex& index, Visit&& visit) {
    for (const BlockEntry& block : index.blocks) {
        FrameCursor cursor(data, block);
        while (!cursor.done()) visit(cursor.next());
    }
}

// The trailer alone, from a file's last bytes: for keeping the best runs without reading them all.
bool read_trailer(const std::uint8_t* last_bytes, std::size_t size, ReplayTrailer& trailer);

// ---- The asset pack --------------------------------------------------------------------------

// The files the game loads from its folder (their names are the game's own); a replay names
// the pack it was played with by their digest: each name, size and bytes, in this order.
extern const char* const ASSET_FILES[];
extern const std::size_t ASSET_FILE_COUNT;
// The digest of the pack in `folder` ("" for the working folder); a missing file counts as empty.
std::uint64_t digest_asset_pack(const std::string& folder);

// "12:34" or "1:02:03" for a number of frames at 60 a second.
std::string clock_of_frames(std::uint32_t frames);

}  // namespace replays
