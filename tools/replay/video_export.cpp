#include "video_export.h"

#include <signal.h>
#include <sys/resource.h>

#include <atomic>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include <dsound.h>
#include <headless.h>

#include "dsound_offline.h"
#include "picture_scaler.h"
#include "progress.h"
#include "runner.h"
#include "world/world.h"

namespace replay {

namespace {

constexpr int frame_rate = 60;

struct VideoOptions {
    std::string out_path;
    std::string script_path;
    std::string asset_dir;
    int scale = 1;
    bool lossless = false;
    bool exact = false;
    std::vector<std::pair<std::string, std::string>> encoder_options;
    bool codecs_given = false;
    Codecs codecs = Codecs::h264;
    int64_t from = 0;
    int64_t to = -1;  // negative: to the end of the run
    bool help = false;
};

// One format's encoder settings, as --encoder-option would give them.
std::string settings_text(Container container, Codecs codecs, bool exact, bool lossless) {
    VideoFormat format;
    format.container = container;
    format.codecs = codecs;
    format.exact = exact;
    format.lossless = lossless;
    std::string text;
    for (const auto& [name, value] : video_encoder_settings(format)) text += " " + name + "=" + value;
    return text;
}

std::string video_usage_text() {
    return "usage: zorvalen-replay --video OUT [options] SCRIPT\n"
           "  OUT's suffix picks the file: .mp4 (H.264, AAC), .webm (VP9, Opus), .mkv (either)\n"
           "  --scale 1|2          800 x 600, or 1600 x 1200 with every pixel doubled\n"
           "  --from TIME          start there (seconds, or mm:ss)\n"
           "  --to TIME            end there\n"
           "  --exact              colour at every pixel (4:4:4) and a finer quantiser: the game's\n"
           "                       one-pixel edges as drawn, at about four times the size\n"
           "  --lossless           every picture and sample exact: FFV1 and PCM in .mkv, H.264 RGB and ALAC in .mp4\n"
           "  --codecs h264|vp9    the codecs of an .mkv (default h264)\n"
           "  --encoder-option NAME=VALUE   an option of the video encoder, by FFmpeg's name, over\n"
           "                       the settings below (for example crf=18, preset=faster, cpu-used=6)\n"
           "  --assets DIR         the game's files (default: the build's generated assets)\n"
           "Which to use:\n"
           "  to share or keep      .mp4 as it comes: H.264 High, 4:2:0, moov first; every phone,\n"
           "                        player and site plays it (about 18 MB a minute of play)\n"
           "  for a web page        .webm as it comes: VP9 4:2:0 and Opus, which browsers play\n"
           "  to look at pixels     --exact (H.264 or VP9 4:4:4), which some phones and sites refuse\n"
           "  to edit or archive    .mkv --lossless: every pixel and sample as the game made them\n"
           "The progress bar shows on a terminal only. Ctrl+C ends the file where the run has got to;\n"
           "before its first whole second it leaves no file. An .mp4 cut short stays fragmented, which\n"
           "some players refuse; a finished one is rewritten with its index first (faststart).\n"
           "The settings (--encoder-option sets over them):\n"
           "  H.264:" + settings_text(Container::mp4, Codecs::h264, false, false) +
           "\n  H.264 --exact:" + settings_text(Container::mp4, Codecs::h264, true, false) +
           "\n  VP9:" + settings_text(Container::webm, Codecs::vp9, false, false) +
           "\n  VP9 --exact:" + settings_text(Container::webm, Codecs::vp9, true, false) +
           "\n  FFV1 (.mkv --lossless):" + settings_text(Container::mkv, Codecs::h264, false, true) +
           "\n  H.264 RGB (.mp4 --lossless):" + settings_text(Container::mp4, Codecs::h264, false, true) +
           "\nThe encoder uses every core (FFV1 a thread a core, the others FFmpeg's own count) and runs\n"
           "a few frames behind the game on a thread of its own. A speed the encoder refuses (an older\n"
           "libvpx without speed 9) gives way to the next slower one it takes, and the runner says so once.\n";
}

bool parse_video_option(const std::string& name, const std::string& value, VideoOptions& options,
                        std::string& error) {
    if (name == "--video") {
        options.out_path = value;
    } else if (name == "--assets") {
        options.asset_dir = value;
    } else if (name == "--scale") {
        if (value != "1" && value != "2") {
            error = "--scale takes 1 or 2, not '" + value + "'";
            return false;
        }
        options.scale = value == "2" ? 2 : 1;
    } else if (name == "--codecs") {
        if (value != "h264" && value != "vp9") {
            error = "--codecs takes h264 or vp9, not '" + value + "'";
            return false;
        }
        options.codecs = value == "vp9" ? Codecs::vp9 : Codecs::h264;
        options.codecs_given = true;
    } else if (name == "--encoder-option") {
        const std::size_t equals = value.find('=');
        if (equals == 0 || equals == std::string::npos || equals + 1 == value.size()) {
            error = "--encoder-option takes NAME=VALUE, not '" + value + "'";
            return false;
        }
        options.encoder_options.emplace_back(value.substr(0, equals), value.substr(equals + 1));
    } else {  // --from, --to
        int64_t& frame = name == "--from" ? options.from : options.to;
        if (!parse_time(value, frame_rate, frame)) {
            error = name + " needs a time in seconds or mm:ss, not '" + value + "'";
            return false;
        }
    }
    return true;
}

bool parse_video_options(int argc, const char* const argv[], VideoOptions& options, std::string& error) {
    // Anywhere, even where an option's value would go: "--video --help".
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            options.help = true;
            return true;
        }
    }
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--lossless" || argument == "--exact") {
            (argument == "--exact" ? options.exact : options.lossless) = true;
            continue;
        }
        if (argument.size() < 2 || argument[0] != '-' || argument == "-") {
            if (!options.script_path.empty()) {
                error = "more than one script: '" + options.script_path + "' and '" + argument + "'";
                return false;
            }
            options.script_path = argument;
            continue;
        }
        const std::string name = argument.substr(0, argument.find('='));
        if (name != "--video" && name != "--assets" && name != "--scale" && name != "--codecs" && name != "--from" &&
            name != "--to" && name != "--encoder-option") {
            error = "unknown option '" + argument + "' with --video";
            return false;
        }
        std::string value;
        if (const std::size_t equals = argument.find('='); equals != std::string::npos) {
            value = argument.substr(equals + 1);
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            error = argument + " needs a value";
            return false;
        }
        if (!parse_video_option(name, value, options, error)) return false;
    }
    if (options.out_path.empty()) {
        error = "--video needs a file to write";
        return false;
    }
    if (options.script_path.empty()) {
        error = "no script given";
        return false;
    }
    if (options.to >= 0 && options.to <= options.from) {
        error = "--to must come after --from";
        return false;
    }
    return true;
}

