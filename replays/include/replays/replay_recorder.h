// Recording a game as it is played: the frames the devices gave it go into a replay file in the
// player's replay folder, a block a second, each written out and flushed as it is finished, so
// that a game that is killed or crashes leaves a file that plays to its last whole second. Only
// the buffers made when recording starts are used: nothing is allocated per frame.
//
// The folder keeps the 100 newest and the 10 best of the files the game named itself
// (zorvalen-DATE-TIME.zvr); the others go, quietly, when a recording ends.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "replays/device_reads.h"
#include "replays/replay_file.h"

namespace replays {

struct GameFacts;

// Where the player's replays go: $XDG_DATA_HOME/zorvalen/replays (~/.local/share/zorvalen/replays)
// on Linux, %APPDATA%\Zorvalen\replays on Windows, /replays in the page's own memory. Empty when
// there is no home to put them in.
std::string default_replay_folder();

// "zorvalen-2024-05-31-21-07-45": the name a recording starting at `time` (seconds since 1970,
// taken in local time) gets, before its suffix.
std::string replay_name_for(std::int64_t time);
constexpr char REPLAY_NAME_PREFIX[] = "zorvalen-";

constexpr int KEEP_NEWEST = 100;
constexpr int KEEP_BEST = 10;
// Deletes the game's own replays in `folder` but the KEEP_NEWEST newest and the KEEP_BEST best
// (by the better of their final score and high score); `keep` is never deleted. Quiet: a file
// that cannot be read or deleted stays.
void prune_replay_folder(const std::string& folder, const std::string& keep);

// Whether the replay in `path` scored better (the better of its final score and high score) than
// every other of the game's own replays in its folder: a new best. False for a file with no trailer.
bool is_best_in_its_folder(const std::string& path);

class ReplayRecorder {
public:
    ReplayRecorder();
    ~ReplayRecorder();
    ReplayRecorder(const ReplayRecorder&) = delete;
    ReplayRecorder& operator=(const ReplayRecorder&) = delete;

    // Makes the folder and a new file named for now, and writes its header. `path`, when not
    // empty, is the file to write instead (the runner's --record). False, with one line in
    // `warning`, when the folder or the file cannot be had: the game then plays unrecorded.
    bool open(const std::string& folder, const std::string& path, Recorder recorder, std::string& warning);
    bool recording() const { return file_ != nullptr; }
    const std::string& path() const { return path_; }

    // The game's reads, as the device-read stage passes them: the mouse's starts a frame, the
    // keyboard's ends it. A write that fails stops the recording with one line in `warning`
    // (what was written stays, and reads to there).
    void mouse_read(const device_reads::MouseRead& mouse);
    void keyboard_read(const std::uint8_t keys[256]);

    // The game has stopped: the last block and the trailer, then the folder is pruned. The
    // ending comes from the last frame (Escape held) or the facts (the window closed).
    void finish(const GameFacts* facts, std::uint64_t final_digest);

    // The game's files have changed under the recording since it began (the page's, which
    // arrive after the game has started): the header's asset digest is made again from them.
    void refresh_asset_digest();

    // Set when a write failed; the owner prints it once.
    std::string take_warning();

private:
    void begin_frame();
    void write_out();
    void stop(const std::string& why);

    ReplayWriter writer_;
    ReplayHeader header_;
    std::FILE* file_ = nullptr;
    std::string path_;
    std::string folder_;
    bool frame_open_ = false;
    bool escape_held_ = false;
    FrameReads pending_;
    std::string warning_;
    struct Syncer;
    std::unique_ptr<Syncer> syncer_;  // puts what was flushed on the disk, off the game's thread
};

}  // namespace replays
