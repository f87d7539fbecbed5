#pragma once
// The calibration that most tests write out: the origin at bitmap (0, 0)
// with real (0, 0), the references at bitmap (refX, refY) with the real
// values (realX, realY), and the scan area from (x1, y1) to (x2, y2).

#include "ScanSettings.h"

namespace plotrun::test {

struct TestArea {
    double x1, y1, x2, y2;
};

inline ScanSettings calibrated(double refX, double refY, double realX, double realY, TestArea area)
{
    ScanSettings s;
    s.OriginX = s.OriginY = 0;
    s.RefX = refX;
    s.RefY = refY;
    s.RealRefX = realX;
    s.RealRefY = realY;
    s.HasRealRefX = s.HasRealRefY = true;
    s.ScanStartX = area.x1;
    s.ScanStartY = area.y1;
    s.ScanEndX = area.x2;
    s.ScanEndY = area.y2;
    return s;
}

// The marks of resources/samples/sample-chart.bmp: the origin at (60, 60),
// x = 10 at bitmap x 580, y = 100 at bitmap y 420, the area inside the axes.
inline ScanSettings sampleChartCalibration()
{
    ScanSettings s = calibrated(580, 420, 10, 100, {61, 61, 580, 419});
    s.OriginX = s.OriginY = 60;
    return s;
}

} // namespace plotrun::test
