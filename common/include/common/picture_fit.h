// Where the finished 800 x 600 picture goes on a screen or window of any size: the largest
// copy of the same shape that fits, centred, with black bars round it. Pure arithmetic of the
// platform side, shared by the Linux layer's two presentation paths and the Windows build; the
// game itself never sees it.
#pragma once

struct PixelRect {
    int x = 0, y = 0, width = 0, height = 0;
};

struct PictureFit {
    PixelRect target;      // where the picture goes inside the area
    int whole_factor = 0;  // the picture's pixels scaled exactly this many times; 0 when not whole
};

// The largest rectangle of the picture's shape inside `area_width` x `area_height`, centred.
// Its size is rounded down, so it never leaves the area; an empty area gets an empty target.
PictureFit fit_picture(int picture_width, int picture_height, int area_width, int area_height);

// The largest whole multiple of the picture inside the area, centred, for a player who wants every
// pixel exact at the cost of wider bars; an area smaller than the picture gets fit_picture's.
PictureFit fit_whole_picture(int picture_width, int picture_height, int area_width, int area_height);

// The bars round `target` in the area: left, right, top, bottom, in that order, empty ones
// left out. Returns how many there are (at most four).
int bars_around(const PixelRect& target, int area_width, int area_height, PixelRect bars[4]);

// Sharp-bilinear's first step: the smallest whole factor at which the picture, scaled by
// nearest, covers the target in both directions. The second step scales that down to the
// target with linear filtering, so only the edges between picture pixels are blended.
int sharp_prescale(int picture_width, int picture_height, const PixelRect& target);

// The size a window asking for `width` x `height` opens at on a usable area: as asked when it
// fits, otherwise scaled down, keeping its shape, to the largest size that does.
void fit_window_size(int* width, int* height, int usable_width, int usable_height);
