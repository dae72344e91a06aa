#include "video_encoder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdarg>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "video_file.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/cpu.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace replay {

namespace {

std::string describe(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

bool ends_with(const std::string& text, const char* suffix) {
    const std::string tail(suffix);
    if (text.size() < tail.size()) return false;
    for (std::size_t i = 0; i < tail.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[text.size() - tail.size() + i]);
        if (std::tolower(c) != tail[i]) return false;
    }
    return true;
}

// What each encoder is, for the message when it is missing.
const char* encoder_purpose(const std::string& name) {
    if (name == "libx264" || name == "libx264rgb") return "H.264 video";
    if (name == "libvpx-vp9") return "VP9 video";
    if (name == "ffv1") return "FFV1 video";
    if (name == "aac") return "AAC sound";
    if (name == "libopus") return "Opus sound";
    if (name == "alac") return "ALAC sound";
    return "PCM sound";
}

// The pixel or sample format to ask of an encoder: the first of ours that it takes.
AVPixelFormat pick_pixel_format(const AVCodec* codec, std::initializer_list<AVPixelFormat> wanted) {
    for (AVPixelFormat format : wanted)
        for (const AVPixelFormat* offered = codec->pix_fmts; offered != nullptr && *offered != AV_PIX_FMT_NONE; ++offered)
            if (*offered == format) return format;
    return codec->pix_fmts != nullptr ? codec->pix_fmts[0] : AV_PIX_FMT_YUV420P;
}

AVSampleFormat pick_sample_format(const AVCodec* codec) {
    for (const AVSampleFormat* offered = codec->sample_fmts; offered != nullptr && *offered != AV_SAMPLE_FMT_NONE;
         ++offered)
        if (*offered == AV_SAMPLE_FMT_S16) return AV_SAMPLE_FMT_S16;
    return codec->sample_fmts != nullptr ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
}

bool encoder_is_vp9(const char* name) { return std::string(name) == "libvpx-vp9"; }

// The speed of libvpx, by its FFmpeg names: cpu-used, and speed, which passes more values on.
bool is_speed_setting(const std::string& key) { return key == "speed" || key == "cpu-used"; }

// Whether FFmpeg's option of that name takes the value (a value it refuses fails the open).
bool within_range(const AVCodec* codec, const std::pair<std::string, std::string>& setting) {
    const AVOption* option = av_opt_find(const_cast<AVClass**>(&codec->priv_class), setting.first.c_str(), nullptr, 0,
                                         AV_OPT_SEARCH_FAKE_OBJ);
    double value = 0;
    const auto [end, status] =
        std::from_chars(setting.second.data(), setting.second.data() + setting.second.size(), value);
    return option == nullptr || status != std::errc() || (value >= option->min && value <= option->max);
}

// FFmpeg's libvpx wrapper reports a speed that libvpx refused only in its log, and carries on at
// libvpx's default, the slowest: the log is watched while the encoder opens. Its lines are held
// until the open is tried again (they are dropped) or not (they are printed).
bool speed_refused = false;
std::string held_log;

void watch_log(void* context, int level, const char* format, va_list arguments) {
    if (level > av_log_get_level()) return;
    static int print_prefix = 1;
    char line[1024];
    av_log_format_line(context, level, format, arguments, line, sizeof line, &print_prefix);
    if (std::strstr(line, "VP8E_SET_CPUUSED") != nullptr) speed_refused = true;
    held_log += line;
}

struct EncodedStream {
    AVCodecContext* codec = nullptr;
    AVStream* stream = nullptr;
    int64_t next_pts = 0;      // in the codec's time base
    double submitted_end = 0;  // seconds: where the last packet given to the muxer ends
};

int write_to_file(void* opaque, uint8_t* data, int size) { return static_cast<FragmentFile*>(opaque)->write(data, size); }
int64_t seek_in_file(void* opaque, int64_t offset, int whence) {
    return static_cast<FragmentFile*>(opaque)->seek(offset, whence);
}

}  // namespace

