#include "ChartCounted.h"

#include "ChartMap.h"
#include "ChartScan.h"
#include "ColumnScan.h"

#include <cmath>

namespace plotrun {

ScanSettings countedBoxOf(int32_t width, int32_t height, const ScanSettings& settings)
{
    ScanSettings box = settings;
    box.Calibration = {};
    box.Follow = {};
    box.ScanWidth = 1;
    box.ScanStartX = box.ScanStartY = box.ScanEndX = box.ScanEndY = -1;
    ScanSettings s = settings;
    const ScanChecks checks = checkScan(s);
    if (checks.stop != ScanStop::None)
        return box;
    const PictureBox b = pictureBoxOf(width, height, s, checks);
    if (b.right <= b.left || b.end <= b.first)
        return box;
    box.ScanStartX = static_cast<double>(b.left);
    box.ScanEndX = static_cast<double>(b.right);
    box.ScanStartY = static_cast<double>(height - b.end);
    box.ScanEndY = static_cast<double>(height - b.first);
    return box;
}

void keepInsideStrips(int32_t height, const ScanSettings& settings, const ScanSettings& box, int64_t rowBegin,
                      int64_t rowEnd, uint8_t* mask)
{
    ScanSettings s = settings;
    const ScanChecks checks = checkScan(s);
    const ChartMap map(s);
    const FrameArea a = frameAreaOf(s, map);
    const ChartFit* fit = map.fit();
    const int64_t left = static_cast<int64_t>(box.ScanStartX);
    const int64_t columns = static_cast<int64_t>(box.ScanEndX) - left;
    const int64_t top = height - static_cast<int64_t>(box.ScanEndY);
    const double stripsRight = a.left + static_cast<double>(int64_t(checks.stripCount) * s.ScanWidth);
    const double bottom = a.top - static_cast<double>(checks.scanHeight);
    for (int64_t i = rowBegin; i < rowEnd; ++i) {
        uint8_t* row = mask + (i - rowBegin) * columns;
        const double y = static_cast<double>(height - (top + i));
        for (int64_t c = 0; c < columns; ++c) {
            if (!row[c])
                continue;
            const double x = static_cast<double>(left + c);
            bool inside = fit && checks.stop == ScanStop::None && fit->toFrame.weight(x, y) > 0;
            if (inside) {
                const ChartPoint f = map.toFrame(x, y);
                inside = f.y <= a.top && f.y > bottom && f.x >= a.left && f.x < stripsRight;
            }
            if (!inside)
                row[c] = 0;
        }
    }
}

} // namespace plotrun
