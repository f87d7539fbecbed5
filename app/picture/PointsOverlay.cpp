#include "PointsOverlay.h"

#include "CountedPixelsOverlay.h"
#include "SeriesColours.h"

#include "ChartMap.h"

#include <QPainter>

#include <cmath>

namespace plotrun {

PointsOverlay::PointsOverlay(PictureView& view) : view_(view) { view_.addOverlay(this); }

void PointsOverlay::setResult(const std::vector<ResultRow>& rows, const ScanSettings& s, bool withSpread, QSize picture)
{
    points_.clear();
    points_.reserve(rows.size());
    const ChartMap map(s);
    // The edges of the area on the side of the lowest and the highest real y.
    const bool upward = map.realY(s.ScanEndY) >= map.realY(s.ScanStartY);
    const double lowEdge = upward ? s.ScanStartY : s.ScanEndY, highEdge = upward ? s.ScanEndY : s.ScanStartY;
    for (const ResultRow& r : rows) {
        Point p{r.bitmapX, r.bitmapY};
        p.manyRuns = r.runCount > 1;
        p.series = r.series;
        if (withSpread && !map.aligned() && map.usableY() && r.sdev > 0 && std::isfinite(r.sdev)) {
            // The bar runs along the chart's y axis, wherever that points.
            const ChartPoint low = map.toPicture(r.realX, r.realY - r.sdev);
            const ChartPoint high = map.toPicture(r.realX, r.realY + r.sdev);
            if (std::isfinite(low.x) && std::isfinite(low.y) && std::isfinite(high.x) && std::isfinite(high.y)) {
                p.barLow = low.y;
                p.barHigh = high.y;
                p.barLowX = low.x;
                p.barHighX = high.x;
            }
        } else if (withSpread && map.usableY() && r.sdev > 0 && std::isfinite(r.sdev)) {
            const double low = map.bitmapY(r.realY - r.sdev), high = map.bitmapY(r.realY + r.sdev);
            p.barLow = std::isfinite(low) ? low : lowEdge;
            p.barHigh = std::isfinite(high) ? high : highEdge;
        }
        points_.push_back(p);
    }
    picture_ = picture;
    // The counted pixels' tint, so that both views read alike.
    colour_ = CountedPixelsOverlay::tintFor(s);
    colour_.setAlpha(255);
    seriesColours_.clear();
    for (size_t i = 0; i < s.Series.size(); ++i)
        seriesColours_.push_back(seriesColour(s.Series, i));
    view_.update();
}

QColor PointsOverlay::colourOf(int series) const
{
    return series >= 0 && series < int(seriesColours_.size()) ? seriesColours_[size_t(series)] : colour_;
}

void PointsOverlay::clear()
{
    points_.clear();
    view_.update();
}

void PointsOverlay::setShown(bool shown)
{
    shown_ = shown;
    view_.update();
}

// Bitmap y = height - (mean row), and a row's middle lies half a pixel below its top.
double PointsOverlay::viewY(double bitmapY, const ScreenMap& map) { return map.viewY(map.pictureYOf(bitmapY) + 0.5); }

QPointF PointsOverlay::viewPosition(const Point& p, const ScreenMap& map)
{
    if (map.empty())
        return {};
    return {map.viewX(p.x), viewY(p.y, map)};
}

void PointsOverlay::paintOver(QPainter& painter, const ScreenMap& map) const
{
    if (!shown_ || points_.empty() || map.empty() || map.picture() != picture_)
        return;
    painter.setRenderHint(QPainter::Antialiasing, true);
    // Each mark twice: a wide dark line under a thin bright one, seen on
    // paper and on ink alike.
    for (const auto& [pen, arm] :
         {std::pair{QPen(QColor(0, 0, 0, 200), 3.0), 4.5}, std::pair{QPen(colour_, 1.4), 4.0}}) {
        painter.setPen(pen);
        const bool bright = pen.color() == colour_;
        int penSeries = -1;
        for (const Point& p : points_) {
            // The points of each series in its colour.
            if (bright && p.series != penSeries) {
                penSeries = p.series;
                painter.setPen(QPen(colourOf(p.series), 1.4));
            }
            const QPointF c = viewPosition(p, map);
            painter.drawLine(c - QPointF(arm, arm), c + QPointF(arm, arm));
            painter.drawLine(c - QPointF(arm, -arm), c + QPointF(arm, -arm));
            if (p.hasBar() && !std::isnan(p.barLowX)) {
                const QPointF low(map.viewX(p.barLowX), viewY(p.barLow, map));
                const QPointF high(map.viewX(p.barHighX), viewY(p.barHigh, map));
                painter.drawLine(low, high);
            } else if (p.hasBar()) {
                const double low = viewY(p.barLow, map), high = viewY(p.barHigh, map);
                painter.drawLine(QPointF(c.x(), low), QPointF(c.x(), high));
                painter.drawLine(QPointF(c.x() - arm / 2, high), QPointF(c.x() + arm / 2, high));
                painter.drawLine(QPointF(c.x() - arm / 2, low), QPointF(c.x() + arm / 2, low));
            }
            // A ring: the strip held more than one run, and one was chosen.
            if (p.manyRuns)
                painter.drawEllipse(c, arm + 2.5, arm + 2.5);
        }
    }
}

} // namespace plotrun
