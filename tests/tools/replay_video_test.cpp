// zorvalen-replay --video end to end: files decoded with FFmpeg's own demuxers and decoders and held
// against the runner's --shot pictures and the mixer's offline render.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <headless.h>

#include "dsound_offline.h"
#include "png_write.h"
#include "runner.h"
#include "video_export.h"
#include "world/world.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace {

namespace fs = std::filesystem;

const std::string script_dir = fs::path(ZORVALEN_TEST_DATA_DIR).parent_path().string() + "/scripts/";
const std::string playthrough = script_dir + "playthrough.txt";

// What a file holds, as a player decodes it: the pictures asked for (ARGB) and all the sound as
// interleaved 16-bit stereo at 44.1 kHz.
struct Decoded {
    bool ok = false;
    int width = 0;
    int height = 0;
    AVRational frame_rate{0, 1};
    int frames = 0;
    std::vector<replay::Picture> pictures;  // for `keep`, in order
    std::vector<int16_t> samples;
};

bool decode_stream(AVFormatContext* file, int index, AVCodecContext*& codec) {
    const AVCodec* decoder = avcodec_find_decoder(file->streams[index]->codecpar->codec_id);
    codec = avcodec_alloc_context3(decoder);
    return decoder != nullptr && avcodec_parameters_to_context(codec, file->streams[index]->codecpar) >= 0 &&
           avcodec_open2(codec, decoder, nullptr) >= 0;
}

