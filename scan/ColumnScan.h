#pragma once
// The column scan: the area is walked in vertical strips, and each strip that
// holds dark pixels becomes one result row. tests/ReferenceScan.cpp is the
// scan written out literally, one pixel at a time: the executable description
// of what this engine computes, which it must equal to the bit.

#include "PixelView.h"
#include "ScanSettings.h"
#include "ScanTypes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace plotrun {

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
inline constexpr const char* kCollinearText = "Origin, X1 and Y1 cannot lie on one line\n";
inline constexpr const char* kUnfixedText = "The calibration points cannot fix the map\n";
inline constexpr const char* kFoldedText = "The scan area crosses the horizon of the perspective map\n";
inline constexpr const char* kStretchedText =
    "The calibration stretches the scan area far beyond its pixels: the axes nearly meet, or the perspective "
    "nearly reaches its horizon\n";

// "Scan width is too large!\nIt is now resized to " and the width.
Notice widthResizedNotice(int32_t areaWidth);
// The message that goes with a stopped scan.
Notice stopNotice(ScanStop stop);

// "Scanning: N %".
std::string progressText(int percent);

// The picture rows, counted from the top, that the strip loop of a scan that
// passed checkScan reads, with smoothing's rows around them: from `first`
// up to `end` (not included).
struct RowSpan {
    int32_t first = 0;
    int32_t end = 0;
};
RowSpan rowsReadByScan(int32_t pictureHeight, const ScanSettings& settings, const ScanChecks& checks);

// Runs the strip loop over a scan that passed checkScan. Returns the number
// of result rows. The spread (SDEV, SDEV/Y) is computed only when asked for.
int32_t runColumnScan(const PixelView& picture, const ScanSettings& settings, const ScanChecks& checks, bool wantSpread,
                      const ScanSinks& sinks);

} // namespace plotrun
