#pragma once
// The point of a strip from its sums, shared by the plain scan and curve
// following so that both give the same bits for the same sums.

#include "ChartMap.h"
#include "ScanTypes.h"

#include <cstdint>

namespace plotrun {

// sd: the sum of the weights (above 0); sdx and sdr: weight x column and
// weight x row (rows counted from the top), summed. Every sum a strip can
// hold converts to long double exactly, and the quotients are taken in it and
// rounded once, as the literal scan does. Without weighted x the point lies
// in the strip's middle column.
inline void placeStripPoint(ResultRow& row, long double sd, long double sdx, long double sdr, bool weightedX,
                            int64_t stripLeft, int64_t width, int32_t pictureHeight, const ChartMap& map)
{
    row.bitmapX =
        weightedX ? static_cast<double>(sdx / sd) : static_cast<double>(stripLeft) + static_cast<double>(width) * 0.5;
    row.bitmapY = static_cast<double>(static_cast<long double>(pictureHeight) - sdr / sd);
    row.realX = map.realX(row.bitmapX);
    row.realY = map.realY(row.bitmapY);
}

} // namespace plotrun
