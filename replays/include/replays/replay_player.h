// Playing a replay back through the game's own loop: the game reads its devices as ever, and
// each read is answered from the file (the device-read stage's replacing step), while the
// player's own keys, read from the same devices, work the playback:
//   Space (pad: Start)          pause, resume
//   Up, W / Down, S (d-pad)     faster (2x, 4x, 8x, 16x) / slower, back to 1x
//   Right, D / Left, A (d-pad)  10 seconds forward / back
//   R, Home (pad: left shoulder or trigger, as the right button)  from the start again
//   Escape, Q (pad: hold Back)  quit
//
// A frame that is not to be seen (fast play, a jump's way to its frame) is made but neither drawn
// nor shown, at the speed the game's logic runs; a pause makes the same frame again and again
// from a snapshot of the state it began with. Jumping back puts back the nearest of the snapshots
// taken every ten seconds as play passes them, and makes the frames from there.
//
// Verifying is the same playing, straight through, with nothing shown: the state that begins
// every block must be the one recorded with it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "replays/device_reads.h"
#include "replays/replay_file.h"

namespace replays {

struct GameProbe;

// What the playback overlay shows (replay_overlay.h draws it).
struct PlaybackView {
    std::uint32_t frame = 0;  // the frame on the screen
    std::uint32_t frames = 0;
    int speed = 1;
    bool paused = false;
    bool at_end = false;
    bool truncated = false;
    std::int64_t desync_frame = -1;
    bool has_trailer = false;
    ReplayTrailer trailer;
    bool other_assets = false;  // played with another asset pack than this one
    bool in_play = false;       // the game is in play, not on its title, in the frame shown
};

class ReplayPlayer {
public:
    enum class Use { verify, watch };

    // Takes the file's bytes, checked already (read_replay) into `index`. Snapshots need the
    // game's probe; without one nothing is checked and nothing jumps.
    void load(std::vector<std::uint8_t> bytes, ReplayIndex index, Use use, const GameProbe* probe);
    const ReplayIndex& index() const { return index_; }
    Use use() const { return use_; }

    // The device-read stage's replacing step: the player's own input in, the replay's out.
    void mouse_read(device_reads::MouseRead& mouse);
    void keyboard_read(std::uint8_t keys[256]);
    // At each Present, after the frame was made: takes the player's keys and decides the next frame.
    void frame_presented();

    // Whether the frame being made is to be neither drawn nor shown, and its sounds silent.
    bool frame_hidden() const { return hidden_; }
    bool effects_muted() const { return hidden_ || repeating_; }
    // Held on one frame (a pause, the end, a desync): the music holds too.
    bool holding() const { return held_frame_ >= 0; }
    bool overlay_visible() const { return overlay_frames_left_ > 0 || desync_frame_ >= 0; }
    PlaybackView view() const;
    // The frame being made, or -1 before the first.
    std::int64_t frame_made() const { return position_; }

    // Verifying: the checks made, and the first frame whose state differed (-1: none).
    int checks() const { return checks_; }
    std::int64_t desync_frame() const { return desync_frame_; }
    // Whether the state after the last frame is the one in the trailer (true without a trailer).
    bool final_state_matches(std::uint64_t digest) const;
    void set_other_assets(bool other) { other_assets_ = other; }
    // Where frames cannot be made unseen (a display that draws and paces every frame), there is
    // no fast play and no jumping forward, and a jump back lands on a snapshot.
    void set_frames_can_be_hidden(bool can) { frames_can_be_hidden_ = can; }

    static constexpr int MARK_SPACING = 600;  // frames between snapshots: ten seconds
    static constexpr int MAX_MARKS = 256;
    static constexpr int OVERLAY_FRAMES = 180;  // three seconds without a key hide it

private:
    void begin_frame();
    void seek(std::uint32_t frame);
    void take_controls(const std::uint8_t keys[256], const device_reads::MouseRead* mouse);
    void jump_to(std::int64_t frame);
    std::uint8_t* mark(int index) { return marks_.data() + static_cast<std::size_t>(index) * snapshot_size_; }

    std::vector<std::uint8_t> bytes_;
    ReplayIndex index_;
    Use use_ = Use::verify;
    const GameProbe* probe_ = nullptr;
    std::size_t snapshot_size_ = 0;

    // Where the file is read.
    std::uint32_t cursor_block_ = 0;
    std::uint32_t cursor_next_ = 0;  // the frame the cursor gives next
    FrameCursor cursor_;
    FrameReads reads_;

    std::int64_t position_ = -1;  // the frame being made
    bool frame_open_ = false;     // its mouse read came, its keyboard read has not
    bool hidden_ = false;
    bool repeating_ = false;
    int checks_ = 0;
    std::int64_t desync_frame_ = -1;
    bool other_assets_ = false;
    bool frames_can_be_hidden_ = true;
    bool in_play_ = false;

    // Watching.
    int mark_spacing_ = MARK_SPACING;
    std::vector<std::uint8_t> marks_;
    std::vector<std::uint8_t> mark_taken_;
    std::vector<std::uint8_t> held_state_;
    std::int64_t held_frame_ = -1;
    int restore_mark_ = -1;       // put back as the next frame begins
    std::int64_t target_ = -1;    // the frame a jump shows; the ones before it are hidden
    std::int64_t shown_ = 0;      // the frame on the screen, or the one a jump is on its way to
    int speed_ = 1;
    int fast_left_ = 0;           // hidden frames before the next one shown at this speed
    bool paused_ = false;
    bool quitting_ = false;
    int overlay_frames_left_ = OVERLAY_FRAMES;
    std::uint8_t last_keys_[256] = {};
    std::uint8_t last_buttons_ = 0;
    // What the player pressed since the last Present.
    struct Pressed {
        bool pause = false, faster = false, slower = false, forward = false, back = false, restart = false,
             quit = false, any = false;
    } pressed_;
};

}  // namespace replays