bool container_for(const std::string& path, Container& container) {
    if (ends_with(path, ".mp4")) {
        container = Container::mp4;
    } else if (ends_with(path, ".webm")) {
        container = Container::webm;
    } else if (ends_with(path, ".mkv")) {
        container = Container::mkv;
    } else {
        return false;
    }
    return true;
}

bool encoders_for(const VideoFormat& format, EncoderNames& names, std::string& error) {
    if (format.container == Container::webm && format.codecs == Codecs::h264) {
        error = ".webm holds VP9 and Opus only";
        return false;
    }
    if (format.container == Container::mp4 && format.codecs == Codecs::vp9) {
        error = ".mp4 is written with H.264 and AAC; VP9 goes in .webm or .mkv";
        return false;
    }
    if (format.lossless) {
        if (format.container == Container::webm) {
            error = "--lossless needs .mkv or .mp4 (WebM has no lossless sound)";
            return false;
        }
        names = format.container == Container::mkv ? EncoderNames{"ffv1", "pcm_s16le"} : EncoderNames{"libx264rgb", "alac"};
        return true;
    }
    names = format.codecs == Codecs::vp9 ? EncoderNames{"libvpx-vp9", "libopus"} : EncoderNames{"libx264", "aac"};
    return true;
}

std::vector<std::pair<std::string, std::string>> video_encoder_settings(const VideoFormat& format) {
    std::vector<std::pair<std::string, std::string>> settings;
    EncoderNames names{};
    std::string ignored;
    if (!encoders_for(format, names, ignored)) return settings;
    const std::string encoder = names.video;
    if (encoder == "libx264rgb") {
        settings = {{"preset", "ultrafast"}, {"qp", "0"}};
    } else if (encoder == "libx264" && format.exact) {
        // At CRF 14 every picture stays above 40 dB of the compositor's; the fastest preset keeps
        // the export well ahead of real time on two busy cores.
        settings = {{"preset", "ultrafast"}, {"crf", "14"}};
    } else if (encoder == "libx264") {
        settings = {{"preset", "veryfast"}, {"crf", "24"}, {"profile", "high"}};
    } else if (encoder == "libvpx-vp9") {
        // Real-time mode at its fastest speed, rows and two tile columns on both cores, and no
        // frames held back for look-ahead. Speed 9 costs a tenth less than 8 for 0.1 dB; FFmpeg
        // passes it on only under its older name, speed (cpu-used stops at 8). A libvpx without
        // it gets the next speed it takes (open_video).
        settings = {{"deadline", "realtime"}, {"speed", "9"}, {"row-mt", "1"}, {"tile-columns", "1"},
                    {"lag-in-frames", "0"}, {"crf", format.exact ? "30" : "48"}};
    } else if (encoder == "ffv1") {
        // Slices coded apart, each with its checksum, a thread a core: FFmpeg's own count, a core
        // more, shares four slices out unevenly (2.5 x real time at best on two cores, against 2.3).
        settings = {{"level", "3"}, {"slicecrc", "1"}, {"slices", "4"},
                    {"threads", std::to_string(std::max(1, av_cpu_count()))}};
    }
    for (const auto& option : format.encoder_options) settings.push_back(option);
    return settings;
}

bool ffmpeg_has_encoder(const char* name) { return avcodec_find_encoder_by_name(name) != nullptr; }

std::string missing_encoder(const EncoderNames& names, const EncoderLookup& has_encoder) {
    for (const char* name : {names.video, names.audio}) {
        if (has_encoder(name)) continue;
        return std::string("this FFmpeg has no ") + name + " encoder (" + encoder_purpose(name) +
               "); Debian's libavcodec" + std::to_string(LIBAVCODEC_VERSION_MAJOR) +
               " brings it (apt-get install libavcodec" + std::to_string(LIBAVCODEC_VERSION_MAJOR) + ")";
    }
    return {};
}

namespace {

// The copy's two files, closed however the copy ends.
struct Remux {
    AVFormatContext* in = nullptr;
    AVFormatContext* out = nullptr;
    AVPacket* packet = nullptr;
    std::vector<AVPacket*> held;  // a packet a stream, until the next gives its duration
    std::string temporary;
    bool renamed = false;