Decoded decode(const std::string& path, const std::vector<int>& keep) {
    Decoded out;
    AVFormatContext* file = nullptr;
    if (avformat_open_input(&file, path.c_str(), nullptr, nullptr) < 0) return out;
    avformat_find_stream_info(file, nullptr);
    const int video = av_find_best_stream(file, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const int audio = av_find_best_stream(file, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    AVCodecContext* pictures = nullptr;
    AVCodecContext* sound = nullptr;
    SwsContext* to_argb = nullptr;
    SwrContext* to_s16 = nullptr;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    bool ok = video >= 0 && audio >= 0 && decode_stream(file, video, pictures) && decode_stream(file, audio, sound);
    if (ok) out.frame_rate = file->streams[video]->avg_frame_rate;
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    // Each decoded frame of either stream, converted as a player would show or play it.
    auto take = [&](AVCodecContext* codec) {
        while (ok && avcodec_receive_frame(codec, frame) >= 0) {
            if (codec == pictures) {
                out.width = frame->width;
                out.height = frame->height;
                if (std::find(keep.begin(), keep.end(), out.frames) != keep.end()) {
                    replay::Picture picture;
                    picture.width = frame->width;
                    picture.height = frame->height;
                    picture.pixels.resize(static_cast<std::size_t>(frame->width) * frame->height);
                    to_argb = sws_getCachedContext(to_argb, frame->width, frame->height,
                                                   static_cast<AVPixelFormat>(frame->format), frame->width,
                                                   frame->height, AV_PIX_FMT_RGB32, SWS_BICUBIC | SWS_ACCURATE_RND,
                                                   nullptr, nullptr, nullptr);
                    uint8_t* planes[1] = {reinterpret_cast<uint8_t*>(picture.pixels.data())};
                    const int strides[1] = {frame->width * 4};
                    sws_scale(to_argb, frame->data, frame->linesize, 0, frame->height, planes, strides);
                    out.pictures.push_back(std::move(picture));
                }
                ++out.frames;
            } else {
                if (to_s16 == nullptr) {
                    swr_alloc_set_opts2(&to_s16, &stereo, AV_SAMPLE_FMT_S16, 44100, &frame->ch_layout,
                                        static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
                    ok = swr_init(to_s16) >= 0;
                }
                const int room = swr_get_out_samples(to_s16, frame->nb_samples);
                const std::size_t at = out.samples.size();
                out.samples.resize(at + static_cast<std::size_t>(room) * 2);
                uint8_t* target[1] = {reinterpret_cast<uint8_t*>(out.samples.data() + at)};
                const int got = swr_convert(to_s16, target, room, const_cast<const uint8_t**>(frame->extended_data),
                                            frame->nb_samples);
                out.samples.resize(at + static_cast<std::size_t>(std::max(got, 0)) * 2);
            }
        }
    };
    while (ok && av_read_frame(file, packet) >= 0) {
        AVCodecContext* codec = packet->stream_index == video ? pictures : packet->stream_index == audio ? sound : nullptr;
        if (codec != nullptr) {
            ok = avcodec_send_packet(codec, packet) >= 0;
            take(codec);
        }
        av_packet_unref(packet);
    }
    for (AVCodecContext* codec : {pictures, sound}) {
        if (!ok) break;
        avcodec_send_packet(codec, nullptr);
        take(codec);
    }
    out.ok = ok;
    av_frame_free(&frame);
    av_packet_free(&packet);
    sws_freeContext(to_argb);
    swr_free(&to_s16);
    avcodec_free_context(&pictures);
    avcodec_free_context(&sound);
    avformat_close_input(&file);
    return out;
}

// The video stream's pixel format and profile, as ffprobe reports them.
struct Probed {
    AVPixelFormat pixel_format = AV_PIX_FMT_NONE;
    int profile = FF_PROFILE_UNKNOWN;
};

Probed probe(const std::string& path) {
    Probed out;
    AVFormatContext* file = nullptr;
    if (avformat_open_input(&file, path.c_str(), nullptr, nullptr) < 0) return out;
    avformat_find_stream_info(file, nullptr);
    const int video = av_find_best_stream(file, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (video >= 0) {
        out.pixel_format = static_cast<AVPixelFormat>(file->streams[video]->codecpar->format);
        out.profile = file->streams[video]->codecpar->profile;
    }
    avformat_close_input(&file);
    return out;
}

// The names of an MP4's top-level boxes, in file order.
std::vector<std::string> top_level_boxes(const std::string& path) {
    std::vector<std::string> boxes;
    std::ifstream in(path, std::ios::binary);
    for (unsigned char head[16]; in.read(reinterpret_cast<char*>(head), 8);) {
        uint64_t size = (uint64_t{head[0]} << 24) | (uint64_t{head[1]} << 16) | (uint64_t{head[2]} << 8) | head[3];
        boxes.emplace_back(reinterpret_cast<const char*>(head + 4), 4);
        std::streamoff header = 8;
        if (size == 1) {
            if (!in.read(reinterpret_cast<char*>(head + 8), 8)) break;
            size = 0;
            for (int i = 8; i < 16; ++i) size = (size << 8) | head[i];
            header = 16;
        }
        if (size < static_cast<uint64_t>(header)) break;
        in.seekg(static_cast<std::streamoff>(size) - header, std::ios::cur);
    }
    return boxes;
}

double psnr(const replay::Picture& a, const replay::Picture& b) {
    double squares = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i) {
        for (int shift : {0, 8, 16}) {
            const double d = static_cast<double>((a.pixels[i] >> shift) & 0xFF) - ((b.pixels[i] >> shift) & 0xFF);
            squares += d * d;
        }
    }
    const double mean = squares / (3.0 * static_cast<double>(a.pixels.size()));
    return mean == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mean);
}

// Pixels equal in colour; the back buffer's alpha means nothing on screen.
int differing_pixels(const replay::Picture& a, const replay::Picture& b) {
    int count = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i) count += ((a.pixels[i] ^ b.pixels[i]) & 0xFFFFFF) != 0;
    return count;
}

class ReplayVideo : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* encoder : {"libx264", "aac", "ffv1", "pcm_s16le"})
            if (!replay::ffmpeg_has_encoder(encoder)) GTEST_SKIP() << "this FFmpeg has no " << encoder << " encoder";
        started_in_ = fs::current_path();
        work_ = fs::path(::testing::TempDir()) / ("replay_video_" + std::to_string(::getpid()));
        fs::create_directories(work_);
        fs::current_path(work_);
    }
    void TearDown() override {
        std::error_code ignored;
        if (!started_in_.empty()) fs::current_path(started_in_, ignored);
        if (!work_.empty()) fs::remove_all(work_, ignored);
    }

    static int run(std::vector<std::string> args, const replay::EncoderLookup& lookup = replay::ffmpeg_has_encoder) {
        args.insert(args.begin(), "zorvalen-replay");
        std::vector<const char*> argv;
        for (const std::string& a : args) argv.push_back(a.c_str());
        if (replay::wants_video(static_cast<int>(argv.size()), argv.data()))
            return replay::run_video_command_line(static_cast<int>(argv.size()), argv.data(), ZORVALEN_ASSET_DIR,
                                                  lookup);
        return replay::run_command_line(static_cast<int>(argv.size()), argv.data(), ZORVALEN_ASSET_DIR);
    }

    replay::Picture shot(const std::string& name) const {
        replay::Picture picture;
        EXPECT_TRUE(replay::read_png((work_ / name).string(), picture)) << name;
        return picture;
    }

    // The mixer's output for frames [from, to) of a script, rendered offline a frame at a time.
    static std::vector<int16_t> mixed_sound(const std::string& script_path, int64_t from, int64_t to) {
        replay::Script script;
        std::string error;
        EXPECT_TRUE(replay::load_script_file(script_path, script, error)) << error;
        std::vector<int16_t> samples;
        std::vector<int16_t> block(735 * 2);
        replay::RunSettings settings;
        settings.frame_limit = to;
        settings.after_frame = [&](const replay::FrameReport& report) {
            std::fill(block.begin(), block.end(), int16_t{0});
            audio::render(world.sound_device, block.data(), 735);
            if (report.frame >= from) samples.insert(samples.end(), block.begin(), block.end());
        };
        headless::set_offline_sound(true);
        const fs::path here = fs::current_path();
        fs::current_path(ZORVALEN_ASSET_DIR);
        replay::play(script, settings);
        fs::current_path(here);
        headless::set_offline_sound(false);
        return samples;
    }

    fs::path started_in_;
    fs::path work_;
};