// The format the options ask for; false with a message when they do not fit together.
bool video_format(const VideoOptions& options, VideoFormat& format, std::string& error) {
    if (!container_for(options.out_path, format.container)) {
        error = "cannot tell the kind of video from '" + options.out_path + "': name it .mp4, .webm or .mkv";
        return false;
    }
    format.codecs = options.codecs_given ? options.codecs
                                         : (format.container == Container::webm ? Codecs::vp9 : Codecs::h264);
    format.lossless = options.lossless;
    format.exact = options.exact;
    format.encoder_options = options.encoder_options;
    format.width = 800 * options.scale;
    format.height = 600 * options.scale;
    format.frame_rate = frame_rate;
    return true;
}

// The rate and channels the game's sound device will mix at, asked of the layer as the game asks.
bool offline_sound_format(uint32_t& rate, int& channels) {
    headless::set_mode(headless::Mode::render);
    IDirectSound8* device = nullptr;
    if (FAILED(DirectSoundCreate8(nullptr, &device, nullptr)) || device == nullptr) return false;
    const bool known = audio::output_format(device, rate, channels);
    device->Release();
    return known && rate > 0;
}

volatile std::sig_atomic_t stop_signal = 0;

void note_signal(int signal_number) { stop_signal = signal_number; }

// Ctrl+C, kill and a closed terminal end the run at the next frame, and the file is ended there.
class StopOnSignals {
public:
    StopOnSignals() {
        stop_signal = 0;
        struct sigaction action {};
        action.sa_handler = note_signal;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < std::size(signals_); ++i) sigaction(signals_[i], &action, &saved_[i]);
    }
    ~StopOnSignals() {
        for (std::size_t i = 0; i < std::size(signals_); ++i) sigaction(signals_[i], &saved_[i], nullptr);
    }
    StopOnSignals(const StopOnSignals&) = delete;
    StopOnSignals& operator=(const StopOnSignals&) = delete;

private:
    const int signals_[3] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction saved_[3] {};
};

int64_t peak_memory_mib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

// The encoder on a thread of its own, a few frames behind the game: the game, the compositor and
// the mixer make the next frames on one core while the encoder works on the other. The frames go
// through a ring of slots made up front, and the encoder takes them in the order they were made,
// so the file is the same as if each were encoded at once.
class EncoderThread {
public:
    struct Slot {
        std::vector<std::uint32_t> pixels;
        std::vector<int16_t> samples;
        std::size_t sample_frames = 0;
    };