    ~Remux() {
        av_packet_free(&packet);
        for (AVPacket*& waiting : held) av_packet_free(&waiting);
        avformat_close_input(&in);
        if (out != nullptr) avio_closep(&out->pb);
        avformat_free_context(out);
        if (!temporary.empty() && !renamed) ::unlink(temporary.c_str());
    }
};

}  // namespace

bool move_index_to_front(const std::string& path, std::string& error) {
    Remux r;
    const auto fail = [&](const std::string& what, int code) {
        error = what + (code < 0 ? ": " + describe(code) : std::string());
        return false;
    };
    // A name of our own beside the file, so that the rename stays on one file system; it gets the
    // file's permissions, as the file it replaces had them.
    const std::filesystem::path target(path);
    std::filesystem::path directory = target.parent_path();
    if (directory.empty()) directory = ".";
    // Built by appending: GCC 12 at -O3 takes "." + name for an overlapping copy (-Wrestrict).
    std::string hidden = ".";
    hidden += target.filename().string();
    hidden += ".XXXXXX";
    std::string pattern = (directory / hidden).string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) return fail(std::string("cannot make a file beside it: ") + std::strerror(errno), 0);
    r.temporary = pattern;
    struct stat original {};
    if (::stat(path.c_str(), &original) == 0) ::fchmod(fd, original.st_mode & 07777);
    ::close(fd);

    int code = avformat_open_input(&r.in, path.c_str(), nullptr, nullptr);
    if (code < 0) return fail("cannot read it back", code);
    code = avformat_alloc_output_context2(&r.out, nullptr, "mp4", r.temporary.c_str());
    if (code < 0 || r.out == nullptr) return fail("cannot start the copy", code);
    for (unsigned i = 0; i < r.in->nb_streams; ++i) {
        const AVStream* from = r.in->streams[i];
        AVStream* to = avformat_new_stream(r.out, nullptr);
        if (to == nullptr || avcodec_parameters_copy(to->codecpar, from->codecpar) < 0)
            return fail("out of memory for the copy", 0);
        to->codecpar->codec_tag = 0;
        to->time_base = from->time_base;
    }
    code = avio_open(&r.out->pb, r.temporary.c_str(), AVIO_FLAG_WRITE);
    if (code < 0) return fail("cannot write beside it", code);
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "+faststart", 0);
    code = avformat_write_header(r.out, &options);
    av_dict_free(&options);
    if (code < 0) return fail("cannot start the copy", code);
    r.packet = av_packet_alloc();
    if (r.packet == nullptr) return fail("out of memory for the copy", 0);
    // The fragments' packets come without durations, and the muxer, left to guess the last one's,
    // ends its edit list before that packet's sound. So each stream's packet waits for the next,
    // which says how long it lasts; the last lasts as long as the one before, or for the sound,
    // to where it ended (its last frame is cut short there).
    r.held.resize(r.in->nb_streams);
    for (AVPacket*& held : r.held)
        if ((held = av_packet_alloc()) == nullptr) return fail("out of memory for the copy", 0);
    std::vector<int64_t> last_duration(r.in->nb_streams, 0);
    const auto pass_on = [&](int index, int64_t duration) {
        AVPacket* held = r.held[index];
        held->duration = duration;
        last_duration[index] = duration;
        av_packet_rescale_ts(held, r.in->streams[index]->time_base, r.out->streams[index]->time_base);
        held->pos = -1;
        return av_interleaved_write_frame(r.out, held);
    };
    while ((code = av_read_frame(r.in, r.packet)) >= 0) {
        const int index = r.packet->stream_index;
        AVPacket* held = r.held[index];
        if (held->data != nullptr && (code = pass_on(index, r.packet->dts - held->dts)) < 0)
            return fail("cannot write the copy", code);
        av_packet_move_ref(held, r.packet);
    }
    if (code != AVERROR_EOF) return fail("cannot read it back", code);
    for (unsigned index = 0; index < r.in->nb_streams; ++index) {
        AVPacket* held = r.held[index];
        if (held->data == nullptr) continue;
        const AVStream* from = r.in->streams[index];
        int64_t duration = last_duration[index];
        if (from->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && from->start_time != AV_NOPTS_VALUE &&
            from->duration > 0 && from->start_time + from->duration > held->pts)
            duration = from->start_time + from->duration - held->pts;
        if ((code = pass_on(static_cast<int>(index), duration)) < 0) return fail("cannot write the copy", code);
    }
    // The index goes ahead of the media here, the whole file moved once.
    code = av_write_trailer(r.out);
    if (code < 0) return fail("cannot end the copy", code);
    code = avio_closep(&r.out->pb);
    if (code < 0) return fail("cannot write the copy", code);
    // On the disk before it replaces the fragmented file, so a power cut cannot leave neither.
    const int written = ::open(r.temporary.c_str(), O_RDONLY | O_CLOEXEC);
    const bool synced = written >= 0 && ::fsync(written) == 0;
    if (written >= 0) ::close(written);
    if (!synced) return fail(std::string("cannot put the copy on the disk: ") + std::strerror(errno), 0);
    if (::rename(r.temporary.c_str(), path.c_str()) != 0)
        return fail(std::string("cannot put the copy in its place: ") + std::strerror(errno), 0);
    r.renamed = true;
    return true;
}

