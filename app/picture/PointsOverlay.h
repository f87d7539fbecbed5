#pragma once
// The points of the last scan drawn on the picture at their bitmap
// coordinates: a small cross each, with a bar from real y - SDEV to real
// y + SDEV when the spread was computed, so that a point pulled off its
// curve shows at once.

#include "PictureView.h"

#include "ColumnScan.h"
#include "ScanSettings.h"

#include <QColor>

#include <cmath>
#include <limits>
#include <vector>

namespace plotrun {

class PointsOverlay : public PictureOverlay {
public:
    explicit PointsOverlay(PictureView& view);

    struct Point {
        double x = 0, y = 0; // bitmap coordinates
        // The bitmap y of the bar's ends, real y - SDEV and real y + SDEV
        // mapped back through the chart map; not a number without a bar.
        double barLow = std::numeric_limits<double>::quiet_NaN();
        double barHigh = std::numeric_limits<double>::quiet_NaN();
        // Their bitmap x where the chart's axes do not run along the picture;
        // not a number along it, where the bar is upright at x.
        double barLowX = std::numeric_limits<double>::quiet_NaN();
        double barHighX = std::numeric_limits<double>::quiet_NaN();
        bool manyRuns = false; // curve following: the strip held more than one run
        int series = -1;       // the index of its series; -1 without series
        bool hasBar() const { return !std::isnan(barLow) && !std::isnan(barHigh); }
    };
    // The rows of a scan, with the settings it ran with, on a picture of the
    // given size: drawn only while the view shows a picture of that size.
    // An end of a bar that the y axis cannot hold (real y - SDEV at or below
    // 0 on a logarithmic axis) runs to the scan area's edge on that side.
    void setResult(const std::vector<ResultRow>& rows, const ScanSettings& settings, bool withSpread, QSize picture);
    void clear();
    void setShown(bool shown);
    bool shown() const { return shown_; }
    const std::vector<Point>& points() const { return points_; }
    // The colour of the points of a series (-1: of a scan without series).
    QColor colourOf(int series) const;

    // Where a point, and a bitmap y at its x, lie in the view's coordinates.
    static QPointF viewPosition(const Point& point, const ScreenMap& map);
    static double viewY(double bitmapY, const ScreenMap& map);

    void paintOver(QPainter& painter, const ScreenMap& map) const override;

private:
    PictureView& view_;
    std::vector<Point> points_;
    QSize picture_;
    QColor colour_;
    std::vector<QColor> seriesColours_;
    bool shown_ = false;
};

} // namespace plotrun
