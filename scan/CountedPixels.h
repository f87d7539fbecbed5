#pragma once
// The pixels that a scan counts, with their weights, for the views over the
// picture and for curve following; the scan walks them through the same test.

#include "PixelView.h"
#include "ScanSettings.h"
#include "ScanTypes.h"
#include "Threads.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace plotrun {

// The counted mask of the area rows [rowBegin, rowEnd) (counted from the
// area's top): mask[(row - rowBegin) * columns + column] becomes 1 for each
// pixel that the scan with these settings counts into its sums, 0 for the
// others. The scan itself walks its pixels through the same test.
void countedMask(const PixelView& picture, const ScanSettings& settings, const CountedArea& area, int64_t rowBegin,
                 int64_t rowEnd, uint8_t* mask);

// A counted pixel: its column and row in picture pixels (rows from the top)
// and its weight, darkness or ink.
struct CountedPixel {
    int32_t x = 0;
    int32_t r = 0;
    int32_t w = 0;
};

// Every pixel of the area that the scan with these settings counts, row by
// row from the top and left to right within a row.
std::vector<CountedPixel> countedPixels(const PixelView& picture, const ScanSettings& settings,
                                        const CountedArea& area);

// The counted pixels of each of several settings over one area (a figure's
// series, each with its own ink or darkness), the same lists in the same
// order as countedPixels gives for each, with the area read once: a block
// of white pixels, which no rule counts, is passed over for all of them at
// once. Settings that the shared read cannot serve (smoothing, a threshold
// below 1 that counts what lies outside the picture, a paper that is not
// white) are read one after the other.
std::vector<std::vector<CountedPixel>>
countedPixelsOfEach(const PixelView& picture, const std::vector<ScanSettings>& settings, const CountedArea& area);

// The same pixels in the same order, as runs of neighbouring columns of a row
// and the weight of each pixel in a byte (darkness and ink both weigh 0 to
// 255): where most pixels count, a twelfth of the memory of the list.
struct CountedRuns {
    struct Run {
        int32_t x = 0; // the first column
        int32_t n = 0; // the pixels of the run
    };
    int32_t top = 0;            // the area's first picture row
    std::vector<size_t> rowRun; // the runs of area row i are [rowRun[i], rowRun[i + 1])
    std::vector<Run> runs;
    std::vector<uint8_t> weights; // of each pixel, run after run
};
// `threads`: the most threads that may share the reading, as ScanSinks says.
CountedRuns countedRuns(const PixelView& picture, const ScanSettings& settings, const CountedArea& area,
                        int threads = kMostThreadsPerPicture);

} // namespace plotrun