struct VideoWriter::State {
    VideoFormat format;
    FragmentFile file;
    AVFormatContext* muxer = nullptr;
    AVIOContext* io = nullptr;
    EncodedStream video;
    EncodedStream audio;
    SwsContext* convert = nullptr;
    AVFrame* source = nullptr;   // the caller's pixels, borrowed for each conversion
    AVFrame* picture = nullptr;  // in the video encoder's pixel format
    SwrContext* resample = nullptr;
    AVAudioFifo* fifo = nullptr;
    AVFrame* sound = nullptr;  // one audio encoder frame
    int sound_frame_size = 0;
    std::vector<uint8_t*> converted;  // one plane pointer each, into converted_samples
    std::vector<uint8_t> converted_samples;
    int converted_capacity = 0;  // samples per channel
    AVPacket* packet = nullptr;
    int64_t pictures = 0;
    double committed_seconds = 0;
    int64_t final_bytes = 0;
    bool finished = false;
    std::string error;
    std::string note;  // a setting changed because the encoder refused it

    ~State() {
        av_packet_free(&packet);
        av_frame_free(&sound);
        av_frame_free(&picture);
        av_frame_free(&source);
        if (fifo != nullptr) av_audio_fifo_free(fifo);
        swr_free(&resample);
        sws_freeContext(convert);
        avcodec_free_context(&video.codec);
        avcodec_free_context(&audio.codec);
        if (io != nullptr) av_freep(&io->buffer);
        avio_context_free(&io);
        avformat_free_context(muxer);
    }

    bool fail(const std::string& what) {
        if (error.empty()) error = what;
        return false;
    }

    void configure_video(AVCodecContext* c, const AVCodec* codec) const;
    bool open_video(const char* name);
    bool open_audio(const char* name);
    bool drain(EncodedStream& stream);
    bool send(EncodedStream& stream, AVFrame* frame);
    bool send_sound(bool last);
    bool commit_fragment();
};

