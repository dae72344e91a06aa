#include "replays/replay_player.h"

#include <algorithm>
#include <cstring>

#include "replays/game_probe.h"

namespace replays {

namespace {

// DirectInput scan codes of the playback keys.
constexpr int DIK_ESCAPE = 1, DIK_Q = 16, DIK_W = 17, DIK_R = 19, DIK_P = 25, DIK_A = 30, DIK_S = 31, DIK_D = 32,
              DIK_SPACE = 57, DIK_HOME = 199, DIK_UP = 200, DIK_LEFT = 203, DIK_RIGHT = 205, DIK_DOWN = 208;
constexpr int MAX_SPEED = 16;

}  // namespace

void ReplayPlayer::load(std::vector<std::uint8_t> bytes, ReplayIndex index, Use use, const GameProbe* probe) {
    bytes_ = std::move(bytes);
    index_ = std::move(index);
    use_ = use;
    probe_ = probe;
    snapshot_size_ = probe != nullptr ? probe->snapshot_size : 0;
    cursor_block_ = 0;
    cursor_next_ = 0;
    cursor_ = FrameCursor();
    position_ = -1;
    checks_ = 0;
    desync_frame_ = -1;
    marks_.clear();
    mark_taken_.clear();
    held_state_.clear();
    if (use_ == Use::watch && probe_ != nullptr) {
        // Every snapshot is had now, once: none is made while watching.
        mark_spacing_ = MARK_SPACING;
        while (index_.frames / static_cast<std::uint32_t>(mark_spacing_) + 1 > MAX_MARKS) mark_spacing_ += MARK_SPACING;
        const std::size_t count = index_.frames / static_cast<std::uint32_t>(mark_spacing_) + 1;
        marks_.assign(count * snapshot_size_, 0);
        mark_taken_.assign(count, 0);
        held_state_.assign(snapshot_size_, 0);
    }
}

void ReplayPlayer::seek(std::uint32_t frame) {
    const std::vector<BlockEntry>& blocks = index_.blocks;
    if (cursor_next_ > 0 && frame + 1 == cursor_next_) return;  // the same frame again
    if (frame != cursor_next_ || cursor_next_ == 0) {
        const BlockEntry* block = index_.block_of(frame);
        cursor_block_ = static_cast<std::uint32_t>(block - blocks.data());
        cursor_ = FrameCursor(bytes_.data(), *block);
        cursor_next_ = block->first_frame;
    }
    while (cursor_next_ <= frame) {
        if (cursor_.done()) cursor_ = FrameCursor(bytes_.data(), blocks[++cursor_block_]);
        reads_ = cursor_.next();
        ++cursor_next_;
    }
}

void ReplayPlayer::begin_frame() {
    frame_open_ = true;
    repeating_ = false;
    const bool watching = use_ == Use::watch && probe_ != nullptr;
    std::int64_t next = position_ + 1;
    if (watching && restore_mark_ >= 0) {
        probe_->restore_snapshot(mark(restore_mark_));
        next = static_cast<std::int64_t>(restore_mark_) * mark_spacing_;
        restore_mark_ = -1;
        held_frame_ = -1;
    } else if (watching && held_frame_ >= 0) {
        probe_->restore_snapshot(held_state_.data());
        next = held_frame_;
        repeating_ = true;
    }
    position_ = next;
    hidden_ = false;
    if (position_ >= static_cast<std::int64_t>(index_.frames)) return;  // past the end: nothing held
    const std::uint32_t frame = static_cast<std::uint32_t>(position_);
    seek(frame);
    const bool block_start = index_.blocks[cursor_block_].first_frame == frame;
    if (block_start && !repeating_ && probe_ != nullptr) {
        ++checks_;
        if (probe_->digest_state() != index_.blocks[cursor_block_].digest && desync_frame_ < 0) desync_frame_ = frame;
    }
    if (!watching) return;

    if (!repeating_ && position_ % mark_spacing_ == 0) {
        const int at = static_cast<int>(position_ / mark_spacing_);
        if (!mark_taken_[static_cast<std::size_t>(at)]) {
            probe_->save_snapshot(mark(at));
            mark_taken_[static_cast<std::size_t>(at)] = 1;
        }
    }
    if (target_ >= 0) {
        hidden_ = position_ < target_;
        if (!hidden_) target_ = -1;
    } else if (fast_left_ > 0 && !repeating_) {
        hidden_ = true;
        --fast_left_;
    }
    const bool last = position_ + 1 == static_cast<std::int64_t>(index_.frames);
    const bool stop_here = last || desync_frame_ == position_;
    if (stop_here) {
        hidden_ = false;
        target_ = -1;
        fast_left_ = 0;
    }
    if (!repeating_ && !hidden_ && (paused_ || stop_here)) {
        probe_->save_snapshot(held_state_.data());
        held_frame_ = position_;
    }
    if (!hidden_) {
        shown_ = position_;
        GameFacts facts;
        probe_->read_facts(facts);
        in_play_ = facts.in_play;
    }
}

void ReplayPlayer::take_controls(const std::uint8_t keys[256], const device_reads::MouseRead* mouse) {
    if (mouse != nullptr) {
        std::uint8_t buttons = 0;
        for (int i = 0; i < 4; ++i)
            if (mouse->buttons[i] & 0x80) buttons |= static_cast<std::uint8_t>(1u << i);
        const std::uint8_t pressed = buttons & ~last_buttons_;
        last_buttons_ = buttons;
        if (pressed & 2) pressed_.restart = true;
        if (pressed) pressed_.any = true;
        return;
    }
    auto down = [&](int code) { return keys[code] != 0 && last_keys_[code] == 0; };
    pressed_.pause |= down(DIK_SPACE) || down(DIK_P);
    pressed_.faster |= down(DIK_UP) || down(DIK_W);
    pressed_.slower |= down(DIK_DOWN) || down(DIK_S);
    pressed_.forward |= down(DIK_RIGHT) || down(DIK_D);
    pressed_.back |= down(DIK_LEFT) || down(DIK_A);
    pressed_.restart |= down(DIK_R) || down(DIK_HOME);
    pressed_.quit |= down(DIK_ESCAPE) || down(DIK_Q);
    for (int code = 0; code < 256 && !pressed_.any; ++code) pressed_.any = down(code);
    std::memcpy(last_keys_, keys, sizeof last_keys_);
}

void ReplayPlayer::mouse_read(device_reads::MouseRead& mouse) {
    if (use_ == Use::watch) take_controls(nullptr, &mouse);
    // A frame whose keyboard was not read ends with this read.
    begin_frame();
    mouse = device_reads::MouseRead{};
    if (position_ >= static_cast<std::int64_t>(index_.frames)) return;
    mouse.dx = reads_.dx;
    mouse.dy = reads_.dy;
    for (int i = 0; i < 4; ++i) mouse.buttons[i] = (reads_.buttons >> i) & 1 ? 0x80 : 0;
}

void ReplayPlayer::keyboard_read(std::uint8_t keys[256]) {
    if (!frame_open_) begin_frame();
    frame_open_ = false;
    if (use_ == Use::watch) take_controls(keys, nullptr);
    if (position_ >= static_cast<std::int64_t>(index_.frames)) {
        std::memset(keys, 0, 256);
    } else {
        keys_to_bytes(reads_, keys);
    }
    // Watching, the window stays up at the end of a game that ended with Escape: only the
    // player's own Escape quits.
    if (use_ == Use::watch) keys[DIK_ESCAPE] = quitting_ ? 0x80 : 0;
}

void ReplayPlayer::jump_to(std::int64_t frame) {
    const std::int64_t last = static_cast<std::int64_t>(index_.frames) - 1;
    const std::int64_t end = desync_frame_ >= 0 ? std::min(desync_frame_, last) : last;
    frame = std::clamp<std::int64_t>(frame, 0, end);
    if (!frames_can_be_hidden_) {
        // Only back, and only as far as a snapshot: the frames after it would all be shown.
        if (frame > position_) return;
        int at = static_cast<int>(frame / mark_spacing_);
        while (at > 0 && !mark_taken_[static_cast<std::size_t>(at)]) --at;
        restore_mark_ = at;
        target_ = shown_ = static_cast<std::int64_t>(at) * mark_spacing_;
        fast_left_ = 0;
        return;
    }
    if (frame > position_ && restore_mark_ < 0) {
        // On from here: the frames before it are made unseen.
        held_frame_ = -1;
    } else {
        int at = static_cast<int>(frame / mark_spacing_);
        while (at > 0 && !mark_taken_[static_cast<std::size_t>(at)]) --at;
        restore_mark_ = at;
    }
    target_ = frame;
    shown_ = frame;
    fast_left_ = 0;
}

void ReplayPlayer::frame_presented() {
    if (use_ != Use::watch || probe_ == nullptr) return;
    if (!hidden_ && overlay_frames_left_ > 0) --overlay_frames_left_;
    const Pressed pressed = pressed_;
    pressed_ = Pressed{};
    if (pressed.any) overlay_frames_left_ = OVERLAY_FRAMES;
    if (pressed.quit) quitting_ = true;
    const bool at_end = held_frame_ >= 0 && held_frame_ + 1 == static_cast<std::int64_t>(index_.frames);
    const bool stopped = desync_frame_ >= 0 && held_frame_ == desync_frame_;
    if (pressed.restart || (pressed.pause && at_end)) {
        jump_to(0);
    } else if (pressed.back) {
        jump_to(shown_ - MARK_SPACING);
    } else if (pressed.forward) {
        jump_to(shown_ + MARK_SPACING);
    } else if (pressed.pause && !stopped) {
        paused_ = !paused_;
        if (!paused_) held_frame_ = -1;
    }
    if (pressed.faster && frames_can_be_hidden_) speed_ = std::min(MAX_SPEED, speed_ * 2);
    if (pressed.slower) speed_ = std::max(1, speed_ / 2);
    if (!hidden_ && held_frame_ < 0 && target_ < 0) fast_left_ = speed_ - 1;
}

bool ReplayPlayer::final_state_matches(std::uint64_t digest) const {
    return !index_.has_trailer || digest == index_.trailer.final_digest;
}

PlaybackView ReplayPlayer::view() const {
    PlaybackView view;
    view.frame = static_cast<std::uint32_t>(std::max<std::int64_t>(shown_, 0));
    view.frames = index_.frames;
    view.speed = speed_;
    view.paused = paused_;
    view.at_end = held_frame_ >= 0 && held_frame_ + 1 == static_cast<std::int64_t>(index_.frames);
    view.truncated = !index_.has_trailer;
    view.desync_frame = desync_frame_;
    view.has_trailer = index_.has_trailer;
    view.trailer = index_.trailer;
    view.other_assets = other_assets_;
    view.in_play = in_play_;
    return view;
}

}  // namespace replays
