// Scales a finished ARGB picture into a destination of any size (a window surface): the
// picture keeps its shape, centred, with black bars. Plain pixel buffers, no window system.
//
// How the picture gets there is decided in one place, plan_scale, for every way to the screen
// (the window surface and the GPU path alike), cheapest way first:
// - at 1:1 the picture's pixels are the destination's: a compositor can draw straight into it,
//   and where it cannot, rows are copied;
// - at a whole factor each pixel is repeated exactly, rows copied whole;
// - at any other size the filter blends (sharp-bilinear or linear).
#pragma once

#include <cstdint>
#include <vector>

#include "common/picture_fit.h"

namespace platform {

enum class ScaleFilter {
    linear,  // every destination pixel blended from its 2 x 2 nearest picture pixels
    sharp,   // nearest to a whole multiple at or above the target, then linear down to it
    whole,   // only the largest whole multiple that fits (fit_whole_picture), with wider bars
};

enum class ScaleWay {
    one_to_one,  // the picture at its own size: drawn in place, or its rows copied
    replicate,   // a whole factor above 1: every pixel repeated exactly
    filtered,    // any other size: blended by the filter
};

struct ScalePlan {
    PictureFit fit;  // where the picture goes, and its whole factor when it has one
    ScaleWay way = ScaleWay::filtered;
    ScaleFilter filter = ScaleFilter::sharp;
};

// Where and how a picture goes into a destination of this size with this filter.
ScalePlan plan_scale(int picture_width, int picture_height, int destination_width, int destination_height,
                     ScaleFilter filter);

class PictureScaler {
public:
    // Sets the sizes and works out the plan and its sampling tables. Everything the scaling
    // needs is made here, so `scale` allocates nothing; call again whenever a size changes.
    void prepare(int picture_width, int picture_height, int destination_width, int destination_height,
                 ScaleFilter filter);

    // Writes the picture into its place in the destination, and the bars (paint_bars) too.
    // Pitches are in pixels.
    void scale(const std::uint32_t* picture, int picture_pitch, std::uint32_t* destination,
               int destination_pitch);
    // Writes again only what picture rows first_row .. end_row - 1 reach in the destination,
    // where the rest holds this picture already (a window surface, which keeps its pixels), and
    // returns that part of the destination. The bars must have been painted.
    PixelRect scale_rows(const std::uint32_t* picture, int picture_pitch, std::uint32_t* destination,
                         int destination_pitch, int first_row, int end_row);

    // Paints the bars round the picture's place, once after each `prepare`: they stay black in
    // a destination that keeps its pixels from frame to frame (a window surface), so a new
    // destination needs a new `prepare`.
    void paint_bars(std::uint32_t* destination, int destination_pitch);

    const ScalePlan& plan() const { return plan_; }
    const PictureFit& fit() const { return plan_.fit; }
    int destination_width() const { return destination_width_; }
    int destination_height() const { return destination_height_; }

private:
    // For one axis: each destination pixel blends picture pixels `first` and `second`, taking
    // `weight`/256 of the second (the weight is kept in both 16-bit halves, ready for SIMD).
    struct Axis {
        std::vector<std::int32_t> first, second;
        std::vector<std::uint32_t> weight;
        void build(int picture_size, int target_size, ScaleFilter filter, int prescale);
    };
    void scale_row(const std::uint32_t* picture_row, std::uint32_t* out) const;
    const std::uint32_t* scaled_row(const std::uint32_t* picture, int picture_pitch, int row, int slot);
    // Each writes destination rows first .. end - 1 of the picture's place.
    void copy_rows(const std::uint32_t* picture, int picture_pitch, std::uint32_t* destination,
                   int destination_pitch, int first, int end);
    void replicate_rows(const std::uint32_t* picture, int picture_pitch, std::uint32_t* destination,
                        int destination_pitch, int first, int end);
    void filter_rows(const std::uint32_t* picture, int picture_pitch, std::uint32_t* destination,
                     int destination_pitch, int first, int end);

    int picture_width_ = 0, picture_height_ = 0;
    int destination_width_ = 0, destination_height_ = 0;
    ScalePlan plan_;
    Axis columns_, rows_;
    // The picture rows last scaled across, two at a time: each is scaled once per frame.
    std::vector<std::uint32_t> scaled_[2];
    int scaled_source_[2] = {-1, -1};
    bool bars_pending_ = false;
};

}  // namespace platform
