#pragma once
// The column scan: the area is walked in vertical strips, and each strip that
// holds dark pixels becomes one result row.

#include "PixelView.h"
#include "ScanSettings.h"
#include "Threads.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace plotrun {

struct ResultRow {
    int32_t number = 0;
    double bitmapX = 0;
    double bitmapY = 0;
    double realX = 0;
    double realY = 0;
    double sdev = 0; // only when the spread was asked for
    bool hasSdevY = false;
    double sdevY = 0;
    int32_t runCount = 0; // curve following: the runs the strip held; 0 without following
};

// Why a scan does not go ahead.
enum class ScanStop {
    None,
    NarrowArea,  // the area is less than one pixel column wide
    FlatArea,    // the height check: less than one pixel row high
    SameOriginX, // RefX equals OriginX: the x mapping has no scale
    SameOriginY, // RefY equals OriginY
};

struct ScanChecks {
    int32_t areaWidth = 0;  // A = trunc(ScanEndX) - trunc(ScanStartX)
    int32_t stripCount = 0; // A div ScanWidth, at least 1 once the checks pass
    int32_t scanHeight = 0; // trunc(ScanEndY) - trunc(ScanStartY)
    bool widthResized = false;
    ScanStop stop = ScanStop::None;
};

struct Notice {
    std::string title;
    std::string text;
};

inline constexpr const char* kWidthTitle = "Scan width out of range!";
inline constexpr const char* kAbortTitle = "Scan aborted!";
inline constexpr const char* kHeightText = "Scan height is too small!\n";
inline constexpr const char* kNarrowText = "Scan area is less than one pixel wide!\n";
inline constexpr const char* kSameOriginXText = "Reference X cannot be same as origin X\n";
inline constexpr const char* kSameOriginYText = "Reference Y cannot be same as origin Y\n";

// The width check and the height check, before any pixel is read. When the
// area is narrower than one strip, ScanWidth is cut to the area's width in
// the settings (it stays so for later scans).
ScanChecks checkScan(ScanSettings& settings);

// "Scan width is too large!\nIt is now resized to " and the width.
Notice widthResizedNotice(int32_t areaWidth);
// The message that goes with a stopped scan.
Notice stopNotice(ScanStop stop);

// "Scanning: N %".
std::string progressText(int percent);

struct ScanSinks {
    std::function<void(const ResultRow&)> onRow;
    // The per cent done after each strip: (100 * k) div StripCount.
    std::function<void(int)> onProgress;
    // Curve following and line removal only: called once at the end.
    std::function<void(const struct FollowCounts&)> onFollowCounts;
    // The most threads this picture's scan may use; a front end that scans
    // several pictures at once gives each its share of the cores.
    int threads = kMostThreadsPerPicture;
};

// The picture rows, counted from the top, that the strip loop of a scan that
// passed checkScan reads: from `first` up to `end` (not included).
struct RowSpan {
    int32_t first = 0;
    int32_t end = 0;
};
RowSpan rowsReadByScan(int32_t pictureHeight, const ScanSettings& settings, const ScanChecks& checks);

// Runs the strip loop over a scan that passed checkScan. Returns the number
// of result rows. The spread (SDEV, SDEV/Y) is computed only when asked for.
int32_t runColumnScan(const PixelView& picture, const ScanSettings& settings, const ScanChecks& checks, bool wantSpread,
                      const ScanSinks& sinks);

// The pixels that a scan walks: the columns of its whole strips and its rows,
// in picture pixels. Empty (no columns) when the width or height check would
// stop the scan.
struct CountedArea {
    int64_t left = 0;    // the area's first column
    int64_t columns = 0; // strips x width: the columns beyond the last whole strip are not read
    int64_t rows = 0;    // ScanHeight
    int64_t width = 0;   // ScanWidth, as the width check leaves it
    int64_t strips = 0;
};
// The area in a picture: with its first row, counted from the top.
struct ScanFrame : CountedArea {
    int64_t top = 0;
};

// Every pass, the counted pixels' views and the loader take the area from
// these alone, so that they all walk the same pixels.
CountedArea countedArea(ScanSettings settings);
// The area of a scan that passed checkScan, and the settings as it left them.
CountedArea areaOf(const ScanSettings& settings, const ScanChecks& checks);
// The area's first row in a picture of this height, counted from the top.
int64_t areaTop(int32_t pictureHeight, const ScanSettings& settings);
inline ScanFrame frameOf(int32_t pictureHeight, const ScanSettings& settings, const ScanChecks& checks)
{
    return {areaOf(settings, checks), areaTop(pictureHeight, settings)};
}
inline ScanFrame frameOf(const PixelView& picture, const ScanSettings& settings, const ScanChecks& checks)
{
    return frameOf(picture.height, settings, checks);
}

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
