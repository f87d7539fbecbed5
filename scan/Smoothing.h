#pragma once
// Smoothing for halftoned and dithered pictures: each pixel becomes the
// average of the pixels around it, so that a grey drawn as solid black dots
// weighs as the grey it stands for. The scan, the counted pixels and curve
// following then read the smoothed copy instead of the picture.

#include "PixelView.h"
#include "ScanSettings.h"
#include "ScanTypes.h"
#include "Threads.h"

#include <cstdint>
#include <memory>
#include <stdexcept>

namespace plotrun {

// A larger disc blurs neighbouring curves into one long before it helps.
inline constexpr int32_t kMostSmoothingRadius = 50;

// "Smoothing needs N MB of memory for its copy of the scan area, more than
// is free (M MB). Choose a smaller area or radius."
class SmoothingMemoryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The rows [top, top + rows) and columns [left, left + columns) of a
// picture, as far as they lie in it, smoothed: each channel of each pixel is
// the rounded mean of that channel over the pixels of the picture whose
// centres lie within `radius` pixels of its centre. The view has the
// picture's size and holds only those rows, so every position outside the
// picture still answers no colour; it reads only those columns, 32 bits a
// pixel, red low. Throws SmoothingMemoryError when the copy would not fit in
// the free memory.
class SmoothedPicture {
public:
    SmoothedPicture(const PixelView& picture, int32_t radius, int64_t top, int64_t rows, int64_t left, int64_t columns,
                    int threads = kMostThreadsPerPicture);
    const PixelView& view() const { return view_; }

private:
    std::unique_ptr<uint32_t[]> pixels_;
    PixelView view_;
};

// The smoothed copy of the frame of a scan's area, whose settings ask for
// smoothing.
inline SmoothedPicture smoothedFrame(const PixelView& picture, const ScanSettings& settings, const ScanFrame& frame,
                                     int threads = kMostThreadsPerPicture)
{
    return {picture, settings.Smooth, frame.top, frame.rows, frame.left, frame.columns, threads};
}

// The settings for a pass over pixels that are smoothed already.
inline ScanSettings smoothedAlready(ScanSettings settings)
{
    settings.Smooth = 0;
    return settings;
}

// The bytes a smoothed copy of these rows and columns takes, and how many a
// copy may take: the larger part of the memory that is free now.
int64_t smoothingBytes(const PixelView& picture, int32_t radius, int64_t top, int64_t rows, int64_t left,
                       int64_t columns, int threads);
int64_t smoothingMemoryBudget();

} // namespace plotrun
