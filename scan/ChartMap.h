#pragma once
// The one map between picture coordinates (bitmap x and y, in pixels, y
// upward from the bottom edge) and chart coordinates (the real values of the
// chart's axes), both axes together and both ways. The engine, the report,
// the checks and every view over the picture reach real values through it
// alone, so that another kind of calibration changes only its inside.

#include "Calibration.h"
#include "ChartFit.h"
#include "ScanSettings.h"

#include <memory>

namespace plotrun {

struct ChartPoint {
    double x = 0;
    double y = 0;
};

class ChartMap {
public:
    explicit ChartMap(const ScanSettings& s)
        : x_(AxisMap::forX(s)), y_(AxisMap::forY(s)),
          fit_(s.Calibration.aligned() ? nullptr : std::make_shared<const ChartFit>(fitChart(s)))
    {
        if (fit_) {
            // The frame's axes: real values from frame positions, as the
            // axes kind reads them from the picture's.
            x_ = AxisMap(s.OriginX, fit_->frameRefX, s.RealOriginX, s.RealRefX, s.LogX);
            y_ = AxisMap(s.OriginY, fit_->frameRefY, s.RealOriginY, s.RealRefY, s.LogY);
        }
    }

    // Bitmap to real. Each axis is rounded once from extended precision, so
    // every caller gets the same bits as the scan.
    ChartPoint toChart(double bitmapX, double bitmapY) const
    {
        if (!fit_)
            return {x_.toReal(bitmapX), y_.toReal(bitmapY)};
        const FramePoint f = fit_->toFrame.apply(bitmapX, bitmapY);
        return {x_.toReal(f.x), y_.toReal(f.y)};
    }
    ChartPoint toChart(ChartPoint bitmap) const { return toChart(bitmap.x, bitmap.y); }

    // Real to fractional bitmap coordinates. A value that an axis cannot
    // hold (0 or below on a logarithmic one) gives a number that is not
    // finite.
    ChartPoint toPicture(double realX, double realY) const
    {
        if (!fit_)
            return {x_.toBitmap(realX), y_.toBitmap(realY)};
        return fromFrame(x_.toBitmap(realX), y_.toBitmap(realY));
    }
    ChartPoint toPicture(ChartPoint real) const { return toPicture(real.x, real.y); }

    // The chart's frame: the picture as it would be with the chart's axes
    // along its rows and columns (see ChartFit.h). In the axes kind it is the
    // picture itself.
    bool aligned() const { return !fit_; }
    ChartPoint toFrame(double bitmapX, double bitmapY) const
    {
        if (!fit_)
            return {bitmapX, bitmapY};
        const FramePoint f = fit_->toFrame.apply(bitmapX, bitmapY);
        return {f.x, f.y};
    }
    ChartPoint fromFrame(double frameX, double frameY) const
    {
        if (!fit_)
            return {frameX, frameY};
        const FramePoint p = fit_->toPicture.apply(frameX, frameY);
        return {p.x, p.y};
    }
    // The fit of a kind other than the axes kind; null in the axes kind.
    const ChartFit* fit() const { return fit_.get(); }

    // Along one axis of the frame: real x depends on frame x alone and real
    // y on frame y alone. In the axes kind these are a strip's x and a row's
    // y on the picture.
    double realX(double frameX) const { return x_.toReal(frameX); }
    double realY(double frameY) const { return y_.toReal(frameY); }
    double bitmapX(double realX) const { return x_.toBitmap(realX); }
    double bitmapY(double realY) const { return y_.toBitmap(realY); }

    bool logX() const { return x_.logarithmic(); }
    bool logY() const { return y_.logarithmic(); }
    // Both references differ from the origin, and a logarithmic axis has
    // both of its real values above 0; in the other kinds the marks fix the
    // map too.
    bool usable() const { return usableX() && usableY(); }
    bool usableX() const { return x_.usable() && (!fit_ || fit_->problem == FitProblem::None); }
    bool usableY() const { return y_.usable() && (!fit_ || fit_->problem == FitProblem::None); }

private:
    AxisMap x_;
    AxisMap y_;
    std::shared_ptr<const ChartFit> fit_;
};

} // namespace plotrun