    EncoderThread(VideoWriter& writer, int width, int height, std::size_t samples)
        : writer_(writer), width_(width), slots_(slot_count) {
        for (Slot& slot : slots_) {
            slot.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
            slot.samples.resize(samples);
        }
        thread_ = std::thread([this] { encode_until_finished(); });
    }
    ~EncoderThread() { finish(); }
    EncoderThread(const EncoderThread&) = delete;
    EncoderThread& operator=(const EncoderThread&) = delete;

    // The slot to fill next; waits while every slot is still the encoder's.
    Slot& free_slot() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return waiting_ < slots_.size(); });
        return slots_[(first_ + waiting_) % slots_.size()];
    }
    // The slot from free_slot goes to the encoder.
    void send() {
        {
            const std::lock_guard lock(mutex_);
            ++waiting_;
        }
        changed_.notify_all();
    }
    // Returns once every frame sent is in the writer (or the writer failed) and the thread is gone.
    void finish() {
        if (!thread_.joinable()) return;
        {
            const std::lock_guard lock(mutex_);
            ending_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    // The writer failed: the game should stop; what it failed with is the writer's error.
    bool failed() const { return failed_.load(std::memory_order_relaxed); }

private:
    static constexpr std::size_t slot_count = 8;

    void encode_until_finished() {
        for (;;) {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return waiting_ > 0 || ending_; });
            if (waiting_ == 0) return;
            Slot& slot = slots_[first_];
            lock.unlock();
            // After a failure the rest are dropped, so that the game is never kept waiting.
            if (!failed() && (!writer_.add_picture(slot.pixels.data(), width_) ||
                              !writer_.add_samples(slot.samples.data(), slot.sample_frames)))
                failed_.store(true, std::memory_order_relaxed);
            lock.lock();
            first_ = (first_ + 1) % slots_.size();
            --waiting_;
            lock.unlock();
            changed_.notify_all();
        }
    }

    VideoWriter& writer_;
    int width_;
    std::vector<Slot> slots_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t first_ = 0;    // the oldest slot sent
    std::size_t waiting_ = 0;  // slots sent and not yet encoded
    bool ending_ = false;
    std::atomic<bool> failed_{false};
    std::thread thread_;
};

// Everything the frames feed: the encoder, the doubled picture, one frame's samples.
class FrameSink {
public:
    FrameSink(VideoWriter& writer, const VideoFormat& format, int64_t from, int64_t to, uint32_t rate, int channels)
        : format_(format), from_(from), to_(to), rate_(rate),
          encoder_(writer, format.width, format.height,
                   static_cast<std::size_t>(rate / frame_rate + 1) * static_cast<std::size_t>(channels)) {
        samples_.resize(static_cast<std::size_t>(rate / frame_rate + 1) * static_cast<std::size_t>(channels));
        if (format.width != 800) scaler_.prepare(800, 600, format.width, format.height, platform::ScaleFilter::sharp);
    }

    bool wanted(int64_t frame) const { return frame >= from_ && frame < to_; }

    // After frame `frame` has run: its sound always (the mixer must move on), its picture when kept.
    void take(int64_t frame) {
        // An exact running count: frame N's samples start at N * rate / 60, whatever the rate.
        const auto start = static_cast<std::size_t>(frame * rate_ / frame_rate);
        const auto end = static_cast<std::size_t>((frame + 1) * rate_ / frame_rate);
        const std::size_t count = end - start;
        std::fill(samples_.begin(), samples_.end(), int16_t{0});
        if (world.sound_device != nullptr) audio::render(world.sound_device, samples_.data(), count);
        if (!wanted(frame) || !error_.empty() || encoder_.failed()) return;
        int width = 0;
        int height = 0;
        const std::uint32_t* pixels = headless::captured_pixels(&width, &height);
        if (pixels == nullptr || width != 800 || height != 600) {
            error_ = "no picture was presented at frame " + std::to_string(frame);
            return;
        }
        // The compositor draws the next frame over this one: the encoder gets a copy (or the doubled picture).
        EncoderThread::Slot& slot = encoder_.free_slot();
        if (format_.width != 800)
            scaler_.scale(pixels, width, slot.pixels.data(), format_.width);
        else
            std::copy(pixels, pixels + slot.pixels.size(), slot.pixels.begin());
        std::copy(samples_.begin(), samples_.end(), slot.samples.begin());
        slot.sample_frames = count;
        encoder_.send();
        ++frames_;
    }

