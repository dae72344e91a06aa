// Scales a finished ARGB picture into a destination of any size (a window surface): the
// picture keeps its shape, centred, with black bars. Whole factors copy pixels exactly;
// other factors use the filter chosen. Plain pixel buffers, no window system.
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

// Where the picture goes in a destination of this size with this filter.
PictureFit fit_for_filter(int picture_width, int picture_height, int destination_width, int destination_height,
                          ScaleFilter filter);

class PictureScaler {
public:
    // Sets the sizes and works out the sampling tables. Everything the scaling needs is made
    // here, so `scale` allocates nothing; call again whenever a size changes.
    void prepare(int picture_width, int picture_height, int destination_width, int destination_height,
                 ScaleFilter filter);

    // Writes the picture into its place in the destination, and after each `prepare` the bars
    // too: they stay black in a destination that keeps its pixels from frame to frame (a
    // window surface), so a new destination needs a new `prepare`. Pitches are in pixels.
    void scale(const std::uint32_t* picture, int picture_pitch, std::uint32_t* destination,
               int destination_pitch);

    const PictureFit& fit() const { return fit_; }
    int destination_width() const { return destination_width_; }
    int destination_height() const { return destination_height_; }

private:
    // For one axis: each destination pixel blends picture pixels `first` and `second`, taking
    // `weight`/256 of the second (the weight is kept in both 16-bit halves, ready for SIMD).
    struct Axis {
        std::vector<std::int32_t> first, second;
        std::vector<std::uint32_t> weight;
        void build(int picture_size, int target_size, int whole_factor, ScaleFilter filter, int prescale);
    };
    void scale_row(const std::uint32_t* picture_row, std::uint32_t* out) const;
    const std::uint32_t* scaled_row(const std::uint32_t* picture, int picture_pitch, int row, int slot);

    int picture_width_ = 0, picture_height_ = 0;
    int destination_width_ = 0, destination_height_ = 0;
    PictureFit fit_;
    Axis columns_, rows_;
    // The picture rows last scaled across, two at a time: each is scaled once per frame.
    std::vector<std::uint32_t> scaled_[2];
    int scaled_source_[2] = {-1, -1};
    bool bars_pending_ = false;
};

}  // namespace platform
