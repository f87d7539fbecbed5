#pragma once
// The one map between picture coordinates (bitmap x and y, in pixels, y
// upward from the bottom edge) and chart coordinates (the real values of the
// chart's axes), both axes together and both ways. The engine, the report,
// the checks and every view over the picture reach real values through it
// alone, so that another kind of calibration changes only its inside.

#include "Calibration.h"
#include "ScanSettings.h"

namespace plotrun {

struct ChartPoint {
    double x = 0;
    double y = 0;
};

class ChartMap {
public:
    explicit ChartMap(const ScanSettings& s) : x_(AxisMap::forX(s)), y_(AxisMap::forY(s)) {}

    // Bitmap to real. Each axis is rounded once from extended precision, so
    // every caller gets the same bits as the scan.
    ChartPoint toChart(double bitmapX, double bitmapY) const { return {x_.toReal(bitmapX), y_.toReal(bitmapY)}; }
    ChartPoint toChart(ChartPoint bitmap) const { return toChart(bitmap.x, bitmap.y); }

    // Real to fractional bitmap coordinates. A value that an axis cannot
    // hold (0 or below on a logarithmic one) gives a number that is not
    // finite.
    ChartPoint toPicture(double realX, double realY) const { return {x_.toBitmap(realX), y_.toBitmap(realY)}; }
    ChartPoint toPicture(ChartPoint real) const { return toPicture(real.x, real.y); }

    // With the axes along the picture's rows and columns, real x depends on
    // bitmap x alone and real y on bitmap y alone: a strip's x and a row's y.
    double realX(double bitmapX) const { return x_.toReal(bitmapX); }
    double realY(double bitmapY) const { return y_.toReal(bitmapY); }
    double bitmapX(double realX) const { return x_.toBitmap(realX); }
    double bitmapY(double realY) const { return y_.toBitmap(realY); }

    bool logX() const { return x_.logarithmic(); }
    bool logY() const { return y_.logarithmic(); }
    // Both references differ from the origin, and a logarithmic axis has
    // both of its real values above 0.
    bool usable() const { return x_.usable() && y_.usable(); }
    bool usableX() const { return x_.usable(); }
    bool usableY() const { return y_.usable(); }

private:
    AxisMap x_;
    AxisMap y_;
};

} // namespace plotrun
