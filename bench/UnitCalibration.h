#pragma once
// The calibration the benchmarks scan with: the origin at bitmap (0, 0), real
// 1 at bitmap (width, height) on both axes, and the area given.

#include "ScanSettings.h"

namespace plotrun::bench {

inline void setUnitCalibration(ScanSettings& s, double width, double height, double x1, double y1, double x2, double y2)
{
    s.OriginX = s.OriginY = 0;
    s.RefX = width;
    s.RefY = height;
    s.RealRefX = s.RealRefY = 1;
    s.ScanStartX = x1;
    s.ScanStartY = y1;
    s.ScanEndX = x2;
    s.ScanEndY = y2;
}

} // namespace plotrun::bench
