#pragma once
// Snapping a mark to the line crossing it was dropped near: an axis and a
// tick, or an axis and a grid line. The crossing's centre is where the
// centre lines of its two lines meet, each line found to a fraction of a
// pixel from the darkness of its pixels, so that a mark put half a pixel
// off by hand lands on the crossing itself.

#include "ColumnScan.h"
#include "PixelView.h"
#include "ScanSettings.h"

#include <cstdint>

namespace plotrun {

struct SnappedMark {
    bool snapped = false; // a crossing was found near the point
    double x = 0;         // where the mark goes, in bitmap coordinates (the point itself when not snapped)
    double y = 0;
};

// How far from the point, in picture pixels, the crossing's lines are looked for.
inline constexpr int32_t kSnapRadius = 6;

// The crossing near (x, y) (bitmap coordinates, y upward from the bottom
// edge) of one line that runs about along the rows and one that runs about
// along the columns. The point is left where it is when there is none, or
// when the rows it needs are not held by the view.
SnappedMark snapToCrossing(const PixelView& picture, double x, double y, int32_t radius = kSnapRadius);

// The calibration's marks snapped, as the scanner's --snap does before a
// scan: O, and in the other kinds X1, Y1 and C as full points. Along the
// picture X1 is snapped where it meets O's row and keeps only its x, and Y1
// where it meets O's column and keeps only its y. A mark not set, or near
// no crossing, stays where it is. Gives how many marks moved.
int snapMarks(const PixelView& picture, ScanSettings& settings);

// The picture rows [first, end) that snapMarks reads; empty when no mark is set.
RowSpan rowsReadBySnap(int32_t pictureHeight, const ScanSettings& settings);

} // namespace plotrun