// The encoder's context as the format wants it, before its options are set.
void VideoWriter::State::configure_video(AVCodecContext* c, const AVCodec* codec) const {
    c->width = format.width;
    c->height = format.height;
    c->time_base = AVRational{1, format.frame_rate};
    c->framerate = AVRational{format.frame_rate, 1};
    c->sample_aspect_ratio = AVRational{1, 1};
    // A keyframe a second: a fragment a second can then start with one.
    c->gop_size = format.frame_rate;
    c->thread_count = 0;
    const bool rgb = format.lossless;
    // Halving the colour's resolution smears the game's one-pixel coloured edges, which --exact
    // keeps; doubled pixels lose nothing to it. 4:2:0 is what every phone and player decodes.
    const bool doubled = format.width >= 1600;
    c->pix_fmt = rgb ? pick_pixel_format(codec, {AV_PIX_FMT_0RGB32, AV_PIX_FMT_BGR0, AV_PIX_FMT_RGB32})
                     : (format.exact && !doubled ? AV_PIX_FMT_YUV444P : AV_PIX_FMT_YUV420P);
    if (!rgb) {
        // BT.601 at video range, said in the stream so that players convert it back as we made it.
        c->colorspace = AVCOL_SPC_SMPTE170M;
        c->color_primaries = AVCOL_PRI_SMPTE170M;
        c->color_trc = AVCOL_TRC_SMPTE170M;
        c->color_range = AVCOL_RANGE_MPEG;
    }
    if (muxer->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (std::string(codec->name) == "ffv1") c->gop_size = 1;
    if (encoder_is_vp9(codec->name)) c->bit_rate = 0;  // quality (crf) alone decides the size
}

bool VideoWriter::State::open_video(const char* name) {
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    if (codec == nullptr) return fail(std::string("no ") + name + " encoder");
    std::vector<std::pair<std::string, std::string>> settings = video_encoder_settings(format);
    // An encoder that refuses its speed (an older libvpx without real-time speed 9) is opened
    // again a step slower, until one it takes; the first refusal is kept to report.
    std::string first_refused;
    for (;;) {
        avcodec_free_context(&video.codec);
        video.codec = avcodec_alloc_context3(codec);
        configure_video(video.codec, codec);
        AVDictionary* options = nullptr;
        for (const auto& [key, value] : settings) av_dict_set(&options, key.c_str(), value.c_str(), 0);
        speed_refused = false;
        held_log.clear();
        av_log_set_callback(watch_log);
        const int opened = avcodec_open2(video.codec, codec, &options);
        av_log_set_callback(av_log_default_callback);
        // What the encoder did not take is a name it does not know: said, not silently dropped.
        const AVDictionaryEntry* unknown = av_dict_get(options, "", nullptr, AV_DICT_IGNORE_SUFFIX);
        const std::string unknown_name = unknown != nullptr ? unknown->key : "";
        av_dict_free(&options);
        const auto speed = std::find_if(settings.rbegin(), settings.rend(),
                                        [](const auto& setting) { return is_speed_setting(setting.first); });
        const bool refused =
            speed != settings.rend() && (speed_refused || (opened < 0 && !within_range(codec, *speed)));
        int value = 0;
        if (refused && std::from_chars(speed->second.data(), speed->second.data() + speed->second.size(), value).ec ==
                           std::errc() && value > 0) {
            if (first_refused.empty()) first_refused = speed->first + "=" + speed->second;
            speed->second = std::to_string(value - 1);
            continue;
        }
        // An FFmpeg that has dropped the older name gets the newer one, and its range.
        if (encoder_is_vp9(name) && unknown_name == "speed" && speed != settings.rend() && speed->first == "speed") {
            if (first_refused.empty()) first_refused = "speed=" + speed->second;
            speed->first = "cpu-used";
            continue;
        }
        std::fputs(held_log.c_str(), stderr);
        held_log.clear();
        if (opened < 0) return fail(std::string("cannot open the ") + name + " encoder: " + describe(opened));
        if (!unknown_name.empty())
            return fail(std::string("the ") + name + " encoder has no option '" + unknown_name + "'");
        if (speed_refused) return fail(std::string("the ") + name + " encoder refused every speed setting");
        if (!first_refused.empty())
            note = std::string("the ") + name + " encoder takes no " + first_refused + "; using " + speed->first + "=" +
                   speed->second;
        break;
    }
    AVCodecContext* c = video.codec;

    video.stream = avformat_new_stream(muxer, nullptr);
    video.stream->time_base = c->time_base;
    video.stream->avg_frame_rate = c->framerate;
    video.stream->sample_aspect_ratio = c->sample_aspect_ratio;
    avcodec_parameters_from_context(video.stream->codecpar, c);

    picture = av_frame_alloc();
    picture->format = c->pix_fmt;
    picture->width = c->width;
    picture->height = c->height;
    if (av_frame_get_buffer(picture, 0) < 0) return fail("out of memory for a picture");
    // The conversion costs as much as drawing the frame, so it runs on both cores, in slices.
    convert = sws_alloc_context();
    av_opt_set_int(convert, "srcw", c->width, 0);
    av_opt_set_int(convert, "srch", c->height, 0);
    av_opt_set_pixel_fmt(convert, "src_format", AV_PIX_FMT_RGB32, 0);
    av_opt_set_int(convert, "dstw", c->width, 0);
    av_opt_set_int(convert, "dsth", c->height, 0);
    av_opt_set_pixel_fmt(convert, "dst_format", c->pix_fmt, 0);
    av_opt_set_int(convert, "sws_flags", SWS_BICUBIC, 0);
    av_opt_set_int(convert, "threads", 0, 0);
    if (sws_init_context(convert, nullptr, nullptr) < 0) return fail("no conversion to the encoder's pixel format");
    source = av_frame_alloc();
    source->format = AV_PIX_FMT_RGB32;
    source->width = c->width;
    source->height = c->height;
    return true;
}

bool VideoWriter::State::open_audio(const char* name) {
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    if (codec == nullptr) return fail(std::string("no ") + name + " encoder");
    audio.codec = avcodec_alloc_context3(codec);
    AVCodecContext* c = audio.codec;
    // Opus is made at 48 kHz only; everything else keeps the mixer's own rate.
    c->sample_rate = std::string(name) == "libopus" ? 48000 : static_cast<int>(format.sample_rate);
    c->sample_fmt = pick_sample_format(codec);
    av_channel_layout_default(&c->ch_layout, format.channels);
    c->time_base = AVRational{1, c->sample_rate};
    if (std::string(name) == "aac") c->bit_rate = 192000;
    if (std::string(name) == "libopus") c->bit_rate = 128000;
    if (muxer->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* options = nullptr;
    // The default coder's search costs a fifth of the whole export; the fast one sounds the same here.
    if (std::string(name) == "aac") av_dict_set(&options, "aac_coder", "fast", 0);
    const int opened = avcodec_open2(c, codec, &options);
    av_dict_free(&options);
    if (opened < 0) return fail(std::string("cannot open the ") + name + " encoder: " + describe(opened));

    audio.stream = avformat_new_stream(muxer, nullptr);
    audio.stream->time_base = c->time_base;
    avcodec_parameters_from_context(audio.stream->codecpar, c);

    AVChannelLayout layout{};
    av_channel_layout_default(&layout, format.channels);
    if (swr_alloc_set_opts2(&resample, &c->ch_layout, c->sample_fmt, c->sample_rate, &layout, AV_SAMPLE_FMT_S16,
                            static_cast<int>(format.sample_rate), 0, nullptr) < 0 ||
        swr_init(resample) < 0)
        return fail("no conversion to the sound encoder's format");
    av_channel_layout_uninit(&layout);

    // Encoders that take any count get a picture's worth at a time.
    sound_frame_size = c->frame_size > 0 ? c->frame_size : c->sample_rate / format.frame_rate;
    fifo = av_audio_fifo_alloc(c->sample_fmt, c->ch_layout.nb_channels, sound_frame_size * 4);
    sound = av_frame_alloc();
    sound->format = c->sample_fmt;
    sound->sample_rate = c->sample_rate;
    sound->nb_samples = sound_frame_size;
    av_channel_layout_copy(&sound->ch_layout, &c->ch_layout);
    if (fifo == nullptr || av_frame_get_buffer(sound, 0) < 0) return fail("out of memory for the sound");
    // The Opus encoder dates its packets back by its priming, and Matroska takes the same priming
    // off again as the track's codec delay: counted twice, the sound would lead the pictures by
    // 6.5 ms. Starting the count at the priming leaves it counted once.
    if (std::string(name) == "libopus" && format.container != Container::mp4) audio.next_pts = c->initial_padding;
    return true;
}

bool VideoWriter::State::drain(EncodedStream& stream) {
    for (;;) {
        const int received = avcodec_receive_packet(stream.codec, packet);
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) return true;
        if (received < 0) return fail("the encoder failed: " + describe(received));
        av_packet_rescale_ts(packet, stream.codec->time_base, stream.stream->time_base);
        packet->stream_index = stream.stream->index;
        const double end = static_cast<double>(packet->pts + packet->duration) * av_q2d(stream.stream->time_base);
        stream.submitted_end = std::max(stream.submitted_end, end);
        const int written = av_interleaved_write_frame(muxer, packet);
        if (written < 0) return fail("cannot write the file: " + describe(written));
    }
}

bool VideoWriter::State::send(EncodedStream& stream, AVFrame* frame) {
    const int sent = avcodec_send_frame(stream.codec, frame);
    if (sent < 0) return fail("the encoder refused a frame: " + describe(sent));
    return drain(stream);
}

// Whole encoder frames out of the queue; at the end, the rest too, padded where it must be.
bool VideoWriter::State::send_sound(bool last) {
    while (av_audio_fifo_size(fifo) >= sound_frame_size || (last && av_audio_fifo_size(fifo) > 0)) {
        if (av_frame_make_writable(sound) < 0) return fail("out of memory for the sound");
        const int count = std::min(av_audio_fifo_size(fifo), sound_frame_size);
        av_audio_fifo_read(fifo, reinterpret_cast<void**>(sound->data), count);
        const bool short_allowed = (audio.codec->codec->capabilities &
                                    (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE)) != 0;
        sound->nb_samples = count;
        if (count < sound_frame_size && !short_allowed) {
            av_samples_set_silence(sound->data, count, sound_frame_size - count, sound->ch_layout.nb_channels,
                                   static_cast<AVSampleFormat>(sound->format));
            sound->nb_samples = sound_frame_size;
        }
        sound->pts = audio.next_pts;
        audio.next_pts += sound->nb_samples;
        if (!send(audio, sound)) return false;
    }
    return true;
}

// Everything given so far becomes a fragment on disk.
bool VideoWriter::State::commit_fragment() {
    int flushed = av_interleaved_write_frame(muxer, nullptr);
    if (flushed >= 0) flushed = av_write_frame(muxer, nullptr);
    if (flushed < 0) return fail("cannot write the file: " + describe(flushed));
    avio_flush(io);
    std::string why;
    if (!file.commit(why)) return fail(why);
    committed_seconds = std::min(video.submitted_end, audio.submitted_end);
    return true;
}

VideoWriter::VideoWriter() : state_(std::make_unique<State>()) {}
VideoWriter::~VideoWriter() { abandon(); }

bool VideoWriter::open(const std::string& path, const VideoFormat& format, std::string& error) {
    state_ = std::make_unique<State>();
    State& s = *state_;
    // Our own messages say what went wrong; FFmpeg's notes on every encoder would drown them.
    av_log_set_level(AV_LOG_ERROR);
    s.format = format;
    EncoderNames names{};
    if (!encoders_for(format, names, error)) return false;
    const char* muxer_name = format.container == Container::mp4 ? "mp4" : format.container == Container::webm ? "webm"
                                                                                                            : "matroska";
    if (avformat_alloc_output_context2(&s.muxer, nullptr, muxer_name, nullptr) < 0 || s.muxer == nullptr) {
        error = std::string("this FFmpeg cannot write ") + muxer_name + " files";
        return false;
    }
    if (!s.file.create(path, error)) return false;
    constexpr int io_buffer_size = 1 << 16;
    auto* buffer = static_cast<unsigned char*>(av_malloc(io_buffer_size));
    s.io = avio_alloc_context(buffer, io_buffer_size, 1, &s.file, nullptr, write_to_file, seek_in_file);
    s.muxer->pb = s.io;
    s.muxer->flags |= AVFMT_FLAG_CUSTOM_IO;
    s.packet = av_packet_alloc();
    if (!s.open_video(names.video) || !s.open_audio(names.audio)) {
        error = s.error;
        return false;
    }
    AVDictionary* options = nullptr;
    // Fragments cut where we say, a second each. The header waits for the first fragment, so its
    // edit list can hide AAC's 1024 samples of priming: otherwise every stream would be moved
    // 23 ms late and the first picture held that much longer.
    if (format.container == Container::mp4) av_dict_set(&options, "movflags", "frag_custom+empty_moov+delay_moov+default_base_moof", 0);

    const int header = avformat_write_header(s.muxer, &options);
    av_dict_free(&options);
    if (header < 0) {
        error = "cannot start the file: " + describe(header);
        return false;
    }
    return true;
}

bool VideoWriter::add_picture(const std::uint32_t* pixels, int pitch) {
    State& s = *state_;
    if (s.finished || !s.error.empty()) return false;
    // The second just ended, with all its sound given, goes to disk before the next one starts.
    if (s.pictures > 0 && s.pictures % s.format.frame_rate == 0 && !s.commit_fragment()) return false;
    if (av_frame_make_writable(s.picture) < 0) return s.fail("out of memory for a picture");
    s.source->data[0] = reinterpret_cast<uint8_t*>(const_cast<std::uint32_t*>(pixels));
    s.source->linesize[0] = pitch * 4;
    const int converted = sws_scale_frame(s.convert, s.picture, s.source);
    s.source->data[0] = nullptr;
    if (converted < 0) return s.fail("cannot convert a picture: " + describe(converted));
    s.picture->pts = s.pictures++;
    return s.send(s.video, s.picture);
}

bool VideoWriter::add_samples(const int16_t* samples, std::size_t frames) {
    State& s = *state_;
    if (s.finished || !s.error.empty()) return false;
    const int in_count = static_cast<int>(frames);
    const int out_count = swr_get_out_samples(s.resample, in_count);
    if (out_count > s.converted_capacity) {
        const int channels = s.audio.codec->ch_layout.nb_channels;
        const int bytes = av_samples_get_buffer_size(nullptr, channels, out_count, s.audio.codec->sample_fmt, 1);
        s.converted_samples.assign(static_cast<std::size_t>(bytes), 0);
        s.converted.assign(static_cast<std::size_t>(channels), nullptr);
        av_samples_fill_arrays(s.converted.data(), nullptr, s.converted_samples.data(), channels, out_count,
                               s.audio.codec->sample_fmt, 1);
        s.converted_capacity = out_count;
    }
    const uint8_t* input[1] = {reinterpret_cast<const uint8_t*>(samples)};
    const int got = swr_convert(s.resample, s.converted.data(), s.converted_capacity, input, in_count);
    if (got < 0) return s.fail("cannot convert the sound: " + describe(got));
    if (av_audio_fifo_write(s.fifo, reinterpret_cast<void**>(s.converted.data()), got) < got)
        return s.fail("out of memory for the sound");
    return s.send_sound(false);
}

bool VideoWriter::finish() {
    State& s = *state_;
    if (s.finished || !s.error.empty() || s.muxer == nullptr) return false;
    // What the resampler still holds, then the last short frame, then both encoders' delays.
    if (s.converted_capacity > 0) {
        const int got = swr_convert(s.resample, s.converted.data(), s.converted_capacity, nullptr, 0);
        if (got > 0) av_audio_fifo_write(s.fifo, reinterpret_cast<void**>(s.converted.data()), got);
    }
    if (!s.send_sound(true) || !s.send(s.video, nullptr) || !s.send(s.audio, nullptr)) return false;
    const int trailer = av_write_trailer(s.muxer);
    if (trailer < 0) return s.fail("cannot end the file: " + describe(trailer));
    avio_flush(s.io);
    std::string why;
    if (!s.file.commit(why)) return s.fail(why);
    s.committed_seconds = std::min(s.video.submitted_end, s.audio.submitted_end);
    s.final_bytes = s.file.committed_bytes();
    s.file.close();
    s.finished = true;
    return true;
}

void VideoWriter::abandon() {
    if (state_ != nullptr && !state_->finished) state_->file.close();
}

double VideoWriter::seconds_written() const { return state_->committed_seconds; }
bool VideoWriter::file_named() const { return state_->file.named() || state_->finished; }
int64_t VideoWriter::bytes_written() const {
    return state_->finished ? state_->final_bytes : state_->file.committed_bytes();
}
const std::string& VideoWriter::error() const { return state_->error; }
const std::string& VideoWriter::note() const { return state_->note; }

}  // namespace replay
