#include "replays/replay_session.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "replays/device_reads.h"
#include "replays/game_probe.h"
#include "replays/replay_overlay.h"

namespace replays {

namespace {

enum class Active { nothing, recording, playing };

// One session for the whole program, in static storage: what it records or plays is made when it
// starts, never per frame.
struct Session {
    Active active = Active::nothing;
    bool recording_enabled = true;
    bool exit_hook = false;
    bool presents_reported = false;  // the layer calls frame_presented
    bool frames_can_be_hidden = true;
    ReplayRecorder recorder;
    ReplayPlayer player;
    PlaybackOverlay overlay;
    std::atomic<bool> sound_held{false};
};
Session& session() {
    static Session made;
    return made;
}

void say(const std::string& line) {
    if (!line.empty()) std::fprintf(stderr, "zorvalen: %s\n", line.c_str());
}

void record_mouse(device_reads::MouseRead& mouse) {
    session().recorder.mouse_read(mouse);
    say(session().recorder.take_warning());
}

void record_keyboard(std::uint8_t keys[256]) {
    session().recorder.keyboard_read(keys);
    say(session().recorder.take_warning());
}

void play_mouse(device_reads::MouseRead& mouse) {
    Session& s = session();
    if (!s.presents_reported && s.player.frame_made() >= 0) {
        s.player.frame_presented();
        s.sound_held.store(s.player.holding(), std::memory_order_relaxed);
    }
    s.player.mouse_read(mouse);
}
void play_keyboard(std::uint8_t keys[256]) { session().player.keyboard_read(keys); }

void end_at_exit() { end_session(); }

void hook_exit() {
    if (session().exit_hook) return;
    session().exit_hook = true;
    std::atexit(end_at_exit);
}

}  // namespace

void set_recording_enabled(bool on) { session().recording_enabled = on; }
bool recording_enabled() { return session().recording_enabled; }

void start_recording(const std::string& folder, const std::string& path, Recorder recorder) {
    Session& s = session();
    if (!s.recording_enabled || s.active != Active::nothing) return;
    std::string warning;
    if (!s.recorder.open(path.empty() && folder.empty() ? default_replay_folder() : folder, path, recorder, warning)) {
        say(warning);
        return;
    }
    s.active = Active::recording;
    device_reads::set_record_stage({record_keyboard, record_mouse});
    hook_exit();
}

bool start_playing(const std::string& path, ReplayPlayer::Use use, std::string& message, std::string& warning) {
    Session& s = session();
    end_session();
    std::vector<std::uint8_t> bytes;
    ReplayIndex index = load_replay_file(path, bytes);
    if (index.status == ReadStatus::unreadable) {
        message = path + ": " + index.problem;
        return false;
    }
    if (index.header.logic_version != GAME_LOGIC_VERSION) {
        message = path + ": recorded by a game that plays differently (logic version " +
                  std::to_string(index.header.logic_version) + "; this one is " + std::to_string(GAME_LOGIC_VERSION) + ")";
        return false;
    }
    if (index.frames == 0) {
        message = path + ": holds no frames";
        return false;
    }
    const GameProbe* probe = game_probe();
    if (use == ReplayPlayer::Use::watch && probe == nullptr) {
        message = "this program cannot play replays back";
        return false;
    }
    const bool other_assets = index.header.asset_digest != digest_asset_pack("");
    if (other_assets)
        warning = path + ": played with another set of the game's pictures and sounds; the checks still tell whether "
                         "the game plays the same";
    s.player.load(std::move(bytes), std::move(index), use, probe);
    s.player.set_other_assets(other_assets);
    s.player.set_frames_can_be_hidden(s.frames_can_be_hidden);
    s.active = Active::playing;
    s.sound_held = false;
    device_reads::set_replace_stage({play_keyboard, play_mouse});
    return true;
}

void end_session() {
    Session& s = session();
    if (s.active == Active::recording) {
        device_reads::set_record_stage({});
        const GameProbe* probe = game_probe();
        GameFacts facts;
        if (probe != nullptr) probe->read_facts(facts);
        s.recorder.finish(probe != nullptr ? &facts : nullptr, probe != nullptr ? probe->digest_state() : 0);
        say(s.recorder.take_warning());
    } else if (s.active == Active::playing) {
        device_reads::set_replace_stage({});
        s.sound_held = false;
    }
    s.active = Active::nothing;
}

void refresh_recorded_assets() {
    if (session().active == Active::recording) session().recorder.refresh_asset_digest();
}

const ReplayRecorder* active_recorder() {
    return session().active == Active::recording ? &session().recorder : nullptr;
}

const ReplayPlayer* active_player() { return session().active == Active::playing ? &session().player : nullptr; }

bool frame_hidden() { return session().active == Active::playing && session().player.frame_hidden(); }

bool effects_muted() { return session().active == Active::playing && session().player.effects_muted(); }

bool sound_held() { return session().sound_held.load(std::memory_order_relaxed); }

bool playback_overlay(OverlayPicture& picture) {
    Session& s = session();
    if (s.active != Active::playing || s.player.use() != ReplayPlayer::Use::watch || s.player.frame_hidden() ||
        !s.player.overlay_visible())
        return false;
    const PlaybackView view = s.player.view();
    s.overlay.update(view);
    picture = {s.overlay.pixels(), PlaybackOverlay::WIDTH, PlaybackOverlay::HEIGHT, PlaybackOverlay::LEFT,
               PlaybackOverlay::top_for(view), s.overlay.version()};
    return true;
}

void set_frames_can_be_hidden(bool can) { session().frames_can_be_hidden = can; }

std::string playback_status() {
    const Session& s = session();
    if (s.active != Active::playing) return {};
    return PlaybackOverlay::status_line(s.player.view());
}

void frame_presented() {
    Session& s = session();
    s.presents_reported = true;
    if (s.active != Active::playing) return;
    s.player.frame_presented();
    s.sound_held.store(s.player.holding(), std::memory_order_relaxed);
}

}  // namespace replays