TEST_F(ReplayVideo, LosslessFileHoldsEveryShotAndTheMixersSoundExactly) {
    ASSERT_EQ(run({"--video", "five.mkv", "--lossless", "--to", "5", playthrough}), 0);
    ASSERT_EQ(run({"--frames", "300", "--shot", "0:a.png", "--shot", "150:b.png", "--shot", "299:c.png", playthrough}), 0);
    const Decoded file = decode((work_ / "five.mkv").string(), {0, 150, 299});
    ASSERT_TRUE(file.ok);
    EXPECT_EQ(file.frames, 300);
    EXPECT_EQ(file.width, 800);
    EXPECT_EQ(file.height, 600);
    EXPECT_EQ(av_cmp_q(file.frame_rate, AVRational{60, 1}), 0);
    ASSERT_EQ(file.pictures.size(), 3u);
    EXPECT_EQ(differing_pixels(file.pictures[0], shot("a.png")), 0);
    EXPECT_EQ(differing_pixels(file.pictures[1], shot("b.png")), 0);
    EXPECT_EQ(differing_pixels(file.pictures[2], shot("c.png")), 0);
    // Five seconds at 44.1 kHz, sample for sample what the mixer gives, shots and music included.
    const std::vector<int16_t> mixed = mixed_sound(playthrough, 0, 300);
    ASSERT_EQ(file.samples.size(), 5u * 44100 * 2);
    EXPECT_TRUE(file.samples == mixed);
    EXPECT_TRUE(std::any_of(mixed.begin(), mixed.end(), [](int16_t s) { return std::abs(s) > 1000; }));
}

TEST_F(ReplayVideo, Mp4DecodesWithinFortyDecibelsOfTheShots) {
    ASSERT_EQ(run({"--video", "five.mp4", "--exact", "--to", "5", playthrough}), 0);
    EXPECT_EQ(probe((work_ / "five.mp4").string()).pixel_format, AV_PIX_FMT_YUV444P);
    ASSERT_EQ(run({"--frames", "300", "--shot", "0:a.png", "--shot", "150:b.png", "--shot", "299:c.png", playthrough}), 0);
    const Decoded file = decode((work_ / "five.mp4").string(), {0, 150, 299});
    ASSERT_TRUE(file.ok);
    EXPECT_EQ(file.frames, 300);
    EXPECT_EQ(file.width, 800);
    ASSERT_EQ(file.pictures.size(), 3u);
    EXPECT_GE(psnr(file.pictures[0], shot("a.png")), 40);
    EXPECT_GE(psnr(file.pictures[1], shot("b.png")), 40);
    EXPECT_GE(psnr(file.pictures[2], shot("c.png")), 40);
    // AAC's priming adds a frame of samples at most; the sound is there and not silent.
    EXPECT_GE(file.samples.size(), 5u * 44100 * 2);
    EXPECT_LE(file.samples.size(), (5u * 44100 + 2048) * 2);
    EXPECT_TRUE(std::any_of(file.samples.begin(), file.samples.end(), [](int16_t s) { return std::abs(s) > 1000; }));
}

