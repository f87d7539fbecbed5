#pragma once
// The scan of a chart whose axes do not run along the picture's rows and
// columns (a calibration kind other than the axes kind). The area's two
// corners span a rectangle in the chart's frame (see ChartFit.h), which is a
// quadrilateral on the picture. Its strips are bands of equal frame x,
// ScanWidth frame pixels wide; each counted pixel of the picture adds to the
// strip that its frame x falls into, at its frame y, and the strip's point and
// spread follow from those sums as in the axes kind. Line removal and curve
// following choose their runs on the area resampled into the frame, and the
// point is then made from the picture's own pixels in the chosen rows.

#include "ChartMap.h"
#include "PixelView.h"
#include "ScanSettings.h"
#include "ScanTypes.h"

#include <cstdint>
#include <string>

namespace plotrun {

// The area in the frame: strips from `left`, rows from `top` down, frame y
// in (top - rows, top].
struct FrameArea {
    double left = 0;
    double top = 0;
    double right = 0;  // the far corner's frame x (strips may end before it)
    double bottom = 0; // and its frame y
    ScanStop stop = ScanStop::None;
};
FrameArea frameAreaOf(const ScanSettings& settings, const ChartMap& map);

// How many times the area's pixels on the picture the frame's rectangle may
// hold (with some room for small areas) before the map is refused as
// stretched.
inline constexpr double kMostFrameStretch = 16;
inline constexpr double kFrameStretchRoom = 1 << 20;

// Why the marks of a kind other than the axes kind cannot make a scan: a
// mark the kind needs is not set, or the map cannot be made (the scan's own
// stops). Empty when they can, and always in the axes kind.
std::string calibrationRefusal(const ScanSettings& settings);

// The picture rows [first, end) and columns [left, right) that hold the
// area's quadrilateral, within the picture.
struct PictureBox {
    int64_t left = 0;
    int64_t right = 0;
    int64_t first = 0;
    int64_t end = 0;
};
PictureBox pictureBoxOf(int32_t pictureWidth, int32_t pictureHeight, const ScanSettings& settings,
                        const ScanChecks& checks);

// The picture's rows are walked in blocks of this many, from its top row on.
// Each block keeps sums of its own, row by row and left to right, and the
// blocks' sums are added in order, so that the result does not depend on how
// many threads walked them.
inline constexpr int64_t kBlockRows = 256;

// The strip loop of a scan that passed checkScan, for runColumnScan.
int32_t runChartScan(const PixelView& picture, const ScanSettings& settings, const ScanChecks& checks, bool wantSpread,
                     const ScanSinks& sinks);

} // namespace plotrun