    // Waits for the encoder to take every frame given; the writer's state can be read after.
    void finish() { encoder_.finish(); }
    bool failed() const { return !error_.empty() || encoder_.failed(); }
    int64_t frames() const { return frames_; }
    const std::string& error() const { return error_; }

private:
    VideoFormat format_;
    int64_t from_, to_;
    uint32_t rate_;
    std::vector<int16_t> samples_;
    platform::PictureScaler scaler_;
    EncoderThread encoder_;
    int64_t frames_ = 0;
    std::string error_;
};

std::string codec_text(const VideoFormat& format) {
    EncoderNames names{};
    std::string ignored;
    encoders_for(format, names, ignored);
    return std::string(names.video) + " and " + names.audio;
}

// What an export that did not end normally leaves, in one line.
std::string what_is_left(const std::string& path, const VideoWriter& writer) {
    if (!writer.file_named()) return "no file was written";
    return path + " holds the first " + clock_text(writer.seconds_written()) + " and plays";
}

struct Cut {
    int64_t from = 0;
    int64_t to = 0;
};

int export_video(const VideoOptions& options, const Script& script, const Cut& cut, const VideoFormat& format,
                 const std::string& out_path) {
    uint32_t rate = 0;
    int channels = 0;
    headless::set_offline_sound(true);
    if (!offline_sound_format(rate, channels)) {
        headless::set_offline_sound(false);
        std::fprintf(stderr, "zorvalen-replay: the layer gave no offline sound device\n");
        return 1;
    }
    VideoFormat file_format = format;
    file_format.sample_rate = rate;
    file_format.channels = channels;
    VideoWriter writer;
    std::string error;
    if (!writer.open(out_path, file_format, error)) {
        headless::set_offline_sound(false);
        std::fprintf(stderr, "zorvalen-replay: %s\n", error.c_str());
        return 2;
    }
    if (!writer.note().empty()) std::fprintf(stderr, "zorvalen-replay: %s\n", writer.note().c_str());

    FrameSink sink(writer, file_format, cut.from, cut.to, rate, channels);
    ProgressBar progress(stderr, cut.to - cut.from, frame_rate);
    RunSettings settings;
    settings.mode = headless::Mode::render;
    settings.frame_limit = cut.to;
    settings.picture_wanted = [&sink](int64_t frame) { return sink.wanted(frame); };
    settings.after_frame = [&](const FrameReport& report) {
        sink.take(report.frame);
        if (sink.wanted(report.frame)) progress.update(report.frame + 1 - cut.from);
    };
    settings.keep_going = [&](const FrameReport&) { return stop_signal == 0 && !sink.failed(); };

    RunOutcome outcome;
    {
        const StopOnSignals stop;
        const std::filesystem::path started_in = std::filesystem::current_path();
        std::error_code failure;
        std::filesystem::current_path(options.asset_dir, failure);
        if (failure) {
            headless::set_offline_sound(false);
            std::fprintf(stderr, "zorvalen-replay: --assets: cannot enter '%s': %s\n", options.asset_dir.c_str(),
                         failure.message().c_str());
            return 2;
        }
        outcome = play(script, settings);
        std::filesystem::current_path(started_in, failure);
    }
    // The frames still queued are encoded before anything reads the writer's state.
    sink.finish();
    headless::set_offline_sound(false);
    progress.clear();
    const int signal_number = stop_signal;

    if (!outcome.started) {
        std::fprintf(stderr, "zorvalen-replay: the game could not start (no window or graphics device)\n");
        return 1;
    }
    // Interrupted before its first whole second reached the disk, an export has nothing worth
    // keeping: a file of a few frames would only be mistaken for the run.
    if (signal_number != 0 && writer.error().empty() && !writer.file_named()) {
        writer.abandon();
        std::fprintf(stderr, "zorvalen-replay: interrupted (%s) before the first second; no file was written\n",
                     strsignal(signal_number));
        return 128 + signal_number;
    }
    const std::string& failure = !writer.error().empty() ? writer.error() : sink.error();
    if (!failure.empty()) {
        writer.abandon();
        std::fprintf(stderr, "zorvalen-replay: cannot write %s: %s; %s\n", options.out_path.c_str(), failure.c_str(),
                     what_is_left(options.out_path, writer).c_str());
        return 1;
    }
    if (sink.frames() == 0) {
        writer.abandon();
        std::fprintf(stderr, "zorvalen-replay: the run ended at frame %lld, before --from; no file was written\n",
                     static_cast<long long>(outcome.frames));
        return 1;
    }
    if (!writer.finish()) {
        std::fprintf(stderr, "zorvalen-replay: cannot write %s: %s; %s\n", options.out_path.c_str(),
                     writer.error().c_str(), what_is_left(options.out_path, writer).c_str());
        return 1;
    }
    const double video_seconds = static_cast<double>(sink.frames()) / frame_rate;
    if (signal_number != 0) {
        std::fprintf(stderr, "zorvalen-replay: interrupted (%s); %s\n", strsignal(signal_number),
                     what_is_left(options.out_path, writer).c_str());
        return 128 + signal_number;
    }
    // Finished whole, an .mp4 drops its fragments for the plain layout every player takes; an
    // interrupted one kept them above, as they play whatever is cut.
    int64_t bytes = writer.bytes_written();
    if (format.container == Container::mp4) {
        std::string why;
        std::error_code ignored;
        if (move_index_to_front(options.out_path, why))
            bytes = static_cast<int64_t>(std::filesystem::file_size(options.out_path, ignored));
        else
            std::fprintf(stderr, "zorvalen-replay: kept %s fragmented, which some players refuse (%s)\n",
                         options.out_path.c_str(), why.c_str());
    }
    const double seconds = progress.elapsed_seconds();
    std::fprintf(stderr,
                 "zorvalen-replay: wrote %s: %s of video (%lld frames, %dx%d, %s), %.1f MB in %.1f s, %.1fx real "
                 "time, peak memory %lld MiB\n",
                 options.out_path.c_str(), clock_text(video_seconds).c_str(), static_cast<long long>(sink.frames()),
                 format.width, format.height, codec_text(format).c_str(),
                 static_cast<double>(bytes) / 1e6, seconds, seconds > 0 ? video_seconds / seconds : 0,
                 static_cast<long long>(peak_memory_mib()));
    return 0;
}

}  // namespace