// What a player shares plays everywhere: H.264 High or Main in 4:2:0 in a plain MP4 (no fragments)
// with the moov box ahead of the pictures, VP9 in 4:2:0, each a picture a player would accept.
TEST_F(ReplayVideo, DefaultFilesAreFourTwoZeroWithTheMoovFirst) {
    ASSERT_EQ(run({"--video", "share.mp4", "--to", "3", playthrough}), 0);
    ASSERT_EQ(run({"--video", "page.webm", "--to", "1", playthrough}), 0);
    ASSERT_EQ(run({"--frames", "180", "--shot", "179:c.png", playthrough}), 0);
    const Probed mp4 = probe((work_ / "share.mp4").string());
    EXPECT_EQ(mp4.pixel_format, AV_PIX_FMT_YUV420P);
    EXPECT_TRUE(mp4.profile == FF_PROFILE_H264_HIGH || mp4.profile == FF_PROFILE_H264_MAIN) << mp4.profile;
    const std::vector<std::string> boxes = top_level_boxes((work_ / "share.mp4").string());
    const auto moov = std::find(boxes.begin(), boxes.end(), "moov");
    const auto mdat = std::find(boxes.begin(), boxes.end(), "mdat");
    EXPECT_TRUE(moov != boxes.end() && mdat != boxes.end() && moov < mdat) << ::testing::PrintToString(boxes);
    EXPECT_EQ(std::find(boxes.begin(), boxes.end(), "moof"), boxes.end()) << ::testing::PrintToString(boxes);
    EXPECT_EQ(probe((work_ / "page.webm").string()).pixel_format, AV_PIX_FMT_YUV420P);
    const Decoded file = decode((work_ / "share.mp4").string(), {179});
    ASSERT_EQ(file.pictures.size(), 1u);
    EXPECT_GE(psnr(file.pictures[0], shot("c.png")), 30);
}

// Ctrl+C before the first whole second leaves no file; after it, the file ends where the run got to.
TEST_F(ReplayVideo, CtrlCBeforeTheFirstSecondLeavesNoFileAndLaterEndsTheFileThere) {
    const auto interrupted = [&](const std::string& name, bool once_named) {
        // Until the export takes Ctrl+C as its own, the child ignores the signals that come.
        const auto before = std::signal(SIGINT, SIG_IGN);
        const pid_t child = fork();
        if (child == 0) {
            ::testing::internal::CaptureStderr();
            _exit(run({"--video", name, "--lossless", "--to", "20", playthrough}));
        }
        std::signal(SIGINT, before);
        int status = 0;
        // Early: Ctrl+C over and over until one lands; later: once the file has its name.
        while (waitpid(child, &status, WNOHANG) == 0) {
            if (!once_named || fs::exists(work_ / name)) kill(child, SIGINT);
            ::usleep(1000);
        }
        return status;
    };
    int status = interrupted("early.mkv", false);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 128 + SIGINT);
    EXPECT_FALSE(fs::exists(work_ / "early.mkv"));

    status = interrupted("later.mkv", true);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 128 + SIGINT);
    const Decoded file = decode((work_ / "later.mkv").string(), {});
    ASSERT_TRUE(file.ok);
    EXPECT_GE(file.frames, 60);
    EXPECT_LT(file.frames, 1200);
}

