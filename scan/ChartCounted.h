#pragma once
// The counted pixels' views of a kind other than the axes kind: the scan
// counts the pixels of the area's quadrilateral, which the views walk as the
// rectangle of picture pixels that holds it, leaving out those whose place
// in the chart's frame lies in no strip of the area.

#include "ScanSettings.h"

#include <cstdint>

namespace plotrun {

// Settings whose area, along the picture, is the rectangle of picture rows
// and columns that holds the scan's quadrilateral (strips one pixel wide, no
// following), counting pixels as `settings` does; without an area when the
// scan would stop.
ScanSettings countedBoxOf(int32_t pictureWidth, int32_t pictureHeight, const ScanSettings& settings);

// Clears, in the mask of the rows [rowBegin, rowEnd) of that rectangle
// (counted from its top, its columns wide), each pixel whose frame position
// lies in no strip of the scan of `settings`.
void keepInsideStrips(int32_t pictureHeight, const ScanSettings& settings, const ScanSettings& box, int64_t rowBegin,
                      int64_t rowEnd, uint8_t* mask);

} // namespace plotrun