bool parse_time(std::string_view text, int frame_rate_wanted, int64_t& frame) {
    int64_t minutes = 0;
    if (const std::size_t colon = text.find(':'); colon != std::string_view::npos) {
        const std::string_view head = text.substr(0, colon);
        auto [end, status] = std::from_chars(head.data(), head.data() + head.size(), minutes);
        if (head.empty() || status != std::errc() || end != head.data() + head.size() || minutes < 0) return false;
        text.remove_prefix(colon + 1);
        if (text.size() < 2 || text[0] < '0' || text[0] > '5' || text[1] < '0' || text[1] > '9') return false;
    }
    double seconds = 0;
    auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (text.empty() || text[0] == '-' || status != std::errc() || end != text.data() + text.size()) return false;
    frame = std::llround((static_cast<double>(minutes) * 60 + seconds) * frame_rate_wanted);
    return true;
}

bool wants_video(int argc, const char* const argv[]) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--") return false;
        if (argument == "--video" || argument.starts_with("--video=")) return true;
    }
    return false;
}

int run_video_command_line(int argc, const char* const argv[], const std::string& default_asset_dir,
                           const EncoderLookup& has_encoder) {
    VideoOptions options;
    std::string error;
    if (!parse_video_options(argc, argv, options, error)) {
        std::fprintf(stderr, "zorvalen-replay: %s (--video --help lists the options)\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(video_usage_text().c_str(), stdout);
        return 0;
    }
    if (options.asset_dir.empty()) options.asset_dir = default_asset_dir;
    VideoFormat format;
    EncoderNames names{};
    if (!video_format(options, format, error) || !encoders_for(format, names, error)) {
        std::fprintf(stderr, "zorvalen-replay: %s\n", error.c_str());
        return 2;
    }
    // Before anything is drawn: an export that cannot finish should not start.
    const std::string missing = missing_encoder(names, has_encoder);
    if (!missing.empty()) {
        std::fprintf(stderr, "zorvalen-replay: %s\n", missing.c_str());
        return 2;
    }
    Script script;
    if (!load_run_input(options.script_path, script, error)) {
        std::fprintf(stderr, "zorvalen-replay: %s\n", error.c_str());
        return 2;
    }
    Cut cut;
    const int64_t length = script.frame_count();
    cut.from = options.from;
    cut.to = options.to < 0 ? length : std::min(options.to, length);
    if (cut.from >= cut.to) {
        std::fprintf(stderr, "zorvalen-replay: --from %s is past the end of the run (%s)\n",
                     clock_text(static_cast<double>(cut.from) / frame_rate).c_str(),
                     clock_text(static_cast<double>(length) / frame_rate).c_str());
        return 2;
    }
    std::error_code failure;
    const std::string out_path = std::filesystem::absolute(options.out_path, failure).string();
    return export_video(options, script, cut, format, out_path);
}

}  // namespace replay