TEST_F(ReplayVideo, FromAndToCutWhereTheySay) {
    ASSERT_EQ(run({"--video", "cut.mkv", "--lossless", "--from", "0:02", "--to", "3.5", playthrough}), 0);
    ASSERT_EQ(run({"--frames", "300", "--shot", "120:first.png", "--shot", "209:last.png", playthrough}), 0);
    const Decoded file = decode((work_ / "cut.mkv").string(), {0, 89});
    ASSERT_TRUE(file.ok);
    EXPECT_EQ(file.frames, 90);
    ASSERT_EQ(file.pictures.size(), 2u);
    EXPECT_EQ(differing_pixels(file.pictures[0], shot("first.png")), 0);
    EXPECT_EQ(differing_pixels(file.pictures[1], shot("last.png")), 0);
    EXPECT_TRUE(file.samples == mixed_sound(playthrough, 120, 210));
}

TEST_F(ReplayVideo, MissingEncoderOrBadOutputStopsBeforeTheFirstFrame) {
    const auto without_x264 = [](const char* name) { return std::string(name) != "libx264"; };
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(run({"--video", "run.mp4", playthrough}, without_x264), 2);
    const std::string missing = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(missing.find("no libx264 encoder"), std::string::npos) << missing;
    EXPECT_NE(missing.find("libavcodec" + std::to_string(LIBAVCODEC_VERSION_MAJOR)), std::string::npos) << missing;
    EXPECT_EQ(std::count(missing.begin(), missing.end(), '\n'), 1) << missing;
    EXPECT_FALSE(fs::exists(work_ / "run.mp4"));

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(run({"--video", (work_ / "no such dir" / "run.mp4").string(), playthrough}), 2);
    EXPECT_EQ(run({"--video", "run.avi", playthrough}), 2);
    EXPECT_EQ(run({"--video", "run.mp4", "--from", "1:75", playthrough}), 2);
    const std::string bad = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(bad.find("cannot write '"), std::string::npos) << bad;
    EXPECT_NE(bad.find("name it .mp4, .webm or .mkv"), std::string::npos) << bad;
    EXPECT_NE(bad.find("--from needs a time"), std::string::npos) << bad;
    EXPECT_TRUE(fs::is_empty(work_));
}

// A speed the encoder refuses (as an older libvpx refuses real-time speed 9) gives way to the next
// slower one it takes, said once: here one past the fastest that this FFmpeg's VP9 encoder allows.
TEST_F(ReplayVideo, ARefusedSpeedFallsToTheNextTakenAndSaysSoOnce) {
    const AVCodec* vp9 = avcodec_find_encoder_by_name("libvpx-vp9");
    if (vp9 == nullptr) GTEST_SKIP() << "this FFmpeg has no libvpx-vp9 encoder";
    const AVOption* speed =
        av_opt_find(const_cast<AVClass**>(&vp9->priv_class), "cpu-used", nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ);
    ASSERT_NE(speed, nullptr);
    const std::string refused = "cpu-used=" + std::to_string(static_cast<int>(speed->max) + 1);
    ::testing::internal::CaptureStderr();
    ASSERT_EQ(run({"--video", "fast.webm", "--encoder-option", refused, "--to", "1", playthrough}), 0);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("takes no " + refused + "; using cpu-used=" + std::to_string(static_cast<int>(speed->max))),
              std::string::npos) << said;
    EXPECT_EQ(said.find("takes no"), said.rfind("takes no")) << said;
    EXPECT_EQ(said.find("out of range"), std::string::npos) << said;
    EXPECT_EQ(decode((work_ / "fast.webm").string(), {}).frames, 60);
}

// A disk that fills up (here a file size limit) leaves the whole seconds written before it, playable.
TEST_F(ReplayVideo, AFullDiskLeavesTheWholeSecondsWrittenBeforeIt) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit limit{12 << 20, 12 << 20};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, SIG_IGN);
        ::testing::internal::CaptureStderr();
        _exit(run({"--video", "full.mkv", "--lossless", "--to", "5", playthrough}));
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    ASSERT_TRUE(fs::exists(work_ / "full.mkv"));
    EXPECT_LE(fs::file_size(work_ / "full.mkv"), 12u << 20);
    const Decoded file = decode((work_ / "full.mkv").string(), {});
    ASSERT_TRUE(file.ok);
    EXPECT_GT(file.frames, 0);
    EXPECT_LT(file.frames, 300);
    EXPECT_EQ(file.frames % 60, 0) << file.frames;
}

}  // namespace
