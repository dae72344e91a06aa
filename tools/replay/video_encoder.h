// Encoding a run to a video file with FFmpeg's libraries: pictures in the layer's ARGB format and
// interleaved 16-bit samples in, H.264/AAC, VP9/Opus or (lossless) FFV1/PCM out, in MP4, WebM or
// Matroska. The file is fragmented, a fragment a second, and written through a FragmentFile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace replay {

enum class Container { mp4, webm, mkv };
enum class Codecs { h264, vp9 };  // H.264 with AAC, or VP9 with Opus

// What the file holds; the encoders follow from it.
struct VideoFormat {
    Container container = Container::mp4;
    Codecs codecs = Codecs::h264;
    bool lossless = false;  // FFV1 and PCM in Matroska; H.264 in RGB at QP 0 and ALAC in MP4
    // Colour at every pixel (4:4:4) and a finer quantiser: the picture as drawn, at four times the size
    // of the default's 4:2:0, which every device plays.
    bool exact = false;
    // The video encoder's own options (FFmpeg's names), set over the defaults: "crf", "preset"...
    std::vector<std::pair<std::string, std::string>> encoder_options;
    int width = 800;
    int height = 600;
    int frame_rate = 60;
    uint32_t sample_rate = 44100;  // of the samples given; Opus gets them resampled to 48 kHz
    int channels = 2;
};

// The container named by a file's suffix (.mp4, .webm, .mkv, any case); false for any other.
bool container_for(const std::string& path, Container& container);

// The two encoders a format needs, by FFmpeg's names.
struct EncoderNames {
    const char* video;
    const char* audio;
};
// False with a message when the container cannot hold the codecs asked for.
bool encoders_for(const VideoFormat& format, EncoderNames& names, std::string& error);

// The video encoder's settings for a format, as FFmpeg's option names and values, in the order
// they are set (encoder_options come last, over them).
std::vector<std::pair<std::string, std::string>> video_encoder_settings(const VideoFormat& format);

// Whether this FFmpeg has an encoder of that name; the real one asks libavcodec.
using EncoderLookup = std::function<bool(const char* name)>;
bool ffmpeg_has_encoder(const char* name);

// Empty when both encoders are there; else one line naming what is missing and the package.
std::string missing_encoder(const EncoderNames& names, const EncoderLookup& has_encoder);

// Rewrites a finished fragmented .mp4 as a plain one with its index ahead of the media, which
// every player takes (some refuse fragments): the packets are copied, not encoded again, into a
// file beside it that then replaces it in one rename. On failure the fragmented file stays as it was.
bool move_index_to_front(const std::string& path, std::string& error);

class VideoWriter {
public:
    VideoWriter();
    ~VideoWriter();  // a file not finished is left as its last commit (or not at all)
    VideoWriter(const VideoWriter&) = delete;
    VideoWriter& operator=(const VideoWriter&) = delete;

    // Creates the file and opens both encoders: everything that can fail before the first frame.
    bool open(const std::string& path, const VideoFormat& format, std::string& error);

    // One picture, 0xAARRGGBB, format.width x format.height, `pitch` pixels a row.
    bool add_picture(const std::uint32_t* pixels, int pitch);
    // The samples that play during that picture: frames x channels, interleaved.
    bool add_samples(const int16_t* samples, std::size_t frames);

    // Drains the encoders and ends the file; everything given is then in it.
    bool finish();
    // Leaves the file as it stands: the fragments committed so far, or no file.
    void abandon();

    // Seconds of both picture and sound that the file on disk holds now.
    double seconds_written() const;
    bool file_named() const;
    int64_t bytes_written() const;
    // The first failure, once one happened (a full disk, an encoder error).
    const std::string& error() const;
    // After open: a setting the encoder refused and the one used instead, in one line; or empty.
    const std::string& note() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace replay
